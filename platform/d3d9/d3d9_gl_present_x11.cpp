// Rectangles of the back buffer shown on X11 without a swap. Kept apart from the device: the X
// headers that SDL's window information brings define names (None, Status, Bool) that clash
// with the rest of the layer.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "platform/d3d9/d3d9_gl_internal.h"

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

// Xlib, loaded by SDL and the GL library.
template <class F> F xlib(const char* name) {
    static void* library = [] {
        void* l = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        return l ? l : RTLD_DEFAULT;
    }();
    return reinterpret_cast<F>(dlsym(library, name));
}
using get_attributes_fn = int (*)(Display*, Window, XWindowAttributes*);
using translate_fn = int (*)(Display*, Window, Window, int, int, int*, int*, Window*);
using get_image_fn = XImage* (*)(Display*, Drawable, int, int, unsigned, unsigned, unsigned long, int);
using error_handler = int (*)(Display*, XErrorEvent*);
using set_handler_fn = error_handler (*)(error_handler);
int ignore_error(Display*, XErrorEvent*) {
    return 0;
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

bool window_pixels(SDL_Window* window, int width, int height, RECT* visible, std::vector<uint32_t>* out) {
#if defined(SDL_VIDEO_DRIVER_X11)
    x11_target t;
    auto attributes = xlib<get_attributes_fn>("XGetWindowAttributes");
    auto translate = xlib<translate_fn>("XTranslateCoordinates");
    auto get_image = xlib<get_image_fn>("XGetImage");
    if (!target_of(window, &t) || !attributes || !translate || !get_image) return false;
    XWindowAttributes w, root;
    if (!attributes(t.display, t.window, &w) || w.map_state != IsViewable || w.width != width ||
        w.height != height || !attributes(t.display, w.root, &root))
        return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!translate(t.display, t.window, w.root, 0, 0, &x, &y, &child)) return false;
    // X reads only what lies on the screen.
    const RECT v{std::max(0, -x), std::max(0, -y), std::min(width, root.width - x),
                 std::min(height, root.height - y)};
    if (v.right <= v.left || v.bottom <= v.top) return false;
    const int vw = v.right - v.left, vh = v.bottom - v.top;
    // A window unmapped since it was asked about makes the read fail with an X error, whose
    // default handler would end the program: the read then gives nothing.
    auto set_handler = xlib<set_handler_fn>("XSetErrorHandler");
    if (!set_handler) return false;
    error_handler before = set_handler(ignore_error);
    XImage* image = get_image(t.display, t.window, v.left, v.top, static_cast<unsigned>(vw),
                              static_cast<unsigned>(vh), ~0ul, ZPixmap);
    set_handler(before);
    if (!image) return false;
    const bool read = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
    if (read) {
        *visible = v;
        out->resize(static_cast<size_t>(vw) * vh);
        for (int row = 0; row < vh; ++row) {
            uint32_t* to = out->data() + static_cast<size_t>(row) * vw;
            std::memcpy(to, image->data + static_cast<size_t>(row) * image->bytes_per_line,
                        static_cast<size_t>(vw) * 4);
            for (int i = 0; i < vw; ++i)
                to[i] &= 0x00FFFFFFu;
        }
    }
    image->f.destroy_image(image);
    return read;
#else
    (void)window, (void)width, (void)height, (void)visible, (void)out;
    return false;
#endif
}

} // namespace d3dgl
