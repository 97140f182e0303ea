// The options, exit and credits screens run whole on the real OpenGL device with scripted input,
// checked on the pixels they show and saved under build/screenshots for a person to look at:
// the options screen with its window-mode list open, the exit screen, and the credits with
// their stars and an entry half faded in.
#include <deque>

#include "tests/gl/screenshot.h"
#include "tests/gl/state_fixture.h"

namespace {

class GlOptionScreens : public game_state_test {
  protected:
    GlOptionScreens() { real_device = true; }
    void SetUp() override {
        game_state_test::SetUp();
        script = [&](int) {
            if (plan.empty()) return;
            plan.front()();
            plan.pop_front();
        };
    }
    void idle(int frames) {
        for (int i = 0; i < frames; ++i)
            plan.push_back([] {});
    }
    void click(int x, int y) {
        plan.push_back([=] { mouse(x, y, false); });
        plan.push_back([=] { mouse(x, y, true); });
        plan.push_back([=] { mouse(x, y, false); });
    }
    void key(int scan_code) {
        plan.push_back([=] { hold(scan_code, true); });
        plan.push_back([=] { hold(scan_code, true); });
        plan.push_back([=] { hold(scan_code, false); });
    }
    // Runs one state until it hands over to another.
    void run(int state) {
        g_game_state = state;
        run_state(state);
    }

    std::deque<std::function<void()>> plan;
};

int red(std::uint32_t p) {
    return static_cast<int>((p >> 16) & 0xFF);
}

// The design space (800 x 600) on the 1024 x 768 test window.
int sx(int x) {
    return x * 1024 / 800;
}
int sy(int y) {
    return y * 768 / 600;
}

} // namespace

TEST_F(GlOptionScreens, OptionsWithTheWindowListOpenAndTheDiagnosticsLevelLive) {
    const settings_record entry = g_core->settings;
    idle(4);
    ::frame closed, open;
    int opened_at = -1;
    after_frame = [&](int f) {
        if (f == 3) closed = grab_back_buffer(g_device);
        if (opened_at < 0 && plan.empty()) {
            opened_at = f;
            open = grab_back_buffer(g_device);
            save_screenshot(open, "options_dropper_open.png");
            // The diagnostics list: its last item ("everything"), then a look at the level.
            click(sx(550), sy(230));
            idle(2);
            click(sx(550), sy(245) + 4 + 3 * 30 + 15);
            idle(2);
            plan.push_back(
                [&] { EXPECT_EQ(g_core->diagnostics_mode, 3) << "live while the screen is open"; });
            key(DIK_C);
            idle(2);
        }
    };
    click(sx(550), sy(125));
    idle(3);
    run(GS_OPTIONS);
    EXPECT_EQ(g_game_state, GS_MAINMENU);
    ASSERT_GT(opened_at, 0);
    EXPECT_EQ(g_core->diagnostics_mode, 0) << "cancel gives the level of entry back";
    EXPECT_EQ(std::memcmp(&g_core->settings, &entry, sizeof entry), 0);
    EXPECT_FALSE(g_core->forced_reset);
    // The open list shows its two items where the fields below were.
    int differ = 0;
    for (int y = sy(142); y < sy(200); ++y)
        for (int x = sx(310); x < sx(790); ++x)
            differ += closed.at(x, y) != open.at(x, y);
    EXPECT_GT(differ, 2000);
}

TEST_F(GlOptionScreens, ExitScreenAsksAndNoGoesBack) {
    idle(4);
    after_frame = [&](int f) {
        if (f == 3) {
            ::frame shot = grab_back_buffer(g_device);
            save_screenshot(shot, "exit_screen.png");
            // The background picture and the three framed rows are drawn.
            EXPECT_GT(shot.count(0, 0, shot.width, shot.height, [](std::uint32_t p) { return p != 0; }),
                      shot.width * shot.height / 2);
            key(DIK_C);
        }
    };
    run(GS_EXITSCREEN);
    EXPECT_EQ(g_game_state, GS_MAINMENU);
}

TEST_F(GlOptionScreens, CreditsShowStarsAndAnEntryFadingIn) {
    frame_ms = 25;
    bool checked = false;
    after_frame = [&](int f) {
        // 550 ms in: the first entry is about half way into its fade.
        if (f != 22) return;
        ::frame shot = grab_back_buffer(g_device);
        save_screenshot(shot, "credits_half_faded.png");
        auto star = [](std::uint32_t p) { return p == 0xFFFFFF || p == 0xC4C400 || p == 0x800000; };
        EXPECT_GT(shot.count(0, 0, shot.width, shot.height, star), 150) << "three layers of 100 stars";
        // The entry's colour is 244, 200, 96: half faded in over black its red is about half.
        int brightest = 0;
        for (int y = shot.height / 2 - 40; y < shot.height / 2 + 40; ++y)
            for (int x = 0; x < shot.width; ++x)
                if (!star(shot.at(x, y))) brightest = std::max(brightest, red(shot.at(x, y)));
        EXPECT_GT(brightest, 70);
        EXPECT_LT(brightest, 190);
        checked = true;
        key(DIK_ESCAPE);
    };
    run(GS_CREDITS);
    EXPECT_TRUE(checked);
    EXPECT_EQ(g_game_state, GS_MAINMENU) << "Escape goes back to the menu";
}

TEST_F(GlOptionScreens, CreditsEndOnTheLeftButtonToo) {
    idle(5);
    plan.push_back([] { mouse(500, 400, true); });
    run(GS_CREDITS);
    EXPECT_EQ(g_game_state, GS_MAINMENU);
    EXPECT_LT(frame, 10);
}
