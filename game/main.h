// The program's main routine: start-up, the game-state dispatcher, shutdown.
#pragma once
#include <string>

#include "framework/core.h"

// Game states: 0 quit, 1 main menu, 2 exit screen, 3 options, 4 gameplay, 5 credits.
extern int g_game_state;

// Runs the whole program; returns the exit code of a normal end (0).
int main_routine();
