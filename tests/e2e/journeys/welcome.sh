#!/usr/bin/env bash
# First start: the welcome window is centred, named, framed without any
# title-bar button, and painted; "Continue" replaces it with the conversion
# window, centred, and the welcome window leaves the screen.
#   welcome.sh PROGRAM
set -euo pipefail
source "$(dirname "$0")/journey.sh"
journey_begin "$1"
journey_launch

welcome=$(journey_window "$WELCOME_TITLE")
journey_expect_size "$welcome" 542 493
journey_expect_centred "$welcome"
journey_expect_active "$welcome"

# The window manager offers what the window's hints allow, and draws a
# button for each such action; a title bar is still there for the caption.
frame_id=$(printf '0x%x' "$welcome")
actions=$(xprop -id "$frame_id" _NET_WM_ALLOWED_ACTIONS)
for action in CLOSE MINIMIZE MAXIMIZE_HORZ MAXIMIZE_VERT; do
  case $actions in
    *"_NET_WM_ACTION_$action"*) journey_fail "the welcome window offers $action: $actions" ;;
  esac
done
extents=$(xprop -id "$frame_id" _NET_FRAME_EXTENTS)
read -r left right top bottom < <(echo "${extents#*=}" | tr -d ',')
((top > bottom)) || journey_fail "no title bar above the welcome window: $extents"
journey_note "no close, minimise or maximise offered; frame $left,$right,$top,$bottom"

# Painted as designed: the photograph brings many colours, and the tagline
# and the headings are blue.
shot=$journey_dir/welcome.png
x11_screenshot "$shot"
read -r cx cy cw ch < <(journey_client "$welcome")
colours=$(convert "$shot" -crop "${cw}x$ch+$cx+$cy" +repage -unique-colors -format '%w' info:)
((colours > 200)) || journey_fail "the welcome window shows only $colours colours"
journey_note "the welcome window shows $colours colours"
journey_save_shot "$shot" welcome.png

journey_click "$welcome" "${CONTINUE_CENTRE[@]}"
convert_window=$(journey_window "$CONVERT_TITLE")
journey_expect_size "$convert_window" 382 284
journey_expect_centred "$convert_window"
journey_expect_unmapped "$welcome"
x11_visible_windows "^$WELCOME_TITLE\$" >/dev/null && journey_fail "the welcome window is still shown"
journey_note "Continue unmapped the welcome window"
journey_save_shot "" conversion.png

journey_close_and_expect_exit "$convert_window"
