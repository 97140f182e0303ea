// The pixels the X server holds for a window (row 0 at the top), for tests of what is shown.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/win32.h"

// False where the window is not an X11 window or cannot be read.
bool read_window_pixels(HWND window, int width, int height, std::vector<std::uint32_t>* out);
