// The program's main routine: start-up, the game-state dispatcher, shutdown.
#pragma once
#include <string>

#include "framework/core.h"
#include "game/states.h"

extern bool g_show_moves;
extern bool g_show_names;

// Runs the whole program; returns the exit code of a normal end (0).
int main_routine();
