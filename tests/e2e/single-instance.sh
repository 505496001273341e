# shellcheck shell=bash
# single-instance.sh: what the single-instance guard's end-to-end scripts
# share, on a private X display with xfwm4 or a headless sway ("main").
# Source it with the display, the program and options of the session's
# start (ds_x11_start's, or ds_wl_start's before the name):
#
#   source "$(dirname "$0")/../single-instance.sh" x11|wayland PROGRAM [OPTION...]
#
# It leaves the caller with
#   $program, $work   the program (where the session's user can run it), a
#                     folder for logs and files, removed at exit
#   fail MESSAGE      reports, with every log (and on Wayland the views), and exits 1
#   start NAME [FILE] an instance of FILE (the program) as the session's
#                     user; its pid is ${pids[NAME]}, killed at exit
#   alive NAME; finished NAME TIMEOUT (its exit code then in $exit_code)
#   second_start_ends_unseen NAME [FILE]   fails unless NAME exits 0 having mapped no window
#   start_eight       eight starts at one moment: exactly one keeps running ($survivor),
#                     the other seven exit 0
#   continue_to_conversion WELCOME   presses "Continue"; prints the conversion window
#   bus_peers         "UNIQUE-NAME PID" of every connection to the session bus
#   watch_bus NAME RULE...   a dbus-monitor of RULEs and of new connections
#                     (Hello) logging to $work/NAME.log, once it listens
# and, on X11, is_topmost ID and stacking_order; on Wayland, cover NAME and give_focus CON_ID.
set -euo pipefail

display=${1:?usage: single-instance.sh x11|wayland PROGRAM [OPTION...]}
program=${2:?usage: $0 PATH/TO/korvalen-converter}
session_options=("${@:3}")
[ -x "$program" ] || { echo "FAIL: no program at $program" >&2; exit 1; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/lib/desktop-session.sh
source "$root/scripts/lib/desktop-session.sh"

readonly welcome_title='^Korvalen Converter - U\.S\. & Metric System Conversion$'
readonly conversion_title='^Conversion Utility$'
declare -A pids=()
exit_code=
survivor=
work=

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${SWAYSOCK:-}" ]; then
    echo "views (pid, focused, con id, app id, title):" >&2
    wl_views >&2 || true
  fi
  local log
  for log in "${work:-/nonexistent}"/*.log; do
    [ -s "$log" ] && { echo "--- ${log##*/}" >&2; cat "$log" >&2; }
  done
  exit 1
}

_single_instance_cleanup() {
  local name
  for name in "${!pids[@]}"; do
    kill -KILL "${pids[$name]}" 2>/dev/null || true
  done
}
ds_on_exit _single_instance_cleanup

case $display in
  x11)
    ds_x11_start "${session_options[@]}" || fail "no X display"
    export QT_QPA_PLATFORM=xcb
    ;;
  wayland)
    command -v weston-flower >/dev/null || fail "weston-flower is missing"
    ds_wl_start "${session_options[@]}" main || fail "no compositor"
    program=$(ds_readable "$program")
    ;;
  *) fail "no display \"$display\" (x11, wayland)" ;;
esac
work=$ds_dir/work
mkdir -m 0755 "$work"
# Only matters in a leak-checking build: system libraries' leaks are not the
# program's, and would change a later instance's exit code.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(ds_readable "$root/tests/lsan.supp")"

start() {
  "${DS_AS_USER[@]}" "${2:-$program}" </dev/null >"$work/$1.log" 2>&1 &
  pids[$1]=$!
}

alive() { kill -0 "${pids[$1]}" 2>/dev/null; }

finished() {
  local name=$1 timeout=$2
  ds_wait_until "$timeout" eval '! alive "$name"' || fail "$name is still running after ${timeout}s"
  exit_code=0
  wait "${pids[$name]}" 2>/dev/null || exit_code=$?
  unset "pids[$name]"
}

