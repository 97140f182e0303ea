// What the player and battle-screen tests share on top of world_test: a font whose glyphs are
// all 8 x 14 (a GDI stand-in, so the layout is exact), a map of 64 x 64 tiles whose rows lie 48
// apart (the geometry of the game's data) made from pictures written here, and a clean slate of
// the battle globals before and after each test.
#pragma once
#include <cstring>
#include <memory>

#include "framework/font.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "tests/fakes/fixed_gdi.h"
#include "tests/game/game_fixture.h"

// Tile types: 0 open ground, 1 water (not enterable). A mousemap that is all white.
inline std::string battle_tiles_rules(int num_tiletypes = 2) {
    return "[tiles]\nnum_tiletypes=" + std::to_string(num_tiletypes) +
           "\ntile_width=64\ntile_height=64\nplacement_yoffset=16\ntile_name_format=tile_%d\n"
           "mousemap=white.bmp\nblink_texture=white.bmp\n"
           "[tile_0]\nimage=white.bmp\ncolor=255 255 255 255\nminimap_color=255 0 160 0\nmoveable=true\n"
           "[tile_1]\nimage=white.bmp\ncolor=255 255 255 255\nminimap_color=255 0 0 160\nmoveable=false\n"
           "splooshable=true\n";
}

class battle_test : public world_test {
  protected:
    battle_test() {
        write_solid_bmp(dir.file("white.bmp"), 64, 64, 0xFFFFFF);
        reset_battle_globals();
    }
    ~battle_test() override {
        delete g_map;
        g_map = nullptr;
        reset_battle_globals();
    }
    static void reset_battle_globals() {
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        g_cursor_choice = 0;
        g_hovered_tile = nullptr;
        g_minimap_dirty.clear();
        g_headless_screen = screen_info{};
        g_banner.text.clear();
        g_banner.fade = c_interp_int{};
        g_hscroll_speed = g_vscroll_speed = 0;
    }
    // A map of cols x rows tiles, every tile of type 0 unless `random_types`.
    c_map& make_map(int cols, int rows, bool random_types = false, const std::string& extra_rules = "") {
        use_rules(battle_tiles_rules() + extra_rules);
        delete g_map;
        g_map = nullptr;
        cwd_guard cwd(dir.path());
        g_map = new c_map(cols, rows, random_types);
        return *g_map;
    }
    c_font& font() {
        if (!font_) font_ = std::make_unique<c_font>(&gfx, nullptr, &gdi_);
        return *font_;
    }
    static void press(int scan_code) { g_kb_state[scan_code] = 0x80; }
    static void release_keys() { std::memset(g_kb_state, 0, sizeof g_kb_state); }

    fixed_gdi gdi_;
    std::unique_ptr<c_font> font_;
};
