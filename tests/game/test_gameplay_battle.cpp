// Whole battles from DATA, played to the end on the recording device the way the battle screen
// runs them: each frame the current player's handle_input with a scripted mouse and keyboard,
// then the fixed update steps (effects, blinks, units, turn passing, banner), and now and then a
// drawn frame. The script selects units by clicking, shoots, strikes and walks toward the
// nearest enemy (by click or keypad), ends turns, and gives up with Ctrl + X when nothing has
// happened for several rounds, so that every battle ends.
#include <climits>

#include "platform/dinput.h"
#include "tests/game/data_battle_fixture.h"

namespace {

struct battle_counts {
    int frames = 0, steps = 0, selections = 0, shots = 0, strikes = 0, moves = 0, key_orders = 0,
        turn_ends = 0, give_ups = 0, texts_seen = 0, drawn_frames = 0;
};

class WholeBattle : public data_battle_test {
  protected:
    WholeBattle() {
        dev.keep_log = false; // tens of thousands of frames
        g_show_moves = true;
        g_show_names = true;
    }
    ~WholeBattle() override { g_show_moves = g_show_names = false; }

    // One frame as the battle screen runs it: input, then one update step.
    void frame(c_tile* tile, bool clicked, int ax = 0, int ay = 0) {
        ++counts.frames;
        g_cursor_choice = 0;
        g_hovered_tile = tile;
        if (c_player* p = g_playermanager->get_current_player()) p->handle_input(tile, clicked, ax, ay);
        update_step();
        if (counts.frames % 97 == 0) draw_frame();
    }
    void update_step() {
        ++counts.steps;
        step();
        update_effects(g_effects);
        update_effects(g_overlays);
        counts.texts_seen = std::max<int>(counts.texts_seen, static_cast<int>(g_overlays.size()));
        g_map->update_blinks();
        g_unitmanager->update();
        c_player* p = g_playermanager->get_current_player();
        if (p && p->get_num_ready() < 1) g_playermanager->next_player();
        if (g_playermanager->get_num_alive() == 1)
            show_banner(g_stringtable->get_string("victory"), p ? p->get_color() : 0);
        update_banner();
    }
    void draw_frame() {
        ++counts.drawn_frames;
        ip.drawing = true;
        ip.draw_time = ip.update_time - 10;
        gfx.depth = 0.0f;
        if (c_player* p = g_playermanager->get_current_player()) p->draw_selection();
        g_map->draw(1024, 768);
        gfx.flush();
        draw_effects(g_effects);
        gfx.flush();
        draw_effects(g_overlays);
        gfx.flush();
        draw_banner(&font(), screen_info{});
        ip.drawing = false;
    }
    void settle() {
        for (int i = 0; i < 2000 && g_unitmanager->is_busy(); ++i)
            frame(nullptr, false);
    }

    // The enemy unit nearest to a tile, by hex steps.
    int distance_to_enemy(const c_tile* from, const c_player* me) const {
        int best = INT_MAX;
        for (c_unit* u : g_unitmanager->get_all())
            if (u->get_owner() != me) best = std::min(best, calc_range(from, u->get_tile()));
        return best;
    }

    // The order this unit should get: a shot, a strike, or a step closer to the enemy; null
    // when it has nothing useful to do.
    c_tile* choose_order(c_unit* u, int& what) const {
        c_tile* best = nullptr;
        what = CLASS_NOTHING;
        int best_distance = distance_to_enemy(u->get_tile(), u->get_owner());
        for (int r = 0; r < g_map->get_rows(); ++r)
            for (int c = 0; c < g_map->get_cols(); ++c) {
                c_tile* t = g_map->get_tile(c, r);
                const int k = u->classify(t);
                if (k == CLASS_TARGET || k == CLASS_ATTACK) {
                    if (what != CLASS_TARGET) best = t, what = k;
                } else if (k == CLASS_MOVE && what != CLASS_TARGET && what != CLASS_ATTACK) {
                    const int d = distance_to_enemy(t, u->get_owner());
                    if (d < best_distance) best = t, what = k, best_distance = d;
                }
            }
        return best;
    }

    // The keypad key that orders a unit onto a neighbouring tile (0 when it is none).
    static int key_toward(const c_unit* u, const c_tile* t) {
        const int c = u->get_col(), r = u->get_row();
        const std::pair<c_tile*, int> six[6] = {
            {g_map->get_neighbour_nw(c, r), DIK_NUMPAD7}, {g_map->get_neighbour_ne(c, r), DIK_NUMPAD9},
            {g_map->get_neighbour_w(c, r), DIK_NUMPAD4},  {g_map->get_neighbour_e(c, r), DIK_NUMPAD6},
            {g_map->get_neighbour_sw(c, r), DIK_NUMPAD1}, {g_map->get_neighbour_se(c, r), DIK_NUMPAD3}};
        for (const auto& [tile, key] : six)
            if (tile == t) return key;
        return 0;
    }

