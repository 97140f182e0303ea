#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Harnvale needs to build, run and test, but only those
# that are missing, so a machine that has them all is not touched.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config clang-format
  clang libclang-rt-14-dev
  libsdl2-dev libsdl2-image-dev libfreetype-dev libfontconfig-dev
  libgl-dev libgl1-mesa-dri libegl-mesa0
  libgtest-dev libbenchmark-dev libasio-dev
  fonts-dejavu-core
  xvfb xauth xdotool x11-utils imagemagick
  python3 python3-pil
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
