#!/usr/bin/env bash
# The sample conversions without the mouse: Enter on the focused Continue;
# arrows in the family box and the lists, Tab between them, Enter and then
# the keypad's Enter on the copy button; Alt+F4 ends the program.
#   keyboard.sh PROGRAM
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
journey_begin "$1"
journey_launch

# Mass is the second family; in the lists, the first arrow press selects
# the first row, and each further one moves a row down.
down_to() { # the arrow presses that select row $1 of a list just tabbed into
  local keys=(Down) i
  for ((i = 0; i < $1; i++)); do keys+=(Down); done
  journey_keys "${keys[@]}"
}

welcome=$(journey_window "$WELCOME_TITLE")
journey_expect_active "$welcome"
journey_keys Return
window=$(journey_window "$CONVERT_TITLE")
journey_expect_unmapped "$welcome"
journey_expect_active "$window"

journey_keys Down Down                      # Volume, then Mass
journey_keys Tab && down_to 8               # Kilograms, the 9th Mass unit
journey_keys Tab && down_to 15              # Pounds, the 16th
journey_keys Tab Tab Return                 # past the result to the copy button
journey_expect_clipboard 2.20

journey_keys shift+Tab shift+Tab shift+Tab shift+Tab Up # back to the families: Volume
journey_keys Tab && down_to 25              # FluidGallons, the 26th Volume unit
journey_keys Tab && down_to 14              # Liters, the 15th
journey_keys Tab Tab KP_Enter
journey_expect_clipboard 3.79

journey_keys alt+F4
journey_expect_exit
