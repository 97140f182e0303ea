// Particles, the particle pool, explosions and fragmentation on the recording device, and
// every explosion and fragmentation the game's rules name.
#include <algorithm>
#include <set>

#include "framework/misc.h"
#include "game/battle/explosion.h"
#include "tests/game/game_fixture.h"

namespace {

// One particle type with a still motion unless the test says otherwise.
std::string particle_type(int i, const std::string& low, const std::string& high, int chance = 1,
                          const std::string& velocity = "0 0 0 0",
                          const std::string& acceleration = "0 0 0 0",
                          const std::string& friction = "1 1 1 1") {
    std::string p = std::to_string(i);
    return p + "_chance=" + std::to_string(chance) + "\n" + p + "_color_low=" + low + "\n" + p +
           "_color_high=" + high + "\n" + p + "_velocity_low=" + velocity + "\n" + p +
           "_velocity_high=" + velocity + "\n" + p + "_acceleration_low=" + acceleration + "\n" + p +
           "_acceleration_high=" + acceleration + "\n" + p + "_friction_low=" + friction + "\n" + p +
           "_friction_high=" + friction + "\n";
}

std::string explosion(const std::string& name, int types, const std::string& body, int size = 4) {
    return "[" + name + "]\nnum_particletypes=" + std::to_string(types) +
           "\nparticle_width=" + std::to_string(size) + "\nparticle_height=" + std::to_string(size) + "\n" +
           body;
}

class Particles : public world_test {
  protected:
    Particles() { g_particle_pool = new c_particle_pool(50); }
    c_particle* particle(size_t i) { return static_cast<c_particle*>(g_effects.at(i)); }
    // Spawns from a one-section rules file.
    void burst(const std::string& rules, int count, float l = 100, float r = 164, float t = 50,
               float b = 114) {
        use_rules(rules);
        c_explosion e("x", count);
        e.explode(l, r, t, b);
    }
};

TEST_F(Particles, ColourReferencesTakeTheValueOfAnotherChannel) {
    // Alpha copies red; blue copies green, which copies red: a chain resolved over passes.
    burst(explosion("x", 1, particle_type(0, "-2 0 -2 -3", "-2 255 -2 -3")), 40);
    ASSERT_EQ(g_effects.size(), 40u);
    std::set<int> reds;
    for (size_t i = 0; i < 40; ++i) {
        c_particle* p = particle(i);
        int red = (p->color >> 16) & 0xFF;
        EXPECT_EQ(static_cast<int>(p->alpha.value), red);
        EXPECT_EQ(p->color & 0xFF, (p->color >> 8) & 0xFF);
        EXPECT_EQ((p->color >> 8) & 0xFF, static_cast<unsigned>(red));
        EXPECT_EQ(p->color >> 24, 0xFFu);
        reds.insert(red);
    }
    EXPECT_GT(reds.size(), 10u);
}

TEST_F(Particles, SelfReferencesAndCyclesRaiseAndSpawnNothing) {
    for (const char* range : {"-1 10 10 10", "255 -3 -2 10", "255 -4 -2 -3"}) {
        int free_before = g_particle_pool->free_count();
        use_rules(explosion("x", 1, particle_type(0, range, range)));
        c_explosion e("x", 5);
        EXPECT_RAISES(e.explode(0, 64, 0, 64), "Unable to resolve explosion colors.");
        EXPECT_TRUE(g_effects.empty()) << range;
        EXPECT_EQ(g_particle_pool->free_count(), free_before) << range;
    }
    // A reference into a later channel is fine: red's value is known by the second pass.
    EXPECT_EQ(resolve_colors({-2, 7, 0, 0}, {-2, 7, 0, 0})[0], 7);
}

TEST_F(Particles, RangesWrittenBackwardsOrOutOfRangeStaySound) {
    // High below low draws between the two; numbers beyond a byte are cut to 0..255.
    burst(explosion("x", 1, particle_type(0, "255 200 300 -9", "255 100 400 -20")), 30);
    for (size_t i = 0; i < 30; ++i) {
        int red = (particle(i)->color >> 16) & 0xFF;
        EXPECT_GE(red, 100);
        EXPECT_LE(red, 200);
        EXPECT_EQ((particle(i)->color >> 8) & 0xFF, 255u);
        EXPECT_EQ(particle(i)->color & 0xFF, 0u);
    }
}

TEST_F(Particles, WeightsPickTypesAndParticlesLandInsideTheRectangle) {
    burst(explosion("x", 2,
                    particle_type(0, "255 255 0 0", "255 255 0 0", 0) +
                        particle_type(1, "255 0 0 255", "255 0 0 255", 1, "-1 2 0.5 -3", "0 0.5 0 0")),
          30);
    for (size_t i = 0; i < 30; ++i) {
        c_particle* p = particle(i);
        EXPECT_EQ(p->color, 0xFF0000FFu); // weight 0 never comes up
        EXPECT_GE(p->left.value, 100.0f);
        EXPECT_LT(p->left.value, 160.0f);
        EXPECT_EQ(p->right.value - p->left.value, 4.0f);
        EXPECT_GE(p->top.value, 50.0f);
        EXPECT_LT(p->top.value, 110.0f);
        EXPECT_EQ(p->velocity, (motion4{-1, 2, 0.5f, -3}));
        EXPECT_EQ(p->acceleration, (motion4{0, 0.5f, 0, 0}));
        EXPECT_EQ(p->lifetime, 255);
        EXPECT_EQ(p->image, g_particle_image);
    }
}

TEST_F(Particles, ARectangleNoLargerThanItsParticlesCentresThem) {
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1"), 8), 3, 10, 14, 20, 28.5f);
    ASSERT_EQ(g_effects.size(), 3u);
    EXPECT_EQ(particle(0)->left.value, 8.0f);  // (10 + 14 - 8) / 2
    EXPECT_EQ(particle(0)->top.value, 20.25f); // (20 + 28.5 - 8) / 2
}

TEST_F(Particles, NothingToSpawnSpawnsNothing) {
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1")), 0);
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1")), -4);
    burst(explosion("x", 0, ""), 10);
    burst(explosion("x", -3, ""), 10);
    burst(
        explosion("x", 2,
                  particle_type(0, "255 1 1 1", "255 1 1 1", 0) + particle_type(1, "1 1 1 1", "1 1 1 1", 0)),
        10);
    EXPECT_TRUE(g_effects.empty());
    use_rules(explosion("x", 100000, ""));
    EXPECT_RAISES(c_explosion("x", 1), "Unable to read the explosion: num_particletypes is above 256.");
}

TEST_F(Particles, FrictionOneKeepsAcceleratingFrictionZeroStopsAfterOneStep) {
    burst(explosion("x", 2,
                    particle_type(0, "200 1 1 1", "200 1 1 1", 1, "2 -1 0.1 -1", "0.5 0.25 0 0", "1 1 1 1") +
                        particle_type(1, "200 1 1 1", "200 1 1 1", 0)),
          1, 0, 4, 0, 4);
    burst(explosion("x", 1,
                    particle_type(0, "200 1 1 1", "200 1 1 1", 1, "2 -1 0.1 -1", "0.5 0.25 0 0", "0 0 0 0")),
          1, 0, 4, 0, 4);
    c_particle *free = particle(0), *stuck = particle(1);
    for (int n = 1; n <= 4; ++n) {
        step();
        ASSERT_TRUE(free->update());
        ASSERT_TRUE(stuck->update());
        // x after n steps: sum of 2 + 0.5 k for k = 0 .. n-1.
        EXPECT_FLOAT_EQ(free->left.value, 2.0f * n + 0.25f * n * (n - 1));
        EXPECT_FLOAT_EQ(free->right.value - free->left.value, 4.0f);
        EXPECT_FLOAT_EQ(stuck->left.value, 2.0f);
        EXPECT_FLOAT_EQ(stuck->top.value, -1.0f);
        EXPECT_FLOAT_EQ(stuck->alpha.value, 199.0f);
    }
    EXPECT_FLOAT_EQ(free->alpha.value, 196.0f);
}

TEST_F(Particles, LifetimesEndOnTheStepAfterTheLastAndWhenAlphaRunsOut) {
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1")), 1);
    burst(explosion("x", 1, particle_type(0, "250 1 1 1", "250 1 1 1", 1, "0 0 0 -100")), 1);
    c_particle *still = particle(0), *fading = particle(1);
    int lived = 0;
    while (still->update() && lived < 1000)
        ++lived;
    EXPECT_EQ(lived, 255);
    EXPECT_TRUE(fading->update());  // 150
    EXPECT_TRUE(fading->update());  // 50
    EXPECT_FALSE(fading->update()); // -50
}

TEST_F(Particles, EffectListsDropFinishedElementsInOrderAndReturnParticlesToThePool) {
    burst(explosion("x", 1, particle_type(0, "250 1 1 1", "250 1 1 1", 1, "0 0 0 -100")), 6);
    particle(1)->alpha.value = 90; // these two fade out on the first update
    particle(4)->alpha.value = 60;
    std::vector<c_effect*> kept{g_effects[0], g_effects[2], g_effects[3], g_effects[5]};
    int free_before = g_particle_pool->free_count();
    update_effects(g_effects);
    EXPECT_EQ(g_effects, kept);
    EXPECT_EQ(g_particle_pool->free_count(), free_before + 2);
    clear_effects(g_effects);
    EXPECT_EQ(g_particle_pool->free_count(), 50);
    c_particle* p = g_particle_pool->acquire();
    p->release();
    EXPECT_RAISES(p->release(), "A particle was released twice.");
}

TEST_F(Particles, ThePoolRecyclesItsParticlesAndGrowsOnlyWhenEmpty) {
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1")), 50);
    std::set<c_effect*> first(g_effects.begin(), g_effects.end());
    EXPECT_EQ(g_particle_pool->free_count(), 0);
    for (c_effect* e : g_effects)
        static_cast<c_particle*>(e)->alpha.value = 3; // dirty them
    clear_effects(g_effects);
    step();
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1")), 50);
    EXPECT_EQ(std::set<c_effect*>(g_effects.begin(), g_effects.end()), first);
    EXPECT_EQ(g_particle_pool->size(), 50);
    EXPECT_EQ(particle(7)->alpha.value, 255.0f);
    EXPECT_EQ(particle(7)->alpha.prev_value, 255.0f); // shown at once, not slid from the old alpha
    burst(explosion("x", 1, particle_type(0, "255 1 1 1", "255 1 1 1")), 5);
    EXPECT_EQ(g_particle_pool->size(), 55);
    // A fresh particle's tracks are back at 0.
    clear_effects(g_effects);
    c_particle* p = g_particle_pool->acquire();
    EXPECT_EQ(p->rotation.value, 0.0f);
    EXPECT_EQ(p->left.prev_value, 0.0f);
    p->release();
}

TEST_F(Particles, DrawingShiftsByTheViewRotatesAndCarriesTheAlpha) {
    burst(explosion("x", 1, particle_type(0, "128 10 20 30", "128 10 20 30"), 10), 2, 0, 10, 0, 10);
    particle(1)->rotation.value = 1.0f;
    scroll_x = 5;
    scroll_y = -3;
    truncate_scroll();
    gfx.depth = 0.25f;
    draw_effects(g_effects);
    EXPECT_FLOAT_EQ(gfx.depth, 0.25f + 2 * 2.0e-5f);
    const auto& rec = gfx.get_alpha_records();
    ASSERT_EQ(rec.size(), 3u); // one point sprite, one rotated quad as two triangles
    EXPECT_EQ(rec[0].point_size, 10.0f);
    EXPECT_EQ(rec[0].vertices[0].x, 0.0f); // centre 5 shifted by 5
    EXPECT_EQ(rec[0].vertices[0].y, 8.0f); // centre 5 shifted by -3
    EXPECT_FLOAT_EQ(rec[0].vertices[0].z, 0.75f);
    EXPECT_EQ(rec[0].vertices[0].colour, 0x800A141Eu);
    EXPECT_FLOAT_EQ(rec[1].vertices[0].z, 1.0f - 0.25f - 2.0e-5f);
    EXPECT_NE(rec[1].vertices[0].x, -5.0f); // turned about its centre
    // An alpha channel that rose past 255 stays opaque rather than wrapping round.
    gfx.draw_alpha_triangles();
    particle(0)->alpha.value = 300.0f;
    draw_effects(g_effects);
    EXPECT_EQ(gfx.get_alpha_records().size(), 2u);
}

// ---- fragmentation ------------------------------------------------------------------------------

std::string fragmentation(const std::string& cols, const std::string& rows) {
    std::string lo_c = cols.substr(0, cols.find(' ')), hi_c = cols.substr(cols.find(' ') + 1);
    std::string lo_r = rows.substr(0, rows.find(' ')), hi_r = rows.substr(rows.find(' ') + 1);
    return "[f]\nnum_columns_low=" + lo_c + "\nnum_columns_high=" + hi_c + "\nnum_rows_low=" + lo_r +
           "\nnum_rows_high=" + hi_r +
           "\nvelocity_low=-1 -2 0 -1\nvelocity_high=1 -1 0 -1\n"
           "acceleration_low=0 0.5 0 0\nacceleration_high=0 0.5 0 0\nfriction_low=1 1 1 1\nfriction_high=1 1 "
           "1 1\n";
}

TEST_F(Particles, OnePieceCarriesTheWholeImage) {
    use_rules(fragmentation("1 1", "1 1"));
    c_image* image = gfx.get_default_image();
    c_fragmentation f("f", image, 0xC0112233);
    f.shatter(10, 74, 20, 148);
    ASSERT_EQ(g_effects.size(), 1u);
    c_particle* p = particle(0);
    EXPECT_EQ(p->image, image);
    EXPECT_EQ((std::vector<float>{p->u0, p->u1, p->v0, p->v1}), (std::vector<float>{0, 1, 0, 1}));
    EXPECT_EQ((std::vector<float>{p->left.value, p->right.value, p->top.value, p->bottom.value}),
              (std::vector<float>{10, 74, 20, 148}));
    EXPECT_EQ(p->color & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(p->alpha.value, 192.0f);
    EXPECT_EQ(p->lifetime, 100);
    EXPECT_EQ(p->acceleration, (motion4{0, 0.5f, 0, 0}));
    EXPECT_GE(p->velocity[0], -1.0f);
    EXPECT_LE(p->velocity[0], 1.0f);
}

TEST_F(Particles, PiecesTileTheRectangleEachWithItsPartOfThePicture) {
    use_rules(fragmentation("2 2", "3 3"));
    c_fragmentation f("f", nullptr, 0xFFFFFFFF);
    f.shatter(0, 64, 0, 96);
    ASSERT_EQ(g_effects.size(), 6u);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) {
            c_particle* p = particle(static_cast<size_t>(i * 3 + j));
            EXPECT_FLOAT_EQ(p->u0, i / 2.0f);
            EXPECT_FLOAT_EQ(p->u1, (i + 1) / 2.0f);
            EXPECT_FLOAT_EQ(p->v0, j / 3.0f);
            EXPECT_FLOAT_EQ(p->v1, (j + 1) / 3.0f);
            EXPECT_FLOAT_EQ(p->left.value, 32.0f * i);
            EXPECT_FLOAT_EQ(p->bottom.value, 32.0f * (j + 1));
        }
}

TEST_F(Particles, FragmentCountsOutOfTheOrdinaryStaySound) {
    use_rules(fragmentation("3 1", "1 1")); // backwards: 1 to 3 columns
    c_fragmentation back("f", nullptr, 0xFFFFFFFF);
    for (int k = 0; k < 20; ++k) {
        back.shatter(0, 30, 0, 30);
        EXPECT_GE(g_effects.size(), 1u);
        EXPECT_LE(g_effects.size(), 3u);
        clear_effects(g_effects);
    }
    use_rules(fragmentation("0 0", "2 2"));
    c_fragmentation none("f", nullptr, 0xFFFFFFFF);
    none.shatter(0, 30, 0, 30);
    use_rules(fragmentation("-4 -1", "2 2"));
    c_fragmentation negative("f", nullptr, 0xFFFFFFFF);
    negative.shatter(0, 30, 0, 30);
    EXPECT_TRUE(g_effects.empty());
    // No piece narrower than a pixel: a million columns over 16 pixels are 16.
    use_rules(fragmentation("1000000 1000000", "1 1"));
    c_fragmentation fine("f", nullptr, 0xFFFFFFFF);
    fine.shatter(0, 16, 0, 16);
    EXPECT_EQ(g_effects.size(), 16u);
}

// ---- the game's own data ------------------------------------------------------------------------

TEST_F(Particles, EveryExplosionAndFragmentationOfTheGamesRulesWorks) {
    cwd_guard cwd(std::string(HV_SOURCE_DIR) + "/DATA");
    delete g_rules;
    g_rules = new c_ini("rules.ini");
    std::string format = g_rules->get_raw("units", "unit_name_format");
    int types = g_rules->get_int("units", "num_unittypes");
    ASSERT_GT(types, 0);
    std::set<std::string> explosions, fragmentations;
    for (int u = 0; u < types; ++u) {
        std::string section = format_string(format.c_str(), u);
        for (const char* key : {"explosion_explode", "explosion_bleed", "explosion_blast", "explosion_bounce",
                                "explosion_sploosh", "explosion_fire"}) {
            std::string name = g_rules->get_raw(section, key);
            if (!name.empty()) explosions.insert(name);
        }
        for (const char* key : {"fragmentation", "fragmentation_shrapnel"}) {
            std::string name = g_rules->get_raw(section, key);
            if (!name.empty()) fragmentations.insert(name);
        }
    }
    EXPECT_EQ(explosions.size(), 8u);
    EXPECT_EQ(fragmentations.size(), 2u);
    for (const std::string& name : explosions) {
        c_explosion e(name, 200);
        EXPECT_GT(e.num_particletypes, 0) << name;
        e.explode(0, 64, 0, 64); // every colour reference resolves
        EXPECT_EQ(g_effects.size(), 200u) << name;
        for (int n = 0; n < 10; ++n)
            update_effects(g_effects);
        EXPECT_FALSE(g_effects.empty()) << name << " dies at once";
        clear_effects(g_effects);
    }
    for (const std::string& name : fragmentations) {
        c_fragmentation f(name, nullptr, 0xFFFFFFFF);
        f.shatter(0, 64, 0, 128);
        EXPECT_GE(g_effects.size(), 4u) << name;
        clear_effects(g_effects);
    }
}

} // namespace
