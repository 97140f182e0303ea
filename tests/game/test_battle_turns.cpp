// The battle screen's turn rules on players with stand-in units: passing a turn nobody can use,
// the end-turn button's condition, the victory banner that stays, and battles in which no turn
// ever started.
#include "game/battle/battle_turns.h"
#include "tests/game/player_fixture.h"

namespace {

class BattleTurns : public player_test {
  protected:
    BattleTurns() {
        write_file(dir.file("stringtable.ini"), "[gameplay]\nvictory=Victory!\n");
        cwd_guard cwd(dir.path());
        g_stringtable = new c_ini("stringtable.ini");
    }
    ~BattleTurns() override {
        delete g_stringtable;
        g_stringtable = nullptr;
    }
};

TEST_F(BattleTurns, NoBattleOrNoCurrentPlayerIsSafe) {
    EXPECT_EQ(current_player(), nullptr);
    EXPECT_EQ(current_ready_count(), 0);
    gameplay_turn_step();
    EXPECT_FALSE(gameplay_end_turn());

    // Players but no unit: the turn never starts, no banner, nothing to end.
    add("red", 0xFFFF0000);
    add("blue", 0xFF0000FF);
    manager().next_player();
    for (int i = 0; i < 5; ++i)
        gameplay_turn_step();
    EXPECT_EQ(current_player(), nullptr);
    EXPECT_EQ(current_ready_count(), 0);
    EXPECT_FALSE(gameplay_end_turn());
    EXPECT_TRUE(g_banner.text.empty());
}

TEST_F(BattleTurns, ATurnWithoutReadyUnitsPassesAndTheFirstTurnStartsOnceSomebodyHasOne) {
    c_player* red = add("red", 0xFFFF0000);
    c_player* blue = add("blue", 0xFF0000FF);
    manager().next_player();
    ASSERT_EQ(current_player(), nullptr);
    // A unit joins a battle whose turn never started: the next step starts it.
    unit(red, 2, 2);
    unit(blue, 5, 5);
    gameplay_turn_step();
    EXPECT_EQ(current_player(), red);
    EXPECT_EQ(current_ready_count(), 1);
    EXPECT_EQ(g_banner.text, "red");
    red->unit_done();
    gameplay_turn_step();
    EXPECT_EQ(current_player(), blue);
    EXPECT_EQ(current_ready_count(), 1);
    gameplay_turn_step(); // blue is ready: the turn stays
    EXPECT_EQ(current_player(), blue);
}

TEST_F(BattleTurns, EndTurnOnlyWithoutSelectionOrWithAReadySelectedUnit) {
    c_player* red = add("red", 0xFFFF0000);
    c_player* blue = add("blue", 0xFF0000FF);
    stand_in* r = unit(red, 2, 2);
    unit(blue, 5, 5);
    manager().next_player();
    ASSERT_EQ(current_player(), red);

    r->select();
    r->state = 1; // acting: not ready
    EXPECT_FALSE(gameplay_end_turn());
    EXPECT_EQ(current_player(), red);
    r->state = 0; // ready again
    EXPECT_TRUE(gameplay_end_turn());
    EXPECT_EQ(current_player(), blue);
    EXPECT_EQ(g_banner.text, "blue");
    EXPECT_TRUE(gameplay_end_turn()); // nothing selected
    EXPECT_EQ(current_player(), red);
}

TEST_F(BattleTurns, TheVictoryBannerStaysInTheSurvivorsColour) {
    c_player* red = add("red", 0xFFFF0000);
    c_player* blue = add("blue", 0xFF0000FF);
    unit(red, 2, 2);
    stand_in* b = unit(blue, 5, 5);
    manager().next_player();
    gameplay_turn_step();
    EXPECT_EQ(g_banner.text, "red"); // two players left: no victory
    remove(b);
    ASSERT_EQ(manager().get_num_alive(), 1);
    for (int i = 0; i < 100; ++i) {
        step();
        update_banner();
        gameplay_turn_step();
    }
    EXPECT_EQ(g_banner.text, "Victory!");
    EXPECT_EQ(g_banner.color, 0xFFFF0000u);
    EXPECT_GE(g_banner.fade.value, 1200);
}

TEST_F(BattleTurns, VictoryWhenTheCurrentPlayerHasJustLostItsLastUnitNamesTheSurvivor) {
    c_player* red = add("red", 0xFFFF0000);
    c_player* blue = add("blue", 0xFF0000FF);
    stand_in* r = unit(red, 2, 2);
    unit(blue, 5, 5, 0); // cannot act this turn, but is still in play
    manager().next_player();
    ASSERT_EQ(current_player(), red);
    remove(r);
    gameplay_turn_step();
    EXPECT_EQ(g_banner.text, "Victory!");
    EXPECT_EQ(g_banner.color, 0xFF0000FFu);
}

} // namespace
