#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvalen Converter.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target korvalen-converter
exec ./scripts/start.sh build/release/ui/korvalen-converter "$@"
