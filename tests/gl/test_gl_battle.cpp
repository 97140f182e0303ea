// A seeded battle from the game's data drawn on the real OpenGL device the way the battle screen
// draws it: the map with its units, flags and names, a selected unit with its moves blinking, an
// arrow and a cannonball in flight, a floating result text and the turn banner. Read back from
// the back buffer, checked for what must be there, and saved as
// build/screenshots/battle_scene.png (git-ignored) for a person to look at.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "platform/crt.h"
#include "platform/wingdi.h"
#include "tests/gl/data_core_fixture.h"
#include "tests/gl/screenshot.h"

namespace {

constexpr D3DCOLOR clear_colour = 0xFF806000; // the battle screen's

int red(std::uint32_t p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
int green(std::uint32_t p) {
    return static_cast<int>((p >> 8) & 0xFF);
}
int blue(std::uint32_t p) {
    return static_cast<int>(p & 0xFF);
}

class GlBattle : public data_core_test {
  protected:
    void SetUp() override {
        open_core("Harnvale battle");
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_font =
            new c_font(g_gfx, CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
        g_particle_pool = new c_particle_pool(1000);
        g_show_moves = g_show_names = true;
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
        g_show_moves = g_show_names = false;
        close_core();
    }
    void step() {
        ip->prev_update_time = ip->update_time;
        ip->update_time += 33;
        update_effects(g_effects);
        update_effects(g_overlays);
        g_map->update_blinks();
        g_unitmanager->update();
        update_banner();
    }
    // Draws the way the battle screen does: selection and map, flush, fresh depth, effects,
    // flush, overlays, flush, fresh depth, banner.
    frame draw(c_unit* also_in_flight) {
        core->frame_begin(clear_colour);
        ip->drawing = true;
        ip->draw_time = ip->update_time - 10;
        g_gfx->depth = 0.0f;
        g_playermanager->get_current_player()->draw_selection();
        g_map->draw();
        // Orders wait while a unit acts, so two shots never fly at once in the game; this
        // picture shows both, the second through its own projectile drawing.
        if (also_in_flight) also_in_flight->draw_projectile();
        g_gfx->flush();
        EXPECT_EQ(core->device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        draw_effects(g_effects);
        g_gfx->flush();
        draw_effects(g_overlays);
        g_gfx->flush();
        EXPECT_EQ(core->device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        draw_banner();
        g_gfx->flush();
        ip->drawing = false;
        frame f = grab_back_buffer(core->device);
        core->frame_end();
        return f;
    }

    // Away from the map's edges, so that the view can be centred on it.
    static bool inland(const c_tile* t) {
        return t->col >= 4 && t->col < g_map->get_cols() - 4 && t->row >= 5 && t->row < g_map->get_rows() - 5;
    }
    // A unit of the current player of the given kind with an enemy it can shoot; its target.
    template <class T> static T* shooter(c_tile*& target) {
        for (c_unit* u : g_playermanager->get_current_player()->get_units()) {
            T* s = dynamic_cast<T*>(u);
            if (!s || !inland(s->get_tile())) continue;
            for (c_unit* e : g_unitmanager->get_all())
                if (s->classify(e->get_tile()) == CLASS_TARGET &&
                    calc_range(s->get_tile(), e->get_tile()) >= 3) {
                    target = e->get_tile();
                    return s;
                }
        }
        return nullptr;
    }
    // A battle whose first player has an archer and a cannon with enemies in range.
    void find_battle(c_archer*& archer, c_tile*& arrow_target, c_cannon*& cannon, c_tile*& ball_target) {
        for (unsigned seed = 1; seed < 500; ++seed) {
            gameplay_unload_static();
            gameplay_load_static();
            crt::srand(seed);
            gameplay_new_game();
            if (g_playermanager->get_current() != 0) continue;
            archer = shooter<c_archer>(arrow_target);
            cannon = shooter<c_cannon>(ball_target);
            if (archer && cannon && calc_range(archer->get_tile(), cannon->get_tile()) <= 6) return;
        }
        FAIL() << "no seed gives the scene";
    }
};

TEST_F(GlBattle, ASeededBattleWithEverythingInFlight) {
    c_archer* archer = nullptr;
    c_cannon* cannon = nullptr;
    c_tile *arrow_target = nullptr, *ball_target = nullptr;
    find_battle(archer, arrow_target, cannon, ball_target);
    ASSERT_TRUE(archer && cannon);

    // The view over the two shooters and their targets, above the banner's band.
    const int mid_x =
        (archer->get_rect().left + cannon->get_rect().left + arrow_target->left + ball_target->left) / 4;
    const int mid_y =
        (archer->get_rect().top + cannon->get_rect().top + arrow_target->top + ball_target->top) / 4;
    scroll_x = mid_x + 32 - 512;
    scroll_y = mid_y + 32 - 200;
    gameplay_scroll(RECT{4, 676, 124, 764}, false, 1.0f);

    // A melee unit of ours selected, its moves blinking.
    c_player* me = g_playermanager->get_current_player();
    c_unit* walker = nullptr;
    for (c_unit* u : me->get_units())
        if (!dynamic_cast<c_archer*>(u) && !dynamic_cast<c_cannon*>(u)) {
            const RECT r = u->get_rect();
            if (r.left > scroll_ix + 64 && r.right < scroll_ix + 960 && r.top > scroll_iy + 96 &&
                r.bottom < scroll_iy + 700) {
                walker = u;
                break;
            }
        }
    archer->act(arrow_target, 32, 40);
    for (int i = 0; i < 4; ++i)
        step();
    cannon->act(ball_target, 32, 40);
    if (walker) walker->select();
    g_hovered_tile = arrow_target;
    // A result text over the cannon, as after a hit.
    cannon->show_text(g_stringtable->get_string("gameplay", "hit"), g_unit_settings.hit_text_color,
                      cannon->get_rect());
    for (int i = 0; i < 4; ++i)
        step();
    ASSERT_EQ(archer->get_state(), STATE_FLYING) << "the arrow has landed already";
    ASSERT_EQ(cannon->get_state(), STATE_FLYING) << "the ball has come down already";

    frame f = draw(archer);
    save_screenshot(f, "battle_scene.png");

    // The banner names the first player in red across the middle of the screen.
    EXPECT_EQ(g_banner.text, "Brindlecap");
    EXPECT_GT(f.count(0, 300, 1024, 468,
                      [](std::uint32_t p) { return red(p) > 200 && green(p) < 90 && blue(p) < 90; }),
              2000);
    // Flags in the other two players' colours are on the field.
    EXPECT_GT(f.count(0, 0, 1024, 768,
                      [](std::uint32_t p) { return red(p) > 100 && red(p) < 150 && blue(p) > 230; }),
              50);
    EXPECT_GT(f.count(0, 0, 1024, 768,
                      [](std::uint32_t p) { return red(p) > 230 && green(p) > 230 && blue(p) < 40; }),
              50);
    // Terrain fills the view: the ground colour shows at most outside the map.
    EXPECT_LT(f.count(0, 0, 1024, 768, [](std::uint32_t p) { return p == (clear_colour & 0xFFFFFF); }),
              1024 * 768 / 4);
}

} // namespace
