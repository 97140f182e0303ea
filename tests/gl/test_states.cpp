// The game states run whole on the recording Direct3D device in a real window: the main menu's
// opening logo, the close request from every screen, and the battle screen's frame (hovered tile,
// cursor choice, end turn, slow motion, victory). Input and the clock are scripted frame by frame
// through the state loops' hooks, so every run is exact and needs no real time.
#include "game/battle/hex.h"
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

TEST_F(StateTest, OnlyAPressSkipsTheLogoNotAButtonHeldSinceBeforeIt) {
    std::vector<int> alphas;
    after_frame = [&](int) { alphas.push_back(logo_alpha()); };
    // Down from the logo's first frame (the click that started the game), let go at frame 20,
    // then pressed at frame 30.
    script = [&](int f) {
        mouse(100, 100, f < 20 || f == 30);
        if (f == 40) g_game_state = GS_OPTIONS;
    };
    g_game_state = GS_MAINMENU;
    gs_mainmenu();
    ASSERT_GE(alphas.size(), 40u);
    EXPECT_GT(alphas[10], 0);
    EXPECT_GT(alphas[19], alphas[10]) << "still fading in while the button is held";
    EXPECT_GT(alphas[29], alphas[19]);
    for (size_t i = 30; i < alphas.size(); ++i)
        EXPECT_EQ(alphas[i], -1) << "frame " << i;
    EXPECT_FALSE(g_opening_logo);
}

TEST_F(StateTest, MenuHotKeysOnlyActWhereThereIsSomethingBehindThem) {
    g_opening_logo = false;
    // L opens the recorded battles and B comes back; M opens network play and B comes back; E
    // does nothing; X opens the exit screen, where C ("no") returns to the menu.
    std::vector<int> states;
    script = [&](int f) {
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        if (f >= 2 && f < 4) hold(DIK_L, true);
        if (f >= 8 && f < 10) hold(DIK_B, true);
        if (f >= 14 && f < 16) hold(DIK_M, true);
        if (f >= 20 && f < 22) hold(DIK_B, true);
        if (f >= 26 && f < 28) hold(DIK_E, true);
        if (f >= 32 && f < 34) hold(DIK_X, true);
        if (f >= 38 && f < 40) hold(DIK_C, true);
        if (f == 48) g_game_state = GS_QUIT;
    };
    after_frame = [&](int) { states.push_back(g_game_state); };
    g_game_state = GS_MAINMENU;
    run_states();
    ASSERT_GE(states.size(), 48u);
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(states[f], GS_MAINMENU) << "frame " << f;
    EXPECT_EQ(states[6], GS_LOADGAME);
    for (int f = 12; f < 16; ++f)
        EXPECT_EQ(states[f], GS_MAINMENU) << "frame " << f;
    EXPECT_EQ(states[19], GS_NETWORK);
    for (int f = 25; f < 34; ++f)
        EXPECT_EQ(states[f], GS_MAINMENU) << "frame " << f;
    EXPECT_EQ(states[36], GS_EXITSCREEN);
    EXPECT_EQ(states[44], GS_MAINMENU);
}

