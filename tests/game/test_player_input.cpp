// The human player's orders with stand-in units: selection by click, the cursor for each
// classification and direction, keypad orders, X and Ctrl + X, and nothing while a unit acts.
#include "platform/dinput.h"
#include "tests/game/player_fixture.h"

namespace {

class Input : public player_test {
  protected:
    Input() {
        me = add("Brindlecap", 0xFFFF0000);
        enemy = add("Thistlewick", 0xFF7F7FFF);
        a = unit(me, 2, 2, 2); // an even row: its diagonal neighbours are columns 2 and 3
        b = unit(me, 5, 5, 1);
        e = unit(enemy, 3, 2, 1);
        manager().next_player();
    }
    c_tile* at(int col, int row) { return g_map->get_tile(col, row); }
    void frame(c_tile* tile, bool clicked = false, int ax = 0, int ay = 0) {
        g_cursor_choice = 0;
        me->handle_input(tile, clicked, ax, ay);
    }
    void select_a() {
        frame(at(2, 2), true);
        ASSERT_EQ(me->get_selected(), a);
    }

    c_humanplayer* me;
    c_humanplayer* enemy;
    stand_in *a, *b, *e;
};

TEST_F(Input, ClicksSelectOurReadyUnitsAndAClickOnTheSelectedOneShowsItsMoves) {
    frame(at(2, 2));
    EXPECT_EQ(g_cursor_choice, 10);
    EXPECT_EQ(me->get_selected(), nullptr) << "hovering selects nothing";
    frame(at(2, 2), true);
    EXPECT_EQ(me->get_selected(), a);
    EXPECT_EQ(a->count("select"), 1);

    frame(at(2, 2));
    EXPECT_EQ(g_cursor_choice, 0) << "no select cursor over the selected unit";
    frame(at(2, 2), true);
    EXPECT_EQ(a->count("show_moves"), 1);
    EXPECT_EQ(me->get_selected(), a);

    frame(at(5, 5), true);
    EXPECT_EQ(me->get_selected(), b);
    EXPECT_EQ(a->count("deselect"), 1);

    // Spent units and enemies are not selected: the selected unit classifies their tiles.
    b->answer = CLASS_NOTHING;
    a->moves_left = 0;
    frame(at(2, 2), true);
    frame(at(3, 2), true);
    EXPECT_EQ(a->count("select"), 1);
    EXPECT_EQ(e->count("select"), 0);
}

TEST_F(Input, TheCursorFollowsTheClassificationAndTheDirectionOfTheNeighbour) {
    select_a();
    struct k {
        int answer, col, row, cursor;
    };
    const k cases[] = {
        {CLASS_MOVE, 2, 1, 11},   {CLASS_MOVE, 3, 1, 12},   {CLASS_MOVE, 1, 2, 13},
        {CLASS_MOVE, 3, 3, 16},   {CLASS_ATTACK, 2, 1, 18}, {CLASS_ATTACK, 3, 2, 21},
        {CLASS_ATTACK, 2, 3, 22}, {CLASS_NOMOVE, 1, 2, 17}, {CLASS_OUT_OF_RANGE, 9, 9, 25},
        {CLASS_NOTHING, 9, 9, 0},
    };
    for (const k& c : cases) {
        a->answer = c.answer;
        frame(at(c.col, c.row));
        EXPECT_EQ(g_cursor_choice, c.cursor) << c.answer << " at " << c.col << "," << c.row;
    }
    EXPECT_EQ(a->count("act"), 0) << "hovering orders nothing";

    // A target is aimed at every frame the mouse is over it, with the offset inside the tile.
    a->answer = CLASS_TARGET;
    frame(at(10, 10), false, 5, 7);
    EXPECT_EQ(g_cursor_choice, 24);
    EXPECT_EQ(a->log.back(), "aim 10,10 5,7");
    frame(at(10, 10), true, 6, 8);
    EXPECT_EQ(a->log.back(), "act 10,10 6,8");
}

TEST_F(Input, AClickCarriesTheOrderOutAndAClickOnNothingDeselects) {
    select_a();
    a->answer = CLASS_MOVE;
    frame(at(3, 2), true, 1, 2);
    EXPECT_EQ(a->log.back(), "act 3,2 1,2");
    a->answer = CLASS_NOMOVE;
    frame(at(1, 2), true);
    EXPECT_EQ(a->log.back(), "act 1,2 0,0") << "the unit itself refuses what it cannot do";

    a->answer = CLASS_NOTHING;
    frame(at(20, 20), true);
    EXPECT_EQ(me->get_selected(), nullptr);
    EXPECT_EQ(a->count("deselect"), 1);

    select_a();
    frame(nullptr);
    EXPECT_EQ(me->get_selected(), a) << "leaving the map deselects nothing";
    frame(nullptr, true);
    EXPECT_EQ(me->get_selected(), nullptr) << "a click off the map does";
}

TEST_F(Input, KeypadOrdersTheSixNeighboursFirstKeyOnly) {
    frame(at(20, 20));
    press(DIK_NUMPAD7);
    frame(nullptr);
    EXPECT_EQ(a->count("act"), 0) << "keys need a selected unit";
    release_keys();

    select_a();
    const std::pair<int, std::string> keys[] = {{DIK_NUMPAD7, "act 2,1"}, {DIK_NUMPAD9, "act 3,1"},
                                                {DIK_NUMPAD4, "act 1,2"}, {DIK_NUMPAD6, "act 3,2"},
                                                {DIK_NUMPAD1, "act 2,3"}, {DIK_NUMPAD3, "act 3,3"}};
    for (const auto& [key, order] : keys) {
        release_keys();
        press(key);
        frame(nullptr, false, 4, 9);
        EXPECT_EQ(a->log.back(), order + " 4,9");
    }
    release_keys();
    press(DIK_NUMPAD3);
    press(DIK_NUMPAD7);
    const int acts = a->count("act");
    frame(nullptr);
    EXPECT_EQ(a->count("act"), acts + 1);
    EXPECT_EQ(a->log.back(), "act 2,1 0,0");

    release_keys();
    press(DIK_NUMPAD5);
    frame(nullptr);
    EXPECT_EQ(a->log.back(), "show_moves");
}

// There is nothing off the map to act on: no order is given (and none written to a record).
TEST_F(Input, KeypadTowardTheMapEdgeGivesNoOrder) {
    stand_in* corner = unit(me, 0, 0, 1);
    manager().next_player();
    manager().next_player(); // round to us again, with the new unit ready
    frame(at(0, 0), true);
    ASSERT_EQ(me->get_selected(), corner);
    press(DIK_NUMPAD7);
    frame(nullptr);
    EXPECT_EQ(corner->count("act"), 0);
    EXPECT_EQ(corner->log.back(), "select");
}

TEST_F(Input, XDestroysTheSelectedUnitOnceAndCtrlXEveryUnitOfOurs) {
    unit_manager();
    select_a();
    press(DIK_X);
    frame(nullptr);
    frame(nullptr); // still held
    EXPECT_EQ(a->count("die"), 1);
    EXPECT_EQ(me->get_selected(), nullptr);
    EXPECT_EQ(b->count("die"), 0);

    press(DIK_RCONTROL);
    frame(nullptr);
    frame(nullptr);
    EXPECT_EQ(a->count("die"), 1) << "queued units are not killed again";
    EXPECT_EQ(b->count("die"), 1);
    EXPECT_EQ(e->count("die"), 0);
}

TEST_F(Input, NoOrdersWhileAUnitIsInActionButCtrlXStillWorks) {
    select_a();
    unit_manager().add_busy(e);
    a->answer = CLASS_MOVE;
    press(DIK_NUMPAD6);
    frame(at(3, 2), true);
    EXPECT_EQ(a->count("act"), 0);
    EXPECT_EQ(g_cursor_choice, 0);
    frame(at(5, 5), true);
    EXPECT_EQ(me->get_selected(), a);
    frame(nullptr, true);
    EXPECT_EQ(me->get_selected(), a);

    release_keys();
    press(DIK_LCONTROL);
    press(DIK_X);
    frame(nullptr);
    EXPECT_EQ(a->count("die"), 1);
    EXPECT_EQ(b->count("die"), 1);
    EXPECT_EQ(e->count("die"), 0);
}

} // namespace
