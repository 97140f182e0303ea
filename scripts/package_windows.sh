#!/usr/bin/env bash
# Builds harnvale.exe (the `windows` preset, mingw-w64) and packs it for players:
# build/windows/Harnvale-windows.zip holds Harnvale/ with the program, DATA/ with the game's
# font and its licence, and a short read-me. Nothing else needs installing on Windows 7 or later.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh windows
export CCACHE_BASEDIR="$(pwd)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset windows "${launcher[@]}" >/dev/null
nice cmake --build --preset windows

out=build/windows/package/Harnvale
rm -rf build/windows/package build/windows/Harnvale-windows.zip
mkdir -p "$out"
cp build/windows/harnvale.exe "$out/"
cp -r DATA "$out/DATA"
rm -f "$out/DATA/error.txt"
# The game's font, free to redistribute under its licence, which travels with it.
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$out/DATA/"
cp /usr/share/doc/fonts-dejavu-core/copyright "$out/DATA/DejaVuSans-licence.txt"
cp scripts/default_settings.ini "$out/settings.ini"
sed -i 's/$/\r/' "$out/settings.ini"
cat >"$out/README.txt" <<'TEXT'
Harnvale for Windows
====================

A hot-seat hex battle game for three players sharing one machine.

Start harnvale.exe in this folder. It needs Windows 7 or later (64-bit) with Direct3D 9,
nothing else: no DirectX redistributable, no font to install.

Keys in the menu: S starts a new battle, L lists the recorded battles, X leaves.
In a battle: click a unit of yours to select it, then a tile to move or an enemy to attack;
N selects the next ready unit, E ends the turn, Escape returns to the menu.

The game keeps settings.ini and the recorded battles (saves\) in this folder, so keep the
folder where you may write (not under Program Files). After a failure the report is in
DATA\error.txt.

The font DATA\DejaVuSans.ttf is DejaVu Sans; its licence is DATA\DejaVuSans-licence.txt.
TEXT
sed -i 's/$/\r/' "$out/README.txt"
(cd build/windows/package && zip -qr -9 ../Harnvale-windows.zip Harnvale)
echo "package: build/windows/Harnvale-windows.zip ($(du -h build/windows/Harnvale-windows.zip | cut -f1))"
