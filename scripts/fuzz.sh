#!/usr/bin/env bash
# Runs every fuzz target built by the "fuzz" preset for the given number of
# seconds (default 5), starting from its kept corpus under fuzz/corpus/.
#   scripts/fuzz.sh 600 --keep   adds what the run finds to the kept corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
keep=${2:-}
shopt -s nullglob
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ran=0
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  mkdir -p "$corpus"
  if [ "$keep" = --keep ]; then
    dirs=("$corpus")
  else
    mkdir -p "$scratch/$name"
    dirs=("$scratch/$name" "$corpus")
  fi
  echo "-- $name for ${seconds}s"
  status=0
  "$target" -max_total_time="$seconds" -print_final_stats=1 "${dirs[@]}" >"$scratch/log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "$scratch/log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$scratch/log"
    exit "$status"
  fi
  ran=1
done
[ "$ran" = 1 ] || { echo "no fuzz targets built"; exit 1; }
