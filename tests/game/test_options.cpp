// The options screen without a core: its widgets set from a settings record, the mode list
// usable only for full screen, the diagnostics level applied live and given back by "cancel",
// and what "ok" stores (only a changed record raises the settings-changed flag).
#include <cstring>
#include <memory>

#include "framework/interface.h"
#include "game/screens/options.h"
#include "game/screens/screen.h"
#include "game/screens/states.h"
#include "platform/dinput.h"
#include "tests/game/battle_fixture.h"
#include "tests/rect_equal.h"

namespace {
const D3DDISPLAYMODE mode_640{640, 480, 60, D3DFMT_X8R8G8B8};
const D3DDISPLAYMODE mode_800{800, 600, 60, D3DFMT_X8R8G8B8};
const D3DDISPLAYMODE mode_1024_75{1024, 768, 75, D3DFMT_X8R8G8B8};
const D3DDISPLAYMODE mode_1024_59{1024, 768, 59, D3DFMT_X8R8G8B8}; // not offered by the adapter

bool same(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class options_test : public world_test {
  protected:
    options_test() {
        font_ = std::make_unique<c_font>(&gfx, nullptr, &gdi_);
        saved_look_ = g_gui_settings;
        saved_box_look_ = g_checkbox_gui_settings;
        for (c_gui_settings* look : {&g_gui_settings, &g_checkbox_gui_settings}) {
            *look = c_gui_settings{};
            look->gfx = &gfx;
            look->screen_width = 800;
            look->screen_height = 600;
            look->listitem_height = 20;
            look->listbox_vscroll_width = 16;
            look->listdropper_bdown_width = 20;
            for (c_font*& f : look->text_fonts)
                f = font_.get();
        }
        d3d.modes = {mode_1024_75, mode_640, mode_800, D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8}};
        record.is_windowed = TRUE;
        record.window_rect = RECT{40, 40, 1064, 808};
        record.mode = mode_800;
        record.present_interval = D3DPRESENT_INTERVAL_DEFAULT;
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        std::memset(g_mouse_buttons, 0, sizeof g_mouse_buttons);
        g_mouse_x = g_mouse_y = -100;
        g_game_state = GS_OPTIONS;
    }
    ~options_test() override {
        screen.reset();
        g_gui_settings = saved_look_;
        g_checkbox_gui_settings = saved_box_look_;
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        g_game_state = GS_QUIT;
    }
    c_options_screen& open() {
        screen = std::make_unique<c_options_screen>(
            options_target{&record, &changed, &debug_level, &show_moves, &show_names}, &d3d);
        entry = record;
        return *screen;
    }
    // One frame of the screen's loop with the keyboard as it is.
    void frame() {
        screen->before_update();
        screen->screen().update();
        screen->after_update();
    }
    // Presses and releases a hot key with the mouse away from every widget.
    void press(int scan_code) {
        g_kb_state[scan_code] = 0x80;
        frame();
        g_kb_state[scan_code] = 0;
        frame();
    }
    bool record_unchanged() const { return std::memcmp(&record, &entry, sizeof record) == 0; }

    recording_d3d d3d;
    settings_record record{};
    settings_record entry{};
    bool changed = false;
    int debug_level = 2;
    bool show_moves = true;
    bool show_names = false;
    std::unique_ptr<c_options_screen> screen;

  private:
    fixed_gdi gdi_;
    std::unique_ptr<c_font> font_;
    c_gui_settings saved_look_, saved_box_look_;
};
} // namespace

TEST_F(options_test, WidgetsStartFromTheRecordAndTheSwitches) {
    c_options_screen& o = open();
    EXPECT_EQ(o.window_list->get_selected(), o.windowed_item);
    D3DDISPLAYMODE shown{};
    o.modes->get_selected_mode(shown);
    EXPECT_TRUE(same(shown, mode_800));
    EXPECT_TRUE(o.vsync->is_checked());
    EXPECT_TRUE(o.show_moves->is_checked());
    EXPECT_FALSE(o.show_names->is_checked());
    EXPECT_EQ(o.debug_list->get_selected(), o.debug_items[2]);
    EXPECT_EQ(o.mode_dropper->get_mode(), MODE_INACTIVE) << "windowed: the mode list cannot be used";
    EXPECT_EQ(o.window_list->item_count(), 2);
    EXPECT_EQ(o.debug_list->item_count(), 4);
    EXPECT_EQ(o.modes->item_count(), 4);

    screen.reset();
    record.is_windowed = FALSE;
    record.mode = mode_1024_75;
    record.present_interval = D3DPRESENT_INTERVAL_IMMEDIATE;
    show_names = true;
    debug_level = 0;
    c_options_screen& full = open();
    EXPECT_EQ(full.window_list->get_selected(), full.fullscreen_item);
    full.modes->get_selected_mode(shown);
    EXPECT_TRUE(same(shown, mode_1024_75));
    EXPECT_FALSE(full.vsync->is_checked());
    EXPECT_TRUE(full.show_names->is_checked());
    EXPECT_EQ(full.debug_list->get_selected(), full.debug_items[0]);
    EXPECT_EQ(full.mode_dropper->get_mode(), MODE_ACTIVE);
}

