#!/usr/bin/env bash
# The game opens its window as settings.ini says, follows moves and resizes, and writes the
# final window rectangle and every setting back when asked to close (twice: the first request
# only asks).
source "$(dirname "$0")/lib.sh"
cp "$SOURCE/scripts/default_settings.ini" "$WORK/start/settings.ini"
start_game
win=$(wait_window)
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$WIDTH" = 1024 ] && [ "$HEIGHT" = 768 ] || fail "client size ${WIDTH}x${HEIGHT}, wanted 1024x768"
caption=$(ini_value "$SOURCE/DATA/stringtable.ini" main caption | sed 's/^"//; s/"$//')
title=$(xdotool getwindowname "$win")
[ "$title" = "$caption" ] || fail "title '$title', wanted '$caption'"

xdotool windowmove "$win" 100 60
sleep 0.4
xdotool windowsize "$win" 800 600
sleep 0.6
kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended after a move and a resize: $(cat "$WORK/stderr")"
eval "$(xdotool getwindowgeometry --shell "$win")"

# One close request asks through the exit screen; a second one while it shows means it.
"$XCLOSE" "$win"
wait_state state exitscreen "a close request opens the exit screen"
kill -0 "$GAME_PID" 2>/dev/null || fail "one close request ended the game"
"$XCLOSE" "$win"
wait_exit; code=$EXIT_CODE
[ "$code" = 0 ] || fail "exit code $code: $(cat "$WORK/stderr")"
s="$WORK/start/settings.ini"
for key in is_windowed left right top bottom width height depth refresh_rate adapter present_immediate; do
  [ -n "$(ini_value "$s" screen "$key")" ] || fail "[screen] $key missing after exit"
done
for key in debug show_names show_moves; do
  [ -n "$(ini_value "$s" misc "$key")" ] || fail "[misc] $key missing after exit"
done
[ "$(ini_value "$s" screen left)" = "$X" ] || fail "left $(ini_value "$s" screen left), window at $X"
[ "$(ini_value "$s" screen top)" = "$Y" ] || fail "top $(ini_value "$s" screen top), window at $Y"
[ "$(ini_value "$s" screen right)" = $((X + 800)) ] || fail "right $(ini_value "$s" screen right)"
[ "$(ini_value "$s" screen bottom)" = $((Y + 600)) ] || fail "bottom $(ini_value "$s" screen bottom)"
[ "$(ini_value "$s" misc scroll_speed)" = 12 ] || fail "unrelated keys must survive the write"
echo "window lifecycle: ok"
