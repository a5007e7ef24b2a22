#!/usr/bin/env bash
# The double-click: with zemview registered as the default for model/x-zem in a user's folders,
# xdg-open on a model opens the viewer's window titled with the model's name.
. "$(dirname "$0")/lib.sh"

install_tree "$scratch/stage"
bin=$scratch/stage/usr/local/bin
export PATH=$bin:$PATH HOME=$scratch/home
export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config XDG_DATA_DIRS=/usr/share
unset XDG_CURRENT_DESKTOP KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID MATE_DESKTOP_SESSION_ID DESKTOP_SESSION
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
cp -r "$scratch/stage/usr/local/share/mime" "$scratch/stage/usr/local/share/applications" "$XDG_DATA_HOME/"
update-mime-database "$XDG_DATA_HOME/mime"
xdg-mime default zemview.desktop model/x-zem
check "zemview is the default for model/x-zem" test "$(xdg-mime query default model/x-zem)" = zemview.desktop

mkdir -p "$scratch/files"
cp "$source_dir/models/tetra.zem" "$scratch/files/my model.zem"
cp "$source_dir/models/cube.zem" "$scratch/files/cube, no extension"
# xdg-open runs the Exec line's program as found on PATH, so that path heads the window title.
for case in "my model.zem:tetra" "cube, no extension:cube"; do
    file=$scratch/files/${case%%:*}
    title="$bin/zemview - ${case##*:}"
    xdg-open "$file" >"$scratch/out" 2>&1 &
    opener=$!
    background+=("$opener")
    if id=$(window_with_title "$title" 20); then
        close_window "$id"
        if exit_status_within "$opener" 10; then
            check "xdg-open on $file ends with status 0, not $exit_status" test "$exit_status" = 0
        else
            fail "the viewer of $file did not quit on Escape"
        fi
    else
        fail "no window titled '$title' after xdg-open $file"
        cat "$scratch/out" >&2
    fi
    check "the viewer's banner for $file" grep -qx "version 0.4, viewing only" "$scratch/out"
done
finish
