#!/usr/bin/env bash
# A battle survives a killed process: a seeded battle is played by mouse and keys, the game is
# killed with SIGKILL in the middle of a turn, started again, and "Load a battle" continues it:
# the same units, hit points and current player as just before the kill; an attack then has the
# outcome it has in a run of the same orders that was never interrupted.
source "$(dirname "$0")/lib.sh"
printf '[screen]\nis_windowed=true\nleft=0\ntop=0\nright=1024\nbottom=768\nwidth=1024\nheight=768\ndepth=32\nrefresh_rate=60\nadapter=0\npresent_immediate=false\n[misc]\ndebug=0\nshow_moves=true\nshow_names=true\nscroll_speed=12\n' >"$WORK/start/settings.ini"
export HARNVALE_SEED=7


# Selects by a click the first ready unit on screen whose report line `key` has a tile on screen.
select_unit_with() { # key
  local unit
  for unit in $(state_value units); do
    [ -n "$(on_field "$unit")" ] || continue
    # shellcheck disable=SC2046
    click $(point_of "$unit")
    wait_state selected "$unit" "selecting $unit by a click"
    if [ -n "$(on_field "$(state_value "$1")")" ] || { [ "$1" = move_keys ] && [ -n "$(state_value move_keys)" ]; }; then
      echo "$unit"; return 0
    fi
  done
  return 1
}

to_menu() {
  wait_window >/dev/null
  win=$(wait_window)
  xdotool windowfocus "$win"
  wait_state logo_phase true "the game opens on the logo"
  click 300 300
  wait_state state mainmenu "a click ends the logo"
}

# The same orders in both runs: a move by the mouse, a keypad move, the next unit (N).
give_orders() {
  key s
  wait_state state gameplay "S starts a battle"
  select_unit_with moves >/dev/null || fail "no unit can move"
  local target
  target=$(on_field "$(state_value moves)")
  # shellcheck disable=SC2046
  click $(point_of "$target")
  wait_state busy false
  select_unit_with move_keys >/dev/null || fail "no unit can walk by keypad"
  key "KP_$(state_value move_keys | cut -c1)"
  wait_state busy false
  sleep 0.5
  wait_state busy false
}

attack() {
  local key=attacks target
  select_unit_with attacks >/dev/null || { key=targets; select_unit_with targets >/dev/null; } ||
    fail "no unit of $(state_value player) can attack"
  target=$(on_field "$(state_value $key)")
  # shellcheck disable=SC2046
  click $(point_of "$target")
  sleep 0.5
  wait_state busy false
  sleep 1 # the attacker's turn bookkeeping and any turn change
  wait_state busy false
}

snapshot() { for k in player ready hp turns count; do echo "$k=$(state_value $k)"; done; }

# ---- an uninterrupted run: the orders, then an attack
start_game
to_menu
give_orders
attack
uninterrupted=$(snapshot)
key Escape
wait_state state mainmenu "Escape leaves the battle"
quit_normally
ls "$WORK/start/saves/"*.hvr >/dev/null 2>&1 || fail "no record was written beside settings.ini"
rm -rf "$WORK/start/saves"

# ---- the same orders, then SIGKILL in the middle of the turn
start_game
to_menu
give_orders
before=$(snapshot)
[ -n "$(state_value hp)" ] || fail "the report lists no units"
[ -n "$(state_value record)" ] || fail "the battle is not being recorded"
kill -KILL "$GAME_PID"
wait "$GAME_PID" 2>/dev/null || true
GAME_PID=""

# ---- started again: Load a battle, continue
start_game
to_menu
key l
wait_state state loadgame "L opens the list of recorded battles"
wait_state records 1 "the killed battle is listed"
case "$(state_value record_line)" in *"in play"*) ;; *) fail "the record reads '$(state_value record_line)'" ;; esac
key c
wait_state state gameplay "C continues the battle"
after=$(snapshot)
[ "$before" = "$after" ] || fail "the loaded battle differs from the one killed:
before: $before
after:  $after"
attack
resumed=$(snapshot)
[ "$uninterrupted" = "$resumed" ] || fail "the attack after loading ended otherwise:
uninterrupted: $uninterrupted
resumed:       $resumed"
key Escape
wait_state state mainmenu "Escape leaves the continued battle"
quit_normally
echo "record resume: ok"
