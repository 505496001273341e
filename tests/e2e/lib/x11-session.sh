# x11-session.sh: a private X display for end-to-end tests. Source it, then:
#
#   source tests/e2e/lib/x11-session.sh
#   x11_session_start || exit 1        # Xvfb on a free display + xfwm4; exports DISPLAY
#   ./korvalen &
#   id=$(x11_wait_window '^Korvalen Converter$' 10) || exit 1
#   x11_window_geometry "$id"          # "X Y WIDTH HEIGHT"
#   x11_click "$id" 460 470            # a click at a point of its client area
#   [ "$(x11_active_window)" = "$id" ]
#   x11_window_state "$id"             # e.g. "_NET_WM_STATE_HIDDEN"
#   x11_screenshot /tmp/shot.png
#
# x11_session_start [--no-wm | --wm xfwm4|openbox] [WIDTHxHEIGHTxDEPTH]
#   Starts Xvfb with -displayfd (it picks a free display itself) and
#   -nolisten tcp, a private session bus (exported as
#   DBUS_SESSION_BUS_ADDRESS), then the window manager unless --no-wm, and
#   returns once all are ready (the window manager handles map requests).
#   Returns non-zero, with nothing left running, if any fails within 15 s.
#   The bus ends with the display: a program on the display without one
#   would have libdbus autolaunch a bus through dbus-launch wherever dbus-x11
#   is installed, and nothing would end that one.
#   The window manager is --wm's, else $X11_SESSION_WM's, else xfwm4, which
#   honours the windows' Motif hints (no title-bar buttons a window does not
#   offer) as users' desktops do; openbox draws every button regardless.
# Teardown is automatic: on the shell's EXIT (a failing test included, after
# any EXIT trap the caller had set), on INT and TERM (which it traps to exit),
# and through a watchdog when the shell is killed outright.
# x11_session_stop does it early.
#
# Window ids are printed in decimal, as xdotool prints them. Every helper
# returns non-zero when what it looks for is not there. Safe under set -euo pipefail.

_x11_dir=
_x11_xvfb_pid=
_x11_bus_pid=
_x11_prev_bus=
_x11_wm_pid=
_x11_watchdog_pid=
_x11_prev_exit_trap=
_x11_tick_fd=

# Polls CMD... every 50 ms until it succeeds or TIMEOUT seconds pass.
x11_wait_until() {
  local timeout=$1
  shift
  local deadline=$((SECONDS + timeout))
  until "$@"; do
    if ((SECONDS >= deadline)); then
      return 1
    fi
    if [ -n "$_x11_tick_fd" ]; then
      read -r -t 0.05 -u "$_x11_tick_fd" || true
    else
      sleep 0.05
    fi
  done
}

# TERM, then KILL, each followed by up to 2 s for bash to reap the child.
_x11_kill() {
  local pid=$1 signal i
  [ -n "$pid" ] || return 0
  for signal in TERM KILL; do
    kill -"$signal" "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 40; i++)); do
      kill -0 "$pid" 2>/dev/null || return 0
      read -r -t 0.05 -u "$_x11_tick_fd" || true
    done
  done
}

x11_session_stop() {
  _x11_kill "$_x11_watchdog_pid"
  _x11_kill "$_x11_wm_pid"
  _x11_kill "$_x11_xvfb_pid"
  if [ -n "$_x11_bus_pid" ]; then
    _x11_kill "$_x11_bus_pid"
    if [ -n "$_x11_prev_bus" ]; then
      export DBUS_SESSION_BUS_ADDRESS=${_x11_prev_bus#set:}
    else
      unset DBUS_SESSION_BUS_ADDRESS
    fi
  fi
  if [ -n "$_x11_tick_fd" ]; then
    exec {_x11_tick_fd}>&-
    _x11_tick_fd=''
  fi
  if [ -n "$_x11_dir" ]; then
    rm -rf "$_x11_dir"
  fi
  _x11_dir='' _x11_xvfb_pid='' _x11_bus_pid='' _x11_prev_bus='' _x11_wm_pid='' _x11_watchdog_pid=
}

_x11_on_exit() {
  local status=$?
  x11_session_stop
  if [ -n "$_x11_prev_exit_trap" ]; then
    # "trap -- 'command' EXIT": run the command the caller had installed.
    eval "set -- ${_x11_prev_exit_trap#trap -- }"
    eval "$1"
  fi
  exit "$status"
}

# Xvfb writes "N\n" in one go once it accepts clients; fail fast if it died.
_x11_display_ready() {
  [ -s "$_x11_dir/display" ] || ! kill -0 "$_x11_xvfb_pid" 2>/dev/null
}

# The root window names a window manager check window once one manages the screen.
_x11_wm_managing() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# _x11_start_wm NAME: NAME runs and manages the screen within 15 s.
_x11_start_wm() {
  local command
  case $1 in
    # openbox's start-up command runs once it handles map requests.
    openbox) command=(openbox --sm-disable --startup "touch $_x11_dir/wm-ready") ;;
    # No compositing, so screenshots show what a plain X server shows; no
    # settings daemon, so its defaults hold whatever the user has set.
    xfwm4) command=(xfwm4 --compositor=off --sm-client-disable) ;;
  esac
  (
    exec {_x11_tick_fd}>&-
    exec "${command[@]}" </dev/null >"$_x11_dir/wm.log" 2>&1
  ) &
  _x11_wm_pid=$!
  case $1 in
    openbox) x11_wait_until 15 test -e "$_x11_dir/wm-ready" ;;
    xfwm4) x11_wait_until 15 _x11_wm_managing && _x11_wm_focuses_new_windows ;;
  esac
}

