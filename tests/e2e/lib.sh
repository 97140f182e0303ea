# Shared pieces of the whole-program tests. Each test runs the built game in a fresh start
# directory whose DATA is the repository's, under the X server of the test run.
set -euo pipefail
GAME="$1"
SOURCE="$2"
source "$SOURCE/scripts/x_display.sh"
XCLOSE="${3:-}"
export HARNVALE_NONINTERACTIVE=1
WORK=$(mktemp -d /tmp/harnvale-e2e-XXXXXX)
# A test that stops early ends its game for good (SIGTERM would end it as a confirmed leave,
# writing settings.ini and the battle's record first).
trap 'kill -KILL "$GAME_PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT
GAME_PID=""
mkdir -p "$WORK/start"
# DATA is copied so that error.txt and anything else written there stays in the test's folder.
cp -r "$SOURCE/DATA" "$WORK/start/DATA"

fail() {
  echo "FAIL (${SECONDS} s into the test): $*" >&2
  exit 1
}

start_game() {
  (cd "$WORK/start" && exec "$GAME" >"$WORK/stdout" 2>"$WORK/stderr") &
  GAME_PID=$!
}

# Waits (30 s at most) for the game's window and prints its id.
wait_window() {
  local id=""
  for _ in $(seq 1 600); do
    id=$(xdotool search --onlyvisible --pid "$GAME_PID" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended before showing a window: $(cat "$WORK/stderr")"
    sleep 0.05
  done
  {
    echo "windows on $DISPLAY:"
    xwininfo -root -children 2>&1 | tail -n +6
    for w in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}'); do
      echo "$w: $(xprop -id "$w" _NET_WM_PID WM_NAME 2>&1 | tr '\n' ' ') $(xwininfo -id "$w" 2>/dev/null | grep 'Map State')"
    done
    echo "game $GAME_PID: $(grep -E '^State' /proc/$GAME_PID/status 2>/dev/null)"
    echo "state report: $(tr '\n' ' ' <"$HARNVALE_STATE_FILE" 2>/dev/null)"
    echo "stderr: $(head -c 2000 "$WORK/stderr")"
    command -v gdb >/dev/null && timeout 60 gdb -p "$GAME_PID" -batch -ex "thread apply all bt" 2>&1 | grep -E '^(#|Thread)'
  } >&2
  fail "no window appeared"
}

# Waits for the game to end and leaves its exit code in EXIT_CODE (no subshell: only this shell
# can wait for its child).
wait_exit() {
  for _ in $(seq 1 600); do
    kill -0 "$GAME_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$GAME_PID" 2>/dev/null && fail "the game did not end"
  EXIT_CODE=0
  wait "$GAME_PID" || EXIT_CODE=$?
  GAME_PID=""
}

# Tests that set HARNVALE_CHECK_REDRAW=1 have every frame that the device draws again only
# inside its damaged rectangles drawn whole as well and compared pixel by pixel, and the window
# read back after the frame's copies and compared with the whole frame; the device prints the
# tally when it ends. After a normal end, the frames compared and the windows read back must
# be some and the pixels that differ none.
check_redraw() {
  local line compared differ windows
  line=$(grep -o 'redraw check: [0-9]* frames compared, [0-9]* pixels differ ([0-9]* windows' "$WORK/stderr" | tail -1)
  [ -n "$line" ] || fail "the game reported no redraw check: $(tail -3 "$WORK/stderr")"
  compared=$(echo "$line" | awk '{print $3}')
  differ=$(echo "$line" | awk '{print $6}')
  windows=$(echo "$line" | awk '{print $9}' | tr -d '(')
  [ "$compared" -gt 0 ] || fail "no frame was drawn inside its damage, so none was compared"
  [ "$windows" -gt 0 ] || fail "the window was never read back after a partial frame"
  [ "$differ" = 0 ] || fail "$differ pixels differ between partial and whole redraws or in the window: $(grep 'pixels differ in' "$WORK/stderr" | head -3)"
  echo "redraw check: $compared frames compared, $windows windows read back, 0 pixels differ"
}

# Battle report items are "c,r@x,y": a tile and its point on the screen.
# The first item of a list whose point lies on the battlefield, clear of the widgets.
on_field() { # list
  local item xy x y
  for item in $1; do
    xy=${item#*@}; x=${xy%,*}; y=${xy#*,}
    if [ "$x" -ge 150 ] && [ "$x" -le 1000 ] && [ "$y" -ge 40 ] && [ "$y" -le 600 ]; then
      echo "$item"; return 0
    fi
  done
}
point_of() { local xy=${1#*@}; echo "${xy%,*} ${xy#*,}"; }
tile_of() { echo "${1%@*}"; }

ini_value() { # file section key
  awk -v s="[$2]" -v k="$3" 'BEGIN{IGNORECASE=1} {gsub(/\r/,"")} /^\[/{in_s=(tolower($0)==tolower(s))} in_s && index($0,"=") {split($0,a,"="); if (tolower(a[1])==tolower(k)) {print substr($0, index($0,"=")+1); exit}}' "$1"
}

# The game reports what it shows (state, battle, selection, banner) as key=value lines in this
# file after every frame that changed it.
export HARNVALE_STATE_FILE="$WORK/state.txt"

state_value() { # key
  [ -f "$HARNVALE_STATE_FILE" ] || return 0
  awk -v k="$1" 'index($0, k "=") == 1 {print substr($0, length(k) + 2); exit}' "$HARNVALE_STATE_FILE"
}

# Waits (30 s at most) until the report's key has the value.
wait_state() { # key value [what]
  for _ in $(seq 1 600); do
    [ "$(state_value "$1")" = "$2" ] && return 0
    kill -0 "$GAME_PID" 2>/dev/null || fail "${3:-$1=$2}: the game ended: $(cat "$WORK/stderr")"
    sleep 0.05
  done
  fail "${3:-waiting for $1=$2}: $1 is '$(state_value "$1")'"
}

# Waits until the key's value differs from the given one; prints the new value.
wait_change() { # key old_value [what]
  for _ in $(seq 1 600); do
    local v
    v=$(state_value "$1")
    [ "$v" != "$2" ] && { echo "$v"; return 0; }
    sleep 0.05
  done
  fail "${3:-waiting for $1 to change from '$2'}"
}

# Input is read once per frame: each key or button is held for more than a frame, and the mouse
# arrives a frame before it is pressed.
press_key() { # xdotool key name...
  xdotool keydown "$@"
  sleep 0.2
  xdotool keyup "$@"
  sleep 0.1
}

click_at() { # window x y
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.15
  xdotool mousedown 1
  sleep 0.2
  xdotool mouseup 1
  sleep 0.1
}

# Slower steps for screens that must see every press on a busy machine: the mouse rests a while
# before, during and after each press, and each key is held and let go for more than a frame.
# Both act on the window in $win.
click() { # x y (window pixels)
  xdotool mousemove --window "$win" "$1" "$2"
  sleep 0.3
  xdotool mousedown 1
  sleep 0.3
  xdotool mouseup 1
  sleep 0.4
}
key() { # xdotool key name
  xdotool keydown "$1"
  sleep 0.3
  xdotool keyup "$1"
  sleep 0.3
}

# Leaves by the exit screen (X, then "yes") and expects a normal end.
quit_normally() {
  key x
  wait_state state exitscreen "X asks before leaving"
  key x
  wait_exit
  [ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE: $(cat "$WORK/stderr")"
}
