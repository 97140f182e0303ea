// The process entry on Linux: hands over to the program's WinMain as Windows would.
#include <malloc.h>

#include "platform/win32.h"

// window.cpp: SIGTERM, SIGINT and SIGHUP end the program as a logout would.
void platform_install_end_signals();

int main() {
    platform_install_end_signals();
    // One heap for every thread. The picture decoders' threads would each get a heap of their
    // own, and such a heap keeps megabytes freed into it resident for the rest of the run.
    mallopt(M_ARENA_MAX, 1);
    static char command_line[] = "";
    return WinMain(reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x400000)), nullptr, command_line,
                   SW_SHOW);
}
