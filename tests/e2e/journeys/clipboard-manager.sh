#!/usr/bin/env bash
# A copied figure outlives the program: with a clipboard manager running
# (xfce4-clipman, which takes the CLIPBOARD_MANAGER selection), the figure
# copied before closing can still be pasted once the program has ended.
#   clipboard-manager.sh PROGRAM
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
command -v xfce4-clipman >/dev/null || { echo "xfce4-clipman is missing"; exit 77; }
journey_begin "$1"

# The manager runs without a desktop bus or accessibility bus: it falls back
# to its built-in settings and keeps working.
NO_AT_BRIDGE=1 DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent \
  xfce4-clipman </dev/null >"$journey_dir/clipman.log" 2>&1 &
clipman=$!
journey_defer "$clipman"
_clipman_up() { xdotool search --pid "$clipman" >/dev/null 2>&1; }
x11_wait_until 15 _clipman_up || journey_fail "xfce4-clipman did not start: $(cat "$journey_dir/clipman.log")"

journey_launch
welcome=$(journey_window "$WELCOME_TITLE")
journey_click "$welcome" "${CONTINUE_CENTRE[@]}"
window=$(journey_window "$CONVERT_TITLE")
journey_select_family "$window" Mass
journey_pick_unit "$window" LIST1_BOX Kilograms
journey_pick_unit "$window" LIST2_BOX Pounds
journey_click "$window" "${COPY_CENTRE[@]}"
journey_expect_clipboard 2.20

journey_close_and_expect_exit "$window"
journey_expect_clipboard 2.20
journey_note "the figure is still on the clipboard after the program ended"
