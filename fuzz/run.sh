#!/usr/bin/env bash
# Fuzzes the loader for the given number of seconds, growing a fresh corpus from the seed corpus and
# the sample models (which it replays first). Findings are kept in fuzz/findings/.
set -euo pipefail
fuzzer=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$fuzzer" -dict="$here/zem.dict" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2 \
  -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$here/findings/" \
  "$work" "$here/corpus" "$here/../models"
