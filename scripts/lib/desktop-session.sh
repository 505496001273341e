# shellcheck shell=bash disable=SC2317  # helpers' local functions are called by ds_wait_until
# desktop-session.sh: private desktop sessions for tests, benchmarks and the
# start script. Source it, then:
#
#   ds_x11_start [--no-wm | --wm xfwm4|openbox] [--screens N] [WIDTHxHEIGHTxDEPTH]
#       Xvfb on a free display (-displayfd, no TCP, no reset) with N screens of that
#       size (1; screen 1 is $DISPLAY.1) and a window manager (xfwm4 unless
#       --wm or $X11_SESSION_WM names another); exports DISPLAY (":N").
#   ds_wl_start [--xwayland] NAME [WIDTHxHEIGHT]
#       a headless sway (pixman renderer, a virtual keyboard, no other input),
#       its own Wayland socket in the session's runtime folder; exports
#       WAYLAND_DISPLAY and SWAYSOCK. Several may run; wl_use NAME switches.
#       With --xwayland it serves X11 clients too, on the display in
#       $wl_xwayland_display (as sway sets DISPLAY for its own children).
#   ds_on_exit COMMAND...   run at the shell's exit, latest first, before teardown
#   ds_stop                 the teardown, early
#
# Either first makes the session: a private folder ($ds_dir) holding the
# runtime folder (XDG_RUNTIME_DIR, 0700) and HOME of the session's user, and
# a session bus (DBUS_SESSION_BUS_ADDRESS) that every server and program of
# the session shares. sway refuses to run as root, so a Wayland session of
# root's belongs to nobody: DS_AS_USER is the prefix that runs a command as
# the session's user (empty when that is the caller). The caller's
# environment comes back at ds_stop.
#
# Teardown runs in this shell only: at EXIT (INT and TERM exit), through
# ds_stop. Every server is started through setpriv --pdeathsig KILL, so it
# dies with this shell even when that is killed outright; a watchdog, forked
# with no trap armed and never signalled, then removes the folder and a
# killed Xvfb's socket and lock. Every helper returns non-zero when what it
# looks for is not there. Safe under set -euo pipefail.

WL_APP_ID=com.example.korvalen.converter
DS_AS_USER=()
ds_dir=
wl_new_views=
_ds_exit_handlers=()
_ds_saved_env=()
_ds_servers=()
_ds_nap_fd=
_ds_ctl_fd=
_ds_watchdog_pid=
_ds_watch_pid=
wl_xwayland_display=
declare -A _wl_sway_pids=() _wl_displays=() _wl_socks=() _wl_x_displays=()

