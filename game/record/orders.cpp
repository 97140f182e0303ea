#include "game/record/orders.h"

#include <cstring>

#include "game/battle/battle_turns.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/record/battle_record.h"

namespace {

constexpr const char* order_names[num_order_kinds] = {"select",  "moves",  "act",     "deselect",
                                                      "disband", "giveup", "endturn", "next"};

constexpr int max_aim = 65536;

bool busy() {
    return g_unitmanager && g_unitmanager->is_busy();
}

// The orders to a unit need it to be the player's selected one, in play and idle units only.
std::string unit_refusal(const battle_order& o, const c_player* player, const c_unit* unit) {
    if (!unit) return "names a unit that is not in the battle";
    if (unit->get_owner() != player) return "names a unit of another player";
    if (unit->dying) return "names a unit that has fallen";
    if (busy()) return "comes while a unit is in action";
    if (o.kind == ORDER_SELECT) {
        if (unit == player->get_selected()) return "selects the unit already selected";
        if (!unit->can_act()) return "selects a unit that cannot act";
        return "";
    }
    if (unit != player->get_selected()) return "orders a unit that is not selected";
    if (o.kind != ORDER_ACT) return "";
    if (!g_map || o.col < 0 || o.row < 0 || o.col >= g_map->get_cols() || o.row >= g_map->get_rows())
        return "names a tile off the map";
    // A keypad order carries the aim of whatever tile the mouse is over, so the aim may lie
    // outside the tile; it only has to stay within what a screen can give.
    if (o.aim_x < -max_aim || o.aim_x > max_aim || o.aim_y < -max_aim || o.aim_y > max_aim)
        return "aims too far from its tile";
    return "";
}

void carry_out(const battle_order& o, c_player* player, c_unit* unit) {
    switch (o.kind) {
    case ORDER_SELECT:
        if (c_unit* was = player->get_selected()) was->deselect();
        unit->select();
        break;
    case ORDER_SHOW_MOVES:
        unit->show_moves();
        break;
    case ORDER_ACT:
        unit->act(g_map->get_tile(o.col, o.row), o.aim_x, o.aim_y);
        break;
    case ORDER_DESELECT:
        unit->deselect();
        break;
    case ORDER_DISBAND:
        unit->deselect();
        player->set_selected(nullptr);
        unit->die();
        break;
    case ORDER_GIVE_UP:
        // die only queues the unit: the list stays intact while we walk it.
        for (c_unit* u : player->get_units())
            if (!u->dying) u->die();
        break;
    case ORDER_END_TURN:
        gameplay_end_turn();
        break;
    case ORDER_NEXT_UNIT:
        player->select_next();
        break;
    default:
        break;
    }
}

bool is_unit_order(int kind) {
    return kind == ORDER_SELECT || kind == ORDER_SHOW_MOVES || kind == ORDER_ACT || kind == ORDER_DESELECT ||
           kind == ORDER_DISBAND;
}

} // namespace

const char* order_name(int kind) {
    return kind >= 0 && kind < num_order_kinds ? order_names[kind] : nullptr;
}

int order_kind_of(const std::string& name) {
    for (int k = 0; k < num_order_kinds; ++k)
        if (name == order_names[k]) return k;
    return -1;
}

namespace {
c_unit* named_unit(const battle_order& o, c_unit* unit) {
    if (unit || !is_unit_order(o.kind)) return unit;
    return g_unitmanager ? g_unitmanager->find_unit(o.unit) : nullptr;
}
} // namespace

std::string order_refusal(const battle_order& o, c_unit* unit) {
    if (o.kind < 0 || o.kind >= num_order_kinds) return "is no order";
    const c_player* player = current_player();
    if (!player) return "comes when it is nobody's turn";
    if (o.player != g_playermanager->get_current()) return "comes in another player's turn";
    if (is_unit_order(o.kind)) return unit_refusal(o, player, named_unit(o, unit));
    if (o.unit != -1 || o.col != -1 || o.row != -1 || o.aim_x != 0 || o.aim_y != 0)
        return "gives a player's order to a unit";
    if (o.kind == ORDER_END_TURN) {
        const c_unit* selected = player->get_selected();
        if (selected && !selected->can_act()) return "ends the turn while the selected unit is in action";
    }
    return "";
}

bool give_order(const battle_order& o, c_unit* unit) {
    unit = named_unit(o, unit);
    if (!order_refusal(o, unit).empty()) return false;
    record_order(o);
    carry_out(o, current_player(), unit);
    record_note_progress();
    return true;
}

std::function<bool(const battle_order&)> g_order_input;

bool give_input_order(const battle_order& o, c_unit* unit) {
    if (!g_order_input) return give_order(o, unit);
    unit = named_unit(o, unit);
    return order_refusal(o, unit).empty() && g_order_input(o);
}
