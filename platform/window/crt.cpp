// The program's random source, the same on every system (see crt.h).
#include "platform/crt.h"

namespace crt {
namespace {
unsigned g_seed = 1;
}
int rand() {
    g_seed = g_seed * 214013u + 2531011u;
    return static_cast<int>((g_seed >> 16) & 0x7FFF);
}
void srand(unsigned seed) {
    g_seed = seed;
}
unsigned get_seed() {
    return g_seed;
}
} // namespace crt
