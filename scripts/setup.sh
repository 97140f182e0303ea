#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages Harnvale needs to build, run and test, but only those
# that are missing, so a machine that has them all is not touched. `setup.sh windows` installs
# what the Windows build and its test under Wine need instead.
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
if [ "${1:-}" = windows ]; then
  # The cross compiler with std::thread (the posix thread model), Wine to run the result, and
  # the tools its test drives it with; the game's font is copied from fonts-dejavu-core.
  packages=(
    cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
    fonts-dejavu-core xvfb xauth xdotool x11-utils imagemagick python3 python3-pil zip
  )
fi
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
