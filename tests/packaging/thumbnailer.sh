#!/usr/bin/env bash
# The thumbnailer as a file manager runs it: the installed Exec line with %s, %i and %o filled in,
# inside a sandbox with no X server, /usr read-only, no /opt, no GPU and no network. The picture
# must be square, of the size asked for, on a transparent background, and show the model.
. "$(dirname "$0")/lib.sh"
probe=${ZEM_PNG_PROBE:?the PNG probe}
skip_without_namespaces

install_tree "$scratch/stage"
entry=$scratch/stage/usr/local/share/thumbnailers/zemview.thumbnailer
check "the thumbnailer handles model/x-zem" grep -qx "MimeType=model/x-zem;" "$entry"
# File managers split the line into words by shell quoting rules (g_shell_parse_argv), as eval does.
eval "exec_words=($(sed -n 's/^Exec=//p' "$entry"))"

mkdir -p "$scratch/models"
cp "$source_dir/models/torus.zem" "$scratch/models/a torus.zem"
cp "$source_dir/models/dodecahedron.zem" "$scratch/models/dodecahedron"
"$build/zemgen" random 32767 65534 >"$scratch/models/largest.zem"
printf 'SHAPE broken_shape = { 0, 4' >"$scratch/models/broken.zem"

# thumbnail MODEL SIZE [held]: runs the Exec line in the sandbox; the picture is left in
# $scratch/out/thumbnail.png. With "held", the file is made first and kept open on descriptor 7,
# and $scratch/out/held.png shows what that descriptor reads afterwards.
thumbnail()
{
    local model=$1 size=$2 held=${3:-} inside=/tmp/input/$(basename "$1") word
    local -a command=()
    # Each word is filled in on its own, as file managers do, so paths with blanks stay one word.
    for word in "${exec_words[@]}"; do
        case $word in
        %s) command+=("$size") ;;
        %i) command+=("$inside") ;;
        %o) command+=(/tmp/output/thumbnail.png) ;;
        %u) command+=("file://$inside") ;;
        *) command+=("$word") ;;
        esac
    done
    rm -rf "$scratch/out"
    mkdir -p "$scratch/out"
    if [ -n "$held" ]; then
        : >"$scratch/out/thumbnail.png"
        exec 7<"$scratch/out/thumbnail.png"
    fi
    # The installed tree stands in /usr/local, where the default prefix puts it.
    bwrap --unshare-all --die-with-parent --new-session --clearenv \
        --setenv PATH /usr/local/bin:/usr/bin:/bin --setenv HOME /tmp \
        --ro-bind /usr /usr --symlink usr/lib /lib --symlink usr/lib64 /lib64 \
        --symlink usr/bin /bin --symlink usr/sbin /sbin --ro-bind /etc/ld.so.cache /etc/ld.so.cache \
        --ro-bind "$scratch/stage/usr/local" /usr/local --proc /proc --dev /dev --tmpfs /tmp \
        --ro-bind "$model" "$inside" --bind "$scratch/out" /tmp/output \
        "${command[@]}" 2>"$scratch/thumbnailer.err"
    local status=$?
    if [ -n "$held" ]; then
        cat <&7 >"$scratch/held.png"
        exec 7<&-
    fi
    return $status
}

for case in "a torus.zem:128:" "dodecahedron:64:held" "largest.zem:256:" "a torus.zem:128:held"; do
    IFS=: read -r name size held <<<"$case"
    model=$scratch/models/$name
    thumbnail "$model" "$size" "$held" || fail "the thumbnailer failed on $model: $(cat "$scratch/thumbnailer.err")"
    picture=$scratch/out/thumbnail.png
    [ -z "$held" ] || picture=$scratch/held.png
    if ! facts=$("$probe" "$picture"); then
        fail "no readable thumbnail of $model${held:+ through the descriptor held open}"
        continue
    fi
    read -r width height foreground colours left top right bottom alpha <<<"$facts"
    check "thumbnail of $model should be $size x $size, is $width x $height" test "$width $height" = "$size $size"
    check "thumbnail of $model has a transparent background" test "$alpha" = 0
    # Framed to fit: the model fills a good part of the square, and it is shaded, not flat.
    check "thumbnail of $model covers $foreground pixels" test $((foreground * 10)) -ge $((size * size))
    check "thumbnail of $model spans its width: $left to $right" test $((right - left + 1)) -ge $((size / 2))
    check "thumbnail of $model has $colours colours" test "$colours" -ge 16
done

check "the thumbnailer fails on a broken model" test "$(thumbnail "$scratch/models/broken.zem" 128; echo $?)" != 0
check "a failed thumbnail leaves no picture" test -z "$(find "$scratch/out" -type f -size +0)"

# Any file a user browses past gets the thumbnailer: 20 GB of hole, which take no room on the disk,
# are refused by their size at once, in one line, within the thumbnail's time limit.
truncate -s 20G "$scratch/models/hole.zem"
started=$(date +%s%N)
status=$(thumbnail "$scratch/models/hole.zem" 256; echo $?)
elapsed=$((($(date +%s%N) - started) / 1000000))
check "the thumbnailer fails on a 20 GB sparse file" test "$status" = 1
check "the sparse file's failure is one line: $(cat "$scratch/thumbnailer.err")" \
    grep -qx "zemrender: /tmp/input/hole.zem: the file's 20 GB are more than the memory limit of 1 GB (see --max-memory)" \
    "$scratch/thumbnailer.err"
check "the sparse file's failure is one line" test "$(wc -l <"$scratch/thumbnailer.err")" = 1
check "the sparse file is refused within the time limit: $elapsed ms" test "$elapsed" -lt 5000
check "the sparse file leaves no picture" test -z "$(find "$scratch/out" -type f -size +0)"
finish
