# Completes a line in an interactive zsh, as a user's Tab does: zsh_complete.zsh FPATH OUT LINE
# appends the candidates that the completion functions in FPATH offer to the file OUT.
zmodload zsh/zpty
zpty z 'zsh -f -i'
zpty -w z "fpath=($1 \$fpath); autoload -Uz compinit; compinit -u -D; out=$2"
# Every candidate passes through compadd; -O collects the ones that match what is typed.
zpty -w z 'compadd() { local -a matched; builtin compadd -O matched "$@"; (( $#matched )) && print -rl -- $matched >>$out; builtin compadd "$@" }'
zpty -w z ": >$2.ready"
while [[ ! -e $2.ready ]]; do sleep 0.05; done
zpty -n -w z "$3"$'\t'
# Once completion is over, the line is cleared and a command marks the end.
zpty -w z $'\C-e\C-u: >'"$2.done"
while [[ ! -e $2.done ]]; do sleep 0.05; done
zpty -d z
