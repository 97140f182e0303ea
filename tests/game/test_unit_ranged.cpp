// Archers and cannons: classification of targets, volleys of arrows with the carried-over
// timer, the cannonball's flight line and next-tile rule, landing, bouncing, sinking,
// exploding and backfiring, and flights of no length or speed.
#include <gtest/gtest.h>

#include <cmath>

#include "game/battle/unit_internal.h"
#include "tests/game/unit_fixture.h"

namespace {

bool is_neighbour(const c_tile* a, const c_tile* b) {
    for (c_tile* n : neighbours_of(a->col, a->row))
        if (n == b) return true;
    return false;
}

} // namespace

// ---- archers

class archer_test : public unit_test {
  protected:
    void set_up(const std::string& archer_extra = "") {
        make_battle(10, 8, 2, archer_section("unit_0", archer_extra) + melee_section("unit_1"));
        archer = dynamic_cast<c_archer*>(place(0, 0, 2, 2));
        ASSERT_NE(archer, nullptr);
    }
    // Fires at `target` and notes the update in which each arrow came down.
    std::vector<int> volley(c_unit* target) {
        archer->act(target->tile, 0, 0);
        std::vector<int> at;
        for (int n = 1; g_unitmanager->is_busy() && n < 1000; ++n) {
            size_t before = g_overlays.size();
            update();
            if (g_overlays.size() > before) at.push_back(n);
        }
        return at;
    }
    c_archer* archer = nullptr;
};

TEST_F(archer_test, AnAdjacentEnemyInRangeIsShotNotStruck) {
    set_up();
    c_unit* enemy = place(1, 1, 3, 2);
    EXPECT_EQ(archer->classify(enemy->tile), CLASS_TARGET);
    EXPECT_EQ(archer->classify(tile(3, 3)), CLASS_MOVE);
    archer->act(enemy->tile, 0, 0);
    EXPECT_EQ(archer->state, STATE_FLYING);
    EXPECT_EQ(g_map->active_unit, archer);
    EXPECT_EQ(archer->target, enemy);
    EXPECT_EQ(enemy->blocks_left, 2);
    EXPECT_EQ(enemy->tile->blink_color, 0xFFFF0000u);
    run();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Hit!", "Hit!"}));
    EXPECT_EQ(enemy->hp, 4);
    EXPECT_EQ(archer->state, STATE_IDLE);
    EXPECT_EQ(archer->moves_left, 0);
    EXPECT_EQ(g_map->active_unit, nullptr);
    // The texts stand over the target's tile.
    EXPECT_EQ(dynamic_cast<c_resulttext*>(g_overlays[0])->left.value, float(enemy->tile->left));
}

TEST_F(archer_test, EnemiesBeyondTheRangeAreOutOfRange) {
    set_up();
    c_unit* near = place(1, 1, 5, 2); // three steps
    c_unit* far = place(1, 1, 6, 2);  // four
    EXPECT_EQ(archer->classify(near->tile), CLASS_TARGET);
    EXPECT_EQ(archer->classify(far->tile), CLASS_OUT_OF_RANGE);
    archer->act(far->tile, 0, 0); // out of range: no shot
    EXPECT_EQ(archer->state, STATE_IDLE);
    run();
    EXPECT_TRUE(g_overlays.empty());
}

TEST_F(archer_test, AShortFlightIsFollowedByTheRestOfTheTenUpdatePause) {
    set_up();
    c_unit* enemy = place(1, 1, 3, 2);
    // From (192, 96) to (256, 128): 71.6 pixels at 9 a step, the seventh step comes down.
    EXPECT_EQ(volley(enemy), (std::vector<int>{7, 17}));
}

TEST_F(archer_test, AFlightOfTenUpdatesOrMoreIsFollowedByTheNextArrowAtOnce) {
    set_up();
    c_unit* enemy = place(1, 1, 5, 2);
    // 194.6 pixels at 9 a step: 21 steps, and the next arrow leaves as the first lands.
    EXPECT_EQ(volley(enemy), (std::vector<int>{21, 42}));
}

TEST_F(archer_test, NoMoreArrowsFlyOnceTheTargetIsDead) {
    set_up();
    c_unit* enemy = place(1, 1, 3, 2);
    enemy->hp = 2;
    EXPECT_EQ(volley(enemy), std::vector<int>{7});
    EXPECT_EQ(texts(), std::vector<std::string>{"Slain!"});
    EXPECT_EQ(tile(3, 2)->unit, nullptr);
    EXPECT_EQ(archer->moves_left, 0);
    EXPECT_EQ(archer->strikes_left, -1);
}

