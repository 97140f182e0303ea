// Random legal orders for a battle built from the game's data: what the exactness test and the
// record benchmark play. The choices come from the caller's own generator, never from the
// battle's streams, so choosing an order changes nothing in the battle.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "game/battle_turns.h"
#include "game/hexmap.h"
#include "game/player.h"
#include "game/record/battle_record.h"
#include "game/record/orders.h"
#include "game/unit.h"

// The ready units of the current player, not dying.
inline std::vector<c_unit*> ready_units_of(const c_player* p) {
    std::vector<c_unit*> out;
    for (c_unit* u : p->get_units())
        if (u->can_act() && !u->dying) out.push_back(u);
    return out;
}

// Tiles the unit could act on, with the attacks and shots first in `out` when `prefer_attack`.
inline std::vector<c_tile*> act_tiles(const c_unit* u, bool prefer_attack) {
    std::vector<c_tile*> attacks, moves;
    for (int r = 0; r < g_map->get_rows(); ++r)
        for (int c = 0; c < g_map->get_cols(); ++c) {
            c_tile* t = g_map->get_tile(c, r);
            const int k = u->classify(t);
            if (k == CLASS_ATTACK || k == CLASS_TARGET) attacks.push_back(t);
            if (k == CLASS_MOVE || k == CLASS_NOMOVE) moves.push_back(t);
        }
    if (prefer_attack && !attacks.empty()) return attacks;
    attacks.insert(attacks.end(), moves.begin(), moves.end());
    return attacks;
}

// One order the battle takes now, drawn from `rng`: mostly selections and moves, strikes and
// shots (aimed anywhere in the tile, so cannonballs take every line), now and then the other
// orders, and rarely a give-up or a disband. Call only while no unit is in action.
inline battle_order random_order(std::mt19937& rng, int give_up_per_mille = 3) {
    battle_order o;
    c_player* p = g_playermanager->get_current_player();
    o.player = g_playermanager->get_current();
    auto roll = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<c_unit*> ready = ready_units_of(p);
    c_unit* selected = p->get_selected();
    const int dice = roll(1000);
    if (dice < give_up_per_mille) {
        o.kind = ORDER_GIVE_UP;
        return o;
    }
    if (dice < 30 || ready.empty()) {
        o.kind = roll(3) == 0 ? ORDER_NEXT_UNIT : ORDER_END_TURN;
        if (o.kind == ORDER_END_TURN && selected && !selected->can_act()) o.kind = ORDER_NEXT_UNIT;
        return o;
    }
    if (!selected || selected->dying || dice < 120) {
        c_unit* u = ready[static_cast<size_t>(roll(static_cast<int>(ready.size())))];
        if (u == selected) {
            o.kind = ORDER_SHOW_MOVES;
        } else {
            o.kind = ORDER_SELECT;
        }
        o.unit = u->id;
        return o;
    }
    o.unit = selected->id;
    if (dice < 135) {
        o.kind = dice < 132 ? ORDER_DESELECT : ORDER_DISBAND;
        return o;
    }
    const std::vector<c_tile*> tiles = act_tiles(selected, dice < 700);
    if (tiles.empty()) {
        o.kind = ORDER_DESELECT;
        return o;
    }
    const c_tile* t = tiles[static_cast<size_t>(roll(static_cast<int>(tiles.size())))];
    o.kind = ORDER_ACT;
    o.col = t->col, o.row = t->row;
    o.aim_x = roll(std::max(t->right - t->left, 1));
    o.aim_y = roll(std::max(t->bottom - t->top, 1));
    return o;
}

// The battle's state after a step or an order, as the exactness test compares it.
struct state_sample {
    std::uint32_t step;
    int orders; // orders given so far
    std::uint64_t hash;
    bool operator==(const state_sample&) const = default;
};

// Update steps until nothing is in action (each one sampled), at most `limit`.
inline void run_until_quiet(std::vector<state_sample>* samples, int orders, bool keep_effects,
                            int limit = 100000) {
    for (int i = 0; i < limit && !battle_is_quiet(); ++i) {
        battle_update_step();
        if (!keep_effects) {
            clear_effects(g_effects);
            clear_effects(g_overlays);
        }
        if (samples) samples->push_back({g_battle_step, orders, battle_state_hash()});
    }
}