TEST_F(options_test, ChoosingWindowedMakesTheModeListInactiveAtOnce) {
    record.is_windowed = FALSE;
    record.mode = mode_640;
    c_options_screen& o = open();
    ASSERT_EQ(o.mode_dropper->get_mode(), MODE_ACTIVE);
    o.mode_dropper->open();
    o.window_list->select(o.windowed_item);
    frame();
    EXPECT_EQ(o.mode_dropper->get_mode(), MODE_INACTIVE);
    EXPECT_FALSE(o.mode_dropper->is_open()) << "an inactive list does not stay open";
    o.window_list->select(o.fullscreen_item);
    frame();
    EXPECT_EQ(o.mode_dropper->get_mode(), MODE_ACTIVE);
}

TEST_F(options_test, DebugLevelIsLiveAndCancelPutsTheEntryLevelBack) {
    c_options_screen& o = open();
    o.debug_list->select(o.debug_items[3]);
    frame();
    EXPECT_EQ(debug_level, 3) << "shown while the screen is still open";
    o.debug_list->select(o.debug_items[0]);
    o.show_names->set_checked(true);
    o.vsync->set_checked(false);
    press(DIK_C);
    EXPECT_EQ(g_game_state, GS_MAINMENU);
    EXPECT_EQ(debug_level, 2);
    EXPECT_TRUE(record_unchanged());
    EXPECT_FALSE(changed);
    EXPECT_FALSE(show_names) << "cancel touches nothing else";
}

TEST_F(options_test, AnUnlistedModeOrAnOddDebugLevelSelectsNothing) {
    record.mode = mode_1024_59;
    debug_level = 7;
    c_options_screen& o = open();
    EXPECT_EQ(o.modes->get_selected(), nullptr) << "no other mode stands in for the saved one";
    EXPECT_EQ(o.debug_list->get_selected(), nullptr);
    frame();
    EXPECT_EQ(debug_level, 7) << "left alone until the player picks a level";
    o.debug_list->select(o.debug_items[1]);
    frame();
    EXPECT_EQ(debug_level, 1);
    press(DIK_C);
    EXPECT_EQ(debug_level, 7);
}

TEST_F(options_test, OkWithoutAChangeLeavesTheSettingsChangedFlagClear) {
    c_options_screen& o = open();
    o.show_moves->set_checked(false);
    o.show_names->set_checked(true);
    press(DIK_A);
    EXPECT_EQ(g_game_state, GS_MAINMENU);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(record_unchanged());
    EXPECT_FALSE(show_moves);
    EXPECT_TRUE(show_names);
    EXPECT_EQ(debug_level, 2);
}

TEST_F(options_test, UncheckingVerticalSyncStoresImmediatePresentation) {
    c_options_screen& o = open();
    o.vsync->set_checked(false);
    press(DIK_A);
    EXPECT_TRUE(changed);
    EXPECT_EQ(record.present_interval, 0x80000000u);
    record.present_interval = entry.present_interval;
    EXPECT_TRUE(record_unchanged()) << "nothing else moved";
}

TEST_F(options_test, FullScreenIsStoredOnlyWithAModeTheAdapterLists) {
    record.mode = mode_1024_59;
    c_options_screen& o = open();
    // Full screen chosen but no mode picked: the saved mode is not offered, so the window stays.
    o.window_list->select(o.fullscreen_item);
    settings_record chosen = o.chosen_settings();
    EXPECT_TRUE(chosen.is_windowed);
    EXPECT_TRUE(same(chosen.mode, mode_1024_59)) << "no 0 x 0 mode from an empty selection";
    press(DIK_A);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(record_unchanged());

    screen.reset();
    g_game_state = GS_OPTIONS;
    c_options_screen& again = open();
    again.window_list->select(again.fullscreen_item);
    frame();
    again.modes->select_mode(mode_1024_75);
    press(DIK_A);
    EXPECT_TRUE(changed);
    EXPECT_FALSE(record.is_windowed);
    EXPECT_TRUE(same(record.mode, mode_1024_75));
    EXPECT_EQ(record.window_rect, entry.window_rect) << "the window keeps its place for the way back";
}

TEST_F(options_test, CancelWinsOverOkInTheSameFrame) {
    c_options_screen& o = open();
    o.vsync->set_checked(false);
    g_kb_state[DIK_A] = g_kb_state[DIK_C] = 0x80;
    frame();
    g_kb_state[DIK_A] = g_kb_state[DIK_C] = 0;
    frame();
    EXPECT_FALSE(changed);
    EXPECT_TRUE(record_unchanged());
}

TEST_F(options_test, ArrowKeysMoveOnlyAnOpenList) {
    c_options_screen& o = open();
    press(DIK_DOWN);
    EXPECT_EQ(o.window_list->get_selected(), o.windowed_item) << "closed lists keep their selection";
    EXPECT_EQ(o.debug_list->get_selected(), o.debug_items[2]);
    o.debug_dropper->open();
    press(DIK_DOWN);
    EXPECT_EQ(o.debug_list->get_selected(), o.debug_items[3]);
    EXPECT_EQ(debug_level, 3);
    EXPECT_EQ(o.window_list->get_selected(), o.windowed_item);
}
