#!/usr/bin/env bash
# On an X11 session nothing passes between instances, and one server is one
# claim whatever its screen: the first instance runs on screen 1 of a private
# two-screen Xvfb (no window manager), with a private session bus. Its lock
# file stays empty and it exports no application object; a later start on
# screen 0 finds it through X11 alone, gives it the focus, calls nothing on
# the bus and exits 0.
#   other-screen.sh PATH/TO/korvalen-converter
set -euo pipefail
program=${1:?usage: $0 PATH/TO/korvalen-converter}
readonly welcome_title='^Korvalen Converter - U\.S\. & Metric System Conversion$'
readonly object=/com/example/korvalen/converter

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for tool in Xvfb xdotool xwininfo dbus-daemon dbus-monitor dbus-send; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/other-screen.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# until TIMEOUT COMMAND...: polls COMMAND every 0.1 s.
until_true() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")/../.." && pwd)/lsan.supp"

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 -screen 1 1024x768x24 \
  3>"$work/display" </dev/null >"$work/xvfb.log" 2>&1 &
pids+=($!)
until_true 15 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
server=":$(head -n 1 "$work/display")"
dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" </dev/null \
  >"$work/bus.log" 2>&1 &
pids+=($!)
until_true 15 test -S "$work/bus" || fail "the session bus did not start"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus

DISPLAY=$server.1 "$program" >"$work/first.log" 2>&1 &
first=$!
pids+=("$first")
welcome=$(DISPLAY=$server.1 xdotool search --sync --onlyvisible --name "$welcome_title" | head -n 1)
[ -n "$welcome" ] || fail "the first instance showed no window on screen 1"

# Past the second an instance that shows a window waits before it serves.
sleep 1.5
lock=("$XDG_RUNTIME_DIR"/korvalen/*.lock)
[ -f "${lock[0]}" ] || fail "no lock file in $XDG_RUNTIME_DIR/korvalen"
[ ! -s "${lock[0]}" ] || fail "the lock file holds $(cat "${lock[0]}")"
# Qt's accessibility bridge may connect the first instance; it still serves nothing.
for name in $(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.ListNames | grep -o '":[0-9.]*"' | tr -d '"'); do
  pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null |
    awk '/uint32/ { print $2 }') || continue  # gone meanwhile
  [ "$pid" = "$first" ] || continue
  if dbus-send --session --print-reply --dest="$name" "$object" \
    org.freedesktop.DBus.Introspectable.Introspect 2>&1 | grep -q org.freedesktop.Application; then
    fail "the first instance exports $object on an X11 session"
  fi
done

# The focus elsewhere (the root of screen 0), so that the activation shows.
root0=$(DISPLAY=$server.0 xwininfo -root -int | awk '/Window id:/ { print $4 }')
DISPLAY=$server.0 xdotool windowfocus --sync "$root0"
[ "$(DISPLAY=$server.1 xdotool getwindowfocus)" != "$welcome" ] || fail "the focus did not move away"

dbus-monitor --session "type='method_call',member='Activate'" "type='method_call',member='Hello'" \
  >"$work/monitor.log" 2>&1 &
pids+=($!)
# Control clients connect until the monitor reports one: it is listening.
monitor_listens() {
  dbus-send --session --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.Peer.Ping
  grep -q "member=Hello" "$work/monitor.log"
}
until_true 10 monitor_listens || fail "the monitor saw nothing"

DISPLAY=$server.0 timeout 20 "$program" >"$work/second.log" 2>&1 || {
  cat "$work/second.log" >&2
  fail "the later start on screen 0 exited with $?"
}
focused() { [ "$(DISPLAY=$server.1 xdotool getwindowfocus)" = "$welcome" ]; }
until_true 5 focused || fail "the instance on screen 1 was not given the focus"
sleep 0.3
! grep -q "member=Activate" "$work/monitor.log" || fail "a bus call passed: $(grep -m 1 member=Activate "$work/monitor.log")"
kill -0 "$first" 2>/dev/null || fail "the first instance ended"
echo "PASS"
