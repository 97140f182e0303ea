// What the battle benches share: the game's DATA folder as the current directory, a recording
// device (its log off: a log that grows every frame would measure the fake, not us) with its
// wrapper, and the rules, string table, interface and particle pool the battle code reads.
#pragma once
#include <filesystem>
#include <memory>
#include <string>

#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "tests/fakes/recording_device.h"

struct data_world {
    std::filesystem::path old_cwd = std::filesystem::current_path();
    recording_device dev;
    std::unique_ptr<c_gfx> gfx;
    c_interpolator ip{1000};
    data_world() {
        std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
        dev.keep_log = false;
        gfx = std::make_unique<c_gfx>(&dev, 2.0e-5f);
        g_gfx = gfx.get();
        g_rules = new c_ini("rules.ini");
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_particle_pool = new c_particle_pool(1000);
    }
    ~data_world() {
        gameplay_unload_static();
        delete g_particle_pool;
        delete g_interface;
        delete g_stringtable;
        delete g_rules;
        g_particle_pool = nullptr;
        g_interface = g_stringtable = g_rules = nullptr;
        g_gfx = nullptr;
        gfx.reset();
        std::filesystem::current_path(old_cwd);
    }
    data_world(const data_world&) = delete;
    data_world& operator=(const data_world&) = delete;
};
