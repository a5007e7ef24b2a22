#!/usr/bin/env bash
# Every system header the build read comes from a Debian package that install-deps.sh installs or
# that those pull in: the programs' headers from its "run" list, the tests', benchmarks' and tools'
# from its "test" list. A package installed by hand on this machine cannot hide a missing name.
source "$(dirname "$0")/lib.sh"

installer=${ZEM_INSTALL_DEPS:-$source_dir/scripts/install-deps.sh}

# The headers each object of the build read, as ninja recorded them: "run" or "test" by where the
# object's source lies, then the header's path, one pair a line.
ninja -C "$build" -t deps 2>/dev/null | awk -v src="$source_dir/" -v bld="$build/" '
    /^[^ ]/ { kind = ""; source = ""; next }
    /^    / {
        path = substr($0, 5)
        if (source == "") {
            source = path
            sub("^(\\.\\./)+", "", source)
            sub("^" src, "", source)
            kind = (source ~ /^(tests|testlib|bench|fuzz|tools)\//) ? "test" : "run"
            next
        }
        if (path !~ /^\// || index(path, src) == 1 || index(path, bld) == 1) next
        print kind, path
    }' | sort -u >"$scratch/headers"
[ -s "$scratch/headers" ] || { echo "FAIL: ninja recorded no headers in $build: build it first" >&2; exit 1; }

# Each header's package, by its path as read and as resolved, since merged /usr registers either.
cut -d' ' -f2 "$scratch/headers" | sort -u >"$scratch/paths"
xargs -r realpath -- <"$scratch/paths" | paste -d' ' "$scratch/paths" - |
    awk '{ print $1, $1; if ($2 != $1) print $1, $2 }' >"$scratch/candidates"
cut -d' ' -f2 "$scratch/candidates" | sort -u | xargs -r dpkg -S 2>/dev/null | grep -v '^diversion by' |
    awk -F': ' '{ n = split($1, names, ", ")
                  for (i = 1; i <= n; i++) { sub(/:[a-z0-9]+$/, "", names[i]); print $2, names[i] } }' |
    sort -u >"$scratch/owners"

# What each list brings, with everything its packages depend on.
closure()
{
    # shellcheck disable=SC2046
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances $(bash "$installer" list "$1") 2>/dev/null |
        grep -v '^ ' | sed 's/^<\(.*\)>$/\1/; s/:[a-z0-9]*$//' | sort -u
}
closure run >"$scratch/run-closure"
closure test >"$scratch/test-closure"
[ -s "$scratch/run-closure" ] || { echo "FAIL: apt-cache knows none of the listed packages: run apt-get update" >&2; exit 1; }

# One line for each header whose package is not in its list's reach: "none" or "outside", the
# build that read it, the path, and its packages.
awk 'FILENAME == ARGV[1] { owner[$1] = owner[$1] " " $2; next }
     FILENAME == ARGV[2] {
         n = split(owner[$2], names, " ")
         for (i = 1; i <= n; i++) if (index(owners[$1] " ", " " names[i] " ") == 0) owners[$1] = owners[$1] " " names[i]
         next
     }
     FILENAME == ARGV[3] { reach["run", $1] = 1; reach["test", $1] = 1; next }
     FILENAME == ARGV[4] { reach["test", $1] = 1; next }
     {
         n = split(owners[$2], names, " ")
         if (n == 0) { print "none", $1, $2; next }
         for (i = 1; i <= n; i++) if (reach[$1, names[i]]) next
         print "outside", $1, $2, owners[$2]
     }' "$scratch/owners" "$scratch/candidates" "$scratch/run-closure" "$scratch/test-closure" \
    "$scratch/headers" >"$scratch/problems"
while read -r problem kind path packages; do
    if [ "$problem" = none ]; then
        fail "$path, read by the $kind build, belongs to no Debian package"
    else
        fail "$path, read by the $kind build, comes from ${packages// /, }, which 'install-deps.sh $kind' neither installs nor pulls in"
    fi
done <"$scratch/problems"
echo "$(wc -l <"$scratch/paths") system headers checked against install-deps.sh"
finish
