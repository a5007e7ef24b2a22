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
