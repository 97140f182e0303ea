// The core: construction, the window and its procedure, the clock, DirectInput and the state
// dump. The device half lives in core_device.cpp.
#include "framework/core.h"

#include <algorithm>
#include <climits>

#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/misc.h"
#include "platform/wingdi.h"

c_core* c_core::instance_ = nullptr;
c_core* g_core = nullptr;
IDirect3D9* g_d3d = nullptr;
IDirect3DDevice9* g_device = nullptr;
IDirect3D9* (*g_direct3d_create)(UINT) = Direct3DCreate9;

namespace {
BYTE g_key_state[256];
std::u16string g_typed_chars;
const char* const CORE_FILE_FUNCTION_CTOR = "c_core::c_core";
} // namespace

// ---- construction ----------------------------------------------------------------------------

c_core::c_core(const std::string& caption_, const std::string& icon_file_, const settings_record& settings_,
               int diagnostics_mode_, DWORD option_flags_) {
    if (instance_)
        HV_RAISE("There can only be one core object in existence at a time.", CORE_FILE_FUNCTION_CTOR, 0,
                 nullptr);
    instance_ = this;
    // A core that fails half way gives back what it made, so no dangling instance is left.
    try {
        construct(caption_, icon_file_, settings_, diagnostics_mode_, option_flags_);
    } catch (...) {
        release_all();
        throw;
    }
}

