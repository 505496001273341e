#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Exits non-zero on any failure.
#   KORVALEN_SANITIZE=1 ./test.sh   also runs every test under ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=$(nproc)

echo "== Formatting"
./scripts/check-format.sh

echo "== Release build and tests"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

echo "== Concurrency tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan

if [ "${KORVALEN_SANITIZE:-0}" = 1 ]; then
  echo "== All tests under AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake --preset sanitize >/dev/null
  cmake --build --preset sanitize -j "$jobs"
  ctest --preset sanitize -j "$jobs"
fi

if command -v clang++ >/dev/null; then
  echo "== Short fuzz runs from the kept corpora"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  ./scripts/fuzz.sh 5
fi

echo "All tests passed."
