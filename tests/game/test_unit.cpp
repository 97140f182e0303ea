// Units: hex distance, classification, moving, the melee strike sequence, damage and blocks,
// the unit manager's lists, result texts, drawing, and unit types read from bad data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "game/battle/unit_internal.h"
#include "tests/game/battle_fixture.h"
#include "tests/game/unit_fixture.h"

namespace {

// Hex distance by cube coordinates for this layout (even rows shifted right).
int cube_distance(int c1, int r1, int c2, int r2) {
    const int q1 = c1 - (r1 + (r1 & 1)) / 2, q2 = c2 - (r2 + (r2 & 1)) / 2;
    const int dq = q2 - q1, dr = r2 - r1;
    return (std::abs(dq) + std::abs(dr) + std::abs(dq + dr)) / 2;
}

const std::string two_melee = melee_section("unit_0") + melee_section("unit_1");

} // namespace

// ---- hex distance

TEST_F(unit_test, RangeIsOneToEachNeighbourAndZeroToItself) {
    make_battle(8, 8, 2, two_melee);
    for (int row : {2, 3}) {
        c_tile* at = tile(3, row);
        EXPECT_EQ(calc_range(at, at), 0);
        for (c_tile* n : neighbours_of(3, row))
            EXPECT_EQ(calc_range(at, n), 1) << "from row " << row << " to " << n->col << "," << n->row;
    }
}

TEST_F(unit_test, TwoRowsApartAtTheSameXIsTwoStepsEvenOnTheLeftEdge) {
    make_battle(8, 8, 2, two_melee);
    EXPECT_EQ(calc_range(tile(2, 3), tile(2, 1)), 2); // north-west, then north-east
    EXPECT_EQ(calc_range(tile(2, 1), tile(2, 3)), 2);
    // Column 0 of an odd row has no north-west neighbour: the walk goes north-east instead.
    ASSERT_EQ(g_map->get_neighbour_nw(0, 3), nullptr);
    EXPECT_EQ(calc_range(tile(0, 3), tile(0, 1)), 2);
    EXPECT_EQ(calc_range(tile(0, 1), tile(0, 3)), 2);
}

TEST_F(unit_test, RangeIsTheHexDistanceBetweenEveryPairOfTiles) {
    make_battle(9, 9, 2, two_melee);
    for (int r1 = 0; r1 < 9; ++r1)
        for (int c1 = 0; c1 < 9; ++c1)
            for (int r2 = 0; r2 < 9; ++r2)
                for (int c2 = 0; c2 < 9; ++c2)
                    ASSERT_EQ(calc_range(tile(c1, r1), tile(c2, r2)), cube_distance(c1, r1, c2, r2))
                        << c1 << "," << r1 << " -> " << c2 << "," << r2;
}

// ---- classification

TEST_F(unit_test, ClassifyRawRefusesCornersAndWaterAndOwnUnitsAndAllies) {
    make_battle(8, 8, 2, two_melee, {0, 1, 1});
    c_unit* u = place(0, 1, 3, 3); // odd row: nw (2, 2), ne (3, 2), w (2, 3), e (4, 3), sw (2, 4)
    place(1, 1, 3, 2);             // its own unit
    place(1, 2, 2, 2);             // an ally: player 2 is on team 1 too
    place(1, 0, 2, 3);             // player 0 has no team: an enemy
    flood(4, 3);
    EXPECT_EQ(u->classify_raw(nullptr), CLASS_NOMOVE);
    EXPECT_EQ(u->classify_raw(tile(3, 2)), CLASS_NOMOVE);
    EXPECT_EQ(u->classify_raw(tile(2, 2)), CLASS_NOMOVE);
    EXPECT_EQ(u->classify_raw(tile(2, 3)), CLASS_ATTACK);
    EXPECT_EQ(u->classify_raw(tile(4, 3)), CLASS_NOMOVE);
    EXPECT_EQ(u->classify_raw(tile(2, 4)), CLASS_MOVE);
    // The two left columns of the bottom four rows are never entered, whatever their type.
    c_unit* low = place(0, 1, 2, 5);
    ASSERT_TRUE(tile(1, 5)->corner);
    EXPECT_EQ(low->classify_raw(tile(1, 5)), CLASS_NOMOVE);
    EXPECT_EQ(low->classify(tile(1, 5)), CLASS_NOMOVE);
}

