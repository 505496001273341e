#!/usr/bin/env bash
# Copies of the program under other file names have other titles, so they
# run side by side ("converter" beside "Converter" too); a copy whose file
# name gives an empty title (".x") has no guard at all.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"

mkdir "$work/bin"
for name in Converter Converter2 converter .x; do
  cp "$program" "$work/bin/$name"
done

start converter "$work/bin/Converter"
x11_wait_window "$welcome_title" 20 >/dev/null || fail "Converter showed no welcome window"
start converter2 "$work/bin/Converter2"
two() { [ "$(x11_visible_windows "$welcome_title" | wc -l)" = 2 ]; }
ds_wait_until 20 two || fail "Converter2 did not show its welcome window beside Converter"
start lower "$work/bin/converter"
three() { [ "$(x11_visible_windows "$welcome_title" | wc -l)" = 3 ]; }
ds_wait_until 20 three || fail "converter did not show its welcome window beside Converter"

# The name is still guarded per title.
start converter-again "$work/bin/Converter"
finished converter-again 20
[ "$exit_code" = 0 ] || fail "a second Converter exited with $exit_code"

start dot1 "$work/bin/.x"
start dot2 "$work/bin/.x"
five() { [ "$(x11_visible_windows "$welcome_title" | wc -l)" = 5 ]; }
ds_wait_until 20 five || fail "two copies with an empty title did not both show their window"
for name in converter converter2 lower dot1 dot2; do
  alive "$name" || fail "$name ended"
done
echo "PASS"