# xfwm4 names its check window before it has read its settings; a window
# mapped meanwhile is adopted as if it had been there before, and so never
# given the focus. A new probe window every 2 s, up to 15 s, until one gets
# the focus, shows it is ready.
_x11_wm_focuses_new_windows() {
  local probe id attempt
  _x11_probe_active() {
    id=$(xdotool search --name "^x11-session probe $$ $attempt\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && [ "$(x11_active_window)" = "$id" ]
  }
  for attempt in 1 2 3 4 5 6 7; do
    xmessage -title "x11-session probe $$ $attempt" ready 2>/dev/null &
    probe=$!
    if x11_wait_until 2 _x11_probe_active; then
      kill "$probe" 2>/dev/null || true
      wait "$probe" 2>/dev/null || true
      return 0
    fi
    kill "$probe" 2>/dev/null || true
    wait "$probe" 2>/dev/null || true
  done
  return 1
}

x11_session_start() {
  local wm=${X11_SESSION_WM:-xfwm4} screen=1280x1024x24
  while [ $# -gt 0 ]; do
    case $1 in
      --no-wm) wm= ;;
      --wm)
        wm=${2:?x11-session: --wm needs a name}
        shift
        ;;
      *) screen=$1 ;;
    esac
    shift
  done
  if [ -n "$_x11_xvfb_pid" ]; then
    echo "x11-session: already started on $DISPLAY" >&2
    return 1
  fi
  local tool
  for tool in Xvfb xdotool xprop dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "x11-session: $tool is missing" >&2; return 1; }
  done
  case $wm in
    '' | openbox | xfwm4) ;;
    *) echo "x11-session: no window manager \"$wm\" (openbox, xfwm4)" >&2; return 1 ;;
  esac
  if [ -n "$wm" ] && ! command -v "$wm" >/dev/null; then
    echo "x11-session: $wm is missing" >&2
    return 1
  fi

  # A second start after x11_session_stop finds its own trap still set;
  # keeping that as the caller's would make the trap call itself forever.
  local current_trap
  current_trap=$(trap -p EXIT)
  if [ "$current_trap" != "trap -- '_x11_on_exit' EXIT" ]; then
    _x11_prev_exit_trap=$current_trap
  fi
  trap _x11_on_exit EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  _x11_dir=$(mktemp -d "${TMPDIR:-/tmp}/x11-session.XXXXXX") || return 1
  # A FIFO nobody writes to: "read -t" on it is a sleep without a child.
  # Forked sleeps made bash 5.2 print "wait_for: No record of process" from
  # the EXIT trap, and a watchdog's sleeping child would outlive it.
  mkfifo "$_x11_dir/tick"
  exec {_x11_tick_fd}<>"$_x11_dir/tick"
  # The servers get no copy of the FIFO (the subshell execs, keeping its pid).
  (
    exec {_x11_tick_fd}>&-
    exec Xvfb -displayfd 3 -nolisten tcp -screen 0 "$screen" \
      3>"$_x11_dir/display" </dev/null >"$_x11_dir/xvfb.log" 2>&1
  ) &
  _x11_xvfb_pid=$!
  if ! x11_wait_until 15 _x11_display_ready || ! [ -s "$_x11_dir/display" ]; then
    echo "x11-session: Xvfb did not start:" >&2
    cat "$_x11_dir/xvfb.log" >&2
    x11_session_stop
    return 1
  fi
  DISPLAY=":$(head -n 1 "$_x11_dir/display")"
  export DISPLAY

  (
    exec {_x11_tick_fd}>&-
    exec dbus-daemon --session --nofork --nopidfile --address="unix:path=$_x11_dir/bus" \
      </dev/null >"$_x11_dir/bus.log" 2>&1
  ) &
  _x11_bus_pid=$!
  _x11_prev_bus=${DBUS_SESSION_BUS_ADDRESS+set:$DBUS_SESSION_BUS_ADDRESS}
  if ! x11_wait_until 15 test -S "$_x11_dir/bus"; then
    echo "x11-session: the session bus did not start:" >&2
    cat "$_x11_dir/bus.log" >&2
    x11_session_stop
    return 1
  fi
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$_x11_dir/bus

  if [ -n "$wm" ] && ! _x11_start_wm "$wm"; then
    echo "x11-session: $wm did not start:" >&2
    cat "$_x11_dir/wm.log" >&2
    x11_session_stop
    return 1
  fi

  # Even a SIGKILL of this shell must not leave the servers behind. The
  # watchdog sleeps with "read -t", so killing it leaves no child behind.
  local shell_pid=$BASHPID pids=("$_x11_xvfb_pid" "$_x11_bus_pid")
  if [ -n "$_x11_wm_pid" ]; then
    pids+=("$_x11_wm_pid")
  fi
  (
    trap - EXIT INT TERM
    while kill -0 "$shell_pid" 2>/dev/null; do read -r -t 1 -u "$_x11_tick_fd" || true; done
    kill -KILL "${pids[@]}" 2>/dev/null
  ) </dev/null >/dev/null 2>&1 &
  _x11_watchdog_pid=$!
}

