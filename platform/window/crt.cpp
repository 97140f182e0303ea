// The program's random source, the same on every system (see crt.h), and the heap's trim.
#include "platform/crt.h"

#include <malloc.h> // _heapmin on Windows, malloc_trim elsewhere

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
void return_free_memory() {
#ifdef _WIN32
    _heapmin();
#else
    malloc_trim(0);
#endif
}
} // namespace crt
