#!/usr/bin/env bash
# Runs the X11 clipboard test on a private Xvfb without a window manager.
#   x11-clipboard.sh TEST_BINARY
set -euo pipefail
# shellcheck source=scripts/lib/desktop-session.sh
source "$(dirname "$0")/../../scripts/lib/desktop-session.sh"
command -v xclip >/dev/null || { echo "xclip is missing"; exit 77; }
ds_x11_start --no-wm 1024x768x24 || exit 1
QT_QPA_PLATFORM=xcb "$1"
