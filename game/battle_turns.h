// The turn rules a battle screen applies, safe on every battle including one in which no turn
// ever started (no unit was placed, so the player manager has no current player).
#pragma once

class c_player;

// The player whose turn it is, or null (no battle, or a battle without units).
c_player* current_player();
// The current player's ready units, 0 without a current player.
int current_ready_count();

// One update step's turn rules: the turn passes when the current player has no ready unit left,
// then, while only one player still owns units, the "victory" banner of [gameplay] is shown again
// in the current player's colour (the survivor's when the current player is gone), so it stays.
void gameplay_turn_step();

// The end-turn button: passes the turn when the current player has no selected unit or the
// selected one reports ready; otherwise (or without a current player) nothing. Answers whether
// the turn passed.
bool gameplay_end_turn();

// One fixed update step of the battle: effects, blinks, the units in action, the turn rules,
// the banner; then the step clock (g_battle_step) and the battle's record. The battle screen
// runs it for every step of its interpolator; a record played back runs it the same way.
void battle_update_step();
