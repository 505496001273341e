# guard-lib.sh: what the single-instance guard's end-to-end scripts share.
# Source it with the program as $1; it leaves the caller with:
#   $program      the program under test
#   $work         a private folder, removed at exit; XDG_RUNTIME_DIR is inside it
#   start NAME [PROGRAM]   starts an instance in the background; its pid is ${pids[NAME]}
#   finished NAME TIMEOUT  waits for it to end; its exit code is then in $exit_code
#   continue_to_conversion ID   presses "Continue" on the welcome window ID
#   watch_maps / mapped_since_watch   record and report windows mapped meanwhile
#   second_start_ends_unseen [PROGRAM]   starts "second" and fails unless it exits 0 having mapped no window
# and a private X display with xfwm4 (tests/e2e/lib/x11-session.sh).
# Every program started here is killed at exit, by its own pid.
set -euo pipefail

program=${1:?usage: $0 PATH/TO/korvalen-converter}
[ -x "$program" ] || { echo "FAIL: no program at $program" >&2; exit 1; }

readonly welcome_title='^Korvalen Converter - U\.S\. & Metric System Conversion$'
readonly conversion_title='^Conversion Utility$'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

declare -A pids=()
xev_pid=
work=$(mktemp -d "${TMPDIR:-/tmp}/guard-e2e.XXXXXX")

_guard_cleanup() {
  local name
  for name in "${!pids[@]}"; do
    kill -KILL "${pids[$name]}" 2>/dev/null || true
  done
  if [ -n "$xev_pid" ]; then
    kill "$xev_pid" 2>/dev/null || true
  fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
# Set before the display starts: the display library runs it after its own teardown.
trap _guard_cleanup EXIT

# The claim lives per user under the runtime folder; a private one keeps
# these scripts apart from each other and from a real running program.
mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR=$work/run

# shellcheck source=../lib/x11-session.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/x11-session.sh"
x11_session_start || fail "no X display"
export QT_QPA_PLATFORM=xcb
# Only matters in a leak-checking build: system libraries' leaks are not the
# program's, and would change a later instance's exit code.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/lsan.supp"

start() {
  local name=$1 file=${2:-$program}
  "$file" >"$work/$name.log" 2>&1 &
  pids[$name]=$!
}

alive() { kill -0 "${pids[$1]}" 2>/dev/null; }

# finished NAME TIMEOUT: waits for the instance to end; its exit code is
# left in $exit_code.
exit_code=
finished() {
  local name=$1 timeout=$2
  x11_wait_until "$timeout" eval '! alive "$name"' || {
    cat "$work/$name.log" >&2
    fail "$name is still running after ${timeout}s"
  }
  exit_code=0
  wait "${pids[$name]}" 2>/dev/null || exit_code=$?
  unset "pids[$name]"
}

is_active() { [ "$(x11_active_window)" = "$1" ]; }

continue_to_conversion() {
  local welcome=$1
  x11_wait_until 10 is_active "$welcome" || fail "the welcome window did not become active"
  # "Continue" lies at client (452, 458), 75 x 25.
  xdotool mousemove --window "$welcome" --sync 489 470 click 1
  x11_wait_window "$conversion_title" 10 || fail "no conversion window after Continue"
}

# Watches the root window for windows created and then managed or mapped:
# a program that maps a window under a window manager has it reparented into a frame.
watch_maps() {
  xev -root -event substructure >"$work/xev.log" 2>&1 &
  xev_pid=$!
  # xev prints nothing until something happens; give it time to select its events.
  sleep 0.5
}

# Prints the ids of windows created since watch_maps that were mapped or
# reparented; nothing when none was.
mapped_since_watch() {
  sleep 0.2
  kill "$xev_pid" 2>/dev/null || true
  wait "$xev_pid" 2>/dev/null || true
  xev_pid=
  awk '
    /^(CreateNotify|MapNotify|ReparentNotify) event/ { kind = $1; next }
    kind != "" {
      for (i = 1; i < NF; i++) if ($i == "window") { id = $(i + 1); sub(",", "", id) }
      if (kind == "CreateNotify") created[id] = 1
      else if (id in created) mapped[id] = 1
      kind = ""
    }
    END { for (id in mapped) print id }
  ' "$work/xev.log"
}

# Starts the instance "second" (of $program unless another file is given)
# while "first" runs, and fails the script unless it ends with exit code 0
# without mapping any window.
second_start_ends_unseen() {
  local mapped
  watch_maps
  start second "${1:-$program}"
  finished second 20
  mapped=$(mapped_since_watch)
  [ "$exit_code" = 0 ] || { cat "$work/second.log" >&2; fail "the second start exited with $exit_code"; }
  [ -z "$mapped" ] || fail "windows were mapped during the second start: $mapped"
}

# The window ids of the managed windows, bottom to top.
stacking_order() {
  xprop -root -notype _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*# //; s/,//g' |
    while read -r -a ids; do
      for id in "${ids[@]}"; do printf '%d\n' "$id"; done
    done
}

is_topmost() { [ "$(stacking_order | tail -n 1)" = "$1" ]; }
