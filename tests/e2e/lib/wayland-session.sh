# shellcheck shell=bash
# wayland-session.sh: private headless Wayland sessions for end-to-end tests.
# Source it, then:
#
#   source tests/e2e/lib/wayland-session.sh
#   wl_session_start || exit 1        # runtime folder, home and session bus of the session user
#   wl_compositor_start one || exit 1 # headless sway; exports WAYLAND_DISPLAY and SWAYSOCK
#   program=$(wl_readable ./korvalen-converter) || exit 1
#   "${WL_AS_USER[@]}" "$program" >log 2>&1 &   # $! is the program's own pid
#   con=$(wl_wait_window "$!" '^Korvalen' 10) || exit 1
#   wl_is_focused "$con"              # the seat's focus, from the compositor's tree
#   wl_watch_new; ...; wl_new_since_watch      # windows mapped meanwhile, in $wl_new_views
#   wl_keys space                     # key presses to the focused window
#   wl_screenshot /tmp/shot.png
#
# sway refuses to run as root, so under root everything runs as nobody
# (setpriv, no account needed): WL_AS_USER is the prefix that does so, and is
# empty for anyone else. The session's environment (XDG_RUNTIME_DIR, HOME,
# DBUS_SESSION_BUS_ADDRESS, XDG_SESSION_TYPE, WAYLAND_DISPLAY, SWAYSOCK) is
# exported into the calling shell, with DISPLAY unset, so whatever runs
# through WL_AS_USER meets a native Wayland session.
#
# wl_session_start: a private folder, the user's runtime folder (0700, owned
#   by the user) and home inside it, and a private session bus
#   (dbus-daemon --session --nofork) that every compositor of the session
#   shares. Returns non-zero, with nothing left running, on failure.
# wl_compositor_start NAME [WIDTHxHEIGHT]: a headless sway (pixman renderer,
#   no input devices but a virtual keyboard) with focus_on_window_activation
#   focus and the program's windows floating, as a stacking desktop shows
#   them. Each compositor gets its own Wayland socket in the shared runtime
#   folder; wl_use NAME switches WAYLAND_DISPLAY and SWAYSOCK between them.
#   sway 1.7 moves the seat's focus on an activation at once but draws the
#   title bars' focus colours only at its next change of layout, so read the
#   focus from the tree, not from a screenshot.
# Teardown is automatic: on the shell's EXIT (after any EXIT trap the caller
# had set), on INT and TERM, and through a watchdog when the shell is killed
# outright. It stops only what the library started, by pid, and removes the
# folder. wl_session_stop does it early.
#
# Every helper returns non-zero when what it looks for is not there. Safe
# under set -euo pipefail.

WL_APP_ID=com.example.korvalen.converter

WL_AS_USER=()
if [ "$(id -u)" = 0 ]; then
  WL_AS_USER=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

_wl_dir=
_wl_bus_pid=
_wl_watchdog_pid=
_wl_watch_pid=
wl_new_views=
_wl_prev_exit_trap=
_wl_tick_fd=
declare -A _wl_sway_pids=() _wl_keyboard_pids=() _wl_displays=() _wl_socks=()

# Polls CMD... every 50 ms until it succeeds or TIMEOUT seconds pass.
wl_wait_until() {
  local timeout=$1
  shift
  local deadline=$((SECONDS + timeout))
  until "$@"; do
    if ((SECONDS >= deadline)); then
      return 1
    fi
    _wl_nap 0.05
  done
}

# A sleep without a child: "read -t" on a FIFO nobody writes to (forked
# sleeps outlive a killed shell and confuse bash's EXIT trap).
_wl_nap() {
  if [ -n "$_wl_tick_fd" ]; then
    read -r -t "$1" -u "$_wl_tick_fd" || true
  else
    sleep "$1"
  fi
}

# TERM, then KILL, each followed by up to 2 s for the process to go.
_wl_kill() {
  local pid=$1 signal i
  [ -n "$pid" ] || return 0
  for signal in TERM KILL; do
    kill -"$signal" "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 40; i++)); do
      kill -0 "$pid" 2>/dev/null || break 2
      _wl_nap 0.05
    done
  done
  wait "$pid" 2>/dev/null || true
}

