#!/usr/bin/env bash
# The desktop-session library leaves nothing behind however its shell ends:
# a failing script keeps its exit status and runs its exit handlers; a shell
# killed outright loses its servers, folder, sockets (Xwayland's too) and
# whatever the servers started; and the servers die with that shell through their own tie even
# without the watchdog, as the session's user under root too (a credential
# change clears a parent-death signal set before it). Then the X11 readers
# against a real window.
#   desktop-session.sh PATH/TO/desktop-session.sh
set -euo pipefail
lib=$1
# shellcheck source=scripts/lib/desktop-session.sh
source "$lib"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Every process a victim starts carries its mark; zombies (which an init
# that reaps nothing keeps) are gone.
mark=
marked() {
  local environ pid
  # shellcheck disable=SC2013  # file names without blanks
  for environ in $(grep -lzxF "DS_TEST_MARK=$mark" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    ds_gone "$pid" || echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done
}
nothing_marked() { [ -z "$(marked)" ]; }

# victim START_COMMANDS [WATCHDOG=keep|stop]: a shell that starts a session,
# reports its folder and display, and is killed with SIGKILL; "stop" ends its
# watchdog first, leaving the servers' tie alone to end them.
victim() {
  local report shell
  mark=$$.$RANDOM
  report=$(mktemp)
  DS_TEST_MARK=$mark bash -c 'source "$1"; '"$1"' >/dev/null || exit 9
    if [ "$3" = stop ]; then echo stop >&"$_ds_ctl_fd"; wait "$_ds_watchdog_pid"; fi
    display=${DISPLAY:-$wl_xwayland_display}; echo "$ds_dir ${display#:}" >"$2"
    exec sleep 60' _ "$lib" "$report" "${2:-keep}" &
  shell=$!
  # shellcheck disable=SC2016
  ds_wait_until 60 eval '[ -s "$report" ] || ! kill -0 "$shell"' || true
  read -r dir display <"$report" || true
  rm -f "$report"
  [ -d "${dir:-}" ] || fail "no session from: $1"
  [ -n "$(marked)" ] || fail "no process of the session carries the mark"
  { kill -KILL "$shell" && wait "$shell"; } 2>/dev/null || true
  ds_wait_until 10 nothing_marked || fail "left after SIGKILL ($1, watchdog ${2:-keep}): $(marked)"
}

# The Xwayland of "one" runs, for a client came.
# shellcheck disable=SC2016  # expanded in the victim
for start in ds_x11_start 'ds_wl_start two && ds_wl_start --xwayland one &&
    DISPLAY=$wl_xwayland_display "${DS_AS_USER[@]}" xdpyinfo'; do
  victim "$start"
  ds_wait_until 5 test ! -e "$dir" || fail "the folder $dir is left after SIGKILL ($start)"
  if [ -n "$display" ]; then
    ds_wait_until 5 test ! -e "/tmp/.X11-unix/X$display" -a ! -e "/tmp/.X$display-lock" ||
      fail "display $display left its socket or lock"
  fi
  victim "$start" stop
  rm -rf "$dir"
  if [ -n "$display" ]; then rm -f "/tmp/.X11-unix/X$display" "/tmp/.X$display-lock"; fi
done

status=0
out=$(bash -c 'source "$1"; ds_on_exit echo first-handler; ds_on_exit echo second-handler
  ds_x11_start --no-wm >/dev/null || exit 9; exit 3' _ "$lib") || status=$?
[ "$status" = 3 ] || fail "a failing script must keep its exit status, got $status"
[ "$out" = $'second-handler\nfirst-handler' ] || fail "exit handlers ran as: $out"

# The X server does not reset when its last client leaves: one connecting
# meanwhile would be refused. A reset drops the root window's properties.
ds_x11_start --no-wm || fail "no session"
xprop -root -f DS_TEST_PROBE 8s -set DS_TEST_PROBE kept
xprop -root DS_TEST_PROBE | grep -q kept || fail "the X server reset when its last client left"
ds_stop

export DBUS_SESSION_BUS_ADDRESS=unix:path=/callers/bus
ds_x11_start --wm openbox || fail "no session"
dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetId >/dev/null || fail "the private session bus does not answer"
xmessage -title "Probe Window" "hello" 2>/dev/null &
id=$(x11_wait_window '^Probe Window$' 10) || fail "the window did not appear"
read -r _ _ width height <<<"$(x11_window_geometry "$id")"
((width > 0 && height > 0)) || fail "geometry ${width}x$height"
ds_wait_until 5 x11_is_active "$id" || fail "active is $(x11_active_window), not $id"
! x11_is_minimised "$id" || fail "minimised before anyone asked"
xdotool windowminimize --sync "$id"
ds_wait_until 5 x11_is_minimised "$id" || fail "state is '$(x11_window_state "$id")'"
! x11_visible_windows '^Probe Window$' >/dev/null || fail "a minimised window counts as visible"
! x11_wait_window '^No Such Window$' 1 >/dev/null || fail "found a window that is not there"
ds_stop
[ "$DBUS_SESSION_BUS_ADDRESS" = unix:path=/callers/bus ] ||
  fail "the caller's bus address became '${DBUS_SESSION_BUS_ADDRESS:-}'"
echo "PASS"
