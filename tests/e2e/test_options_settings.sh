#!/usr/bin/env bash
# The options screen with real X input: O opens it; the two show switches (M, N) and the
# diagnostics level chosen in its list end up in settings.ini after "ok" and a normal end (X,
# then "yes", exit code 0); a second visit changes things and leaves by "cancel", and
# settings.ini is then exactly as it was. A window of 800 x 600 at the screen's corner puts the
# widgets' design rectangles on the screen's pixels.
source "$(dirname "$0")/lib.sh"
export HARNVALE_CHECK_REDRAW=1
source "$(dirname "$0")/shots.sh"

s="$WORK/start/settings.ini"
printf '[screen]\nis_windowed=1\nleft=0\ntop=0\nright=800\nbottom=600\nwidth=1024\nheight=768\ndepth=32\nrefresh_rate=60\nadapter=0\npresent_immediate=false\n[misc]\ndebug=0\nshow_moves=true\nshow_names=true\nscroll_speed=12\n' >"$s"

open_options() {
  start_game
  win=$(wait_window)
  xdotool windowfocus "$win"
  wait_state state mainmenu "the game opens on the main menu"
  click 200 300
  wait_state logo_phase false "a click ends the logo"
  key o
  wait_state state options "O opens the options"
  sleep 0.3
}

quit_and_check() {
  quit_normally
  [ ! -f "$WORK/start/DATA/error.txt" ] || fail "error report: $(head -3 "$WORK/start/DATA/error.txt")"
  check_redraw
}

# The diagnostics list opens below its field; its items are 30 pixels high under a 4-pixel border.
choose_debug_level() { # level
  click 550 230
  sleep 0.2
  click 550 $((245 + 4 + 30 * $1 + 15))
}

# ---- ok: the switches and the level are kept
open_options
key m
key n
choose_debug_level 2
sleep 0.3
screenshot options_changed
key a
wait_state state mainmenu "ok goes back to the menu"
quit_and_check
[ "$(ini_value "$s" misc show_moves)" = false ] || fail "show_moves $(ini_value "$s" misc show_moves)"
[ "$(ini_value "$s" misc show_names)" = false ] || fail "show_names $(ini_value "$s" misc show_names)"
[ "$(ini_value "$s" misc debug)" = 2 ] || fail "debug $(ini_value "$s" misc debug)"
[ "$(ini_value "$s" screen is_windowed)" = 1 ] || fail "is_windowed $(ini_value "$s" screen is_windowed)"
[ "$(ini_value "$s" screen present_immediate)" = false ] || fail "present_immediate changed"
[ "$(ini_value "$s" misc scroll_speed)" = 12 ] || fail "unrelated keys must survive the write"

# ---- cancel: nothing changes, not even the level that was shown while the screen was open
cp "$s" "$WORK/before_cancel.ini"
open_options
key m
key v
choose_debug_level 3
sleep 0.3
key c
wait_state state mainmenu "cancel goes back to the menu"
quit_and_check
cmp -s "$s" "$WORK/before_cancel.ini" || fail "cancel changed settings.ini: $(diff "$WORK/before_cancel.ini" "$s")"
echo "options settings: ok"
