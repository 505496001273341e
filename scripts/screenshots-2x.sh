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
# shellcheck source=lib/desktop-session.sh
source "$root/scripts/lib/desktop-session.sh"
# shellcheck source=lib/layout.sh
source "$root/scripts/lib/layout.sh"
pid=
ds_on_exit 'if [ -n "$pid" ]; then ds_kill "$pid"; fi'
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI
ds_x11_start --wm xfwm4 2048x1536x24 || exit 1
# xfwm4 reads its settings over the session's bus: its theme for screens of 2x.
xfconf-query -c xfwm4 -p /general/theme -s Default-xhdpi
# The server keeps it, as it does not reset when its last client leaves.
dpi=${DPI:-192}
printf 'Xft.dpi:\t%s\n' "$dpi" | xrdb -nocpp -merge
sleep 1

# click ID FORM CONTROL [DY]: a click on the control's centre (or DY below
# its top), scaled to the screen.
click() {
  local x y w h
  read -r x y w h < <(layout_box "$2" "$3")
  x11_click "$1" $(((x + w / 2) * dpi / 96)) $(((y + ${4:-h / 2}) * dpi / 96))
}

"$program" </dev/null >"$ds_dir/program.log" 2>&1 &
pid=$!
welcome=$(x11_wait_window '^Korvalen Converter - U.S. & Metric System Conversion$' 15)
sleep 1
x11_shoot_framed "$welcome" "$out/welcome-window-2x.png"
click "$welcome" frmMain Button1
conv=$(x11_wait_window '^Conversion Utility$' 15)
sleep 1
click "$conv" frmConvert cboFamilies
sleep 1
popup=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$conv" | grep -vx "$welcome" | tail -n 1)
read -r px py pw ph < <(x11_client_area "$popup")
xdotool mousemove --sync $((px + pw / 2)) $((py + ph * 3 / 4)) click 1
sleep 0.5
click "$conv" frmConvert list1 8 && xdotool type --delay 40 Kilograms
click "$conv" frmConvert list2 8 && xdotool type --delay 40 Pounds
sleep 0.5
xdotool mousemove --sync 0 0
sleep 0.5
x11_shoot_framed "$conv" "$out/conversion-window-2x.png"
cat "$ds_dir/program.log"
