#!/usr/bin/env bash
# Eight starts at the same moment: exactly one keeps running, with one
# welcome window; the other seven exit 0.
source "$(dirname "$0")/guard-lib.sh"

# Released together: each waits for a shared lock on a gate that this
# shell holds exclusively, and all get it the moment the gate opens.
exec {gate}>"$work/gate"
flock -x "$gate"
for i in 1 2 3 4 5 6 7 8; do
  (
    exec {gate}>&-
    flock -s "$work/gate" true
    exec "$program"
  ) >"$work/i$i.log" 2>&1 &
  pids[i$i]=$!
done
sleep 0.5
flock -u "$gate"
exec {gate}>&-

# Polled, not waited for with one search: xdotool gives up on a search when
# a window it looks at goes away, as the later instances' windows do.
shown() { x11_visible_windows "$welcome_title" >/dev/null; }
x11_wait_until 20 shown || { cat "$work"/i*.log >&2; fail "no instance showed its welcome window"; }
running() {
  local n=0 i
  for i in 1 2 3 4 5 6 7 8; do
    if alive "i$i"; then n=$((n + 1)); fi
  done
  [ "$n" = 1 ]
}
x11_wait_until 30 running || fail "not exactly one instance is left running"
for i in 1 2 3 4 5 6 7 8; do
  if ! alive "i$i"; then
    finished "i$i" 1
    [ "$exit_code" = 0 ] || { cat "$work/i$i.log" >&2; fail "instance $i exited with $exit_code"; }
  fi
done
sleep 0.5
count=$(x11_visible_windows "$welcome_title" | wc -l)
[ "$count" = 1 ] || fail "$count welcome windows are shown"
echo "PASS"
