// The game states run whole in a real window, on the recording Direct3D device or on the real
// one: everything main_routine makes, with DATA as the current folder, and the state loops'
// input, clock and end of frame scripted frame by frame through their hooks.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/explosion.h"
#include "game/gameplay.h"
#include "game/hexmap.h"
#include "game/main.h"
#include "game/player.h"
#include "game/states.h"
#include "game/unit.h"
#include "platform/crt.h"
#include "platform/dinput.h"
#include "platform/wingdi.h"
#include "tests/fakes/recording_device.h"
#include "tests/test_util.h"

inline recording_d3d* g_state_fake = nullptr;
inline IDirect3D9* make_state_fake(UINT) {
    return g_state_fake;
}

// Everything main_routine makes, on the recording device, with DATA as the current folder and
// a settings.ini of the test's own in the start directory.
class game_state_test : public testing::Test {
  protected:
    void SetUp() override {
        setenv("HARNVALE_NONINTERACTIVE", "1", 1);
        // settings.ini is read from a start directory of the test's own, as the game reads it
        // before it enters DATA.
        write_file(dir.file("settings.ini"), "[misc]\nscroll_speed=12\n");
        {
            cwd_guard start(dir.path());
            g_settings = new c_ini("settings.ini");
        }
        cwd = std::make_unique<cwd_guard>(std::string(HV_SOURCE_DIR) + "/DATA");
        g_rules = new c_ini("rules.ini");
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_state_fake = &fake;
        if (!real_device) g_direct3d_create = make_state_fake;
        settings_record s{};
        s.is_windowed = TRUE;
        s.window_rect = RECT{0, 0, 1024, 768};
        s.mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
        // The real device presents at once: the scripted clock, not the display, sets the pace.
        if (real_device) s.present_interval = D3DPRESENT_INTERVAL_IMMEDIATE;
        g_core = new c_core("Harnvale test", "", s, 0, 0x1C);
        g_core->active = true;
        g_interpolator = new c_interpolator(static_cast<int>(clock));
        g_d3d = g_core->d3d;
        g_device = g_core->device;
        g_gfx = g_core->gfx;
        g_font = new c_font(g_gfx, CreateFontA(16, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"));
        load_interface();
        g_particle_pool = new c_particle_pool(200);
        g_opening_logo = true;
        if (!real_device) dev().keep_log = true;
        g_clock_source = [this] { return clock; };
        g_input_source = [this] {
            clock += frame_ms;
            if (script) script(frame);
        };
        g_frame_hook = [this] {
            if (after_frame) after_frame(frame);
            if (!real_device) dev().clear_log();
            // A test that goes wrong must not run for ever.
            if (++frame > frame_limit) g_game_state = GS_QUIT;
        };
    }
    void TearDown() override {
        g_clock_source = nullptr;
        g_input_source = nullptr;
        g_frame_hook = nullptr;
        gameplay_unload_static();
        delete g_particle_pool;
        g_particle_pool = nullptr;
        release_interface();
        delete g_font;
        g_font = nullptr;
        delete g_interpolator;
        g_interpolator = nullptr;
        g_gfx = nullptr;
        g_device = nullptr;
        g_d3d = nullptr;
        delete g_core;
        g_core = nullptr;
        g_direct3d_create = Direct3DCreate9;
        for (c_ini** ini : {&g_settings, &g_rules, &g_stringtable, &g_interface}) {
            delete *ini;
            *ini = nullptr;
        }
        cwd.reset();
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        std::memset(g_mouse_buttons, 0, sizeof g_mouse_buttons);
        g_game_state = GS_QUIT;
    }

    recording_device& dev() { return *fake.last_device; }

    // The alpha of the logo drawn in the frame just ended, -1 when it was not drawn.
    int logo_alpha() {
        const IDirect3DTexture9* logo = g_logo ? g_logo->get_texture() : nullptr;
        for (const draw_record& d : dev().draws())
            if (logo && d.texture == logo && d.stride == sizeof(vertex_tra))
                return static_cast<int>(d.as<vertex_tra>().at(0).colour >> 24);
        return -1;
    }
    // Glyphs drawn from the game font in the frame just ended: every label's text is one draw
    // of two triangles a glyph.
    int glyphs_drawn() {
        int n = 0;
        for (const draw_record& d : dev().draws())
            if (g_font && d.texture == g_font->get_texture()) n += static_cast<int>(d.primitive_count / 2);
        return n;
    }
    bool drew_texture(const c_image* image) {
        if (!image) return false;
        for (const draw_record& d : dev().draws())
            if (d.texture == image->get_texture()) return true;
        return false;
    }
    static void hold(int scan_code, bool down) { g_kb_state[scan_code] = down ? 0x80 : 0; }
    static void mouse(int x, int y, bool down) {
        g_mouse_x = x;
        g_mouse_y = y;
        g_mouse_buttons[0] = down ? 0x80 : 0;
    }
    // A battle from a seed, as "newgame" builds it.
    void new_battle(unsigned seed) {
        crt::srand(seed);
        gameplay_load_static();
        gameplay_new_game();
    }

    scratch_dir dir;
    std::unique_ptr<cwd_guard> cwd;
    recording_d3d fake;
    bool real_device = false; // set in the constructor of a test class
    std::uint32_t clock = 1000;
    int frame_ms = 33;
    int frame = 0;
    int frame_limit = 400;
    std::function<void(int)> script;
    std::function<void(int)> after_frame;
};
