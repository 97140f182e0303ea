#!/usr/bin/env bash
# Builds Harnvale and starts it with the repository root as its start directory, so that the
# game finds DATA/ below it and keeps settings.ini beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The test command may have left warnings-as-errors on in this build folder; a player needs none.
cmake --preset release -DHARNVALE_WERROR=OFF >/dev/null
# Only the game itself: the tests and benchmarks are the test command's business.
cmake --build --preset release --target harnvale
if [ ! -f settings.ini ]; then
  cp scripts/default_settings.ini settings.ini
fi
exec ./build/release/harnvale
