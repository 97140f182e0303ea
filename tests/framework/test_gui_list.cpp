// Lists, scroll bars, droppers, the mode box and check boxes under scripted mouse and keyboard.
#include <gtest/gtest.h>
#include <memory>

#include "tests/framework/gui_fixture.h"
#include "tests/rect_equal.h"
#include "tests/test_util.h"

namespace {

constexpr int UP = 0xC8, DOWN = 0xD0;

class GuiList : public GuiFixture {
  protected:
    // A list of n items in (100, 100, 400, 100 + height) on the screen.
    c_listbox& make_list(int n, int height, unsigned flags = 0, unsigned vscroll_flags = 0) {
        list = std::make_unique<c_listbox>(&s, 100, 100, 400, 100 + height, UP, DOWN, flags, vscroll_flags);
        for (int i = 0; i < n; ++i) {
            items.push_back(std::make_unique<c_listitem>("item " + std::to_string(i)));
            list->add_item(items.back().get());
        }
        root.add_child(list.get());
        root.layout();
        return *list;
    }
    c_panel root{&s, 0, 0, 800, 600, MODE_ACTIVE, 0};
    std::vector<std::unique_ptr<c_listitem>> items;
    std::unique_ptr<c_listbox> list;
};

TEST_F(GuiList, TheFirstItemIsSelectedAndTheKeysStopAtBothEnds) {
    c_listbox& l = make_list(3, 200);
    EXPECT_EQ(l.get_selected_index(), 0);
    EXPECT_EQ(l.get_selected(), items[0].get());
    tap(root, UP);
    EXPECT_EQ(l.get_selected_index(), 0);
    tap(root, DOWN);
    tap(root, DOWN);
    tap(root, DOWN);
    EXPECT_EQ(l.get_selected_index(), 2);
    EXPECT_TRUE(items[2]->is_selected());
    // A held key moves once without the repeat flag.
    key(UP, true);
    for (int i = 0; i < 5; ++i)
        frame(root);
    key(UP, false);
    frame(root);
    EXPECT_EQ(l.get_selected_index(), 1);
    EXPECT_RAISES(l.item_indextoptr(3), "Index out of bounds.");
    EXPECT_RAISES(l.item_indextoptr(-1), "Index out of bounds.");
    EXPECT_EQ(l.item_indextoptr(2), items[2].get());
}

TEST_F(GuiList, AnEmptyListKeepsNoSelectionWhateverKeysArePressed) {
    c_listbox& l = make_list(0, 200);
    EXPECT_EQ(l.get_selected_index(), -1);
    tap(root, DOWN);
    tap(root, UP);
    l.show_selected();
    EXPECT_EQ(l.get_selected_index(), -1);
    EXPECT_EQ(l.get_selected(), nullptr);
    click(root, 200, 110); // nothing to hover or choose
    EXPECT_EQ(l.get_hovered_index(), -1);
    l.draw();
    // Removing the selected item clears the selection; the next one added does not take it.
    c_listitem only("only");
    l.add_item(&only);
    EXPECT_EQ(l.get_selected_index(), 0);
    l.remove_item(&only);
    EXPECT_EQ(l.get_selected_index(), -1);
}

TEST_F(GuiList, HeldKeysRepeatWithTheRepeatFlag) {
    c_listbox& l = make_list(10, 400, FRAME_REPEAT);
    g_test_clock_now = 100;
    key(DOWN, true);
    frame(root); // at once
    g_test_clock_now = 500;
    frame(root); // after the initial interval
    g_test_clock_now = 580;
    frame(root);
    EXPECT_EQ(l.get_selected_index(), 3);
    key(DOWN, false);
    frame(root);
    key(UP, true);
    frame(root);
    EXPECT_EQ(l.get_selected_index(), 2);
}

TEST_F(GuiList, ALongListShowsTheScrollBarNarrowsItsItemsAndScrollsToTheSelection) {
    c_listbox& short_list = make_list(5, 100); // exactly fits: 5 x 20
    EXPECT_FALSE(short_list.is_vscroll_shown());
    RECT area;
    short_list.get_item_area(area);
    EXPECT_EQ(area, (RECT{100, 100, 400, 200}));
    root.remove_child(list.get());
    items.clear();

    c_listbox& l = make_list(12, 100); // 240 pixels of items in 100
    EXPECT_TRUE(l.is_vscroll_shown());
    l.get_item_area(area);
    EXPECT_EQ(area, (RECT{100, 100, 380, 200}));
    EXPECT_EQ(items[0]->get_rect(), (RECT{100, 100, 380, 120}));
    EXPECT_EQ(l.get_vscroll()->get_outer_rect(), (RECT{380, 100, 400, 200}));

    // Selecting item 7 (rows 140..160) scrolls so that it is the last visible row.
    for (int i = 0; i < 7; ++i)
        tap(root, DOWN);
    EXPECT_EQ(l.get_selected_index(), 7);
    EXPECT_EQ(l.get_scroll_position(), 60);
    EXPECT_EQ(items[7]->get_rect().bottom, 200);
    // Going back up above the view scrolls it to the top row.
    l.select(items[1].get());
    l.show_selected();
    EXPECT_EQ(l.get_scroll_position(), 20);
    EXPECT_EQ(items[1]->get_rect().top, 100);
}

TEST_F(GuiList, AClickOnAnItemSelectsItAndRowsPastTheLastItemAreNeverHit) {
    c_listbox& l = make_list(12, 100);
    click(root, 200, 145); // the third row
    EXPECT_EQ(l.get_selected_index(), 2);
    EXPECT_TRUE(l.was_chosen());
    // Press on one item, release on another: the one released over is chosen.
    frame(root, 200, 105, false);
    frame(root, 200, 105, true);
    EXPECT_EQ(items[0]->get_state(), STATE_PRESSED);
    frame(root, 200, 125, true);
    frame(root, 200, 125, false);
    EXPECT_EQ(l.get_selected_index(), 1);
    EXPECT_EQ(items[0]->get_state(), STATE_NORMAL);

    // Scrolled as far as it goes, the last page ends at the last item: the bottom row is item 11.
    l.get_vscroll()->set_position(100000);
    EXPECT_EQ(l.get_scroll_position(), 240 - 100);
    l.layout();
    EXPECT_EQ(items[11]->get_rect().bottom, 200);
    EXPECT_EQ(l.item_at(200, 199), 11);
    click(root, 200, 199);
    EXPECT_EQ(l.get_selected_index(), 11);
    // An inactive list neither hovers nor chooses.
    l.set_mode(MODE_INACTIVE);
    click(root, 200, 105);
    EXPECT_EQ(l.get_selected_index(), 11);
    EXPECT_EQ(l.get_hovered_index(), -1);
}

TEST_F(GuiList, TheScrollBarButtonsAndPaddleMoveTheListWithinItsRange) {
    c_listbox& l = make_list(12, 100, 0, FRAME_BIG_CHANGE);
    c_vscroll* bar = l.get_vscroll();
    const RECT down = bar->get_down_button()->get_outer_rect();
    click(root, (down.left + down.right) / 2, (down.top + down.bottom) / 2);
    EXPECT_EQ(l.get_scroll_position(), 30); // the big change
    EXPECT_EQ(items[0]->get_rect().top, 70);
    for (int i = 0; i < 10; ++i)
        click(root, (down.left + down.right) / 2, (down.top + down.bottom) / 2);
    EXPECT_EQ(l.get_scroll_position(), 140); // clamped

    // Drag the paddle back to the top.
    const RECT p = bar->get_paddle_rect();
    const int x = (p.left + p.right) / 2, y = (p.top + p.bottom) / 2;
    frame(root, x, y, false);
    EXPECT_EQ(bar->get_paddle_state(), STATE_HOVER);
    frame(root, x, y, true);
    EXPECT_EQ(bar->get_paddle_state(), STATE_PRESSED);
    frame(root, x, y - 500, true);
    EXPECT_EQ(l.get_scroll_position(), 0);
    frame(root, x, y - 500, false);
    EXPECT_EQ(bar->get_paddle_state(), STATE_NORMAL);
    // While the bar has the mouse, the items beneath the mouse's row do not.
    EXPECT_EQ(l.get_hovered_index(), -1);
}

TEST_F(GuiList, AListItemHeightOfZeroInCodeMadeSettingsDividesNothing) {
    s.listitem_height = 0;
    c_listbox& l = make_list(3, 100);
    frame(root, 200, 100, false);
    tap(root, DOWN);
    l.draw();
    EXPECT_EQ(l.get_selected_index(), 1);
}

// ---- droppers -----------------------------------------------------------------------------------

class GuiDropper : public GuiList {
  protected:
    void build(unsigned flags = FRAME_ALL) {
        make_list(6, 300);
        dropper = std::make_unique<c_listdropper>(&s, 100, 70, 400, 100, list.get(), 0, MODE_ACTIVE, flags);
        root.add_child(dropper.get());
        below =
            std::make_unique<c_button>(&s, 100, 150, 400, 180, "below", 0, nullptr, MODE_ACTIVE, FRAME_ALL);
        root.add_child(below.get()); // added after the list: on top of it until the list opens
        root.layout();
    }
    std::unique_ptr<c_listdropper> dropper;
    std::unique_ptr<c_button> below;
};

TEST_F(GuiDropper, AClosedListTakesNeitherMouseNorKeys) {
    build();
    EXPECT_FALSE(dropper->is_open());
    tap(root, DOWN);
    EXPECT_EQ(list->get_selected_index(), 0);
    click(root, 200, 250);
    EXPECT_EQ(list->get_selected_index(), 0);
    dev.clear_log();
    root.draw();
    EXPECT_EQ(dropper->get_label(0)->get_text(), "item 0");
}

TEST_F(GuiDropper, OpeningShowsTheSelectionOnTopAndChoosingAnItemClosesIt) {
    build();
    list->select(items[4].get());
    click(root, 200, 85);
    ASSERT_TRUE(dropper->is_open());
    EXPECT_EQ(root.index_of(list.get()), 0); // brought over the button added after it
    EXPECT_TRUE(items[4]->is_selected());
    EXPECT_EQ(list->get_hovered_index(), -1);
    // The row of item 2 lies under the button "below": the open list has the mouse there.
    click(root, 200, 155);
    EXPECT_FALSE(dropper->is_open());
    EXPECT_EQ(list->get_selected_index(), 2);
    EXPECT_FALSE(below->was_clicked());
    root.draw();
    EXPECT_EQ(dropper->get_label(0)->get_text(), "item 2");
}

TEST_F(GuiDropper, OpeningALongListScrollsItsSelectionIntoView) {
    make_list(30, 200);
    c_listdropper field(&s, 100, 70, 400, 100, list.get(), 0, MODE_ACTIVE, FRAME_ALL);
    root.add_child(&field);
    list->select(items[20].get());
    click(root, 200, 85);
    ASSERT_TRUE(field.is_open());
    EXPECT_EQ(list->get_scroll_position(), 21 * 20 - 200);
    EXPECT_EQ(items[20]->get_rect().bottom, 300);
}

TEST_F(GuiDropper, APressOutsideClosesWithoutChangingTheSelectionAndTheFieldTogglesIt) {
    build();
    click(root, 200, 85);
    ASSERT_TRUE(dropper->is_open());
    frame(root, 600, 500, false);
    frame(root, 600, 500, true);
    EXPECT_FALSE(dropper->is_open());
    frame(root, 600, 500, false);
    EXPECT_EQ(list->get_selected_index(), 0);
    click(root, 200, 85);
    EXPECT_TRUE(dropper->is_open());
    click(root, 200, 85);
    EXPECT_FALSE(dropper->is_open());
    // An inactive list makes the field inactive: it does not open.
    list->set_mode(MODE_INACTIVE);
    click(root, 200, 85);
    EXPECT_FALSE(dropper->is_open());
    EXPECT_EQ(dropper->get_state(), STATE_INACTIVE);
}

TEST_F(GuiDropper, WithTheRepeatFlagThePressOpensAndTheReleaseChooses) {
    build(FRAME_ALL | FRAME_REPEAT);
    frame(root, 200, 85, false);
    frame(root, 200, 85, true);
    EXPECT_TRUE(dropper->is_open());
    frame(root, 200, 145, true);
    frame(root, 200, 145, false); // released over item 2
    EXPECT_FALSE(dropper->is_open());
    EXPECT_EQ(list->get_selected_index(), 2);
}

TEST_F(GuiDropper, TheDropperAndTheListMayBeDeletedInEitherOrder) {
    build();
    click(root, 200, 85);
    list.reset();
    frame(root, 200, 85, false);
    root.draw();
    EXPECT_EQ(dropper->get_list(), nullptr);
    dropper.reset();
}

// ---- the mode box ----------------------------------------------------------------------------------

class GuiModebox : public GuiFixture {
  protected:
    recording_d3d d3d;
    settings_record display{};
};

TEST_F(GuiModebox, ModesAreSortedByWidthHeightBitsAndRateAndLabelled) {
    d3d.modes = {{1024, 768, 75, D3DFMT_X8R8G8B8},
                 {800, 600, 60, D3DFMT_R5G6B5},
                 {1024, 768, 60, D3DFMT_X8R8G8B8},
                 {1024, 768, 60, D3DFMT_A2R10G10B10},
                 {1024, 768, 60, D3DFMT_A8R8G8B8}}; // a format the box does not count
    c_modebox box(&s, 0, 0, 400, 300, UP, DOWN, 0, 0, display, &d3d);
    ASSERT_EQ(box.item_count(), 4);
    EXPECT_EQ(box.item_indextoptr(0)->get_text(), "800 x 600 x 16 (60 hertz)");
    EXPECT_EQ(box.item_indextoptr(1)->get_text(), "1024 x 768 x 32 (60 hertz)");
    EXPECT_EQ(box.item_indextoptr(2)->get_text(), "1024 x 768 x 32 (75 hertz)");
    EXPECT_EQ(box.item_indextoptr(3)->get_text(), "1024 x 768 x 33 (60 hertz)");
    D3DDISPLAYMODE m;
    box.get_selected_mode(m);
    EXPECT_EQ(m.Width, 800u);
    box.select_mode(D3DDISPLAYMODE{1024, 768, 75, D3DFMT_X8R8G8B8});
    EXPECT_EQ(box.get_selected_index(), 2);
    box.select_mode(D3DDISPLAYMODE{1024, 768, 75, D3DFMT_R5G6B5}); // no such mode: unchanged
    EXPECT_EQ(box.get_selected_index(), 2);
    box.select(nullptr);
    box.get_selected_mode(m);
    EXPECT_EQ(m.Width, 0u);
    EXPECT_EQ(m.RefreshRate, 0u);
    EXPECT_EQ(m.Format, D3DFMT_UNKNOWN);
}

TEST_F(GuiModebox, AnAdapterWithoutModesGivesAnEmptyBoxAndARefusalRaises) {
    d3d.modes.clear();
    c_modebox empty(&s, 0, 0, 400, 300, UP, DOWN, 0, 0, display, &d3d);
    EXPECT_EQ(empty.item_count(), 0);
    D3DDISPLAYMODE m{1, 1, 1, D3DFMT_R5G6B5};
    empty.get_selected_mode(m);
    EXPECT_EQ(m.Width, 0u);
    c_panel root(&s, 0, 0, 800, 600, MODE_ACTIVE, 0);
    root.add_child(&empty);
    click(root, 100, 100);
    tap(root, DOWN);
    root.draw();

    d3d.modes = {{640, 480, 60, D3DFMT_X8R8G8B8}};
    d3d.fail_next("EnumAdapterModes", D3DERR_NOTAVAILABLE);
    EXPECT_RAISES(c_modebox(&s, 0, 0, 400, 300, UP, DOWN, 0, 0, display, &d3d),
                  "Unable to enumerate the display mode.");
}

// ---- check boxes -----------------------------------------------------------------------------------

class GuiCheckbox : public GuiFixture {
  protected:
    GuiCheckbox() { root.add_child(&box); }
    // The colour of the box quad in the last draw (each state and flag has a colour of its own).
    D3DCOLOR box_colour() {
        dev.clear_log();
        root.draw();
        const RECT r = box.get_box_rect();
        for (const draw_record& d : dev.draws()) {
            if (d.fvf == FVF_PS) {
                for (const vertex_ps& v : d.as<vertex_ps>())
                    if (static_cast<int>(v.x) == (r.left + r.right) / 2) return v.colour;
            } else if (d.fvf == FVF_TRA) {
                auto v = d.as<vertex_tra>();
                if (!v.empty() && v[0].x == static_cast<float>(r.left) && v[0].y == static_cast<float>(r.top))
                    return v[0].colour;
            }
        }
        return 0;
    }
    c_panel root{&s, 0, 0, 800, 600, MODE_ACTIVE, 0};
    c_checkbox box{&s, 35, 180, 795, 210, "Vertical sync", 0x2F, true};
};

TEST_F(GuiCheckbox, ClicksAndTheHotKeyToggleWithoutAnAction) {
    click(root, 400, 195);
    EXPECT_FALSE(box.is_checked());
    EXPECT_FALSE(box.was_clicked());
    click(root, 400, 195);
    EXPECT_TRUE(box.is_checked());
    frame(root, 700, 500, false);
    tap(root, 0x2F);
    EXPECT_FALSE(box.is_checked());
    EXPECT_EQ(box_colour(), 0xFFFF0000u); // unchecked, state 0
    box.set_checked(true);
    frame(root, 400, 195, false);
    EXPECT_EQ(box_colour(), 0xFF00FF01u); // checked, under the mouse
}

TEST_F(GuiCheckbox, AnInactiveBoxCannotBeToggledAndDrawsTheInactiveImages) {
    box.set_mode(MODE_INACTIVE);
    click(root, 400, 195);
    tap(root, 0x2F);
    EXPECT_TRUE(box.is_checked());
    EXPECT_EQ(box.get_state(), STATE_INACTIVE);
    EXPECT_EQ(box_colour(), 0xFF00FF03u);
}

TEST_F(GuiCheckbox, TheLabelStartsAfterTheBox) {
    root.layout();
    const RECT square = box.get_box_rect();
    EXPECT_EQ(square.right - square.left, square.bottom - square.top);
    EXPECT_EQ(square.left, 35);
    s.text_flags[0] = TEXT_VCENTER | TEXT_WRAP; // left aligned, as the check box look is
    box.layout();
    const c_text* label = box.get_label(0);
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->get_bounding_box().left, box.get_box_rect().right);
}

} // namespace
