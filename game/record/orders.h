// The orders a player gives in a battle, as one value each. The human player's mouse and keys,
// the battle screen's buttons and a record being loaded or watched all go through give_order, so
// that what a record holds is exactly what changed the battle: the order is written to the
// battle's record before it takes effect, and a record played back refuses any order the
// battle would not have taken at that moment.
#pragma once
#include <functional>
#include <string>

class c_unit;

enum order_kind : int {
    ORDER_SELECT = 0,     // a click on one of the player's ready units (not the selected one)
    ORDER_SHOW_MOVES = 1, // keypad 5, or a click on the selected unit: its options blink
    ORDER_ACT = 2,        // the selected unit moves to, strikes or shoots at a tile (aim inside it)
    ORDER_DESELECT = 3,   // a click on nothing the selected unit could do
    ORDER_DISBAND = 4,    // X: the selected unit is destroyed
    ORDER_GIVE_UP = 5,    // Ctrl + X: every unit of the player is destroyed
    ORDER_END_TURN = 6,   // E or the end-turn button
    ORDER_NEXT_UNIT = 7,  // N or the ready-units button: the next ready unit is selected
};
constexpr int num_order_kinds = 8;

// Its name in a record ("select", "act", ...); null outside the kinds.
const char* order_name(int kind);
// The kind of a name, -1 for none.
int order_kind_of(const std::string& name);

struct battle_order {
    int kind = ORDER_SELECT;
    int player = -1;          // index in the player manager: the current player when given
    int unit = -1;            // c_unit::id, -1 for orders to the player (give up, end turn, next)
    int col = -1, row = -1;   // the tile of ORDER_ACT, -1 otherwise
    int aim_x = 0, aim_y = 0; // the mouse inside that tile (map pixels), 0 otherwise
    bool operator==(const battle_order&) const = default;
};

// Why the battle would not take the order now ("" when it would): no current player or another
// player's turn, a unit that is not there, not the player's, not selected or dying, a unit in
// action, a tile off the map, an aim outside the tile. The same rules the mouse and keys obey.
// `unit` is the unit the order names when the caller has it at hand (the player's own input);
// otherwise it is looked up by its id.
std::string order_refusal(const battle_order& order, c_unit* unit = nullptr);

// Takes the order when the battle would: written to the open battle record first (there is
// none while a record is played back), then its effect, then the turn it may have passed.
// Returns false (nothing happens, nothing is written) when order_refusal has a reason.
bool give_order(const battle_order& order, c_unit* unit = nullptr);

// When set, the orders of this machine's mouse and keys go here instead of taking effect: a
// network battle sends them to its host, which hands them back numbered, to be carried out on
// every machine at the same step. Answers whether the order was taken.
extern std::function<bool(const battle_order&)> g_order_input;
// An order of this machine's player: checked as give_order checks it, then handed to
// g_order_input when set, else given at once.
bool give_input_order(const battle_order& order, c_unit* unit = nullptr);
