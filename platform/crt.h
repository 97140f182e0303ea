// The program's random source. It is the classic linear congruence of the C runtime, kept as
// our own code so that one seed gives the same battle on every platform and in every test.
#pragma once

namespace crt {
constexpr int RAND_MAX_VALUE = 0x7FFF;
// Next number of the sequence, 0..32767.
int rand();
// Restarts the sequence.
void srand(unsigned seed);
// The generator's state, for tests that need to save and restore it.
unsigned get_seed();
} // namespace crt
