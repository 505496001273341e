#!/usr/bin/env bash
# Checks the launcher entry and the AppStream data in the packaging folder.
#   check-metadata.sh validate-entry    <packaging dir>
#   check-metadata.sh validate-metainfo <packaging dir>
#   check-metadata.sh ids               <packaging dir> [program file name]
set -euo pipefail
mode=$1
dir=$2
program=${3:-}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Exactly one of each, so the install rules and the package cannot pick a stale copy.
mapfile -t entries < <(find "$dir" -maxdepth 1 -name '*.desktop')
mapfile -t metainfos < <(find "$dir" -maxdepth 1 -name '*.metainfo.xml')
[ ${#entries[@]} -eq 1 ] || fail "expected one .desktop file in $dir, found ${#entries[@]}"
[ ${#metainfos[@]} -eq 1 ] || fail "expected one .metainfo.xml file in $dir, found ${#metainfos[@]}"
entry=${entries[0]}
metainfo=${metainfos[0]}

# The value of a key in the [Desktop Entry] group, untranslated.
entry_key() {
  sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$1"'=//p}' "$entry"
}
# The text of the first element with this start tag (the file keeps one per line).
metainfo_element() {
  sed -n 's:.*<'"$1"'>\(.*\)</.*:\1:p' "$metainfo" | head -n 1
}

case $mode in
  validate-entry)
    desktop-file-validate "$entry"
    ;;
  validate-metainfo)
    # Warnings fail too; only pedantic remarks pass.
    appstreamcli validate --no-net --explain "$metainfo"
    ;;
  ids)
    id=$(basename "$entry" .desktop)
    [ "$(metainfo_element id)" = "$id" ] ||
      fail "metainfo id '$(metainfo_element id)' is not the desktop id '$id'"
    [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] ||
      fail "metainfo file $(basename "$metainfo") is not named after the id $id"
    [ "$(metainfo_element 'launchable type="desktop-id"')" = "$id.desktop" ] ||
      fail "metainfo launches '$(metainfo_element 'launchable type="desktop-id"')', not $id.desktop"
    if [ -n "$program" ]; then
      exec_word=$(entry_key Exec)
      exec_word=${exec_word%% *}
      [ "$exec_word" = "$program" ] || fail "Exec runs '$exec_word', not $program"
      [ "$(entry_key TryExec)" = "$program" ] || fail "TryExec is '$(entry_key TryExec)', not $program"
      [ "$(entry_key Icon)" = "$program" ] || fail "Icon is '$(entry_key Icon)', not $program"
      [ "$(metainfo_element binary)" = "$program" ] ||
        fail "metainfo provides binary '$(metainfo_element binary)', not $program"
      # Qt names the window class after the application, whose name is the
      # program's title: the file name, its first character as it is and
      # every later one lower case.
      title="${program:0:1}$(echo "${program:1}" | tr '[:upper:]' '[:lower:]')"
      [ "$(entry_key StartupWMClass)" = "$title" ] ||
        fail "StartupWMClass is '$(entry_key StartupWMClass)', the window class is $title"
    fi
    echo "desktop id $id agrees across the entry and the metainfo"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
