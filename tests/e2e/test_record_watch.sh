#!/usr/bin/env bash
# A finished battle is watched from the list of recorded battles to its victory banner, at x4
# and x16, paused and played on; a record is deleted after the question; and SIGTERM ends a
# battle as a confirmed leave would: the record synced with its "left" mark, settings.ini
# written, exit code 0, within a second.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/shots.sh"
printf '[screen]\nis_windowed=true\nleft=0\ntop=0\nright=1024\nbottom=768\nwidth=1024\nheight=768\ndepth=32\nrefresh_rate=60\nadapter=0\npresent_immediate=false\n[misc]\ndebug=0\nshow_moves=true\nshow_names=true\nscroll_speed=12\n' >"$WORK/start/settings.ini"
export HARNVALE_SEED=12
start_game
win=$(wait_window)
xdotool windowfocus "$win"
wait_state logo_phase true "the game opens on the logo"
click 300 300
wait_state state mainmenu "a click ends the logo"

# ---- a battle played to its end: every player but one gives up
key s
wait_state state gameplay "S starts a battle"
for _ in 1 2 3; do
  [ "$(state_value alive)" = 1 ] && break
  alive=$(state_value alive)
  xdotool keydown Control_L x; sleep 0.3; xdotool keyup x Control_L; sleep 0.3
  wait_change alive "$alive" "Ctrl + X gives up" >/dev/null
done
wait_state banner "Victory!" "the battle is won"
key Escape
wait_state state mainmenu "Escape leaves the battle"

# ---- watched from the list
key l
wait_state state loadgame "L opens the list"
wait_state records 1 "the battle is listed"
case "$(state_value record_line)" in *finished*) ;; *) fail "the record reads '$(state_value record_line)'" ;; esac
screenshot record_list
key w
wait_state watch true "W watches the battle"
[ "$(state_value state)" = gameplay ] || fail "watching is not on the battle screen"
[ "$(state_value speed)" = 1 ] || fail "watching starts at x$(state_value speed)"
key f
wait_state speed 4 "F makes it x4"
screenshot record_watch_x4
key p
wait_state paused true "P pauses"
replayed=$(state_value replayed)
sleep 1
[ "$(state_value replayed)" = "$replayed" ] || fail "the record went on while paused"
key p
wait_state paused false "P plays on"
key f
wait_state speed 16 "F again makes it x16"
wait_state replay_over true "the whole record is played"
wait_state banner "Victory!" "a finished battle ends on its victory banner"
screenshot record_watch_victory
sleep 2
[ "$(state_value banner)" = "Victory!" ] || fail "the victory banner faded"
key f
wait_state speed 1 "F cycles back to x1"
key Escape
wait_state state loadgame "Escape goes back to the list"
[ "$(state_value watch)" = "" ] || [ "$(state_value watch)" = false ] || fail "still watching"

# ---- deleted after the question
key d
wait_state asking true "D asks first"
key n
wait_state asking false "N keeps the record"
[ "$(state_value records)" = 1 ] || fail "N deleted the record"
key d
wait_state asking true "D asks again"
key y
wait_state records 0 "Y deletes the record"
ls "$WORK/start/saves/"*.hvr >/dev/null 2>&1 && fail "the file is still there"
key b
wait_state state mainmenu "B goes back to the menu"

# ---- SIGTERM during a battle
key s
wait_state state gameplay "a new battle"
record=$(state_value record)
[ -f "$record" ] || fail "no record file for the new battle: '$record'"
: >"$WORK/start/settings.ini"
start=$(date +%s%N)
kill -TERM "$GAME_PID"
wait_exit
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$EXIT_CODE" = 0 ] || fail "SIGTERM: exit code $EXIT_CODE: $(cat "$WORK/stderr")"
[ "$took" -le 1500 ] || fail "SIGTERM took $took ms to end the program"
[ -n "$(ini_value "$WORK/start/settings.ini" misc show_names)" ] || fail "settings.ini was not written"
tail -n 1 "$record" | grep -q '^left ' || fail "the record does not end with its leave: $(tail -n 2 "$record")"
echo "record watch: ok ($took ms from SIGTERM to exit)"
