#!/usr/bin/env bash
# Installs, by Debian package name, whatever the build, the tests and the viewer need and the machine lacks.
# Extra package names given as arguments are installed too.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config          # build
  freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri  # OpenGL, GLU, GLUT, Mesa's renderers
  libgtest-dev libbenchmark-dev             # tests and benchmarks
  xvfb xauth libx11-dev libxtst-dev         # a display for the tests, and real X input
  clang libclang-rt-14-dev valgrind         # fuzzing and memory checks
  scdoc gzip dpkg-dev lintian man-db file  # packaging: manual pages, the Debian package and its checks
  desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl  # the file type and the desktop file
  libglib2.0-bin bubblewrap x11-utils xdotool bash-completion zsh  # gio, the sandbox, windows by title, completion
  libegl-dev libegl-mesa0 libpng-dev bubblewrap  # zemrender: EGL without a display, PNG, its sandbox test
  libtinygltf-dev nodejs                    # zemconvert's glTF writing; Node.js runs the tests' glTF validator
  libassimp-dev libmeshoptimizer-dev        # zemconvert's import: reading other formats, simplifying large models
  emscripten chromium                       # the web viewer: its WebAssembly build, and the browser of its tests
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# npm is Debian's own package, unless the installed Node.js brings it (and then conflicts with it).
command -v npm >/dev/null 2>&1 || missing+=(npm)

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The glTF validator that the tests run, from the npm registry, at the version they were written against.
gltf_validator=gltf-validator@2.0.0-dev.3.10
if ! npm ls -g "$gltf_validator" >/dev/null 2>&1; then
  echo "Installing from npm: $gltf_validator"
  "${as_root[@]}" npm install -g -q "$gltf_validator"
fi

# The web tests drive Debian's chromium with puppeteer-core, a test dependency like the validator.
puppeteer=puppeteer-core@24.43.1
if ! npm ls -g "$puppeteer" >/dev/null 2>&1; then
  echo "Installing from npm: $puppeteer"
  "${as_root[@]}" npm install -g -q "$puppeteer"
fi
