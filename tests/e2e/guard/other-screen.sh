#!/usr/bin/env bash
# On an X11 session nothing passes between instances, and one server is one
# claim whatever its screen: the first instance runs on screen 1 of a
# two-screen display with no window manager. Its lock file stays empty and
# it exports no application object; a later start on screen 0 finds it
# through X11 alone, gives it the focus, calls nothing on the bus and exits 0.
source "$(dirname "$0")/../single-instance.sh" x11 "${1:-}" --no-wm --screens 2 1024x768x24
readonly object=/com/example/korvalen/converter
screen0=$DISPLAY.0 screen1=$DISPLAY.1

DISPLAY=$screen1 start first
welcome=$(DISPLAY=$screen1 x11_wait_window "$welcome_title" 20) ||
  fail "the first instance showed no window on screen 1"

# Past the second an instance that shows a window waits before it serves.
sleep 1.5
lock=("$XDG_RUNTIME_DIR"/korvalen/*.lock)
[ -f "${lock[0]}" ] || fail "no lock file in $XDG_RUNTIME_DIR/korvalen"
[ ! -s "${lock[0]}" ] || fail "the lock file holds $(cat "${lock[0]}")"
# Qt's accessibility bridge may connect the first instance; it still serves nothing.
while read -r name pid; do
  [ "$pid" = "${pids[first]}" ] || continue
  if dbus-send --session --print-reply --dest="$name" "$object" \
    org.freedesktop.DBus.Introspectable.Introspect 2>&1 | grep -q org.freedesktop.Application; then
    fail "the first instance exports $object on an X11 session"
  fi
done < <(bus_peers)

# The focus elsewhere (the root of screen 0), so that the activation shows.
focused() { [ "$(DISPLAY=$screen1 xdotool getwindowfocus)" = "$welcome" ]; }
root0=$(DISPLAY=$screen0 xwininfo -root -int | awk '/Window id:/ { print $4 }')
DISPLAY=$screen0 xdotool windowfocus --sync "$root0"
! focused || fail "the focus did not move away"

watch_bus monitor "type='method_call',member='Activate'"
DISPLAY=$screen0 second_start_ends_unseen second
ds_wait_until 5 focused || fail "the instance on screen 1 was not given the focus"
sleep 0.3
! grep -q "member=Activate" "$work/monitor.log" ||
  fail "a bus call passed: $(grep -m 1 member=Activate "$work/monitor.log")"
alive first || fail "the first instance ended"
echo "PASS"
