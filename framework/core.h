// The application core: the one window, the Direct3D device, DirectInput keyboard and mouse,
// the millisecond clock, frame begin/end and the diagnostics overlay. Exactly one exists.
//
// Index: 1. the settings record and depth table; 2. option flags and helpers; 3. c_core: window,
// messages, clock; 4. device (compatibility, creation, reset, frames); 5. input; 6. diagnostics;
// 7. fields the states read and write.
#pragma once
#include <cstdint>
#include <string>

#include "framework/err.h"
#include "platform/d3d9.h"
#include "platform/dinput.h"

class c_gfx;
class c_font;

// ---- 1. the settings record and depth table

// The display settings: eleven 32-bit fields, kept inside the core and compared as blocks.
struct settings_record {
    BOOL is_windowed;
    RECT window_rect;    // outer window rectangle in windowed mode
    D3DDISPLAYMODE mode; // full-screen width, height, refresh rate and format
    UINT adapter;
    UINT present_interval; // D3DPRESENT_INTERVAL_DEFAULT or _IMMEDIATE
};
static_assert(sizeof(settings_record) == 44, "the settings record is eleven 32-bit fields");

// Colour depth in settings.ini <-> display format; anything else gives 0 / D3DFMT_UNKNOWN.
D3DFORMAT depth_to_format(int depth);
int format_to_depth(D3DFORMAT format);

class c_ini;
// The [screen] section of settings.ini as a settings record (missing keys read as 0 / false),
// and back; keys are written in the order they are read, whether they existed or not.
settings_record read_screen_settings(c_ini& settings);
void write_screen_settings(c_ini& settings, const settings_record& record);

// ---- 2. option flags and helpers

// Option flags of the core, given to its constructor.
constexpr DWORD CORE_WINDOWED_DEVICE = 1; // full-screen settings still make a windowed device
constexpr DWORD CORE_FIXED_WINDOW = 2;    // a window of fixed size; else a sizeable one
constexpr DWORD CORE_DISCARD = 4;         // swap effect DISCARD; else COPY
constexpr DWORD CORE_PERF_COUNTER = 8;    // the clock reads the performance counter; else the tick count
constexpr DWORD CORE_HIDE_CURSOR = 16;    // the system cursor is hidden over the client area

// A screen point in the client area of a window with the outer rectangle `window` and the
// client rectangle `client`.
POINT screen_to_client_area(POINT screen, const RECT& window, const RECT& client);
// The diagnostics' keyboard line: "  down: " then the held DIK codes, or "none".
std::string held_keys_line(const BYTE* keys);

// Characters typed since the last frame ended: the window procedure queues the UTF-16 code unit
// of every WM_CHAR here (up to typed_chars_max; more in one frame are dropped), and frame_end
// empties the queue before it pumps the next frame's messages. The name box with the focus
// takes them (empties it) in its update.
constexpr size_t typed_chars_max = 256;
const std::u16string& get_typed_chars();
void clear_typed_chars();

// How the core makes its Direct3D object; tests put a recording one here.
extern IDirect3D9* (*g_direct3d_create)(UINT sdk_version);

class c_core : public c_reportable {
  public:
    c_core(const std::string& caption, const std::string& icon_file, const settings_record& settings,
           int diagnostics_mode, DWORD option_flags);
    ~c_core() override;
    c_core(const c_core&) = delete;
    c_core& operator=(const c_core&) = delete;

    static c_core* instance() { return instance_; }
    static LRESULT window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    // ---- 3. window, messages, clock
    void pump_messages();
    void get_client_size(int& width, int& height) const;
    void get_cursor_pos(int& x, int& y) const;
    void place_window();
    std::uint32_t get_cur_time() const;

