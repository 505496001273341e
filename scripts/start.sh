#!/usr/bin/env bash
# Starts Korvalen Converter on the user's display. Where there is no display
# at all (a server, a container), it says so and shows what the program does
# on a private Xvfb display instead: it walks the sample conversion
# (Continue, Mass, Kilograms to Pounds), presses the copy button, prints the
# figure read back from the clipboard and saves screenshots of both windows.
# Nothing it started stays behind.
#
#   scripts/start.sh PROGRAM [ARGUMENTS...]
#   KORVALEN_SCREENSHOTS=DIR   where the screenshots go (build/screenshots)
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
program=$1
shift
if [ ! -x "$program" ]; then
  echo "$0: $program is not an executable program" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

root=$(cd "$(dirname "$0")/.." && pwd)
shots=${KORVALEN_SCREENSHOTS:-$root/build/screenshots}
echo "There is no display to show Korvalen Converter on (neither DISPLAY nor WAYLAND_DISPLAY is set):"
echo "running the sample conversion on a private Xvfb display instead."

for tool in Xvfb xfwm4 xdotool xprop xwininfo xclip wmctrl import; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing; scripts/install-deps.sh installs it." >&2
    exit 1
  }
done

# A session of its own (runtime folder, home and bus), so the
# single-instance guard meets no other instance.
# shellcheck source=lib/desktop-session.sh
source "$root/scripts/lib/desktop-session.sh"
# shellcheck source=lib/layout.sh
source "$root/scripts/lib/layout.sh"
pid=
ds_on_exit 'if [ -n "$pid" ]; then ds_kill "$pid"; fi'
export QT_QPA_PLATFORM=xcb
ds_x11_start 1024x768x24 || exit 1
work=$ds_dir/files

fail() {
  echo "The sample conversion failed: $*" >&2
  if [ -s "$work/program.log" ]; then
    echo "The program said:" >&2
    cat "$work/program.log" >&2
  fi
  exit 1
}

# window TITLE: the mapped window with exactly this name.
window() {
  local pattern
  pattern="^$(printf '%s' "$1" | sed 's/[][\.*^$(){}+?|]/\\&/g')\$"
  x11_wait_window "$pattern" 15 || fail "no window \"$1\" appeared"
}

# click ID FORM CONTROL: a click on the control's centre.
# shellcheck disable=SC2046  # the centre, as two arguments
click() {
  x11_click "$1" $(layout_centre "$2" "$3")
}

# pick_unit ID LIST NAME: a click into a unit list, near its top, then the
# unit's name typed, which the list finds as it is typed. Keys go where the
# input focus is, which follows the window manager's choice a moment later.
pick_unit() {
  local x y w
  ds_wait_until 5 x11_has_input_focus "$1" || fail "the window \"$1\" did not get the keyboard"
  read -r x y w _ < <(layout_box frmConvert "$2")
  x11_click_type "$1" $((x + w / 2)) $((y + 8)) "$3"
}

mkdir -p "$shots"
"$program" "$@" </dev/null >"$work/program.log" 2>&1 &
pid=$!

welcome=$(window 'Korvalen Converter - U.S. & Metric System Conversion')
x11_shoot_framed "$welcome" "$shots/welcome.png"
click "$welcome" frmMain Button1
convert_window=$(window 'Conversion Utility')

# The family box drops its two entries down over itself; Mass is the second.
click "$convert_window" frmConvert cboFamilies
popup=
_popup_shown() {
  popup=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$convert_window" | tail -n 1)
  [ -n "$popup" ]
}
ds_wait_until 5 _popup_shown || fail "the family list did not drop down"
read -r px py pw ph < <(x11_client_area "$popup")
xdotool mousemove --sync $((px + pw / 2)) $((py + ph * 3 / 4)) click 1

pick_unit "$convert_window" list1 Kilograms
pick_unit "$convert_window" list2 Pounds
click "$convert_window" frmConvert BitBtn1
figure=
_copied() { figure=$(xclip -o -selection clipboard 2>/dev/null) && [ -n "$figure" ]; }
ds_wait_until 5 _copied || fail "the copy button put nothing on the clipboard"
xdotool mousemove --sync 0 0 # no tooltip in the picture
x11_shoot_framed "$convert_window" "$shots/conversion.png"

# Closing the conversion window ends the program.
wmctrl -i -c "$(printf '0x%x' "$convert_window")"
_ended() { ! kill -0 "$pid" 2>/dev/null; }
ds_wait_until 10 _ended || fail "the program did not end when its window was closed"
status=0
wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || fail "the program ended with exit code $status"
ds_stop

echo "1 Kilograms = $figure Pounds (copied to the clipboard by the copy button)"
echo "Screenshots:"
echo "  $shots/welcome.png"
echo "  $shots/conversion.png"
