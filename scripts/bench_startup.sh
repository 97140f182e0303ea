#!/usr/bin/env bash
# Start-up time: from process start until the first frame has been presented (the game ends
# right after it), median of five runs of the release build under the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
game="${1:-build/release/harnvale}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r DATA "$work/DATA"
cp scripts/default_settings.ini "$work/settings.ini"
times=()
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  (cd "$work" && HARNVALE_NONINTERACTIVE=1 HARNVALE_QUIT_AFTER_FRAMES=1 "$OLDPWD/$game")
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to first presented frame (incl. shutdown), ms: ${times[*]}; median ${sorted[2]}"
