# shellcheck shell=bash
# journey.sh: what every user journey shares. Source it, then:
#
#   source "$(dirname "$0")/journey.sh"
#   journey_begin "$program"             # private runtime dir, Xvfb + xfwm4
#   journey_launch                       # starts the program as a user would
#   welcome=$(journey_window "$WELCOME_TITLE")
#   x11_click "$welcome" "${CONTINUE_CENTRE[@]}"   # a client point of that window
#   journey_expect_clipboard 2.20
#   journey_close_and_expect_exit "$(journey_window "$CONVERT_TITLE")"
#
# Everything is read as a user could: window names and states from the
# window manager's properties, the clipboard, and screenshots. A failed check
# prints what was expected and what was seen, leaves a screenshot in the
# journey's folder (kept on failure) and ends the script with status 1.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
# shellcheck source=scripts/lib/desktop-session.sh
source "$root/scripts/lib/desktop-session.sh"
# shellcheck source=scripts/lib/layout.sh
source "$root/scripts/lib/layout.sh"

WELCOME_TITLE='Korvalen Converter - U.S. & Metric System Conversion'
CONVERT_TITLE='Conversion Utility'

# Where the controls lie in the client areas, as the user sees them at 96 dpi.
read -r -a CONTINUE_CENTRE < <(layout_centre frmMain Button1)
read -r -a LINK_BOX < <(layout_box frmMain Label1)
read -r -a FAMILIES_CENTRE < <(layout_centre frmConvert cboFamilies)
# shellcheck disable=SC2034  # named by journey_pick_unit's callers
read -r -a LIST1_BOX < <(layout_box frmConvert list1)
# shellcheck disable=SC2034
read -r -a LIST2_BOX < <(layout_box frmConvert list2)
read -r -a COPY_CENTRE < <(layout_centre frmConvert BitBtn1)

journey_dir=
journey_program=
journey_pid=
journey_failed=0
journey_deferred=()

# journey_defer PID: a helper process the journey started, stopped at the end.
journey_defer() {
  journey_deferred+=("$1")
}

journey_fail() {
  echo "FAIL: $*" >&2
  journey_failed=1
  if [ -n "${DISPLAY:-}" ] && [ -n "$journey_dir" ]; then
    x11_screenshot "$journey_dir/failure.png" 2>/dev/null &&
      echo "screen at the failure: $journey_dir/failure.png" >&2
  fi
  exit 1
}

journey_note() {
  echo "ok: $*"
}

_journey_on_exit() {
  local pid
  for pid in "${journey_deferred[@]}" "$journey_pid"; do
    ds_kill "$pid"
  done
  if [ -n "$journey_dir" ] && [ "$journey_failed" = 0 ]; then
    rm -rf "$journey_dir"
  fi
}

# journey_begin PROGRAM [SCREEN]: a folder for the journey's files, then a
# private session (runtime folder, home and bus of its own, so neither the
# single-instance guard nor any desktop tool sees another test's files) with
# Xvfb and xfwm4 on a free display.
journey_begin() {
  journey_program=$(readlink -f "$1")
  [ -x "$journey_program" ] || { echo "no program at $1" >&2; exit 1; }
  journey_dir=$(mktemp -d "${TMPDIR:-/tmp}/journey.XXXXXX")
  ds_on_exit _journey_on_exit
  ds_x11_start "${2:-1280x1024x24}" || exit 1
}

# journey_launch [ENV=VALUE...]: starts the program with no arguments, as a
# desktop launcher would, with the given extra environment.
journey_launch() {
  env "$@" "$journey_program" </dev/null >"$journey_dir/program.log" 2>&1 &
  journey_pid=$!
}

# journey_window TITLE [TIMEOUT]: the mapped window with exactly this name.
journey_window() {
  local pattern id
  pattern="^$(printf '%s' "$1" | sed 's/[][\.*^$(){}+?|]/\\&/g')\$"
  id=$(x11_wait_window "$pattern" "${2:-15}") || journey_fail "no window \"$1\" was mapped"
  echo "$id"
}

# journey_keys KEY...: keystrokes to whatever has the keyboard focus.
journey_keys() {
  xdotool key --delay 60 "$@"
}

journey_clipboard() {
  xclip -o -selection clipboard 2>/dev/null
}

# journey_expect_clipboard TEXT: the clipboard comes to hold exactly TEXT.
journey_expect_clipboard() {
  local seen
  _journey_clipboard_is() { seen=$(journey_clipboard) && [ "$seen" = "$1" ]; }
  ds_wait_until 5 _journey_clipboard_is "$1" ||
    journey_fail "clipboard holds \"${seen:-}\", expected \"$1\""
  journey_note "clipboard holds \"$1\""
}

# journey_expect_centred ID: the whole window, frame included, sits in the
# middle of the screen (a pixel of rounding either way).
journey_expect_centred() {
  local x y w h sw sh
  read -r x y w h < <(x11_frame "$1")
  read -r sw sh < <(xdotool getdisplaygeometry)
  local dx=$((2 * x + w - sw)) dy=$((2 * y + h - sh))
  if ((dx < -2 || dx > 2 || dy < -2 || dy > 2)); then
    journey_fail "window $1 at $x,$y size ${w}x$h is not centred on ${sw}x$sh"
  fi
  journey_note "\"$(xdotool getwindowname "$1")\" centred at $x,$y (${w}x$h on ${sw}x$sh)"
}

