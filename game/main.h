// The program's main routine: start-up, the game-state dispatcher, shutdown.
#pragma once

// Runs the whole program; returns the exit code of a normal end (0).
int main_routine();