TEST_F(archer_test, TheArrowFliesOnAnArcAndIsDrawnOnlyInTheAir) {
    set_up();
    c_unit* enemy = place(1, 1, 5, 2);
    c_image* arrow = dynamic_cast<c_archertype*>(archer->type)->arrow_image;
    const int before = arrow->count_tra() + arrow->count_ps();
    archer->draw_projectile();
    EXPECT_EQ(arrow->count_tra() + arrow->count_ps(), before); // at its start point: not drawn
    archer->act(enemy->tile, 0, 0);
    float highest = 0.0f;
    for (int i = 0; i < 20; ++i) {
        update();
        highest = std::max(highest, archer->height.value);
        EXPECT_TRUE(std::isfinite(archer->tilt.value));
    }
    // 0.25 of a 194.6-pixel shot at the top of the arc.
    EXPECT_NEAR(highest, 0.25f * 194.6f, 2.0f);
    archer->draw_projectile();
    EXPECT_GT(arrow->count_tra() + arrow->count_ps(), before);
    gfx.flush();
}

TEST_F(archer_test, ShowMovesAlsoBlinksTheUnitsItCanShoot) {
    set_up();
    place(1, 1, 5, 2);
    place(1, 1, 7, 2);
    archer->show_moves();
    EXPECT_EQ(tile(5, 2)->blink_alpha.value, 100);
    EXPECT_EQ(tile(7, 2)->blink_alpha.value, 0);
    EXPECT_EQ(tile(3, 2)->blink_alpha.value, 100); // a tile it can walk to
}

TEST_F(archer_test, AShotOfNoLengthOrNoSpeedComesDownAtOnce) {
    // The arrow leaves from the centre of the east neighbour: a flight of length 0.
    set_up("arrow_xoff=96\narrow_yoff=96\n");
    c_unit* enemy = place(1, 1, 3, 2);
    ASSERT_EQ(archer->start_point()[0], 256);
    ASSERT_EQ(archer->start_point()[1], 128);
    archer->act(enemy->tile, 0, 0);
    EXPECT_EQ(archer->total, 0.0f);
    update();
    EXPECT_EQ(g_overlays.size(), 1u);
    EXPECT_TRUE(std::isfinite(archer->height.value));
    EXPECT_TRUE(std::isfinite(archer->tilt.value));
    run();
    EXPECT_EQ(g_overlays.size(), 2u);
}

TEST_F(archer_test, AnArrowWithoutSpeedStillArrives) {
    set_up("arrow_velocity=0\n");
    c_unit* enemy = place(1, 1, 5, 2);
    EXPECT_EQ(volley(enemy), (std::vector<int>{1, 11}));
}

TEST_F(archer_test, AnArcherThatHasMovedCannotShootWithoutMoveattack) {
    set_up("moveattack=false\n");
    c_unit* enemy = place(1, 1, 5, 2);
    archer->moves_left = 1;
    EXPECT_EQ(archer->classify(enemy->tile), CLASS_NOTHING);
}

// ---- cannons: the flight line and the next-tile rule

class cannon_test : public unit_test {
  protected:
    void set_up(const std::string& cannon_extra = "", int cols = 10, int rows = 8) {
        make_battle(cols, rows, 2, cannon_section("unit_0", cannon_extra) + melee_section("unit_1"));
        cannon = dynamic_cast<c_cannon*>(place(0, 0, 1, 2));
        ASSERT_NE(cannon, nullptr);
    }
    std::vector<std::pair<int, int>> path(c_tile* aim, int ax, int ay) {
        cannon->set_line(aim, ax, ay);
        std::vector<std::pair<int, int>> out;
        for (c_tile* t : cannon->predict_path())
            out.emplace_back(t->col, t->row);
        return out;
    }
    c_cannon* cannon = nullptr;
};

using cells = std::vector<std::pair<int, int>>;

TEST_F(cannon_test, AlongARowTheBallCrossesEveryTile) {
    set_up();
    EXPECT_EQ(path(tile(5, 2), 32, 32), (cells{{2, 2}, {3, 2}, {4, 2}, {5, 2}}));
    EXPECT_FALSE(cannon->vertical);
    EXPECT_FLOAT_EQ(cannon->slope, 0.0f);
}