# journey_expect_size ID WIDTH HEIGHT: the client area's size.
journey_expect_size() {
  local x y w h
  read -r x y w h < <(x11_client_area "$1")
  [ "$w" = "$2" ] && [ "$h" = "$3" ] || journey_fail "client area ${w}x$h, expected ${2}x$3"
}

# journey_map_state ID: IsViewable, IsUnMapped or IsUnviewable.
journey_map_state() {
  xwininfo -id "$1" 2>/dev/null | awk '/Map State:/ { print $NF }'
}

# journey_expect_unmapped ID: the window is gone from the screen.
journey_expect_unmapped() {
  _journey_unmapped() { [ "$(journey_map_state "$1")" != IsViewable ]; }
  ds_wait_until 5 _journey_unmapped "$1" || journey_fail "window $1 is still on the screen"
}

# journey_expect_active ID: the window manager comes to report ID active,
# and the keyboard's input focus comes to it. xfwm4 reports the window
# active as it offers it the focus (WM_TAKE_FOCUS); the input focus follows
# only once the program has taken it, which on a busy machine is 0.1 to
# 0.2 s later, and key presses sent meanwhile go to no window.
journey_expect_active() {
  ds_wait_until 5 x11_is_active "$1" ||
    journey_fail "window $1 is not the active window but $(x11_active_window)"
  ds_wait_until 5 x11_has_input_focus "$1" ||
    journey_fail "window $1 is active but the input focus is on $(xdotool getwindowfocus 2>&1)"
}

# journey_count_colour ID X Y WIDTH HEIGHT COLOUR: how many pixels of that
# client rectangle show exactly COLOUR (#RRGGBB) on the screen now.
journey_count_colour() {
  local cx cy shot=$journey_dir/count.png
  read -r cx cy _ < <(x11_client_area "$1")
  x11_screenshot "$shot"
  convert "$shot" -crop "${4}x$5+$((cx + $2))+$((cy + $3))" +repage txt:- |
    grep -ci " $6" || true
}

# journey_select_family ID NAME: opens the family box with a click and
# clicks the entry in the list that drops down (Volume first, Mass second).
journey_select_family() {
  local row
  case $2 in
    Volume) row=0 ;;
    Mass) row=1 ;;
    *) journey_fail "no family $2" ;;
  esac
  x11_click "$1" "${FAMILIES_CENTRE[@]}"
  local popup
  _journey_popup() {
    popup=$(xdotool search --onlyvisible --pid "$journey_pid" 2>/dev/null | grep -vx "$1" | tail -n 1)
    [ -n "$popup" ]
  }
  ds_wait_until 5 _journey_popup "$1" || journey_fail "the family list did not drop down"
  local px py pw ph
  read -r px py pw ph < <(x11_client_area "$popup")
  # Two entries share the list's height.
  xdotool mousemove --sync $((px + pw / 2)) $((py + ph * (2 * row + 1) / 4)) click 1
}

# journey_pick_unit ID BOX NAME: a click into a unit list, then the unit's
# name typed, which the list finds as the user types. Keys need the window
# to hold the input focus, which the window manager hands over a moment
# after the window shows.
journey_pick_unit() {
  local -n box=$2
  journey_expect_active "$1"
  x11_click_type "$1" $((box[0] + box[2] / 2)) $((box[1] + 8)) "$3"
}

# journey_close_and_expect_exit ID: closes the window as its close button
# does, then the program ends with exit code 0 and leaves no window behind.
journey_close_and_expect_exit() {
  wmctrl -i -c "$(printf '0x%x' "$1")"
  journey_expect_exit
}

# journey_expect_exit: the program ends by itself with exit code 0, with none
# of its windows left on the display.
journey_expect_exit() {
  _journey_ended() { ! kill -0 "$journey_pid" 2>/dev/null; }
  ds_wait_until 10 _journey_ended || journey_fail "the program is still running"
  local status=0
  wait "$journey_pid" || status=$?
  journey_pid=
  [ "$status" = 0 ] || journey_fail "the program ended with exit code $status; its output: $(cat "$journey_dir/program.log")"
  local left
  left=$(xdotool search --name 'Korvalen|Conversion Utility' 2>/dev/null || true)
  [ -z "$left" ] || journey_fail "windows left behind: $left"
  journey_note "the program ended with exit code 0 and left no window"
}

# journey_save_shot FILE NAME: keeps a screenshot (FILE, or the screen now
# when FILE is empty) as NAME in $JOURNEY_SHOTS, when that is set.
journey_save_shot() {
  [ -n "${JOURNEY_SHOTS:-}" ] || return 0
  mkdir -p "$JOURNEY_SHOTS"
  if [ -n "$1" ]; then
    cp "$1" "$JOURNEY_SHOTS/$2"
  else
    x11_screenshot "$JOURNEY_SHOTS/$2"
  fi
}