TEST_F(unit_test, TeamZeroPlayersAreNotAllies) {
    make_battle(8, 8, 2, two_melee);
    c_unit* a = place(0, 0, 3, 3);
    place(0, 1, 4, 3);
    EXPECT_EQ(a->classify_raw(tile(4, 3)), CLASS_ATTACK);
}

TEST_F(unit_test, AUnitWithoutMoveattackThatHasMovedCannotAttack) {
    make_battle(8, 8, 2, melee_section("unit_0", "moveattack=false\n") + melee_section("unit_1"));
    c_unit* slow = place(0, 0, 2, 2);
    c_unit* rider = place(1, 0, 2, 4);
    place(0, 1, 4, 3);
    EXPECT_EQ(slow->classify_raw(tile(4, 3)), CLASS_ATTACK);
    slow->moves_left = 1; // it has moved once this turn
    EXPECT_EQ(slow->classify_raw(tile(4, 3)), CLASS_NOTHING);
    EXPECT_EQ(slow->classify_raw(tile(5, 5)), CLASS_MOVE); // moving on is still allowed
    rider->moves_left = 1;
    EXPECT_EQ(rider->classify_raw(tile(4, 3)), CLASS_ATTACK);
}

TEST_F(unit_test, ClassifyOnlyLooksAtTheSixNeighbours) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 3, 3);
    place(0, 1, 5, 3);
    EXPECT_EQ(u->classify(tile(4, 3)), CLASS_MOVE);
    EXPECT_EQ(u->classify(tile(5, 3)), CLASS_NOTHING); // an enemy two steps away
    EXPECT_EQ(u->classify(tile(3, 3)), CLASS_NOTHING); // its own tile
    EXPECT_EQ(u->classify(nullptr), CLASS_NOTHING);
}

// ---- moving

TEST_F(unit_test, MovingOneTileTakesEightUpdatesAlongARowAndDiagonally) {
    make_battle(8, 8, 2, two_melee);
    for (c_tile* goal : {tile(3, 2), tile(3, 3)}) { // east, then south-east of (2, 2)
        c_unit* u = place(0, 0, 2, 2);
        u->act(goal, 0, 0);
        EXPECT_EQ(u->tile, goal);
        EXPECT_EQ(goal->unit, u);
        EXPECT_EQ(tile(2, 2)->unit, nullptr);
        EXPECT_EQ(u->state, STATE_MOVING);
        ASSERT_EQ(g_unitmanager->get_busy().size(), 1u);
        int updates = 0;
        while (u->state == STATE_MOVING && updates < 100) {
            update();
            ++updates;
        }
        EXPECT_EQ(updates, 8);
        EXPECT_TRUE(same(u->get_rect(), u->get_tile_rect()));
        EXPECT_EQ(u->moves_left, 1);
        EXPECT_TRUE(g_unitmanager->is_busy()); // it leaves the busy list on its next update
        update();
        EXPECT_FALSE(g_unitmanager->is_busy());
        EXPECT_TRUE(g_unitmanager->get_done().empty());
        g_unitmanager->queue_dead(u);
        g_unitmanager->update();
    }
}

