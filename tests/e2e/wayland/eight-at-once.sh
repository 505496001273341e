#!/usr/bin/env bash
# Eight starts at the same moment on one compositor leave exactly one
# instance, with one window; the other seven exit 0. Killed with SIGKILL,
# that instance leaves no claim behind: the next start runs normally.
source "$(dirname "$0")/wayland-lib.sh"

# Released together: each waits for a shared lock on a gate that this
# shell holds exclusively, and all get it the moment the gate opens.
exec {gate}>"$work/gate"
flock -x "$gate"
for i in 1 2 3 4 5 6 7 8; do
  (
    exec {gate}>&-
    flock -s "$work/gate" true
    exec "${WL_AS_USER[@]}" "$program"
  ) </dev/null >"$work/i$i.log" 2>&1 &
  pids[i$i]=$!
done
sleep 0.5
flock -u "$gate"
exec {gate}>&-

running() {
  local n=0 i
  for i in 1 2 3 4 5 6 7 8; do
    if alive "i$i"; then n=$((n + 1)); fi
  done
  [ "$n" = 1 ]
}
wl_wait_until 60 running || fail "not exactly one instance is left running"
survivor=
for i in 1 2 3 4 5 6 7 8; do
  if alive "i$i"; then
    survivor=i$i
  else
    finished "i$i" 1
    [ "$exit_code" = 0 ] || fail "instance $i exited with $exit_code"
  fi
done
wl_wait_window "${pids[$survivor]}" "$welcome_title" 20 >/dev/null || fail "the remaining instance shows no welcome window"
count=$(wl_views | awk -F '\t' '$4 == "com.example.korvalen.converter"' | wc -l)
[ "$count" = 1 ] || fail "$count windows of the program are mapped"

# Reaped at once: bash reports a job killed meanwhile on standard error.
kill -KILL "${pids[$survivor]}"
wait "${pids[$survivor]}" 2>/dev/null || true
unset "pids[$survivor]"
start next
welcome=$(wl_wait_window "${pids[next]}" "$welcome_title" 20) || fail "the start after kill -9 showed no window"
second_start_ends_unseen beside
alive next || fail "the start after kill -9 ended"
echo "PASS"
