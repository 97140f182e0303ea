#!/usr/bin/env bash
# The Windows build's test: installs the cross compiler and Wine when missing, builds the
# `windows` preset (harnvale.exe) and its package, and plays the packaged game under Wine in a
# fresh Wine prefix on a private Xvfb: the logo, Escape to the menu, S for a battle of a fixed
# seed (checked through the state report), N to select a unit, Escape, X and X to leave; the game
# must end with exit code 0 and a rewritten settings.ini. The battle's screenshot is compared
# with the Linux build's of the same seed (scripts/compare_shots.py says how).
# Usage: scripts/test_windows.sh [--keep]   (--keep leaves the work folder and screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
keep="${1:-}"
start_time=$SECONDS
bash scripts/setup.sh windows
export CCACHE_BASEDIR="$root"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
bash scripts/package_windows.sh >/dev/null
# The Linux build of the same sources gives the reference picture.
if [ ! -x build/release/harnvale ]; then
  bash scripts/setup.sh
  cmake --preset release "${launcher[@]}" >/dev/null
  cmake --build --preset release --target harnvale
fi

work=$(mktemp -d /tmp/harnvale-windows-XXXXXX)
xvfb_pid=""
game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if [ "$keep" = --keep ]; then echo "work folder: $work"; else rm -rf "$work"; fi
  return 0
}
trap cleanup EXIT
fail() {
  echo "FAIL (${SECONDS} s): $*" >&2
  [ -f "$work/run/stderr" ] && tail -20 "$work/run/stderr" >&2
  exit 1
}

# A screen larger than the window, so that a window of 1024 x 768 pixels inside its frame fits.
source scripts/x_display.sh
display=""
for n in $(seq 160 220); do
  free_x_display "$n" && { display=$n; break; }
done
[ -n "$display" ] || fail "every display from :160 to :220 is taken"
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

export HARNVALE_NONINTERACTIVE=1 HARNVALE_SEED=7
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
prefix_start=$SECONDS
wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -5 "$work/wineboot.log")"
wineserver -w
echo "windows test: fresh Wine prefix in $((SECONDS - prefix_start)) s"

