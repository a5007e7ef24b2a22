#!/usr/bin/env bash
# The Debian package: built by CPack, clean under lintian, with its dependencies and changelog
# right, and its programs working once unpacked.
. "$(dirname "$0")/lib.sh"
read -r -a programs <<<"${ZEM_PROGRAMS:?the installed programs}"
version=${ZEM_VERSION:?the project version}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; exit 1; }
deb=$scratch/package/zemview_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { fail "no $deb"; ls "$scratch/package" >&2; finish; }

# Lintian refuses to judge as root only in words; its verdict is the same.
lintian --fail-on error,warning --no-tag-display-limit "$deb" >"$scratch/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$scratch/lintian.log")"
check "lintian reports no error or warning" test -z "$(grep -E '^[EW]: ' "$scratch/lintian.log")"

# The description as written, not escaped on its way into the control file.
check "the package carries its description as written" \
    diff <(dpkg-deb -f "$deb" Description | tail -n +2 | sed 's/^ //') "$source_dir/cmake/debian/description"
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends names Mesa's drivers: $depends" grep -q "libgl1-mesa-dri" <<<"$depends"
check "Depends comes from the linked libraries: $depends" grep -Eq "libc6 \(>= [0-9.]+\)" <<<"$depends"
check "Depends names the window toolkit: $depends" grep -q "freeglut\|libglut" <<<"$depends"
check "Recommends the shared MIME database, without which the file type does nothing" \
    test "$(dpkg-deb -f "$deb" Recommends)" = "shared-mime-info"
check "Suggests Blender, for the add-on" test "$(dpkg-deb -f "$deb" Suggests)" = "blender"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
check "the changelog's latest entry is the package's version" \
    grep -q "^zemview ($version) " <(gzip -dc "$root/usr/share/doc/zemview/changelog.gz" | head -n 1)

# The Blender add-on where Debian's Blender looks for system add-ons, as the source has it.
check "the Blender add-on in Blender's system add-ons folder" \
    diff -r "$source_dir/blender/io_scene_zem" "$root/usr/share/blender/scripts/addons/io_scene_zem" -x __pycache__

# The unpacked viewer on a sample model: the window, then Escape.
"$root/usr/bin/zemview" "$source_dir/models/cube.zem" >"$scratch/out" 2>&1 &
viewer=$!
background+=("$viewer")
if id=$(window_with_title "$root/usr/bin/zemview - cube" 20); then
    close_window "$id"
    exit_status_within "$viewer" 10 || exit_status="still running"
    check "the unpacked viewer quits with status 0, not $exit_status" test "$exit_status" = 0
else
    fail "the unpacked viewer opened no window: $(cat "$scratch/out")"
fi

if [[ " ${programs[*]} " == *" zemrender "* ]]; then
    (unset DISPLAY; "$root/usr/bin/zemrender" "$source_dir/models/cube.zem" "$scratch/cube.png") ||
        fail "the unpacked zemrender failed"
    read -r width height foreground _ <<<"$("${ZEM_PNG_PROBE:?the PNG probe}" "$scratch/cube.png")"
    check "the unpacked zemrender draws the cube at 640 x 480: $width x $height, $foreground pixels" \
        test "$width x $height" = "640 x 480" -a "$foreground" -gt 10000
fi
if [[ " ${programs[*]} " == *" zemconvert "* ]]; then
    check "the unpacked zemconvert writes an OBJ file" \
        "$root/usr/bin/zemconvert" "$source_dir/models/cube.zem" "$scratch/cube.obj"
    check "the OBJ file has the cube's eight vertices" test "$(grep -c '^v ' "$scratch/cube.obj")" = 8
fi
finish