TEST_F(unit_test, TheLastMoveEndsTheUnitsTurnAndDeselectsIt) {
    make_battle(8, 8, 2, melee_section("unit_0", "movement=1\n") + melee_section("unit_1"));
    c_unit* u = place(0, 0, 2, 2);
    place(0, 0, 5, 5);
    u->select();
    ASSERT_EQ(player(0)->get_selected(), u);
    const int ready = player(0)->get_num_ready();
    u->act(tile(3, 2), 0, 0);
    run();
    EXPECT_EQ(u->moves_left, 0);
    EXPECT_FALSE(u->can_act());
    EXPECT_EQ(player(0)->get_selected(), nullptr);
    EXPECT_EQ(player(0)->get_num_ready(), ready - 1);
}

TEST_F(unit_test, MovementMarksTheMinimapAndKeepsTheUnitInView) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 2, 2);
    g_minimap_dirty.clear();
    u->act(tile(3, 2), 0, 0);
    update();
    EXPECT_GE(g_minimap_dirty.size(), 2u); // where it was and where it is
    EXPECT_EQ(u->get_rect().left, u->get_tile_rect().left - 64 + 8);
}

TEST_F(unit_test, AnOrderWithoutATileDoesNothingAndOtherOrdersOnlyPassThroughBusy) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 2, 2);
    u->act(nullptr, 0, 0);
    EXPECT_FALSE(g_unitmanager->is_busy());
    u->act(tile(5, 5), 0, 0); // not a neighbour
    EXPECT_EQ(u->state, STATE_IDLE);
    EXPECT_TRUE(g_unitmanager->is_busy());
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(u->moves_left, 2);
}

TEST_F(unit_test, StandStillSpeedsFromMissingDataStillArrive) {
    make_battle(8, 8, 2, two_melee);
    g_unit_settings.speed_x1 = g_unit_settings.speed_x2 = g_unit_settings.speed_y = 0;
    c_unit* u = place(0, 0, 2, 2);
    u->act(tile(3, 3), 0, 0);
    update();
    EXPECT_EQ(u->state, STATE_IDLE);
    EXPECT_TRUE(same(u->get_rect(), u->get_tile_rect()));
}

// ---- the strike sequence

class strike_test : public unit_test {
  protected:
    void SetUp() override {
        make_battle(8, 8, 2, melee_section("unit_0") + melee_section("unit_1", "combat=3\n"));
        attacker_type = script<c_unittype>("unit_0");
        defender_type = script<c_unittype>("unit_1");
        attacker = place(attacker_type, 0, 2, 2);
        defender = place(defender_type, 1, 3, 2);
    }
    // Runs the attack, noting the update in which each text appeared.
    std::vector<int> attack() {
        attacker->act(defender->tile, 0, 0);
        std::vector<int> at;
        for (int n = 1; g_unitmanager->is_busy() && n < 500; ++n) {
            size_t before = g_overlays.size();
            update();
            if (g_overlays.size() > before) at.push_back(n);
        }
        return at;
    }
    scripted<c_unittype>* attacker_type = nullptr;
    scripted<c_unittype>* defender_type = nullptr;
    c_unit* attacker = nullptr;
    c_unit* defender = nullptr;
};

TEST_F(strike_test, LungeStrikePauseTenUpdatesLungeStrikeThenTheTurnIsOver) {
    attacker->select();
    attacker->act(defender->tile, 0, 0);
    EXPECT_EQ(attacker->state, STATE_STRIKING);
    EXPECT_EQ(attacker->strikes_left, 2);
    EXPECT_EQ(defender->blocks_left, 3);
    // Halfway to the target at 8 pixels a step: 4 updates out.
    const RECT home = attacker->get_tile_rect();
    const RECT lunge{home.left + 32, home.top, home.right + 32, home.bottom};
    for (int i = 1; i <= 3; ++i) {
        update();
        EXPECT_EQ(attacker->get_rect().left, home.left + 8 * i);
        EXPECT_TRUE(g_overlays.empty());
    }
    update();
    ASSERT_EQ(texts(), std::vector<std::string>{"Hit!"});
    auto* shown = dynamic_cast<c_resulttext*>(g_overlays[0]);
    EXPECT_EQ(shown->left.value, float(lunge.left)); // over the attacker at the lunge point
    EXPECT_EQ(shown->colour, 0xFF000001u);
    EXPECT_TRUE(same(attacker->get_rect(), home)); // snapped back
    EXPECT_EQ(defender->hp, 7);
    // Ten updates standing, four lunging: the second strike.
    for (int i = 0; i < 10; ++i) {
        update();
        EXPECT_TRUE(same(attacker->get_rect(), home)) << i;
    }
    for (int i = 0; i < 3; ++i)
        update();
    EXPECT_EQ(g_overlays.size(), 1u);
    update();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Hit!", "Hit!"}));
    EXPECT_EQ(defender->hp, 4);
    EXPECT_EQ(attacker->state, STATE_IDLE);
    EXPECT_EQ(attacker->moves_left, 0);
    EXPECT_EQ(player(0)->get_selected(), nullptr);
    EXPECT_EQ(run(), 1);
}

