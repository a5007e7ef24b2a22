#!/usr/bin/env bash
# The web viewer's benchmark (see web_bench.js), after scripts/test.sh has built build/ and
# build-web/. model-viewer, the general-purpose glTF viewer it is compared with, is
# a tool of this benchmark only, installed from npm into build-web/bench-tools on first use.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build}
web_build=${WEB_BUILD:-build-web}
tools=$web_build/bench-tools
model_viewer=@google/model-viewer@4.4.0
if [ ! -f "$tools/node_modules/@google/model-viewer/dist/model-viewer.min.js" ]; then
  npm install --prefix "$tools" --no-audit --no-fund -q "$model_viewer"
fi
cmake --build "$build" --target draw_bench zemgen zemconvert >/dev/null
node bench/web/web_bench.js "$build" "$web_build" "$tools/node_modules/@google/model-viewer/dist"
