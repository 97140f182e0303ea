// The game states run whole on the recording Direct3D device in a real window: the main menu's
// opening logo, the close request from every screen, and the battle screen's frame (hovered tile,
// cursor choice, end turn, slow motion, victory). Input and the clock are scripted frame by frame
// through the state loops' hooks, so every run is exact and needs no real time.
#include "tests/gl/state_fixture.h"

namespace {

using StateTest = game_state_test;

// ---- main menu

TEST_F(StateTest, OpeningLogoFadesInOver85StepsThenOutOverTheMenuOncePerRun) {
    std::vector<int> alphas;
    std::vector<bool> menu_shown;
    after_frame = [&](int) {
        alphas.push_back(logo_alpha());
        menu_shown.push_back(drew_texture(g_mainmenu_background));
    };
    script = [&](int f) {
        if (f == 250) g_game_state = GS_OPTIONS; // leave (the options screen comes straight back)
    };
    g_game_state = GS_MAINMENU;
    gs_mainmenu();
    ASSERT_GE(alphas.size(), 200u);
    // Fading in over black: no menu, the alpha rising by 3 per 33 ms step up to 255.
    size_t first_menu = 0;
    while (first_menu < menu_shown.size() && !menu_shown[first_menu])
        ++first_menu;
    EXPECT_GE(first_menu, 84u);
    EXPECT_LE(first_menu, 87u);
    for (size_t i = 1; i + 1 < first_menu; ++i) {
        const int before = std::max(alphas[i - 1], 0); // an alpha of 0 draws nothing
        EXPECT_GE(alphas[i], before) << "frame " << i;
        EXPECT_LE(alphas[i] - before, 3) << "frame " << i;
    }
    // Then fading out over the menu for 85 more steps, and gone.
    EXPECT_GT(alphas.at(first_menu), 240);
    EXPECT_GT(alphas.at(first_menu + 40), 0);
    EXPECT_LT(alphas.at(first_menu + 40), alphas.at(first_menu));
    EXPECT_EQ(alphas.at(first_menu + 90), -1);
    EXPECT_FALSE(g_opening_logo);

    // A later visit shows the menu at once, without the logo.
    alphas.clear();
    menu_shown.clear();
    frame = 0;
    script = [&](int f) {
        if (f == 5) g_game_state = GS_OPTIONS;
    };
    g_game_state = GS_MAINMENU;
    gs_mainmenu();
    ASSERT_FALSE(menu_shown.empty());
    EXPECT_TRUE(menu_shown.front());
    for (int a : alphas)
        EXPECT_EQ(a, -1);
}

TEST_F(StateTest, AClickDuringTheLogoShowsTheMenuWithNoLogoAtAll) {
    std::vector<int> alphas;
    std::vector<bool> menu_shown;
    after_frame = [&](int) {
        alphas.push_back(logo_alpha());
        menu_shown.push_back(drew_texture(g_mainmenu_background));
    };
    script = [&](int f) {
        mouse(100, 100, f == 10);
        if (f == 30) g_game_state = GS_OPTIONS;
    };
    g_game_state = GS_MAINMENU;
    gs_mainmenu();
    ASSERT_GE(alphas.size(), 30u);
    EXPECT_GT(alphas[9], 0);
    for (size_t i = 11; i < alphas.size(); ++i) {
        EXPECT_EQ(alphas[i], -1) << "frame " << i;
        EXPECT_TRUE(menu_shown[i]) << "frame " << i;
    }
    EXPECT_FALSE(g_opening_logo);
}

TEST_F(StateTest, MenuHotKeysOnlyActWhereThereIsSomethingBehindThem) {
    g_opening_logo = false;
    // L, M and E do nothing; X opens the exit screen, where C ("no") returns to the menu.
    std::vector<int> states;
    script = [&](int f) {
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        if (f >= 2 && f < 4) hold(DIK_L, true);
        if (f >= 6 && f < 8) hold(DIK_M, true);
        if (f >= 10 && f < 12) hold(DIK_E, true);
        if (f >= 14 && f < 16) hold(DIK_X, true);
        if (f >= 20 && f < 22) hold(DIK_C, true);
        if (f == 30) g_game_state = GS_QUIT;
    };
    after_frame = [&](int) { states.push_back(g_game_state); };
    g_game_state = GS_MAINMENU;
    run_states();
    ASSERT_GE(states.size(), 30u);
    for (int f = 0; f < 16; ++f)
        EXPECT_EQ(states[f], GS_MAINMENU) << "frame " << f;
    EXPECT_EQ(states[17], GS_EXITSCREEN);
    EXPECT_EQ(states[25], GS_MAINMENU);
}

// ---- the close request

TEST_F(StateTest, CloseRequestFromTheMenuAsksAndNoReturnsToTheMenu) {
    g_opening_logo = false;
    std::vector<int> states;
    script = [&](int f) {
        if (f == 3) g_core->quit = true;
        hold(DIK_C, f >= 8 && f < 10);
        if (f == 20) g_game_state = GS_QUIT;
    };
    after_frame = [&](int) { states.push_back(g_game_state); };
    g_game_state = GS_MAINMENU;
    run_states();
    EXPECT_EQ(states.at(2), GS_MAINMENU);
    EXPECT_EQ(states.at(5), GS_EXITSCREEN);
    EXPECT_EQ(states.at(15), GS_MAINMENU);
    EXPECT_FALSE(g_core->quit);
}

TEST_F(StateTest, CloseRequestWhileTheExitScreenShowsQuitsAtOnce) {
    g_opening_logo = false;
    script = [&](int f) {
        if (f == 3 || f == 6) g_core->quit = true;
    };
    g_game_state = GS_MAINMENU;
    run_states();
    EXPECT_EQ(g_game_state, GS_QUIT);
    EXPECT_EQ(frame, 7);
}

// ---- the battle screen

TEST_F(StateTest, CloseRequestInABattleAsksAndNoReturnsToTheSameBattle) {
    new_battle(11);
    const c_map* map = g_map;
    const size_t units = g_unitmanager->get_all().size();
    std::vector<int> states;
    script = [&](int f) {
        if (f == 3) g_core->quit = true;
        hold(DIK_C, f >= 8 && f < 10);
    };
    after_frame = [&](int f) {
        states.push_back(g_game_state);
        if (f == 15) {
            EXPECT_EQ(g_map, map);
            EXPECT_EQ(g_unitmanager->get_all().size(), units);
            g_game_state = GS_QUIT;
        }
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    EXPECT_EQ(states.at(5), GS_EXITSCREEN);
    EXPECT_EQ(states.at(12), GS_GAMEPLAY);
    // Leaving the battle releases it.
    EXPECT_EQ(g_map, nullptr);
    EXPECT_EQ(g_unitmanager, nullptr);
}

TEST_F(StateTest, EscapeLeavesTheBattleForTheMenuAndReleasesIt) {
    new_battle(12);
    script = [&](int f) { hold(DIK_ESCAPE, f >= 3 && f < 5); };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    EXPECT_EQ(g_game_state, GS_MAINMENU);
    EXPECT_EQ(frame, 6);
    EXPECT_EQ(g_map, nullptr);
    EXPECT_EQ(g_playermanager, nullptr);
    EXPECT_EQ(g_minimap_texture, nullptr);
}

TEST_F(StateTest, HoveredTileOnlyOverTheBattlefieldAndTheHandOverTheTurnButtons) {
    new_battle(13);
    const int h = 768;
    struct seen {
        bool tile;
        int cursor;
    };
    std::vector<seen> seen_frames;
    script = [&](int f) {
        if (f < 3)
            mouse(500, 400, false); // the battlefield
        else if (f < 6)
            mouse(60, 16, false); // the menu button
        else if (f < 9)
            mouse(60, h - 108, false); // the end-turn button
        else if (f < 12)
            mouse(60, h - 50, false); // the minimap
    };
    after_frame = [&](int f) {
        seen_frames.push_back({g_hovered_tile != nullptr, g_cursors->get_current()});
        if (f == 12) g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    ASSERT_GE(seen_frames.size(), 12u);
    EXPECT_TRUE(seen_frames[2].tile);
    EXPECT_FALSE(seen_frames[5].tile);
    EXPECT_EQ(seen_frames[5].cursor, 0);
    EXPECT_FALSE(seen_frames[8].tile);
    EXPECT_EQ(seen_frames[8].cursor, 1);
    EXPECT_FALSE(seen_frames[11].tile);
    EXPECT_EQ(seen_frames[11].cursor, 0);
}

TEST_F(StateTest, EndTurnDoesNothingWhileTheSelectedUnitIsNotReady) {
    new_battle(14);
    c_player* first = g_playermanager->get_current_player();
    ASSERT_NE(first, nullptr);
    // A unit of the first player with a free neighbour, sent walking.
    c_unit* walker = nullptr;
    c_tile* free_tile = nullptr;
    for (c_unit* u : first->get_units()) {
        for (int r = 0; r < g_map->get_rows() && !free_tile; ++r)
            for (int c = 0; c < g_map->get_cols() && !free_tile; ++c)
                if (u->classify(g_map->get_tile(c, r)) == CLASS_MOVE) free_tile = g_map->get_tile(c, r);
        if (free_tile) {
            walker = u;
            break;
        }
    }
    ASSERT_NE(walker, nullptr);
    walker->select();
    walker->act(free_tile, 0, 0);
    ASSERT_FALSE(walker->can_act());
    ASSERT_EQ(first->get_selected(), walker);
    script = [&](int f) {
        mouse(600, 300, false);
        hold(DIK_E, f == 1);
    };
    after_frame = [&](int f) {
        if (f == 3) {
            EXPECT_EQ(g_playermanager->get_current_player(), first);
            g_game_state = GS_QUIT;
        }
    };
    frame_ms = 1; // the walk must not end before E is released
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
}

TEST_F(StateTest, EndTurnPassesTheTurnWithNothingSelected) {
    new_battle(14);
    c_player* first = g_playermanager->get_current_player();
    ASSERT_NE(first, nullptr);
    script = [&](int f) {
        mouse(600, 300, false);
        hold(DIK_E, f == 1);
    };
    after_frame = [&](int f) {
        if (f == 3) {
            EXPECT_NE(g_playermanager->get_current_player(), first);
            g_game_state = GS_QUIT;
        }
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
}

TEST_F(StateTest, HoldingSRunsUpdateStepsOf500Milliseconds) {
    new_battle(15);
    std::vector<int> steps;
    script = [&](int f) {
        hold(DIK_S, f >= 5);
        frame_ms = f >= 5 ? 500 : 33;
    };
    after_frame = [&](int f) {
        steps.push_back(g_interpolator->update_time - g_interpolator->prev_update_time);
        if (f == 15) g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    ASSERT_GE(steps.size(), 15u);
    EXPECT_EQ(steps[3], 33);
    EXPECT_EQ(steps[12], 500);
}

TEST_F(StateTest, TheVictoryBannerStaysAtFullStrength) {
    new_battle(16);
    // Ctrl + X gives up every unit of the player whose turn it is, until one player is left.
    std::vector<int> fades;
    script = [&](int f) {
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        mouse(600, 300, false);
        if (f % 40 < 2 && g_playermanager->get_num_alive() > 1) {
            hold(DIK_LCONTROL, true);
            hold(DIK_X, true);
        }
    };
    after_frame = [&](int f) {
        if (f > 250) {
            EXPECT_EQ(g_playermanager->get_num_alive(), 1);
            fades.push_back(g_banner.fade.value);
        }
        if (f == 300) g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    ASSERT_FALSE(fades.empty());
    for (int v : fades)
        EXPECT_GE(v, 1200 - 35);
    EXPECT_EQ(g_banner.text, g_stringtable->get_string("gameplay", "victory"));
}

} // namespace