TEST_F(cannon_test, OnAVerticalLineTiesGoToTheEarlierNeighbourAndTheAimPointDecides) {
    set_up("", 10, 10);
    g_unitmanager->queue_dead(cannon);
    g_unitmanager->update();
    cannon = dynamic_cast<c_cannon*>(place(0, 0, 2, 2));
    // x = 192 runs through the centres of (2, 2), (2, 4), (2, 6); between them the south-west
    // and south-east neighbours lie 32 pixels off either side: south-west wins.
    EXPECT_EQ(path(tile(2, 6), 32, 32), (cells{{2, 3}, {2, 4}, {2, 5}, {2, 6}}));
    EXPECT_TRUE(cannon->vertical);
    // Aimed right of the centre, the line passes nearer the south-east ones.
    EXPECT_EQ(path(tile(2, 6), 40, 32), (cells{{3, 3}, {2, 4}, {3, 5}, {2, 6}}));
    // An aim x of 0 counts as 1.
    cannon->set_line(tile(2, 6), 0, 32);
    EXPECT_EQ(cannon->aim_x, 1);
}

TEST_F(cannon_test, EveryPathStepsOneTileNearerAndEndsOnTheAimTile) {
    set_up("", 12, 12);
    for (int row = 0; row < 12; ++row) {
        for (int col = 0; col < 12; ++col) {
            c_tile* aim = tile(col, row);
            if (aim == cannon->tile) continue;
            for (auto [ax, ay] : {std::pair{32, 32}, std::pair{1, 47}, std::pair{63, 5}}) {
                cannon->set_line(aim, ax, ay);
                std::vector<c_tile*> p = cannon->predict_path();
                ASSERT_EQ(int(p.size()), calc_range(cannon->tile, aim)) << col << "," << row;
                ASSERT_EQ(p.back(), aim);
                const c_tile* at = cannon->tile;
                for (c_tile* next : p) {
                    ASSERT_TRUE(is_neighbour(at, next));
                    ASSERT_EQ(calc_range(next, aim), calc_range(at, aim) - 1);
                    at = next;
                }
            }
        }
    }
}

TEST_F(cannon_test, AimingBlinksThePathWhiteAndTheAimTileRed) {
    set_up();
    place(1, 1, 5, 2);
    cannon->aim(tile(5, 2), 32, 32);
    EXPECT_EQ(cannon->tile->blink_color, 0xFFFFFFFFu);
    for (int c = 2; c <= 4; ++c)
        EXPECT_EQ(tile(c, 2)->blink_color, 0xFFFFFFFFu) << c;
    EXPECT_EQ(tile(5, 2)->blink_color, 0xFFFF0000u);
    EXPECT_EQ(tile(6, 2)->blink_color, 0u);
}

// ---- cannons: landing, bouncing, sinking, exploding

TEST_F(cannon_test, TheAimTileAlwaysEndsTheHops) {
    // Never comes down early, never explodes: still it explodes on the aim tile.
    set_up("chance_cannonball_land=0\nchance_cannonball_noland=1\n"
           "chance_cannonball_explode=0\nchance_cannonball_noexplode=1\n");
    c_unit* enemy = place(1, 1, 5, 2);
    cannon->act(enemy->tile, 32, 32);
    EXPECT_EQ(cannon->state, STATE_FLYING);
    EXPECT_EQ(cannon->hop_tile, enemy->tile);
    EXPECT_EQ(g_map->active_unit, cannon);
    run();
    EXPECT_EQ(texts(), std::vector<std::string>{"Boom!"});
    EXPECT_EQ(enemy->hp, 3);
    EXPECT_EQ(cannon->moves_left, 0);
    EXPECT_EQ(g_map->active_unit, nullptr);
}

TEST_F(cannon_test, BouncesHurtAnyUnitOnTheTileAndTheBallGoesOn) {
    set_up("chance_cannonball_explode=0\nchance_cannonball_noexplode=1\n");
    c_unit* own = place(1, 0, 2, 2);
    c_unit* other = place(1, 2, 3, 2);
    c_unit* enemy = place(1, 1, 5, 2);
    own->blocks_left = other->blocks_left = 5;
    cannon->act(enemy->tile, 32, 32);
    EXPECT_EQ(cannon->hop_tile, own->tile); // comes down on the first tile
    run();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Bounce", "Bounce", "Bounce", "Boom!"}));
    EXPECT_EQ(own->hp, 8);
    EXPECT_EQ(other->hp, 8);
    EXPECT_EQ(own->blocks_left, 5); // balls are never blocked
    EXPECT_EQ(enemy->hp, 3);
}

