// What the battle-world tests share: a recording device with its graphics wrapper, an
// interpolator whose update steps the test drives, a scratch folder holding a rules.ini and
// the pictures it names (24-bit BMPs written here), and the globals the world reads.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "platform/crt.h"
#include "tests/fakes/recording_device.h"
#include "tests/test_util.h"

// A 24-bit BMP of w x h pixels (0xRRGGBB, row 0 at the top); the loader gives them alpha 0xFF.
inline void write_bmp(const std::string& path, int w, int h, const std::vector<std::uint32_t>& pixels) {
    const int row_bytes = (w * 3 + 3) & ~3;
    const std::uint32_t data_size = static_cast<std::uint32_t>(row_bytes * h), file_size = 54 + data_size;
    std::string out(file_size, '\0');
    auto put = [&](size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, file_size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(w), 4);
    put(22, static_cast<std::uint32_t>(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, data_size, 4);
    for (int y = 0; y < h; ++y) // bottom-up rows of blue, green, red
        for (int x = 0; x < w; ++x)
            put(54 + static_cast<size_t>((h - 1 - y) * row_bytes + x * 3), pixels[y * w + x] & 0xFFFFFF, 3);
    write_file(path, out);
}

inline void write_solid_bmp(const std::string& path, int w, int h, std::uint32_t rgb) {
    write_bmp(path, w, h, std::vector<std::uint32_t>(static_cast<size_t>(w * h), rgb));
}

class world_test : public ::testing::Test {
  protected:
    world_test() : gfx(&dev, 2.0e-5f), ip(1000) {
        g_gfx = &gfx;
        scroll_x = scroll_y = 0.0;
        scroll_ix = scroll_iy = 0;
        g_mouse_x = g_mouse_y = 0;
        crt::srand(12345);
    }
    ~world_test() override {
        clear_effects(g_effects);
        clear_effects(g_overlays);
        delete g_particle_pool;
        g_particle_pool = nullptr;
        delete g_rules;
        g_rules = nullptr;
        g_gfx = nullptr;
    }
    // Replaces rules.ini in the scratch folder and reads it (the folder is current meanwhile,
    // so that the pictures it names load from there too).
    void use_rules(const std::string& text) {
        write_file(dir.file("rules.ini"), text);
        delete g_rules;
        cwd_guard cwd(dir.path());
        g_rules = new c_ini("rules.ini");
    }
    // One fixed update step of the interpolator's clock.
    void step() {
        ip.prev_update_time = ip.update_time;
        ip.update_time += 33;
    }

    scratch_dir dir;
    recording_device dev;
    c_gfx gfx;
    c_interpolator ip;
};
