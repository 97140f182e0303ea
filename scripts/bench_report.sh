#!/usr/bin/env bash
# One report of the game's performance on this machine, under the X server of $DISPLAY (or a
# private Xvfb, through with_display.sh): start-up to the main menu's first frame, a new 32 x 32
# battle's set-up and first frame, frames per second of that battle with 1000 live particles
# and no frame pacing, draw calls per battle frame, the program's own CPU time per frame, an
# idle battle's frames per second without pacing, the longest frame of a paced battle minute,
# CPU share of one core while idle in the menu and in a battle at 60 Hz pacing (the mouse
# still, then moving), peak resident and private memory and the installed size. Each figure is
# the median of several runs.
#   bash scripts/bench_report.sh            (builds the release targets it needs first)
#   RUNS=5 SECONDS_PER_SAMPLE=5 bash scripts/bench_report.sh
#   HV_BENCH_BUILD=/other/tree/build/release HV_BENCH_NO_BUILD=1 bash scripts/bench_report.sh
#     measures another build the same way (its harnvale and bench/bench_battle_gl), for a
#     before-and-after comparison on one machine.
#   HV_BENCH_COMPARE=/other/tree/build/release bash scripts/bench_report.sh
#     also runs that build's battle bench in turn with this one's (one after the other, the
#     same number of times), and gives the idle battle's frame rate of both and their ratio:
#     measured side by side, a busy moment of the machine falls on both alike.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
if [ -z "${HV_BENCH_REPORT_INNER:-}" ]; then
  export HV_BENCH_REPORT_INNER=1
  exec bash scripts/with_display.sh bash "$0" "$@"
fi

RUNS=${RUNS:-5}
SAMPLE=${SECONDS_PER_SAMPLE:-5}
BUILD=${HV_BENCH_BUILD:-$ROOT/build/release}
GAME="$BUILD/harnvale"
BENCH="$BUILD/bench/bench_battle_gl"
if [ -z "${HV_BENCH_NO_BUILD:-}" ]; then
  nice cmake --build --preset release --target harnvale bench_battle_gl >/dev/null
fi
for tool in xdotool python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup.sh installs it)" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/harnvale-bench-XXXXXX)
GAME_PID=""
# SIGKILL: a measurement cut short leaves nothing of the game behind.
cleanup() {
  [ -n "$GAME_PID" ] && kill -KILL "$GAME_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
mkdir -p "$WORK/start"
cp -r DATA "$WORK/start/DATA"
export HARNVALE_NONINTERACTIVE=1

# The share of this machine's time its host gave to others (steal), since a mark: on a virtual
# machine the figures below swing with it.
steal_mark() { awk '/^cpu / {print $9, $2 + $3 + $4 + $5 + $6 + $7 + $8 + $9}' /proc/stat; }
steal_since() { # mark
  local now
  now=$(steal_mark)
  awk -v a="$1" -v b="$now" 'BEGIN {split(a, x, " "); split(b, y, " "); d = y[2] - x[2];
    printf "%.1f", (d > 0 ? 100 * (y[1] - x[1]) / d : 0)}'
}
report_start=$(steal_mark)
median() { sort -g | awk 'NF {v[++n] = $1} END {if (n) print v[int((n + 1) / 2)]; else print "n/a"}'; }
fresh_settings() { cp scripts/default_settings.ini "$WORK/start/settings.ini"; }

echo "== Harnvale performance report, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

