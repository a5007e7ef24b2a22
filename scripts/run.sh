#!/usr/bin/env bash
# Installs what building and running need, builds the viewer, and opens it on a sample model
# (models/torus.zem unless one is named).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
cmake --preset release -DBUILD_TESTING=OFF
cmake --build --preset release --target zemview
exec build/zemview "${1:-models/torus.zem}"
