// Rectangles of the back buffer shown on X11 without a swap. Kept apart from the device: the X
// headers that SDL's window information brings define names (None, Status, Bool) that clash
// with the rest of the layer.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <dlfcn.h>

#include <cstring>

#include "platform/d3d9_gl_internal.h"

namespace d3dgl {

namespace {
#if defined(SDL_VIDEO_DRIVER_X11)
using copy_sub_buffer_fn = void (*)(Display*, unsigned long, int, int, int, int);
using query_extensions_fn = const char* (*)(Display*, int);
using current_context_fn = void* (*)();
using get_proc_fn = void* (*)(const unsigned char*);

// GLX itself, from the GL library SDL loaded (privately, so it is asked for by name); SDL's own
// loader would also answer for an EGL context.
template <class F> F glx(const char* name) {
    static void* library = [] {
        void* l = dlopen("libGL.so.1", RTLD_LAZY | RTLD_NOLOAD);
        return l ? l : RTLD_DEFAULT;
    }();
    return reinterpret_cast<F>(dlsym(library, name));
}

struct x11_target {
    Display* display = nullptr;
    unsigned long window = 0;
};

bool target_of(SDL_Window* window, x11_target* out) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    out->display = info.info.x11.display;
    out->window = info.info.x11.window;
    return out->display && out->window;
}

copy_sub_buffer_fn copy_function() {
    static copy_sub_buffer_fn copy = [] {
        auto get = glx<get_proc_fn>("glXGetProcAddressARB");
        return get ? reinterpret_cast<copy_sub_buffer_fn>(
                         get(reinterpret_cast<const unsigned char*>("glXCopySubBufferMESA")))
                   : nullptr;
    }();
    return copy;
}
#endif
} // namespace

bool window_copy_available(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    x11_target t;
    if (!target_of(window, &t) || !copy_function()) return false;
    // Only a GLX context may be given to the copy: SDL may have made an EGL one.
    auto current = glx<current_context_fn>("glXGetCurrentContext");
    auto query = glx<query_extensions_fn>("glXQueryExtensionsString");
    if (!current || !query || !current()) return false;
    const char* extensions = query(t.display, DefaultScreen(t.display));
    return extensions && std::strstr(extensions, "GLX_MESA_copy_sub_buffer") != nullptr;
#else
    (void)window;
    return false;
#endif
}

void window_copy_rect(SDL_Window* window, int x, int y, int width, int height) {
#if defined(SDL_VIDEO_DRIVER_X11)
    x11_target t;
    copy_sub_buffer_fn copy = copy_function();
    if (copy && target_of(window, &t)) copy(t.display, t.window, x, y, width, height);
#else
    (void)window, (void)x, (void)y, (void)width, (void)height;
#endif
}

} // namespace d3dgl
