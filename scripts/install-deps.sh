#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the program and the
# tests need and this machine lacks. Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libjpeg62-turbo-dev libicu-dev libxcb1-dev libx11-xcb-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the single-instance guard on Wayland: QtDBus (in qt6-base-dev), the
  # compositor's activation protocol, and Qt's Wayland platform
  libwayland-dev wayland-protocols qt6-wayland
  # run-time and desktop tests
  qt6-qpa-plugins libqt6svg6 xvfb xauth openbox xfwm4 xdotool x11-utils x11-xserver-utils xclip wmctrl
  xfce4-settings dbus-daemon dbus-bin
  # Wayland: headless compositor and its Xwayland, its IPC and screenshots,
  # keyboard input, another client to take the focus, and the tree's JSON read back
  qt6-wayland sway xwayland grim wtype weston jq
  imagemagick fonts-liberation2 fonts-dejavu-core locales
  desktop-file-utils appstream dpkg-dev file
  # the command line's bash completion is tested against bash-completion
  bash-completion
  # manual pages (written in scdoc, turned into roff by the build) and the package
  # check (devscripts brings hardening-check)
  scdoc lintian devscripts
  # tooling
  clang-format clang-tidy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests read number separators from real locales: a comma grouping digits
# (en_US), a comma decimal separator (de_DE), a multi-byte thousands separator
# (fr_FR) and a multi-byte decimal separator (ps_AF).
need_gen=0
for entry in "en_US.UTF-8 UTF-8" "de_DE.UTF-8 UTF-8" "fr_FR.UTF-8 UTF-8" "ps_AF UTF-8"; do
  name=${entry%% *}
  short=$(echo "${name%%.*}" | tr -d '\n')
  if ! locale -a 2>/dev/null | grep -qx "${short}.utf8"; then
    need_gen=1
    if grep -q "^# *${entry}\$" /etc/locale.gen; then
      "${sudo_cmd[@]}" sed -i "s/^# *${entry}\$/${entry}/" /etc/locale.gen
    elif ! grep -qx "${entry}" /etc/locale.gen; then
      echo "${entry}" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
  fi
done
if [ "$need_gen" = 1 ]; then "${sudo_cmd[@]}" locale-gen >/dev/null; fi