    // ---- 4. device
    // 0 when the device can be used; D3DERR_DEVICELOST while it cannot; D3DERR_DEVICENOTRESET
    // when a reset is due (the caller releases its default-pool resources, then calls reset).
    HRESULT check_reset();
    // Waits (pumping messages) until the device can be reset, then resets it with the current
    // settings and window; the gfx wrapper's and the system font's resources are rebuilt.
    void reset();
    // Begins a frame; a colour of 0 leaves the back buffer as it was.
    void frame_begin(D3DCOLOR clear_color);
    // Draws the diagnostics overlay, presents and pumps messages.
    void frame_end();
    // Checks that the adapter can run the settings before a device is made or reset: reads the
    // HAL device's capabilities into caps, then, for the desktop format in a window or the
    // requested mode in full screen (test_display_mode first), that the format has hardware
    // acceleration and takes a 16-bit depth buffer. Raises the first failure with its HRESULT.
    void test_compatibility();
    // Passes when the adapter lists the settings' full-screen mode exactly (width, height, refresh
    // rate and format); otherwise raises "The requested display mode is not supported." without
    // an HRESULT, so a refresh rate of 0 never passes. Changes nothing.
    void test_display_mode();
    // The present parameters for the current settings and window: a windowed-style device sized by
    // the window (back buffer 0 x 0 in the desktop format) unless a real full screen is due, one
    // back buffer, swap effect by the discard option, a 16-bit depth buffer, the settings'
    // presentation interval. Used by device creation and by every reset; changes nothing.
    D3DPRESENT_PARAMETERS make_present_parameters() const;
    // Sets the render states, texture-stage states, transforms and viewport the program draws with
    // (alpha test and blending, depth and scissor tests, point sprites, a projection that keeps
    // square units over the client area). Call after the device is made and after every reset,
    // which forgets them; raises the first call that fails.
    void init_d3d_rendering();

    // ---- 5. input
    // The shared 256-byte key array, refilled by every call.
    const BYTE* get_kb_state();
    DIMOUSESTATE get_mouse_state();

    // ---- 6. diagnostics
    std::string get_details() const override;
    void draw_diagnostics();

    // ---- 7. fields the states read and write
    std::string caption;
    std::string icon_file;
    std::string class_name;
    settings_record settings{};
    HWND window = nullptr;
    HICON icon = nullptr; // loaded from the icon file; the stock icon is not kept here
    bool quit = false;
    // The system asks the program to end (a logout, SIGTERM or SIGINT): it ends as if the
    // player had confirmed leaving, without asking.
    bool end_session = false;
    IDirect3D9* d3d = nullptr;
    D3DCAPS9 caps{};
    IDirect3DDevice9* device = nullptr;
    c_gfx* gfx = nullptr;
    c_font* system_font = nullptr;
    D3DDISPLAYMODE desktop_mode{};
    bool forced_reset = false;
    IDirectInput8* dinput = nullptr;
    IDirectInputDevice8* mouse = nullptr;
    IDirectInputDevice8* keyboard = nullptr;
    int diagnostics_mode = 0;
    RECT overlay_rect{};
    std::string adapter_description;
    float fps = 0.0f;
    std::uint32_t start_time = 0;
    std::uint32_t last_frame_end = 0;
    std::uint32_t frame_end_time = 0;
    std::uint32_t frame_duration = 0;
    std::uint32_t fps_window_time = 0;
    int fps_window_frames = 0;
    int frame_count = 0;
    std::int64_t counter_frequency = 0;
    DWORD option_flags = 0;
    bool active = false;

  private:
    void construct(const std::string& caption, const std::string& icon_file, const settings_record& settings,
                   int diagnostics_mode, DWORD option_flags);
    void release_all();
    void create_window();
    void create_d3d_device();
    void reset_d3d_device();
    void create_di();
    void reset_di();
    DWORD window_style() const;
    DWORD keyboard_mode() const;
    bool full_screen_device() const;
    void measure_fps();
    std::string full_diagnostics_text();

    static c_core* instance_;
};

extern c_core* g_core;
extern IDirect3D9* g_d3d;
extern IDirect3DDevice9* g_device;
