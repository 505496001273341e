#!/usr/bin/env bash
# Eight starts at the same moment: exactly one keeps running, with one
# welcome window; the other seven exit 0.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"

start_eight
# Polled, not waited for with one search: xdotool gives up on a search when
# a window it looks at goes away, as the later instances' windows do.
shown() { x11_visible_windows "$welcome_title" >/dev/null; }
ds_wait_until 20 shown || fail "the remaining instance showed no welcome window"
sleep 0.5
count=$(x11_visible_windows "$welcome_title" | wc -l)
[ "$count" = 1 ] || fail "$count welcome windows are shown"
echo "PASS"
