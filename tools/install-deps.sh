#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Corvane needs, for Linux
# and for the Windows build (the MinGW-w64 cross-compiler, Wine to run its tests, and what
# `apt-get source` needs to unpack the libraries tools/build-windows.sh builds).
# Idempotent: packages already present are left alone and apt is not touched.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libflac-dev libfreetype-dev libharfbuzz-dev libfontconfig-dev libglew-dev libsdl2-dev libasound2-dev libx11-dev
  libxrandr-dev libxinerama-dev libdbus-1-dev libgtest-dev fonts-wqy-microhei fonts-dejavu-core
  xvfb xserver-xephyr xauth xdotool x11-utils imagemagick libgl1-mesa-dri dbus-daemon
)
# Without their recommendations: Wine's would bring a desktop's worth of packages.
windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 dpkg-dev xz-utils googletest
)
missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t linux_missing < <(missing "${packages[@]}")
mapfile -t windows_missing < <(missing "${windows_packages[@]}")
[ ${#linux_missing[@]} -eq 0 ] && [ ${#windows_missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
[ ${#linux_missing[@]} -eq 0 ] || $sudo apt-get install -y -q "${linux_missing[@]}"
[ ${#windows_missing[@]} -eq 0 ] || $sudo apt-get install -y -q --no-install-recommends "${windows_missing[@]}"
