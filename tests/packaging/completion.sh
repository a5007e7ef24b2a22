#!/usr/bin/env bash
# Shell completion as installed: bash and zsh offer models (and folders) to the three programs, PNG
# files as zemrender's image, other formats to zemconvert, and each companion's options from its --help.
. "$(dirname "$0")/lib.sh"

install_tree "$scratch/stage"
prefix=$scratch/stage/usr/local
work=$scratch/work
mkdir -p "$work/folder"
touch "$work/a.zem" "$work/b.txt" "$work/c.png" "$work/d.obj"

# complete LINE: the words bash offers at the end of LINE, one a line, sorted.
complete_line()
{
    (
        cd "$work"
        PATH=$prefix/bin:$PATH bash --norc --noprofile -c '
            . /usr/share/bash-completion/bash_completion
            line=$1
            read -r -a COMP_WORDS <<<"$line"
            [[ $line == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            COMP_LINE=$line
            COMP_POINT=${#line}
            . "$2/${COMP_WORDS[0]}"
            function=$(complete -p "${COMP_WORDS[0]}" | sed "s/.*-F \([^ ]*\) .*/\1/")
            "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
            printf "%s\n" "${COMPREPLY[@]}" | sort' bash "$1" "$prefix/share/bash-completion/completions"
    )
}

# zsh_complete LINE: the same from zsh with the installed vendor completions.
zsh_complete()
{
    local out=$scratch/zsh-candidates
    rm -f "$out" "$out".*
    (cd "$work" && PATH=$prefix/bin:$PATH timeout 60 zsh -f "$here/zsh_complete.zsh" \
        "$prefix/share/zsh/vendor-completions" "$out" "$1")
    [ ! -e "$out" ] || sort -u "$out"
}

expect()
{
    local line=$1 wanted=$2 seen
    seen=$(complete_line "$line" | paste -sd ' ')
    check "bash: '$line' offers '$wanted', not '$seen'" test "$seen" = "$wanted"
    seen=$(zsh_complete "$line" | paste -sd ' ')
    check "zsh: '$line' offers '$wanted', not '$seen'" test "$seen" = "$wanted"
}
expect "zemview " "a.zem folder"
expect "zemview a" "a.zem"
expect "zemview a.zem " ""
expect "zemrender " "a.zem folder"
expect "zemrender a.zem " "c.png folder"
expect "zemrender --thumbnail " ""
expect "zemrender --thumbnail 128 " "a.zem folder"
expect "zemrender --thumbnail 128 a.zem " "c.png folder"
expect "zemrender -s 64x48 --flat " "a.zem folder"
expect "zemrender --background " "black transparent white"
expect "zemconvert " "a.zem d.obj folder"
expect "zemconvert a.zem " "a.zem d.obj folder"
expect "zemconvert --format " "glb gltf html obj ply stl zem"
expect "zemconvert --scale 2 d.obj " "a.zem d.obj folder"
expect "zemconvert --colours " "auto material texture vertex"
# Every long option that --help lists, and no other: zsh's list is written out, so it must follow
# the program.
for program in zemrender zemconvert; do
    options=$("$prefix/bin/$program" --help | sed -nE 's/^ +(-[a-zA-Z], )?(--[a-z-]+).*/\2/p' | sort | paste -sd ' ')
    check "$program --help lists its options" test -n "$options"
    check "bash: '$program --' offers $options" test "$(complete_line "$program --" | paste -sd ' ')" = "$options"
    check "zsh: '$program --' offers $options" test "$(zsh_complete "$program --" | paste -sd ' ')" = "$options"
done
finish
