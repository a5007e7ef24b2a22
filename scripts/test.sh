#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build (the web viewer's tests in a
# real browser among them), the same tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# valgrind on the command line, and a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# The web viewer's own tree (emscripten), which both native trees reach for its page.
emcmake cmake -S web -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-web
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEMVIEW_WEB_BUILD="$PWD/build-web"
cmake --build build
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEMVIEW_SANITIZE=ON \
  -DZEMVIEW_WEB_BUILD="$PWD/build-web"
cmake --build build-asan
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZEMVIEW_SANITIZE=ON -DZEMVIEW_MODEL_ONLY=ON -DZEMVIEW_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build build-fuzz

bash scripts/with-display.sh bash -c '
  set -e
  ctest --test-dir build --output-on-failure
  ctest --test-dir build-asan --output-on-failure
  ctest --test-dir build-fuzz --output-on-failure'
