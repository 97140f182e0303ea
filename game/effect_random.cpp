#include "game/effect_random.h"

namespace {
unsigned g_effect_seed = 1;
}

int effect_rand() {
    g_effect_seed = g_effect_seed * 214013u + 2531011u;
    return static_cast<int>((g_effect_seed >> 16) & 0x7FFF);
}

void effect_srand(unsigned seed) {
    g_effect_seed = seed;
}
