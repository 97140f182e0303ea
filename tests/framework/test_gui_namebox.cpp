// Name boxes driven by scripted keys, typed characters and the mouse: editing at the caret, the
// length limit, the clipboard, scrolling, the focus, and hot keys kept from buttons meanwhile.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "tests/framework/gui_fixture.h"

namespace {

// The fixture's font is 9 pixels a character (an 8-pixel extent plus one); the box's text area is
// its 92-pixel content less 4 pixels at each end: nine characters and the caret fit, the tenth
// scrolls.
class NameBox : public GuiFixture {
  protected:
    NameBox() {
        s.namebox_caret_width = 2;
        s.namebox_caret_interval = 500;
        root.add_child(&box);
        clear_typed_chars();
        old_get_ = g_gui_clipboard_get;
        old_set_ = g_gui_clipboard_set;
        g_gui_clipboard_get = [] { return clipboard; };
        g_gui_clipboard_set = [](const std::string& text) { clipboard = text; };
        clipboard.clear();
    }
    ~NameBox() override {
        g_gui_clipboard_get = old_get_;
        g_gui_clipboard_set = old_set_;
        clear_typed_chars();
    }

    // One frame in which the window procedure received these characters.
    void type(c_widget& w, const std::u16string& units) {
        for (char16_t u : units)
            c_core::window_proc(nullptr, WM_CHAR, u, 1);
        frame(w);
        clear_typed_chars();
    }
    // A script of steps separated by spaces: "t:abc" types, "k:BACK" taps a key, "s:LEFT" taps
    // it with Shift held, "c:V" with Ctrl held, "u:20AC" types one UTF-16 code unit. Returns
    // whether the last step changed the text, as was_changed told in the frame it acted in.
    bool run(const c_namebox& b, const std::string& script) {
        static const std::pair<const char*, int> names[] = {
            {"BACK", DIK_BACK}, {"DEL", DIK_DELETE}, {"LEFT", DIK_LEFT}, {"RIGHT", DIK_RIGHT},
            {"HOME", DIK_HOME}, {"END", DIK_END},    {"A", DIK_A},       {"C", DIK_C},
            {"X", DIK_X},       {"V", DIK_V}};
        std::istringstream in(script);
        bool changed = false;
        for (std::string step; in >> step;) {
            const std::string arg = step.substr(2);
            if (step[0] == 't' || step[0] == 'u') {
                type(root, step[0] == 't'
                               ? std::u16string(arg.begin(), arg.end())
                               : std::u16string(1, static_cast<char16_t>(std::stoul(arg, nullptr, 16))));
                changed = b.was_changed();
                continue;
            }
            int code = 0;
            for (const auto& n : names)
                if (arg == n.first) code = n.second;
            EXPECT_NE(code, 0) << step;
            const int modifier = step[0] == 's' ? DIK_LSHIFT : step[0] == 'c' ? DIK_RCONTROL : 0;
            if (modifier) key(modifier, true);
            key(code, true);
            frame(root);
            changed = b.was_changed();
            key(code, false);
            frame(root);
            EXPECT_FALSE(b.was_changed()) << step << ": only in the frame it happened";
            if (modifier) key(modifier, false);
        }
        return changed;
    }

    static inline std::string clipboard;
    c_panel root{&s, 0, 0, 800, 600, MODE_ACTIVE, 0};
    c_namebox box{&s, 100, 100, 200, 130, MODE_ACTIVE, FRAME_ALL, 12};

