#!/usr/bin/env bash
# A whole game as a player plays it, with real X input: the opening logo, the menu, a battle
# started with S, units selected, moved and set to attack with the mouse, a keypad order, the
# next ready unit (N), the end of a turn (E) and its banner, the minimap moving the view, every
# player but one giving up (Ctrl + X) and the victory banner staying, Escape to the menu, and
# the close request asking through the exit screen. Each step is checked in the state the game
# reports (the screenshots of these moments come from the real-device screen test).
source "$(dirname "$0")/lib.sh"
export HARNVALE_CHECK_REDRAW=1
printf '[screen]\nis_windowed=true\nleft=0\ntop=0\nright=1024\nbottom=768\nwidth=1024\nheight=768\ndepth=32\nrefresh_rate=60\nadapter=0\npresent_immediate=false\n[misc]\ndebug=0\nshow_moves=true\nshow_names=true\nscroll_speed=12\n' >"$WORK/start/settings.ini"
# One battle every run: a map larger than the screen, so the minimap can move the view.
export HARNVALE_SEED=7
start_game
win=$(wait_window)
xdotool windowfocus "$win"

# ---- the opening logo fades in; a click shows the menu without it
wait_state logo_phase true "the game opens on the logo"
for _ in $(seq 1 200); do [ "$(state_value logo)" -ge 30 ] && break; sleep 0.05; done
first=$(state_value logo)
[ "$first" -ge 30 ] || fail "the logo does not fade in"
click_at "$win" 300 300
wait_state logo_phase false "a click ends the logo"
[ "$(state_value logo)" = 0 ] || fail "the logo is still drawn after the click"
[ "$(state_value state)" = mainmenu ] || fail "no main menu after the logo"

# ---- S starts a battle; its first banner names the first player
press_key s
wait_state state gameplay "S starts a battle"
player=$(state_value player)
[ -n "$player" ] || fail "no player's turn at the start"
[ "$(state_value banner)" = "$player" ] || fail "banner '$(state_value banner)', wanted '$player'"
occupied() { case " $(state_value occupied) " in *" $1 "*) return 0 ;; esac; return 1; }

# Selects, by clicking, a ready unit of the current player whose report line `key` is not
# empty; prints that unit. Fails when no unit on screen has one.
select_unit_with() { # key
  local unit
  for unit in $(state_value units); do
    [ -n "$(on_field "$unit")" ] || continue
    # shellcheck disable=SC2046
    click_at "$win" $(point_of "$unit")
    wait_state selected "$unit" "selecting $unit by a click"
    if [ -n "$(on_field "$(state_value "$1")")" ] || { [ "$1" = move_keys ] && [ -n "$(state_value move_keys)" ]; }; then
      echo "$unit"; return 0
    fi
  done
  fail "no unit of $(state_value player) on screen has $1"
}

# ---- the mouse selects a unit and moves it
unit=$(select_unit_with moves)
target=$(on_field "$(state_value moves)")
# shellcheck disable=SC2046
click_at "$win" $(point_of "$target")
wait_state busy false
for _ in $(seq 1 100); do occupied "$(tile_of "$target")" && ! occupied "$(tile_of "$unit")" && break; sleep 0.05; done
occupied "$(tile_of "$target")" || fail "the unit did not arrive on $(tile_of "$target")"
occupied "$(tile_of "$unit")" && fail "the unit is still on $(tile_of "$unit")"

# ---- the mouse sets a unit to attack (a strike or a shot)
ready=$(state_value ready)
key=attacks
unit=$(select_unit_with attacks 2>/dev/null) || { key=targets; unit=$(select_unit_with targets); }
target=$(on_field "$(state_value $key)")
# shellcheck disable=SC2046
click_at "$win" $(point_of "$target")
wait_state busy false
wait_change ready "$ready" "the attacker spent its turn" >/dev/null

# ---- a keypad order walks the selected unit
unit=$(select_unit_with move_keys)
digit=$(state_value move_keys | cut -c1)
press_key "KP_$digit"
for _ in $(seq 1 100); do ! occupied "$(tile_of "$unit")" && break; sleep 0.05; done
occupied "$(tile_of "$unit")" && fail "keypad $digit did not move the unit on $(tile_of "$unit")"
wait_state busy false

# ---- N selects the next ready unit
selected=$(state_value selected)
press_key n
next=$(wait_change selected "$selected" "N selects the next ready unit")
[ -n "$next" ] || fail "N left nothing selected"
case " $(state_value units) " in *" $next "*) ;; *) fail "N selected $next, which is not ready" ;; esac

# ---- E ends the turn; the banner names the next player
player=$(state_value player)
press_key e
next_player=$(wait_change player "$player" "E ends the turn")
wait_state banner "$next_player" "the banner names the next player"

# ---- a click on the minimap moves the view
view=$(state_value view)
click_at "$win" 118 760
wait_change view "$view" "a click on the minimap moves the view" >/dev/null

# ---- every player but one gives up; the victory banner stays
for _ in 1 2 3; do
  [ "$(state_value alive)" = 1 ] && break
  alive=$(state_value alive)
  press_key Control_L x
  wait_change alive "$alive" "Ctrl + X gives up the current player's units" >/dev/null
done
wait_state banner "Victory!" "one player left: the victory banner"
sleep 2 # a turn's banner would have faded by now
[ "$(state_value banner)" = "Victory!" ] || fail "the victory banner faded"

# ---- Escape leaves the battle
press_key Escape
wait_state state mainmenu "Escape returns to the menu"
[ -z "$(state_value player)" ] || fail "the battle was not released"

# ---- a close request asks; "no" returns to the battle, "yes" ends the program
press_key s
wait_state state gameplay "a second battle"
count=$(state_value count)
"$XCLOSE" "$win"
wait_state state exitscreen "a close request shows the exit screen"
press_key c
wait_state state gameplay "\"no\" returns to the battle"
[ "$(state_value count)" = "$count" ] || fail "the battle changed behind the exit screen"
"$XCLOSE" "$win"
wait_state state exitscreen "a second close request asks again"
press_key x
wait_exit
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE: $(cat "$WORK/stderr")"
check_redraw
s="$WORK/start/settings.ini"
for key in is_windowed left right top bottom width height depth refresh_rate adapter present_immediate; do
  [ -n "$(ini_value "$s" screen "$key")" ] || fail "[screen] $key missing after exit"
done
for key in debug show_names show_moves scroll_speed; do
  [ -n "$(ini_value "$s" misc "$key")" ] || fail "[misc] $key missing after exit"
done
echo "play a battle: ok"