TEST_F(strike_test, DiagonalLungesAlsoTakeFourUpdates) {
    g_unitmanager->queue_dead(defender);
    g_unitmanager->update();
    defender = place(defender_type, 1, 3, 3); // south-east of (2, 2)
    EXPECT_EQ(attack(), (std::vector<int>{4, 18}));
}

TEST_F(strike_test, AKillEndsTheAttackAndTheAttackersTurn) {
    defender->hp = 3;
    std::vector<int> at = attack();
    EXPECT_EQ(at, std::vector<int>{4});
    EXPECT_EQ(texts(), std::vector<std::string>{"Slain!"});
    EXPECT_EQ(attacker_type->hit_rolls, 1);
    EXPECT_EQ(tile(3, 2)->unit, nullptr);
    EXPECT_EQ(player(1)->get_num_units(), 0);
    EXPECT_EQ(g_unitmanager->get_all().size(), 1u);
    EXPECT_EQ(attacker->moves_left, 0);
    EXPECT_FALSE(g_effects.empty()); // death burst, shattered picture, the flag
}

TEST_F(strike_test, MissesEndTheTurnToo) {
    attacker_type->hits = {false, false};
    attack();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Miss", "Miss"}));
    EXPECT_EQ(defender_type->block_rolls, 0); // a miss gives the defender nothing to block
    EXPECT_EQ(defender->hp, 10);
    EXPECT_EQ(attacker->moves_left, 0);
}

TEST_F(strike_test, ABlockOnTheThirdRollLeavesNoBlocksForTheOtherHits) {
    g_unitmanager->queue_dead(attacker);
    g_unitmanager->update();
    attacker = place(defender_type, 0, 2, 2); // combat 3 against combat 3
    defender_type->blocks = {false, false, true, true, true, true};
    attack();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Blocked", "Hit!", "Hit!"}));
    EXPECT_EQ(defender_type->block_rolls, 3);
    EXPECT_EQ(defender->blocks_left, 0);
}

TEST_F(strike_test, BlocksAreSpreadOverTheStrikes) {
    defender_type->blocks = {true, false, true};
    attack();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Blocked", "Blocked"}));
    EXPECT_EQ(defender->blocks_left, 0);
    EXPECT_EQ(defender->hp, 10);
}

TEST_F(strike_test, ZeroDamageUnblockedIsAHitWithoutBleeding) {
    attacker_type->damage = 0;
    attacker_type->combat = 1;
    attack();
    EXPECT_EQ(texts(), std::vector<std::string>{"Hit!"});
    EXPECT_EQ(defender->hp, 10);
    EXPECT_TRUE(g_effects.empty());
    // One point of damage bleeds once (two particles of this data).
    defender->take_damage(1, false);
    EXPECT_EQ(g_effects.size(), 2u);
}

