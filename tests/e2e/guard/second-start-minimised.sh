#!/usr/bin/env bash
# A second start while the first shows its conversion window minimised: the
# second exits 0 without ever mapping a window, and the first's window is
# restored and made active.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"

start first
welcome=$(x11_wait_window "$welcome_title" 20) || fail "the first instance showed no welcome window"
conversion=$(continue_to_conversion "$welcome") || fail "could not reach the conversion window"
xdotool windowminimize --sync "$conversion"
ds_wait_until 5 x11_is_minimised "$conversion" || fail "the conversion window did not minimise"

second_start_ends_unseen second

ds_wait_until 5 eval '! x11_is_minimised "$conversion"' || fail "the first's window stayed minimised"
ds_wait_until 5 x11_is_active "$conversion" ||
  fail "active is $(x11_active_window), not the first's window $conversion"
alive first || fail "the first instance ended"
echo "PASS"
