#!/usr/bin/env bash
# The textured import's pictures: a 200,000-triangle knot with a picture of eight coloured bands
# mapped along it four times (each band darker along the middle third of its height, so around
# the tube), written as GLB with the picture inside (bench/textured_knot) and drawn as it is by
# f3d (a general viewer from Debian) into docs/import-texture-before.png, then imported by
# zemconvert, its faces coloured from the picture, and drawn by zemrender into
# docs/import-texture.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test f3d
cmake --preset release >/dev/null
cmake --build --preset release --target zemconvert zemrender textured_knot >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bench/textured_knot "$work/knot.glb" 1024x256
# The source, from about the same angle as the picture of the import below.
bash scripts/with-display.sh f3d "$work/knot.glb" --output docs/import-texture-before.png --resolution 640,480 \
  --bg-color 0,0,0 --camera-elevation-angle 30 --camera-azimuth-angle -20
build/zemconvert "$work/knot.glb" "$work/knot.zem"
build/zemrender --rotate-x 30 --rotate-y -20 "$work/knot.zem" docs/import-texture.png
