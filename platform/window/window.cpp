// user32 subset on SDL2: one SDL window per CreateWindowExA, SDL events turned into the
// window messages the program's window procedure handles.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "platform/image/image_decode.h"
#include "platform/window/window_internal.h"

namespace {
std::map<std::string, WNDCLASSEXA> g_classes;
std::set<HWND> g_windows;
std::deque<MSG> g_queue;
int g_cursor_count = 0;
HICON__ g_application_icon;

bool is_windowed_style(DWORD style) {
    return (style & WS_POPUP) == 0;
}

void borders_of(HWND w, int& top, int& left, int& bottom, int& right) {
    top = left = bottom = right = 0;
    if (SDL_GetWindowBordersSize(w->sdl, &top, &left, &bottom, &right) != 0) top = left = bottom = right = 0;
}

LRESULT send(HWND w, UINT message, WPARAM wparam, LPARAM lparam) {
    return w->proc ? w->proc(w, message, wparam, lparam) : 0;
}

void post(HWND w, UINT message, WPARAM wparam, LPARAM lparam) {
    g_queue.push_back(MSG{w, message, wparam, lparam, GetTickCount(), {0, 0}});
}

HWND window_of_id(Uint32 id) {
    for (HWND w : g_windows)
        if (SDL_GetWindowID(w->sdl) == id) return w;
    return nullptr;
}

// Reports a changed client position or size; unchanged values say nothing, so a window that is
// placed where it already is does not start another reset.
void note_geometry(HWND w, bool deliver_now) {
    int x, y, cw, ch;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    SDL_GetWindowSize(w->sdl, &cw, &ch);
    auto emit = [deliver_now](HWND h, UINT m, WPARAM wp, LPARAM lp) {
        if (deliver_now)
            send(h, m, wp, lp);
        else
            post(h, m, wp, lp);
    };
    if (w->minimized) return;
    if (x != w->known_x || y != w->known_y) {
        w->known_x = x;
        w->known_y = y;
        emit(w, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    }
    if (cw != w->known_w || ch != w->known_h) {
        w->known_w = cw;
        w->known_h = ch;
        emit(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(static_cast<WORD>(cw), static_cast<WORD>(ch)));
    }
}

// Typed text arrives as UTF-8; Windows hands a window one WM_CHAR per UTF-16 code unit, so a
// character beyond the first plane comes as its two surrogates.
void post_typed_text(const SDL_TextInputEvent& text) {
    HWND w = window_of_id(text.windowID);
    if (!w && !g_windows.empty()) w = *g_windows.begin();
    if (!w) return;
    for (std::uint32_t cp : platform_decode_utf8(text.text)) {
        if (cp < 0x10000) {
            post(w, WM_CHAR, cp, 1);
        } else {
            cp -= 0x10000;
            post(w, WM_CHAR, 0xD800 + (cp >> 10), 1);
            post(w, WM_CHAR, 0xDC00 + (cp & 0x3FF), 1);
        }
    }
}

void translate(const SDL_Event& e) {
    if (e.type == SDL_TEXTINPUT) {
        post_typed_text(e.text);
        return;
    }
    if (e.type == SDL_QUIT) {
        if (!g_windows.empty()) post(*g_windows.begin(), WM_CLOSE, 0, 0);
        return;
    }
    if (e.type != SDL_WINDOWEVENT) {
        dinput_handle_event(e);
        return;
    }
    HWND w = window_of_id(e.window.windowID);
    if (!w) return;
    switch (e.window.event) {
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
        ++w->shown_serial;
        break;
    default:
        break;
    }
    switch (e.window.event) {
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        note_geometry(w, false);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        if (!w->minimized) {
            w->minimized = true;
            post(w, WM_SIZE, SIZE_MINIMIZED, 0);
        }
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
        if (w->minimized) {
            w->minimized = false;
            w->known_w = w->known_h = -1; // the restore is reported as a size
        }
        note_geometry(w, false);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        w->focused = true;
        post(w, WM_ACTIVATE, WA_ACTIVE, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        w->focused = false;
        post(w, WM_ACTIVATE, WA_INACTIVE, 0);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        post(w, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void apply_style(HWND w, DWORD style) {
    w->style = style;
    bool popup = !is_windowed_style(style);
    SDL_SetWindowBordered(w->sdl, popup ? SDL_FALSE : SDL_TRUE);
    bool sizeable = !popup && (style & WS_THICKFRAME) != 0;
    SDL_SetWindowResizable(w->sdl, sizeable ? SDL_TRUE : SDL_FALSE);
}
} // namespace

namespace {
// Drivers that open no window anyone can see.
bool is_invisible_driver(const char* name) {
    return name && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0);
}
} // namespace

namespace {
// Set by SIGTERM, SIGINT and SIGHUP (the system or the session asking the program to end);
// PeekMessageA turns it into WM_ENDSESSION for the program's window, as a logout does on Windows.
volatile std::sig_atomic_t g_end_requested = 0;

extern "C" void on_end_signal(int) {
    g_end_requested = 1;
}
} // namespace

void platform_install_end_signals() {
    struct sigaction action {};
    action.sa_handler = on_end_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

bool platform_video_init() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // SDL's own handlers would turn the signals into a quit event, which reads as a close
    // request and waits on the exit screen.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    platform_install_end_signals();
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (asked && *asked) return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    // Left to choose, SDL falls back to a driver without a window when the display refuses a
    // connection, and the game would then play on where nobody can see or end it. A display
    // that is busy for a moment (another program closing, a loaded machine) is asked again;
    // one that stays unreachable is reported as no display.
    constexpr int attempts = 5;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            const char* driver = SDL_GetCurrentVideoDriver();
            if (!is_invisible_driver(driver)) return true;
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "harnvale: unable to open the display \"%s\" (attempt %d of %d)\n",
                     display ? display : "", attempt, attempts);
        if (attempt < attempts) SDL_Delay(250u * static_cast<Uint32>(attempt));
    }
    SDL_SetError("Unable to open a display.");
    return false;
}

bool platform_noninteractive() {
    const char* flag = std::getenv("HARNVALE_NONINTERACTIVE");
    if (flag && *flag && std::string(flag) != "0") return true;
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    return !(x && *x) && !(wl && *wl);
}

SDL_Window* sdl_window_of(HWND window) {
    return window ? window->sdl : nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
    if (!wc || !wc->lpszClassName || wc->cbSize != sizeof(WNDCLASSEXA)) return 0;
    if (g_classes.count(wc->lpszClassName)) return 0;
    g_classes[wc->lpszClassName] = *wc;
    return static_cast<ATOM>(g_classes.size());
}

BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE) {
    if (!class_name || !g_classes.count(class_name)) return FALSE;
    for (HWND w : g_windows)
        if (w->class_name == class_name) return FALSE; // still in use, as on Windows
    g_classes.erase(class_name);
    return TRUE;
}

// The X server keeps a window's place in 16 bits and its size in 15 (a larger request is cut
// off on the wire). Kept within them here, so the sums of place, size and frame made later can
// never overflow, whatever edges a settings file holds.
namespace {
void x11_geometry(int& x, int& y, int& width, int& height) {
    x = std::clamp(x, -32768, 32767);
    y = std::clamp(y, -32768, 32767);
    width = std::clamp(width, -32767, 32767);
    height = std::clamp(height, -32767, 32767);
}
} // namespace

HWND CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR caption, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, void*) {
    if (!class_name || !g_classes.count(class_name)) return nullptr;
    // Windows makes windows of no size; SDL needs at least one pixel.
    width = std::max(1, width);
    height = std::max(1, height);
    x11_geometry(x, y, width, height);
    if (!platform_video_init()) return nullptr;
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (!is_windowed_style(style))
        flags |= SDL_WINDOW_BORDERLESS;
    else if (style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    SDL_Window* sdl = SDL_CreateWindow(caption ? caption : "", x, y, width, height, flags);
    if (!sdl) return nullptr;
    HWND w = new HWND__;
    w->sdl = sdl;
    w->style = style;
    w->class_name = class_name;
    w->proc = g_classes[class_name].lpfnWndProc;
    HICON icon = g_classes[class_name].hIcon;
    if (icon && icon->surface) SDL_SetWindowIcon(sdl, icon->surface);
    // The size asked for is the outer rectangle; the frame, once known, comes off the client.
    int top, left, bottom, right;
    borders_of(w, top, left, bottom, right);
    if (top || left || bottom || right) {
        SDL_SetWindowSize(sdl, std::max(1, width - left - right), std::max(1, height - top - bottom));
        SDL_SetWindowPosition(sdl, x + left, y + top);
    }
    SDL_GetWindowPosition(sdl, &w->known_x, &w->known_y);
    SDL_GetWindowSize(sdl, &w->known_w, &w->known_h);
    g_windows.insert(w);
    // Typed characters reach the window as WM_CHAR while it exists.
    SDL_StartTextInput();
    return w;
}

BOOL DestroyWindow(HWND w) {
    if (!g_windows.erase(w)) return FALSE;
    for (auto it = g_queue.begin(); it != g_queue.end();)
        it = it->hwnd == w ? g_queue.erase(it) : it + 1;
    SDL_DestroyWindow(w->sdl);
    delete w;
    if (g_windows.empty()) SDL_StopTextInput();
    return TRUE;
}

BOOL ShowWindow(HWND w, int command) {
    if (!g_windows.count(w)) return FALSE;
    bool was_visible = (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_MINIMIZE) {
        SDL_MinimizeWindow(w->sdl);
        if (!w->minimized) {
            w->minimized = true;
            send(w, WM_SIZE, SIZE_MINIMIZED, 0);
        }
    } else if (command == SW_SHOW) {
        SDL_ShowWindow(w->sdl);
        if (w->minimized) {
            SDL_RestoreWindow(w->sdl);
            w->minimized = false;
            w->known_w = w->known_h = -1;
            note_geometry(w, true);
        }
    }
    return was_visible ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND w, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    if (!g_windows.count(w)) return FALSE;
    if (insert_after == HWND_TOPMOST) SDL_SetWindowAlwaysOnTop(w->sdl, SDL_TRUE);
    if (insert_after == HWND_NOTOPMOST) SDL_SetWindowAlwaysOnTop(w->sdl, SDL_FALSE);
    int top, left, bottom, right;
    borders_of(w, top, left, bottom, right);
    // SDL waits for the X server to confirm a move or resize; asking for the place the window
    // already has would only wait for a confirmation that never comes.
    int cur_x, cur_y, cur_w, cur_h;
    SDL_GetWindowPosition(w->sdl, &cur_x, &cur_y);
    SDL_GetWindowSize(w->sdl, &cur_w, &cur_h);
    x11_geometry(x, y, cx, cy);
    int want_w = std::max(1, cx - left - right), want_h = std::max(1, cy - top - bottom);
    if (!(flags & SWP_NOSIZE) && cx > 0 && cy > 0 && (want_w != cur_w || want_h != cur_h))
        SDL_SetWindowSize(w->sdl, want_w, want_h);
    if (!(flags & SWP_NOMOVE) && (x + left != cur_x || y + top != cur_y))
        SDL_SetWindowPosition(w->sdl, x + left, y + top);
    if (flags & SWP_SHOWWINDOW) SDL_ShowWindow(w->sdl);
    note_geometry(w, true);
    return TRUE;
}

LONG SetWindowLongA(HWND w, int index, LONG value) {
    if (!g_windows.count(w) || index != GWL_STYLE) return 0;
    LONG old = static_cast<LONG>(w->style);
    apply_style(w, static_cast<DWORD>(value));
    return old;
}

BOOL GetWindowRect(HWND w, RECT* rect) {
    if (!g_windows.count(w) || !rect) return FALSE;
    int x, y, cw, ch, top, left, bottom, right;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    SDL_GetWindowSize(w->sdl, &cw, &ch);
    borders_of(w, top, left, bottom, right);
    *rect = RECT{x - left, y - top, x + cw + right, y + ch + bottom};
    return TRUE;
}

BOOL GetClientRect(HWND w, RECT* rect) {
    if (!g_windows.count(w) || !rect) return FALSE;
    int cw = 0, ch = 0;
    if (!w->minimized) SDL_GetWindowSize(w->sdl, &cw, &ch);
    *rect = RECT{0, 0, cw, ch};
    return TRUE;
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            translate(e);
    }
    if (g_end_requested && !g_windows.empty()) {
        g_end_requested = 0;
        post(*g_windows.begin(), WM_ENDSESSION, TRUE, 0);
    }
    for (auto it = g_queue.begin(); it != g_queue.end(); ++it) {
        if (window && it->hwnd != window) continue;
        if ((filter_min || filter_max) && (it->message < filter_min || it->message > filter_max)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) g_queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !g_windows.count(msg->hwnd)) return 0;
    return send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

int ShowCursor(BOOL show) {
    g_cursor_count += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(g_cursor_count >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return g_cursor_count;
}

BOOL ClipCursor(const RECT* rect) {
    for (HWND w : g_windows) {
        if (!rect) {
            SDL_SetWindowMouseRect(w->sdl, nullptr);
            continue;
        }
        int x, y;
        SDL_GetWindowPosition(w->sdl, &x, &y);
        SDL_Rect r{rect->left - x, rect->top - y, rect->right - rect->left, rect->bottom - rect->top};
        SDL_SetWindowMouseRect(w->sdl, &r);
    }
    return TRUE;
}

BOOL GetCursorPos(POINT* point) {
    if (!point) return FALSE;
    int x = 0, y = 0;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        *point = POINT{0, 0};
        return TRUE;
    }
    // Over one of our windows the position SDL tracks from pointer events is current; SDL's
    // global query may be a cached value on X servers without raw input events.
    if (SDL_Window* over = SDL_GetMouseFocus()) {
        int wx, wy;
        SDL_GetMouseState(&x, &y);
        SDL_GetWindowPosition(over, &wx, &wy);
        *point = POINT{wx + x, wy + y};
        return TRUE;
    }
    SDL_GetGlobalMouseState(&x, &y);
    *point = POINT{x, y};
    return TRUE;
}

HANDLE LoadImageA(HINSTANCE, LPCSTR name, UINT type, int, int, UINT flags) {
    if (!name || type != IMAGE_ICON || !(flags & LR_LOADFROMFILE)) return nullptr;
    image_header header;
    if (!read_image_header(name, &header, nullptr) || header.format != image_file_format::ico) return nullptr;
    SDL_Surface* s = decode_image_file(name, nullptr, nullptr);
    if (!s) return nullptr;
    HICON icon = new HICON__;
    icon->surface = s;
    return icon;
}

HICON LoadIconA(HINSTANCE, LPCSTR) {
    return &g_application_icon;
}

BOOL DestroyIcon(HICON icon) {
    if (!icon || icon == &g_application_icon) return FALSE; // the stock icon is not ours to free
    for (auto& entry : g_classes)
        if (entry.second.hIcon == icon || entry.second.hIconSm == icon) return FALSE; // still in use
    SDL_FreeSurface(icon->surface);
    delete icon;
    return TRUE;
}
HCURSOR LoadCursorA(HINSTANCE, LPCSTR) {
    return &g_application_icon;
}

short GetKeyState(int virtual_key) {
    SDL_Keymod mod = SDL_GetModState();
    bool on = false;
    if (virtual_key == VK_CAPITAL)
        on = mod & KMOD_CAPS;
    else if (virtual_key == VK_NUMLOCK)
        on = mod & KMOD_NUM;
    else if (virtual_key == VK_SCROLL)
        on = mod & KMOD_SCROLL;
    return on ? 1 : 0;
}

BOOL EqualRect(const RECT* a, const RECT* b) {
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom ? TRUE
                                                                                                    : FALSE;
}

BOOL PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom ? TRUE : FALSE;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    if (platform_noninteractive() || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, caption ? caption : "",
                                                              text ? text : "", nullptr) != 0) {
        std::fprintf(stderr, "%s\n%s\n", caption ? caption : "", text ? text : "");
    }
    return 1; // IDOK
}

#if defined(__SANITIZE_ADDRESS__)
// Leak checks of sanitizer builds skip what system libraries lose once per process and is not
// ours to fix: D-Bus while SDL's video starts, fontconfig while it parses its configuration.
// It lives here because every program that opens a window or draws text links this unit.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n";
}
#endif
