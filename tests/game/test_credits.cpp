// The credits screen: reading credits.ini (and surviving a broken one), the phases of an entry,
// the stars' rise and restart, and the drawing through the default image's sprite batch.
#include <memory>

#include "framework/font.h"
#include "game/screens/credits.h"
#include "tests/game/battle_fixture.h"

namespace {
class credits_test : public world_test {
  protected:
    std::vector<credit_entry> load(const std::string& text) {
        write_file(dir.file("credits.ini"), text);
        cwd_guard cwd(dir.path());
        c_ini ini("credits.ini");
        return load_credits(ini);
    }
    // Steps of 100 ms, as the credits loop runs them.
    void credit_step(c_credits& show) {
        ip.prev_update_time = ip.update_time;
        ip.update_time += c_credits::credits_step;
        show.update();
    }
    c_font& font() {
        if (!font_) font_ = std::make_unique<c_font>(&gfx, nullptr, &gdi_);
        return *font_;
    }
    // Vertex colours of the untextured point sprites drawn so far.
    std::vector<vertex_ps> drawn_sprites() const {
        std::vector<vertex_ps> out;
        for (const draw_record& d : dev.draws())
            if (d.type == D3DPT_POINTLIST)
                for (const vertex_ps& v : d.as<vertex_ps>())
                    out.push_back(v);
        return out;
    }
    // Colours of the triangles drawn (the entry's text).
    std::vector<D3DCOLOR> text_colours() const {
        std::vector<D3DCOLOR> out;
        for (const draw_record& d : dev.draws())
            if (d.type == D3DPT_TRIANGLELIST && d.stride == sizeof(vertex_tra))
                for (const vertex_tra& v : d.as<vertex_tra>())
                    out.push_back(v.colour);
        return out;
    }

    fixed_gdi gdi_;
    std::unique_ptr<c_font> font_;
};

std::vector<credit_entry> one_entry() {
    return {credit_entry{"Thanks", 0xC0102030}};
}
} // namespace

TEST_F(credits_test, FileGivesEntriesInOrderWithEscapesAndColours) {
    auto e = load("[credits]\nnum_credits=3\ncredit_format=c%d\n"
                  "[c0]\ntext=First\\nline\ncolor=255 1 2 3\n"
                  "[c1]\ntext=Second\n"
                  "[c2]\ntext=\"Quoted\"\ncolor=128 255 0 0\n");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].text, "First\nline");
    EXPECT_EQ(e[0].color, 0xFF010203u);
    EXPECT_EQ(e[1].text, "Second");
    EXPECT_EQ(e[1].color, 0xFFFFFFFFu) << "an entry without colour shows in white, not invisible";
    EXPECT_EQ(e[2].text, "Quoted");
    EXPECT_EQ(e[2].color, 0x80FF0000u);
}

TEST_F(credits_test, BrokenFilesGiveFewerEntriesOrAReport) {
    EXPECT_TRUE(load("").empty());
    EXPECT_TRUE(load("[credits]\nnum_credits=0\ncredit_format=c%d\n[c0]\ntext=x\n").empty());
    EXPECT_TRUE(load("[credits]\nnum_credits=-4\ncredit_format=c%d\n[c0]\ntext=x\n").empty());
    // Zero entries never look at the format, so a broken one there is harmless.
    EXPECT_TRUE(load("[credits]\nnum_credits=0\ncredit_format=%s\n").empty());
    {
        cwd_guard cwd(dir.path());
        c_ini missing("no_such_credits.ini");
        EXPECT_TRUE(load_credits(missing).empty());
    }
    // Far more entries than sections, and a gap: the ones that exist, and in good time.
    auto e = load("[credits]\nnum_credits=2000000000\ncredit_format=c%d\n[c0]\ntext=a\n[c2]\ntext=c\n"
                  "[c3]\ncolor=255 0 0 0\n");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].text, "a");
    EXPECT_EQ(e[1].text, "c");
    for (const char* format : {"credit", "c%d%d", "c%s", "c%n", "c%f", "c%ld", "%%d"}) {
        SCOPED_TRACE(format);
        EXPECT_RAISES(
            load(std::string("[credits]\nnum_credits=1\ncredit_format=") + format + "\n[c0]\ntext=a\n"),
            "Unable to load the credits: credit_format must hold exactly one integer conversion.");
    }
    EXPECT_EQ(load("[credits]\nnum_credits=1\ncredit_format=%%c%03d\n[%c000]\ntext=a\n").size(), 1u);
}

TEST_F(credits_test, OneEntryFadesInHoldsFadesOutPausesAndStartsAgain) {
    c_credits show(one_entry(), 640, 480);
    auto expect_phase_for = [&](int phase, int steps) {
        for (int i = 0; i < steps; ++i) {
            ASSERT_EQ(show.get_phase(), phase) << "step " << i << " of phase " << phase;
            credit_step(show);
        }
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(show.get_entry(), 0);
        expect_phase_for(CREDIT_FADE_IN, 11);
        expect_phase_for(CREDIT_HOLD, 16);
        expect_phase_for(CREDIT_FADE_OUT, 11);
        expect_phase_for(CREDIT_PAUSE, 1);
    }
    EXPECT_EQ(show.get_phase(), CREDIT_FADE_IN);
    EXPECT_EQ(show.get_counter().value, 0.0f);
}

