// The battle screen's view: scrolling by keys, screen edges and the minimap, the clamps and
// centred small maps, keeping a rectangle in view, and the fading banner.
#include "platform/dinput.h"
#include "tests/game/battle_fixture.h"

namespace {

const screen_info windowed{1024, 768, true};
const screen_info full_screen{1024, 768, false};
const RECT minimap{4, 676, 124, 764};
const RECT no_minimap{0, 0, 0, 0};

class View : public battle_test {
  protected:
    // 32 x 32 tiles: 2080 x 1552 map pixels.
    View() {
        make_map(32, 32);
        g_hscroll_speed = 16;
        g_vscroll_speed = 12;
    }
    void look_at(double x, double y) {
        scroll_x = x;
        scroll_y = y;
        truncate_scroll();
    }
    void scroll(const screen_info& s = windowed, float factor = 1.0f, bool clicked = false,
                RECT r = minimap) {
        gameplay_scroll(r, clicked, factor, s);
    }
};

TEST_F(View, MapPixelSizeFollowsTheTileGeometry) {
    EXPECT_EQ(map_pixel_width(), 64 * 32 + 32);
    EXPECT_EQ(map_pixel_height(), 48 * 32 + 16);
    delete g_map;
    g_map = nullptr;
    EXPECT_EQ(map_pixel_width(), 0);
    EXPECT_EQ(map_pixel_height(), 0);
}

TEST_F(View, ArrowKeysMoveBySpeedTimesFactorAndTheViewStaysOnTheMap) {
    look_at(100, 100);
    press(DIK_RIGHT);
    press(DIK_DOWN);
    scroll(windowed, 1.5f);
    EXPECT_DOUBLE_EQ(scroll_x, 124.0);
    EXPECT_DOUBLE_EQ(scroll_y, 118.0);
    EXPECT_EQ(scroll_ix, 124);
    EXPECT_EQ(scroll_iy, 118);

    // Fractions are kept in the doubles and dropped from the int copies.
    scroll(windowed, 0.1f);
    EXPECT_NEAR(scroll_x, 125.6, 1e-4);
    EXPECT_EQ(scroll_ix, 125);

    for (int i = 0; i < 200; ++i)
        scroll(windowed, 1.0f);
    EXPECT_EQ(scroll_ix, 2080 - 1024);
    EXPECT_EQ(scroll_iy, 1552 - 768);

    release_keys();
    press(DIK_LEFT);
    press(DIK_UP);
    for (int i = 0; i < 200; ++i)
        scroll(windowed, 1.0f);
    EXPECT_EQ(scroll_ix, 0);
    EXPECT_EQ(scroll_iy, -32) << "the view may look half a tile above the map";
}

TEST_F(View, SmallMapsStayCentredWhateverTheInput) {
    make_map(4, 4); // 288 x 208
    g_mouse_x = 0;
    g_mouse_y = 0;
    press(DIK_LEFT);
    press(DIK_DOWN);
    for (int i = 0; i < 5; ++i) {
        scroll(full_screen, 3.0f, true);
        EXPECT_EQ(scroll_ix, 144 - 512);
        EXPECT_EQ(scroll_iy, 104 - 384);
    }

    // Narrow but tall: only the horizontal is pinned.
    make_map(4, 32);
    look_at(0, 300);
    scroll(windowed);
    EXPECT_EQ(scroll_ix, 144 - 512);
    EXPECT_EQ(scroll_iy, 312);

    // Vertically a map counts as small when half a tile more still fits: 14 rows are 688
    // pixels (+32 < 768), 15 rows are 736 (+32 = 768 does not).
    make_map(32, 14);
    scroll(windowed);
    EXPECT_EQ(scroll_iy, 344 - 384);
    make_map(32, 15);
    release_keys();
    look_at(0, 0);
    scroll(windowed);
    EXPECT_EQ(scroll_iy, -32);
}

TEST_F(View, ScreenEdgesScrollOnlyInFullScreenAndSetTheArrowCursors) {
    look_at(100, 100);
    g_mouse_x = 0;
    g_mouse_y = 300;
    scroll(windowed);
    EXPECT_EQ(scroll_ix, 100);
    EXPECT_EQ(g_cursor_choice, 0);

    scroll(full_screen);
    EXPECT_EQ(scroll_ix, 84);
    EXPECT_EQ(g_cursor_choice, 2);

    struct corner {
        int mx, my, cursor, dx, dy;
    };
    const corner cases[] = {
        {0, 0, 6, -16, -12}, {1023, 0, 7, 16, -12}, {0, 767, 8, -16, 12},  {1023, 767, 9, 16, 12},
        {500, 0, 4, 0, -12}, {500, 767, 5, 0, 12},  {1023, 300, 3, 16, 0},
    };
    for (const corner& c : cases) {
        look_at(100, 100);
        g_cursor_choice = 0;
        g_mouse_x = c.mx;
        g_mouse_y = c.my;
        scroll(full_screen);
        EXPECT_EQ(g_cursor_choice, c.cursor) << c.mx << "," << c.my;
        EXPECT_EQ(scroll_ix, 100 + c.dx) << c.mx << "," << c.my;
        EXPECT_EQ(scroll_iy, 100 + c.dy) << c.mx << "," << c.my;
    }

    // Where the view cannot move, the edge shows no scroll arrow.
    look_at(0, 0);
    g_cursor_choice = 0;
    g_mouse_x = g_mouse_y = 0;
    scroll(full_screen);
    EXPECT_EQ(g_cursor_choice, 0);
    EXPECT_EQ(scroll_ix, 0);
    look_at(2080 - 1024, 1552 - 768);
    g_mouse_x = 1023;
    g_mouse_y = 767;
    scroll(full_screen);
    EXPECT_EQ(g_cursor_choice, 0);
}

TEST_F(View, APressOnTheMinimapCentresTheViewOnThatPoint) {
    look_at(0, 0);
    g_mouse_x = 64;  // half way across the minimap
    g_mouse_y = 698; // a quarter down
    scroll(windowed, 1.0f, false);
    EXPECT_EQ(scroll_ix, 0) << "no press, no move";
    scroll(windowed, 1.0f, true);
    EXPECT_EQ(scroll_ix, 1040 - 512);
    EXPECT_EQ(scroll_iy, 388 - 384);

    // Near a corner the clamps still apply.
    g_mouse_x = 123;
    g_mouse_y = 763;
    scroll(windowed, 1.0f, true);
    EXPECT_EQ(scroll_ix, 2080 - 1024);
    EXPECT_EQ(scroll_iy, 1552 - 768);

    // A minimap with no area (a screen too small for it) moves nothing and divides by nothing.
    look_at(200, 200);
    scroll(windowed, 1.0f, true, no_minimap);
    EXPECT_EQ(scroll_ix, 200);
    EXPECT_EQ(scroll_iy, 200);
}

TEST_F(View, ShowRectRecentresOnlyOutsideTheComfortZone) {
    // The view shows x 500..1524, y 400..1168; the zone is 32 narrower and 32 shorter each side.
    look_at(500, 400);
    gameplay_show_rect(532, 432, 1492, 1136, windowed);
    EXPECT_EQ(scroll_ix, 500);
    EXPECT_EQ(scroll_iy, 400);

    const RECT into_band[] = {
        {531, 600, 595, 664}, {1430, 600, 1493, 664}, {800, 431, 864, 495}, {800, 1100, 864, 1137}};
    for (const RECT& r : into_band) {
        look_at(500, 400);
        gameplay_show_rect(r.left, r.top, r.right, r.bottom, windowed);
        EXPECT_EQ(scroll_ix, (r.left + r.right) / 2 - 512) << r.left << "," << r.top;
        EXPECT_EQ(scroll_iy, (r.top + r.bottom) / 2 - 384) << r.left << "," << r.top;
        EXPECT_DOUBLE_EQ(scroll_x, scroll_ix);
        EXPECT_DOUBLE_EQ(scroll_y, scroll_iy);
    }

    // Sides on the map's edge keep their full width: the corner tiles do not shake the view.
    look_at(0, 0);
    gameplay_show_rect(0, 0, 64, 64, windowed);
    EXPECT_EQ(scroll_ix, 0);
    EXPECT_EQ(scroll_iy, 0);
    look_at(2080 - 1024, 1552 - 768);
    gameplay_show_rect(2016, 1488, 2080, 1552, windowed);
    EXPECT_EQ(scroll_ix, 2080 - 1024);
    EXPECT_EQ(scroll_iy, 1552 - 768);
    // ...but the other sides of that view are still shrunk.
    gameplay_show_rect(1056, 900, 1120, 964, windowed);
    EXPECT_EQ(scroll_ix, 1088 - 512);

    // Out of view entirely: centred, and the next scroll clamps it back onto the map.
    look_at(500, 400);
    gameplay_show_rect(0, 0, 0, 0, windowed);
    EXPECT_EQ(scroll_ix, -512);
    scroll(windowed);
    EXPECT_EQ(scroll_ix, 0);
    EXPECT_EQ(scroll_iy, -32);
}

TEST_F(View, TheInitialViewCentresSmallMapsAndShowsTheTopOfLargeOnes) {
    gameplay_initial_view(windowed);
    EXPECT_EQ(scroll_ix, 0);
    EXPECT_EQ(scroll_iy, -32);
    make_map(4, 10); // 288 x 496
    gameplay_initial_view(windowed);
    EXPECT_EQ(scroll_ix, 144 - 512);
    EXPECT_EQ(scroll_iy, 248 - 384);
}

// ---- banner

class Banner : public battle_test {
  protected:
    // Draws the banner on a 1024 x 768 screen and returns the colours of the glyph and of the
    // background quads; empty when nothing was drawn.
    std::vector<D3DCOLOR> draw_colours() {
        ip.draw_time = ip.update_time; // read the value of the latest step exactly
        dev.clear_log();
        draw_banner(&font(), windowed);
        std::vector<D3DCOLOR> out;
        for (const draw_record& d : dev.draws()) {
            const auto v = d.as<vertex_tra>();
            if (!v.empty()) out.push_back(v[0].colour);
        }
        return out;
    }
    void steps(int n) {
        for (int i = 0; i < n; ++i) {
            step();
            update_banner();
        }
    }
};

TEST_F(Banner, OpaqueForTwentySevenStepsThenFadesOutOverEight) {
    step();
    show_banner("Brindlecap", 0xFFFF0000);
    // The background boxes are drawn first, then the glyphs.
    EXPECT_EQ(draw_colours(), (std::vector<D3DCOLOR>{0x7FFFFFFF, 0xFFFF0000}));
    steps(27);
    EXPECT_EQ(g_banner.fade.value, 1200 - 27 * 35);
    EXPECT_EQ(draw_colours(), (std::vector<D3DCOLOR>{0x7FFFFFFF, 0xFFFF0000}));
    steps(1); // 220
    EXPECT_EQ(draw_colours(), (std::vector<D3DCOLOR>{0x7FFFFFFF, 0xDCFF0000}));
    steps(3); // 115
    EXPECT_EQ(draw_colours(), (std::vector<D3DCOLOR>{0x73FFFFFF, 0x73FF0000}));
    steps(3); // 10
    EXPECT_EQ(draw_colours(), (std::vector<D3DCOLOR>{0x0AFFFFFF, 0x0AFF0000}));
    steps(1); // -25: gone, and it stays gone
    EXPECT_TRUE(draw_colours().empty());
    steps(5);
    EXPECT_EQ(g_banner.fade.value, -25);
    EXPECT_TRUE(draw_colours().empty());
}

TEST_F(Banner, IsOneCentredLineEightTimesTheFontSize) {
    show_banner("Brindlecap", 0xFFFF0000);
    ip.draw_time = ip.update_time;
    dev.clear_log();
    draw_banner(&font(), windowed);
    ASSERT_EQ(dev.draws().size(), 2u);
    float left = 1e9f, right = -1e9f, top = 1e9f, bottom = -1e9f;
    for (const vertex_tra& v : dev.draws()[1].as<vertex_tra>()) {
        left = std::min(left, v.x);
        right = std::max(right, v.x);
        top = std::min(top, v.y);
        bottom = std::max(bottom, v.y);
    }
    // Ten glyphs of 9 x 14 (a pixel wider than GDI measures them) at scale 8: 720 x 112,
    // centred on the 1024 x 768 screen.
    EXPECT_FLOAT_EQ(left, 152.0f);
    EXPECT_FLOAT_EQ(right, 872.0f);
    EXPECT_FLOAT_EQ(top, 384.0f - 56.0f);
    EXPECT_FLOAT_EQ(bottom, 384.0f + 56.0f);
}

TEST_F(Banner, ANewBannerReplacesTheOldOneAtFullStrengthWithoutFadingIn) {
    show_banner("Thistlewick", 0xFF7F7FFF);
    steps(30);
    show_banner("Victory!", 0xFF7F7FFF);
    EXPECT_EQ(g_banner.text, "Victory!");
    // Halfway between two steps the banner must not be read as a blend from the faded one.
    ip.draw_time = ip.update_time - 16;
    dev.clear_log();
    draw_banner(&font(), windowed);
    ASSERT_EQ(dev.draws().size(), 2u);
    EXPECT_EQ(dev.draws()[1].as<vertex_tra>()[0].colour, 0xFF7F7FFFu);
    // The game's victory: shown again every step, it never fades.
    for (int i = 0; i < 100; ++i) {
        step();
        update_banner();
        show_banner("Victory!", 0xFF7F7FFF);
    }
    EXPECT_EQ(g_banner.fade.value, 1200);
}

} // namespace
