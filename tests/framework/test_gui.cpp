// The widget model with scripted mouse and keyboard: who hovers and presses, when buttons fire,
// layout in design space and pixels, nine-piece frames and the repeat timer.
#include <gtest/gtest.h>

#include "tests/framework/gui_fixture.h"
#include "tests/rect_equal.h"

namespace {

int g_fired_a = 0, g_fired_b = 0;
void fire_a(c_button*) {
    ++g_fired_a;
}
void fire_b(c_button*) {
    ++g_fired_b;
}

class GuiInput : public GuiFixture {
  protected:
    GuiInput() {
        g_fired_a = g_fired_b = 0;
        root.add_child(&a);
        root.add_child(&b); // added last: on top
    }
    c_panel root{&s, 0, 0, 800, 600, MODE_ACTIVE, 0};
    c_button a{&s, 100, 100, 300, 200, "a", 0x1E, fire_a, MODE_ACTIVE, FRAME_ALL};
    c_button b{&s, 200, 150, 400, 250, "b", 0x30, fire_b, MODE_ACTIVE, FRAME_ALL};
};

TEST_F(GuiInput, OnlyTheTopmostOfOverlappingButtonsHoversPressesAndFires) {
    frame(root, 250, 175, false); // inside both
    EXPECT_EQ(b.get_state(), STATE_HOVER);
    EXPECT_EQ(a.get_state(), STATE_NORMAL);
    frame(root, 250, 175, true);
    EXPECT_EQ(b.get_state(), STATE_PRESSED);
    EXPECT_EQ(a.get_state(), STATE_NORMAL);
    frame(root, 250, 175, false);
    EXPECT_EQ(g_fired_b, 1);
    EXPECT_TRUE(b.was_clicked());
    EXPECT_EQ(g_fired_a, 0);
    frame(root, 250, 175, false);
    EXPECT_FALSE(b.was_clicked()); // only in the frame it fired

    // Bringing the lower one to the front gives it the mouse.
    root.bring_to_front(&a);
    click(root, 250, 175);
    EXPECT_EQ(g_fired_a, 1);
    EXPECT_EQ(g_fired_b, 1);
    // Outside the overlap the lower one works as usual.
    root.send_to_back(&a);
    click(root, 120, 120);
    EXPECT_EQ(g_fired_a, 2);
}

TEST_F(GuiInput, APressThatBeganOutsideNeverPressesAndAPressMovedOffNeverFires) {
    frame(root, 50, 50, false);
    frame(root, 50, 50, true); // pressed outside every button
    frame(root, 120, 120, true);
    EXPECT_EQ(a.get_state(), STATE_NORMAL);
    frame(root, 120, 120, false);
    EXPECT_EQ(g_fired_a, 0);
    EXPECT_EQ(a.get_state(), STATE_HOVER);

    frame(root, 120, 120, true);
    EXPECT_EQ(a.get_state(), STATE_PRESSED);
    frame(root, 50, 50, true);   // moved off while held
    frame(root, 120, 120, true); // and back: not pressed again
    EXPECT_EQ(a.get_state(), STATE_NORMAL);
    frame(root, 120, 120, false);
    frame(root, 50, 50, false);
    EXPECT_EQ(g_fired_a, 0);
}

TEST_F(GuiInput, AHotKeyFiresOnReleaseWhereverTheMouseIs) {
    frame(root, 700, 500, false); // over nothing
    key(0x1E, true);
    frame(root);
    EXPECT_EQ(a.get_state(), STATE_PRESSED);
    EXPECT_EQ(g_fired_a, 0); // not on the press
    key(0x1E, false);
    frame(root);
    EXPECT_EQ(g_fired_a, 1);

    // With the mouse over the other button, which keeps its hover.
    frame(root, 350, 220, false);
    tap(root, 0x1E);
    EXPECT_EQ(g_fired_a, 2);
    EXPECT_EQ(g_fired_b, 0);
    EXPECT_EQ(b.get_state(), STATE_HOVER);
}

TEST_F(GuiInput, AnInactiveLabelOverAButtonTakesTheMouseFromIt) {
    c_button label(&s, 90, 90, 310, 210, "label", 0, nullptr, MODE_INACTIVE, FRAME_ALL);
    root.add_child(&label);
    click(root, 120, 120);
    EXPECT_EQ(label.get_state(), STATE_INACTIVE);
    EXPECT_EQ(a.get_state(), STATE_NORMAL);
    EXPECT_EQ(g_fired_a, 0);
    // A label that never takes the mouse lets it through.
    label.set_flags(FRAME_ALL | FRAME_NO_MOUSE);
    click(root, 120, 120);
    EXPECT_EQ(g_fired_a, 1);
    // A hidden widget takes nothing either, and a removed one is gone for good.
    label.set_flags(FRAME_ALL);
    label.set_mode(MODE_HIDDEN);
    click(root, 120, 120);
    EXPECT_EQ(g_fired_a, 2);
}

TEST_F(GuiInput, AnInactivePanelMakesItsChildrenInactiveButHotKeysStillPress) {
    c_panel inner(&s, 0, 300, 800, 600, MODE_INACTIVE, 0);
    c_button c(&s, 0, 0, 800, 600, "c", 0x2E, fire_a, MODE_ACTIVE, 0);
    inner.add_child(&c);
    root.add_child(&inner);
    click(root, 400, 450);
    EXPECT_EQ(c.get_state(), STATE_INACTIVE);
    EXPECT_EQ(g_fired_a, 0);
    EXPECT_EQ(inner.index_of(&c), 0);
}

TEST_F(GuiInput, DeletingAChildLeavesItsParentAndAParentLeavesItsChildren) {
    {
        c_button temp(&s, 0, 0, 10, 10, "t", 0, nullptr, MODE_ACTIVE, 0);
        root.add_child(&temp);
        EXPECT_EQ(root.child_count(), 3);
        EXPECT_EQ(root.index_of(&temp), 0);
    }
    EXPECT_EQ(root.child_count(), 2);
    EXPECT_EQ(root.child_at(2), nullptr);
    c_button orphan(&s, 0, 0, 10, 10, "o", 0, nullptr, MODE_ACTIVE, 0);
    {
        c_panel p(&s, 0, 0, 800, 600, MODE_ACTIVE, 0);
        p.add_child(&orphan);
        EXPECT_EQ(orphan.get_parent(), &p);
    }
    EXPECT_EQ(orphan.get_parent(), nullptr);
    frame(orphan, 5, 5, false); // no parent to tell
    EXPECT_EQ(orphan.get_state(), STATE_HOVER);
}

// ---- layout ------------------------------------------------------------------------------------

class GuiLayout : public GuiFixture {};

TEST_F(GuiLayout, PixelRectanglesKeepTheirSizeWhileDesignRectanglesScale) {
    for (int width : {800, 1024, 1600}) {
        s.screen_width = width;
        s.screen_height = width * 3 / 4;
        c_panel root(&s, 0, 0, 800, 600, MODE_ACTIVE, FRAME_EDGES);
        c_button design(&s, 0, 0, 800, 600, "", 0, nullptr, MODE_ACTIVE, 0);
        c_button pixels(&s, 10, 20, 130, 44, "", 0, nullptr, MODE_ACTIVE, FRAME_PIXELS);
        root.add_child(&design);
        root.add_child(&pixels);
        root.layout();
        EXPECT_EQ(root.get_outer_rect(), (RECT{0, 0, width, width * 3 / 4}));
        // Children sit in the root's content, inset by the 4-pixel borders.
        EXPECT_EQ(design.get_outer_rect(), (RECT{4, 4, width - 4, width * 3 / 4 - 4}));
        EXPECT_EQ(pixels.get_outer_rect(), (RECT{14, 24, 134, 48}));
    }
    // A parentless pixel widget is where it says; a design one scales by the screen, truncated.
    s.screen_width = 1024;
    s.screen_height = 768;
    c_button lone(&s, 5, 7, 105, 57, "", 0, nullptr, MODE_ACTIVE, FRAME_PIXELS);
    lone.layout();
    EXPECT_EQ(lone.get_outer_rect(), (RECT{5, 7, 105, 57}));
    EXPECT_EQ(layout_rect(s, RECT{1, 1, 799, 599}, nullptr, 0), (RECT{1, 1, 1022, 766}));
}

TEST_F(GuiLayout, BordersWiderThanTheWidgetMeetInTheMiddle) {
    s.border_left = s.border_right = 50;
    s.border_top = -5; // a negative border insets nothing
    RECT c = inset_rect(s, RECT{0, 0, 60, 30}, FRAME_EDGES);
    EXPECT_EQ(c.left, c.right);
    EXPECT_GE(c.left, 0);
    EXPECT_LE(c.right, 60);
    EXPECT_EQ(c.top, 0);
    dev.clear_log();
    EXPECT_TRUE(draw_frame(s, MODE_ACTIVE, 0, FRAME_ALL, RECT{0, 0, 60, 30}, c));
    gfx.flush(); // no piece is turned inside out; empty ones are left out
    for (const draw_record& d : dev.draws())
        for (const vertex_tra& v : d.as<vertex_tra>()) {
            EXPECT_GE(v.x, 0.0f);
            EXPECT_LE(v.x, 60.0f);
        }
}

TEST_F(GuiLayout, FitToLabelShrinksTheBoxToTheLaidOutText) {
    c_button fit(&s, 0, 0, 200, 100, "abc", 0, nullptr, MODE_ACTIVE, FRAME_FIT | FRAME_LEFT | FRAME_TOP);
    fit.layout();
    RECT c;
    fit.get_content_rect(c);
    EXPECT_EQ(c.right - c.left, 3 * font.glyph_width('a'));
    EXPECT_EQ(fit.get_outer_rect().left, c.left - 4);
    EXPECT_EQ(fit.get_outer_rect().top, c.top - 4);
    EXPECT_EQ(fit.get_outer_rect().right, c.right);
    // An empty label leaves an empty box, which nothing can hover.
    fit.set_text("");
    fit.set_flags(FRAME_FIT);
    fit.layout();
    const RECT o = fit.get_outer_rect();
    frame(fit, o.left + 2, o.top + 2, false);
    EXPECT_EQ(fit.get_state(), STATE_NORMAL);
}

// ---- frames ---------------------------------------------------------------------------------------

class GuiFrame : public GuiFixture {
  protected:
    // The colours of the pieces drawn, in drawing order (each piece has a colour of its own).
    std::vector<D3DCOLOR> drawn_colours() {
        std::vector<D3DCOLOR> out;
        for (const draw_record& d : dev.draws()) {
            if (d.fvf == FVF_PS) {
                for (const vertex_ps& v : d.as<vertex_ps>())
                    out.push_back(v.colour);
            } else {
                auto v = d.as<vertex_tra>();
                for (size_t i = 0; i < v.size(); i += 6)
                    out.push_back(v[i].colour);
            }
        }
        return out;
    }
};

TEST_F(GuiFrame, CornersNeedBothEdgesAndTheNormalLookFlagKeepsStateZero) {
    const RECT outer{0, 0, 100, 50}, content{4, 4, 96, 46};
    dev.clear_log();
    draw_frame(s, MODE_ACTIVE, STATE_HOVER, FRAME_LEFT | FRAME_MIDDLE, outer, content);
    gfx.flush();
    auto colours = drawn_colours();
    std::sort(colours.begin(), colours.end());
    // State 1: left edge (3) and middle (4); no corner without its top or bottom edge.
    EXPECT_EQ(colours, (std::vector<D3DCOLOR>{0xFF000013u, 0xFF000014u}));

    dev.clear_log();
    draw_frame(s, MODE_ACTIVE, STATE_PRESSED, FRAME_LEFT | FRAME_TOP | FRAME_NORMAL_LOOK, outer, content);
    gfx.flush();
    colours = drawn_colours();
    std::sort(colours.begin(), colours.end());
    EXPECT_EQ(colours, (std::vector<D3DCOLOR>{0xFF000000u, 0xFF000001u, 0xFF000003u}));

    // ...but not over the inactive look; a hidden widget draws nothing.
    dev.clear_log();
    draw_frame(s, MODE_INACTIVE, STATE_INACTIVE, FRAME_MIDDLE | FRAME_NORMAL_LOOK, outer, content);
    gfx.flush();
    EXPECT_EQ(drawn_colours(), (std::vector<D3DCOLOR>{0xFF000034u}));
    dev.clear_log();
    EXPECT_FALSE(draw_frame(s, MODE_HIDDEN, 0, FRAME_ALL, outer, content));
    gfx.flush();
    EXPECT_TRUE(dev.draws().empty());
}

TEST_F(GuiFrame, PiecesRepeatEveryPieceSizeAndStretchWhenTheSizeIsZero) {
    s.frame_sizes[0][4] = SIZE{16, 8};
    s.frame_sizes[0][1] = SIZE{0, 0};
    dev.clear_log();
    draw_frame(s, MODE_ACTIVE, 0, FRAME_TOP | FRAME_MIDDLE, RECT{0, 0, 64, 36}, RECT{0, 4, 64, 36});
    gfx.flush();
    bool saw_middle = false, saw_top = false;
    for (const draw_record& d : dev.draws()) {
        auto v = d.as<vertex_tra>();
        for (size_t i = 0; i < v.size(); i += 6) {
            float max_u = 0, max_v = 0;
            for (size_t k = i; k < i + 6; ++k) {
                max_u = std::max(max_u, v[k].u);
                max_v = std::max(max_v, v[k].v);
            }
            if (v[i].colour == 0xFF000004u) {
                saw_middle = true;
                EXPECT_FLOAT_EQ(max_u, 64.0f / 16.0f);
                EXPECT_FLOAT_EQ(max_v, 32.0f / 8.0f);
            } else if (v[i].colour == 0xFF000001u) {
                saw_top = true;
                EXPECT_FLOAT_EQ(max_u, 1.0f);
                EXPECT_FLOAT_EQ(max_v, 1.0f);
            }
            EXPECT_EQ(v[i].z, 0.0f);
        }
    }
    EXPECT_TRUE(saw_middle);
    EXPECT_TRUE(saw_top);
}

TEST_F(GuiFrame, AButtonsLabelIsDrawnOverItsFrameAndAPanelClipsItsChildren) {
    c_panel root(&s, 0, 0, 800, 600, MODE_ACTIVE, FRAME_ALL);
    c_button b(&s, 700, 500, 900, 700, "label", 0, nullptr, MODE_ACTIVE, FRAME_MIDDLE);
    root.add_child(&b);
    dev.clear_log();
    root.draw();
    int frame_draw = -1, text_draw = -1;
    for (size_t i = 0; i < dev.draws().size(); ++i) {
        const draw_record& d = dev.draws()[i];
        if (d.texture == font.get_texture())
            text_draw = static_cast<int>(i);
        else if (d.fvf == FVF_TRA && d.as<vertex_tra>()[0].colour == 0xFF000004u &&
                 d.as<vertex_tra>()[0].x >= 690)
            frame_draw = static_cast<int>(i);
    }
    ASSERT_GE(frame_draw, 0);
    ASSERT_GE(text_draw, 0);
    EXPECT_LT(frame_draw, text_draw);
    EXPECT_EQ(gfx.clip_count(), 0); // every clip was undone
    bool clipped = false;
    for (const recorded_call* c : dev.find("SetScissorRect"))
        if (c->args[0] == "4,4,796,596") clipped = true;
    EXPECT_TRUE(clipped) << dev.names();
}

// ---- repeat ----------------------------------------------------------------------------------------

class GuiRepeat : public GuiFixture {};

TEST_F(GuiRepeat, AHeldAutoRepeatButtonFiresAtOnceAfterTheInitialIntervalThenAtTheNormalOne) {
    c_panel root(&s, 0, 0, 800, 600, MODE_ACTIVE, 0);
    int fired = 0;
    static int* counter = nullptr;
    counter = &fired;
    c_button r(
        &s, 0, 0, 100, 100, "r", 0, [](c_button*) { ++*counter; }, MODE_ACTIVE, FRAME_REPEAT);
    root.add_child(&r);
    g_test_clock_now = 5000;
    frame(root, 50, 50, false);
    frame(root, 50, 50, true);
    EXPECT_EQ(fired, 1); // at once
    for (DWORD t : {5100u, 5399u}) {
        g_test_clock_now = t;
        frame(root);
    }
    EXPECT_EQ(fired, 1);
    g_test_clock_now = 5400;
    frame(root);
    EXPECT_EQ(fired, 2); // after the initial interval
    g_test_clock_now = 5479;
    frame(root);
    EXPECT_EQ(fired, 2);
    g_test_clock_now = 5480;
    frame(root);
    g_test_clock_now = 5560;
    frame(root);
    EXPECT_EQ(fired, 4); // then every normal interval
    // Letting go resets: the next press fires at once again, and the release fires nothing.
    frame(root, 50, 50, false);
    EXPECT_EQ(fired, 4);
    frame(root, 50, 50, true);
    EXPECT_EQ(fired, 5);
}

TEST_F(GuiRepeat, TheTimerKeepsItsPaceAcrossTheWrapOfTheMillisecondClock) {
    c_repeat_timer t;
    EXPECT_TRUE(t.tick(400, 80, 0xFFFFFF00u));
    EXPECT_FALSE(t.tick(400, 80, 0xFFFFFFFFu));
    EXPECT_FALSE(t.tick(400, 80, 0x00000080u)); // 384 ms later, after the wrap
    EXPECT_TRUE(t.tick(400, 80, 0x00000090u));  // 400 ms
    EXPECT_FALSE(t.tick(400, 80, 0x000000DFu));
    EXPECT_TRUE(t.tick(400, 80, 0x000000E0u));
    t.reset();
    EXPECT_TRUE(t.tick(400, 80, 0x000000E1u));
}

} // namespace

