// Players and the player manager with stand-in units whose answers the tests choose: unit
// bookkeeping, turn order and skipping, select_next, the flag and the selection marker.
#include <algorithm>

#include "tests/game/player_fixture.h"

namespace {

class Turns : public player_test {};

TEST_F(Turns, PlayersWithoutReadyUnitsAreSkippedAndTheOrderWraps) {
    c_player* a = add("Brindlecap", 0xFFFF0000);
    c_player* b = add("Thistlewick", 0xFF7F7FFF);
    c_player* c = add("Wobbleforth", 0xFFFFFF00);
    stand_in* a1 = unit(a, 1, 1);
    stand_in* a2 = unit(a, 2, 1);
    stand_in* c1 = unit(c, 3, 3, 2);
    EXPECT_EQ(manager().get_num_alive(), 2);
    EXPECT_EQ(manager().get_current_player(), nullptr);

    manager().next_player();
    EXPECT_EQ(manager().get_current(), 0);
    EXPECT_EQ(a->get_num_ready(), 2);
    EXPECT_EQ(g_banner.text, "Brindlecap");
    EXPECT_EQ(g_banner.color, 0xFFFF0000u);

    // Thistlewick owns nothing: the turn goes straight on to Wobbleforth.
    manager().next_player();
    EXPECT_EQ(manager().get_current(), 2);
    EXPECT_EQ(g_banner.text, "Wobbleforth");
    EXPECT_EQ(g_banner.color, 0xFFFFFF00u);
    EXPECT_EQ(a->get_num_ready(), 0);
    EXPECT_EQ(a1->moves_left, 0);
    EXPECT_EQ(a2->moves_left, 0);
    EXPECT_EQ(c1->moves_left, 2);
    EXPECT_EQ(b->get_num_ready(), 0);

    manager().next_player();
    EXPECT_EQ(manager().get_current(), 0);
    EXPECT_EQ(c1->moves_left, 0);
    EXPECT_EQ(a1->moves_left, 1);
}

TEST_F(Turns, NothingHappensWithoutPlayersOrWithoutUnits) {
    manager().next_player();
    EXPECT_EQ(manager().get_current(), -1);
    add("Brindlecap", 0xFFFF0000);
    add("Thistlewick", 0xFF7F7FFF);
    manager().next_player();
    EXPECT_EQ(manager().get_current(), -1);
    EXPECT_EQ(manager().get_num_alive(), 0);
    EXPECT_TRUE(g_banner.text.empty());
}

TEST_F(Turns, ABattleInWhichNoUnitCanActPassesOneRoundAndStops) {
    c_player* a = add("Brindlecap", 0xFFFF0000);
    c_player* b = add("Thistlewick", 0xFF7F7FFF);
    unit(a, 1, 1, 0);
    unit(b, 2, 2, 0);
    manager().next_player(); // would recurse for ever if every skip passed the turn again
    EXPECT_GE(manager().get_current(), 0);
    EXPECT_EQ(manager().get_current_player()->get_num_ready(), 0);
    manager().next_player();
    EXPECT_GE(manager().get_current(), 0);
}

TEST_F(Turns, AliveCountFollowsTheFirstAndTheLastUnitOfAPlayer) {
    c_player* a = add("Brindlecap", 0xFFFF0000);
    c_player* b = add("Thistlewick", 0xFF7F7FFF);
    stand_in* a1 = unit(a, 1, 1);
    stand_in* a2 = unit(a, 2, 1);
    unit(b, 3, 1);
    EXPECT_EQ(manager().get_num_alive(), 2);
    EXPECT_EQ(a->get_num_units(), 2);
    manager().next_player();
    EXPECT_EQ(a->get_num_ready(), 2);

    a2->select();
    remove(a2);
    EXPECT_EQ(a->get_num_units(), 1);
    EXPECT_EQ(a->get_num_ready(), 1);
    EXPECT_EQ(a->get_selected(), nullptr);
    EXPECT_EQ(manager().get_num_alive(), 2);

    // A unit that is not ours changes nothing.
    b->remove_unit(a1);
    EXPECT_EQ(b->get_num_units(), 1);
    EXPECT_EQ(a->get_num_units(), 1);

    a1->moves_left = 0; // spent: it no longer counts as ready when it leaves
    a->unit_done();
    remove(a1);
    EXPECT_EQ(a->get_num_ready(), 0);
    EXPECT_EQ(manager().get_num_alive(), 1);
    a->unit_done(); // a late report cannot make the count negative
    EXPECT_EQ(a->get_num_ready(), 0);

    // A player added with units already counts as alive.
    c_humanplayer* late = new c_humanplayer(0xFF00FF00, "late", 0);
    stand_in* l1 = unit(late, 5, 5);
    manager().add_player(late);
    EXPECT_EQ(manager().get_num_alive(), 2);
    EXPECT_EQ(l1->get_owner(), late);
}

TEST_F(Turns, PlayerIndexBeyondTheLastRaises) {
    c_player* a = add("Brindlecap", 0xFFFF0000);
    EXPECT_EQ(manager().get_player_index(0), a);
    EXPECT_RAISES(manager().get_player_index(1), "Index too large.");
    EXPECT_RAISES(manager().get_player_index(-1), "Index too large.");
}

TEST_F(Turns, SelectNextWrapsAroundAndSkipsUnitsThatCannotAct) {
    c_player* a = add("Brindlecap", 0xFFFF0000);
    stand_in* spent = unit(a, 1, 1, 0);
    stand_in* u2 = unit(a, 20, 20);
    stand_in* u3 = unit(a, 3, 1);
    manager().next_player();
    EXPECT_EQ(a->get_num_ready(), 2);

    a->select_next();
    EXPECT_EQ(a->get_selected(), u2);
    // The view was brought to the unit far down the map.
    EXPECT_GT(scroll_iy, 0);
    a->select_next();
    EXPECT_EQ(a->get_selected(), u3);
    EXPECT_EQ(u2->count("deselect"), 1);
    a->select_next();
    EXPECT_EQ(a->get_selected(), u2);
    EXPECT_EQ(spent->count("select"), 0);

    // The only ready unit selects itself again.
    u3->moves_left = 0;
    a->select_next();
    EXPECT_EQ(a->get_selected(), u2);

    a->end_turn();
    EXPECT_EQ(a->get_selected(), nullptr);
    a->select_next();
    EXPECT_EQ(a->get_selected(), nullptr);
}

// ---- drawing

class Flag : public player_test {
  protected:
    // The quads of one draw_flag, in the order queued: flag, digit, health bar.
    struct drawn {
        std::vector<vertex_tra> flag, digit, bar;
    };
    drawn draw(int x, int y, D3DCOLOR color, int number, float fraction, bool half) {
        gfx.depth = 0.0f;
        dev.clear_log();
        manager().draw_flag(x, y, color, number, fraction, half);
        gfx.flush();
        drawn out;
        for (const draw_record& d : dev.draws()) {
            auto v = d.as<vertex_tra>();
            if (d.texture == font().get_texture())
                out.digit.insert(out.digit.end(), v.begin(), v.end());
            else if (d.texture == nullptr)
                out.bar.insert(out.bar.end(), v.begin(), v.end());
            else
                out.flag.insert(out.flag.end(), v.begin(), v.end());
        }
        return out;
    }
    static std::array<float, 4> bounds(const std::vector<vertex_tra>& v) {
        std::array<float, 4> b{1e9f, 1e9f, -1e9f, -1e9f};
        for (const vertex_tra& p : v)
            b = {std::min(b[0], p.x), std::min(b[1], p.y), std::max(b[2], p.x), std::max(b[3], p.y)};
        return b;
    }
    // The character a glyph quad shows, from its texture coordinates.
    int glyph_of(const std::vector<vertex_tra>& v) {
        float u = 1e9f, t = 1e9f;
        for (const vertex_tra& p : v) {
            u = std::min(u, p.u);
            t = std::min(t, p.v);
        }
        for (int c = 0; c < 256; ++c) {
            const RECT& g = font().get_glyph(static_cast<unsigned char>(c));
            if (g.left == static_cast<LONG>(u * 512.0f + 0.5f) &&
                g.top == static_cast<LONG>(t * 256.0f + 0.5f))
                return c;
        }
        return -1;
    }
};

TEST_F(Flag, PennantDigitAndHealthBarPlacedOnThePoint) {
    const drawn d = draw(100, 50, 0xFFFF0000, 3, 1.0f, false);
    EXPECT_EQ(bounds(d.flag), (std::array<float, 4>{100, 50, 116, 82}));
    EXPECT_EQ(d.flag[0].colour, 0xFFFF0000u);
    ASSERT_FALSE(d.digit.empty());
    EXPECT_EQ(glyph_of(d.digit), '3');
    // 0.9 of a 9-pixel glyph is 8 wide, 0.9 of the 14-pixel font 12 high, centred on x + 8.
    EXPECT_EQ(bounds(d.digit), (std::array<float, 4>{104, 53, 112, 65}));
    EXPECT_EQ(bounds(d.bar), (std::array<float, 4>{101, 51, 115, 53}));
    // Each quad lies in front of the one before: depth 0.2 minus the growing counter.
    EXPECT_GT(d.flag[0].z, d.digit[0].z);
    EXPECT_GT(d.digit[0].z, d.bar[0].z);
    EXPECT_FLOAT_EQ(d.flag[0].z, 0.2f);
}

TEST_F(Flag, TenOrMoreShowsAnExclamationMark) {
    EXPECT_EQ(glyph_of(draw(0, 0, 0xFFFF0000, 9, 1.0f, false).digit), '9');
    EXPECT_EQ(glyph_of(draw(0, 0, 0xFFFF0000, 10, 1.0f, false).digit), '!');
    EXPECT_EQ(glyph_of(draw(0, 0, 0xFFFF0000, 123, 1.0f, false).digit), '!');
}

TEST_F(Flag, DigitsAreDarkOnLightFlagsAndTheHalfTransparentFlagKeepsItsHue) {
    EXPECT_EQ(draw(0, 0, 0xFFFFFF00, 1, 1.0f, false).digit[0].colour, 0xFF646464u); // yellow
    EXPECT_EQ(draw(0, 0, 0xFFFF0000, 1, 1.0f, false).digit[0].colour, 0xFFFFFFFFu); // red
    EXPECT_EQ(draw(0, 0, 0xFFC9C9FF, 1, 1.0f, false).digit[0].colour, 0xFF646464u);
    EXPECT_EQ(draw(0, 0, 0xFFC8FFFF, 1, 1.0f, false).digit[0].colour, 0xFFFFFFFFu); // red 200 is not above
    const drawn half = draw(0, 0, 0xFF7F7FFF, 1, 1.0f, true);
    EXPECT_EQ(half.flag[0].colour, 0x7F7F7FFFu);
    EXPECT_EQ(half.digit[0].colour, 0xFFFFFFFFu);
}

TEST_F(Flag, HealthBarIsGreenWhenFullYellowFromHalfRedBelow) {
    struct c {
        float fraction;
        D3DCOLOR colour;
        float right;
    };
    for (const c& k : {c{1.0f, 0xFF00FF00, 15}, c{0.99f, 0xFFFFFF00, 14}, c{0.5f, 0xFFFFFF00, 8},
                       c{0.49f, 0xFFFF0000, 7}, c{0.05f, 0xFFFF0000, 1}}) {
        const drawn d = draw(0, 0, 0xFFFF0000, 1, k.fraction, false);
        if (k.right > 1) {
            ASSERT_FALSE(d.bar.empty()) << k.fraction;
            EXPECT_EQ(d.bar[0].colour, k.colour) << k.fraction;
            EXPECT_EQ(bounds(d.bar)[2], k.right) << k.fraction;
        }
    }
    // Past full health the bar still ends at the pennant's edge.
    EXPECT_EQ(bounds(draw(0, 0, 0xFFFF0000, 1, 3.0f, false).bar)[2], 15.0f);
}

TEST_F(Flag, SelectionMarkerCoversTheUnitShiftedByTheView) {
    c_player* a = add("Brindlecap", 0xFFFF0000);
    stand_in* u = unit(a, 2, 2);
    scroll_x = 10;
    scroll_y = 20;
    truncate_scroll();
    gfx.depth = 0.0f;
    dev.clear_log();
    a->draw_selection();
    gfx.flush();
    EXPECT_TRUE(dev.draws().empty()) << "nothing selected, nothing drawn";
    u->select();
    a->draw_selection();
    gfx.flush();
    ASSERT_EQ(dev.draws().size(), 1u);
    // A square whole picture goes out as one point sprite centred on the rectangle.
    ASSERT_EQ(dev.draws()[0].fvf, FVF_PS);
    const auto v = dev.draws()[0].as<vertex_ps>();
    ASSERT_EQ(v.size(), 1u);
    const RECT r = u->get_rect();
    EXPECT_EQ(v[0].colour, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(v[0].z, 0.5f);
    EXPECT_FLOAT_EQ(v[0].size, 64.0f);
    const float left = v[0].x - 32.0f, top = v[0].y - 32.0f;
    EXPECT_EQ(left, static_cast<float>(r.left - 10));
    EXPECT_EQ(top, static_cast<float>(r.top - 20));
}

} // namespace