    void give_order(c_unit* u, c_tile* t, int what) {
        const int key = key_toward(u, t);
        if (what == CLASS_TARGET) {
            ++counts.shots;
            frame(t, false, 32, 40); // aiming first, as the mouse comes over the tile
            frame(t, true, 32, 40);
        } else if (key && (counts.frames % 3 == 0)) {
            ++counts.key_orders;
            press(key);
            frame(nullptr, false);
            release_keys();
        } else {
            frame(t, true, 20, 20);
        }
        if (what == CLASS_ATTACK) ++counts.strikes;
        if (what == CLASS_MOVE) ++counts.moves;
        settle();
    }

    // One decision of the current player; false when its turn was ended.
    bool play_once(std::vector<c_unit*>& idle) {
        c_player* p = g_playermanager->get_current_player();
        for (c_unit* u : p->get_units()) {
            if (!u->can_act() || std::find(idle.begin(), idle.end(), u) != idle.end()) continue;
            if (p->get_selected() != u) {
                ++counts.selections;
                frame(u->get_tile(), true);
            }
            int what = CLASS_NOTHING;
            c_tile* t = choose_order(u, what);
            if (!t) {
                idle.push_back(u);
                continue;
            }
            give_order(u, t, what);
            return true;
        }
        // Nothing useful left: deselect by clicking off the map, then the end-turn button.
        frame(nullptr, true);
        ++counts.turn_ends;
        g_playermanager->next_player();
        return false;
    }

    long total_hp() const {
        long sum = 0;
        for (c_unit* u : g_unitmanager->get_all())
            sum += u->get_hp() + 1000;
        return sum;
    }

    void play(unsigned seed) {
        new_battle(seed);
        ASSERT_GE(g_playermanager->get_num_alive(), 2) << "pick a seed where two players fight";
        int quiet_turns = 0, last_current = g_playermanager->get_current();
        long last_hp = total_hp();
        std::vector<c_unit*> idle;
        while (g_playermanager->get_num_alive() > 1) {
            ASSERT_LT(counts.frames, 400000) << "the battle does not end";
            play_once(idle);
            if (g_playermanager->get_current() == last_current) continue;
            last_current = g_playermanager->get_current();
            idle.clear();
            const long hp = total_hp();
            quiet_turns = hp == last_hp ? quiet_turns + 1 : 0;
            last_hp = hp;
            if (quiet_turns >= 9 && g_playermanager->get_num_alive() > 1) {
                // Three quiet rounds: the player whose turn it is gives up.
                ++counts.give_ups;
                press(DIK_LCONTROL);
                press(DIK_X);
                frame(nullptr, false);
                release_keys();
                settle();
                quiet_turns = 0;
            }
        }
        settle();
        for (int i = 0; i < 300; ++i)
            frame(nullptr, false); // the last effects play out
    }
    battle_counts counts;
};

void expect_one_winner() {
    int owners = 0;
    for (int i = 0; i < g_playermanager->get_num_players(); ++i)
        owners += g_playermanager->get_player_index(i)->get_num_units() > 0;
    EXPECT_EQ(owners, g_playermanager->get_num_alive());
    EXPECT_LE(owners, 1);
    if (owners == 1) {
        EXPECT_EQ(g_banner.text, g_stringtable->get_string("gameplay", "victory"));
        EXPECT_GT(g_banner.fade.value, 1000) << "the victory banner stays";
    }
    EXPECT_TRUE(g_unitmanager->get_busy().empty());
    EXPECT_EQ(g_map->active_unit, nullptr);
}

TEST_F(WholeBattle, ASeededBattleIsPlayedToTheEnd) {
    play(20240611);
    expect_one_winner();
    EXPECT_GT(counts.selections, 10);
    EXPECT_GT(counts.moves, 10);
    EXPECT_GT(counts.strikes, 3);
    EXPECT_GT(counts.shots, 3);
    EXPECT_GT(counts.key_orders, 3);
    EXPECT_GT(counts.turn_ends, 3);
    EXPECT_GT(counts.texts_seen, 0);
    EXPECT_GT(counts.drawn_frames, 10);
    std::printf("battle: %d frames, %d selections, %d moves, %d strikes, %d shots, %d keypad orders, %d turn "
                "ends, %d give-ups\n",
                counts.frames, counts.selections, counts.moves, counts.strikes, counts.shots,
                counts.key_orders, counts.turn_ends, counts.give_ups);
}

TEST_F(WholeBattle, AnotherSeedOnASmallMapAlsoEnds) {
    play(77);
    expect_one_winner();
}

} // namespace