_ds_arm() {
  trap _ds_on_exit EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

_ds_on_exit() {
  local status=$? i
  for ((i = ${#_ds_exit_handlers[@]} - 1; i >= 0; i--)); do
    eval "${_ds_exit_handlers[i]}" || true
  done
  ds_stop
  exit "$status"
}
_ds_arm

ds_on_exit() { _ds_exit_handlers+=("$*"); }

# A sleep without a child: "read -t" on a FIFO nobody writes to. A forked
# sleep outlives a killed shell.
ds_nap() {
  if [ -n "$_ds_nap_fd" ]; then
    read -r -t "$1" -u "$_ds_nap_fd" || true
  else
    sleep "$1"
  fi
}

# ds_wait_until TIMEOUT CMD...: polls CMD every 50 ms until it succeeds or
# TIMEOUT seconds pass.
ds_wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    ds_nap 0.05
  done
}

# ds_gone PID: no such process, or only its zombie (a reaper-less init
# keeps those of orphans).
ds_gone() {
  local stat
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
  stat=${stat##*) }
  [ "${stat%% *}" = Z ]
}

# ds_kill PID: TERM, then KILL, each given 2 s. Teardown never waits
# unbounded: bash reaps its children by itself, and a "wait" in an exit
# handler has hung a test until its timeout.
ds_kill() {
  local pid=$1 signal
  [ -n "$pid" ] || return 0
  for signal in TERM KILL; do
    kill -"$signal" "$pid" 2>/dev/null || return 0
    ds_wait_until 2 ds_gone "$pid" && return 0
  done
}

# _ds_spawn LOG COMMAND...: a server as the session's user, tied to this
# shell; its pid in $_ds_pid. setpriv sets the parent-death signal after it
# has switched the user, which would clear it.
_ds_spawn() {
  local log=$1
  shift
  trap - EXIT INT TERM
  (
    exec {_ds_nap_fd}>&- {_ds_ctl_fd}>&-
    exec setpriv "${DS_AS_USER[@]:1}" --pdeathsig KILL "$@" </dev/null >"$log" 2>&1
  ) &
  _ds_pid=$!
  _ds_arm
  _ds_servers+=("$_ds_pid")
}

# _ds_sweep DIR: kills what is left of the session of folder DIR, whoever
# started it (a server's helpers, such as the settings daemon the bus
# activates for xfwm4), found by the runtime folder in its environment;
# waits for it to go.
_ds_sweep() {
  local pids=() pid environ
  # shellcheck disable=SC2013  # file names without blanks
  for environ in $(XDG_RUNTIME_DIR='' grep -lzxF "XDG_RUNTIME_DIR=$1/run" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "$pid" = $$ ] || [ "$pid" = "$BASHPID" ] || pids+=("$pid")
  done
  [ ${#pids[@]} -gt 0 ] || return 0
  kill -KILL "${pids[@]}" 2>/dev/null || true
  for pid in "${pids[@]}"; do ds_wait_until 5 ds_gone "$pid" || true; done
}

# _ds_ctl_line: the next line the shell wrote into $line, if one is there.
# Lines are written whole, so one that has begun is read whole without a
# wait; "read -t" drops what it has read of a line arriving as it times out
# (a display the watchdog then never cleaned up after).
_ds_ctl_line() { read -r -t 0 -u "$_ds_ctl_fd" && read -r -u "$_ds_ctl_fd" line; }

# Ends when the shell does (then cleans up after it) or on "stop". Learns
# the X displays of the session's servers ("display N PID") as they start.
# A session still running after DS_HANG_REPORT seconds (default 90, below
# the tests' time limits) prints, once, on the shell's standard error, what
# every process of the machine is doing: a test killed at its limit prints
# nothing more, and the report says what it waited on.
_ds_watchdog() {
  local shell=$1 line displays=() report_at=$((SECONDS + ${DS_HANG_REPORT:-90}))
  until ds_gone "$shell"; do
    if ((report_at && SECONDS >= report_at)); then
      report_at=0
      {
        echo "desktop-session: still running after ${DS_HANG_REPORT:-90} s; shell $shell"
        ps -N --ppid 2 -o pid,ppid,stat,wchan:24,etimes,args --forest
      } >"/proc/$shell/fd/2" 2>&1 || true
    fi
    _ds_ctl_line || { ds_nap 0.1 && continue; }
    case $line in
      stop) exit 0 ;;
      display\ *) displays+=("${line#display }") ;;
    esac
  done
  # What the shell wrote just before it ended: a display, or a stop that
  # came after it had stopped its session.
  while _ds_ctl_line; do
    case $line in
      stop) exit 0 ;;
      display\ *) displays+=("${line#display }") ;;
    esac
  done
  _ds_sweep "$ds_dir"
  rm -rf "$ds_dir"
  # A killed X server leaves its socket (and lock, where it made one),
  # unless a later server owns the number by now: the lock is another's or,
  # as Xvfb makes none, the socket is bound again.
  local entry display owner lock
  for entry in "${displays[@]}"; do
    read -r display owner <<<"$entry"
    lock=$(tr -d ' \0' <"/tmp/.X$display-lock" 2>/dev/null || true)
    if [ -n "$lock" ] && [ "$lock" != "$owner" ]; then continue; fi
    if [ -z "$lock" ] && grep -q " /tmp/.X11-unix/X$display\$" /proc/net/unix; then continue; fi
    rm -f "/tmp/.X11-unix/X$display" "/tmp/.X$display-lock"
  done
}

_ds_save_env() {
  local name
  for name in XDG_RUNTIME_DIR HOME DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY SWAYSOCK \
    XDG_SESSION_TYPE XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME; do
    _ds_saved_env+=("$name=${!name+set:${!name}}")
  done
}

_ds_restore_env() {
  local entry
  for entry in "${_ds_saved_env[@]}"; do
    if [ -n "${entry#*=}" ]; then
      export "${entry%%=*}=${entry#*=set:}"
    else
      unset "${entry%%=*}"
    fi
  done
  _ds_saved_env=()
}

# _ds_session_start [nobody]: the folder, its runtime folder and home, the
# bus and the watchdog.
_ds_session_start() {
  [ -z "$ds_dir" ] || return 0
  DS_AS_USER=()
  if [ "${1:-}" = nobody ] && [ "$(id -u)" = 0 ]; then
    DS_AS_USER=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  command -v dbus-daemon >/dev/null || { echo "desktop-session: dbus-daemon is missing" >&2; return 1; }
  # The session's user must reach the folder, which a TMPDIR under a
  # private home (root's, say) would not let it.
  local base
  for base in "${TMPDIR:-/tmp}" /tmp; do
    ds_dir=$(mktemp -d "$base/desktop-session.XXXXXX") || return 1
    chmod 0755 "$ds_dir"
    "${DS_AS_USER[@]}" test -x "$ds_dir" && break
    rm -rf "$ds_dir"
    ds_dir=
  done
  [ -n "$ds_dir" ] || { echo "desktop-session: no folder the session's user can reach" >&2; return 1; }
  mkfifo "$ds_dir/nap" "$ds_dir/ctl"
  exec {_ds_nap_fd}<>"$ds_dir/nap" {_ds_ctl_fd}<>"$ds_dir/ctl"
  mkdir -m 0700 "$ds_dir/run" "$ds_dir/home"
  mkdir -m 0755 "$ds_dir/files"
  if [ ${#DS_AS_USER[@]} -gt 0 ]; then
    chown nobody:nogroup "$ds_dir/run" "$ds_dir/home"
  fi
  local shell=$BASHPID
  trap - EXIT INT TERM
  (_ds_watchdog "$shell") </dev/null >/dev/null 2>&1 &
  _ds_watchdog_pid=$!
  _ds_arm

  _ds_save_env
  export XDG_RUNTIME_DIR=$ds_dir/run HOME=$ds_dir/home
  unset DISPLAY WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME
  # dbus-daemon prints its address once it listens. A session bus admits
  # its own user only, so it runs as the session's.
  _ds_spawn "$ds_dir/bus.log" dbus-daemon --session --nofork --nopidfile \
    --address="unix:path=$XDG_RUNTIME_DIR/bus" --print-address=3 3>"$ds_dir/bus-address"
  local bus=$_ds_pid
  _ds_bus_ready() { [ -s "$ds_dir/bus-address" ] || ds_gone "$bus"; }
  if ! ds_wait_until 15 _ds_bus_ready || ! [ -s "$ds_dir/bus-address" ]; then
    _ds_failed "the session bus" "$ds_dir/bus.log"
    return 1
  fi
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$ds_dir/bus-address")
  export DBUS_SESSION_BUS_ADDRESS
}

# _ds_failed WHAT LOG: says so with the log, and stops the session.
_ds_failed() {
  echo "desktop-session: $1 did not start:" >&2
  tail -n 30 "$2" >&2
  ds_stop
}

ds_stop() {
  [ -n "$ds_dir" ] || return 0
  local dir=$ds_dir servers=("${_ds_servers[@]}") i
  ds_dir='' _ds_servers=()
  ds_kill "$_ds_watch_pid"
  echo stop >&"$_ds_ctl_fd"
  ds_wait_until 5 ds_gone "$_ds_watchdog_pid" || true
  # Servers first, each given the time to clean up after itself.
  for ((i = ${#servers[@]} - 1; i >= 0; i--)); do
    ds_kill "${servers[i]}"
  done
  _ds_sweep "$dir"
  exec {_ds_nap_fd}>&- {_ds_ctl_fd}>&-
  rm -rf "$dir"
  _ds_restore_env
  _ds_nap_fd='' _ds_ctl_fd='' _ds_watchdog_pid='' _ds_watch_pid=''
  _wl_sway_pids=() _wl_displays=() _wl_socks=() _wl_x_displays=()
  wl_xwayland_display=
}

# --- X11 ---------------------------------------------------------------

ds_x11_start() {
  local wm=${X11_SESSION_WM:-xfwm4} screen=1280x1024x24 count=1 screens=() i tool
  while [ $# -gt 0 ]; do
    case $1 in
      --no-wm) wm= ;;
      --wm) wm=${2:?desktop-session: --wm needs a name} && shift ;;
      --screens) count=${2:?desktop-session: --screens needs a number} && shift ;;
      *) screen=$1 ;;
    esac
    shift
  done
  [[ $count =~ ^[1-9][0-9]*$ ]] || { echo "desktop-session: no screen count \"$count\"" >&2; return 1; }
  for ((i = 0; i < count; i++)); do screens+=(-screen "$i" "$screen"); done
  case $wm in
    '' | openbox | xfwm4) ;;
    *) echo "desktop-session: no window manager \"$wm\" (openbox, xfwm4)" >&2 && return 1 ;;
  esac
  for tool in Xvfb xdotool xprop xwininfo xmessage ${wm:+"$wm"}; do
    command -v "$tool" >/dev/null || { echo "desktop-session: $tool is missing" >&2; return 1; }
  done
  _ds_session_start || return 1
  # -noreset: by default the server resets when its last client leaves, and
  # a client connecting meanwhile is refused ("cannot open display"); the
  # session's short-lived probes (xprop, xdotool) end one after another.
  _ds_spawn "$ds_dir/xvfb.log" Xvfb -displayfd 3 -nolisten tcp -noreset "${screens[@]}" 3>"$ds_dir/display"
  local xvfb=$_ds_pid
  # Xvfb writes "N\n" in one go once it accepts clients.
  _ds_display_ready() { [ -s "$ds_dir/display" ] || ds_gone "$xvfb"; }
  if ! ds_wait_until 15 _ds_display_ready || ! [ -s "$ds_dir/display" ]; then
    _ds_failed Xvfb "$ds_dir/xvfb.log"
    return 1
  fi
  DISPLAY=:$(head -n 1 "$ds_dir/display")
  export DISPLAY XDG_SESSION_TYPE=x11
  echo "display ${DISPLAY#:} $xvfb" >&"$_ds_ctl_fd"
  case $wm in
    # openbox's start-up command runs once it handles map requests.
    openbox)
      _ds_spawn "$ds_dir/wm.log" openbox --sm-disable --startup "touch $ds_dir/wm-ready"
      ds_wait_until 15 test -e "$ds_dir/wm-ready"
      ;;
    # No compositing, so screenshots show what a plain X server shows; no
    # settings daemon, so its defaults hold whatever the user has set.
    xfwm4)
      _ds_xfwm4_settings
      _ds_spawn "$ds_dir/wm.log" xfwm4 --compositor=off --sm-client-disable
      ds_wait_until 15 _ds_wm_managing && _ds_wm_focuses_new_windows
      ;;
  esac || {
    # A window manager that cannot reach the display may mean the server is
    # gone: say which, with the server's own words.
    ds_gone "$xvfb" && echo "desktop-session: Xvfb on $DISPLAY has ended:" >&2
    tail -n 10 "$ds_dir/xvfb.log" >&2
    _ds_failed "$wm" "$ds_dir/wm.log"
    return 1
  }
}

