#!/usr/bin/env bash
# A quick double press on the focused Continue, both presses queued before
# the welcome window hides, opens one conversion window; closing it ends the
# program with no window left behind.
#   double-press.sh PROGRAM
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
journey_begin "$1"
journey_launch

welcome=$(journey_window "$WELCOME_TITLE")
journey_expect_active "$welcome"
xdotool key --delay 1 space space
window=$(journey_window "$CONVERT_TITLE")
journey_expect_unmapped "$welcome"
# A second window would have been mapped by now; give it the time anyway.
_second_window() { [ "$(x11_visible_windows "^$CONVERT_TITLE\$" | wc -l)" -gt 1 ]; }
if ds_wait_until 2 _second_window; then
  journey_fail "a double press opened $(x11_visible_windows "^$CONVERT_TITLE\$" | wc -l) conversion windows"
fi
journey_note "a double press opened one conversion window"

# Under load the second press may come after the conversion window took the
# focus, and open its family list; Escape closes the list, if any.
journey_keys Escape

journey_close_and_expect_exit "$window"
