#!/usr/bin/env bash
# Fails when clang-format would change any of the project's C++ files.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.h' '*.cpp')
if [ ${#files[@]} -eq 0 ]; then exit 0; fi
clang-format --dry-run -Werror "${files[@]}"
