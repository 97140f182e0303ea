#!/usr/bin/env bash
# The credits and the exit screen with real X input: C opens the credits (stars and the first
# entry on black), Escape and the left button each go back to the menu; X asks before leaving,
# "no" (C) stays, X then "yes" (X) ends the game with exit code 0.
source "$(dirname "$0")/lib.sh"
export HARNVALE_CHECK_REDRAW=1
source "$(dirname "$0")/shots.sh"
cp "$SOURCE/scripts/default_settings.ini" "$WORK/start/settings.ini"

start_game
win=$(wait_window)
xdotool windowfocus "$win"
eval "$(xdotool getwindowgeometry --shell "$win")"
wait_state state mainmenu "the game opens on the main menu"
key Escape
wait_state logo_phase false "Escape ends the logo"

key c
wait_state state credits "C opens the credits"
sleep 1.5
screenshot credits_running
# Black with a few stars and one line of text: dark, but not empty.
b=$(brightness "$X" "$Y" "$WIDTH" "$HEIGHT")
[ "$b" -lt 40 ] || fail "the credits are not on black (brightness $b)"
import -window root "$WORK/credits.png"
stars=$(convert "$WORK/credits.png" -crop "${WIDTH}x$((HEIGHT / 3))+$X+$Y" -colorspace Gray -threshold 30% \
  -format '%[fx:int(mean*w*h)]' info:)
[ "$stars" -gt 20 ] || fail "no stars above the entry ($stars bright pixels)"
key Escape
wait_state state mainmenu "Escape goes back to the menu"

key c
wait_state state credits "C opens the credits again"
xdotool mousemove --window "$win" 300 300
sleep 0.3
xdotool mousedown 1
sleep 0.3
xdotool mouseup 1
wait_state state mainmenu "the left button goes back to the menu"

key x
wait_state state exitscreen "X opens the exit screen"
sleep 0.3
screenshot exit_screen_asks
key c
wait_state state mainmenu "no stays in the game"
key x
wait_state state exitscreen "X opens the exit screen again"
key x
wait_exit
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE: $(cat "$WORK/stderr")"
[ ! -f "$WORK/start/DATA/error.txt" ] || fail "error report: $(head -3 "$WORK/start/DATA/error.txt")"
check_redraw
echo "credits and exit: ok"
