#!/usr/bin/env bash
# A second start while the first shows its conversion window minimised: the
# second exits 0 without ever mapping a window, and the first's window is
# restored and made active.
source "$(dirname "$0")/guard-lib.sh"

start first
welcome=$(x11_wait_window "$welcome_title" 20) || fail "the first instance showed no welcome window"
conversion=$(continue_to_conversion "$welcome") || fail "could not reach the conversion window"
xdotool windowminimize --sync "$conversion"
x11_wait_until 5 x11_is_minimised "$conversion" || fail "the conversion window did not minimise"

watch_maps
start second
finished second 20
mapped=$(mapped_since_watch)
[ "$exit_code" = 0 ] || { cat "$work/second.log" >&2; fail "the second start exited with $exit_code"; }
[ -z "$mapped" ] || fail "windows were mapped during the second start: $mapped"

x11_wait_until 5 eval '! x11_is_minimised "$conversion"' || fail "the first's window stayed minimised"
x11_wait_until 5 is_active "$conversion" ||
  fail "active is $(x11_active_window), not the first's window $conversion"
alive first || fail "the first instance ended"
echo "PASS"
