#!/usr/bin/env bash
# Two graphical sessions of one user, two compositors with their own
# Wayland sockets on one session bus: each runs an instance of its own, and
# a second start in each brings forward its own session's window only.
source "$(dirname "$0")/../single-instance.sh" wayland "$@"
ds_wl_start second-seat || fail "no second compositor"

declare -A welcome=() other=()
for seat in main second-seat; do
  wl_use "$seat"
  start "first-$seat"
  welcome[$seat]=$(wl_wait_window "${pids[first-$seat]}" "$welcome_title" 20) ||
    fail "the first instance on $seat showed no welcome window"
done
for seat in main second-seat; do
  alive "first-$seat" || fail "the instance on $seat ended beside the other session's"
  wl_use "$seat"
  cover "other-$seat"
  other[$seat]=$cover_con
done

# Each start activates its own session's instance, and leaves the other
# session's focus where it was.
for seat in main second-seat; do
  wl_use "$seat"
  second_start_ends_unseen "second-$seat"
  ds_wait_until 5 wl_is_focused "${welcome[$seat]}" || fail "the welcome window on $seat was not focused again"
  if [ "$seat" = main ]; then
    wl_use second-seat
    wl_is_focused "${other[second-seat]}" || fail "a start on main changed the focus on second-seat"
  fi
done
alive first-main && alive first-second-seat || fail "an instance ended"
echo "PASS"
