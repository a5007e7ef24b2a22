#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the web viewer's page, the plain build (the
# page's tests in a real browser among them), the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the model's tests built by clang, and a short fuzz run. Every suite runs, whatever another's result; the summary at the end gives each one's.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test || exit 1

results=()
failed=0
# suite NAME COMMAND...: runs the command and records how it went.
suite()
{
    local name=$1
    shift
    echo "==== $name"
    if "$@"; then
        results+=("passed  $name")
    else
        results+=("FAILED  $name")
        failed=1
    fi
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

# The page first: the plain and the sanitised trees carry it, and test it, from here.
suite "web page (build-web/)" bash -c 'cmake --preset web && cmake --build --preset web'
suite "release build and tests (build/)" tree release
suite "sanitizer build and tests (build-asan/)" tree asan
suite "model tests built by clang (build-clang/)" tree clang
suite "fuzzing (build-fuzz/)" fuzz_tree

echo "==== summary"
printf '%s\n' "${results[@]}"
exit $failed