TEST_F(strike_test, UnblockableDamageNeverRollsBlocksAndKeepsThem) {
    defender->blocks_left = 3;
    defender_type->blocks = {true, true, true};
    EXPECT_EQ(defender->take_damage(4, false), DAMAGE_HIT);
    EXPECT_EQ(defender_type->block_rolls, 0);
    EXPECT_EQ(defender->blocks_left, 3);
    EXPECT_EQ(defender->hp, 6);
    EXPECT_EQ(defender->take_damage(6, false), DAMAGE_KILLED);
    EXPECT_EQ(g_unitmanager->get_dead().size(), 1u);
    // Struck again before the end of the step: dead once, no second burst.
    const size_t effects = g_effects.size();
    EXPECT_EQ(defender->take_damage(6, true), DAMAGE_KILLED);
    EXPECT_EQ(g_effects.size(), effects);
}

TEST_F(strike_test, ATargetThatLeavesPlayMidAttackEndsTheAttack) {
    attacker->act(defender->tile, 0, 0);
    update();
    defender->die(); // its player gives up (Ctrl + X) while it is being attacked
    update();
    EXPECT_EQ(attacker->target, nullptr);
    update();
    EXPECT_EQ(attacker->state, STATE_IDLE);
    EXPECT_EQ(attacker->moves_left, 0);
    EXPECT_TRUE(same(attacker->get_rect(), attacker->get_tile_rect()));
    EXPECT_EQ(run(), 1);
}

TEST_F(strike_test, AnAttackerThatDiesMidAttackLeavesEveryList) {
    attacker->act(defender->tile, 0, 0);
    update();
    attacker->die();
    update();
    EXPECT_FALSE(g_unitmanager->is_busy());
    EXPECT_EQ(g_unitmanager->get_all().size(), 1u);
    EXPECT_EQ(tile(2, 2)->unit, nullptr);
}

// ---- the unit manager's lists

TEST_F(unit_test, EachListHoldsAUnitAtMostOnce) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 2, 2);
    g_unitmanager->add_busy(u);
    g_unitmanager->add_busy(u);
    g_unitmanager->queue_dead(u);
    g_unitmanager->queue_dead(u);
    g_unitmanager->finish_busy(u);
    g_unitmanager->finish_busy(u);
    g_unitmanager->add_unit(u);
    EXPECT_EQ(g_unitmanager->get_busy().size(), 1u);
    EXPECT_EQ(g_unitmanager->get_dead().size(), 1u);
    EXPECT_EQ(g_unitmanager->get_done().size(), 1u);
    EXPECT_EQ(g_unitmanager->get_all().size(), 1u);
    g_unitmanager->update();
    EXPECT_TRUE(g_unitmanager->get_all().empty());
    EXPECT_TRUE(g_unitmanager->get_busy().empty());
    EXPECT_TRUE(g_unitmanager->get_done().empty());
    EXPECT_TRUE(g_unitmanager->get_dead().empty());
    EXPECT_EQ(player(0)->get_num_units(), 0);
    EXPECT_EQ(g_playermanager->get_num_alive(), 0);
}

TEST_F(unit_test, TurnsRefillAndSpendMoves) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 2, 2);
    u->end_turn();
    EXPECT_FALSE(u->can_act());
    EXPECT_TRUE(u->start_turn());
    EXPECT_EQ(u->moves_left, 2);
    u->set_moves_left(1);
    EXPECT_TRUE(u->can_act());
}

// ---- result texts

