#!/usr/bin/env bash
# Runs a command with an X display: the caller's own when there is one, otherwise a private
# Xvfb that lives exactly as long as the command.
set -euo pipefail
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
source "$(dirname "$0")/x_display.sh"
num=""
for n in $(seq 90 140); do
  free_x_display "$n" && { num=$n; break; }
done
[ -n "$num" ] || { echo "with_display: every display from :90 to :140 is taken" >&2; exit 1; }
# -noreset: an X server resets itself when its last client leaves, and drops a client that
# connects during the reset; the tests start and end one game after another.
Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=":$num"
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
"$@"
