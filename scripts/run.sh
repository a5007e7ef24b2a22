#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on a sample model (models/torus.zem unless one is named).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target zemview
exec build/zemview "${1:-models/torus.zem}"
