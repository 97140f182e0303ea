// Display changes applied on the real OpenGL device while the program runs: a changed settings
// record plus the settings-changed flag (the core's forced reset) makes the next frame rebuild
// the device for full screen, for the window again, and with or without vertical sync, and
// every frame afterwards draws and presents.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <filesystem>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/interpolator.h"
#include "tests/rect_equal.h"
#include "tests/test_util.h"

namespace {
class DisplayChange : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("HARNVALE_NONINTERACTIVE", "1", 1);
        settings_record s{};
        s.is_windowed = TRUE;
        s.window_rect = RECT{40, 30, 680, 510};
        s.present_interval = D3DPRESENT_INTERVAL_IMMEDIATE;
        core = new c_core("Harnvale display change", "", s, 0, 0x1C);
        g_core = core;
        // The mode the adapter lists first, as the options screen would offer it.
        ASSERT_GT(core->d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 0u);
        ASSERT_EQ(core->d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, 0, &listed), D3D_OK);
        pump();
    }
    void TearDown() override {
        delete core;
        g_core = nullptr;
    }
    // A few frames, as the state loops run them: the device check, a cleared frame, present.
    void frames(int n = 3) {
        for (int i = 0; i < n; ++i) {
            core->check_reset();
            core->frame_begin(0xFF203040);
            core->frame_end();
        }
    }
    void pump() {
        for (int i = 0; i < 5; ++i) {
            core->pump_messages();
            SDL_Delay(20);
        }
    }
    void change(const settings_record& s) {
        core->settings = s;
        core->forced_reset = true;
        ASSERT_EQ(core->check_reset(), D3DERR_DEVICENOTRESET);
        frames();
        pump();
        frames();
        EXPECT_FALSE(core->forced_reset);
        EXPECT_EQ(core->device->TestCooperativeLevel(), D3D_OK);
    }
    RECT client() const {
        RECT r{};
        GetClientRect(core->window, &r);
        return r;
    }

    c_core* core = nullptr;
    D3DDISPLAYMODE listed{};
};
} // namespace

TEST_F(DisplayChange, FullScreenAndBackAreAppliedOnTheNextFrames) {
    const RECT window_rect = core->settings.window_rect;
    EXPECT_EQ(client(), (RECT{0, 0, 640, 480}));

    settings_record full = core->settings;
    full.is_windowed = FALSE;
    full.mode = listed;
    change(full);
    EXPECT_EQ(client(), (RECT{0, 0, static_cast<LONG>(listed.Width), static_cast<LONG>(listed.Height)}));
    RECT outer{};
    GetWindowRect(core->window, &outer);
    EXPECT_EQ(outer.left, 0) << "full screen covers the display from its corner";
    EXPECT_EQ(outer.top, 0);
    int w = 0, h = 0;
    core->get_client_size(w, h);
    EXPECT_EQ(w, static_cast<int>(listed.Width));
    EXPECT_EQ(h, static_cast<int>(listed.Height));
    EXPECT_EQ(core->settings.window_rect, window_rect) << "full screen leaves the window's place alone";

    settings_record windowed = core->settings;
    windowed.is_windowed = TRUE;
    change(windowed);
    EXPECT_EQ(client(), (RECT{0, 0, 640, 480}));
    GetWindowRect(core->window, &outer);
    EXPECT_EQ(outer, window_rect) << "the window comes back where it was";
    EXPECT_EQ(core->settings.window_rect, window_rect);
}

TEST_F(DisplayChange, VerticalSyncOffAndOnAgain) {
    settings_record s = core->settings;
    s.present_interval = D3DPRESENT_INTERVAL_DEFAULT;
    change(s);
    s.present_interval = D3DPRESENT_INTERVAL_IMMEDIATE;
    change(s);
    EXPECT_EQ(client(), (RECT{0, 0, 640, 480}));
}

TEST_F(DisplayChange, AnUnlistedFullScreenModeIsRefusedWithAReport) {
    settings_record s = core->settings;
    s.is_windowed = FALSE;
    s.mode = listed;
    s.mode.RefreshRate += 1;
    core->settings = s;
    core->forced_reset = true;
    EXPECT_RAISES(core->reset(), "The requested display mode is not supported.");
}