# _ds_xfwm4_settings: xfwm4's settings store, filled with its own defaults.
# Finding it empty, xfwm4 writes every default into it, and reloads its
# theme as each change comes back: a second and a half of its start, three
# on a busy machine. The types are those xfwm4 reads them with.
_ds_xfwm4_settings() {
  local store=$HOME/.config/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$store"
  awk -F= '
    BEGIN { print "<channel name=\"xfwm4\" version=\"1.0\">\n  <property name=\"general\" type=\"empty\">" }
    /^[a-z0-9_]+=/ {
      value = substr($0, length($1) + 2)
      type = "string"
      if ($1 !~ /^title_shadow_/ && (value == "true" || value == "false")) type = "bool"
      else if (value ~ /^-?[0-9]+$/) type = "int"
      gsub(/&/, "\\&amp;", value); gsub(/"/, "\\&quot;", value); gsub(/</, "\\&lt;", value)
      printf "    <property name=\"%s\" type=\"%s\" value=\"%s\"/>\n", $1, type, value
    }
    END { print "  </property>\n</channel>" }' /usr/share/xfwm4/defaults >"$store/xfwm4.xml"
}

# The root window names a window manager check window once one manages the screen.
_ds_wm_managing() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# xfwm4 names its check window before it has read its settings; a window
# mapped meanwhile is adopted as if it had been there before, and so never
# given the focus. A new probe window every 2 s, up to 15 s, until one gets
# the focus, shows it is ready.
_ds_wm_focuses_new_windows() {
  local probe id attempt ready=1
  _ds_probe_active() {
    id=$(xdotool search --name "^desktop-session probe $$ $attempt\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && [ "$(x11_active_window)" = "$id" ]
  }
  for attempt in 1 2 3 4 5 6 7; do
    xmessage -title "desktop-session probe $$ $attempt" ready 2>/dev/null &
    probe=$!
    ds_wait_until 2 _ds_probe_active && ready=0
    ds_kill "$probe"
    [ "$ready" = 1 ] || return 0
  done
  return 1
}

# x11_wait_window PATTERN [TIMEOUT=10]: the first mapped window whose name
# matches PATTERN, an extended regular expression that xdotool matches
# without regard to case. Ids are decimal, as xdotool prints them.
x11_wait_window() {
  local id
  id=$(timeout "${2:-10}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1)
  [ -n "$id" ] && echo "$id"
}

# x11_visible_windows PATTERN: the mapped ones, one per line.
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

# x11_client_area ID: "X Y WIDTH HEIGHT" of the client area on the screen
# (inside the frame the window manager draws).
x11_client_area() {
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { if (w == "") exit 1; print x, y, w, h }'
}

# x11_frame ID: "X Y WIDTH HEIGHT" of the window with its frame.
x11_frame() {
  local x y w h left=0 right=0 top=0 bottom=0 extents
  read -r x y w h < <(x11_client_area "$1") || return 1
  extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null || true)
  case $extents in
    *=*) read -r left right top bottom < <(echo "${extents#*=}" | tr -d ',') ;;
  esac
  echo "$((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom))"
}

# x11_shoot_framed ID FILE: the window with its frame, as it stands on the screen.
x11_shoot_framed() {
  local x y w h
  read -r x y w h < <(x11_frame "$1") || return 1
  import -window root -crop "${w}x$h+$x+$y" +repage "$2"
}

# x11_click ID X Y [BUTTON]: a click at a point of the window's client area.
x11_click() {
  local cx cy
  read -r cx cy _ < <(x11_client_area "$1") || return 1
  xdotool mousemove --sync $((cx + $2)) $((cy + $3)) click "${4:-1}"
}

# x11_click_type ID X Y TEXT: a click at a point of the client area, then
# TEXT typed. One xdotool connection, so the server takes the keys after the
# click (from a second process they have reached the control clicked
# before), and no pause between the keys: a list's type-ahead starts afresh
# after 0.4 s without one, which xdotool's sleeps overran on a busy machine.
x11_click_type() {
  local cx cy
  read -r cx cy _ < <(x11_client_area "$1") || return 1
  xdotool mousemove --sync $((cx + $2)) $((cy + $3)) click 1 type --delay 0 "$4"
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

x11_is_active() { [ "$(x11_active_window)" = "$1" ]; }

# x11_has_input_focus ID: key presses go to that window (or one of its own).
x11_has_input_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

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
  [[ " $(x11_window_state "$1") " == *" _NET_WM_STATE_HIDDEN "* ]]
}

# x11_screenshot FILE: the whole screen, in the format FILE's extension names.
x11_screenshot() {
  import -window root "$1"
}

# --- Wayland -------------------------------------------------------------

# ds_wl_start [--xwayland] NAME [WIDTHxHEIGHT]: a headless sway with
# focus_on_window_activation focus and the program's windows floating, as a
# stacking desktop shows them. sway 1.7 moves the seat's focus on an
# activation at once but draws the title bars' focus colours only at its
# next change of layout: read the focus from the tree, not a screenshot.
ds_wl_start() {
  local xwayland=disable
  if [ "${1:-}" = --xwayland ]; then
    xwayland=enable
    shift
  fi
  local name=${1:?usage: ds_wl_start [--xwayland] NAME [WIDTHxHEIGHT]} size=${2:-1280x1024} tool
  local tools=(sway swaymsg grim jq wtype)
  [ "$xwayland" = disable ] || tools+=(Xwayland)
  for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "desktop-session: $tool is missing" >&2; return 1; }
  done
  [ -z "${_wl_sway_pids[$name]:-}" ] || { echo "desktop-session: $name runs already" >&2; return 1; }
  _ds_session_start nobody || return 1
  export XDG_SESSION_TYPE=wayland
  unset DISPLAY QT_QPA_PLATFORM
  local dir=$ds_dir/sway-$name ready=$XDG_RUNTIME_DIR/ready-$name
  mkdir -m 0755 "$dir"
  # The compositor's own start-up command marks it ready: the Wayland and
  # IPC sockets then accept clients.
  cat >"$dir/config" <<EOF
output * resolution $size position 0 0
focus_on_window_activation focus
for_window [app_id="^${WL_APP_ID//./\\.}\$"] floating enable
default_border normal
xwayland $xwayland
exec sh -c 'printf "%s %s %s\\n" "\$WAYLAND_DISPLAY" "\$SWAYSOCK" "\$DISPLAY" >"$ready"'
EOF
  chmod 0644 "$dir/config"
  _ds_spawn "$dir/sway.log" env -u WAYLAND_DISPLAY -u SWAYSOCK WLR_BACKENDS=headless \
    WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway --config "$dir/config"
  _wl_sway_pids[$name]=$_ds_pid
  _ds_sway_ready() { [ -s "$ready" ] || ds_gone "${_wl_sway_pids[$name]}"; }
  if ! ds_wait_until 20 _ds_sway_ready || ! [ -s "$ready" ]; then
    _ds_failed "sway ($name)" "$dir/sway.log"
    return 1
  fi
  read -r "_wl_displays[$name]" "_wl_socks[$name]" "_wl_x_displays[$name]" <"$ready"
  if [ "$xwayland" = enable ]; then
    [ -n "${_wl_x_displays[$name]}" ] || {
      _ds_failed "Xwayland of sway ($name)" "$dir/sway.log"
      return 1
    }
    # sway made the X socket and lock (Xwayland starts at the first client).
    echo "display ${_wl_x_displays[$name]#:} ${_wl_sway_pids[$name]}" >&"$_ds_ctl_fd"
  fi
  wl_use "$name"
  # A seat with a keyboard from the start, as a desktop's has: one made for
  # a single key press would come and go before the focused client had
  # bound it. wtype holds its keyboard while it sleeps, past any test.
  _ds_spawn "$dir/keyboard.log" wtype -s 3600000
  _ds_has_keyboard() { wl_msg -r -t get_inputs | jq -e 'any(.[]; .type == "keyboard")' >/dev/null; }
  ds_wait_until 10 _ds_has_keyboard || {
    echo "desktop-session: sway ($name) got no keyboard" >&2
    return 1
  }
}

