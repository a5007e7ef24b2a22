#!/usr/bin/env bash
# Times zemview from its start to its first drawn frame, on the smallest sample model and on the
# largest model the generator writes: runs taken in turn, their medians, and the ratio of those.
# Usage: scripts/first-frame.sh [runs of each, default 11]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target zemview zemgen first_frame_probe >/dev/null
runs=${1:-11}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
build/zemgen random 32767 65534 1 >"$folder/largest.zem"
exec bash scripts/with-display.sh bash -c '
  set -euo pipefail
  runs=$1 smallest=$2 largest=$3
  probe=$PWD/build/bench/libfirst_frame_probe.so
  # Microseconds from the start of the viewer to the end of its first frame, when the probe ends it.
  once() {
    local start end
    start=$(date +%s%N)
    LD_PRELOAD=$probe timeout 60 build/zemview "$1" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
  }
  median() { sort -n | awk "{ v[NR] = \$1 } END { print v[int((NR + 1) / 2)] }"; }
  once "$smallest" >/dev/null
  once "$largest" >/dev/null
  small=() large=()
  for _ in $(seq "$runs"); do
    small+=("$(once "$smallest")")
    large+=("$(once "$largest")")
  done
  s=$(printf "%s\n" "${small[@]}" | median)
  l=$(printf "%s\n" "${large[@]}" | median)
  echo "start to first frame, median of $runs runs each:"
  echo "  smallest sample ($(basename "$smallest")): $((s / 1000)) ms"
  echo "  largest generated model (32767 vertices, 65534 polygons): $((l / 1000)) ms"
  awk -v s="$s" -v l="$l" "BEGIN { printf \"  ratio: %.2f (goal: 1.5 at most)\\n\", l / s }"
' first-frame "$runs" models/tetra.zem "$folder/largest.zem"
