// Name boxes on the real window and device: text typed into the SDL window arrives as WM_CHAR
// code units and lands in a focused box, the Win32 clipboard calls round-trip through the system
// clipboard (the box's copy and paste too), and boxes drawn from DATA's interface.ini show their
// text, selection and caret; saved as build/screenshots/namebox.png for a person to look at.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/gui/gui.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "platform/window/window_internal.h"
#include "platform/wingdi.h"
#include "tests/gl/data_core_fixture.h"
#include "tests/gl/screenshot.h"

namespace {

class GlNameBox : public data_core_test {
  protected:
    void SetUp() override {
        open_core("Harnvale name boxes");
        g_d3d = core->d3d;
        g_interface = new c_ini("interface.ini");
        g_font =
            new c_font(g_gfx, CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
        load_interface();
    }
    void TearDown() override {
        g_gui_clock = GetTickCount;
        release_interface();
        delete g_font;
        g_font = nullptr;
        delete g_interface;
        g_interface = nullptr;
        g_d3d = nullptr;
        close_core();
    }

    // What SDL hands the window when the player types `utf8`.
    void type_into_window(const char* utf8) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = SDL_GetWindowID(sdl_window_of(core->window));
        std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    // Taps a key (with a modifier held) in two frames; the mouse is still and up.
    void tap(c_widget& root, int code, int modifier) {
        BYTE up = 0;
        keys[modifier] = keys[code] = 0x80;
        root.update(0, 0, &up, keys);
        keys[code] = keys[modifier] = 0;
        root.update(0, 0, &up, keys);
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

    BYTE keys[256] = {};
};

std::string read_clipboard() {
    std::string text = "(nothing)";
    if (!OpenClipboard(g_core->window)) return "(not opened)";
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        text = static_cast<const char*>(GlobalLock(h));
        EXPECT_EQ(GlobalUnlock(h), FALSE); // unlocked again
    }
    EXPECT_TRUE(CloseClipboard());
    return text;
}

TEST_F(GlNameBox, TypedTextArrivesAsCharactersAndTheClipboardRoundTrips) {
    // A character past the first plane comes as its two surrogates; the box refuses those.
    type_into_window("h\xE2\x82\xAC\xF0\x9F\x98\x80!");
    core->pump_messages();
    EXPECT_EQ(get_typed_chars(), std::u16string(u"h\u20AC\xD83D\xDE00!"));
    c_panel root(&g_gui_settings, 0, 0, 800, 600, MODE_ACTIVE, 0);
    c_namebox box(&g_gui_settings, 100, 100, 500, 140, MODE_ACTIVE, FRAME_ALL, 32);
    root.add_child(&box);
    box.set_focus(true);
    tap(root, 0, 0);
    EXPECT_EQ(box.get_text(), "h\x80!");
    clear_typed_chars();

    // The Win32 calls: a CF_TEXT block set, read back converted, and SDL sees UTF-8 with LF.
    ASSERT_TRUE(OpenClipboard(core->window));
    EXPECT_FALSE(OpenClipboard(core->window)); // already open
    ASSERT_TRUE(EmptyClipboard());
    const char text[] = "Harnvale \x80 1\r\n2";
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), text, sizeof text);
    EXPECT_EQ(GlobalUnlock(block), FALSE);
    EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    char* utf8 = SDL_GetClipboardText();
    EXPECT_STREQ(utf8, "Harnvale \xE2\x82\xAC 1\n2");
    SDL_free(utf8);
    EXPECT_EQ(read_clipboard(), text);

    // Misuse fails cleanly: a closed clipboard, an ownerless emptied one, bad handles.
    EXPECT_TRUE(GetClipboardData(CF_TEXT) == nullptr && !CloseClipboard() && !EmptyClipboard());
    ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard());
    HGLOBAL refused = GlobalAlloc(GMEM_MOVEABLE, 4);
    EXPECT_EQ(SetClipboardData(CF_TEXT, refused), nullptr);
    EXPECT_EQ(GlobalFree(refused), nullptr); // still the caller's
    EXPECT_TRUE(CloseClipboard());
    int stack_value = 0;
    EXPECT_TRUE(GlobalLock(&stack_value) == nullptr && GlobalFree(&stack_value) == &stack_value);

    // The box copies to and pastes from the same clipboard.
    tap(root, DIK_A, DIK_LCONTROL);
    tap(root, DIK_C, DIK_LCONTROL);
    EXPECT_EQ(read_clipboard(), "h\x80!");
    ASSERT_EQ(SDL_SetClipboardText("pasted\nline\xC3\xA9"), 0);
    tap(root, DIK_V, DIK_LCONTROL);
    EXPECT_EQ(box.get_text(), "pastedline\xE9");
}

int brightness(std::uint32_t p) {
    return static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
}

TEST_F(GlNameBox, BoxesShowTheirTextSelectionAndCaret) {
    c_gui_settings* g = &g_gui_settings;
    g_gui_clock = [] { return DWORD(1000); }; // the caret in its shown half
    c_panel root(g, 0, 0, 800, 600, MODE_ACTIVE, 0);
    c_picture background(g, g_options_background);
    c_panel board(g, 100, 100, 700, 500, MODE_ACTIVE, FRAME_EDGES);
    c_button label(g, 20, 30, 780, 90, "Host address", 0, nullptr, MODE_INACTIVE, 0);
    c_namebox focused(g, 20, 100, 780, 170, MODE_ACTIVE, FRAME_ALL, 64);
    c_namebox scrolled(g, 20, 230, 780, 300, MODE_ACTIVE, FRAME_ALL, 200);
    c_namebox empty(g, 20, 360, 780, 430, MODE_ACTIVE, FRAME_ALL, 16);
    c_namebox inactive(g, 20, 490, 780, 560, MODE_INACTIVE, FRAME_ALL, 16);
    root.add_child(&background);
    root.add_child(&board);
    for (c_widget* w : std::initializer_list<c_widget*>{&label, &focused, &scrolled, &empty, &inactive})
        board.add_child(w);
    scrolled.set_text("A name far too long for its box, so that it scrolls to keep the caret in view");
    inactive.set_text("Join code 4711");
    focused.set_text("127.0.0.1:27015");
    focused.set_focus(true);
    for (int i = 0; i < 5; ++i) // select the port
        tap(root, DIK_LEFT, DIK_LSHIFT);
    ASSERT_EQ(focused.get_selection_start(), 10u);
    frame f = draw(root);
    save_screenshot(f, "namebox.png");

    // The caret is drawn, bright, where the box says; the scrolled box shows its end.
    const RECT caret = focused.get_caret_rect();
    EXPECT_GT(f.count(caret.left, caret.top, caret.right, caret.bottom,
                      [](std::uint32_t p) { return brightness(p) > 150; }),
              (caret.bottom - caret.top) / 2);
    EXPECT_GT(scrolled.get_scroll(), 0);
    // Text shows in the boxes with text and not in the empty one.
    auto text_pixels = [&](const c_namebox& b) {
        const RECT c = b.get_content();
        return f.count(c.left, c.top, c.right, c.bottom, [](std::uint32_t p) { return brightness(p) > 150; });
    };
    EXPECT_GT(text_pixels(focused), 100);
    EXPECT_GT(text_pixels(scrolled), 100);
    EXPECT_GT(text_pixels(inactive), 50);
    EXPECT_EQ(text_pixels(empty), 0);
}

} // namespace
