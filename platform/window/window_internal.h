// What the other parts of the platform layer need to know about a window. Nothing above the
// platform layer includes this.
#pragma once
#include <SDL2/SDL.h>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

struct HWND__ {
    SDL_Window* sdl = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    std::string class_name;
    // What the window procedure was last told, so each change is reported once.
    int known_x = 0, known_y = 0, known_w = 0, known_h = 0;
    bool minimized = false;
    bool focused = false;
    // Counts the times the window was shown, exposed, moved or sized: what it shows may have
    // been lost, so the next frame is shown whole.
    unsigned shown_serial = 0;
};

struct HICON__ {
    SDL_Surface* surface = nullptr; // null for the stock application icon
};

// Makes sure the SDL video subsystem runs; false when there is no display.
bool platform_video_init();
// SIGTERM, SIGINT and SIGHUP end the program as a logout does (WM_ENDSESSION); called by the
// entry point and by platform_video_init.
void platform_install_end_signals();
SDL_Window* sdl_window_of(HWND window);
// Input events taken out of the queue by the message pump are handed to the input layer here.
void dinput_handle_event(const SDL_Event& event);
// True when no person can answer a dialog (no display, or an automated run).
bool platform_noninteractive();
// The code points of a UTF-8 string; a malformed sequence gives U+FFFD and decoding goes on.
std::vector<std::uint32_t> platform_decode_utf8(const char* text);
