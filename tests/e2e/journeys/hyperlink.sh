#!/usr/bin/env bash
# The link on the welcome window: red under the pointer, navy again when the
# pointer leaves, and a click hands its address to the desktop's opener
# (here a stub first in PATH, which records what it was given) while the
# welcome window stays as it was.
#   hyperlink.sh PROGRAM
set -euo pipefail
# shellcheck source=tests/e2e/journeys/journey.sh
source "$(dirname "$0")/journey.sh"
journey_begin "$1"

stubs=$journey_dir/stubs
mkdir "$stubs"
record=$journey_dir/opened
# Qt asks xdg-open first and falls back to $BROWSER; both lead to the stub.
for name in xdg-open browser-stub; do
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$record" >"$stubs/$name"
  chmod +x "$stubs/$name"
done
journey_launch PATH="$stubs:$PATH" BROWSER="$stubs/browser-stub"

welcome=$(journey_window "$WELCOME_TITLE")
journey_expect_active "$welcome"
link=("${LINK_BOX[@]}")
navy='#000080' red='#FF0000'

xdotool mousemove --sync 0 0
# On a busy machine the window may be active before its first paint reaches the screen.
_link_shown_navy() {
  navy_before=$(journey_count_colour "$welcome" "${link[@]}" "$navy")
  ((navy_before > 0))
}
ds_wait_until 5 _link_shown_navy || journey_fail "the link is not navy"
[ "$(journey_count_colour "$welcome" "${link[@]}" "$red")" = 0 ] || journey_fail "the link is red without the pointer on it"

link_x=$((link[0] + 40)) link_y=$((link[1] + link[3] / 2))
read -r cx cy _ < <(x11_client_area "$welcome")
xdotool mousemove --sync $((cx + link_x)) $((cy + link_y))
_link_is_red() { (($(journey_count_colour "$welcome" "${link[@]}" "$red") > 0)); }
ds_wait_until 5 _link_is_red || journey_fail "the link did not turn red under the pointer"
journey_note "the link turns red under the pointer"
journey_save_shot "" link-hover.png

xdotool mousemove --sync 0 0
_link_is_navy() { [ "$(journey_count_colour "$welcome" "${link[@]}" "$navy")" = "$navy_before" ]; }
ds_wait_until 5 _link_is_navy || journey_fail "the link did not turn navy again"
journey_note "the link turns navy again when the pointer leaves"

x11_click "$welcome" "$link_x" "$link_y"
ds_wait_until 10 test -s "$record" || journey_fail "nothing was handed to the opener"
opened=$(cat "$record")
case $opened in
  http://*.* | https://*.*) ;;
  *) journey_fail "the opener was given \"$opened\", not a web address" ;;
esac
[ "$(wc -l <"$record")" = 1 ] || journey_fail "the opener was called more than once: $opened"
journey_note "the opener was given $opened"

[ "$(journey_map_state "$welcome")" = IsViewable ] || journey_fail "the welcome window left the screen"
kill -0 "$journey_pid" || journey_fail "the program ended"
journey_expect_size "$welcome" 542 493
journey_expect_centred "$welcome"

x11_click "$welcome" "${CONTINUE_CENTRE[@]}"
journey_close_and_expect_exit "$(journey_window "$CONVERT_TITLE")"
