#!/usr/bin/env bash
# The bash completion, driven as bash drives it: COMP_WORDS split at ":" as
# COMP_WORDBREAKS splits them, then the completion function, then COMPREPLY.
#   completion.sh PROGRAM COMPLETION-SCRIPT
set -uo pipefail
program=$1
script=$2
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
    echo "bash-completion is not installed"
    exit 77
fi
# shellcheck source=/dev/null
source "$framework"
# shellcheck source=/dev/null
source "$script"
# compopt acts only inside a completion that bash itself runs; here the
# options it would set are not under test.
compopt() { :; }

failures=0
# complete LINE EXPECTED...: every expected word is among the completions of
# LINE (whose last word is the one being completed).
complete_line() {
    local line=$program${1#korvalen-convert}
    shift
    local IFS=$' \t\n'
    COMP_LINE=$line
    COMP_POINT=${#line}
    # bash's own split: blanks, and ":" as a word of its own.
    read -ra COMP_WORDS <<<"${line//:/ : }"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _korvalen_convert "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local want got found
    for want in "$@"; do
        found=0
        for got in "${COMPREPLY[@]}"; do
            [[ $got == "$want" ]] && found=1
        done
        if [ "$found" = 0 ]; then
            echo "FAIL: '$line' does not offer '$want' (offers: ${COMPREPLY[*]:0:12})"
            failures=$((failures + 1))
        fi
    done
}
complete_none() {
    complete_line "$1"
    if [ ${#COMPREPLY[@]} -ne 0 ]; then
        echo "FAIL: '$1' offers ${COMPREPLY[*]:0:12}"
        failures=$((failures + 1))
    fi
}

complete_line "korvalen-convert 1 Kilog" Kilograms
complete_line "korvalen-convert 1 k" kg kilos km
complete_line "korvalen-convert 1 kg " lb Pounds Mass: Volume:
complete_line "korvalen-convert 1 Ma" Mass:
complete_line "korvalen-convert 1 Mass:Po" Pounds
complete_line "korvalen-convert 1 Mass:" Pounds oz lb Grams
complete_line "korvalen-convert 1 Volume:o" oz
complete_line "korvalen-convert --dig" --digits=
complete_line "korvalen-convert -" --list --help -V
complete_none "korvalen-convert 1 Mass:gal"
complete_none "korvalen-convert -d "

[ "$failures" = 0 ] && echo "bash completion: all lines complete"
exit $((failures > 0))
