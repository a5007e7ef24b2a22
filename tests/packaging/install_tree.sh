#!/usr/bin/env bash
# The install tree: exactly the expected files under the default prefix, compressed manual pages
# without time stamps, icons of their nominal sizes, runnable programs that share the project's
# version, and a direct install under a home prefix whose file type is usable at once.
. "$(dirname "$0")/lib.sh"
read -r -a programs <<<"${ZEM_PROGRAMS:?the installed programs}"
version=${ZEM_VERSION:?the project version}

has_program() { [[ " ${programs[*]} " == *" $1 "* ]]; }

expected=(
    share/applications/zemview.desktop
    share/blender/scripts/addons/io_scene_zem/__init__.py
    share/blender/scripts/addons/io_scene_zem/export_zem.py
    share/blender/scripts/addons/io_scene_zem/import_zem.py
    share/blender/scripts/addons/io_scene_zem/zem_format.py
    share/doc/zemview/changelog.gz
    share/doc/zemview/copyright
    share/man/man5/zem.5.gz
    share/mime/packages/zemview.xml
)
for program in "${programs[@]}"; do
    expected+=("bin/$program" "share/man/man1/$program.1.gz")
done
for program in "${programs[@]}"; do
    expected+=("share/bash-completion/completions/$program" "share/zsh/vendor-completions/_$program")
done
icon_sizes=(16 22 24 32 48 64 128 256)
if has_program zemrender; then
    expected+=(share/thumbnailers/zemview.thumbnailer)
    for size in "${icon_sizes[@]}"; do expected+=("share/icons/hicolor/${size}x$size/apps/zemview.png"); done
fi
# The web viewer's page, where the build had emscripten to make it.
if [ "${ZEM_WEB_PAGE:-0}" = 1 ]; then expected+=(share/zemview/zemview.html); fi

# tree_matches ROOT: the files under ROOT are exactly the expected ones.
tree_matches()
{
    diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$1" && find . -type f -o -type l | sed 's|^\./||' | sort)
}

stage=$scratch/stage
install_tree "$stage"
root=$stage/usr/local
check "installed files under /usr/local" tree_matches "$root"

for page in "$root"/share/man/man*/*.gz; do
    check "$page is intact gzip" gzip -t "$page"
    # Bytes 4 to 7 of a gzip header hold its time stamp; zero keeps the package reproducible.
    check "$page carries no time stamp" test "$(od -An -tx1 -j4 -N4 "$page" | tr -d ' ')" = 00000000
done
for size in "${icon_sizes[@]}"; do
    icon=$root/share/icons/hicolor/${size}x$size/apps/zemview.png
    [ -e "$icon" ] || continue
    check "icon $size is a PNG of $size x $size" grep -q "PNG image data, $size x $size," <(file -b "$icon")
done

for program in "${programs[@]}"; do
    check "bin/$program is executable" test -x "$root/bin/$program"
done
usage=$("$root/bin/zemview" 2>&1) || fail "zemview without a model exits 0"
check "zemview prints its usage" grep -qx "usage: $root/bin/zemview <model file name>" <<<"$usage"
check "zemview's banner gives the project's version" grep -qx "version $version, viewing only" <<<"$usage"
for program in zemrender zemconvert; do
    check "$program --version is the project's version" test "$("$root/bin/$program" --version)" = "$program $version"
done

# As a user installs into a home folder: no DESTDIR, the caches refreshed at once.
home_prefix=$scratch/home/.local
cmake --install "$build" --prefix "$home_prefix" >/dev/null
for file in "${expected[@]}"; do
    check "$file under a home prefix" test -e "$home_prefix/$file"
done
check "the file type is in the home prefix's MIME database" test -f "$home_prefix/share/mime/model/x-zem.xml"
check "the desktop file is in the home prefix's cache" \
    grep -qx "model/x-zem=zemview.desktop;" "$home_prefix/share/applications/mimeinfo.cache"
finish
