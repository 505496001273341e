#!/usr/bin/env bash
# Runs the X11 clipboard test on a private Xvfb without a window manager.
#   x11-clipboard.sh TEST_BINARY
set -euo pipefail
# shellcheck source=tests/e2e/lib/x11-session.sh
source "$(dirname "$0")/../e2e/lib/x11-session.sh"
command -v xclip >/dev/null || { echo "xclip is missing"; exit 77; }
runtime=$(mktemp -d "${TMPDIR:-/tmp}/x11-clipboard.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
x11_session_start --no-wm 1024x768x24 || exit 1
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb "$1"