namespace {

class GuiDrawOrder : public GuiFixture {
  protected:
    // Index of the first draw that is a label (font texture) whose vertices lie in [x0, x1).
    int first_text_draw(float x0, float x1) {
        for (size_t i = 0; i < dev.draws().size(); ++i) {
            const draw_record& d = dev.draws()[i];
            if (d.texture != font.get_texture()) continue;
            auto v = d.as<vertex_tra>();
            if (!v.empty() && v[0].x >= x0 && v[0].x < x1) return static_cast<int>(i);
        }
        return -1;
    }
    // Index of the last draw holding a middle piece (state 0) whose left edge is at x.
    int last_frame_draw(float x) {
        int last = -1;
        for (size_t i = 0; i < dev.draws().size(); ++i) {
            const draw_record& d = dev.draws()[i];
            if (d.fvf != FVF_TRA || d.texture == font.get_texture()) continue;
            auto v = d.as<vertex_tra>();
            for (size_t k = 0; k + 6 <= v.size(); k += 6)
                if (v[k].colour == 0xFF000004u && v[k].x == x) last = static_cast<int>(i);
        }
        return last;
    }
    c_panel root{&s, 0, 0, 800, 600, MODE_ACTIVE, 0};
};

TEST_F(GuiDrawOrder, SiblingsApartShareBatchesAndAnOverlappingOneCoversTheLabelBeneath) {
    c_button left(&s, 0, 0, 100, 50, "left", 0, nullptr, MODE_ACTIVE, FRAME_MIDDLE);
    c_button right(&s, 200, 0, 300, 50, "right", 0, nullptr, MODE_ACTIVE, FRAME_MIDDLE);
    root.add_child(&left);
    root.add_child(&right);
    dev.clear_log();
    root.draw();
    // Both middles go in one draw, before both labels.
    ASSERT_GE(last_frame_draw(0), 0);
    EXPECT_EQ(last_frame_draw(0), last_frame_draw(200));
    EXPECT_LT(last_frame_draw(200), first_text_draw(0, 100));

    // A button over the left one: the left label is drawn before the frame that covers it.
    c_button over(&s, 50, 0, 150, 50, "over", 0, nullptr, MODE_ACTIVE, FRAME_MIDDLE);
    root.add_child(&over);
    dev.clear_log();
    root.draw();
    ASSERT_GE(first_text_draw(0, 50), 0);
    EXPECT_LT(first_text_draw(0, 50), last_frame_draw(50));
    // A hidden list between them changes nothing.
    c_listbox hidden(&s, 0, 0, 800, 600, 0, 0, FRAME_ALL, 0);
    c_listdropper field(&s, 400, 0, 500, 50, &hidden, 0, MODE_ACTIVE, FRAME_MIDDLE);
    root.add_child(&field);
    root.add_child(&hidden);
    root.send_to_back(&left);
    dev.clear_log();
    root.draw();
    ASSERT_GE(last_frame_draw(400), 0);
    EXPECT_EQ(last_frame_draw(50), last_frame_draw(400));
}

} // namespace

