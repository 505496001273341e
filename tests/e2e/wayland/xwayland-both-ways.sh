#!/usr/bin/env bash
# On a Wayland desktop with Xwayland, one instance serves both kinds of
# clients: a later start through Xwayland brings a native first instance
# forward, and a native later start one on Xwayland. An Xwayland client
# still has WAYLAND_DISPLAY, as a desktop sets it for every program. Each
# time another client has the focus first; the later start exits 0 having
# mapped nothing, and the first instance's window is focused again.
source "$(dirname "$0")/../single-instance.sh" wayland "${1:-}" --xwayland
[ -n "$wl_xwayland_display" ] || fail "the compositor runs no Xwayland"

# on PLATFORM COMMAND...: COMMAND with Qt on that platform, xcb meaning Xwayland.
on() {
  local platform=$1
  shift
  if [ "$platform" = xcb ]; then
    QT_QPA_PLATFORM=xcb DISPLAY=$wl_xwayland_display "$@"
  else
    QT_QPA_PLATFORM=$platform "$@"
  fi
}

while read -r first later; do
  case="first on $first, later on $later"
  on "$first" start first
  welcome=$(wl_wait_window "${pids[first]}" "$welcome_title" 20) ||
    fail "$case: the first instance showed no welcome window"
  ds_wait_until 5 wl_is_focused "$welcome" || fail "$case: the welcome window did not take the focus"
  cover other

  on "$later" second_start_ends_unseen later
  ds_wait_until 5 wl_is_focused "$welcome" || fail "$case: the welcome window was not focused again"
  alive first || fail "$case: the first instance ended"

  ds_kill "${pids[first]}"
  ds_kill "${pids[other]}"
  unset 'pids[first]' 'pids[other]'
done <<'EOF'
wayland xcb
xcb wayland
EOF
echo "PASS"
