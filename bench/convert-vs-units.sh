#!/usr/bin/env bash
# Times korvalen-convert against GNU units, the command-line converter people
# use today, and against the floor of any C++ program, an empty one
# (`int main() { return 0; }`, g++ -O2), alternating them in one run on this
# machine:
#   - one process converting one kilogram to pounds, from exec to exit;
#   - a stream of 100,000 conversions through one process, per conversion
#     (the stream's time less one process's start and end).
# GNU units is a timing baseline only: its output goes to /dev/null and is
# never read. Prints medians and the ratios against the targets (a process
# within 1.5x of the empty program, a streamed conversion at most 0.06x of
# GNU units' time), and for single processes also the CPU time each used,
# which a busy machine disturbs less than the wall clock.
#   bench/convert-vs-units.sh [korvalen-convert]   RUNS=20 STREAM_RUNS=7
set -euo pipefail
cd "$(dirname "$0")/.."
convert=${1:-build/release/cli/korvalen-convert}
runs=${RUNS:-20}
stream_runs=${STREAM_RUNS:-7}
lines=100000

if ! command -v units >/dev/null; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  echo "Installing GNU units (Debian's units package) as the baseline"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends units >/dev/null
fi
if [ ! -x "$convert" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target korvalen-convert >/dev/null
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# No history file: units would otherwise write one at every exit.
units_cmd=(units --terse --quiet --history "")
"${units_cmd[@]}" '1 kilogram' pound >/dev/null || {
  echo "GNU units does not take the baseline's command" >&2
  exit 1
}
"$convert" 1 Kilograms Pounds >/dev/null
# Built as the issue of a single process's cost was measured: the compiler's
# defaults, nothing of the project's.
echo 'int main() { return 0; }' >"$scratch/empty.cpp"
g++ -O2 -o "$scratch/empty" "$scratch/empty.cpp"

for ((i = 0; i < lines; ++i)); do echo "1 Kilograms Pounds"; done >"$scratch/convert.in"
for ((i = 0; i < lines; ++i)); do printf '1 kilogram\npound\n'; done >"$scratch/units.in"

# Microseconds a command takes, from the shell's own clock (no extra process).
elapsed_us() {
  local start=$EPOCHREALTIME
  "$@"
  local end=$EPOCHREALTIME
  echo $(((${end/./} - ${start/./})))
}
one_convert() { "$convert" 1 Kilograms Pounds >/dev/null; }
one_units() { "${units_cmd[@]}" '1 kilogram' pound >/dev/null; }
one_empty() { "$scratch/empty"; }
stream_convert() { "$convert" <"$scratch/convert.in" >/dev/null; }
stream_units() { "${units_cmd[@]}" <"$scratch/units.in" >/dev/null; }

# CPU time (user + system) of this shell's finished children, in
# microseconds, from what `times` wrote to file $1 (`times` must run in this
# shell itself, not in a command substitution).
children_cpu_us() {
  sed -n 2p "$1" | awk '{
    total = 0
    for (i = 1; i <= 2; ++i) { split($i, p, /[ms]/); total += p[1] * 60 + p[2] }
    printf "%d\n", total * 1000000
  }'
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: >"$scratch/p.k"
: >"$scratch/p.u"
: >"$scratch/p.e"
cpu_k=0
cpu_u=0
cpu_e=0
# Runs a single process, adding its wall time to file $1 and its CPU time to
# the variable named $2.
timed() {
  local file=$1 counter=$2
  shift 2
  local before after
  times >"$scratch/before"
  elapsed_us "$@" >>"$file"
  times >"$scratch/after"
  before=$(children_cpu_us "$scratch/before")
  after=$(children_cpu_us "$scratch/after")
  printf -v "$counter" '%d' $((${!counter} + after - before))
}
one() {
  case $1 in
    k) timed "$scratch/p.k" cpu_k one_convert ;;
    u) timed "$scratch/p.u" cpu_u one_units ;;
    e) timed "$scratch/p.e" cpu_e one_empty ;;
  esac
}
orders=("k u e" "u e k" "e k u")
for ((i = 0; i < runs; ++i)); do
  # Rotate which goes first, so none always meets a warm cache.
  for program in ${orders[i % 3]}; do one "$program"; done
done
: >"$scratch/s.k"
: >"$scratch/s.u"
for ((i = 0; i < stream_runs; ++i)); do
  if ((i % 2)); then
    elapsed_us stream_convert >>"$scratch/s.k"
    elapsed_us stream_units >>"$scratch/s.u"
  else
    elapsed_us stream_units >>"$scratch/s.u"
    elapsed_us stream_convert >>"$scratch/s.k"
  fi
done

process_k=$(median <"$scratch/p.k")
process_u=$(median <"$scratch/p.u")
process_e=$(median <"$scratch/p.e")
stream_k=$(median <"$scratch/s.k")
stream_u=$(median <"$scratch/s.u")
awk -v pk="$process_k" -v pu="$process_u" -v pe="$process_e" -v sk="$stream_k" -v su="$stream_u" \
  -v n="$lines" -v runs="$runs" -v sruns="$stream_runs" -v ck_cpu="$cpu_k" -v cu_cpu="$cpu_u" \
  -v ce_cpu="$cpu_e" 'BEGIN {
  ck = (sk - pk) / n; cu = (su - pu) / n
  if (ck < 0) ck = sk / n
  if (cu < 0) cu = su / n
  fr = pk / pe; cr = ck / cu
  printf "one process (median of %d):   korvalen-convert %.2f ms, GNU units %.2f ms, empty program %.2f ms\n",
    runs, pk / 1000, pu / 1000, pe / 1000
  printf "  korvalen-convert against the empty program %.2fx (target <= 1.5x: %s), against GNU units %.3fx\n",
    fr, fr <= 1.5 ? "met" : "NOT met", pk / pu
  printf "one process, CPU time (mean of %d):   korvalen-convert %.2f ms, GNU units %.2f ms, empty program %.2f ms\n",
    runs, ck_cpu / runs / 1000, cu_cpu / runs / 1000, ce_cpu / runs / 1000
  printf "  korvalen-convert against the empty program %.2fx, against GNU units %.3fx\n",
    (ce_cpu > 0 ? ck_cpu / ce_cpu : 0), ck_cpu / cu_cpu
  printf "streamed conversion (median of %d streams of %d): korvalen-convert %.3f us, GNU units %.3f us, ratio %.3fx (target <= 0.06x: %s)\n",
    sruns, n, ck, cu, cr, cr <= 0.06 ? "met" : "NOT met"
}'