# ---- start-up: process start until the menu's first frame has been presented (the game writes
# its state report right after that frame), timed by polling the report every millisecond.
startup=()
startup_cpu=()
for _ in $(seq 1 "$RUNS"); do
  fresh_settings
  rm -f "$WORK/state.txt"
  ms=$(cd "$WORK/start" && HARNVALE_STATE_FILE="$WORK/state.txt" HARNVALE_QUIT_AFTER_FRAMES=2 python3 - "$GAME" <<'EOF'
import os, subprocess, sys, time
path = os.environ["HARNVALE_STATE_FILE"]
t0 = time.monotonic()
p = subprocess.Popen([sys.argv[1]], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
while not os.path.exists(path):
    if p.poll() is not None or time.monotonic() - t0 > 30:
        break
    time.sleep(0.001)
wall = (time.monotonic() - t0) * 1000
p.wait()
import resource
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.1f %.1f" % (wall, (usage.ru_utime + usage.ru_stime) * 1000))
EOF
)
  startup+=("${ms% *}")
  startup_cpu+=("${ms#* }")
done
echo "start-up to the menu's first frame: median $(printf '%s\n' "${startup[@]}" | median) ms (runs: ${startup[*]}; target 150)"
echo "  CPU time of such a run (start-up, two frames, shutdown; the renderer's threads included):" \
  "median $(printf '%s\n' "${startup_cpu[@]}" | median) ms (runs: ${startup_cpu[*]})"

# ---- the battle bench on the real device: set-up, first frame, fps, draw calls
declare -A bench
renderer=unknown
declare -A other
OTHER_BENCH=${HV_BENCH_COMPARE:+$HV_BENCH_COMPARE/bench/bench_battle_gl}
bench_start=$(steal_mark)
# Side by side, more rounds: the machine's pace changes from one minute to the next.
for _ in $(seq 1 "$([ -n "$OTHER_BENCH" ] && echo 5 || echo 3)"); do
  while IFS='=' read -r key value; do
    if [ "$key" = gl_renderer ]; then renderer=$value; else bench[$key]+="$value "; fi
  done < <("$BENCH" "$SAMPLE" 2>/dev/null)
  if [ -n "$OTHER_BENCH" ]; then
    while IFS='=' read -r key value; do other[$key]+="$value "; done < <("$OTHER_BENCH" "$SAMPLE" 2>/dev/null)
  fi
done
bench_steal=$(steal_since "$bench_start")
# A figure that an older build does not print is n/a.
bench_median() { printf '%s\n' ${bench[$1]:-} | median; }
echo "GL renderer: $renderer"
echo "new 32 x 32 battle, set-up: median $(bench_median new_battle_setup_ms) ms (target 30)"
echo "new 32 x 32 battle, first frame with the whole minimap: median $(bench_median new_battle_first_frame_ms) ms"
echo "32 x 32 battle, 1000 particles, no pacing: median $(bench_median battle_fps) fps (target 400)," \
  "$(bench_median battle_drawn_fps) fps of the frames drawn (between two steps of the world a frame is unchanged and waits for the display);" \
  "CPU $(bench_median battle_cpu_ms_per_frame) ms per frame with the renderer's threads;" \
  "the program's own CPU outside GL $(bench_median frame_cpu_outside_gl_ms) ms per frame"
echo "draw calls per battle frame: $(bench_median draw_calls_per_frame) (target 50)"
echo "idle 32 x 32 battle (moves blinking, flags bobbing), no pacing: median $(bench_median idle_battle_fps) fps of drawn frames;" \
  "CPU $(bench_median idle_battle_cpu_ms_per_frame) ms per frame with the renderer's threads"
if [ -n "$OTHER_BENCH" ]; then
  mine=$(bench_median idle_battle_fps)
  theirs=$(printf '%s\n' ${other[idle_battle_fps]:-} | median)
  # Each round's two runs follow each other: the median of the rounds' ratios.
  ratios=$(paste -d' ' <(printf '%s\n' ${bench[idle_battle_fps]:-}) <(printf '%s\n' ${other[idle_battle_fps]:-}) |
    awk 'NF == 2 && $2 > 0 {printf "%.2f\n", $1 / $2}')
  echo "  side by side with $HV_BENCH_COMPARE: $theirs fps there (runs: ${other[idle_battle_fps]:-none}), $mine here (runs: ${bench[idle_battle_fps]:-none}):" \
    "$(awk -v a="$mine" -v b="$theirs" 'BEGIN {if (b + 0 > 0) printf "%.2f", a / b; else print "n/a"}') times;" \
    "round by round $(echo $ratios), median $(printf '%s\n' $ratios | median) times"
fi
echo "  the host took $bench_steal % of this machine's time while the battle bench ran (steal)"
minute_start=$(steal_mark)
minute=$("$BENCH" 60 minute 2>/dev/null | awk -F= '$1 == "battle_minute_frame_ms_longest" {l=$2} /battle_minute_frame_ms_p99/ {p=$2}
  /battle_minute_frame_ms_longest_woken_on_time/ {w=$2} END {print l, p, (w == "" ? "n/a" : w)}')
read -r minute_longest minute_p99 minute_on_time <<<"$minute"
echo "a battle minute with 1000 particles at 60 Hz: longest frame $minute_longest ms, 99th percentile $minute_p99 ms (target 20);" \
  "longest without the time the system took to wake the wait for the display $minute_on_time ms; steal $(steal_since "$minute_start") %"
watch=$("$BENCH" 3 watch 2>/dev/null | awk -F= '/watch_x16_fps/ {f=$2} /watch_x16_orders/ {o=$2} /watch_x16_frame_ms_longest/ {l=$2} END {print f, o, l}')
read -r watch_fps watch_orders watch_longest <<<"$watch"
echo "a recorded battle of ${watch_orders:-?} orders watched at x16, paced at 60 Hz: ${watch_fps:-n/a} fps, longest frame ${watch_longest:-n/a} ms (target 60 fps)"

# ---- idle CPU at the normal 60 Hz pacing, in the menu and in a battle; peak resident memory
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cpu_share() { # pid seconds -> percent of one core
  local t0 t1
  t0=$(cpu_ticks "$1")
  sleep "$2"
  t1=$(cpu_ticks "$1")
  awk -v d=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" -v s="$2" 'BEGIN {printf "%.1f", 100 * d / hz / s}'
}
state_value() { awk -v k="$1" 'index($0, k "=") == 1 {print substr($0, length(k) + 2); exit}' "$WORK/state.txt" 2>/dev/null || true; }
wait_state() { # key value
  for _ in $(seq 1 600); do
    [ "$(state_value "$1")" = "$2" ] && return 0
    kill -0 "$GAME_PID" 2>/dev/null || { echo "the game ended early" >&2; return 1; }
    sleep 0.05
  done
  echo "timed out waiting for $1=$2" >&2
  return 1
}
# Input is read once per frame: the key is held for more than a frame, into the focused window.
press() { # window key
  xdotool windowfocus "$1" 2>/dev/null || true
  xdotool keydown "$2"
  sleep 0.2
  xdotool keyup "$2"
}
# The pointer wanders over the window in small steps while the share is measured.
wiggle() { # window seconds
  local end=$((SECONDS + $2)) i=0
  while [ $SECONDS -lt "$end" ]; do
    xdotool mousemove --window "$1" $((300 + (i * 7) % 400)) $((200 + (i * 5) % 300)) 2>/dev/null || true
    i=$((i + 1))
    sleep 0.02
  done
}
cpu_share_moving() { # pid window seconds
  wiggle "$2" "$3" &
  local w=$!
  cpu_share "$1" "$3"
  wait "$w" 2>/dev/null || true
}
menu_idle=()
battle_idle=()
menu_moving=()
battle_moving=()
peak_rss=()
private_mem=()
for _ in $(seq 1 3); do
  fresh_settings
  rm -f "$WORK/state.txt"
  (cd "$WORK/start" && HARNVALE_STATE_FILE="$WORK/state.txt" exec "$GAME" >/dev/null 2>&1) &
  GAME_PID=$!
  win=""
  for _ in $(seq 1 600); do
    win=$(xdotool search --onlyvisible --pid "$GAME_PID" 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.05
  done
  [ -n "$win" ] || { echo "no game window" >&2; exit 1; }
  xdotool windowfocus "$win" 2>/dev/null || true
  wait_state state mainmenu
  press "$win" Escape # the logo gives way to the menu
  wait_state logo_phase false
  sleep 2 # the logo fades out over the menu
  xdotool mousemove --window "$win" 5 5 2>/dev/null || true
  sleep 0.5
  menu_idle+=("$(cpu_share "$GAME_PID" "$SAMPLE")")
  menu_moving+=("$(cpu_share_moving "$GAME_PID" "$win" "$SAMPLE")")
  press "$win" s
  wait_state state gameplay
  xdotool mousemove --window "$win" 500 400 2>/dev/null || true
  sleep 1
  battle_idle+=("$(cpu_share "$GAME_PID" "$SAMPLE")")
  battle_moving+=("$(cpu_share_moving "$GAME_PID" "$win" "$SAMPLE")")
  peak_rss+=("$(awk '/VmHWM/ {print $2 / 1024}' "/proc/$GAME_PID/status")")
  private_mem+=("$(awk '/^Anonymous/ {print $2 / 1024}' "/proc/$GAME_PID/smaps_rollup")")
  kill -KILL "$GAME_PID"
  wait "$GAME_PID" 2>/dev/null || true
  GAME_PID=""
done
echo "idle in the menu at 60 Hz: median $(printf '%s\n' "${menu_idle[@]}" | median) % of a core (runs: ${menu_idle[*]}; target 3)"
echo "idle in a battle at 60 Hz: median $(printf '%s\n' "${battle_idle[@]}" | median) % of a core (runs: ${battle_idle[*]}; target 20)"
echo "  with the mouse moving: menu $(printf '%s\n' "${menu_moving[@]}" | median) %, battle $(printf '%s\n' "${battle_moving[@]}" | median) % of a core (runs: ${menu_moving[*]} / ${battle_moving[*]})"
echo "peak resident memory (menu, then a battle): median $(printf '%s\n' "${peak_rss[@]}" | median) MB (runs: ${peak_rss[*]});" \
  "private (anonymous) in the battle: median $(printf '%s\n' "${private_mem[@]}" | median) MB (target 50); the rest is shared library code (the renderer's LLVM alone maps about 55 MB)"

echo "the host took $(steal_since "$report_start") % of this machine's time over the whole report (steal)"

# ---- installed size: the release binary and DATA
bin_bytes=$(stat -c %s "$GAME")
strip -o "$WORK/harnvale.stripped" "$GAME" 2>/dev/null && stripped=$(stat -c %s "$WORK/harnvale.stripped") || stripped=$bin_bytes
data_bytes=$(du -sb DATA | cut -f1)
awk -v b="$bin_bytes" -v s="$stripped" -v d="$data_bytes" 'BEGIN {
  printf "installed size: binary %.2f MB (%.2f MB stripped) + DATA %.2f MB = %.2f MB\n",
         b / 1048576, s / 1048576, d / 1048576, (s + d) / 1048576 }'
