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

// Hands memory the program has freed back to the system. Called after a load that made and
// dropped large buffers (decoded pictures, a battle's set-up): the C runtime otherwise keeps
// what was freed inside its heap resident for the rest of the run.
void return_free_memory();
} // namespace crt