# wl_use NAME: later commands talk to that compositor.
wl_use() {
  [ -n "${_wl_displays[$1]:-}" ] || { echo "desktop-session: no compositor $1" >&2; return 1; }
  export WAYLAND_DISPLAY=${_wl_displays[$1]} SWAYSOCK=${_wl_socks[$1]}
  # shellcheck disable=SC2034  # read by the caller
  wl_xwayland_display=${_wl_x_displays[$1]}
}

# wl_keys KEY...: key presses, by xkb key names (space, Return, Tab), to the
# focused window.
wl_keys() {
  local key args=()
  for key in "$@"; do args+=(-k "$key"); done
  "${DS_AS_USER[@]}" wtype "${args[@]}"
}

# ds_readable FILE: a path of FILE that the session's user can read (and
# run, if FILE is executable): FILE itself where it can, else a copy in the
# session's folder. A clone under a private home is out of nobody's reach.
ds_readable() {
  local file copy
  file=$(readlink -f "$1")
  [ -e "$file" ] || { echo "desktop-session: no file $1" >&2; return 1; }
  if "${DS_AS_USER[@]}" test -r "$file" && { [ ! -x "$file" ] || "${DS_AS_USER[@]}" test -x "$file"; }; then
    echo "$file"
    return 0
  fi
  copy=$(mktemp -d "$ds_dir/files/XXXXXX")
  chmod 0755 "$copy"
  copy=$copy/${file##*/}
  cp "$file" "$copy"
  chmod a+r "$copy"
  echo "$copy"
}

wl_msg() {
  "${DS_AS_USER[@]}" swaymsg "$@"
}

# wl_views: the views of the compositor's tree, tiled and floating alike, as
# "PID<TAB>FOCUSED<TAB>CON_ID<TAB>APP_ID<TAB>NAME" lines.
wl_views() {
  wl_msg -r -t get_tree | jq -r '.. | objects
    | select(has("pid") and .pid != null and (.type == "con" or .type == "floating_con"))
    | [.pid, .focused, .id, (.app_id // ""), (.name // "")] | @tsv'
}

# wl_wait_window PID PATTERN [TIMEOUT=10]: the con id of a view of PID whose
# title matches PATTERN (an extended regular expression).
wl_wait_window() {
  local pid=$1 pattern=$2 found=
  _wl_find() {
    found=$(wl_views | awk -F '\t' -v pid="$pid" -v re="$pattern" '$1 == pid && $5 ~ re { print $3; exit }')
    [ -n "$found" ]
  }
  ds_wait_until "${3:-10}" _wl_find || return 1
  echo "$found"
}

# wl_is_focused CON_ID: the seat's focus, from the compositor's tree.
wl_is_focused() {
  [ "$(wl_views | awk -F '\t' '$2 == "true" { print $3 }')" = "$1" ]
}

# wl_watch_new / wl_new_since_watch: the views mapped in between, one per
# line ("PID<TAB>APP_ID<TAB>NAME") in $wl_new_views, empty when none was.
# Not in a subshell: the watch ends in this shell.
wl_watch_new() {
  [ -z "$_ds_watch_pid" ] || { echo "desktop-session: already watching" >&2; return 1; }
  "${DS_AS_USER[@]}" swaymsg -m -r -t subscribe '["window","tick"]' >"$ds_dir/window-events" 2>/dev/null &
  _ds_watch_pid=$!
  # sway answers a subscription to ticks with a first tick at once: from
  # then on no window event is missed.
  ds_wait_until 5 grep -q '"first": *true' "$ds_dir/window-events" || {
    echo "desktop-session: window events are not coming in" >&2
    return 1
  }
}

wl_new_since_watch() {
  ds_nap 0.2
  ds_kill "$_ds_watch_pid"
  _ds_watch_pid=
  # shellcheck disable=SC2034  # read by the caller
  wl_new_views=$(jq -r 'select(.change == "new") | .container | [.pid, (.app_id // ""), (.name // "")] | @tsv' \
    "$ds_dir/window-events")
}

# wl_screenshot FILE: the whole output as PNG.
wl_screenshot() {
  "${DS_AS_USER[@]}" grim -t png - >"$1"
}
