#!/usr/bin/env bash
# Soak test (not part of CI): plays the release build with random mouse moves, clicks and key
# presses through xdotool for a given time, records its resident memory every 10 s, then closes
# it through the exit screen and records its exit status.
#
#   scripts/soak.sh [minutes] [game binary]     (30 minutes and build/release/harnvale by default)
#
# Uses $DISPLAY when it works, otherwise a private Xvfb. Prints the memory series (seconds,
# kB) and a summary line; writes both to build/soak/. Passes (exit 0) when the game ran the whole
# time, ended with exit code 0, and its memory grew by at most 5 % after the first minute
# (median of the last three samples against the sample at 60 s).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
minutes="${1:-30}"
game="${2:-$root/build/release/harnvale}"
if [ "${SOAK_IN_DISPLAY:-}" != 1 ]; then
  [ -x "$game" ] || { bash scripts/setup.sh && cmake --preset release >/dev/null && cmake --build --preset release --target harnvale xclose; }
  SOAK_IN_DISPLAY=1 exec bash scripts/with_display.sh bash "$0" "$minutes" "$game"
fi

xclose="$(dirname "$game")/tests/xclose"
out="$root/build/soak"
mkdir -p "$out"
work=$(mktemp -d /tmp/harnvale-soak-XXXXXX)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/start"
cp -r "$root/DATA" "$work/start/DATA"
cp "$root/scripts/default_settings.ini" "$work/start/settings.ini"
export HARNVALE_NONINTERACTIVE=1 HARNVALE_STATE_FILE="$work/state.txt"
(cd "$work/start" && exec "$game" >"$work/stdout" 2>"$work/stderr") &
pid=$!

win=""
for _ in $(seq 1 600); do
  win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "soak: the game ended at start: $(cat "$work/stderr")" >&2; exit 1; }
  sleep 0.05
done
[ -n "$win" ] || { echo "soak: no window" >&2; exit 1; }
xdotool windowfocus "$win"

state() { awk -F= '$1 == "state" {print $2}' "$HARNVALE_STATE_FILE" 2>/dev/null || true; }
rss() { awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0; }
hold_key() { xdotool keydown "$@"; sleep 0.18; xdotool keyup "$@"; }

# Keys of the menu and the battle. X is left out (it leaves the game from the menu) and so is O
# (the options screen could switch to a full-screen mode); those screens are left at once when
# a click opens them.
keys=(s n e Escape Left Right Up Down KP_1 KP_3 KP_4 KP_6 KP_7 KP_9 space Return c m)
series="$out/memory.csv"
echo "seconds,rss_kb" >"$series"
start=$SECONDS
next_sample=0
end=$((start + minutes * 60))
actions=0
while [ $SECONDS -lt $end ]; do
  kill -0 "$pid" 2>/dev/null || break
  if [ $((SECONDS - start)) -ge $next_sample ]; then
    echo "$((SECONDS - start)),$(rss)" | tee -a "$series"
    next_sample=$((next_sample + 10))
  fi
  case "$(state)" in
    exitscreen) hold_key c; continue ;;
    options) hold_key c; continue ;;
    credits) hold_key Escape; continue ;;
  esac
  case $((RANDOM % 4)) in
    0 | 1) xdotool mousemove --window "$win" $((RANDOM % 1024)) $((RANDOM % 768)) ;;
    2)
      xdotool mousemove --window "$win" $((RANDOM % 1024)) $((RANDOM % 768))
      sleep 0.05
      button=$((RANDOM % 3 == 0 ? 3 : 1))
      xdotool mousedown "$button"
      sleep 0.18
      xdotool mouseup "$button"
      ;;
    3) hold_key "${keys[$((RANDOM % ${#keys[@]}))]}" ;;
  esac
  actions=$((actions + 1))
  sleep 0.05
done

ran=$((SECONDS - start))
code=""
if kill -0 "$pid" 2>/dev/null; then
  echo "$ran,$(rss)" | tee -a "$series"
  # A normal end: the close request, answered with X on the exit screen.
  "$xclose" "$win" || true
  for _ in $(seq 1 400); do
    [ "$(state)" = exitscreen ] && break
    sleep 0.05
  done
  hold_key x
  for _ in $(seq 1 400); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
fi
if kill -0 "$pid" 2>/dev/null; then
  code="hung at the end"
  kill -KILL "$pid"
fi
[ -n "$code" ] || { code=0; wait "$pid" || code=$?; }
pid=""

python3 - "$series" "$ran" "$minutes" "$code" "$actions" <<'PY' | tee "$out/summary.txt"
import statistics, sys
path, ran, minutes, code, actions = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
rows = [tuple(map(int, l.split(","))) for l in open(path).read().split()[1:]]
def at(s):
    best = min(rows, key=lambda r: abs(r[0] - s))
    return best[1]
base = at(60)
tail = statistics.median(r[1] for r in rows[-3:])
growth = 100.0 * (tail - base) / base if base else 0.0
peak = max(r[1] for r in rows)
marks = "  ".join(f"{m} min: {at(m * 60) / 1024:.1f} MB" for m in (1, 10, 30) if m * 60 <= ran + 10)
ok = code == "0" and ran >= minutes * 60 - 15 and growth <= 5.0
print(f"soak: ran {ran} s, {actions} random inputs, exit status {code}; {marks}; "
      f"peak {peak / 1024:.1f} MB; growth after the first minute {growth:+.1f} % -> {'ok' if ok else 'FAILED'}")
sys.exit(0 if ok else 1)
PY
