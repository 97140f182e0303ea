#!/usr/bin/env bash
# Builds Harnvale and starts it with the repository root as its start directory, so that the
# game finds DATA/ below it and keeps settings.ini beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The game alone, in a build folder of its own (build/play): the test command builds build/release
# with other options (warnings as errors, the tests), and sharing one folder would make each
# command recompile everything the other built.
cmake --preset play >/dev/null
cmake --build --preset play
if [ ! -f settings.ini ]; then
  cp scripts/default_settings.ini settings.ini
fi
exec ./build/play/harnvale
