#!/usr/bin/env bash
# A second start while the first's conversion window lies behind another
# program's window: the second exits 0 without mapping a window, and the
# first's window is raised to the top and made active.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"

start first
welcome=$(x11_wait_window "$welcome_title" 20) || fail "the first instance showed no welcome window"
conversion=$(continue_to_conversion "$welcome") || fail "could not reach the conversion window"

xmessage -title "Guard Cover" -geometry 600x400 "covering the conversion window" 2>/dev/null &
pids[cover]=$!
cover=$(x11_wait_window '^Guard Cover$' 10) || fail "no covering window"
read -r x y _ _ <<<"$(x11_window_geometry "$conversion")"
xdotool windowmove --sync "$cover" "$x" "$y"
ds_wait_until 5 x11_is_active "$cover" || fail "the covering window is not active"
ds_wait_until 5 is_topmost "$cover" || fail "the covering window is not on top"

second_start_ends_unseen second

ds_wait_until 5 is_topmost "$conversion" || fail "the first's window was not raised: $(stacking_order | tr '\n' ' ')"
ds_wait_until 5 x11_is_active "$conversion" ||
  fail "active is $(x11_active_window), not the first's window $conversion"
alive first || fail "the first instance ended"
echo "PASS"