void c_core::construct(const std::string& caption_, const std::string& icon_file_,
                       const settings_record& settings_, int diagnostics_mode_, DWORD option_flags_) {
    caption = caption_;
    icon_file = icon_file_;
    class_name = format_string("core_window_class_%p", static_cast<void*>(this));
    settings = settings_;
    diagnostics_mode = diagnostics_mode_;
    option_flags = option_flags_;
    if (option_flags & CORE_PERF_COUNTER) {
        LARGE_INTEGER f;
        if (!QueryPerformanceFrequency(&f))
            HV_RAISE("Unable to query performance frequency.", CORE_FILE_FUNCTION_CTOR, 0, this);
        counter_frequency = f.QuadPart;
    }
    create_window();
    d3d = g_direct3d_create(D3D_SDK_VERSION);
    if (!d3d) HV_RAISE("Unable to create Direct3D9.", CORE_FILE_FUNCTION_CTOR, 0, this);
    place_window();
    HRESULT hr = d3d->GetAdapterDisplayMode(settings.adapter, &desktop_mode);
    if (FAILED(hr)) HV_RAISE("Unable to get the desktop display mode.", CORE_FILE_FUNCTION_CTOR, hr, this);
    test_compatibility();
    create_d3d_device();
    init_d3d_rendering();
    D3DADAPTER_IDENTIFIER9 id{};
    hr = d3d->GetAdapterIdentifier(settings.adapter, 0, &id);
    if (FAILED(hr)) HV_RAISE("Unable to get the adapter identifier.", CORE_FILE_FUNCTION_CTOR, hr, this);
    id.Description[sizeof id.Description - 1] = '\0';
    adapter_description = id.Description;
    gfx = new c_gfx(device, 2e-5f);
    system_font = new c_font(gfx, static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    create_di();
    active = true;
    start_time = get_cur_time();
    pump_messages();
    forced_reset = false;
}

c_core::~c_core() {
    release_all();
}

void c_core::release_all() {
    delete system_font;
    system_font = nullptr;
    delete gfx;
    gfx = nullptr;
    if (keyboard) keyboard->Release();
    if (mouse) mouse->Release();
    if (dinput) dinput->Release();
    if (device) device->Release();
    if (d3d) d3d->Release();
    if (window) {
        g_report_window = nullptr;
        DestroyWindow(window);
    }
    UnregisterClassA(class_name.c_str(), g_instance);
    if (icon) DestroyIcon(icon);
    if (instance_ == this) instance_ = nullptr;
}

// ---- window ----------------------------------------------------------------------------------

DWORD c_core::window_style() const {
    return (option_flags & CORE_FIXED_WINDOW) ? (WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX)
                                              : (WS_VISIBLE | WS_OVERLAPPEDWINDOW);
}

namespace {
// A side length from two stored edges. A hand-edited settings.ini may hold edges whose
// difference does not fit an int; the window then gets the smallest size instead of a wrapped
// one.
int extent(LONG from, LONG to) {
    const long long d = static_cast<long long>(to) - from;
    return static_cast<int>(std::clamp<long long>(d, INT_MIN, INT_MAX));
}
} // namespace

void c_core::create_window() {
    const char* fn = "c_core::create_window";
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = g_instance;
    if (!icon_file.empty()) {
        wc.hIcon =
            static_cast<HICON>(LoadImageA(nullptr, icon_file.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
        if (!wc.hIcon) HV_RAISE("Unable to load the icon image.", fn, 0, this);
        icon = wc.hIcon;
    } else {
        wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    }
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = class_name.c_str();
    wc.hIconSm = wc.hIcon;
    if (!RegisterClassExA(&wc)) HV_RAISE("Unable to register the window class.", fn, 0, this);
    if (settings.is_windowed) {
        const RECT& r = settings.window_rect;
        window = CreateWindowExA(0, class_name.c_str(), caption.c_str(), window_style(), r.left, r.top,
                                 extent(r.left, r.right), extent(r.top, r.bottom), nullptr, nullptr,
                                 g_instance, nullptr);
        if (!window) HV_RAISE("Unable to create the windowed mode window.", fn, 0, this);
    } else {
        window = CreateWindowExA(
            0, class_name.c_str(), caption.c_str(), WS_POPUP, 0, 0, static_cast<int>(settings.mode.Width),
            static_cast<int>(settings.mode.Height), nullptr, nullptr, g_instance, nullptr);
        if (!window) HV_RAISE("Unable to create the fullscreen mode window.", fn, 0, this);
    }
    g_report_window = window;
    ShowWindow(window, SW_SHOW);
}

LRESULT c_core::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    c_core* core = instance_;
    switch (message) {
    case WM_MOVE:
        if (!core) return 0;
        if (core->settings.is_windowed) GetWindowRect(core->window, &core->settings.window_rect);
        core->forced_reset = true;
        return 0;
    case WM_SIZE:
        if (!core || wparam == SIZE_MINIMIZED) return 0;
        if (LOWORD(static_cast<std::uintptr_t>(lparam)) == 0 ||
            HIWORD(static_cast<std::uintptr_t>(lparam)) == 0) {
            core->active = false;
            return 0;
        }
        if (core->settings.is_windowed) GetWindowRect(core->window, &core->settings.window_rect);
        core->forced_reset = true;
        core->active = true;
        ShowWindow(core->window, SW_SHOW);
        return 0;
    case WM_ACTIVATE:
        if (!core) return 0;
        if (LOWORD(wparam) == WA_INACTIVE) {
            core->active = false;
        } else {
            core->active = true;
            core->forced_reset = true;
        }
        return 0;
    case WM_CLOSE:
        if (core) core->quit = true;
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (core && wparam) core->end_session = true;
        return 0;
    case WM_CHAR:
        if (g_typed_chars.size() < typed_chars_max) g_typed_chars += static_cast<char16_t>(wparam & 0xFFFF);
        return 0;
    case WM_INITMENUPOPUP:
    case WM_SIZING:
    case WM_MOVING:
        if (core) core->forced_reset = true;
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

const std::u16string& get_typed_chars() {
    return g_typed_chars;
}

void clear_typed_chars() {
    g_typed_chars.clear();
}

void c_core::pump_messages() {
    MSG msg;
    while (PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void c_core::get_client_size(int& width, int& height) const {
    if (settings.is_windowed) {
        RECT r{};
        GetClientRect(window, &r);
        width = r.right - r.left;
        height = r.bottom - r.top;
    } else {
        width = static_cast<int>(settings.mode.Width);
        height = static_cast<int>(settings.mode.Height);
    }
}

void c_core::get_cursor_pos(int& x, int& y) const {
    POINT p{};
    GetCursorPos(&p);
    if (!settings.is_windowed) {
        x = p.x;
        y = p.y;
        return;
    }
    RECT w{}, c{};
    GetWindowRect(window, &w);
    GetClientRect(window, &c);
    POINT client = screen_to_client_area(p, w, c);
    x = client.x;
    y = client.y;
}

POINT screen_to_client_area(POINT screen, const RECT& w, const RECT& c) {
    // The side borders are taken as equal; the caption is the vertical frame less one border.
    int border = ((w.right - w.left) - (c.right - c.left)) / 2;
    return POINT{screen.x - w.left - border,
                 screen.y - w.top - (((w.bottom - w.top) - (c.bottom - c.top)) - border)};
}

void c_core::place_window() {
    if (settings.is_windowed) {
        settings_record kept = settings;
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        settings = kept;
        const RECT& r = settings.window_rect;
        SetWindowPos(window, HWND_TOP, r.left, r.top, extent(r.left, r.right), extent(r.top, r.bottom), 0);
        ClipCursor(nullptr);
    } else {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, static_cast<int>(settings.mode.Width),
                     static_cast<int>(settings.mode.Height), SWP_SHOWWINDOW);
        RECT clip{0, 0, static_cast<LONG>(settings.mode.Width), static_cast<LONG>(settings.mode.Height)};
        ClipCursor(&clip);
    }
}

std::uint32_t c_core::get_cur_time() const {
    if (!(option_flags & CORE_PERF_COUNTER)) return GetTickCount();
    LARGE_INTEGER c;
    if (!QueryPerformanceCounter(&c) || counter_frequency <= 0)
        HV_RAISE("Unable to query the performance counter.", "c_core::get_cur_time", 0, this);
    return static_cast<std::uint32_t>((c.QuadPart * 1000) / counter_frequency);
}

// ---- input -----------------------------------------------------------------------------------

DWORD c_core::keyboard_mode() const {
    return settings.is_windowed ? (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)
                                : (DISCL_EXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY);
}

void c_core::create_di() {
    const char* fn = "c_core::create_di";
    HRESULT hr = DirectInput8Create(g_instance, DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                    reinterpret_cast<void**>(&dinput), nullptr);
    if (FAILED(hr)) HV_RAISE("Unable to create DirectInput.", fn, hr, this);
    if (FAILED(hr = dinput->CreateDevice(GUID_SysMouse, &mouse, nullptr)))
        HV_RAISE("Unable to create the mouse.", fn, hr, this);
    if (FAILED(hr = mouse->SetDataFormat(&c_dfDIMouse)))
        HV_RAISE("Unable to set the mouse data format.", fn, hr, this);
    if (FAILED(hr = mouse->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
        HV_RAISE("Unable to set the mouse coop level.", fn, hr, this);
    if (FAILED(hr = mouse->Acquire())) HV_RAISE("Unable to acquire the mouse.", fn, hr, this);
    if (FAILED(hr = dinput->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr)))
        HV_RAISE("Unable to create the keyboard.", fn, hr, this);
    if (FAILED(hr = keyboard->SetDataFormat(&c_dfDIKeyboard)))
        HV_RAISE("Unable to set the keyboard data format.", fn, hr, this);
    if (FAILED(hr = keyboard->SetCooperativeLevel(window, keyboard_mode())))
        HV_RAISE("Unable to set the keyboard coop level.", fn, hr, this);
    if (FAILED(hr = keyboard->Acquire())) HV_RAISE("Unable to acquire the keyboard.", fn, hr, this);
}

void c_core::reset_di() {
    const char* fn = "c_core::reset_di";
    keyboard->Unacquire();
    HRESULT hr = keyboard->SetCooperativeLevel(window, keyboard_mode());
    if (FAILED(hr)) HV_RAISE("Unable to set the keyboard coop level.", fn, hr, this);
    if (FAILED(hr = keyboard->Acquire())) HV_RAISE("Unable to acquire the keyboard.", fn, hr, this);
}

const BYTE* c_core::get_kb_state() {
    HRESULT hr = keyboard->GetDeviceState(sizeof g_key_state, g_key_state);
    if (FAILED(hr)) HV_RAISE("Unable to get the keyboard state.", "c_core::get_kb_state", hr, this);
    g_key_state[DIK_CAPITAL] = static_cast<BYTE>((GetKeyState(VK_CAPITAL) & 1) * 0x80);
    g_key_state[DIK_NUMLOCK] = static_cast<BYTE>((GetKeyState(VK_NUMLOCK) & 1) * 0x80);
    g_key_state[DIK_SCROLL] = static_cast<BYTE>((GetKeyState(VK_SCROLL) & 1) * 0x80);
    return g_key_state;
}

DIMOUSESTATE c_core::get_mouse_state() {
    DIMOUSESTATE s{};
    HRESULT hr = mouse->GetDeviceState(sizeof s, &s);
    if (FAILED(hr)) HV_RAISE("Unable to get the mouse state.", "c_core::get_mouse_state", hr, this);
    return s;
}

// ---- state dump ------------------------------------------------------------------------------

namespace {
const char* debug_mode_name(int mode) {
    switch (mode) {
    case 0:
        return "none";
    case 1:
        return "fps";
    case 2:
        return "cursor";
    case 3:
        return "full";
    default:
        return "unknown";
    }
}
} // namespace

std::string c_core::get_details() const {
    std::string d = c_reportable::get_details();
    d += format_string("CAPTION: %s\n", caption.c_str());
    d += "\nICON FILENAME: " + icon_file + "\nWINDOWS CLASS NAME: " + class_name;
    d += "\nSCREEN:\n\tIS WINDOWED: " + to_string(settings.is_windowed != 0);
    const RECT& r = settings.window_rect;
    d += format_string("\n\tPOSITION: %d x %d -> %d x %d", static_cast<int>(r.left), static_cast<int>(r.top),
                       static_cast<int>(r.right), static_cast<int>(r.bottom));
    d += format_string("\n\tDISPLAY MODE:\n\t\tRESOLUTION: %u x %u", settings.mode.Width,
                       settings.mode.Height);
    d += format_string("\n\t\tCOLOR DEPTH: %d", format_to_depth(settings.mode.Format));
    d += format_string("\n\t\tREFRESH RATE: %u", settings.mode.RefreshRate);
    d += format_string("\n\tADAPTER: %u", settings.adapter);
    d += "\nSIZEABLE WINDOW: " + to_string((option_flags & CORE_FIXED_WINDOW) == 0);
    d += "\nQUIT FLAG: " + to_string(quit);
    d += format_string("\nDESKTOP MODE:\n\tRESOLUTION: %u x %u", desktop_mode.Width, desktop_mode.Height);
    d += format_string("\n\tCOLOR DEPTH: %d", format_to_depth(desktop_mode.Format));
    d += format_string("\n\tREFRESH RATE: %u", desktop_mode.RefreshRate);
    d += std::string("\nDEBUG MODE: ") + debug_mode_name(diagnostics_mode);
    d += format_string("\nNUM FRAMES: %d", frame_count);
    d += "\nPERFORMANCE FREQUENCY: " + to_string(counter_frequency);
    return d;
}
