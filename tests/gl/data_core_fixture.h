// A core on the real OpenGL device, run from DATA/ the way the game runs: a 1024 x 768 window
// with immediate presentation, the game's core options, an interpolator and rules.ini. Tests that
// draw the game's own pictures derive from it and add what else they need.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/core.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"

class data_core_test : public ::testing::Test {
  protected:
    // Call first in SetUp: makes the core (g_core, g_gfx), the interpolator and g_rules.
    void open_core(const char* caption) {
        setenv("HARNVALE_NONINTERACTIVE", "1", 1);
        old_cwd = std::filesystem::current_path();
        std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
        settings_record s{};
        s.is_windowed = TRUE;
        s.window_rect = RECT{0, 0, 1024, 768};
        s.mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
        s.present_interval = D3DPRESENT_INTERVAL_IMMEDIATE;
        core = new c_core(caption, "", s, 0, CORE_DISCARD | CORE_PERF_COUNTER | CORE_HIDE_CURSOR);
        g_core = core;
        g_gfx = core->gfx;
        ip = new c_interpolator(static_cast<int>(core->get_cur_time()));
        g_rules = new c_ini("rules.ini");
    }
    // Call last in TearDown, after everything made on the core is gone.
    void close_core() {
        delete g_rules;
        g_rules = nullptr;
        delete ip;
        g_gfx = nullptr;
        delete core;
        g_core = nullptr;
        std::filesystem::current_path(old_cwd);
    }

    std::filesystem::path old_cwd;
    c_core* core = nullptr;
    c_interpolator* ip = nullptr;
};
