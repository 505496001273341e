#!/usr/bin/env bash
# First start: the welcome window is centred, named, framed without any
# title-bar button, and painted; "Continue" replaces it with the conversion
# window, centred, and the welcome window leaves the screen.
#   welcome.sh PROGRAM
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
journey_begin "$1"
journey_launch

welcome=$(journey_window "$WELCOME_TITLE")
journey_expect_size "$welcome" 542 493
journey_expect_centred "$welcome"
journey_expect_active "$welcome"

# The window asks the window manager, through its Motif hints, for moving
# and resizing only: no close, minimise or maximise function, and either no
# decoration hint or one that keeps the title. Managers that honour these
# hints (xfwm4, Metacity, KWin) then draw no button; openbox draws its
# buttons whatever the hints say, so the hints are what is checked.
frame_id=$(printf '0x%x' "$welcome")
hints=$(xprop -id "$frame_id" _MOTIF_WM_HINTS)
read -r flags functions decorations _ < <(echo "${hints#*=}" | tr -d ',')
[[ $flags =~ ^0x ]] || journey_fail "the welcome window sets no Motif hints: $hints"
((flags & 1)) || journey_fail "the Motif hints leave the functions to the manager: $hints"
((functions & 1)) && journey_fail "the Motif hints allow every function: $hints"
((functions & (8 | 16 | 32))) && journey_fail "the Motif hints allow minimise, maximise or close: $hints"
if ((flags & 2)); then
  ((decorations & (16 | 32 | 64))) && journey_fail "the Motif hints ask for title-bar buttons: $hints"
  ((decorations & 8)) || journey_fail "the Motif hints drop the title bar: $hints"
fi
extents=$(xprop -id "$frame_id" _NET_FRAME_EXTENTS)
read -r left right top bottom < <(echo "${extents#*=}" | tr -d ',')
((top > bottom)) || journey_fail "no title bar above the welcome window: $extents"
journey_note "only moving and resizing asked of the manager ($hints); frame $left,$right,$top,$bottom"

# Painted as designed: the photograph brings many colours, and the tagline
# and the headings are blue.
shot=$journey_dir/welcome.png
x11_screenshot "$shot"
read -r cx cy cw ch < <(x11_client_area "$welcome")
colours=$(convert "$shot" -crop "${cw}x$ch+$cx+$cy" +repage -format '%k' info:)
((colours > 200)) || journey_fail "the welcome window shows only $colours colours"
journey_note "the welcome window shows $colours colours"
journey_save_shot "$shot" welcome.png

x11_click "$welcome" "${CONTINUE_CENTRE[@]}"
convert_window=$(journey_window "$CONVERT_TITLE")
journey_expect_size "$convert_window" 382 284
journey_expect_centred "$convert_window"
journey_expect_unmapped "$welcome"
x11_visible_windows "^$WELCOME_TITLE\$" >/dev/null && journey_fail "the welcome window is still shown"
journey_note "Continue unmapped the welcome window"
journey_save_shot "" conversion.png

journey_close_and_expect_exit "$convert_window"
