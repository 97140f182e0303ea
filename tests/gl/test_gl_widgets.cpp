// A gallery of every widget drawn from DATA's interface.ini on the real OpenGL device: framed
// buttons in their four states, a label, an open list with its scroll bar, droppers (one
// inactive), the mode box of the display's modes, check boxes. Read back, checked for what must
// be there, and saved as build/screenshots/widgets.png for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/gui/gui.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "platform/wingdi.h"
#include "tests/gl/data_core_fixture.h"
#include "tests/gl/screenshot.h"

namespace {

int brightness(std::uint32_t p) {
    return static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
}

// The average colour of a rectangle, as one number per channel packed 0xRRGGBB.
std::uint32_t average(const frame& f, const RECT& r) {
    long long sum[3] = {0, 0, 0}, n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            std::uint32_t p = f.at(x, y);
            sum[0] += (p >> 16) & 0xFF;
            sum[1] += (p >> 8) & 0xFF;
            sum[2] += p & 0xFF;
            ++n;
        }
    if (n == 0) return 0;
    return static_cast<std::uint32_t>((sum[0] / n) << 16 | (sum[1] / n) << 8 | (sum[2] / n));
}

class GlWidgets : public data_core_test {
  protected:
    void SetUp() override {
        open_core("Harnvale widgets");
        g_d3d = core->d3d;
        g_interface = new c_ini("interface.ini");
        g_font =
            new c_font(g_gfx, CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
        load_interface();
    }
    void TearDown() override {
        release_interface();
        delete g_font;
        g_font = nullptr;
        delete g_interface;
        g_interface = nullptr;
        g_d3d = nullptr;
        close_core();
    }

    frame draw(c_widget& root) {
        core->frame_begin(0xFF000000);
        g_gfx->depth = 0.0f;
        root.draw();
        g_gfx->flush();
        frame f = grab_back_buffer(core->device);
        core->frame_end();
        return f;
    }
};

TEST_F(GlWidgets, TheGalleryShowsEveryWidgetAndStateFromTheGameData) {
    c_gui_settings* g = &g_gui_settings;
    c_panel root(g, 0, 0, 800, 600, MODE_ACTIVE, 0);
    c_picture background(g, g_options_background);
    c_panel board(g, 10, 10, 790, 590, MODE_ACTIVE, FRAME_EDGES);
    const char* names[4] = {"Normal", "Under the mouse", "Pressed", "Inactive"};
    std::vector<std::unique_ptr<c_button>> states;
    for (int i = 0; i < 4; ++i)
        states.push_back(std::make_unique<c_button>(g, 20, 20 + 70 * i, 380, 80 + 70 * i, names[i],
                                                    i == 2 ? 0x19 : 0, nullptr,
                                                    i == 3 ? MODE_INACTIVE : MODE_ACTIVE, FRAME_ALL));
    c_button label(g, 0, 310, 400, 345, "A label across the board", 0, nullptr, MODE_INACTIVE, 0x1C);
    c_checkbox on(&g_checkbox_gui_settings, 30, 360, 380, 390, "Checked box", 0, true);
    c_checkbox off(&g_checkbox_gui_settings, 30, 400, 380, 430, "Unchecked box", 0, false);
    c_checkbox grey(&g_checkbox_gui_settings, 30, 440, 380, 470, "Inactive box", 0, true, MODE_INACTIVE);
    c_button wrapped(g, 20, 490, 380, 560, "A long label that wraps over two lines inside its frame", 0,
                     nullptr, MODE_ACTIVE, FRAME_ALL);

    c_listbox choice_list(g, 420, 50, 780, 300, 0xC8, 0xD0, FRAME_ALL, 0);
    c_listitem windowed("Windowed"), full("Full screen");
    choice_list.add_item(&windowed);
    choice_list.add_item(&full);
    c_listdropper choice(g, 420, 20, 780, 50, &choice_list, 0, MODE_ACTIVE, FRAME_ALL);
    c_modebox modes(g, 420, 90, 780, 300, 0xC8, 0xD0, FRAME_ALL, 0, core->settings);
    c_listdropper mode_field(g, 420, 60, 780, 90, &modes, 0, MODE_INACTIVE, FRAME_ALL);
    c_listbox open_list(g, 420, 110, 780, 330, 0xC8, 0xD0, FRAME_ALL, FRAME_BIG_CHANGE);
    std::vector<std::unique_ptr<c_listitem>> rows;
    for (int i = 0; i < 12; ++i) {
        rows.push_back(std::make_unique<c_listitem>("List row " + std::to_string(i + 1)));
        open_list.add_item(rows.back().get());
    }
    c_listbox debug_list(g, 420, 380, 780, 595, 0xC8, 0xD0, FRAME_ALL | FRAME_FIT, 0);
    c_listitem levels[3] = {c_listitem("Level 0"), c_listitem("Level 1"), c_listitem("Level 2")};
    for (c_listitem& l : levels)
        debug_list.add_item(&l);
    c_listdropper debug(g, 420, 350, 780, 380, &debug_list, 0, MODE_ACTIVE, FRAME_ALL);

    root.add_child(&background);
    root.add_child(&board);
    for (auto& b : states)
        board.add_child(b.get());
    for (c_widget* w :
         std::initializer_list<c_widget*>{&label, &on, &off, &grey, &wrapped, &choice, &choice_list,
                                          &mode_field, &modes, &open_list, &debug, &debug_list})
        board.add_child(w);

    // Mouse over the second button, the third held by its hot key, the debug dropper opened by a
    // click, row 11 of the long list selected and scrolled into view.
    BYTE keys[256] = {};
    BYTE up = 0, down = 0x80;
    root.layout();
    const RECT d = debug.get_outer_rect();
    const int dx = (d.left + d.right) / 2, dy = (d.top + d.bottom) / 2;
    root.update(dx, dy, &up, keys);
    root.update(dx, dy, &down, keys);
    root.update(dx, dy, &up, keys);
    ASSERT_TRUE(debug.is_open());
    open_list.select(rows[10].get());
    open_list.show_selected();
    const RECT hover = states[1]->get_outer_rect();
    keys[0x19] = 0x80;
    root.update((hover.left + hover.right) / 2, (hover.top + hover.bottom) / 2, &up, keys);
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(states[static_cast<size_t>(i)]->get_state(), i);
    ASSERT_TRUE(open_list.is_vscroll_shown());
    ASSERT_GE(modes.item_count(), 1);

    frame f = draw(root);
    save_screenshot(f, "widgets.png");

    // The four states look different from each other: compare the middles of the buttons.
    std::vector<std::uint32_t> middles;
    for (auto& b : states) {
        RECT c;
        b->get_content_rect(c);
        middles.push_back(average(f, RECT{c.left, c.top, c.left + 40, c.bottom}));
    }
    for (size_t i = 0; i < middles.size(); ++i)
        for (size_t j = i + 1; j < middles.size(); ++j)
            EXPECT_NE(middles[i], middles[j]) << i << " vs " << j;
    // Labels are drawn, centred: bright text pixels on both sides of each button's centre line.
    for (auto& b : states) {
        const RECT o = b->get_outer_rect();
        const int mid = (o.left + o.right) / 2;
        auto text = [](std::uint32_t p) { return brightness(p) > 170; };
        const int left_half = f.count(o.left + 8, o.top + 8, mid, o.bottom - 8, text);
        const int right_half = f.count(mid, o.top + 8, o.right - 8, o.bottom - 8, text);
        EXPECT_GT(left_half, 20);
        EXPECT_GT(right_half, 20);
        EXPECT_LT(std::abs(left_half - right_half), (left_half + right_half) / 3);
    }
    // The mode box lists the display's modes; the dropper shows the first one.
    EXPECT_NE(modes.item_indextoptr(0)->get_text().find(" hertz)"), std::string::npos);
    EXPECT_EQ(mode_field.get_label(3)->get_text(), modes.item_indextoptr(0)->get_text());
    // The open long list shows its scroll bar with the paddle away from the top.
    EXPECT_GT(open_list.get_scroll_position(), 0);
}

} // namespace

