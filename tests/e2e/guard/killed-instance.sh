#!/usr/bin/env bash
# The running instance is killed with SIGKILL: its claim dies with it, so
# the next start runs normally, and guards the name in its turn.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"

start first
x11_wait_window "$welcome_title" 20 >/dev/null || fail "the first instance showed no welcome window"
kill -KILL "${pids[first]}"
finished first 10

start next
welcome=$(x11_wait_window "$welcome_title" 20) || { cat "$work/next.log" >&2; fail "the start after kill -9 showed no window"; }
sleep 0.5
alive next || fail "the start after kill -9 ended"

start third
finished third 20
[ "$exit_code" = 0 ] || fail "a start beside the new instance exited with $exit_code"
ds_wait_until 5 x11_is_active "$welcome" || fail "the new instance's welcome window is not active"
echo "PASS"
