#!/usr/bin/env bash
# Runs every test labelled "desktop" (those that start a display, a
# compositor or a session bus) N times in a row in the release build, with
# two CPU-bound processes beside them, as a busy 2-core machine would; prints
# how long each round took and "N passed, M failed" with the failing tests'
# names and logs. Exits non-zero if any round failed.
#   scripts/soak-tests.sh N
set -euo pipefail
rounds=${1:?usage: $0 ROUNDS}
cd "$(dirname "$0")/.."
if [ ! -f build/release/CTestTestfile.cmake ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)"
fi

busy=()
stop_busy() {
  local pid
  for pid in "${busy[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop_busy EXIT
for _ in 1 2; do
  yes >/dev/null &
  busy+=("$!")
done

logs=$(mktemp -d "${TMPDIR:-/tmp}/soak.XXXXXX")
passed=0 failed=0 failures=()
for ((round = 1; round <= rounds; round++)); do
  started=$SECONDS
  if ctest --preset release -L desktop >"$logs/round-$round.log" 2>&1; then
    passed=$((passed + 1))
    outcome=passed
  else
    failed=$((failed + 1))
    outcome="FAILED: $(grep -oP '^\s*\d+ - \K\S+' "$logs/round-$round.log" | tr '\n' ' ')"
    failures+=("$round")
    # Everything each test printed, a timed-out one's too, which the summary leaves out.
    cp build/release/Testing/Temporary/LastTest.log "$logs/round-$round.full.log"
  fi
  echo "round $round: $((SECONDS - started)) s, $(grep -oP '\d+ tests? failed out of \d+' "$logs/round-$round.log" | tail -n 1), $outcome"
done

for round in "${failures[@]}"; do
  echo "=== round $round"
  # ctest prints each failing test's output where it ends, and their names last.
  cat "$logs/round-$round.log"
  echo "(every test's whole output: $logs/round-$round.full.log)"
done
echo "$passed passed, $failed failed"
if [ "$failed" = 0 ]; then rm -rf "$logs"; else echo "logs: $logs"; fi
[ "$failed" = 0 ]
