// The core against the recording Direct3D device, in a real window (needs the X server to itself:
// a window that loses the focus makes the core wait, as the game does while inactive).
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <climits>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "tests/fakes/recording_device.h"
#include "tests/rect_equal.h"
#include "tests/test_util.h"

namespace {
recording_d3d* g_fake = nullptr;
IDirect3D9* make_fake(UINT) {
    return g_fake;
}

settings_record windowed(int w, int h) {
    settings_record s{};
    s.is_windowed = TRUE;
    s.window_rect = RECT{0, 0, w, h};
    s.mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    return s;
}

class CoreTest : public testing::Test {
  protected:
    void SetUp() override {
        setenv("HARNVALE_NONINTERACTIVE", "1", 1);
        g_fake = &fake;
        g_direct3d_create = make_fake;
    }
    void TearDown() override {
        delete core;
        g_direct3d_create = Direct3DCreate9;
    }
    c_core* make(const settings_record& s, DWORD flags = 0x1C, int debug = 0) {
        core = new c_core("Harnvale test", "", s, debug, flags);
        return core;
    }
    recording_device& dev() { return *fake.last_device; }

    recording_d3d fake;
    c_core* core = nullptr;
};

void expect_render_setup(recording_device& d) {
    EXPECT_EQ(d.render_state(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(d.render_state(D3DRS_ALPHATESTENABLE), 1u);
    EXPECT_EQ(d.render_state(D3DRS_ALPHAREF), 0u);
    EXPECT_EQ(d.render_state(D3DRS_ALPHAFUNC), D3DCMP_GREATER);
    EXPECT_EQ(d.render_state(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(d.render_state(D3DRS_SRCBLEND), D3DBLEND_SRCALPHA);
    EXPECT_EQ(d.render_state(D3DRS_DESTBLEND), D3DBLEND_INVSRCALPHA);
    EXPECT_EQ(d.render_state(D3DRS_BLENDOP), D3DBLENDOP_ADD);
    EXPECT_EQ(d.stage_state(0, D3DTSS_ALPHAARG1), D3DTA_TEXTURE);
    EXPECT_EQ(d.stage_state(0, D3DTSS_ALPHAARG2), D3DTA_DIFFUSE);
    EXPECT_EQ(d.stage_state(0, D3DTSS_ALPHAOP), D3DTOP_MODULATE);
    EXPECT_EQ(d.render_state(D3DRS_ZENABLE), D3DZB_TRUE);
    EXPECT_EQ(d.render_state(D3DRS_SCISSORTESTENABLE), 1u);
    EXPECT_EQ(d.render_state(D3DRS_POINTSPRITEENABLE), 1u);
}
} // namespace

TEST_F(CoreTest, SecondCoreRaisesBeforeTouchingTheWindowSystem) {
    make(windowed(640, 480));
    EXPECT_RAISES(c_core("again", "", windowed(640, 480), 0, 0),
                  "There can only be one core object in existence at a time.");
    EXPECT_EQ(c_core::instance(), core);
}

TEST_F(CoreTest, RenderStatesAreSetAtCreationAndAfterEveryReset) {
    make(windowed(800, 600));
    expect_render_setup(dev());
    D3DMATRIX p = dev().transform(D3DTS_PROJECTION);
    EXPECT_FLOAT_EQ(p._11, 1.0f);
    EXPECT_NEAR(p._22, -1.3333f, 1e-4);
    EXPECT_FLOAT_EQ(p._33, 1.0f);
    EXPECT_EQ(dev().viewport.Width, 800u);
    EXPECT_EQ(dev().viewport.Height, 600u);
    // A reset brings the device's defaults back; the core must set its table again.
    dev().SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    core->forced_reset = true;
    core->reset();
    EXPECT_GE(dev().resets, 2); // reset_d3d_device runs twice around the window placement
    EXPECT_FALSE(core->forced_reset);
    expect_render_setup(dev());
}

TEST_F(CoreTest, PortraitWindowKeepsUnitsSquare) {
    // The taller side spans -1..1; x is scaled by h / w so that a unit is as wide as it is high.
    make(windowed(300, 400));
    D3DMATRIX p = dev().transform(D3DTS_PROJECTION);
    EXPECT_NEAR(p._11, 1.3333f, 1e-4);
    EXPECT_FLOAT_EQ(p._22, -1.0f);
}

TEST_F(CoreTest, WindowProcedureTable) {
    make(windowed(640, 480));
    HWND w = core->window;
    core->forced_reset = false;
    EXPECT_EQ(c_core::window_proc(w, WM_SIZE, SIZE_MINIMIZED, 0), 0);
    EXPECT_TRUE(core->active);
    EXPECT_FALSE(core->forced_reset);
    c_core::window_proc(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(0, 480));
    EXPECT_FALSE(core->active);
    c_core::window_proc(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
    EXPECT_TRUE(core->active);
    EXPECT_TRUE(core->forced_reset);
    core->forced_reset = false;
    core->settings.window_rect = RECT{};
    c_core::window_proc(w, WM_MOVE, 0, 0);
    EXPECT_TRUE(core->forced_reset);
    RECT actual;
    GetWindowRect(w, &actual);
    EXPECT_EQ(core->settings.window_rect, actual);
    c_core::window_proc(w, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_FALSE(core->active);
    core->forced_reset = false;
    c_core::window_proc(w, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    EXPECT_TRUE(core->active);
    EXPECT_TRUE(core->forced_reset);
    for (UINT m : {WM_INITMENUPOPUP, WM_SIZING, WM_MOVING}) {
        core->forced_reset = false;
        EXPECT_EQ(c_core::window_proc(w, m, 0, 0), 0);
        EXPECT_TRUE(core->forced_reset);
    }
    EXPECT_FALSE(core->quit);
    c_core::window_proc(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(core->quit);
    EXPECT_EQ(c_core::window_proc(w, 0x0400, 1, 2), 0); // passed on to DefWindowProcA
}

TEST_F(CoreTest, EdgesWhoseDifferenceOverflowsGiveTheSmallestWindow) {
    // As a hand-edited settings.ini can have them: the window is made and placed, not sized
    // by a wrapped subtraction (the sanitizer build stops at the overflow itself).
    settings_record s = windowed(640, 480);
    s.window_rect = RECT{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    make(s);
    ASSERT_NE(core->window, nullptr);
    int w = 0, h = 0;
    core->get_client_size(w, h);
    EXPECT_GE(w, 1);
    EXPECT_LE(w, 64);
    EXPECT_GE(h, 1);
    EXPECT_LE(h, 64);
}

TEST_F(CoreTest, FullScreenKeepsItsWindowRectangle) {
    settings_record s = windowed(640, 480);
    s.is_windowed = FALSE;
    s.window_rect = RECT{5, 6, 7, 8};
    make(s);
    c_core::window_proc(core->window, WM_MOVE, 0, 0);
    c_core::window_proc(core->window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1024, 768));
    EXPECT_EQ(core->settings.window_rect, (RECT{5, 6, 7, 8}));
    D3DPRESENT_PARAMETERS p = fake.created_with.back();
    EXPECT_FALSE(p.Windowed);
    EXPECT_EQ(p.BackBufferWidth, 1024u);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 60u);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
}

TEST_F(CoreTest, WindowedDeviceTakesTheDesktopFormatAndClientSize) {
    settings_record s = windowed(640, 480);
    s.mode.Format = D3DFMT_R5G6B5;
    make(s, 0x18);
    D3DPRESENT_PARAMETERS p = fake.created_with.back();
    EXPECT_TRUE(p.Windowed);
    EXPECT_EQ(p.BackBufferWidth, 0u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
}

TEST_F(CoreTest, DisplayModeMustBeListedExactly) {
    settings_record s = windowed(640, 480);
    s.is_windowed = FALSE;
    s.mode.RefreshRate = 59;
    EXPECT_RAISES(make(s), "The requested display mode is not supported.");
    delete c_core::instance();
    s.mode = D3DDISPLAYMODE{0, 0, 0, D3DFMT_UNKNOWN};
    EXPECT_RAISES(make(s), "The requested display mode is not supported.");
    delete c_core::instance();
    s.mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    make(s);
    core->test_display_mode();
}

TEST_F(CoreTest, FailedPlatformCallsRaiseWithTheirMessages) {
    fake.fail_next("CreateDevice", D3DERR_NOTAVAILABLE);
    try {
        make(windowed(640, 480));
        FAIL() << "no raise";
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, "Unable to create the Direct3D Device.");
        EXPECT_EQ(e.hresult, D3DERR_NOTAVAILABLE);
        EXPECT_EQ(e.function, "c_core::create_d3d_device");
        EXPECT_NE(e.get_report().find("HRESULT: Not available.\n"), std::string::npos);
        EXPECT_NE(e.additional_details.find("CAPTION: Harnvale test\n"), std::string::npos);
    }
    delete c_core::instance();
    fake.check_result = D3DERR_NOTAVAILABLE;
    EXPECT_RAISES(
        make(windowed(640, 480)),
        "Hardware acceleration does not exist for this display format. Please choose a different format.");
    delete c_core::instance();
    fake.check_result = D3D_OK;
    EXPECT_RAISES(c_core("c", "no-such-icon.ico", windowed(640, 480), 0, 0),
                  "Unable to load the icon image.");
    delete c_core::instance();
    g_direct3d_create = [](UINT) -> IDirect3D9* { return nullptr; };
    EXPECT_RAISES(make(windowed(640, 480)), "Unable to create Direct3D9.");
}

TEST_F(CoreTest, CheckResetFiveSteps) {
    make(windowed(640, 480));
    // Other test programs share the X server, so the window may have lost the focus already.
    core->pump_messages();
    core->active = true;
    core->forced_reset = false;
    EXPECT_EQ(core->check_reset(), 0);
    core->active = false;
    EXPECT_EQ(core->check_reset(), D3DERR_DEVICELOST);
    core->active = true;
    dev().cooperative_level = D3DERR_DEVICELOST;
    core->forced_reset = true;
    EXPECT_EQ(core->check_reset(), D3DERR_DEVICELOST);
    dev().cooperative_level = D3D_OK;
    EXPECT_EQ(core->check_reset(), D3DERR_DEVICENOTRESET);
    core->forced_reset = false;
    fake.desktop.RefreshRate = 75;
    dev().cooperative_level = D3DERR_DEVICENOTRESET;
    EXPECT_EQ(core->check_reset(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(core->desktop_mode.RefreshRate, 75u); // the desktop mode is read again
    dev().cooperative_level = D3D_OK;
}

TEST_F(CoreTest, FramesClearOnlyWithAColourAndCountThemselves) {
    make(windowed(640, 480));
    dev().clear_log();
    core->frame_begin(0);
    core->frame_end();
    EXPECT_EQ(dev().count("Clear"), 0);
    core->frame_begin(0xFF000000);
    ASSERT_EQ(dev().count("Clear"), 1);
    EXPECT_EQ(dev().last("Clear")->args[3], "0xFF000000");
    core->frame_end();
    EXPECT_EQ(core->frame_count, 2);
    EXPECT_EQ(dev().presents, 2);
    EXPECT_EQ(dev().count("BeginScene"), 2);
    EXPECT_EQ(dev().count("EndScene"), 2);
}

TEST_F(CoreTest, FpsIsMeasuredOverWholeSeconds) {
    make(windowed(640, 480));
    EXPECT_EQ(core->fps, 0.0f);
    core->fps_window_time = 1000;
    core->fps_window_frames = 50;
    core->frame_begin(0);
    core->frame_end();
    EXPECT_FLOAT_EQ(core->fps, 50.0f);
    EXPECT_EQ(core->fps_window_frames, 1);
    core->fps_window_time = 2000;
    core->fps_window_frames = 30;
    core->frame_begin(0);
    core->frame_end(); // mode 0 draws nothing but still measures
    EXPECT_FLOAT_EQ(core->fps, 15.0f);
}

TEST_F(CoreTest, KeyboardArrayIsSharedAndCarriesLockToggles) {
    make(windowed(640, 480));
    SDL_SetModState(KMOD_CAPS);
    const BYTE* a = core->get_kb_state();
    EXPECT_EQ(a[DIK_CAPITAL], 0x80);
    EXPECT_EQ(a[DIK_NUMLOCK], 0);
    EXPECT_EQ(a[DIK_SCROLL], 0);
    SDL_SetModState(KMOD_NUM);
    const BYTE* b = core->get_kb_state();
    EXPECT_EQ(a, b);
    EXPECT_EQ(a[DIK_CAPITAL], 0); // the first caller's view changed too
    EXPECT_EQ(a[DIK_NUMLOCK], 0x80);
    SDL_SetModState(KMOD_NONE);
}

TEST_F(CoreTest, DumpOfATickCounterCore) {
    make(windowed(640, 480), 0x14, 7);
    std::string d = core->get_details();
    EXPECT_EQ(d.rfind("MEMORY LOCATION: ", 0), 0u);
    EXPECT_NE(d.find("CAPTION: Harnvale test\n\nICON FILENAME: \nWINDOWS CLASS NAME: core_window_class_"),
              std::string::npos);
    EXPECT_NE(d.find("\nSCREEN:\n\tIS WINDOWED: true\n\tPOSITION: 0 x 0 -> 640 x 480"), std::string::npos);
    EXPECT_NE(
        d.find("\n\tDISPLAY MODE:\n\t\tRESOLUTION: 1024 x 768\n\t\tCOLOR DEPTH: 32\n\t\tREFRESH RATE: 60"),
        std::string::npos);
    EXPECT_NE(d.find("\nSIZEABLE WINDOW: true\nQUIT FLAG: false\nDESKTOP MODE:"), std::string::npos);
    EXPECT_NE(d.find("\nDEBUG MODE: unknown\nNUM FRAMES: 0"), std::string::npos);
    const std::string tail = "\nPERFORMANCE FREQUENCY: 0";
    EXPECT_EQ(d.substr(d.size() - tail.size()), tail);
}

TEST(CoreHelpers, CursorFrameArithmetic) {
    // Frame 8 pixels on the left, right and bottom, caption 27 pixels: window 816 x 635.
    RECT window{100, 50, 916, 685}, client{0, 0, 800, 600};
    POINT p = screen_to_client_area(POINT{108, 50 + 27}, window, client);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    p = screen_to_client_area(POINT{108 + 799, 77 + 599}, window, client);
    EXPECT_EQ(p.x, 799);
    EXPECT_EQ(p.y, 599);
    p = screen_to_client_area(POINT{10, 10}, RECT{10, 10, 50, 50}, RECT{0, 0, 40, 40});
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST(CoreHelpers, HeldKeysLine) {
    BYTE keys[256] = {};
    EXPECT_EQ(held_keys_line(keys), "  down: none \n");
    keys[30] = 0x80;
    keys[31] = 0x81;
    keys[32] = 0x7F;
    EXPECT_EQ(held_keys_line(keys), "  down: 30, 31 \n");
}
