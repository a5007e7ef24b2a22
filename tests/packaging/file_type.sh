#!/usr/bin/env bash
# The file type, as a desktop sees it once the installed MIME package is in a user's database:
# models by name and by content, and other text not taken for a model.
. "$(dirname "$0")/lib.sh"

install_tree "$scratch/stage"
export XDG_DATA_HOME=$scratch/home/.local/share XDG_DATA_DIRS=/usr/share HOME=$scratch/home
unset XDG_CURRENT_DESKTOP KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID MATE_DESKTOP_SESSION_ID DESKTOP_SESSION
mkdir -p "$XDG_DATA_HOME/mime/packages"
cp "$scratch/stage/usr/local/share/mime/packages/zemview.xml" "$XDG_DATA_HOME/mime/packages/"
update-mime-database "$XDG_DATA_HOME/mime"
check "model/x-zem is a kind of text/plain" grep -qx "model/x-zem text/plain" "$XDG_DATA_HOME/mime/subclasses"

files=$scratch/files
mkdir -p "$files"
cp "$source_dir/models/tetra.zem" "$files/tetra.zem"
cp "$source_dir/models/tetra.zem" "$files/tetra"
# The loader finds a header after other lines, and keeps names of up to 203 bytes.
{ printf 'exported from a spreadsheet\n\n'; cat "$source_dir/models/cube.zem"; } >"$files/after-lines"
{
    printf 'SHAPE %s_shape = { 0, 4, 5 };\n' "$(head -c 203 /dev/zero | tr '\0' n)"
    tail -n +2 "$source_dir/models/tetra.zem"
} >"$files/long-name"
printf 'A shopping list:\nmilk, bread, { eggs }\n' >"$files/notes.txt"
printf 'A shopping list:\nmilk, bread, { eggs }\n' >"$files/notes"
printf 'SHAPE of the garden: round\nVECTOR graphics are sharp\n' >"$files/shapes"

expect_type()
{
    local file=$1 type=$2 seen
    seen=$(xdg-mime query filetype "$files/$file")
    check "xdg-mime: $file is $type, not $seen" test "$seen" = "$type"
    seen=$(gio info -a standard::content-type "$files/$file" | sed -n 's/^ *standard::content-type: //p')
    check "gio: $file is $type, not $seen" test "$seen" = "$type"
}
expect_type tetra.zem model/x-zem
expect_type tetra model/x-zem
expect_type after-lines model/x-zem
expect_type long-name model/x-zem
expect_type notes.txt text/plain
expect_type notes text/plain
expect_type shapes text/plain
finish
