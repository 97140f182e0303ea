// New battles from the game's DATA: their size, players, where units stand and how many, the
// first turn, reproducibility from a seed, release, and bad data.
#include <set>
#include <sstream>

#include "tests/game/data_battle_fixture.h"

namespace {

class NewBattle : public data_battle_test {
  protected:
    // Everything that makes one battle differ from another.
    static std::string signature() {
        std::ostringstream s;
        s << g_map->get_cols() << "x" << g_map->get_rows() << ":";
        for (int r = 0; r < g_map->get_rows(); ++r)
            for (int c = 0; c < g_map->get_cols(); ++c) {
                const c_tile* t = g_map->get_tile(c, r);
                s << t->type->color % 97 << ",";
                if (t->unit)
                    s << "[" << t->unit->get_type()->get_name() << "/" << t->unit->get_owner()->get_name()
                      << "]";
            }
        return s.str();
    }
};

TEST_F(NewBattle, ManySeedsGiveLegalBattlesWithAQuarterOfTheOpenGroundOccupied) {
    const char* names[3] = {"Brindlecap", "Thistlewick", "Wobbleforth"};
    const D3DCOLOR colours[3] = {0xFFFF0000, 0xFF7F7FFF, 0xFFFFFF00};
    int eligible = 0, occupied = 0, first_is_brindlecap = 0;
    std::set<int> widths, heights;
    const int seeds = 60;
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        new_battle(seed);
        const int cols = g_map->get_cols(), rows = g_map->get_rows();
        ASSERT_TRUE(cols >= 10 && cols <= 32 && rows >= 10 && rows <= 32) << cols << "x" << rows;
        widths.insert(cols);
        heights.insert(rows);

        ASSERT_EQ(g_playermanager->get_num_players(), 3);
        int with_units = 0, units = 0;
        for (int i = 0; i < 3; ++i) {
            c_player* p = g_playermanager->get_player_index(i);
            EXPECT_EQ(p->get_name(), names[i]);
            EXPECT_EQ(p->get_color(), colours[i]);
            EXPECT_EQ(p->get_team(), 0);
            with_units += p->get_num_units() > 0;
            units += p->get_num_units();
        }
        EXPECT_EQ(g_playermanager->get_num_alive(), with_units);
        EXPECT_EQ(static_cast<int>(g_unitmanager->get_all().size()), units);

        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const c_tile* t = g_map->get_tile(c, r);
                const bool open = t->type->moveable && !t->corner;
                eligible += open;
                if (!t->unit) continue;
                ++occupied;
                ASSERT_TRUE(open) << "seed " << seed << " unit on " << c << "," << r;
                const auto& own = t->unit->get_owner()->get_units();
                EXPECT_NE(std::find(own.begin(), own.end(), t->unit), own.end());
            }

        // The first turn: the first player who owns a unit, announced in its colour.
        c_player* current = g_playermanager->get_current_player();
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(g_banner.text, current->get_name());
        EXPECT_EQ(g_banner.color, current->get_color());
        EXPECT_EQ(g_banner.fade.value, 1200);
        EXPECT_EQ(current->get_num_ready(), current->get_num_units());
        if (g_playermanager->get_player_index(0)->get_num_units() > 0) {
            EXPECT_EQ(g_banner.text, "Brindlecap");
            EXPECT_EQ(g_banner.color, 0xFFFF0000u);
            ++first_is_brindlecap;
        }
    }
    const double share = static_cast<double>(occupied) / eligible;
    EXPECT_GT(share, 0.23) << occupied << " of " << eligible;
    EXPECT_LT(share, 0.27) << occupied << " of " << eligible;
    EXPECT_EQ(first_is_brindlecap, seeds);
    EXPECT_GT(widths.size(), 10u);
    EXPECT_GT(heights.size(), 10u);
}

TEST_F(NewBattle, OneSeedOneBattle) {
    new_battle(4242);
    const std::string first = signature();
    new_battle(4243);
    const std::string other = signature();
    new_battle(4242);
    EXPECT_EQ(signature(), first);
    EXPECT_NE(other, first);
}