  private:
    std::string (*old_get_)() = nullptr;
    void (*old_set_)(const std::string&) = nullptr;
};

TEST_F(NameBox, EditingAtTheCaretKeepsTheLimitAndTheCharactersTheFontCanDraw) {
    struct edit_case {
        const char* start;
        size_t max_length;
        const char* paste; // what the clipboard holds
        const char* script;
        const char* text;
        size_t caret, sel_start, sel_end;
        bool changed; // by the last step
        int scroll;
        const char* copied = nullptr; // the clipboard after, when not the paste
    };
    const edit_case cases[] = {
        {"hello", 12, "", "k:HOME k:RIGHT k:RIGHT t:XY", "heXYllo", 4, 4, 4, true, 0},
        {"abc", 12, "", "k:HOME k:BACK", "abc", 0, 0, 0, false, 0},
        {"abc", 12, "", "k:DEL", "abc", 3, 3, 3, false, 0},
        {"abc", 12, "", "k:LEFT k:BACK", "ac", 1, 1, 1, true, 0},
        {"abc", 12, "", "k:HOME k:DEL", "bc", 0, 0, 0, true, 0},
        {"hello world", 12, "", "k:HOME s:RIGHT s:RIGHT s:RIGHT t:J", "Jlo world", 1, 1, 1, true, 0},
        {"abcdef", 12, "", "k:LEFT k:LEFT s:HOME k:DEL", "ef", 0, 0, 0, true, 0},
        {"abcde", 5, "", "t:f", "abcde", 5, 5, 5, false, 0},        // a full box refuses more
        {"abcde", 5, "", "s:LEFT t:xy", "abcdx", 5, 5, 5, true, 0}, // the selection makes room
        {"abc", 8, "1234567890", "c:V", "abc12345", 8, 8, 8, true, 0},
        {"", 12, "a\r\nb\tc\001d\177", "c:V", "abcd", 4, 4, 4, true, 0},
        {"hello", 12, "hi", "c:A c:V", "hi", 2, 2, 2, true, 0},
        {"hello", 12, "", "k:HOME s:RIGHT s:RIGHT c:X", "llo", 0, 0, 0, true, 0, "he"},
        {"hello", 12, "", "c:A c:C", "hello", 5, 0, 5, false, 0, "hello"},
        {"", 12, "", "u:8 u:D u:1B u:7F u:9 t:a", "a", 1, 1, 1, true, 0}, // typed controls
        {"", 12, "", "u:20AC u:E9 u:178", "\x80\xE9\x9F", 3, 3, 3, true, 0},
        {"x", 12, "", "u:4E2D u:D83D u:DE00 u:81", "x", 1, 1, 1, false, 0},
        {"abcd", 12, "", "c:A k:LEFT", "abcd", 0, 0, 0, false, 0},
        {"", 20, "", "t:abcdefghijklmnopqrst", "abcdefghijklmnopqrst", 20, 20, 20, true, 9 * 20 + 2 - 84},
        {"abcdefghijklmnopqrst", 20, "",
         "k:HOME k:END k:HOME k:RIGHT k:RIGHT k:RIGHT k:RIGHT k:RIGHT k:RIGHT "
         "k:RIGHT k:RIGHT k:RIGHT k:RIGHT k:RIGHT",
         "abcdefghijklmnopqrst", 11, 11, 11, false, 9 * 11 + 2 - 84},
        {"abcdefghijklmn", 20, "", "k:BACK k:BACK k:BACK k:BACK k:BACK", "abcdefghi", 9, 9, 9, true, 0},
    };
    for (const edit_case& c : cases) {
        SCOPED_TRACE(c.script);
        c_namebox b(&s, 100, 100, 200, 130, MODE_ACTIVE, FRAME_ALL, c.max_length);
        root.add_child(&b);
        b.set_text(c.start);
        b.set_focus(true);
        clipboard = c.paste;
        EXPECT_EQ(run(b, c.script), c.changed);
        EXPECT_EQ(b.get_text(), c.text);
        EXPECT_EQ(b.get_caret(), c.caret);
        EXPECT_EQ(b.get_selection_start(), c.sel_start);
        EXPECT_EQ(b.get_selection_end(), c.sel_end);
        EXPECT_EQ(b.get_scroll(), c.scroll);
        EXPECT_EQ(clipboard, c.copied ? c.copied : c.paste);
        // The caret stays inside the text area, whatever the scroll.
        const RECT caret = b.get_caret_rect(), content = b.get_content();
        EXPECT_GE(caret.left, content.left + 4);
        EXPECT_LE(caret.right, content.right - 4);
    }
}

// Every glyph of this font has an extent except '~' and the currency sign.
class gaps_gdi : public fixed_gdi {
  public:
    BOOL get_text_extent(HDC dc, LPCSTR text, int length, SIZE* size) override {
        fixed_gdi::get_text_extent(dc, text, length, size);
        if (length == 1 && (text[0] == '~' || text[0] == '\xA4')) size->cx = 0;
        return TRUE;
    }
};

TEST_F(NameBox, WhatTheFontCannotDrawIsRefusedWhereverItComesFrom) {
    gaps_gdi gaps;
    c_font gappy(&gfx, nullptr, &gaps);
    for (auto& f : s.text_fonts)
        f = &gappy;
    for (unsigned char code : {'a', ' ', '\xE9', '\x80'})
        EXPECT_TRUE(box.can_show(code)) << int(code);
    for (unsigned char code : {'~', '\xA4', '\n', '\x7F', '\x81'})
        EXPECT_FALSE(box.can_show(code)) << int(code);
    box.set_focus(true);
    clipboard = "~c\xA4";
    run(box, "t:a~ u:A4 t:b c:V");
    EXPECT_EQ(box.get_text(), "abc");
    box.set_text("x~y\nz");
    EXPECT_EQ(box.get_text(), "xyz");
    EXPECT_EQ(box.get_caret(), 3u);
}

TEST_F(NameBox, ClicksAndEscapeOrTabMoveTheFocus) {
    c_namebox other(&s, 300, 100, 400, 130, MODE_ACTIVE, FRAME_ALL, 12);
    root.add_child(&other);
    click(root, 150, 115);
    EXPECT_TRUE(box.has_focus());
    click(root, 350, 115); // the other box takes it
    EXPECT_TRUE(other.has_focus());
    EXPECT_FALSE(box.has_focus());
    click(root, 600, 400); // a click on nothing
    EXPECT_FALSE(gui_text_focus());
    for (int leave : {DIK_ESCAPE, DIK_TAB}) {
        click(root, 150, 115);
        ASSERT_TRUE(gui_text_focus());
        tap(root, leave);
        EXPECT_FALSE(gui_text_focus()) << leave;
    }
    // Enter is told in its frame only and keeps the focus.
    click(root, 150, 115);
    key(DIK_RETURN, true);
    frame(root);
    EXPECT_TRUE(box.was_entered());
    key(DIK_RETURN, false);
    frame(root);
    EXPECT_FALSE(box.was_entered());
    EXPECT_TRUE(box.has_focus());
    // An inactive box gives the focus up and takes none; a box that goes takes it with it.
    box.set_mode(MODE_INACTIVE);
    EXPECT_FALSE(gui_text_focus());
    click(root, 150, 115);
    EXPECT_FALSE(box.has_focus());
    box.set_mode(MODE_ACTIVE);
    std::make_unique<c_namebox>(&s, 500, 100, 600, 130, MODE_ACTIVE, FRAME_ALL, 4)->set_focus(true);
    EXPECT_FALSE(gui_text_focus());
    run(box, "t:abc"); // typing without the focus does nothing
    EXPECT_EQ(box.get_text(), "");
}

TEST_F(NameBox, TheMousePlacesTheCaretAndDragsASelection) {
    box.set_text("abcdefgh"); // characters at 108, 117, 126 ...
    struct {
        int press_x, drag_x;
        bool shift;
        size_t caret, sel_start, sel_end;
    } const cases[] = {
        {108, 108, false, 0, 0, 0}, {111, 111, false, 0, 0, 0}, {112, 112, false, 1, 1, 1},
        {190, 190, false, 8, 8, 8}, {117, 144, false, 4, 1, 4}, {144, 108, false, 0, 0, 4},
        {135, 20, false, 0, 0, 3},  {135, 700, false, 8, 3, 8}, {126, 126, true, 2, 2, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.press_x * 1000 + c.drag_x);
        box.set_focus(true);
        frame(root, c.press_x, 115, false);
        run(box, "k:END");
        key(DIK_LSHIFT, c.shift);
        frame(root, c.press_x, 115, true);
        frame(root, c.drag_x, 115, true);
        frame(root, c.drag_x, 115, false);
        key(DIK_LSHIFT, false);
        EXPECT_EQ(box.get_caret(), c.caret);
        EXPECT_EQ(box.get_selection_start(), c.sel_start);
        EXPECT_EQ(box.get_selection_end(), c.sel_end);
    }
}

TEST_F(NameBox, HeldEditingKeysRepeatAndTheCaretBlinks) {
    box.set_text("abcdefghijkl");
    box.set_focus(true);
    key(DIK_BACK, true);
    // At once, not before the initial interval, then at every normal one; nothing once released.
    for (auto [wait, length] : {std::pair{0u, 11u}, {399u, 11u}, {1u, 10u}, {80u, 9u}}) {
        g_test_clock_now += wait;
        frame(root);
        EXPECT_EQ(box.get_text().size(), length) << wait;
    }
    key(DIK_BACK, false);
    frame(root);
    g_test_clock_now += 1000;
    frame(root);
    EXPECT_EQ(box.get_text().size(), 9u);
    // The caret shows for an interval, hides for one, and shows again at every edit.
    const DWORD t0 = g_test_clock_now;
    run(box, "t:x");
    for (auto [at, shown] :
         {std::pair{0u, true}, {499u, true}, {500u, false}, {1000u, true}, {1700u, false}}) {
        g_test_clock_now = t0 + at;
        EXPECT_EQ(box.is_caret_shown(), shown) << at;
    }
    run(box, "k:LEFT");
    EXPECT_TRUE(box.is_caret_shown());
    box.set_focus(false);
    EXPECT_FALSE(box.is_caret_shown());
}

int g_fired_letter = 0, g_fired_escape = 0, g_fired_f1 = 0;

TEST_F(NameBox, ButtonsHotKeysRestWhileABoxHasTheFocus) {
    g_fired_letter = g_fired_escape = g_fired_f1 = 0;
    c_button letter(
        &s, 500, 500, 600, 550, "A", DIK_A, [](c_button*) { ++g_fired_letter; }, MODE_ACTIVE, 0);
    c_button back(
        &s, 600, 500, 700, 550, "Back", DIK_ESCAPE, [](c_button*) { ++g_fired_escape; }, MODE_ACTIVE, 0);
    c_button help(
        &s, 700, 500, 800, 550, "Help", DIK_F1, [](c_button*) { ++g_fired_f1; }, MODE_ACTIVE, 0);
    for (c_button* b : {&letter, &back, &help})
        root.add_child(b);
    tap(root, DIK_A);
    EXPECT_EQ(g_fired_letter, 1); // as ever without a box in focus

    click(root, 150, 115);
    key(DIK_A, true);
    frame(root);
    EXPECT_NE(letter.get_state(), STATE_PRESSED);
    key(DIK_A, false);
    run(box, "t:a");
    EXPECT_EQ(g_fired_letter, 1);
    EXPECT_EQ(box.get_text(), "a");
    tap(root, DIK_F1); // a key typing has no use for still works
    EXPECT_EQ(g_fired_f1, 1);

    // The Escape that ends typing presses no Escape button, on press or on release.
    key(DIK_ESCAPE, true);
    frame(root);
    EXPECT_FALSE(box.has_focus());
    frame(root);
    EXPECT_NE(back.get_state(), STATE_PRESSED);
    key(DIK_ESCAPE, false);
    frame(root);
    EXPECT_EQ(g_fired_escape, 0);
    tap(root, DIK_A);
    tap(root, DIK_ESCAPE);
    EXPECT_EQ(g_fired_letter, 2); // both work again
    EXPECT_EQ(g_fired_escape, 1);

    // A hot key held as a box takes the focus fires on neither press nor release.
    key(DIK_A, true);
    frame(root);
    box.set_focus(true);
    frame(root);
    key(DIK_A, false);
    frame(root);
    EXPECT_EQ(g_fired_letter, 2);
}

TEST(TypedChars, TheWindowProcedureQueuesCodeUnitsUpToItsLimit) {
    clear_typed_chars();
    for (size_t i = 0; i < typed_chars_max + 10; ++i)
        EXPECT_EQ(c_core::window_proc(nullptr, WM_CHAR, 0x10000 + 'a' + i % 26, 1), 0);
    ASSERT_EQ(get_typed_chars().size(), typed_chars_max);
    EXPECT_EQ(get_typed_chars().substr(0, 2), u"ab"); // the high bits of wParam are not text
    clear_typed_chars();
    EXPECT_TRUE(get_typed_chars().empty());
}

} // namespace
