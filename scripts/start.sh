#!/usr/bin/env bash
# Starts Korvalen Converter on the user's display.
#   scripts/start.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
program=$1
shift
if [ ! -x "$program" ]; then
  echo "$0: $program is not an executable program" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

echo "There is no display to show Korvalen Converter on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
exit 1