second_start_ends_unseen() {
  local name=$1 mapped
  if [ "$display" = x11 ]; then
    # Windows created and then mapped, or reparented into a frame, meanwhile.
    xev -root -event substructure >"$work/xev.out" 2>&1 &
    pids[xev]=$!
    # xev prints nothing until something happens; give it time to select its events.
    sleep 0.5
  else
    wl_watch_new || fail "cannot watch the compositor's windows"
  fi
  start "$@"
  finished "$name" 20
  if [ "$display" = x11 ]; then
    sleep 0.2
    ds_kill "${pids[xev]}"
    unset "pids[xev]"
    mapped=$(awk '
      /^(CreateNotify|MapNotify|ReparentNotify) event/ { kind = $1; next }
      kind != "" {
        for (i = 1; i < NF; i++) if ($i == "window") { id = $(i + 1); sub(",", "", id) }
        if (kind == "CreateNotify") created[id] = 1
        else if (id in created) mapped[id] = 1
        kind = ""
      }
      END { for (id in mapped) print id }' "$work/xev.out")
  else
    wl_new_since_watch
    mapped=$wl_new_views
  fi
  [ "$exit_code" = 0 ] || fail "the start $name exited with $exit_code"
  [ -z "$mapped" ] || fail "windows were mapped during the start $name: $mapped"
}

start_eight() {
  local gate i
  # Released together: each waits for a shared lock on a gate that this
  # shell holds exclusively, and all get it the moment the gate opens.
  exec {gate}>"$work/gate"
  flock -x "$gate"
  for i in 1 2 3 4 5 6 7 8; do
    (
      exec {gate}>&-
      flock -s "$work/gate" true
      exec "${DS_AS_USER[@]}" "$program"
    ) </dev/null >"$work/i$i.log" 2>&1 &
    pids[i$i]=$!
  done
  sleep 0.5
  flock -u "$gate"
  exec {gate}>&-
  _one_running() {
    local n=0
    for i in 1 2 3 4 5 6 7 8; do
      if alive "i$i"; then n=$((n + 1)); fi
    done
    [ "$n" = 1 ]
  }
  ds_wait_until 60 _one_running || fail "not exactly one instance is left running"
  for i in 1 2 3 4 5 6 7 8; do
    if alive "i$i"; then
      survivor=i$i
    else
      finished "i$i" 1
      [ "$exit_code" = 0 ] || fail "instance $i exited with $exit_code"
    fi
  done
}

bus_peers() {
  local name
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.ListNames | grep -o '":[0-9.]*"' | tr -d '"' |
    while read -r name; do
      # A connection may have gone meanwhile.
      dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null |
        awk -v name="$name" '/uint32/ { print name, $2 }' || true
    done
}

watch_bus() {
  local name=$1
  shift
  dbus-monitor --session "$@" "type='method_call',interface='org.freedesktop.DBus',member='Hello'" \
    >"$work/$name.log" 2>&1 &
  pids[$name]=$!
  # Control clients connect until the monitor reports one: it is listening.
  _control_seen() {
    dbus-send --session --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.Peer.Ping
    ds_nap 0.2
    grep -q "member=Hello" "$work/$name.log"
  }
  ds_wait_until 10 _control_seen || fail "the bus monitor $name saw no control client connect"
}

if [ "$display" = x11 ]; then
  continue_to_conversion() {
    ds_wait_until 10 x11_is_active "$1" || fail "the welcome window did not become active"
    # shellcheck source=scripts/lib/layout.sh
    source "$root/scripts/lib/layout.sh"
    read -r x y < <(layout_centre frmMain Button1)
    xdotool mousemove --window "$1" --sync "$x" "$y" click 1
    x11_wait_window "$conversion_title" 10 || fail "no conversion window after Continue"
  }

  # The window ids of the managed windows, bottom to top.
  stacking_order() {
    xprop -root -notype _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //; s/,//g' |
      while read -r -a ids; do
        for id in "${ids[@]}"; do printf '%d\n' "$id"; done
      done
  }

  is_topmost() { [ "$(stacking_order | tail -n 1)" = "$1" ]; }
else
  # cover NAME: another client's window, mapped on top and focused, as a
  # window the user turned to; its con id is left in $cover_con.
  cover_con=
  cover() {
    "${DS_AS_USER[@]}" weston-flower </dev/null >"$work/$1.log" 2>&1 &
    pids[$1]=$!
    cover_con=$(wl_wait_window "${pids[$1]}" '' 10) || fail "the covering window $1 was not mapped"
    ds_wait_until 5 wl_is_focused "$cover_con" || fail "the covering window $1 did not take the focus"
  }

  give_focus() {
    wl_msg "[con_id=$1] focus" >/dev/null
    ds_wait_until 5 wl_is_focused "$1" || fail "window $1 did not take the focus"
  }

  continue_to_conversion() {
    ds_wait_until 10 wl_is_focused "$1" || fail "the welcome window is not focused"
    # "Continue" has the keyboard focus when the welcome window opens.
    wl_keys space
    wl_wait_window "${pids[first]}" "$conversion_title" 10 || fail "no conversion window after Continue"
  }
fi