TEST_F(credits_test, AlphaFollowsThePhaseAndStaysInAByte) {
    c_credits show(one_entry(), 640, 480);
    EXPECT_EQ(show.text_alpha(), 0);
    for (int i = 0; i < 4; ++i)
        credit_step(show);
    EXPECT_EQ(show.text_alpha(), 102); // trunc(4 / 10 x 255)
    // Drawn half way between the last two steps, the counter reads 3.5.
    ip.draw_time = ip.prev_update_time + 50;
    ip.drawing = true;
    EXPECT_EQ(show.text_alpha(), 89);
    ip.drawing = false;
    for (int i = 0; i < 7; ++i)
        credit_step(show);
    EXPECT_EQ(show.get_phase(), CREDIT_HOLD);
    EXPECT_EQ(show.text_alpha(), 0xC0) << "held in the entry's own alpha";
    while (show.get_phase() == CREDIT_HOLD)
        credit_step(show);
    EXPECT_EQ(show.text_alpha(), 255);
    for (int i = 0; i < 10; ++i)
        credit_step(show);
    EXPECT_EQ(show.text_alpha(), 0);
    // A counter past its end (a step late) never wraps the byte.
    show.get_counter().value = 10.9f;
    EXPECT_EQ(show.text_alpha(), 0);
    credit_step(show);
    EXPECT_EQ(show.get_phase(), CREDIT_PAUSE);
    EXPECT_EQ(show.text_alpha(), -1);
}

TEST_F(credits_test, EntriesCycleAndNoEntriesShowOnlyStars) {
    c_credits two({credit_entry{"a", 0xFFFFFFFF}, credit_entry{"b", 0xFFFFFFFF}}, 640, 480);
    for (int i = 0; i < 39; ++i)
        credit_step(two);
    EXPECT_EQ(two.get_entry(), 1);
    for (int i = 0; i < 39; ++i)
        credit_step(two);
    EXPECT_EQ(two.get_entry(), 0);

    c_credits none({}, 640, 480);
    for (int i = 0; i < 200; ++i)
        credit_step(none);
    EXPECT_EQ(none.get_entry(), 0);
    EXPECT_EQ(none.text_alpha(), -1);
    dev.clear_log();
    ip.drawing = true;
    none.draw(&gfx, &font());
    gfx.flush();
    ip.drawing = false;
    EXPECT_TRUE(text_colours().empty());
    EXPECT_EQ(drawn_sprites().size(), 300u);
}

TEST_F(credits_test, StarsArePlacedByTheProgramsRandomAndRestartBelowTheScreen) {
    crt::srand(77);
    int x0 = crt::rand() % 640, y0 = crt::rand() % 480;
    crt::srand(77);
    c_credits show({}, 640, 480);
    auto& layers = show.get_layers();
    ASSERT_EQ(layers.size(), 3u);
    for (auto& layer : layers) {
        ASSERT_EQ(layer.size(), 100u);
        for (c_star& s : layer) {
            EXPECT_TRUE(s.x.value >= 0 && s.x.value < 640 && s.y.value >= 0 && s.y.value < 480);
            EXPECT_EQ(s.y.prev_value, s.y.value) << "placed, not blended in";
        }
    }
    EXPECT_EQ(layers[0][0].x.value, x0);
    EXPECT_EQ(layers[0][0].y.value, y0);

    c_star& fast = layers[0][0];
    c_star& slow = layers[2][0];
    fast.y.value = fast.y.prev_value = 0;
    slow.y.value = slow.y.prev_value = -5;
    credit_step(show);
    EXPECT_EQ(fast.y.value, -15) << "exactly at -15 is still on its way";
    EXPECT_EQ(slow.y.value, -10);
    credit_step(show);
    EXPECT_EQ(fast.y.value, 480 + 30);
    EXPECT_EQ(fast.y.prev_value, 480 + 30) << "a restart is not blended from the top";
    EXPECT_TRUE(fast.x.value >= 0 && fast.x.value < 640);
    EXPECT_EQ(slow.y.value, -15);
    credit_step(show);
    EXPECT_EQ(slow.y.value, 510);
    EXPECT_EQ(layers[1][0].y.value, layers[1][0].y.prev_value - 10);
}

TEST_F(credits_test, DrawingNeverOverflowsTheSpriteBatch) {
    c_credits show(one_entry(), 640, 480);
    c_image* image = gfx.get_default_image();
    // Another user has left sprites in the batch: the stars still fit in.
    vertex_ps other{1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0xFF00FF00};
    for (int i = 0; i < 150; ++i)
        image->add_pointsprite_tra(other, false);
    dev.clear_log();
    ip.drawing = true;
    EXPECT_NO_THROW(show.draw(&gfx, &font()));
    EXPECT_LE(image->count_ps(), c_image::ps_capacity);
    gfx.flush();
    ip.drawing = false;
    auto sprites = drawn_sprites();
    ASSERT_EQ(sprites.size(), 450u);
    int per_colour[3] = {0, 0, 0};
    for (const vertex_ps& v : sprites) {
        EXPECT_EQ(v.size, 1.0f);
        EXPECT_EQ(v.z, 0.0f);
        EXPECT_EQ(v.rhw, 1.0f);
        for (int l = 0; l < 3; ++l)
            per_colour[l] += v.colour == c_credits::layer_color[l];
    }
    EXPECT_EQ(per_colour[0], 100);
    EXPECT_EQ(per_colour[1], 100);
    EXPECT_EQ(per_colour[2], 100);
}

TEST_F(credits_test, TextIsDrawnInTheEntrysColourWithThePhasesAlpha) {
    c_credits show(one_entry(), 640, 480);
    for (int i = 0; i < 5; ++i)
        credit_step(show);
    dev.clear_log();
    ip.draw_time = ip.update_time;
    ip.drawing = true;
    show.draw(&gfx, &font());
    ip.drawing = false;
    auto colours = text_colours();
    ASSERT_FALSE(colours.empty());
    for (D3DCOLOR c : colours)
        EXPECT_EQ(c, 0x7F102030u); // alpha trunc(5 / 10 x 255) = 127, the entry's red, green, blue
}
