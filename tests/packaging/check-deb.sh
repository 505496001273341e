#!/usr/bin/env bash
# Builds the Debian package with CPack in a scratch folder, then unpacks it
# and checks its fields, its contents, that it declares a package for every
# shared library the programs load, and that lintian finds no error or warning.
# A build made with Debian's hardening flags must also pass hardening-check,
# and lintian must find none of its hardening tags.
#   check-deb.sh <build dir> <scratch dir> <program file name> <version> <hardened: 1 or 0>
set -euo pipefail
build=$1
scratch=$2
program=${3:-}
version=$4
hardened=${5:-0}
if [ -z "$program" ]; then
  echo "SKIP: the program is not part of this build"
  exit 77
fi

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
}
mapfile -t debs < <(find "$scratch" -maxdepth 1 -name '*.deb')
[ ${#debs[@]} -eq 1 ] || fail "expected one .deb, found ${#debs[@]}"
deb=${debs[0]}

field() {
  dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = korvalen-converter ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"

# Depends as bare package names, one a line.
depends=$(field Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/:any//; s/^ *//; s/ *$//' | sed '/^$/d')
declares() {
  grep -qx "$1" <<<"$depends"
}
# Qt loads its X11 platform plugin by itself, so no library scan finds it.
# The libraries linked in (libjpeg among them) are checked one by one below.
for package in libqt6widgets6 qt6-qpa-plugins; do
  declares "$package" || fail "Depends lacks $package: $(field Depends)"
done

# Contents: the program in /usr/bin, the desktop files, nothing for developers.
contents=$(dpkg-deb -c "$deb")
for binary in "$program" korvalen-convert; do
  grep -Eq "^-rwxr-xr-x root/root .* \./usr/bin/$binary\$" <<<"$contents" ||
    fail "./usr/bin/$binary is missing or not an executable owned by root"
  grep -Eq "^-rw-r--r-- root/root .* \./usr/share/man/man1/$binary\.1\.gz\$" <<<"$contents" ||
    fail "the package lacks the manual page of $binary"
done
for path in '\./usr/share/applications/[^/]+\.desktop' '\./usr/share/metainfo/[^/]+\.metainfo\.xml' \
  '\./usr/share/doc/korvalen-converter/copyright' '\./usr/share/doc/korvalen-converter/changelog\.gz'; do
  grep -Eq " $path\$" <<<"$contents" || fail "the package lacks $path"
done
for size in 32 48 64 128 256; do
  grep -Eq " \./usr/share/icons/hicolor/${size}x${size}/apps/[^/]+\.png\$" <<<"$contents" ||
    fail "the package lacks the ${size}x${size} icon"
done
paths=$(awk '{ print $NF }' <<<"$contents")
if grep -Ev '^\./(usr/((bin|share)(/.*)?)?)?$' <<<"$paths"; then
  fail "the package installs outside /usr/bin and /usr/share"
fi
if grep -E '\.(a|h)$|/include/|/cmake/' <<<"$paths"; then
  fail "the package carries the engine's development files"
fi

# Every library the packaged program loads comes from a declared package.
dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch"/root/usr/share/applications/*.desktop
# The changelog's latest entry is this version.
head=$(gzip -dc "$scratch/root/usr/share/doc/korvalen-converter/changelog.gz" | head -n 1)
[[ $head == "korvalen-converter ($version) "* ]] || fail "the changelog begins '$head', not version $version"
# The command line loads ICU itself, and only for a name beyond ASCII, so it
# is among what the dynamic loader reports for such a name, not among NEEDED.
loaded=$(LD_DEBUG=files "$scratch/root/usr/bin/korvalen-convert" 1 $'Kilogram\xC5\x9B' Pounds 2>&1 >/dev/null |
  sed -n 's/.*file=\([^ ]*\) \[[0-9]*\];  \(needed\|dynamically loaded\) by .*/\1/p') || true
grep -q '^libicuuc\.so' <<<"$loaded" || fail "korvalen-convert loaded no ICU for a name beyond ASCII"
# Loading ICU costs more than the conversion itself.
if LD_DEBUG=files "$scratch/root/usr/bin/korvalen-convert" 1 Kilograms Pounds 2>&1 >/dev/null | grep 'file=libicu'; then
  fail "korvalen-convert loads ICU for names in ASCII"
fi
mapfile -t needed < <({
  for binary in "$program" korvalen-convert; do
    objdump -p "$scratch/root/usr/bin/$binary" | sed -n 's/^ *NEEDED *//p'
  done
  echo "$loaded"
} | sort -u)
[ ${#needed[@]} -gt 0 ] || fail "the programs name no shared library"
for soname in "${needed[@]}"; do
  # awk reads to the end: leaving early would kill ldconfig with SIGPIPE,
  # which pipefail turns into a silent exit.
  path=$(ldconfig -p | awk -v s="$soname" '$1 == s && !found { print $NF; found = 1 }')
  [ -n "$path" ] || fail "$soname is not a known library on this machine"
  owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n 1 | cut -d: -f1) ||
    true
  [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) || true
  [ -n "$owner" ] || fail "no Debian package owns $path"
  declares "$owner" || fail "the program loads $soname from $owner, which Depends does not name"
done

# Errors and warnings fail; an override would need a written reason. Run as
# root, lintian prints a notice about it, which is harmless. Its hardening
# tags are information only, so they are looked for in what it prints.
lintian -I --pedantic --fail-on error,warning --no-tag-display-limit "$deb" >"$scratch/lintian.log" 2>&1 || {
  cat "$scratch/lintian.log" >&2
  fail "lintian reports errors or warnings"
}
if [ "$hardened" = 1 ]; then
  for binary in "$program" korvalen-convert; do
    # Control-flow protection is not among Debian 12's hardening features:
    # neither its C library nor libstdc++ nor Qt is built with it, so no
    # program on it can run protected.
    hardening-check --nocfprotection "$scratch/root/usr/bin/$binary" >"$scratch/hardening.log" 2>&1 || {
      cat "$scratch/hardening.log" >&2
      fail "hardening-check finds $binary unprotected"
    }
  done
  if grep -E ' hardening-' "$scratch/lintian.log" >&2; then
    fail "lintian finds the programs built without some hardening"
  fi
else
  echo "not built with Debian's hardening flags: hardening-check not run"
fi

echo "$(basename "$deb") declares: $(field Depends)"
