#!/usr/bin/env bash
# Start-up speed and footprint of the program against a bare Qt Widgets
# program that shows one window of the welcome window's size with a label
# and a button. Both run alternately on one private Xvfb display with a
# window manager (xfwm4 unless X11_SESSION_WM names another), measured the same way by startup-probe: the time from exec to the
# first window being viewable (an X event listener, no polling), the CPU
# time the program had used by then (steadier than the wall clock on a busy
# machine), and the peak resident memory (VmHWM) half a second after that.
# Both meet a private D-Bus session bus, as on a desktop; --no-bus runs
# them with none.
#
#   bench/startup.sh [--no-bus] [BUILD_DIR=build/release] [RUNS=21]
#   -> the medians of both, and their ratios (targets: within 1.25x, memory 1.3x)
set -euo pipefail

bus=bus
if [ "${1:-}" = --no-bus ]; then
  bus=none
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
runs=${2:-21}
program=$build/ui/korvalen-converter
bare=$build/bench/bare-shown
probe=$build/bench/startup-probe
for file in "$program" "$bare" "$probe"; do
  [ -x "$file" ] || { echo "missing $file: build the release tree with benchmarks on" >&2; exit 1; }
done

# shellcheck source=../scripts/lib/desktop-session.sh
source "$root/scripts/lib/desktop-session.sh"
# A session of its own: the single-instance guard sees no other run.
export QT_QPA_PLATFORM=xcb
ds_x11_start || exit 1
work=$ds_dir/files
bus_described="a private session bus"
if [ "$bus" = none ]; then
  unset DBUS_SESSION_BUS_ADDRESS
  bus_described="no session bus"
fi

# measure NAME PROGRAM: one run, its figures appended to $work/NAME.
measure() {
  local line
  line=$("$probe" "$2") || { echo "startup-probe failed on $2: $line" >&2; exit 1; }
  local ms=${line#map_ms=} cpu=${line#*cpu_ms=} kib=${line##*peak_kib=}
  echo "${ms%% *} $kib ${cpu%% *}" >>"$work/$1"
}

# One unrecorded run of each brings the files into the page cache.
"$probe" "$program" >/dev/null
"$probe" "$bare" >/dev/null
for ((i = 0; i < runs; i++)); do
  # Alternating which goes first cancels any drift of the machine's load.
  if ((i % 2 == 0)); then
    measure program "$program"
    measure bare "$bare"
  else
    measure bare "$bare"
    measure program "$program"
  fi
done

# median FILE COLUMN
median() {
  sort -g -k "$2,$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

p_ms=$(median "$work/program" 1) b_ms=$(median "$work/bare" 1)
p_kib=$(median "$work/program" 2) b_kib=$(median "$work/bare" 2)
p_cpu=$(median "$work/program" 3) b_cpu=$(median "$work/bare" 3)
awk -v runs="$runs" -v bus="$bus_described" -v pm="$p_ms" -v bm="$b_ms" -v pk="$p_kib" -v bk="$b_kib" \
  -v pc="$p_cpu" -v bc="$b_cpu" 'BEGIN {
  printf "start-up, exec to the first window viewable, with %s; %d alternating runs each, medians\n", bus, runs
  printf "  %-20s %9s %9s %10s\n", "", "ms", "CPU ms", "peak MiB"
  printf "  %-20s %9.1f %9.1f %10.1f\n", "korvalen-converter", pm, pc, pk / 1024
  printf "  %-20s %9.1f %9.1f %10.1f\n", "bare Qt window", bm, bc, bk / 1024
  rt = pm / bm; rc = pc / bc; rm = pk / bk
  printf "  ratio start-up %.2fx (target 1.25x: %s)\n", rt, rt <= 1.25 ? "met" : "missed"
  printf "  ratio CPU time to the window %.2fx (target 1.25x: %s)\n", rc, rc <= 1.25 ? "met" : "missed"
  printf "  ratio peak memory %.2fx (target 1.30x: %s)\n", rm, rm <= 1.3 ? "met" : "missed"
}'