namespace {

TEST_F(GlWidgets, TheModeBoxListsEveryModeTheAdapterCountsInItsFormats) {
    UINT counted = 0;
    for (D3DFORMAT f : {D3DFMT_R3G3B2, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_R8G8B8, D3DFMT_X8R8G8B8,
                        D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16})
        counted += core->d3d->GetAdapterModeCount(core->settings.adapter, f);
    c_modebox modes(&g_gui_settings, 0, 0, 800, 600, 0xC8, 0xD0, FRAME_ALL, 0, core->settings);
    ASSERT_GE(counted, 1u);
    EXPECT_EQ(static_cast<UINT>(modes.item_count()), counted);
    // The desktop's own mode is among them.
    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(core->d3d->GetAdapterDisplayMode(core->settings.adapter, &desktop), D3D_OK);
    modes.select(nullptr);
    modes.select_mode(desktop);
    EXPECT_GE(modes.get_selected_index(), 0);
}

TEST_F(GlWidgets, AfterALostDeviceTheLooksCursorAndWidgetsComeBack) {
    c_interpolator ip(static_cast<int>(core->get_cur_time()));
    g_interpolator = &ip;
    c_panel root(&g_gui_settings, 0, 0, 800, 600, MODE_ACTIVE, 0);
    c_button b(&g_gui_settings, 100, 100, 700, 200, "Back again", 0, nullptr, MODE_ACTIVE, FRAME_ALL);
    root.add_child(&b);
    const frame before = draw(root);
    g_cursors->set_cursor(5);
    g_gui_settings.screen_width = g_gui_settings.screen_height = 1;
    core->forced_reset = true;
    recover_device();
    EXPECT_EQ(core->check_reset(), 0);
    int w = 0, h = 0;
    core->get_client_size(w, h);
    EXPECT_EQ(g_gui_settings.screen_width, w);
    EXPECT_EQ(g_gui_settings.screen_height, h);
    EXPECT_EQ(g_checkbox_gui_settings.screen_width, w);
    EXPECT_EQ(g_cursors->get_current(), 0);
    root.layout();
    const frame after = draw(root);
    const RECT o = b.get_outer_rect();
    EXPECT_EQ(average(after, o), average(before, o));
    g_interpolator = nullptr;
}

} // namespace