state_value() { # key
  [ -f "$state_file" ] || return 0
  awk -v k="$1" 'index($0, k "=") == 1 {print substr($0, length(k) + 2); exit}' "$state_file"
}
wait_state() { # key value what
  for _ in $(seq 1 600); do
    [ "$(state_value "$1")" = "$2" ] && return 0
    kill -0 "$game_pid" 2>/dev/null || fail "the game ended while waiting: $3"
    sleep 0.05
  done
  fail "$3 (state report: $(tr '\n' ' ' <"$state_file" 2>/dev/null))"
}
press_key() {
  xdotool keydown "$1"
  sleep 0.3
  xdotool keyup "$1"
  sleep 0.1
}
# Presses a key until the state report's key has the value (a loaded machine may show fewer
# frames than a short press needs): 8 tries, each waiting 4 s.
press_until() { # key report-key value what
  for _ in $(seq 1 8); do
    press_key "$1"
    for _ in $(seq 1 80); do
      [ "$(state_value "$2")" = "$3" ] && return 0
      kill -0 "$game_pid" 2>/dev/null || fail "the game ended while waiting: $4"
      sleep 0.05
    done
  done
  fail "$4 (state report: $(tr '\n' ' ' <"$state_file" 2>/dev/null))"
}
# The game's top-level window on the X server (its client area is a child of it under Wine).
wait_window() { # name-pattern
  local id=""
  for _ in $(seq 1 600); do
    id=$(xdotool search --onlyvisible --name "^Harnvale" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  fail "no window appeared"
}
# The window's client area: the deepest child as large as 1024 x 768 pixels, or the window.
client_of() { # window
  local w
  for w in $(xwininfo -children -id "$1" | awk '/^ +0x/ {print $1}') "$1"; do
    if xwininfo -id "$w" | grep -q "Width: 1024" && xwininfo -id "$w" | grep -q "Height: 768"; then
      echo "$w"
      return 0
    fi
  done
  echo "$1"
}

# Plays one game: $1 = linux or windows. Leaves battle.png and the exit code in the run folder.
play() {
  local kind=$1 run="$work/$1"
  mkdir -p "$run"
  state_file="$run/state.txt"
  export HARNVALE_STATE_FILE="$state_file"
  if [ "$kind" = windows ]; then
    cp -r build/windows/package/Harnvale/. "$run/"
    # The window's outer rectangle: Wine's frame takes 4 pixels at the sides and 27 in all in height,
    # which leaves a client area of 1024 x 768 pixels, as the Linux window has.
    printf '[screen]\r\nis_windowed=true\r\nleft=0\r\ntop=0\r\nright=1032\r\nbottom=795\r\n' >"$run/settings.ini"
  else
    cp -r DATA "$run/DATA"
    printf '[screen]\nis_windowed=true\nleft=0\ntop=0\nright=1024\nbottom=768\n' >"$run/settings.ini"
  fi
  printf 'width=1024\r\nheight=768\r\ndepth=32\r\nrefresh_rate=60\r\nadapter=0\r\npresent_immediate=false\r\n[misc]\r\ndebug=0\r\nshow_moves=true\r\nshow_names=true\r\nscroll_speed=12\r\n' >>"$run/settings.ini"
  cp "$run/settings.ini" "$run/settings.before"
  local started=$SECONDS
  if [ "$kind" = windows ]; then
    (cd "$run" && exec wine harnvale.exe >"$run/stdout" 2>"$run/stderr") &
  else
    (cd "$run" && exec "$root/build/release/harnvale" >"$run/stdout" 2>"$run/stderr") &
  fi
  game_pid=$!
  wait_state logo_phase true "the game opens on its logo"
  echo "windows test: $kind: logo after $((SECONDS - started)) s"
  local win
  win=$(wait_window)
  xdotool windowfocus "$win" 2>/dev/null || true
  for _ in $(seq 1 50); do
    press_key Escape
    [ "$(state_value logo_phase)" = false ] && break
  done
  wait_state state mainmenu "Escape ends the logo on the main menu"
  press_until s state gameplay "S starts a battle"
  [ -n "$(state_value player)" ] || fail "no player's turn in the battle"
  wait_state banner "" "the first turn's banner fades"
  # Pressed again only while nothing is selected, so that both builds select the same unit.
  for _ in $(seq 1 8); do
    press_key n
    for _ in $(seq 1 80); do [ -n "$(state_value selected)" ] && break 2; sleep 0.05; done
  done
  [ -n "$(state_value selected)" ] || fail "N selected no unit"
  echo "windows test: $kind: battle of seed 7, $(state_value player) to play, N selected $(state_value selected)"
  sleep 1 # the selection's highlight settles
  import -window "$(client_of "$win")" "$run/battle.png"
  cp "$state_file" "$run/battle_state.txt"
  press_until Escape state mainmenu "Escape leaves the battle for the menu"
  press_until x state exitscreen "X opens the exit screen"
  for _ in $(seq 1 8); do
    press_key x
    for _ in $(seq 1 80); do kill -0 "$game_pid" 2>/dev/null || break 2; sleep 0.05; done
  done
  kill -0 "$game_pid" 2>/dev/null && fail "$kind: the game did not end after X, X"
  local code=0
  wait "$game_pid" || code=$?
  game_pid=""
  [ "$code" = 0 ] || fail "$kind: exit code $code: $(cat "$run/stderr" | head -20)"
  cmp -s "$run/settings.ini" "$run/settings.before" && fail "$kind: settings.ini was not written back"
  grep -q "^scroll_speed=12" "$run/settings.ini" || fail "$kind: settings.ini lost its keys: $(cat "$run/settings.ini")"
  ls "$run"/settings.ini.tmp-* >/dev/null 2>&1 && fail "$kind: a temporary settings file was left behind"
  echo "windows test: $kind: played in $((SECONDS - started)) s, exit code 0, settings.ini rewritten"
}

play linux
play windows
# The two battles are one: the same report of units, players and tiles.
for key in player units occupied selected; do
  [ "$(grep "^$key=" "$work/linux/battle_state.txt")" = "$(grep "^$key=" "$work/windows/battle_state.txt")" ] ||
    fail "the battles differ in '$key': linux '$(grep "^$key=" "$work/linux/battle_state.txt")', windows '$(grep "^$key=" "$work/windows/battle_state.txt")'"
done
# Debian's own Python, which python3-pil installs into (a user's python3 may be another).
py=/usr/bin/python3
[ -x "$py" ] || py=python3
"$py" scripts/compare_shots.py "$work/linux/battle.png" "$work/windows/battle.png" "$work/difference.png" ||
  fail "the battle under Wine does not look like the Linux build's (see $work)"
echo "windows test: passed in $((SECONDS - start_time)) s"
