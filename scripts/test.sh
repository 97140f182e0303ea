#!/usr/bin/env bash
# Builds Harnvale with warnings as errors and runs every test through CTest, the format check
# included. Usage: scripts/test.sh [preset] (release by default; asan builds with
# AddressSanitizer and UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
bash scripts/setup.sh
export HARNVALE_NONINTERACTIVE=1
cmake --preset "$preset" -DHARNVALE_WERROR=ON >/dev/null
cmake --build --preset "$preset"
bash scripts/with_display.sh ctest --preset "$preset" -j2