# x11_wait_window PATTERN [TIMEOUT=10]: the first mapped window whose name
# matches PATTERN, an extended regular expression that xdotool matches
# without regard to case (e.g. '^Korvalen$').
x11_wait_window() {
  local id
  id=$(timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1)
  [ -n "$id" ] && echo "$id"
}

# x11_find_windows PATTERN: every window named by PATTERN, mapped or not, one per line.
x11_find_windows() {
  xdotool search --name "$1" 2>/dev/null
}

# x11_visible_windows PATTERN: the mapped ones only; fails when there are none.
x11_visible_windows() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null
}

# x11_window_geometry ID: "X Y WIDTH HEIGHT" of the window on the screen.
x11_window_geometry() {
  # shellcheck disable=SC2034  # WINDOW and SCREEN come along from xdotool
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" || return 1
  [ -n "$WIDTH" ] || return 1
  echo "$X $Y $WIDTH $HEIGHT"
}

# x11_client_area ID: "X Y WIDTH HEIGHT" of the window's client area on the
# screen (inside the frame the window manager draws).
x11_client_area() {
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { if (w == "") exit 1; print x, y, w, h }'
}

# x11_shoot_framed ID FILE: a screenshot of the window with its frame, as it
# stands on the screen.
x11_shoot_framed() {
  local x y w h left=0 right=0 top=0 bottom=0 extents
  read -r x y w h < <(x11_client_area "$1")
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null || true)
  case $extents in
    *=*) read -r left right top bottom < <(echo "${extents#*=}" | tr -d ',') ;;
  esac
  import -window root -crop "$((w + left + right))x$((h + top + bottom))+$((x - left))+$((y - top))" \
    +repage "$2"
}

# x11_click ID X Y [BUTTON]: a click at a point of the window's client area.
x11_click() {
  local cx cy cw ch
  read -r cx cy cw ch < <(x11_client_area "$1") || return 1
  xdotool mousemove --sync $((cx + $2)) $((cy + $3)) click "${4:-1}"
}

# x11_active_window: the window the window manager reports active, or 0.
x11_active_window() {
  local line id
  line=$(xprop -root -notype -f _NET_ACTIVE_WINDOW 32x ' $0' _NET_ACTIVE_WINDOW 2>/dev/null) || return 1
  id=${line##* }
  case $id in
    0x*) printf '%d\n' "$id" ;;
    *) echo 0 ;;
  esac
}

# x11_window_state ID: the atoms of _NET_WM_STATE, space-separated (may be empty).
x11_window_state() {
  local line
  line=$(xprop -id "$1" -notype _NET_WM_STATE 2>/dev/null) || return 1
  case $line in
    *=*) line=${line#*=} ;;
    *) line= ;;
  esac
  local atoms
  read -r -a atoms <<<"${line//,/ }"
  echo "${atoms[*]}"
}

# x11_is_minimised ID: true while the window manager keeps it iconified.
x11_is_minimised() {
  case " $(x11_window_state "$1") " in
    *" _NET_WM_STATE_HIDDEN "*) return 0 ;;
    *) return 1 ;;
  esac
}

# x11_screenshot FILE: the whole screen, in the format FILE's extension names.
x11_screenshot() {
  import -window root "$1"
}
