#!/usr/bin/env bash
# Eight starts at the same moment on one compositor leave exactly one
# instance, with one window; the other seven exit 0. Killed with SIGKILL,
# that instance leaves no claim behind: the next start runs normally.
source "$(dirname "$0")/../single-instance.sh" wayland "$@"

start_eight
wl_wait_window "${pids[$survivor]}" "$welcome_title" 20 >/dev/null || fail "the remaining instance shows no welcome window"
count=$(wl_views | awk -F '\t' -v app="$WL_APP_ID" '$4 == app' | wc -l)
[ "$count" = 1 ] || fail "$count windows of the program are mapped"

# Reaped at once: bash reports a job killed meanwhile on standard error.
kill -KILL "${pids[$survivor]}"
wait "${pids[$survivor]}" 2>/dev/null || true
unset "pids[$survivor]"
start next
wl_wait_window "${pids[next]}" "$welcome_title" 20 >/dev/null || fail "the start after kill -9 showed no window"
second_start_ends_unseen beside
alive next || fail "the start after kill -9 ended"
echo "PASS"
