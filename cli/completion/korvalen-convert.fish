# fish completion for korvalen-convert: options, the units and their other
# names, families (FAMILY:) and, after FAMILY:, that family's units, from the
# program's own list.

function __korvalen_convert_names
    set -l program (commandline -opc)[1]
    set -l token (commandline -ct)
    set -l prefix ''
    set -l list --list
    if string match -q -- '*:*' $token
        set prefix (string split -m1 : -- $token)[1]
        set list --list $prefix
        set prefix $prefix:
    end
    for line in ($program $list 2>/dev/null)
        if test -z "$prefix"; and not string match -q -- ' *' $line
            echo $line:
            continue
        end
        set -l fields (string split \t -- (string trim -l -- $line))
        echo $prefix$fields[1]
        for name in (string split ', ' -- $fields[2..-1])
            string match -q -- '* *' $name; or echo $prefix$name
        end
    end
end

complete -c korvalen-convert -s d -l digits -x -a '(seq 1 17)' -d 'Print N significant digits'
complete -c korvalen-convert -s p -l pattern -x -d 'Print by a format pattern'
complete -c korvalen-convert -s l -l list -d 'List the families and their units'
complete -c korvalen-convert -s h -l help -d 'Display help and exit'
complete -c korvalen-convert -s V -l version -d 'Output version information and exit'
complete -c korvalen-convert -f -a '(__korvalen_convert_names)'
