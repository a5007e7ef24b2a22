#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the set-up itself, proved in a fresh
# Debian root (scripts/prove-setup.sh, where this machine can make one) beside the first builds; the
# web viewer's page; the plain build (the page's tests in a real browser among them); the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer; the model's tests built by clang; a short
# fuzz run. Every suite runs, whatever another's result; the summary at the end gives each one's
# result and time.
set -uo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
bash scripts/install-deps.sh test || exit 1

results=()
failed=0
# record NAME STATUS SECONDS LOG: notes how a suite went; status 77 is a suite that cannot run on
# this machine, and the last line of its log says why.
record()
{
    if (($2 == 0)); then
        results+=("passed  $1 ($3 s)")
    elif (($2 == 77)); then
        results+=("SKIPPED $1: $(tail -1 "$4")")
    else
        results+=("FAILED  $1 ($3 s)")
        failed=1
    fi
}

# suite NAME COMMAND...: runs the command in this shell and records how it went.
suite()
{
    local name=$1 began=$SECONDS
    shift
    echo "==== $name"
    "$@"
    record "$name" $? $((SECONDS - began)) /dev/null
}

# The proof of the set-up runs beside the builds only: tests that read the clock (a thumbnail within
# its time limit) must not share the processors with the package manager.
setup_pid=""
wait_for_setup()
{
    if [ -n "$setup_pid" ]; then
        wait "$setup_pid"
        setup_status=$?
        setup_pid=""
    fi
}

# tree PRESET: configures, builds and runs the tests of one tree, under a display.
tree()
{
    cmake --preset "$1" -DBUILD_TESTING=ON && cmake --build --preset "$1" && wait_for_setup &&
        bash scripts/with-display.sh ctest --preset "$1"
}

# The fuzz tree has no unit tests of its own, only its fuzz run.
fuzz_tree()
{
    cmake --preset fuzz && cmake --build --preset fuzz && ctest --preset fuzz
}

# The set-up from nothing, started first: a package missing from install-deps.sh shows there by
# name. It waits on the network and the package manager more than on the processors, so it runs
# beside the first builds; its lines are shown at the end.
setup_name="set-up in a fresh Debian 12 root"
setup_log=$(mktemp)
{
    began=$SECONDS
    bash scripts/prove-setup.sh </dev/null
    status=$?
    echo "$((SECONDS - began))" >"$setup_log.seconds"
    exit $status
} >"$setup_log" 2>&1 &
setup_pid=$!
# The page first among the suites: the plain and the sanitised trees carry it, and test it, from here.
suite "web page (build-web/)" bash -c 'cmake --preset web && cmake --build --preset web'
suite "release build and tests (build/)" tree release
suite "sanitizer build and tests (build-asan/)" tree asan
suite "model tests built by clang (build-clang/)" tree clang
suite "fuzzing (build-fuzz/)" fuzz_tree

wait_for_setup
echo "==== $setup_name"
cat "$setup_log"
record "$setup_name" "$setup_status" "$(cat "$setup_log.seconds")" "$setup_log"
rm -f "$setup_log" "$setup_log.seconds"

echo "==== summary"
printf '%s\n' "${results[@]}"
echo "all suites: $((SECONDS - start)) s"
exit $failed
