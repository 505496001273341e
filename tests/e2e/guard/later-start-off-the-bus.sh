#!/usr/bin/env bash
# A later instance hands over to the first without connecting to the session
# bus: on X11 nothing passes between instances, and its window is never
# shown. (Qt's accessibility layer connects at a window's first text, so
# texts wait until a window is shown.) A control client's connection, seen by
# the same monitor, shows that the monitor sees connections. That the first
# serves nothing on the bus is other-screen.sh's to show.
source "$(dirname "$0")/../single-instance.sh" x11 "$@"
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || fail "the display library started no session bus"

start first
x11_wait_window "$welcome_title" 20 >/dev/null || fail "the first instance showed no welcome window"
# The first connects for Qt's accessibility layer once its window shows its
# texts; only later connections count.
ds_wait_until 10 eval 'bus_peers | grep " ${pids[first]}$" >/dev/null' || fail "the first instance never connected"

watch_bus monitor
hellos() { grep -c "member=Hello" "$work/monitor.log" || true; }
before=$(hellos)

second_start_ends_unseen second

sleep 0.3
[ "$(hellos)" = "$before" ] ||
  fail "the later instance connected to the session bus: $(tail -n 1 "$work/monitor.log")"
alive first || fail "the first instance ended"
echo "PASS"
