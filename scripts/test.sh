#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the set-up itself, proved in a fresh
# Debian root (scripts/prove-setup.sh, where this machine can make one), then the web viewer's page,
# the plain build (the page's tests in a real browser among them), the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the model's tests built by clang, and a short
# fuzz run. Every suite runs, whatever another's result; the summary at the end gives each one's
# result and time.
set -uo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
bash scripts/install-deps.sh test || exit 1

results=()
failed=0
# suite NAME COMMAND...: runs the command and records how it went and how long it took; status 77
# is a suite that cannot run on this machine, and its last line says why.
suite()
{
    local name=$1 start=$SECONDS status
    shift
    echo "==== $name"
    "$@" 2>&1 | tee /tmp/zemview-suite.$$
    status=${PIPESTATUS[0]}
    local took="($((SECONDS - start)) s)"
    if ((status == 0)); then
        results+=("passed  $name $took")
    elif ((status == 77)); then
        results+=("SKIPPED $name: $(tail -1 /tmp/zemview-suite.$$)")
    else
        results+=("FAILED  $name $took")
        failed=1
    fi
    rm -f /tmp/zemview-suite.$$
}

# tree PRESET: configures, builds and runs the tests of one tree, under a display.
tree()
{
    cmake --preset "$1" -DBUILD_TESTING=ON && cmake --build --preset "$1" &&
        bash scripts/with-display.sh ctest --preset "$1"
}

# The fuzz tree has no unit tests of its own, only its fuzz run.
fuzz_tree()
{
    cmake --preset fuzz && cmake --build --preset fuzz && ctest --preset fuzz
}

# The set-up from nothing first: a package missing from install-deps.sh shows there by name.
suite "set-up in a fresh Debian 12 root" bash scripts/prove-setup.sh
# The page next: the plain and the sanitised trees carry it, and test it, from here.
suite "web page (build-web/)" bash -c 'cmake --preset web && cmake --build --preset web'
suite "release build and tests (build/)" tree release
suite "sanitizer build and tests (build-asan/)" tree asan
suite "model tests built by clang (build-clang/)" tree clang
suite "fuzzing (build-fuzz/)" fuzz_tree

echo "==== summary"
printf '%s\n' "${results[@]}"
echo "all suites: $((SECONDS - start)) s"
exit $failed
