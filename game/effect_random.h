// The random stream of what a battle shows but does not decide: particles, shattered pictures,
// flung flags. The battle's own stream (crt::rand) decides the map, the units and every roll;
// keeping the pictures off it means a replay, a loaded battle and a battle watched at another
// speed all draw the same numbers for the same orders.
#pragma once

// Next number of the stream, 0..32767 (the same linear congruence as crt::rand).
int effect_rand();
// Restarts the stream; a battle seeds it from its own seed when it is built.
void effect_srand(unsigned seed);
