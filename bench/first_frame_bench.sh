#!/usr/bin/env bash
# Times zemview from its start to its first drawn frame, on the smallest sample model, on the
# largest model the generator writes and on its terrain: runs taken in turn, their medians, and the
# ratios of those to the smallest's.
# Usage: bench/first_frame_bench.sh [runs of each, default 11]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake --preset release >/dev/null
cmake --build --preset release --target zemview zemgen first_frame_probe >/dev/null
runs=${1:-11}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
build/zemgen random 32767 65534 1 >"$folder/largest.zem"
build/zemgen terrain >"$folder/terrain.zem"
exec bash scripts/with-display.sh bash -c '
  set -euo pipefail
  runs=$1
  shift
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
  declare -A times
  for model in "$@"; do once "$model" >/dev/null; done
  for _ in $(seq "$runs"); do
    for model in "$@"; do times[$model]+="$(once "$model") "; done
  done
  echo "start of zemview to its first drawn frame, median of $runs runs each:"
  smallest=
  for model in "$@"; do
    m=$(printf "%s\n" ${times[$model]} | median)
    [ -n "$smallest" ] || smallest=$m
    awk -v name="$(basename "$model")" -v m="$m" -v s="$smallest" \
      "BEGIN { printf \"  %-16s %7.1f ms  %5.2f times the smallest\\n\", name, m / 1000, m / s }"
  done
  echo "goal: the largest (largest.zem: 32767 vertices, 65534 polygons) at most 1.5 times the smallest"
' first-frame "$runs" models/tetra.zem "$folder/largest.zem" "$folder/terrain.zem"
