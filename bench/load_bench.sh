#!/usr/bin/env bash
# Installs what is missing, builds, and runs the load and normal benchmarks, ending with the goals as ratios.
# Usage: bench/load_bench.sh [GOOGLE BENCHMARK OPTION]...
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake --preset release >/dev/null
cmake --build --preset release --target load_bench
exec build/bench/load_bench "$@"
