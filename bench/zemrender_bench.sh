#!/usr/bin/env bash
# Times zemrender's whole run, start to written PNG, on the smallest sample model and on the largest
# model the format can address, at 256x256 and 640x480: medians, and the ratio taken run by run.
# Usage: bench/zemrender_bench.sh [RUNS [ZEMRENDER OPTION]...], e.g. bench/zemrender_bench.sh 21 --fit
# LARGE_MODEL=FILE times that model instead of the largest random one.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
shift || true
bash scripts/install-deps.sh test
cmake --preset release >/dev/null
cmake --build --preset release --target zemrender zemgen >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
large=${LARGE_MODEL:-$work/largest.zem}
[ -n "${LARGE_MODEL:-}" ] || build/zemgen random 32767 65534 1 >"$large"
smallest=$(ls -S models/*.zem | tail -n 1)

# Milliseconds of one whole run, from the shell's clock.
run_ms() {
  local start=$EPOCHREALTIME
  build/zemrender "$@" >/dev/null
  local end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f\n", (e - s) * 1000 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "zemrender, whole runs ($runs after a warm-up), options: ${*:-none}"
echo "smallest: $smallest ($(wc -c <"$smallest") bytes); large: ${LARGE_MODEL:-random, 32767 vertices, 65534 polygons} ($(wc -c <"$large") bytes)"
printf '%-9s %12s %12s %8s\n' size smallest_ms large_ms ratio
for size in 256x256 640x480; do
  : >"$work/small" && : >"$work/large" && : >"$work/ratio"
  # Small and large in turn, so that a drift of the machine's speed touches both alike.
  for i in $(seq 0 "$runs"); do
    small=$(run_ms "$@" --size "$size" "$smallest" "$work/small.png")
    large_ms=$(run_ms "$@" --size "$size" "$large" "$work/large.png")
    [ "$i" -eq 0 ] && continue
    echo "$small" >>"$work/small"
    echo "$large_ms" >>"$work/large"
    awk -v s="$small" -v l="$large_ms" 'BEGIN { printf "%.3f\n", l / s }' >>"$work/ratio"
  done
  printf '%-9s %12s %12s %8s\n' "$size" "$(median <"$work/small")" "$(median <"$work/large")" "$(median <"$work/ratio")"
done
echo "goal: the large model at most 2 times the smallest (ratio <= 2)"
