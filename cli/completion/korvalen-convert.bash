# bash completion for korvalen-convert: options, the units and their other
# names, families (FAMILY:) and, after FAMILY:, that family's units. The names
# come from the program's own list, so they never fall out of step with it.

_korvalen_convert_names() {
    # $1: the program, $2: a family, or nothing for every family. Prints one
    # name per line; names holding spaces are left out (they need quoting).
    local unit other name
    local -a others
    while IFS=$'\t' read -r unit other; do
        if [[ -z $2 && $unit != "  "* ]]; then
            printf '%s:\n' "$unit"
            continue
        fi
        printf '%s%s\n' "${2:+$2:}" "${unit#  }"
        IFS=',' read -ra others <<<"$other"
        for name in "${others[@]}"; do
            name=${name# }
            [[ -n $name && $name != *" "* ]] && printf '%s%s\n' "${2:+$2:}" "$name"
        done
    done < <("$1" --list ${2:+"$2"} 2>/dev/null)
}

_korvalen_convert() {
    local cur prev words cword
    # bash splits words at ":", which FAMILY:UNIT holds.
    _init_completion -n : || return

    case $prev in
        -d | --digits | -p | --pattern)
            return
            ;;
    esac
    if [[ $cur == -* && $cur != -[0-9.]* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--digits= --pattern= --list --help --version -d -p -l -h -V' -- "$cur")
        [[ ${COMPREPLY[0]-} == *= ]] && compopt -o nospace
        return
    fi
    local family=
    [[ $cur == *:* ]] && family=${cur%%:*}
    local IFS=$'\n'
    mapfile -t COMPREPLY < <(compgen -W "$(_korvalen_convert_names "$1" "$family")" -- "$cur")
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *: ]] && compopt -o nospace
    __ltrim_colon_completions "$cur"
}
complete -F _korvalen_convert korvalen-convert
