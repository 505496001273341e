#!/usr/bin/env bash
# Where there is no display at all, the start script runs the sample
# conversion on a private display of its own: it says so, prints the figure
# and where the screenshots of both windows are, exits 0, and leaves no
# process behind.
#   headless-start.sh START_SCRIPT PROGRAM
set -euo pipefail
start=$1 program=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/journey-headless.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
fail() {
  echo "FAIL: $*" >&2
  echo "--- its output:" >&2
  cat "$work/out" >&2
  exit 1
}

# Every process the script starts inherits this mark, so any left over can
# be found afterwards, whatever it is called.
mark="KORVALEN_JOURNEY_MARK=$$.$RANDOM"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$mark" LC_ALL=C.UTF-8 \
  XDG_RUNTIME_DIR="$work/runtime" KORVALEN_SCREENSHOTS="$work/shots" \
  timeout 120 "$start" "$program" </dev/null >"$work/out" 2>&1 || status=$?
[ "$status" = 0 ] || fail "exit code $status"

grep -qi 'no display' "$work/out" || fail "it did not say that there is no display"
grep -qw '2\.20' "$work/out" || fail "the figure 2.20 is not in its output"
echo "ok: it printed $(grep -w '2\.20' "$work/out" | head -n 1)"

for name in welcome conversion; do
  shot=$work/shots/$name.png
  grep -qF "$shot" "$work/out" || fail "it did not say where $name.png is"
  size=$(identify -format '%wx%h' "$shot" 2>/dev/null) || fail "no screenshot $shot"
  echo "ok: $name.png, $size"
done

leftover() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [ "$pid" != $$ ] || continue
    if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "$mark"; then
      echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    fi
  done
}
sleep 0.2
left=$(leftover)
[ -z "$left" ] || fail "processes left behind: $left"
echo "ok: no process left behind"
