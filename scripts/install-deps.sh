#!/usr/bin/env bash
# Installs, by Debian package name, what the machine lacks: with "run", what building and running
# the programs needs; with "test", that and what the tests, benchmarks and fuzzers need (the npm
# registry included). Further package names given after the first word are installed too. With
# "list run" or "list test", only prints those package names, one a line, and installs nothing.
# Usage: scripts/install-deps.sh run|test [package]... | list run|test
set -euo pipefail

need=${1:-test}
shift || true
list_only=false
if [ "$need" = list ]; then
  list_only=true
  need=${1:-}
  shift || true
fi
case $need in
run | test) ;;
*) echo "install-deps.sh: say run, test, list run or list test, not '$need'" >&2; exit 2 ;;
esac

run_packages=(
  g++ cmake ninja-build pkg-config           # build
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri  # OpenGL, GLU, GLUT, Mesa's renderers
  libegl-dev libegl-mesa0 libpng-dev         # zemrender: EGL without a display, PNG
  libtinygltf-dev libassimp-dev libmeshoptimizer-dev  # zemconvert: glTF, other formats, simplifying
  libstb-dev                                 # zemconvert: the pictures that textured models name
  libseccomp-dev zlib1g-dev                  # the sandbox that foreign files are read in; zip entries checked
  scdoc gzip                                 # the manual pages, built with the programs
)
test_packages=(
  libgtest-dev libbenchmark-dev              # tests and benchmarks
  xvfb xauth libx11-dev libxtst-dev x11-utils xdotool  # a display for the tests, real X input, windows by title
  clang libclang-rt-14-dev valgrind          # another compiler, fuzzing and memory checks
  dpkg-dev lintian man-db file               # the Debian package and its checks
  desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl libglib2.0-bin  # file type, desktop file
  bubblewrap bash-completion zsh             # sandboxes, completion
  strace                                     # what the confined import opens, seen from outside
  assimp-testmodels                          # legacy models that name and map their pictures as old tools did
  debootstrap                                # the set-up proved in a fresh Debian root
  nodejs                                     # the glTF validator and the web tests
  emscripten chromium                        # the web viewer's WebAssembly, and the browser of its tests
  blender python3                            # the Blender add-on, run headless, and its format module's tests
)

packages=("${run_packages[@]}")
[ "$need" = run ] || packages+=("${test_packages[@]}")
packages+=("$@")
if $list_only; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# npm is Debian's own package, unless the installed Node.js brings it (and then conflicts with it).
if [ "$need" = test ] && ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

[ "$need" = test ] || exit 0
# The npm packages the tests run, at the versions they were written against.
# puppeteer-core drives Debian's chromium in the web tests.
for npm_package in gltf-validator@2.0.0-dev.3.10 puppeteer-core@24.43.1; do
  if ! npm ls -g "$npm_package" >/dev/null 2>&1; then
    echo "Installing from npm: $npm_package"
    "${as_root[@]}" npm install -g -q "$npm_package"
  fi
done
