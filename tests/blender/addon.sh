#!/usr/bin/env bash
# The add-on in Debian's Blender, headless: installed as a package installs it, enabled from there,
# and every check of addon_checks.py in one Blender run (each start costs seconds).
set -euo pipefail
build=${ZEM_BUILD_DIR:?the build folder}
blender=${BLENDER:-blender}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
export ZEM_ADDON_SCRIPTS=$scratch/prefix/share/blender/scripts ZEM_SCRATCH=$scratch
# Blender's own messages stay in the log; the checks' lines and the verdict are what matter. Its
# workbench renders with OpenGL: with a private Xvfb where there is no display.
bash "$ZEM_SOURCE_DIR/scripts/with-display.sh" "$blender" -b --factory-startup --python-exit-code 1 --python "$(dirname "$0")/addon_checks.py" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log"; exit 1; }
grep -E '^(ok|FAIL|all|[0-9]+ check)' "$scratch/log"
reports=$(sed -n '/^reports of left-out.zem:$/,/^end of reports$/p' "$scratch/log" | sed '1d;$d')
expected="Warning: 3 polygons of fewer than 2 indices left out: the viewer draws nothing for them
Warning: 2 polygons that name a vertex twice left out: a Blender mesh cannot hold them
Warning: 2 segments left out that repeat an earlier one"
[ "$reports" = "$expected" ] || { printf 'FAIL the reports of what was left out:\n%s\n' "$reports"; exit 1; }
echo "ok the reports of what was left out"

# The zip through Blender's own "Install add-on", into a user scripts folder of the test's own.
cat >"$scratch/zip.py" <<'PYTHON'
import os, bpy, addon_utils
bpy.ops.preferences.addon_install(filepath=os.environ["ZEM_ADDON_ZIP"])
module = addon_utils.enable("io_scene_zem", default_set=True)
assert module.__file__.startswith(os.environ["BLENDER_USER_SCRIPTS"]), module.__file__
bpy.ops.import_scene.zem(filepath=os.environ["ZEM_SOURCE_DIR"] + "/models/tetra.zem")
assert [m.name for m in bpy.context.object.data.materials] == ["ZEM 4", "ZEM 9", "ZEM 12", "ZEM 14"]
print("ok the zip installed, enabled and importing")
PYTHON
BLENDER_USER_SCRIPTS=$scratch/user ZEM_ADDON_ZIP=$build/io_scene_zem.zip \
    "$blender" -b --factory-startup --python-exit-code 1 --python "$scratch/zip.py" >"$scratch/zip.log" 2>&1 ||
    { cat "$scratch/zip.log"; exit 1; }
grep '^ok' "$scratch/zip.log"
