#!/usr/bin/env bash
# Opens the viewer under Xvfb (or the current display), drives its own window with xdotool and saves
# what it shows as PNG pictures in docs/: solid, flat, outline, white background and unlit views.
# Usage: bash scripts/screenshots.sh [--install] [model]   (--install installs xdotool and imagemagick)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--install" ]; then
  shift
  bash scripts/install-deps.sh test xdotool imagemagick
fi
for tool in xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshots.sh: $tool is missing: run with --install" >&2; exit 1; }
done
cmake --preset release >/dev/null
cmake --build --preset release --target zemview >/dev/null
model=${1:-models/torus.zem}
# The window's exact title: the program path, " - " and the shape's name, so that no key can reach
# another program's window on a shared display.
name=$(sed -n 's/^.*SHAPE[[:space:]]*\(.*\)_shape.*$/\1/p' "$model" | head -n 1)
exec bash scripts/with-display.sh bash -c '
  set -euo pipefail
  model=$1
  title=$2
  build/zemview "$model" >/dev/null &
  viewer=$!
  trap "kill $viewer 2>/dev/null" EXIT
  pattern="^$(printf "%s" "$title" | sed "s/[][\\.^\$*+?(){}|]/\\\\&/g")\$"
  window=$(xdotool search --sync --name "$pattern" | head -n 1)
  sleep 1
  shot() { sleep 0.5; import -window "$window" "docs/$1.png"; }
  key() { xdotool mousemove --window "$window" 600 20 key "$1"; }
  # Tilt the model towards the viewer and turn it a little, as a user would first do.
  xdotool mousemove --window "$window" 320 200 mousedown 1 mousemove --window "$window" 340 210 \
    mousemove --window "$window" 350 245 mouseup 1
  shot solid
  key s; shot flat; key s
  key w; shot outline; key w
  key b; shot white-background; key b
  key l; shot unlit; key l
  key Escape
' screenshots "$model" "build/zemview - $name"