TEST_F(unit_test, AResultTextRisesTwoPixelsAStepAndFadesFasterAndFaster) {
    make_battle(8, 8, 2, two_melee);
    c_resulttext text("Hit!", 0xFFFF0000, RECT{10, 100, 74, 164});
    EXPECT_EQ(text.top.value, 100.0f);
    EXPECT_EQ(text.bottom.value, 100.0f); // a line along the top edge
    step();
    ASSERT_TRUE(text.update());
    EXPECT_FLOAT_EQ(text.top.value, 98.0f);
    EXPECT_FLOAT_EQ(text.alpha.value, 255.0f);
    step();
    ASSERT_TRUE(text.update());
    EXPECT_FLOAT_EQ(text.alpha.value, 254.8f);
    step();
    ASSERT_TRUE(text.update());
    EXPECT_FLOAT_EQ(text.alpha.value, 254.4f);
    int steps = 3;
    while (text.update() && steps < 300)
        ++steps;
    // 255 is used up after about fifty steps (0.2 + 0.4 + ... per step), long before 255.
    EXPECT_GE(steps, 49);
    EXPECT_LE(steps, 52);
}

// ---- drawing

TEST(unit_flag, BobsWithAPeriodOfTwoSecondsOverTheMovesLeft) {
    EXPECT_EQ(flag_bob(0, 1, 0), 0);
    EXPECT_EQ(flag_bob(0, 1, 500), -12);
    EXPECT_NEAR(flag_bob(0, 1, 1500), 12, 1);
    EXPECT_EQ(flag_bob(0, 1, 2500), -12);
    EXPECT_EQ(flag_bob(0, 2, 250), -12);
    EXPECT_EQ(flag_bob(0, 2, 1250), -12);
    EXPECT_EQ(flag_bob(1000, 1, 0), flag_bob(0, 1, 1000)); // the phase shifts the start
    EXPECT_EQ(flag_bob(0, 0, 500), 0);
}

TEST_F(unit_test, DrawingQueuesThePictureTwiceTheTileHighAndTheFlag) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 2, 2);
    c_image* picture = u->type->image;
    const int before = picture->count_tra();
    scroll_ix = 10;
    scroll_iy = 20;
    u->draw();
    // The unit picture and the flag share the white picture here.
    EXPECT_GT(picture->count_tra(), before);
    g_map->draw(1024, 768);
    gfx.flush();
}

