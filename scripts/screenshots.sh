#!/usr/bin/env bash
# Opens the viewer under Xvfb (or the current display), drives it with xdotool and saves what it shows
# as PNG pictures in docs/: solid, flat, outline, white background and unlit views of a sample model.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh xdotool imagemagick
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target zemview >/dev/null
model=${1:-models/torus.zem}
exec bash scripts/with-display.sh bash -c '
  set -euo pipefail
  model=$1
  build/zemview "$model" >/dev/null &
  viewer=$!
  trap "kill $viewer 2>/dev/null" EXIT
  window=$(xdotool search --sync --name " - ")
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
' screenshots "$model"
