#!/usr/bin/env bash
# Display changes from the options screen are applied while the game runs, without an error
# report: to full screen in the adapter's mode and back to the window where it was, then
# vertical sync off and on again, each kept in settings.ini at the end.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/shots.sh"

s="$WORK/start/settings.ini"
printf '[screen]\nis_windowed=1\nleft=30\ntop=20\nright=830\nbottom=620\nwidth=1024\nheight=768\ndepth=32\nrefresh_rate=60\nadapter=0\npresent_immediate=false\n[misc]\ndebug=0\nshow_moves=true\nshow_names=true\nscroll_speed=12\n' >"$s"

geometry() { # prints "x y w h" of the window as the X server has it
  eval "$(xdotool getwindowgeometry --shell "$win")"
  echo "$X $Y $WIDTH $HEIGHT"
}
# Waits (20 s at most) for the window to take a place and size.
wait_geometry() { # "x y w h" what
  for _ in $(seq 1 400); do
    [ "$(geometry)" = "$1" ] && return 0
    kill -0 "$GAME_PID" 2>/dev/null || fail "$2: the game ended: $(cat "$WORK/stderr")"
    sleep 0.05
  done
  fail "$2: window at $(geometry), wanted $1"
}
no_report() {
  [ ! -f "$WORK/start/DATA/error.txt" ] || fail "$1: error report: $(head -3 "$WORK/start/DATA/error.txt")"
  kill -0 "$GAME_PID" 2>/dev/null || fail "$1: the game ended: $(cat "$WORK/stderr")"
}
open_options() {
  key o
  wait_state state options "O opens the options"
  sleep 0.3
}
ok() {
  key a
  wait_state state mainmenu "ok goes back to the menu"
}
start() {
  start_game
  win=$(wait_window)
  xdotool windowfocus "$win"
  wait_state state mainmenu "the game opens on the main menu"
  wait_geometry "30 20 800 600" "the window as settings.ini says"
  click 200 300
  wait_state logo_phase false "a click ends the logo"
}

# ---- full screen and back. In the 800 x 600 window design pixels are window pixels.
start
open_options
click 550 125 # the window-mode field
click 550 189 # "full screen", the list's second row
click 550 160 # the display-mode field, usable now
sleep 0.3
screenshot options_mode_list_open
click 550 194 # the adapter's first mode
ok
read -r mode_w mode_h <<<"$(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')"
wait_geometry "0 0 $mode_w $mode_h" "full screen covers the display"
no_report "full screen"
sleep 0.5
screenshot menu_full_screen
[ "$(brightness 0 0 "$mode_w" "$mode_h")" -gt 20 ] || fail "nothing drawn in full screen"

# Back to the window; the screen is now mode_w x mode_h, so the design space is scaled.
open_options
click $((550 * mode_w / 800)) $((125 * mode_h / 600))
click $((550 * mode_w / 800)) $((140 * mode_h / 600 + 4 + 15))
ok
wait_geometry "30 20 800 600" "the window comes back where it was"
no_report "back to the window"
quit_normally
[ "$(ini_value "$s" screen is_windowed)" = 1 ] || fail "is_windowed $(ini_value "$s" screen is_windowed)"
[ "$(ini_value "$s" screen left)" = 30 ] && [ "$(ini_value "$s" screen top)" = 20 ] &&
  [ "$(ini_value "$s" screen right)" = 830 ] && [ "$(ini_value "$s" screen bottom)" = 620 ] ||
  fail "window rectangle not kept: $(grep -E '^(left|top|right|bottom)=' "$s" | tr '\n' ' ')"
[ "$(ini_value "$s" screen width)" = "$mode_w" ] && [ "$(ini_value "$s" screen height)" = "$mode_h" ] ||
  fail "the chosen mode was not kept"

# ---- vertical sync off, then on again
start
open_options
key v
ok
sleep 1
no_report "vertical sync off"
open_options
key v
ok
sleep 1
no_report "vertical sync on"
quit_normally
[ "$(ini_value "$s" screen present_immediate)" = false ] || fail "present_immediate after on again"
start
open_options
key v
ok
quit_normally
[ "$(ini_value "$s" screen present_immediate)" = true ] || fail "present_immediate after off"
echo "display changes: ok"
