#!/usr/bin/env bash
# Fuzzes with one of the project's libFuzzer targets for the given number of seconds, growing a fresh
# corpus from the target's seeds (which it replays first). Findings are kept in fuzz/findings/.
#   load_fuzzer: the loader, from the seed corpus and the sample models.
#   import_fuzzer: the import; an input's first byte picks its format; findings named "import-...".
#   wire_fuzzer, texture_fuzzer: the import's answer decoder and the texture decoder, from their seeds.
set -euo pipefail
fuzzer=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
case $(basename "$fuzzer") in
import_fuzzer)
  # A slow input may spend the child's 10 s and the simplifier's 10 s.
  settings=(-dict="$here/import.dict" -max_len=16384 -timeout=40 -artifact_prefix="$here/findings/import-")
  seeds=("$here/import_corpus")
  ;;
wire_fuzzer | texture_fuzzer)
  name=$(basename "$fuzzer")
  settings=(-max_len=65536 -timeout=10 -artifact_prefix="$here/findings/")
  seeds=("$here/${name%_fuzzer}_corpus")
  ;;
*)
  settings=(-dict="$here/zem.dict" -max_len=4096 -timeout=10 -artifact_prefix="$here/findings/")
  seeds=("$here/corpus" "$here/../models")
  ;;
esac
mkdir -p "$here/findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$fuzzer" "${settings[@]}" -rss_limit_mb=2048 -close_fd_mask=2 -max_total_time="$seconds" -print_final_stats=1 \
  "$work" "${seeds[@]}"
