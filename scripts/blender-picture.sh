#!/usr/bin/env bash
# The README's pair of pictures: a sample model imported into Blender by the add-on and rendered
# from the front, beside zemrender's picture of the viewer's first frame.
# Usage: scripts/blender-picture.sh [MODEL] (after a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
model=${1:-models/tetra.zem}
scripts=$(mktemp -d)
trap 'rm -rf "$scripts"' EXIT
mkdir -p "$scripts/addons"
cp -r blender/io_scene_zem "$scripts/addons/"
build/zemrender "$model" docs/zemview-first-frame.png
# Blender's workbench draws with OpenGL, which needs a display.
BLENDER_USER_SCRIPTS=$scripts PYTHONDONTWRITEBYTECODE=1 bash scripts/with-display.sh \
    blender -b --factory-startup --python-exit-code 1 --python scripts/blender_picture.py -- "$model" docs/blender-front-view.png
