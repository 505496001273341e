#!/usr/bin/env bash
# How long a later instance of the program takes, from exec to exit, while
# an earlier one runs, against a bare Qt program that builds a window of the
# same size and exits without showing it. Both run alternately, first on a
# private Xvfb display with a window manager, then on a private headless
# sway session (as its unprivileged user, with a session bus), so both meet
# the same conditions each time.
#
#   bench/guard-startup.sh [BUILD_DIR=build/release] [RUNS=21]
#   -> median times of each, and their ratio, per display (target: within 1.3x)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-21}
program=$build/ui/korvalen-converter
bare=$build/bench/bare-qt
for file in "$program" "$bare"; do
  [ -x "$file" ] || { echo "missing $file: build the release tree with benchmarks on" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/guard-bench.XXXXXX")
first=
stop_first() {
  if [ -n "$first" ]; then kill "$first" 2>/dev/null || true; wait "$first" 2>/dev/null || true; fi
  first=
}
cleanup() {
  stop_first
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb

# One run of COMMAND... in milliseconds; a later instance must end with 0.
time_run() {
  local start end code=0
  start=$EPOCHREALTIME
  timeout 20 "$@" >/dev/null 2>&1 || code=$?
  end=$EPOCHREALTIME
  [ "$code" = 0 ] || { echo "$* exited with $code" >&2; exit 1; }
  kill -0 "$first" || { echo "the first instance ended" >&2; exit 1; }
  echo "$(((${end//[.,]/} - ${start//[.,]/}) / 10))" # hundredths of a millisecond
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ms() { printf '%d.%02d' $(($1 / 100)) $(($1 % 100)); }

# measure WHERE PREFIX...: the first instance is running; warms the page
# cache and the display for both, then alternates them, each started
# through PREFIX.
measure() {
  local where=$1 bare_median second_median
  shift
  time_run "$@" "$bare" >/dev/null
  time_run "$@" "$program" >/dev/null
  : >"$work/bare.times"
  : >"$work/second.times"
  for ((i = 0; i < runs; i++)); do
    time_run "$@" "$bare" >>"$work/bare.times"
    time_run "$@" "$program" >>"$work/second.times"
  done
  bare_median=$(median <"$work/bare.times")
  second_median=$(median <"$work/second.times")
  echo "$where: runs: $runs each, alternating"
  echo "  bare Qt program (window 550x527, not shown): median $(ms "$bare_median") ms"
  echo "  later instance of the program (exec to exit): median $(ms "$second_median") ms"
  awk -v a="$second_median" -v b="$bare_median" \
    'BEGIN { r = a / b; printf "  ratio: %.2fx (target 1.30x: %s)\n", r, r <= 1.3 ? "met" : "not met" }'
}

# shellcheck source=../tests/e2e/lib/x11-session.sh
source "$root/tests/e2e/lib/x11-session.sh"
x11_session_start || exit 1
"$program" >"$work/first.log" 2>&1 &
first=$!
x11_wait_window '^Korvalen Converter - ' 20 >/dev/null || {
  cat "$work/first.log" >&2
  echo "the first instance showed no window" >&2
  exit 1
}
measure "X11 ($DISPLAY)"
stop_first
x11_session_stop

# shellcheck source=../tests/e2e/lib/wayland-session.sh
source "$root/tests/e2e/lib/wayland-session.sh"
wl_session_start || exit 1
wl_compositor_start bench || exit 1
program=$(wl_readable "$program")
bare=$(wl_readable "$bare")
"${WL_AS_USER[@]}" "$program" >"$work/first.log" 2>&1 &
first=$!
wl_wait_window "$first" '^Korvalen Converter - ' 20 >/dev/null || {
  cat "$work/first.log" >&2
  echo "the first instance showed no window" >&2
  exit 1
}
measure "Wayland (headless sway)" "${WL_AS_USER[@]}"