TEST_F(cannon_test, ABallSinksOnlyWhereBothTheTileAndTheTypeSaySo) {
    set_up("chance_cannonball_explode=0\nchance_cannonball_noexplode=1\n");
    c_unit* enemy = place(1, 1, 5, 2);
    flood(3, 2);
    cannon->act(enemy->tile, 32, 32);
    run();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Bounce", "Sploosh!"}));
    EXPECT_EQ(enemy->hp, 10);
    EXPECT_EQ(cannon->moves_left, 0);
}

TEST_F(cannon_test, AGunThatDoesNotSplooshBouncesOverWater) {
    set_up("splooshable=false\nchance_cannonball_explode=0\nchance_cannonball_noexplode=1\n");
    c_unit* enemy = place(1, 1, 5, 2);
    flood(3, 2);
    cannon->act(enemy->tile, 32, 32);
    run();
    EXPECT_EQ(texts(), (std::vector<std::string>{"Bounce", "Bounce", "Bounce", "Boom!"}));
}

TEST_F(cannon_test, ExplodingNextToTheGunBackfires) {
    set_up("chance_backfire_damage=1\nchance_backfire_none=0\n");
    c_unit* enemy = place(1, 1, 2, 2);
    cannon->act(enemy->tile, 32, 32);
    run();
    EXPECT_EQ(texts(), std::vector<std::string>{"Backfire!"});
    EXPECT_EQ(cannon->hp, 7);
    EXPECT_EQ(enemy->hp, 3);
    // The text stands over the gun.
    EXPECT_EQ(dynamic_cast<c_resulttext*>(g_overlays[0])->left.value, float(cannon->tile->left));
}

TEST_F(cannon_test, ExplodingNextToTheGunCanDestroyIt) {
    set_up("chance_backfire_explode=1\nchance_backfire_none=0\n");
    c_unit* enemy = place(1, 1, 2, 2);
    cannon->act(enemy->tile, 32, 32);
    run();
    EXPECT_EQ(texts(), std::vector<std::string>{"Gun lost!"});
    EXPECT_EQ(tile(1, 2)->unit, nullptr);
    EXPECT_EQ(player(0)->get_num_units(), 0);
    EXPECT_EQ(enemy->hp, 3);
    EXPECT_EQ(g_map->active_unit, nullptr);
}

TEST_F(cannon_test, ExplodingTwoOrMoreTilesAwayNeverBackfires) {
    set_up("chance_cannonball_land=0\nchance_cannonball_noland=1\n"
           "chance_backfire_explode=1\nchance_backfire_none=0\n");
    c_unit* enemy = place(1, 1, 3, 2);
    cannon->act(enemy->tile, 32, 32);
    run();
    EXPECT_EQ(texts(), std::vector<std::string>{"Boom!"});
    EXPECT_EQ(cannon->hp, 10);
}

TEST_F(cannon_test, TheBallArcsOverEachHop) {
    set_up("chance_cannonball_land=0\nchance_cannonball_noland=1\n");
    c_unit* enemy = place(1, 1, 5, 2);
    cannon->act(enemy->tile, 32, 32);
    EXPECT_FLOAT_EQ(cannon->hop_length, 256.0f);
    float highest = 0.0f;
    while (cannon->state == STATE_FLYING) {
        update();
        highest = std::max(highest, cannon->height.value);
        cannon->draw_projectile();
    }
    EXPECT_NEAR(highest, 0.3f * 256.0f, 1.0f);
    gfx.flush();
}

TEST_F(cannon_test, ABallWithoutSpeedComesDownAtOnce) {
    set_up("cannonball_velocity=0\nchance_cannonball_land=0\nchance_cannonball_noland=1\n");
    c_unit* enemy = place(1, 1, 5, 2);
    cannon->act(enemy->tile, 32, 32);
    update();
    EXPECT_EQ(cannon->state, STATE_IDLE);
    EXPECT_EQ(enemy->hp, 3);
}

TEST_F(cannon_test, ZeroLandingWeightsAreReportedWhenTheGunFires) {
    set_up("chance_cannonball_land=0\nchance_cannonball_noland=0\n");
    c_unit* enemy = place(1, 1, 5, 2);
    EXPECT_RAISES(cannon->act(enemy->tile, 32, 32), "There are no chances in the chance list.");
}