TEST_F(NewBattle, LoadReadsTheBattleDataAndUnloadReleasesEverything) {
    font(); // the font's own buffers are not the battle's
    const int before = dev.live_resources(), before_default = dev.live_default_resources();
    new_battle(5);
    EXPECT_EQ(g_hscroll_speed, 16); // 10 x 1.6
    EXPECT_EQ(g_vscroll_speed, 12); // 10 x 1.2
    ASSERT_NE(g_minimap_texture, nullptr);
    ASSERT_NE(g_minimap_depth, nullptr);
    D3DSURFACE_DESC desc{};
    g_minimap_texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    ASSERT_NE(g_particle_image, nullptr);
    EXPECT_EQ(g_unit_settings.speed_x1, 8);
    EXPECT_EQ(g_stringtable->get_section(), "gameplay");
    EXPECT_EQ(ready_units_label(7), "7 ready (N)");

    g_minimap_dirty.push_back(RECT{0, 0, 10, 10});
    gameplay_unload_static();
    EXPECT_EQ(g_map, nullptr);
    EXPECT_EQ(g_playermanager, nullptr);
    EXPECT_EQ(g_unitmanager, nullptr);
    EXPECT_EQ(g_minimap_texture, nullptr);
    EXPECT_EQ(g_particle_image, nullptr);
    EXPECT_TRUE(g_minimap_dirty.empty());
    // Nothing of the battle is left on the device.
    EXPECT_EQ(dev.live_default_resources(), before_default);
    EXPECT_EQ(dev.live_resources(), before);
    gameplay_unload_static(); // twice is harmless
}

TEST_F(NewBattle, AFailedMinimapDepthBufferLeavesNoTextureBehind) {
    font();
    const int before_default = dev.live_default_resources();
    dev.fail_next("CreateDepthStencilSurface", D3DERR_OUTOFVIDEOMEMORY);
    cwd_guard cwd(data_dir());
    EXPECT_RAISES(gameplay_load_static(), "Umable to create minimap depth buffer.");
    EXPECT_EQ(g_minimap_texture, nullptr);
    EXPECT_EQ(dev.live_default_resources(), before_default);
}

// ---- bad data

TEST_F(NewBattle, AMapWithoutOpenGroundGivesABattleWithoutTurns) {
    edit_rules("moveable=true", "moveable=false");
    new_battle(3);
    EXPECT_TRUE(g_unitmanager->get_all().empty());
    EXPECT_EQ(g_playermanager->get_num_alive(), 0);
    EXPECT_EQ(g_playermanager->get_current_player(), nullptr);
    EXPECT_TRUE(g_banner.text.empty());
    g_playermanager->next_player(); // what the battle screen does when nobody is ready
    EXPECT_EQ(g_playermanager->get_current_player(), nullptr);
}

TEST_F(NewBattle, NoUnitTypesIsReportedNotDividedBy) {
    edit_rules("num_unittypes=5", "num_unittypes=0");
    EXPECT_RAISES(new_battle(3), "Unable to start a battle: rules.ini defines no unit types.");
}

TEST_F(NewBattle, TheReadyUnitsLabelMustBeOneIntegerFormat) {
    for (const char* bad : {"%s ready", "%d of %d", "%n", "%f", "%ld"}) {
        replace_stringtable(std::string("[gameplay]\naub=") + bad + "\n");
        SCOPED_TRACE(bad);
        EXPECT_RAISES(
            ready_units_label(3),
            "Unable to show the ready units: the label \"aub\" of [gameplay] in stringtable.ini must "
            "hold exactly one integer conversion such as %d.");
    }
    // Checked when a battle is loaded, before anything is made.
    EXPECT_RAISES(new_battle(1), "Unable to show the ready units: the label \"aub\" of [gameplay] in "
                                 "stringtable.ini must hold exactly one integer conversion such as %d.");
    EXPECT_EQ(g_minimap_texture, nullptr);

    replace_stringtable("[gameplay]\naub=%3d%% left\n");
    EXPECT_EQ(ready_units_label(7), "  7% left");
    replace_stringtable("[gameplay]\n");
    EXPECT_EQ(ready_units_label(7), "");
}

} // namespace
