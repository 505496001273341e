#!/usr/bin/env bash
# How long a later instance of the program takes, from exec to exit, while
# an earlier one runs, against a bare Qt program that builds a window of the
# same size and exits without showing it. Both run alternately, first on a
# private Xvfb display with a window manager, then on a private headless sway
# session (as its unprivileged user), so both meet the same conditions each
# time. On X11 both meet a private D-Bus session bus, as on a desktop;
# --no-bus runs them with none there (a Wayland session always has its own
# bus, which the later instance needs to reach the first). startup-probe
# times each run and reads the CPU time all its threads used, which varies
# far less than the wall clock on a busy machine.
#
#   bench/guard-startup.sh [--no-bus] [BUILD_DIR=build/release] [RUNS=21]
#   -> median times of each, and their ratios, per display
#      (targets: within 1.25x on X11, 1.3x on Wayland)
set -euo pipefail

bus=bus
if [ "${1:-}" = --no-bus ]; then
  bus=none
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-21}
program=$build/ui/korvalen-converter
bare=$build/bench/bare-qt
probe=$build/bench/startup-probe
for file in "$program" "$bare" "$probe"; do
  [ -x "$file" ] || { echo "missing $file: build the release tree with benchmarks on" >&2; exit 1; }
done

# shellcheck source=../scripts/lib/desktop-session.sh
source "$root/scripts/lib/desktop-session.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/guard-bench.XXXXXX")
first=
stop_first() {
  if [ -n "$first" ]; then ds_kill "$first"; fi
  first=
}
ds_on_exit 'stop_first; rm -rf "$work"'

# run NAME PREFIX... PROGRAM: one run through PREFIX, "ms cpu_ms" appended to
# $work/NAME; a later instance must end with 0 and leave the first running.
run() {
  local name=$1 line
  shift
  line=$(timeout 20 "$@") || { echo "startup-probe failed on ${*: -1}" >&2; exit 1; }
  [ "${line##*status=}" = 0 ] || { echo "${*: -1} ended with ${line##*status=}" >&2; exit 1; }
  kill -0 "$first" || { echo "the first instance ended" >&2; exit 1; }
  local ms=${line#exit_ms=} cpu=${line#*cpu_ms=}
  echo "${ms%% *} ${cpu%% *}" >>"$work/$name"
}

# median FILE COLUMN
median() {
  sort -g -k "$2,$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# measure WHERE TARGET PROBE_COMMAND...: the first instance is running; warms
# the page cache and the display for both, then alternates them.
measure() {
  local where=$1 target=$2
  shift 2
  rm -f "$work/bare" "$work/second"
  run warm "$@" "$bare"
  run warm "$@" "$program"
  for ((i = 0; i < runs; i++)); do
    # Alternating which goes first cancels any drift of the machine's load.
    if ((i % 2 == 0)); then
      run bare "$@" "$bare"
      run second "$@" "$program"
    else
      run second "$@" "$program"
      run bare "$@" "$bare"
    fi
  done
  awk -v runs="$runs" -v where="$where" -v target="$target" \
    -v pm="$(median "$work/second" 1)" -v bm="$(median "$work/bare" 1)" \
    -v pc="$(median "$work/second" 2)" -v bc="$(median "$work/bare" 2)" 'BEGIN {
    printf "later instance, exec to exit, %s; %d alternating runs each, medians\n", where, runs
    printf "  %-36s %9s %9s\n", "", "ms", "CPU ms"
    printf "  %-36s %9.1f %9.1f\n", "later instance of the program", pm, pc
    printf "  %-36s %9.1f %9.1f\n", "bare Qt program (550x527, not shown)", bm, bc
    rt = pm / bm; rc = pc / bc
    printf "  ratio %.2fx (target %.2fx: %s)\n", rt, target, rt <= target ? "met" : "missed"
    printf "  ratio CPU time %.2fx (target %.2fx: %s)\n", rc, target, rc <= target ? "met" : "missed"
  }'
}

# A session of its own for each display: the single-instance guard sees no other run.
export QT_QPA_PLATFORM=xcb
ds_x11_start || exit 1
bus_described="a private session bus"
if [ "$bus" = none ]; then
  unset DBUS_SESSION_BUS_ADDRESS
  bus_described="no session bus"
fi
"$program" >"$work/first.log" 2>&1 &
first=$!
x11_wait_window '^Korvalen Converter - ' 20 >/dev/null || {
  cat "$work/first.log" >&2
  echo "the first instance showed no window" >&2
  exit 1
}
measure "X11 ($DISPLAY) with $bus_described" 1.25 "$probe" --exit
stop_first
ds_stop

ds_wl_start bench || exit 1
program=$(ds_readable "$program")
bare=$(ds_readable "$bare")
probe=$(ds_readable "$probe")
"${DS_AS_USER[@]}" "$program" >"$work/first.log" 2>&1 &
first=$!
wl_wait_window "$first" '^Korvalen Converter - ' 20 >/dev/null || {
  cat "$work/first.log" >&2
  echo "the first instance showed no window" >&2
  exit 1
}
measure "Wayland (headless sway) with its session bus" 1.30 "${DS_AS_USER[@]}" "$probe" --exit
