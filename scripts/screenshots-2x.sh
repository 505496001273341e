#!/usr/bin/env bash
# The README's high-DPI screenshots: the sample conversion on a private Xvfb
# with Xft.dpi 192 (a device pixel ratio of 2) under xfwm4 and its theme for
# such screens.
#   scripts/screenshots-2x.sh [PROGRAM=build/release/ui/korvalen-converter] [OUT=docs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/release/ui/korvalen-converter}
out=${2:-$root/docs}
mkdir -p "$out"
work=$(mktemp -d /tmp/hidpi-shot.XXXXXX)
mkdir -m 700 "$work/runtime"
pid= wm=
# Set before the display library starts, which chains the trap it finds.
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS QT_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI
source "$root/tests/e2e/lib/x11-session.sh"
x11_session_start --no-wm 2048x1536x24 || exit 1
export HOME=$work
# xfwm4 reads its settings over the session's private bus; its theme for
# screens of 2x.
xfwm4 --compositor=off --sm-client-disable >"$work/xfwm4.log" 2>&1 &
wm=$!
sleep 2
xfconf-query -c xfwm4 -p /general/theme -s Default-xhdpi
# Set while a client is connected: the server forgets it when the last one leaves.
printf 'Xft.dpi:\t%s\n' "${DPI:-192}" | xrdb -nocpp -merge
sleep 1
dpi=${DPI:-192}
"$program" </dev/null >"$work/program.log" 2>&1 &
pid=$!
welcome=$(x11_wait_window '^Korvalen Converter - U.S. & Metric System Conversion$' 15)
sleep 1
x11_shoot_framed "$welcome" "$out/welcome-window-2x.png"
x11_click "$welcome" $((489 * dpi / 96)) $((470 * dpi / 96))
conv=$(x11_wait_window '^Conversion Utility$' 15)
sleep 1
x11_click "$conv" $((80 * dpi / 96)) $((30 * dpi / 96))
sleep 1
popup=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$conv" | grep -vx "$welcome" | tail -n 1)
read -r px py pw ph < <(x11_client_area "$popup")
xdotool mousemove --sync $((px + pw / 2)) $((py + ph * 3 / 4)) click 1
sleep 0.5
x11_click "$conv" $((94 * dpi / 96)) $((54 * dpi / 96)); xdotool type --delay 40 Kilograms
x11_click "$conv" $((284 * dpi / 96)) $((54 * dpi / 96)); xdotool type --delay 40 Pounds
sleep 0.5
xdotool mousemove --sync 0 0
sleep 0.5
x11_shoot_framed "$conv" "$out/conversion-window-2x.png"
cat "$work/program.log"