TEST_F(StateTest, ANewBattleIsReportedWithItsOwnViewFromTheFirstFrame) {
    g_opening_logo = false;
    // A view left far down and right, as a finished battle on a big map may leave it.
    scroll_x = scroll_y = 900.0;
    scroll_ix = scroll_iy = 900;
    script = [&](int f) { hold(DIK_S, f == 2); };
    std::vector<std::string> views;
    after_frame = [&](int f) {
        if (g_game_state == GS_GAMEPLAY) {
            const std::string r = state_report();
            const size_t at = r.find("view=");
            views.push_back(at == std::string::npos ? std::string() : r.substr(at, r.find('\n', at) - at));
        }
        if (f == 12) g_game_state = GS_QUIT;
    };
    g_game_state = GS_MAINMENU;
    run_states();
    ASSERT_GE(views.size(), 3u);
    EXPECT_NE(views.front(), "view=900,900");
    for (const std::string& v : views)
        EXPECT_EQ(v, views.front()) << "the view moved by itself after the battle began";
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

namespace {

TEST_F(StateTest, AHeldCtrlXGivesUpOnlyThePlayerWhoseTurnItWas) {
    new_battle(17);
    ASSERT_EQ(g_playermanager->get_num_alive(), 3);
    const c_player* first = g_playermanager->get_current_player();
    // Held for 20 frames: long past the moment the turn passes to the next player.
    script = [&](int f) {
        mouse(600, 300, false);
        hold(DIK_LCONTROL, f >= 2 && f < 22);
        hold(DIK_X, f >= 2 && f < 22);
    };
    bool checked = false;
    after_frame = [&](int f) {
        if (f != 30) return;
        EXPECT_EQ(g_playermanager->get_num_alive(), 2);
        EXPECT_EQ(first->get_num_units(), 0);
        EXPECT_NE(g_playermanager->get_current_player(), first);
        checked = true;
        g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    EXPECT_TRUE(checked);
}

TEST_F(StateTest, AHeldKeypadKeyGivesOneOrder) {
    new_battle(18);
    c_player* player = g_playermanager->get_current_player();
    ASSERT_NE(player, nullptr);
    // A ready unit with a free neighbour in a keypad direction.
    static const int keys[6] = {DIK_NUMPAD7, DIK_NUMPAD9, DIK_NUMPAD4, DIK_NUMPAD6, DIK_NUMPAD1, DIK_NUMPAD3};
    c_unit* walker = nullptr;
    int key = 0;
    for (c_unit* u : player->get_units()) {
        if (u->get_moves_left() < 2) continue; // a unit that can walk twice would show a repeat
        for (int d = 0; d < 6 && !walker; ++d) {
            c_tile* t = g_map->get_neighbour(u->get_col(), u->get_row(), hex_directions[d]);
            if (t && u->can_act() && u->classify(t) == CLASS_MOVE) {
                walker = u;
                key = keys[d];
            }
        }
        if (walker) break;
    }
    ASSERT_NE(walker, nullptr);
    walker->select();
    const int moves = walker->get_moves_left();
    const c_tile* start = walker->get_tile();
    script = [&](int f) {
        mouse(600, 300, false);
        hold(key, f >= 2 && f < 120);
    };
    bool checked = false;
    after_frame = [&](int f) {
        if (f != 130) return;
        EXPECT_NE(walker->get_tile(), start);
        EXPECT_EQ(walker->get_moves_left(), moves - 1);
        checked = true;
        g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    EXPECT_TRUE(checked);
}

} // namespace

// ---- bad input and device loss

namespace {

TEST_F(StateTest, ADeviceResetUnderTheExitScreenKeepsTheBattleAndRedrawsTheMinimap) {
    new_battle(19);
    const c_map* map = g_map;
    const int resets = g_device_resets;
    std::vector<int> states;
    script = [&](int f) {
        mouse(600, 300, false);
        if (f == 3) g_core->quit = true;
        hold(DIK_C, f >= 8 && f < 10);
    };
    after_frame = [&](int f) {
        states.push_back(g_game_state);
        // The window is moved while the question shows: the next frame resets the device.
        if (f == 5) g_core->forced_reset = true;
        if (f == 14) {
            EXPECT_EQ(g_map, map);
            EXPECT_NE(g_minimap_texture, nullptr);
            EXPECT_NE(g_minimap_depth, nullptr);
            g_game_state = GS_QUIT;
        }
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    EXPECT_EQ(states.at(6), GS_EXITSCREEN);
    EXPECT_EQ(states.at(12), GS_GAMEPLAY);
    EXPECT_GT(g_device_resets, resets);
    EXPECT_GE(dev().resets, 1);
}

TEST_F(StateTest, ABattleWithoutUnitsRunsWithNobodyToGiveOrders) {
    gameplay_load_static();
    g_map = new c_map(12, 12, true);
    g_playermanager->add_player(new c_humanplayer(0xFFFF0000, "Brindlecap", 0));
    g_playermanager->add_player(new c_humanplayer(0xFF7F7FFF, "Thistlewick", 0));
    g_playermanager->next_player(); // nobody owns a unit: no turn starts
    ASSERT_EQ(g_playermanager->get_current_player(), nullptr);
    // Clicks on the map, N, E and Ctrl + X: none of them has anyone to act for.
    script = [&](int f) {
        std::memset(g_kb_state, 0, sizeof g_kb_state);
        mouse(500, 400, f % 4 == 1);
        if (f % 10 == 3) hold(DIK_N, true);
        if (f % 10 == 5) hold(DIK_E, true);
        if (f % 10 == 7) {
            hold(DIK_LCONTROL, true);
            hold(DIK_X, true);
        }
    };
    after_frame = [&](int f) {
        if (f == 40) g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    EXPECT_EQ(frame, 41);
}

TEST_F(StateTest, AStateWithoutALoopKeepsShowingFrames) {
    after_frame = [&](int f) {
        if (f == 3) g_game_state = GS_QUIT;
    };
    g_game_state = 42;
    run_states();
    EXPECT_EQ(frame, 4); // frames were drawn, not a busy loop
}

TEST_F(StateTest, MissingTextSectionsGiveEmptyLabels) {
    // Of the menu only the "newgame" label is given; the exit screen and the battle have no
    // section at all.
    write_file(dir.file("stringtable.ini"), "[main]\ncaption=Harnvale\n[mainmenu]\nnewgame=New\n");
    delete g_stringtable;
    {
        cwd_guard start(dir.path());
        g_stringtable = new c_ini("stringtable.ini");
    }
    g_opening_logo = false;
    script = [&](int f) { hold(DIK_S, f == 2); };
    std::vector<int> states, glyphs;
    after_frame = [&](int f) {
        states.push_back(g_game_state);
        glyphs.push_back(glyphs_drawn());
        if (f == 10) g_game_state = GS_QUIT;
    };
    g_game_state = GS_MAINMENU;
    run_states();
    // The menu shows the one label it has and nothing for the others.
    EXPECT_EQ(glyphs.at(1), 3);
    // S still starts a battle, shown with empty labels.
    EXPECT_EQ(states.at(8), GS_GAMEPLAY);
}

TEST_F(StateTest, ArrowKeysScrollAtTheSpeedSettingsIniGives) {
    new_battle(20);
    // Held from frame 10, when the frame times have settled to one 33 ms step a frame.
    script = [&](int f) {
        mouse(600, 300, false);
        hold(DIK_RIGHT, f >= 10 && f < 20);
    };
    std::vector<int> xs;
    after_frame = [&](int f) {
        xs.push_back(scroll_ix);
        if (f == 25) g_game_state = GS_QUIT;
    };
    g_game_state = GS_GAMEPLAY;
    gs_gameplay();
    ASSERT_GE(xs.size(), 25u);
    // settings.ini's scroll_speed of 12 times rules.ini's hscroll_ratio of 1.6: 19 pixels a frame.
    EXPECT_EQ(xs[19] - xs[9], 10 * 19);
    EXPECT_EQ(xs[24], xs[19]);
}

TEST_F(StateTest, EveryStateLoopCallsTheFrameHookBeforeItPresents) {
    struct loop {
        const char* name;
        int state;
        std::function<void()> prepare;
    } const loops[] = {
        {"logo", GS_MAINMENU, [] { g_opening_logo = true; }},
        {"main menu", GS_MAINMENU, [] { g_opening_logo = false; }},
        {"exit screen", GS_EXITSCREEN, nullptr},
        {"options", GS_OPTIONS, nullptr},
        {"credits", GS_CREDITS, nullptr},
        {"battle", GS_GAMEPLAY, [this] { new_battle(21); }},
        {"no loop", 42, nullptr},
    };
    for (const loop& l : loops) {
        SCOPED_TRACE(l.name);
        if (l.prepare) l.prepare();
        frame = 0;
        const int presented = g_core->frame_count;
        std::vector<int> seen;
        after_frame = [&](int f) {
            // The hook sees the finished frame not yet presented: as many frames presented as
            // hooks called before it.
            seen.push_back(g_core->frame_count - presented);
            if (f == 3) g_game_state = GS_QUIT;
        };
        g_game_state = l.state;
        run_states();
        ASSERT_EQ(seen.size(), 4u);
        for (int f = 0; f < 4; ++f)
            EXPECT_EQ(seen[f], f) << "frame " << f;
    }
}

TEST_F(StateTest, AnEmptyCursorSetIsReportedNotACrash) {
    c_cursor* loaded = g_cursors;
    c_cursor empty(g_gfx);
    g_cursors = &empty;
    g_opening_logo = false;
    g_game_state = GS_MAINMENU;
    EXPECT_RAISES(gs_mainmenu(), "Cursor identifier out of range.");
    g_cursors = loaded;
}

} // namespace
