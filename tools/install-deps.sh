#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Corvane needs.
# Idempotent: packages already present are left alone and apt is not touched.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libflac-dev libfreetype-dev libharfbuzz-dev libfontconfig-dev libglew-dev libsdl2-dev libasound2-dev libx11-dev
  libxrandr-dev libxinerama-dev libdbus-1-dev libgtest-dev fonts-wqy-microhei fonts-dejavu-core
  xvfb xserver-xephyr xauth xdotool x11-utils imagemagick libgl1-mesa-dri dbus-daemon
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q "${missing[@]}"