TEST_F(unit_test, OnTheMinimapAUnitIsItsOwnersColourAndWhiteWhenSelected) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 2, 2); // (160, 96) - (224, 160)
    auto last_quad = [&] { return dev.draws().back().as<vertex_unt>(); };
    u->draw_minimap();
    std::vector<vertex_unt> quad = last_quad();
    ASSERT_FALSE(quad.empty());
    EXPECT_EQ(quad[0].colour, 0xFFFF0000u);
    float top = 1e9f, bottom = -1e9f;
    for (const vertex_unt& v : quad)
        top = std::min(top, v.y), bottom = std::max(bottom, v.y);
    EXPECT_EQ(top, 96.0f);
    EXPECT_EQ(bottom, 160.0f - 16.0f); // the overlap with the next row is left to that row
    u->select();
    u->draw_minimap();
    EXPECT_EQ(last_quad()[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(last_quad()[0].z, 0.2f);
    u->deselect();
    EXPECT_EQ(player(0)->get_selected(), nullptr);
}

TEST_F(unit_test, NameLabelsFollowTheSelectionAndTheHoveredTile) {
    make_battle(8, 8, 2, two_melee);
    fixed_gdi gdi;
    c_font font(&gfx, nullptr, &gdi);
    g_font = &font;
    c_unit* mine = place(0, 0, 2, 2);
    c_unit* near = place(0, 1, 3, 2);
    c_unit* far = place(0, 1, 6, 5);
    g_playermanager->next_player();
    mine->select();
    // Labels are drawn at once (two texts each, grey and the owner's colour); the rest is queued.
    auto labels = [&](c_unit* u) {
        const size_t before = dev.draws().size();
        u->draw();
        return (dev.draws().size() - before) / 2;
    };
    EXPECT_EQ(labels(mine), 0u); // names are off
    g_show_names = true;
    EXPECT_EQ(labels(mine), 1u); // nothing hovered: the selected unit
    EXPECT_EQ(labels(near), 0u);
    g_hovered_tile = near->tile; // next to the selected unit: only the hovered one
    EXPECT_EQ(labels(near), 1u);
    EXPECT_EQ(labels(mine), 0u);
    g_hovered_tile = far->tile; // far away: both
    EXPECT_EQ(labels(far), 1u);
    EXPECT_EQ(labels(mine), 1u);
    EXPECT_EQ(labels(near), 0u);
    g_hovered_tile = tile(2, 3); // an empty neighbour: the selected one
    EXPECT_EQ(labels(mine), 1u);
    g_hovered_tile = nullptr;
    g_font = nullptr;
    gfx.flush();
}

TEST_F(unit_test, ShowMovesBlinksTheTilesItCanEnterOrStrike) {
    make_battle(8, 8, 2, two_melee);
    c_unit* u = place(0, 0, 3, 3);
    place(0, 0, 4, 3); // own: no blink
    place(0, 1, 2, 3); // enemy: blinks
    flood(3, 2);       // odd row 3: nw is (2, 2), ne (3, 2)
    u->show_moves();
    EXPECT_EQ(tile(4, 3)->blink_alpha.value, 0);
    EXPECT_EQ(tile(3, 2)->blink_alpha.value, 0);
    EXPECT_EQ(tile(2, 3)->blink_alpha.value, 100);
    EXPECT_EQ(tile(2, 2)->blink_alpha.value, 100);
    EXPECT_EQ(tile(2, 2)->blink_color, 0xFFFFFFFFu);
}

// ---- unit types from bad data

TEST_F(unit_test, NoUnitTypesIsABattleWithoutTypes) {
    make_battle(8, 8, 0, "");
    EXPECT_EQ(g_unitmanager->get_num_unittypes(), 0);
    EXPECT_RAISES(g_unitmanager->get_unittype(0), "Index out of bounds.");
    delete g_unitmanager;
    g_unitmanager = nullptr;
    use_rules(unit_world_rules(-4, ""));
    g_unitmanager = new c_unitmanager();
    EXPECT_EQ(g_unitmanager->get_num_unittypes(), 0);
}

TEST_F(unit_test, ChanceWeightsOfZeroRaiseWhenRolled) {
    make_battle(8, 8, 1,
                melee_section("unit_0", "chance_hit=0\nchance_nohit=0\nchance_block=0\nchance_noblock=0\n"));
    c_unittype* t = g_unitmanager->get_unittype(0);
    EXPECT_RAISES(t->roll_hit(), "There are no chances in the chance list.");
    EXPECT_RAISES(t->roll_block(), "There are no chances in the chance list.");
}

TEST_F(unit_test, NeverHittingWeightsNeverHit) {
    make_battle(8, 8, 1, melee_section("unit_0", "chance_hit=0\nchance_nohit=5\n"));
    for (int i = 0; i < 200; ++i)
        ASSERT_FALSE(g_unitmanager->get_unittype(0)->roll_hit());
}

TEST_F(unit_test, TheKindIsChosenByTheExactSpellingOfSpecial) {
    make_battle(8, 8, 4,
                melee_section("unit_0", "special=Cannon\n") + melee_section("unit_1", "special=ARCHER\n") +
                    cannon_section("unit_2") + archer_section("unit_3"));
    EXPECT_EQ(dynamic_cast<c_cannontype*>(g_unitmanager->get_unittype(0)), nullptr);
    EXPECT_EQ(dynamic_cast<c_archertype*>(g_unitmanager->get_unittype(1)), nullptr);
    EXPECT_NE(dynamic_cast<c_cannontype*>(g_unitmanager->get_unittype(2)), nullptr);
    EXPECT_NE(dynamic_cast<c_archertype*>(g_unitmanager->get_unittype(3)), nullptr);
    // Units of each kind.
    EXPECT_NE(dynamic_cast<c_cannon*>(place(2, 0, 2, 2)), nullptr);
    EXPECT_NE(dynamic_cast<c_archer*>(place(3, 0, 4, 2)), nullptr);
    EXPECT_EQ(dynamic_cast<c_cannon*>(place(0, 0, 6, 2)), nullptr);
}

TEST_F(unit_test, AnEmptySectionGivesAUsableTypeWithAtLeastOneHitPoint) {
    make_battle(8, 8, 3, "[unit_0]\n[unit_1]\nspecial=archer\n[unit_2]\nspecial=cannon\nhp=0\n");
    for (int i = 0; i < 3; ++i) {
        c_unittype* t = g_unitmanager->get_unittype(i);
        EXPECT_EQ(t->name, "");
        EXPECT_EQ(t->hp, 1);
        EXPECT_EQ(t->combat, 0);
        c_unit* u = place(t, 0, 2 + 2 * i, 2);
        EXPECT_FALSE(u->start_turn()); // no moves: never counted as ready
        u->draw();
        u->show_moves();
        EXPECT_EQ(u->take_damage(0, false), DAMAGE_HIT);
        EXPECT_EQ(u->take_damage(1, false), DAMAGE_KILLED);
    }
    g_unitmanager->update();
    gfx.flush();
}

TEST_F(unit_test, MissingPicturesAreReportedWithoutLeaks) {
    use_rules(unit_world_rules(1, melee_section("unit_0", "fragmentation=pieces\nimage=nope.bmp\n")));
    cwd_guard cwd(dir.path());
    EXPECT_RAISES(c_unitmanager(), "Unable to create texture.");
    use_rules(unit_world_rules(1, archer_section("unit_0", "shadow_image=gone.png\n")));
    EXPECT_RAISES(c_unitmanager(), "Unable to create texture.");
    // Only the registry's default image is left: every picture loaded before was let go.
    EXPECT_EQ(gfx.get_images().size(), 1u);
}

TEST_F(unit_test, ATypeNameFormatThatIsNotOneIntegerIsReported) {
    use_rules("[units]\nunit_name_format=unit_%s\nnum_unittypes=2\n");
    EXPECT_RAISES(
        c_unitmanager(),
        "Unable to load the unit types: unit_name_format must hold exactly one integer conversion.");
    use_rules("[units]\nunit_name_format=unit_%d\nnum_unittypes=100000\n");
    EXPECT_RAISES(c_unitmanager(), "Unable to load the unit types: num_unittypes is above 256.");
}

TEST_F(unit_test, ANegativeWeightIsReported) {
    use_rules(unit_world_rules(1, melee_section("unit_0", "chance_hit=-5\n")));
    cwd_guard cwd(dir.path());
    EXPECT_THROW(c_unitmanager(), c_err);
    EXPECT_EQ(gfx.get_images().size(), 1u);
}

TEST_F(unit_test, TheUnitSettingsAreReadFromRulesAndInterface) {
    make_battle(8, 8, 0, "");
    write_file(dir.file("interface.ini"),
               "[gameplay]\nhit_text_color=255 1 2 3\nbounce_text_color=1 0 0 9\n");
    {
        cwd_guard cwd(dir.path());
        g_interface = new c_ini("interface.ini");
    }
    read_unit_settings();
    delete g_interface;
    g_interface = nullptr;
    EXPECT_EQ(g_unit_settings.speed_x1, 8);
    EXPECT_EQ(g_unit_settings.speed_x2, 4);
    EXPECT_EQ(g_unit_settings.speed_y, 6);
    EXPECT_EQ(g_unit_settings.hit_text_color, 0xFF010203u);
    EXPECT_EQ(g_unit_settings.bounce_text_color, 0x01000009u);
    EXPECT_EQ(g_unit_settings.kill_text_color, 0u);
    EXPECT_FLOAT_EQ(g_unit_settings.flag_motion.velocity_low[1], -1.0f);
    EXPECT_FLOAT_EQ(g_unit_settings.flag_motion.velocity_high[3], -3.0f);
}
