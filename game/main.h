// The program's main routine: start-up, the game-state dispatcher, shutdown.
#pragma once
#include <string>

#include "framework/core.h"
#include "game/screens/states.h"

// g_show_moves and g_show_names live with the battle's globals (game/battle/gameplay.h).
#include "game/battle/gameplay.h"

// Runs the whole program; returns the exit code of a normal end (0).
int main_routine();
