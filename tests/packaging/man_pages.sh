#!/usr/bin/env bash
# Every manual page the build makes from docs/man: no warning from man and groff, and a NAME line
# that whatis can index.
. "$(dirname "$0")/lib.sh"

sources=("$source_dir"/docs/man/*.scd)
for source in "${sources[@]}"; do
    name=$(basename "$source" .scd)
    page=$build/man/$name.gz
    if [ ! -f "$page" ]; then
        fail "$name was not built"
        continue
    fi
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    check "man --warnings on $name: $warnings" test -z "$warnings"
    topic=${name%.*}
    check "whatis entry of $name" grep -q ": \"$topic - [[:alnum:]]" <(lexgrog "$page")
done
finish
