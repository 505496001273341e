#!/usr/bin/env bash
# The Wayland session library leaves nothing behind however its shell ends:
# a failing script keeps its exit status and its own EXIT trap, which sees
# that status (the X11 library's trap passes it on), and a script
# killed outright loses its compositors, keyboards, bus and folder to the
# watchdog.
set -euo pipefail
lib=$(dirname "$0")/../lib/wayland-session.sh
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
gone() {
  local pid
  for pid in "${@:2}"; do
    ! kill -0 "$pid" 2>/dev/null || return 1
  done
  [ ! -e "$1" ]
}
# Prints the folder and every process the library started, on one line.
report='echo "$_wl_dir $_wl_bus_pid ${_wl_sway_pids[*]} ${_wl_keyboard_pids[*]} $_wl_watchdog_pid"'

status=0
out=$(bash -c 'source "$1"; trap "echo own-trap-ran \$?" EXIT
  wl_session_start >/dev/null && wl_compositor_start one >/dev/null && wl_compositor_start two >/dev/null || exit 9
  '"$report"'; exit 3' _ "$lib") || status=$?
[ "$status" = 3 ] || fail "a failing script must keep its exit status, got $status"
read -r -a left <<<"$(head -n 1 <<<"$out")"
[ "${#left[@]}" = 7 ] || fail "expected a folder and six processes, got: $out"
grep -qx 'own-trap-ran 3' <<<"$out" || fail "the script's own EXIT trap did not see status 3: $out"
gone "${left[@]}" || fail "left after a failing script: ${left[*]}"

fifo=$(mktemp -u)
mkfifo "$fifo"
bash -c 'source "$1"; wl_session_start >/dev/null && wl_compositor_start one >/dev/null || exit 9
  '"$report"' >"$2"; exec sleep 60' _ "$lib" "$fifo" &
victim=$!
read -r -a left <"$fifo"
rm -f "$fifo"
[ "${#left[@]}" = 5 ] || fail "expected a folder and four processes, got: ${left[*]}"
{
  kill -KILL "$victim"
  wait "$victim" || true
} 2>/dev/null
for ((i = 0; i < 50; i++)); do
  gone "${left[@]}" && break
  sleep 0.1
done
gone "${left[@]}" || fail "left after SIGKILL: ${left[*]}"
echo "PASS"
