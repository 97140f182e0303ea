// The pixels the X server holds for a window: what is really on the screen. Apart from the
// tests, whose framework's names clash with the X headers'.
#include "tests/gl/window_pixels.h"

#include <SDL2/SDL_syswm.h>
#include <X11/Xutil.h>

#include "platform/window/window_internal.h"

bool read_window_pixels(HWND window, int width, int height, std::vector<std::uint32_t>* out) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(sdl_window_of(window), &info) || info.subsystem != SDL_SYSWM_X11) return false;
    XImage* image = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return false;
    out->assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            (*out)[static_cast<size_t>(y) * width + x] = static_cast<std::uint32_t>(XGetPixel(image, x, y));
    XDestroyImage(image);
    return true;
}