wl_session_stop() {
  local name
  _wl_kill "$_wl_watch_pid"
  _wl_kill "$_wl_watchdog_pid"
  for name in "${!_wl_keyboard_pids[@]}"; do
    _wl_kill "${_wl_keyboard_pids[$name]}"
  done
  for name in "${!_wl_sway_pids[@]}"; do
    _wl_kill "${_wl_sway_pids[$name]}"
  done
  _wl_kill "$_wl_bus_pid"
  if [ -n "$_wl_tick_fd" ]; then
    exec {_wl_tick_fd}>&-
    _wl_tick_fd=''
  fi
  if [ -n "$_wl_dir" ]; then
    rm -rf "$_wl_dir"
  fi
  _wl_dir='' _wl_bus_pid='' _wl_watchdog_pid='' _wl_watch_pid=''
  _wl_sway_pids=() _wl_keyboard_pids=() _wl_displays=() _wl_socks=()
}

_wl_return() { return "$1"; }

_wl_on_exit() {
  local status=$?
  wl_session_stop
  if [ -n "$_wl_prev_exit_trap" ]; then
    # "trap -- 'command' EXIT": run the command the caller had installed.
    eval "set -- ${_wl_prev_exit_trap#trap -- }"
    # With this exit's status in $?, as that command would see it as a trap
    # (the x11 session library's passes it on); "||" keeps errexit away.
    if [ "$status" = 0 ]; then
      eval "$1"
    else
      _wl_return "$status" || eval "$1"
    fi
  fi
  exit "$status"
}

# Restarts the watchdog with every server pid: even a SIGKILL of this shell
# must not leave a compositor, the bus or the folder behind.
_wl_watch_servers() {
  local shell_pid=$BASHPID dir=$_wl_dir pids=("$_wl_bus_pid" "${_wl_sway_pids[@]}" "${_wl_keyboard_pids[@]}")
  _wl_kill "$_wl_watchdog_pid"
  (
    trap - EXIT INT TERM
    while kill -0 "$shell_pid" 2>/dev/null; do read -r -t 1 -u "$_wl_tick_fd" || true; done
    kill -KILL "${pids[@]}" 2>/dev/null
    rm -rf "$dir"
  ) </dev/null >/dev/null 2>&1 &
  _wl_watchdog_pid=$!
}

