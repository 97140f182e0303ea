// The process entry on Linux: hands over to the program's WinMain as Windows would.
#include "platform/win32.h"

int main() {
    static char command_line[] = "";
    return WinMain(reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x400000)), nullptr, command_line,
                   SW_SHOW);
}
