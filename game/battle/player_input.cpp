// The human player's orders: keyboard, selection by click, and the cursor that says what a click
// on the hovered tile would do. Every order goes through give_input_order (game/record/orders.h):
// at once through give_order, which writes it to the battle's record before it takes effect, or
// to the host of a network battle.
#include "framework/cursor_index.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/record/orders.h"
#include "platform/dinput.h"

namespace {

bool busy() {
    return g_unitmanager && g_unitmanager->is_busy();
}

// A unit already queued for deletion still stands on its tile until the update step ends; a key
// held over several frames must not order it about or kill it again.
bool dying(const c_unit* unit) {
    return unit->dying;
}

// Which of the six neighbours of (col, row) the tile is (a hex_direction); -1 for none.
int neighbour_direction(int col, int row, const c_tile* tile) {
    return tile ? hex_direction_between({col, row}, {tile->col, tile->row}) : -1;
}

// Ctrl + X as one chord: it acts in the frame in which both keys are first down together, so a
// chord held over a turn change does not give up the next player's units as well.
bool give_up_pressed() {
    const bool ctrl = key_down(DIK_LCONTROL) || key_down(DIK_RCONTROL);
    const bool ctrl_before = (g_kb_previous[DIK_LCONTROL] & 0x80) || (g_kb_previous[DIK_RCONTROL] & 0x80);
    return ctrl && key_down(DIK_X) && !(ctrl_before && (g_kb_previous[DIK_X] & 0x80));
}

int my_index(const c_player* player) {
    return player->get_manager() ? player->get_manager()->get_current() : -1;
}

void order_unit(const c_player* player, int kind, c_unit* unit, const c_tile* tile = nullptr, int aim_x = 0,
                int aim_y = 0) {
    battle_order o;
    o.kind = kind;
    o.player = my_index(player);
    o.unit = unit->id;
    if (tile) o.col = tile->col, o.row = tile->row, o.aim_x = aim_x, o.aim_y = aim_y;
    give_input_order(o, unit);
}

} // namespace

void c_humanplayer::handle_input(c_tile* cursor_tile, bool clicked, int aim_x, int aim_y) {
    if (selected && !busy()) handle_keys(aim_x, aim_y);
    if (give_up_pressed()) give_up();
    if (!cursor_tile) {
        if (clicked && selected && !busy()) order_unit(this, ORDER_DESELECT, selected);
        return;
    }
    handle_tile(cursor_tile, clicked, aim_x, aim_y);
}

// Keypad 7 9 4 6 1 3 lie around 5 as the six neighbours lie around a tile.
bool c_humanplayer::handle_keys(int aim_x, int aim_y) {
    static const int keys[6] = {DIK_NUMPAD7, DIK_NUMPAD9, DIK_NUMPAD4, DIK_NUMPAD6, DIK_NUMPAD1, DIK_NUMPAD3};
    c_unit* unit = selected;
    for (int i = 0; i < 6; ++i) {
        if (!key_pressed(keys[i])) continue;
        // Off the map's edge there is nothing to do.
        if (const c_tile* to =
                g_map ? g_map->get_neighbour(unit->get_col(), unit->get_row(), hex_directions[i]) : nullptr)
            order_unit(this, ORDER_ACT, unit, to, aim_x, aim_y);
        return true;
    }
    if (key_pressed(DIK_NUMPAD5)) {
        order_unit(this, ORDER_SHOW_MOVES, unit);
        return true;
    }
    if (key_pressed(DIK_X)) {
        if (!dying(unit)) order_unit(this, ORDER_DISBAND, unit);
        return true;
    }
    return false;
}

void c_humanplayer::give_up() {
    battle_order o;
    o.kind = ORDER_GIVE_UP;
    o.player = my_index(this);
    give_input_order(o);
}

void c_humanplayer::handle_tile(c_tile* tile, bool clicked, int aim_x, int aim_y) {
    c_unit* there = tile->unit;
    if (there && there->get_owner() == this && there->can_act() && !busy() && !dying(there) &&
        (clicked || there != selected)) {
        if (there != selected) g_cursor_choice = CURSOR_SELECT;
        if (!clicked) return;
        order_unit(this, there == selected ? ORDER_SHOW_MOVES : ORDER_SELECT, there);
        return;
    }
    if (!selected || !selected->can_act() || busy()) return;
    const int what = selected->classify(tile);
    const int direction = neighbour_direction(selected->get_col(), selected->get_row(), tile);
    switch (what) {
    case CLASS_NOMOVE:
        g_cursor_choice = CURSOR_NOMOVE;
        break;
    case CLASS_MOVE:
        if (direction >= 0) g_cursor_choice = CURSOR_MOVE_NW + direction;
        break;
    case CLASS_ATTACK:
        if (direction >= 0) g_cursor_choice = CURSOR_ATTACK_NW + direction;
        break;
    case CLASS_TARGET:
        // Only the blinks of where the shot would go: the shot itself aims again when fired.
        selected->aim(tile, aim_x, aim_y);
        g_cursor_choice = CURSOR_TARGET;
        break;
    case CLASS_OUT_OF_RANGE:
        g_cursor_choice = CURSOR_NOTARGET;
        break;
    default:
        break;
    }
    if (!clicked) return;
    if (what == CLASS_NOTHING)
        order_unit(this, ORDER_DESELECT, selected);
    else
        order_unit(this, ORDER_ACT, selected, tile, aim_x, aim_y);
}
