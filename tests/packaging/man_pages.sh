#!/usr/bin/env bash
# The installed manual pages: no warning from man and groff, and a NAME line whatis can index.
. "$(dirname "$0")/lib.sh"

install_tree "$scratch/stage"
pages=("$scratch"/stage/usr/local/share/man/man*/*.gz)
check "manual pages are installed" test -e "${pages[0]}"
for page in "${pages[@]}"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    check "man --warnings on $(basename "$page"): $warnings" test -z "$warnings"
    name=$(basename "$page" .gz)
    topic=${name%.*}
    check "whatis entry of $name" grep -q ": \"$topic - [[:alnum:]]" <(lexgrog "$page")
done
finish
