// The process entry on Linux: hands over to the program's WinMain as Windows would.
#include <malloc.h>

#include "platform/win32.h"

int main() {
    // Pictures and texture copies come in buffers of megabytes that live briefly, on the
    // program's thread and on the picture decoders'. Mapped and unmapped whole, a freed one
    // never stays resident: with the allocator's adaptive threshold such buffers move into the
    // heaps once the first is freed, and each thread's heap may then keep twice that much free.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    static char command_line[] = "";
    return WinMain(reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x400000)), nullptr, command_line,
                   SW_SHOW);
}
