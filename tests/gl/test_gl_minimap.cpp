// The minimap on the real OpenGL device: a refresh after a change rewrites only the texels of
// the listed rectangles and keeps the rest; a device reset over a running battle (from any
// screen, through recover_device) keeps the battle and redraws the minimap whole; the battle
// screen's minimap corner saved as build/screenshots/minimap.png for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/device_hooks.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/main.h"
#include "game/screens/minimap.h"
#include "platform/crt.h"
#include "platform/wingdi.h"
#include "tests/gl/data_core_fixture.h"
#include "tests/gl/screenshot.h"
#include "tests/test_util.h"

namespace {

class GlMinimap : public data_core_test {
  protected:
    void SetUp() override {
        open_core("Harnvale minimap");
        g_interpolator = ip;
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_font =
            new c_font(g_gfx, CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
        g_particle_pool = new c_particle_pool(100);
        crt::srand(21);
        gameplay_load_static();
        gameplay_new_game();
        g_minimap_dirty.clear();
        minimap_mark_all_dirty();
    }
    void TearDown() override {
        gameplay_unload_static();
        delete g_particle_pool;
        g_particle_pool = nullptr;
        delete g_font;
        g_font = nullptr;
        delete g_interface;
        delete g_stringtable;
        g_interface = g_stringtable = nullptr;
        g_interpolator = nullptr;
        close_core();
    }

    // One frame in which only the minimap is refreshed.
    void refresh_frame() {
        core->frame_begin(0xFF806000);
        refresh_minimap();
        core->frame_end();
    }

    // The minimap's 128 x 128 texels, 0x00RRGGBB, row by row from the top.
    std::vector<std::uint32_t> texels() {
        IDirect3DSurface9 *level = nullptr, *copy = nullptr;
        EXPECT_EQ(g_minimap_texture->GetSurfaceLevel(0, &level), D3D_OK);
        EXPECT_EQ(core->device->CreateOffscreenPlainSurface(128, 128, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                            &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(core->device->GetRenderTargetData(level, copy), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::vector<std::uint32_t> out;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                out.push_back(static_cast<const std::uint32_t*>(static_cast<const void*>(
                                  static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch))[x] &
                              0xFFFFFF);
        copy->UnlockRect();
        copy->Release();
        level->Release();
        return out;
    }

    // Whether a texel lies inside the texel rectangle of a map-pixel rectangle.
    static bool covers(const RECT& r, int x, int y) {
        const int w = map_pixel_width(), h = map_pixel_height() - g_map->get_placement_yoffset();
        return x >= r.left * 128 / w && x < r.right * 128 / w + 1 && y >= r.top * 128 / h &&
               y < r.bottom * 128 / h + 1;
    }
};

TEST_F(GlMinimap, AfterAChangeOnlyTheTexelsOfTheListedRectanglesChange) {
    refresh_frame();
    const std::vector<std::uint32_t> before = texels();
    // The whole map was drawn: no texel keeps the clear colour but the ones below the last row
    // (the map's lowest pixels fall outside) and the corners of the rows.
    int cleared = 0;
    for (std::uint32_t t : before)
        cleared += t == 0x00FF00;
    EXPECT_LT(cleared, 128 * 128 / 10);

    // Repaint every terrain in the minimap without telling it: only redrawn texels show that.
    for (int i = 0; i < g_map->get_num_tiletypes(); ++i)
        g_map->get_tiletype(i)->minimap_color = 0xFF0000FF;
    // A unit is selected: its tile turns white and its rectangle is listed.
    c_unit* unit = g_unitmanager->get_all().at(g_unitmanager->get_all().size() / 2);
    unit->select();
    const std::vector<RECT> listed(g_minimap_dirty.begin(), g_minimap_dirty.end());
    ASSERT_FALSE(listed.empty());
    refresh_frame();
    const std::vector<std::uint32_t> after = texels();

    int changed_inside = 0, changed_outside = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const bool differs = before[y * 128 + x] != after[y * 128 + x];
            bool inside = false;
            for (const RECT& r : listed)
                inside = inside || covers(r, x, y);
            (inside ? changed_inside : changed_outside) += differs;
        }
    EXPECT_EQ(changed_outside, 0);
    EXPECT_GT(changed_inside, 0);
    // The selected unit's mark is white.
    const RECT r = unit->get_rect();
    const int w = map_pixel_width(), h = map_pixel_height() - g_map->get_placement_yoffset();
    EXPECT_EQ(after[((r.top + r.bottom) / 2 * 128 / h) * 128 + (r.left + r.right) / 2 * 128 / w], 0xFFFFFFu);
}

TEST_F(GlMinimap, AResetOverARunningBattleKeepsItAndRedrawsTheMinimapWhole) {
    refresh_frame();
    const std::vector<std::uint32_t> before = texels();
    core->pump_messages();
    core->active = true;

    // The core's own reset alone meets the battle's render target alive and fails.
    core->forced_reset = true;
    g_font->before_reset();
    EXPECT_RAISES(core->reset(), "Unable to reset the Direct3D Device.");
    g_font->after_reset();

    // The recovery any screen runs gives the surfaces up and makes them again.
    core->forced_reset = true;
    const size_t units = g_unitmanager->get_all().size();
    EXPECT_NO_THROW(recover_device());
    EXPECT_FALSE(core->forced_reset);
    ASSERT_NE(g_minimap_texture, nullptr);
    ASSERT_NE(g_minimap_depth, nullptr);
    EXPECT_EQ(g_unitmanager->get_all().size(), units);
    ASSERT_EQ(g_minimap_dirty.size(), 1u);
    refresh_frame();
    EXPECT_EQ(texels(), before);
}

TEST_F(GlMinimap, TheBattleScreensCornerShowsTheMinimapWithTheView) {
    // A big map, so that the view rectangle shows.
    gameplay_unload_static();
    for (unsigned seed = 1;; ++seed) {
        crt::srand(seed);
        gameplay_load_static();
        gameplay_new_game();
        if (map_pixel_width() > 1200 && map_pixel_height() > 900) break;
        gameplay_unload_static();
    }
    g_minimap_dirty.clear();
    minimap_mark_all_dirty();
    scroll_x = scroll_y = 0;
    truncate_scroll();
    scroll_ix = 200;
    scroll_iy = 100;
    const RECT content{8, 768 - 88, 120, 768 - 8};
    core->frame_begin(0xFF806000);
    refresh_minimap();
    g_gfx->depth = 0.0f;
    g_map->draw();
    g_gfx->flush();
    EXPECT_EQ(core->device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    draw_minimap_widget(content, 1);
    g_gfx->flush();
    frame f = grab_back_buffer(core->device);
    core->frame_end();
    save_screenshot(f, "minimap.png");
    // The minimap's corner holds no clear colour of the screen, and the view rectangle lightens
    // the minimap where it lies.
    const int w = map_pixel_width(), h = map_pixel_height();
    const int vx = static_cast<int>((200 + 512) * 112.0f / w + 8),
              vy = static_cast<int>((100 + 384) * 80.0f / h + 680);
    EXPECT_EQ(f.count(content.left, content.top, content.right, content.bottom,
                      [](std::uint32_t p) { return p == 0x806000; }),
              0);
    const std::uint32_t inside = f.at(vx, vy);
    // Well outside the view rectangle, at the far right of the minimap.
    const std::uint32_t outside = f.at(content.right - 2, content.bottom - 2);
    auto brightness = [](std::uint32_t p) { return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF); };
    EXPECT_GT(brightness(inside), 400u);
    EXPECT_LT(brightness(outside), 500u);
}

} // namespace
