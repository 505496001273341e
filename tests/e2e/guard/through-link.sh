#!/usr/bin/env bash
# Starts through symbolic links with other names meet the instance started
# under the file's own name and the other way round: the title, the claim
# and the window class all come from the file that actually runs.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"

mkdir "$work/bin"
ln -s "$program" "$work/bin/kc"
ln -s "$program" "$work/bin/KC2"

start first "$work/bin/kc"
welcome=$(x11_wait_window "$welcome_title" 20) || fail "the first instance showed no welcome window"
conversion=$(continue_to_conversion "$welcome") || fail "could not reach the conversion window"

for second in "$program" "$work/bin/KC2"; do
  xdotool windowminimize --sync "$conversion"
  ds_wait_until 5 x11_is_minimised "$conversion" || fail "the conversion window did not minimise"
  second_start_ends_unseen second "$second"
  ds_wait_until 5 eval '! x11_is_minimised "$conversion"' ||
    fail "the first's window stayed minimised after a start of $second"
  ds_wait_until 5 x11_is_active "$conversion" ||
    fail "after a start of $second, active is $(x11_active_window), not $conversion"
done
alive first || fail "the first instance ended"
echo "PASS"
