#!/usr/bin/env bash
# Fuzzes the import for the given number of seconds, growing a fresh corpus from the import's seeds
# (which it replays first). An input's first byte picks its format; findings are kept in fuzz/findings/
# with "import-" before their names.
set -euo pipefail
fuzzer=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A slow input may spend the child's 10 s and the simplifier's 10 s.
"$fuzzer" -dict="$here/import.dict" -max_len=16384 -timeout=40 -rss_limit_mb=2048 -close_fd_mask=2 \
  -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$here/findings/import-" \
  "$work" "$here/import_corpus"