wl_session_start() {
  if [ -n "$_wl_dir" ]; then
    echo "wayland-session: already started in $_wl_dir" >&2
    return 1
  fi
  local tool
  for tool in sway swaymsg grim dbus-daemon jq wtype; do
    command -v "$tool" >/dev/null || { echo "wayland-session: $tool is missing" >&2; return 1; }
  done

  if [ -z "$_wl_prev_exit_trap" ]; then
    _wl_prev_exit_trap=$(trap -p EXIT)
  fi
  trap _wl_on_exit EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  # The session user must reach the folder; a TMPDIR under a private home
  # (root's, say) would not let it.
  _wl_dir=$(mktemp -d "${TMPDIR:-/tmp}/wayland-session.XXXXXX") || return 1
  chmod 0755 "$_wl_dir"
  if ! "${WL_AS_USER[@]}" test -x "$_wl_dir"; then
    rm -rf "$_wl_dir"
    _wl_dir=$(mktemp -d /tmp/wayland-session.XXXXXX) || return 1
    chmod 0755 "$_wl_dir"
  fi
  mkfifo "$_wl_dir/tick"
  exec {_wl_tick_fd}<>"$_wl_dir/tick"
  mkdir -m 0700 "$_wl_dir/run" "$_wl_dir/home"
  mkdir -m 0755 "$_wl_dir/files"
  if [ ${#WL_AS_USER[@]} -gt 0 ]; then
    chown nobody:nogroup "$_wl_dir/run" "$_wl_dir/home"
  fi
  export XDG_RUNTIME_DIR=$_wl_dir/run HOME=$_wl_dir/home XDG_SESSION_TYPE=wayland
  unset DISPLAY WAYLAND_DISPLAY SWAYSOCK QT_QPA_PLATFORM SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME

  # dbus-daemon prints its address once it listens. The bus belongs to the
  # session user: a session bus admits its own user only.
  (
    exec {_wl_tick_fd}>&-
    exec "${WL_AS_USER[@]}" dbus-daemon --session --nofork --nopidfile \
      --address="unix:path=$XDG_RUNTIME_DIR/bus" --print-address=3 \
      3>"$_wl_dir/bus-address" </dev/null >"$_wl_dir/bus.log" 2>&1
  ) &
  _wl_bus_pid=$!
  _wl_bus_ready() { [ -s "$_wl_dir/bus-address" ] || ! kill -0 "$_wl_bus_pid" 2>/dev/null; }
  if ! wl_wait_until 15 _wl_bus_ready || ! [ -s "$_wl_dir/bus-address" ]; then
    echo "wayland-session: the session bus did not start:" >&2
    cat "$_wl_dir/bus.log" >&2
    wl_session_stop
    return 1
  fi
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$_wl_dir/bus-address")
  export DBUS_SESSION_BUS_ADDRESS
  _wl_watch_servers
}

wl_compositor_start() {
  local name=${1:?usage: wl_compositor_start NAME [WIDTHxHEIGHT]} size=${2:-1280x1024}
  [ -n "$_wl_dir" ] || { echo "wayland-session: wl_session_start first" >&2; return 1; }
  [ -z "${_wl_sway_pids[$name]:-}" ] || { echo "wayland-session: $name runs already" >&2; return 1; }
  local dir=$_wl_dir/sway-$name
  mkdir -m 0755 "$dir"
  # The ready marker comes from the compositor's own start-up command, so it
  # is written once the Wayland socket and the IPC socket accept clients.
  cat >"$dir/config" <<EOF
output * resolution $size position 0 0
focus_on_window_activation focus
for_window [app_id="^${WL_APP_ID//./\\.}\$"] floating enable
default_border normal
xwayland disable
exec sh -c 'printf "%s %s\\n" "\$WAYLAND_DISPLAY" "\$SWAYSOCK" >"$XDG_RUNTIME_DIR/ready-$name"'
EOF
  chmod 0644 "$dir/config"
  (
    exec {_wl_tick_fd}>&-
    unset WAYLAND_DISPLAY SWAYSOCK
    exec env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
      "${WL_AS_USER[@]}" sway --config "$dir/config" </dev/null >"$dir/sway.log" 2>&1
  ) &
  _wl_sway_pids[$name]=$!
  _wl_watch_servers
  local ready=$XDG_RUNTIME_DIR/ready-$name
  _wl_sway_ready() { [ -s "$ready" ] || ! kill -0 "${_wl_sway_pids[$name]}" 2>/dev/null; }
  if ! wl_wait_until 20 _wl_sway_ready || ! [ -s "$ready" ]; then
    echo "wayland-session: sway ($name) did not start:" >&2
    tail -n 30 "$dir/sway.log" >&2
    _wl_kill "${_wl_sway_pids[$name]}"
    unset "_wl_sway_pids[$name]"
    return 1
  fi
  local display sock
  read -r display sock <"$ready"
  _wl_displays[$name]=$display
  _wl_socks[$name]=$sock
  wl_use "$name"
  # A seat with a keyboard from the start, as a desktop's has: a virtual
  # keyboard made only for one key press would come and go before the
  # focused client had bound it, and the key would be lost. wtype holds its
  # keyboard while it sleeps (an hour, well past any test).
  (
    exec {_wl_tick_fd}>&-
    exec "${WL_AS_USER[@]}" wtype -s 3600000 </dev/null >"$dir/keyboard.log" 2>&1
  ) &
  _wl_keyboard_pids[$name]=$!
  _wl_watch_servers
  _wl_has_keyboard() { wl_msg -r -t get_inputs | jq -e 'any(.[]; .type == "keyboard")' >/dev/null; }
  wl_wait_until 10 _wl_has_keyboard || {
    echo "wayland-session: sway ($name) got no keyboard" >&2
    return 1
  }
}

# wl_keys KEY...: key presses, by xkb key names (space, Return, Tab), to the
# focused window.
wl_keys() {
  local key args=()
  for key in "$@"; do args+=(-k "$key"); done
  "${WL_AS_USER[@]}" wtype "${args[@]}"
}

# wl_use NAME: later commands talk to that compositor.
wl_use() {
  [ -n "${_wl_displays[$1]:-}" ] || { echo "wayland-session: no compositor $1" >&2; return 1; }
  export WAYLAND_DISPLAY=${_wl_displays[$1]} SWAYSOCK=${_wl_socks[$1]}
}

# wl_compositor_pid NAME
wl_compositor_pid() {
  echo "${_wl_sway_pids[$1]}"
}

# wl_readable FILE: a path of FILE that the session user can read (and run,
# if FILE is executable): FILE itself where it can, else a copy inside the
# session's folder. A clone under a private home is out of nobody's reach.
wl_readable() {
  local file=$1 copy
  [ -e "$file" ] || { echo "wayland-session: no file $file" >&2; return 1; }
  file=$(readlink -f "$file")
  if "${WL_AS_USER[@]}" test -r "$file" && { [ ! -x "$file" ] || "${WL_AS_USER[@]}" test -x "$file"; }; then
    echo "$file"
    return 0
  fi
  copy=$(mktemp -d "$_wl_dir/files/XXXXXX")
  chmod 0755 "$copy"
  copy=$copy/$(basename "$file")
  cp "$file" "$copy"
  chmod a+r "$copy"
  if [ -x "$file" ]; then chmod a+x "$copy"; fi
  echo "$copy"
}

wl_msg() {
  "${WL_AS_USER[@]}" swaymsg "$@"
}

# The views of the compositor's tree as "PID<TAB>FOCUSED<TAB>CON_ID<TAB>APP_ID<TAB>NAME",
# one per line, tiled and floating alike.
_wl_views_jq='.. | objects | select(has("pid") and .pid != null and (.type == "con" or .type == "floating_con"))
  | [.pid, .focused, .id, (.app_id // ""), (.name // "")] | @tsv'
wl_views() {
  wl_msg -r -t get_tree | jq -r "$_wl_views_jq"
}

# wl_windows_of PID: the views of that process, as wl_views prints them.
wl_windows_of() {
  wl_views | awk -F '\t' -v pid="$1" '$1 == pid'
}

# wl_wait_window PID PATTERN [TIMEOUT=10]: the con id of a view of PID whose
# title matches PATTERN (an extended regular expression).
wl_wait_window() {
  local pid=$1 pattern=$2 found=
  _wl_find() {
    found=$(wl_windows_of "$pid" | awk -F '\t' -v re="$pattern" '$5 ~ re { print $3; exit }')
    [ -n "$found" ]
  }
  wl_wait_until "${3:-10}" _wl_find || return 1
  echo "$found"
}

# wl_focused: the focused view's line, as wl_views prints it.
wl_focused() {
  wl_views | awk -F '\t' '$2 == "true"' | grep .
}

# wl_is_focused CON_ID
wl_is_focused() {
  [ "$(wl_focused | cut -f 3)" = "$1" ]
}

# wl_watch_new / wl_new_since_watch: the views mapped in between, one per
# line ("PID<TAB>APP_ID<TAB>NAME") in $wl_new_views, empty when none was.
# Not to be called in a subshell: the watch ends in this shell.
wl_watch_new() {
  [ -z "$_wl_watch_pid" ] || { echo "wayland-session: already watching" >&2; return 1; }
  : >"$_wl_dir/window-events"
  "${WL_AS_USER[@]}" swaymsg -m -r -t subscribe '["window","tick"]' >"$_wl_dir/window-events" 2>/dev/null &
  _wl_watch_pid=$!
  # sway answers a subscription to ticks with a first tick at once: from
  # then on no window event is missed.
  _wl_subscribed() { grep -q '"first": *true' "$_wl_dir/window-events"; }
  if ! wl_wait_until 5 _wl_subscribed; then
    echo "wayland-session: window events are not coming in" >&2
    return 1
  fi
}

wl_new_since_watch() {
  _wl_nap 0.2
  _wl_kill "$_wl_watch_pid"
  _wl_watch_pid=
  # shellcheck disable=SC2034  # read by the caller
  wl_new_views=$(jq -r 'select(.change == "new") | .container | [.pid, (.app_id // ""), (.name // "")] | @tsv' \
    "$_wl_dir/window-events")
}

# wl_screenshot FILE: the whole output as PNG.
wl_screenshot() {
  "${WL_AS_USER[@]}" grim -t png - >"$1"
}
