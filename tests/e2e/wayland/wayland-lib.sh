# shellcheck shell=bash
# wayland-lib.sh: what the single-instance scripts on a headless Wayland
# compositor share. Source it with the program as $1; it leaves the caller with
#   $program      the program, where the session user can run it
#   $work         a private folder for logs, removed at exit
#   start NAME    starts an instance as the session user; its pid is ${pids[NAME]}
#   finished NAME TIMEOUT   waits for it to end; its exit code is then in $exit_code
#   cover NAME    maps another program's window, which takes the focus ($cover_con)
#   give_focus CON_ID       the compositor focuses that window, as a click would
#   continue_to_conversion WELCOME_CON   presses "Continue" from the keyboard
#   second_start_ends_unseen NAME   fails unless NAME exits 0 having mapped no surface
# and a session with one headless sway, "main" (tests/e2e/lib/wayland-session.sh).
# Every process started here is killed at exit, by its own pid.
set -euo pipefail

program=${1:?usage: $0 PATH/TO/korvalen-converter}
[ -x "$program" ] || { echo "FAIL: no program at $program" >&2; exit 1; }

readonly welcome_title='^Korvalen Converter - U\.S\. & Metric System Conversion$'
readonly conversion_title='^Conversion Utility$'

declare -A pids=()
work=$(mktemp -d "${TMPDIR:-/tmp}/wayland-e2e.XXXXXX")

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${SWAYSOCK:-}" ]; then
    echo "views (pid, focused, con id, app id, title):" >&2
    wl_views >&2 || true
  fi
  local log
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- ${log##*/}" >&2; cat "$log" >&2; }
  done
  exit 1
}

_wayland_cleanup() {
  local name
  for name in "${!pids[@]}"; do
    kill -KILL "${pids[$name]}" 2>/dev/null || true
    wait "${pids[$name]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
# Set before the session starts: the session library runs it after its own teardown.
trap _wayland_cleanup EXIT

# shellcheck source=../lib/wayland-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/wayland-session.sh"
command -v weston-flower >/dev/null || fail "weston-flower is missing"
wl_session_start || fail "no Wayland session"
wl_compositor_start main || fail "no compositor"
program=$(wl_readable "$program")
# Only matters in a leak-checking build: system libraries' leaks are not the
# program's, and would change a later instance's exit code.
supp=$(wl_readable "$(dirname "${BASH_SOURCE[0]}")/../../lsan.supp")
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$supp"

# start NAME [ENV=VALUE...]: the program, as the session user, with no arguments.
start() {
  local name=$1
  shift
  "${WL_AS_USER[@]}" env "$@" "$program" </dev/null >"$work/$name.log" 2>&1 &
  pids[$name]=$!
}

alive() { kill -0 "${pids[$1]}" 2>/dev/null; }

exit_code=
finished() {
  local name=$1 timeout=$2
  wl_wait_until "$timeout" eval '! alive "$name"' || fail "$name is still running after ${timeout}s"
  exit_code=0
  wait "${pids[$name]}" 2>/dev/null || exit_code=$?
  unset "pids[$name]"
}

# cover NAME: another client's window, mapped on top and focused, as a
# window the user turned to; its con id is left in $cover_con. Not in a
# subshell: its pid must reach ${pids[NAME]} here.
cover_con=
cover() {
  "${WL_AS_USER[@]}" weston-flower </dev/null >"$work/$1.log" 2>&1 &
  pids[$1]=$!
  cover_con=$(wl_wait_window "${pids[$1]}" '' 10) || fail "the covering window $1 was not mapped"
  wl_wait_until 5 wl_is_focused "$cover_con" || fail "the covering window $1 did not take the focus"
}

give_focus() {
  wl_msg "[con_id=$1] focus" >/dev/null
  wl_wait_until 5 wl_is_focused "$1" || fail "window $1 did not take the focus"
}

continue_to_conversion() {
  local welcome=$1 conversion
  wl_wait_until 10 wl_is_focused "$welcome" || fail "the welcome window is not focused"
  # "Continue" has the keyboard focus when the welcome window opens.
  wl_keys space
  conversion=$(wl_wait_window "${pids[first]}" "$conversion_title" 10) ||
    fail "no conversion window after Continue"
  echo "$conversion"
}

second_start_ends_unseen() {
  local name=$1
  wl_watch_new || fail "cannot watch the compositor's windows"
  start "$name"
  finished "$name" 20
  wl_new_since_watch
  [ "$exit_code" = 0 ] || fail "the start $name exited with $exit_code"
  [ -z "$wl_new_views" ] || fail "surfaces were mapped during the start $name: $wl_new_views"
}
