#!/usr/bin/env bash
# On a Wayland compositor: a second start while another window has the
# focus exits 0 without mapping a surface, and the running instance's window
# is focused again; first the welcome window, then, after "Continue", the
# conversion window.
source "$(dirname "$0")/../single-instance.sh" wayland "$@"

start first
welcome=$(wl_wait_window "${pids[first]}" "$welcome_title" 20) || fail "the first instance showed no welcome window"
ds_wait_until 5 wl_is_focused "$welcome" || fail "the welcome window did not take the focus"
cover other
other=$cover_con

second_start_ends_unseen second
ds_wait_until 5 wl_is_focused "$welcome" || fail "the welcome window was not focused again"
alive first || fail "the first instance ended"

conversion=$(continue_to_conversion "$welcome")
give_focus "$other"
second_start_ends_unseen third
ds_wait_until 5 wl_is_focused "$conversion" || fail "the conversion window was not focused again"
alive first || fail "the first instance ended"
echo "PASS"