namespace {

class GuiText : public GuiFixture {};

TEST_F(GuiText, LabelsOfAnyLengthAndBytesAreLaidOutAndClippedToTheirWidget) {
    std::string text;
    for (int i = 0; i < 6000; ++i)
        text += static_cast<char>(i % 256);
    c_panel root(&s, 0, 0, 800, 600, MODE_ACTIVE, 0);
    c_button b(&s, 100, 100, 300, 140, text, 0, nullptr, MODE_ACTIVE, FRAME_ALL);
    c_checkbox box(&s, 100, 200, 300, 230, text, 0, true);
    c_listbox list(&s, 400, 100, 700, 300, 0, 0, FRAME_ALL, 0);
    c_listitem item(text);
    list.add_item(&item);
    root.add_child(&b);
    root.add_child(&box);
    root.add_child(&list);
    dev.clear_log();
    root.draw();
    EXPECT_EQ(gfx.clip_count(), 0);
    // Every label was drawn inside a scissor no larger than its widget.
    bool saw_button_clip = false;
    for (const recorded_call* c : dev.find("SetScissorRect"))
        saw_button_clip |= c->args[0] == "100,100,300,140";
    EXPECT_TRUE(saw_button_clip) << dev.names();
    ASSERT_NE(b.get_label(0), nullptr);
    EXPECT_GT(b.get_label(0)->get_quad_count(), 0);
}

} // namespace

namespace {

class counting_button : public c_button {
  public:
    using c_button::c_button;
    void draw() override {
        ++draws;
        c_button::draw();
    }
    int draws = 0;
};

TEST_F(GuiDrawOrder, ADerivedButtonThatDrawsItsOwnWayIsDrawnWhole) {
    counting_button own(&s, 0, 0, 100, 50, "own", 0, nullptr, MODE_ACTIVE, FRAME_MIDDLE);
    c_button plain(&s, 200, 0, 300, 50, "plain", 0, nullptr, MODE_ACTIVE, FRAME_MIDDLE);
    root.add_child(&own);
    root.add_child(&plain);
    root.draw();
    EXPECT_EQ(own.draws, 1);
}

} // namespace
