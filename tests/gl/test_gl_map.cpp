// The battlefield as the game draws it, on the real OpenGL device: a generated map from the
// game's data with blinking tiles and a burst of every explosion, read back from the back
// buffer and saved as build/screenshots/map_scene.png (git-ignored) for a person to look at.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "platform/crt.h"
#include "tests/gl/data_core_fixture.h"
#include "tests/gl/screenshot.h"

namespace {

constexpr D3DCOLOR clear_colour = 0xFF806000; // the battle screen's
const std::vector<std::string> all_explosions{"explosion_blood",   "explosion_death", "explosion_splinters",
                                              "explosion_wreck",   "explosion_blast", "explosion_bounce",
                                              "explosion_sploosh", "explosion_fire"};

class GlMap : public data_core_test {
  protected:
    void SetUp() override {
        open_core("Harnvale map");
        g_particle_pool = new c_particle_pool(1000);
        IDirect3DTexture9* t = g_gfx->create_texture(g_rules->get_raw("misc", "particle_image"));
        g_particle_image = g_gfx->get_image(t, 0.5f);
        t->Release();
        crt::srand(2024);
        scroll_x = scroll_y = 0;
        truncate_scroll();
    }
    void TearDown() override {
        clear_effects(g_effects);
        delete map;
        if (g_particle_image) g_particle_image->release();
        g_particle_image = nullptr;
        delete g_particle_pool;
        g_particle_pool = nullptr;
        close_core();
    }
    void step() {
        ip->prev_update_time = ip->update_time;
        ip->update_time += 33;
        ip->draw_time = ip->update_time;
        map->update_blinks();
        update_effects(g_effects);
    }
    // Draws the way the battle screen does: map, flush, fresh depth, effects, flush.
    frame draw() {
        core->frame_begin(clear_colour);
        ip->drawing = true;
        g_gfx->depth = 0.0f;
        map->draw();
        g_gfx->flush();
        EXPECT_EQ(core->device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        draw_effects(g_effects);
        g_gfx->flush();
        ip->drawing = false;
        frame f = grab_back_buffer(core->device);
        core->frame_end();
        return f;
    }
    static int red(std::uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
    static int blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }

    c_map* map = nullptr;
};

TEST_F(GlMap, AGeneratedMapWithBlinksAndEveryExplosion) {
    map = new c_map(20, 15, true);
    std::set<c_tiletype*> types;
    for (int i = 0; i < 20 * 15; ++i)
        types.insert(map->get_tile(i % 20, i / 20)->type);
    ASSERT_EQ(static_cast<int>(types.size()), map->get_num_tiletypes());
    frame plain = draw();

    // Terrain covers every tile centre; the notch left of the first even-row tile shows the ground.
    for (int row = 0; row < 15; ++row)
        for (int col = 0; col < 15; ++col) {
            c_tile* t = map->get_tile(col, row);
            EXPECT_NE(plain.at((t->left + t->right) / 2, (t->top + t->bottom) / 2), clear_colour & 0xFFFFFF)
                << col << "," << row;
        }
    EXPECT_EQ(plain.at(4, 20), clear_colour & 0xFFFFFF);

    // Blinks at their brightest: a red, a white and a green-orange move marker.
    c_tile *red_tile = map->get_tile(3, 3), *white_tile = map->get_tile(4, 3),
           *move_tile = map->get_tile(5, 4);
    red_tile->blink(0xFFFF0000);
    white_tile->blink(0xFFFFFFFF);
    move_tile->blink(0xFF007F00);
    for (int i = 0; i < 7; ++i)
        step();
    // A burst of every explosion, each over its own tile in rows 7 and 10, and a shattered
    // picture; a few steps so that they spread.
    for (size_t i = 0; i < all_explosions.size(); ++i) {
        c_tile* t = map->get_tile(1 + static_cast<int>(i % 4) * 3, i < 4 ? 7 : 10);
        c_explosion e(all_explosions[i], 60);
        e.explode(float(t->left), float(t->right), float(t->top), float(t->bottom));
    }
    c_fragmentation shards("fragmentation_unit", map->get_tiletype(4)->image, 0xFFFFFFFF);
    c_tile* ft = map->get_tile(12, 3);
    shards.shatter(float(ft->left), float(ft->right), float(ft->top) - 64, float(ft->bottom));
    for (int i = 0; i < 4; ++i)
        step();
    frame busy = draw();
    save_screenshot(busy, "map_scene.png");
    save_screenshot(plain, "map_plain.png");

    auto centre = [](const frame& f, c_tile* t) {
        return f.at((t->left + t->right) / 2, (t->top + t->bottom) / 2);
    };
    EXPECT_GE(red(centre(busy, red_tile)), red(centre(plain, red_tile)));
    EXPECT_LT(blue(centre(busy, red_tile)), blue(centre(plain, red_tile)) + 1);
    EXPECT_NE(centre(busy, red_tile), centre(plain, red_tile));
    EXPECT_NE(centre(busy, white_tile), centre(plain, white_tile));
    // Every burst changed pixels around its tile.
    for (size_t i = 0; i < all_explosions.size(); ++i) {
        c_tile* t = map->get_tile(1 + static_cast<int>(i % 4) * 3, i < 4 ? 7 : 10);
        int changed = 0;
        for (int y = std::max(0, t->top - 64); y < t->bottom + 32; ++y)
            for (int x = std::max(0, t->left - 48); x < std::min(busy.width, t->right + 48); ++x)
                changed += busy.at(x, y) != plain.at(x, y);
        EXPECT_GT(changed, 20) << all_explosions[i];
    }
}

} // namespace
