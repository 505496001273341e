#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs
# there: the program, its launcher entry, its themed icons and its AppStream data.
#   check-install.sh <build dir> <scratch dir> <program file name>
set -euo pipefail
build=$1
scratch=$2
program=${3:-}
if [ -z "$program" ]; then
  echo "SKIP: the program is not part of this build"
  exit 77
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch.log" 2>&1 || {
  cat "$scratch.log" >&2
  fail "cmake --install failed"
}

[ -f "$prefix/bin/$program" ] && [ -x "$prefix/bin/$program" ] ||
  fail "bin/$program is missing or not executable"

mapfile -t entries < <(find "$prefix/share/applications" -name '*.desktop' 2>/dev/null)
[ ${#entries[@]} -eq 1 ] || fail "expected one launcher entry in share/applications, found ${#entries[@]}"
entry=${entries[0]}
id=$(basename "$entry" .desktop)
desktop-file-validate "$entry" || fail "the installed entry does not validate"
[ -f "$prefix/share/metainfo/$id.metainfo.xml" ] || fail "share/metainfo/$id.metainfo.xml is missing"

# The entry's Exec and Icon must find what the install put in place.
exec_word=$(sed -n 's/^Exec=//p' "$entry")
exec_word=${exec_word%% *}
[ -x "$prefix/bin/$exec_word" ] || fail "the entry runs $exec_word, which bin/ does not hold"
icon=$(sed -n 's/^Icon=//p' "$entry")

# Each icon sits in the folder of its own size, and the picture is that size.
for size in 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
  [ -f "$png" ] || fail "icon $png is missing"
  description=$(file -b "$png")
  case $description in
    "PNG image data, $size x $size,"*) ;;
    *) fail "icon $png is not a $size x $size PNG: $description" ;;
  esac
done

echo "installed layout under $prefix is complete"
