#!/usr/bin/env bash
# Writes the bash completion of kelvot-cli from the program's own help: the commands its --help lists,
# and for each command the options its --help lists, with the values of those that take one of a set
# (--filter, --format, --quality). Built with the program, it cannot fall behind it.
#
#   packaging/cli-completion.sh KELVOT_CLI OUTPUT
set -euo pipefail
cli=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
commands=$("$here/cli-commands.sh" "$cli" | tr '\n' ' ')

# From a command's help: "opts=..." (every option), "values[--opt]=..." (the set an option takes) and
# "takes[--opt]=1" for an option that takes a value of any kind.
options_of() {
    "$cli" "$@" --help | awk '
        /^Options:/ { inside = 1; next }
        inside && /^  -/ {
            n = split($1, names, ",")
            for (i = 1; i <= n; i++) opts = opts " " names[i]
            long = names[n]
            if ($2 ~ /^[A-Z]+:\{/) {
                set = $2; sub(/^[A-Z]+:\{/, "", set); sub(/\}$/, "", set); gsub(/,/, " ", set)
                printf "values[%s]=\"%s\"\n", long, set
            } else if ($2 ~ /^[A-Z]+(:[A-Z]+)?$/) {
                printf "takes[%s]=1\n", long
            }
        }
        END { printf "opts=\"%s\"\n", substr(opts, 2) }'
}

{
    cat <<TEXT
# bash completion for kelvot-cli $("$cli" --version | awk '{ print $NF }'), written from its --help at build time.
_kelvot_cli() {
    local cur=\${COMP_WORDS[COMP_CWORD]} prev=\${COMP_WORDS[COMP_CWORD-1]} command=\${COMP_WORDS[1]}
    local opts=
    local -A values=() takes=()
    COMPREPLY=()
    if [ "\$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=(\$(compgen -W "$commands$(options_of | sed -n 's/^opts="\(.*\)"$/\1/p')" -- "\$cur"))
        return
    fi
    case \$command in
TEXT
    for command in $commands; do
        echo "    $command)"
        options_of "$command" | sed 's/^/        /'
        echo '        ;;'
    done
    cat <<'TEXT'
    *) return ;;
    esac
    if [ -n "${values[$prev]-}" ]; then
        COMPREPLY=($(compgen -W "${values[$prev]}" -- "$cur"))
    elif [ -n "${takes[$prev]-}" ]; then
        return
    elif [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
    else
        # Archives, folders and files: the file names bash offers.
        compopt -o default 2>/dev/null
    fi
}
complete -F _kelvot_cli kelvot-cli
TEXT
} >"$out"
