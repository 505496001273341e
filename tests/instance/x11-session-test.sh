#!/usr/bin/env bash
# Proves the end-to-end display library: it comes up, its readers tell the
# truth about a real window, and it leaves nothing running however its shell
# ends. Usage: x11-session-test.sh PATH/TO/x11-session.sh
set -euo pipefail
lib=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
alive() { kill -0 "$1" 2>/dev/null; }
all_gone() {
  local pid
  for pid in "$@"; do
    alive "$pid" && return 1
  done
  return 0
}

# shellcheck source=/dev/null
source "$lib"

# A test script that fails: its EXIT trap (kept) runs and the servers go.
status=0
out=$(bash -c 'source "$1"; trap "echo own-trap-ran" EXIT
  x11_session_start >/dev/null || exit 9
  echo "$_x11_xvfb_pid $_x11_bus_pid $_x11_wm_pid $_x11_watchdog_pid"; exit 3' _ "$lib") || status=$?
[ "$status" = 3 ] || fail "a failing script must keep its exit status, got $status"
read -r -a pids <<<"$(head -n 1 <<<"$out")"
[ "${#pids[@]}" = 4 ] || fail "expected four processes, got: $out"
grep -qx own-trap-ran <<<"$out" || fail "the script's own EXIT trap did not run"
all_gone "${pids[@]}" || fail "processes left after a failing script: ${pids[*]}"

# A test script killed outright: the watchdog takes the servers down.
fifo=$(mktemp -u)
mkfifo "$fifo"
bash -c 'source "$1"; x11_session_start >/dev/null || exit 9
  echo "$_x11_xvfb_pid $_x11_bus_pid $_x11_wm_pid $_x11_watchdog_pid" >"$2"; exec sleep 60' _ "$lib" "$fifo" &
victim=$!
read -r -a pids <"$fifo"
rm -f "$fifo"
alive "${pids[0]}" || fail "Xvfb did not run"
{
  kill -KILL "$victim"
  wait "$victim" || true
} 2>/dev/null
x11_wait_until 5 all_gone "${pids[@]}" || fail "processes left after SIGKILL: ${pids[*]}"

# The readers against a real window under openbox.
x11_session_start || fail "no session"
[[ $DISPLAY =~ ^:[0-9]+$ ]] || fail "DISPLAY is '$DISPLAY'"
# The private bus answers, so nothing on the display autolaunches one.
[[ $DBUS_SESSION_BUS_ADDRESS == unix:path=$_x11_dir/bus ]] ||
  fail "DBUS_SESSION_BUS_ADDRESS is '${DBUS_SESSION_BUS_ADDRESS:-}'"
dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetId >/dev/null || fail "the private session bus does not answer"
xmessage -title "Probe Window" "hello" 2>/dev/null &
probe=$!
id=$(x11_wait_window '^Probe Window$' 10) || fail "the window did not appear"
read -r x y width height <<<"$(x11_window_geometry "$id")"
((width > 0 && height > 0)) || fail "geometry $x $y $width $height"
active_is() { [ "$(x11_active_window)" = "$1" ]; }
x11_wait_until 5 active_is "$id" || fail "active is $(x11_active_window), not $id"
! x11_is_minimised "$id" || fail "minimised before anyone asked"
xdotool windowminimize --sync "$id"
x11_wait_until 5 x11_is_minimised "$id" || fail "state is '$(x11_window_state "$id")'"
! x11_visible_windows '^Probe Window$' >/dev/null || fail "a minimised window counts as visible"
[ "$(x11_find_windows '^Probe Window$' | head -n 1)" = "$id" ] || fail "find missed the window"
! x11_wait_window '^No Such Window$' 1 >/dev/null || fail "found a window that is not there"
shot=$(mktemp --suffix=.png)
x11_screenshot "$shot"
[ -s "$shot" ] || fail "empty screenshot"
rm -f "$shot"
kill "$probe"
# Stopping early gives the caller's bus back.
x11_session_stop
export DBUS_SESSION_BUS_ADDRESS=unix:path=/callers/bus
x11_session_start --no-wm || fail "no second session"
x11_session_stop
[ "$DBUS_SESSION_BUS_ADDRESS" = unix:path=/callers/bus ] ||
  fail "the caller's bus address became '${DBUS_SESSION_BUS_ADDRESS:-}'"
echo "x11-session: all checks passed"
