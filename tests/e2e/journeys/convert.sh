#!/usr/bin/env bash
# The sample conversions with the mouse, under a given locale: Continue;
# Mass, Kilograms to Pounds, copy; Volume, FluidGallons to Liters, copy;
# each figure is read back from the clipboard. Then the close button ends
# the program.
#   convert.sh PROGRAM LOCALE MASS_FIGURE VOLUME_FIGURE
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
program=$1 locale=$2 mass=$3 volume=$4
journey_begin "$program"
journey_launch LANG="$locale" LC_ALL="$locale"

welcome=$(journey_window "$WELCOME_TITLE")
x11_click "$welcome" "${CONTINUE_CENTRE[@]}"
window=$(journey_window "$CONVERT_TITLE")

journey_select_family "$window" Mass
journey_pick_unit "$window" LIST1_BOX Kilograms
journey_pick_unit "$window" LIST2_BOX Pounds
x11_click "$window" "${COPY_CENTRE[@]}"
journey_expect_clipboard "$mass"

journey_select_family "$window" Volume
journey_pick_unit "$window" LIST1_BOX FluidGallons
journey_pick_unit "$window" LIST2_BOX Liters
x11_click "$window" "${COPY_CENTRE[@]}"
journey_expect_clipboard "$volume"

journey_close_and_expect_exit "$window"
