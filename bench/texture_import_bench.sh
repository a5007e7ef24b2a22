#!/usr/bin/env bash
# The textured import's speed and memory: the 200,000-triangle knot with a 4096 x 4096 picture
# (bench/textured_knot) imported by zemconvert with its colours from the texture (the default) and
# from the material alone (--colours material), alternately, RUNS times each; the picture decoded
# alone as many times. Prints the medians, the ratio, the goal (the textured import within twice
# the material's plus the decoding) and the peak resident memory of each import (the reader's
# child included).
# Usage: bench/texture_import_bench.sh [RUNS]   (after the release tree is built; 7 runs by default)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
cmake --build --preset release --target zemconvert textured_knot texture_decode_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bench/textured_knot "$work/knot.glb" 4096x4096 "$work/picture.png"

# One import: its wall-clock seconds and its peak resident kilobytes, on one line.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" build/zemconvert "$@" "$work/knot.glb" "$work/knot.zem" 2>/dev/null
  cat "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

: >"$work/texture" && : >"$work/material"
for ((i = 0; i < runs; i++)); do
  measure >>"$work/texture"
  measure --colours material >>"$work/material"
done
texture=$(cut -d' ' -f1 "$work/texture" | median)
material=$(cut -d' ' -f1 "$work/material" | median)
texture_kb=$(cut -d' ' -f2 "$work/texture" | median)
material_kb=$(cut -d' ' -f2 "$work/material" | median)
decode=$(build/bench/texture_decode_bench "$work/picture.png" "$runs")
picture_kb=$(($(stat -c %s "$work/picture.png") / 1024))

awk -v t="$texture" -v m="$material" -v d="$decode" -v tk="$texture_kb" -v mk="$material_kb" -v pk="$picture_kb" 'BEGIN {
  printf "import with the texture (auto)       %6.2f s   %7d KB peak\n", t, tk
  printf "import with --colours material       %6.2f s   %7d KB peak\n", m, mk
  printf "decoding the 4096 x 4096 picture     %6.2f s   (the PNG: %d KB; its texels: %d KB)\n", d, pk, 4096 * 4096 * 3 / 1024
  printf "textured / material                  %6.2f\n", t / m
  printf "goal: textured <= 2 x material + decoding = %.2f s: %s\n", 2 * m + d, (t <= 2 * m + d ? "met" : "not met")
  printf "memory beyond the material import    %7d KB (the PNG and its texels: %d KB)\n", tk - mk, pk + 4096 * 4096 * 3 / 1024
}'
