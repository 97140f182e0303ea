// The program's screens on the real OpenGL device, played from the opening logo to a victory by
// scripted input, with a screenshot of each moment saved under build/screenshots for a person to
// look at: the logo over black, the menu with the logo fading out, a hovered menu button, the
// battle at its start, an attack under way and the victory banner.
#include <deque>

#include "tests/gl/screenshot.h"
#include "tests/gl/state_fixture.h"

namespace {

class GlScreens : public game_state_test {
  protected:
    GlScreens() { real_device = true; }

    // The plan holds the input of the coming frames, one entry per frame.
    void idle(int frames) {
        for (int i = 0; i < frames; ++i)
            plan.push_back([] {});
    }
    void click(int x, int y) {
        plan.push_back([=] { mouse(x, y, false); });
        plan.push_back([=] { mouse(x, y, true); });
        plan.push_back([=] { mouse(x, y, false); });
    }
    void key(std::initializer_list<int> keys) {
        std::vector<int> k(keys);
        plan.push_back([k] {
            for (int c : k)
                hold(c, true);
        });
        plan.push_back([k] {
            for (int c : k)
                hold(c, true);
        });
        plan.push_back([k] {
            for (int c : k)
                hold(c, false);
        });
    }
    static POINT on_screen(const c_tile* t) {
        return POINT{(t->left + t->right) / 2 - scroll_ix, (t->top + t->bottom) / 2 - scroll_iy};
    }
    static bool in_view(const c_tile* t) {
        const POINT p = on_screen(t);
        return p.x > 160 && p.x < 980 && p.y > 60 && p.y < 600;
    }
    // A unit of the current player in view with an enemy beside it in view; false when none.
    static bool find_attack(c_unit*& unit, c_tile*& target) {
        c_player* p = g_playermanager->get_current_player();
        if (!p) return false;
        for (c_unit* u : p->get_units()) {
            if (!u->can_act() || !in_view(u->get_tile())) continue;
            for (int r = 0; r < g_map->get_rows(); ++r)
                for (int c = 0; c < g_map->get_cols(); ++c) {
                    c_tile* t = g_map->get_tile(c, r);
                    const int what = u->classify(t);
                    if ((what == CLASS_ATTACK || what == CLASS_TARGET) && in_view(t)) {
                        unit = u;
                        target = t;
                        return true;
                    }
                }
        }
        return false;
    }

    std::deque<std::function<void()>> plan;
};

int count_not_black(const ::frame& f) {
    return f.count(0, 0, f.width, f.height, [](std::uint32_t p) { return (p & 0xF0F0F0) != 0; });
}

TEST_F(GlScreens, FromTheLogoToVictory) {
    frame_limit = 3000;
    script = [&](int) {
        if (plan.empty()) return;
        plan.front()();
        plan.pop_front();
    };
    enum { menu, battle, attacking, giving_up, won } stage = menu;
    int mark = 0, logo_pixels = 0;
    std::uint32_t survivor = 0;
    after_frame = [&](int f) {
        switch (stage) {
        case menu:
            if (f == 40) {
                ::frame shot = grab_back_buffer(g_device);
                logo_pixels = count_not_black(shot);
                save_screenshot(shot, "logo_over_black.png");
            }
            if (f == 110) save_screenshot(grab_back_buffer(g_device), "menu_logo_fading.png");
            if (f == 200) {
                plan.push_back([] { mouse(770, 500, false); }); // over "options"
                idle(3);
            }
            if (f == 204) {
                save_screenshot(grab_back_buffer(g_device), "menu_button_hovered.png");
                key({DIK_S});
            }
            if (g_game_state == GS_GAMEPLAY) {
                stage = battle;
                mark = f;
                plan.push_back([] { mouse(600, 400, false); });
            }
            break;
        case battle:
            if (f == mark + 3) {
                save_screenshot(grab_back_buffer(g_device), "battle_start.png");
                c_unit* unit = nullptr;
                c_tile* target = nullptr;
                ASSERT_TRUE(find_attack(unit, target)) << "no attack in view at the start";
                const POINT u = on_screen(unit->get_tile()), t = on_screen(target);
                click(u.x, u.y);
                idle(1);
                click(t.x, t.y);
                stage = attacking;
                mark = 0;
            }
            break;
        case attacking:
            if (g_unitmanager->is_busy() && ++mark == 6) {
                save_screenshot(grab_back_buffer(g_device), "attack_under_way.png");
                stage = giving_up;
            }
            break;
        case giving_up:
            if (g_playermanager->get_num_alive() == 1) {
                stage = won;
                mark = f;
                survivor = g_playermanager->get_current_player()->get_color();
            } else if (plan.empty() && !g_unitmanager->is_busy()) {
                key({DIK_LCONTROL, DIK_X});
                idle(10);
            }
            break;
        case won:
            if (f == mark + 60) {
                ::frame shot = grab_back_buffer(g_device);
                save_screenshot(shot, "victory_banner.png");
                // The banner's letters in the survivor's colour across the middle of the screen.
                const std::uint32_t rgb = survivor & 0xFFFFFF;
                const int letters = shot.count(0, 300, 1024, 470, [&](std::uint32_t p) { return p == rgb; });
                EXPECT_GT(letters, 500);
                g_game_state = GS_QUIT;
            }
            break;
        }
    };
    g_game_state = GS_MAINMENU;
    crt::srand(7);
    run_states();
    EXPECT_EQ(stage, won);
    EXPECT_GT(logo_pixels, 10000);
}

} // namespace
