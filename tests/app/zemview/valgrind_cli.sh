#!/usr/bin/env bash
# Valgrind's memcheck on the command line's error paths: no invalid access, no leak.
set -euo pipefail
zemview=$1
models=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'SHAPE b_shape = { 0, 1, 1 }; VECTOR { { 1, 2, 3 } } SPOLY { { 1, 6, { 0, 0, 0, 0, 0, 0 } } }' > "$scratch/six.zem"
printf 'SHAPE t_shape = { 0, 4' > "$scratch/cut.zem"
status=0
for arguments in "" "$scratch/missing.zem" "$scratch" "$scratch/six.zem" "$scratch/cut.zem" "$models/tetra.zem.missing" "/dev/zero"; do
  if ! valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible \
      "$zemview" $arguments >/dev/null 2>"$scratch/log"; then
    echo "valgrind found errors with arguments '$arguments':"
    cat "$scratch/log"
    status=1
  fi
done
exit $status
