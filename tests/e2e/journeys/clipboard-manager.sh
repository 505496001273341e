#!/usr/bin/env bash
# A copied figure outlives the program: a clipboard manager that keeps
# nothing by itself (xfsettingsd's, which takes the CLIPBOARD_MANAGER
# selection and stores the clipboard only when its owner hands it over)
# starts after the copy; closing the program hands the clipboard over, and
# the figure can still be pasted once the program has ended.
#   clipboard-manager.sh PROGRAM SELECTION_OWNER_TOOL
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
owner_tool=$2
command -v xfsettingsd >/dev/null || { echo "xfsettingsd is missing"; exit 77; }
journey_begin "$1"

journey_launch
welcome=$(journey_window "$WELCOME_TITLE")
x11_click "$welcome" "${CONTINUE_CENTRE[@]}"
window=$(journey_window "$CONVERT_TITLE")
journey_select_family "$window" Mass
journey_pick_unit "$window" LIST1_BOX Kilograms
journey_pick_unit "$window" LIST2_BOX Pounds
x11_click "$window" "${COPY_CENTRE[@]}"
journey_expect_clipboard 2.20

# The settings daemon keeps its settings behind the session's bus.
NO_AT_BRIDGE=1 xfsettingsd --disable-wm-check </dev/null >"$journey_dir/manager.log" 2>&1 &
journey_defer $!
_manager_up() { [ "$("$owner_tool" CLIPBOARD_MANAGER)" != 0 ]; }
ds_wait_until 15 _manager_up ||
  journey_fail "no clipboard manager came up: $(cat "$journey_dir/manager.log")"
journey_note "a clipboard manager owns CLIPBOARD_MANAGER"

started=$SECONDS
journey_close_and_expect_exit "$window"
# Handing over takes the manager a moment; a manager that never answered
# would have held the program up for the toolkit's 5 s.
((SECONDS - started < 4)) || journey_fail "the program waited $((SECONDS - started)) s for the clipboard manager"
journey_expect_clipboard 2.20
journey_note "the figure is still on the clipboard after the program ended"
