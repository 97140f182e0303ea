// Hex geometry of the battlefield's offset rows, apart from any map: the six directions, the
// neighbouring cell in a direction, and the distance the units measure ranges with.
//
// Rows are offset: even rows are shifted half a tile to the right of odd rows, so a cell's two
// diagonal neighbours in the row above or below sit at columns col and col + 1 on an even row and
// at col - 1 and col on an odd one. Positions may lie off any map; a map answers which exist.
#pragma once
#include <array>

// The six directions, in the order every list of neighbours keeps (keypad 7 9 4 6 1 3, and the
// move and attack cursors).
enum hex_direction : int { HEX_NW, HEX_NE, HEX_W, HEX_E, HEX_SW, HEX_SE };
constexpr std::array<hex_direction, 6> hex_directions = {HEX_NW, HEX_NE, HEX_W, HEX_E, HEX_SW, HEX_SE};

struct hex_pos {
    int col, row;
    bool operator==(const hex_pos&) const = default;
};

// The cell next to `at` in direction `d`. The parity is the row's own (row % 2 == 0 is even), so
// the rule holds for rows above the map as well.
constexpr hex_pos hex_neighbour(hex_pos at, hex_direction d) {
    const bool even = at.row % 2 == 0;
    switch (d) {
    case HEX_NW:
        return {even ? at.col : at.col - 1, at.row - 1};
    case HEX_NE:
        return {even ? at.col + 1 : at.col, at.row - 1};
    case HEX_W:
        return {at.col - 1, at.row};
    case HEX_E:
        return {at.col + 1, at.row};
    case HEX_SW:
        return {even ? at.col : at.col - 1, at.row + 1};
    case HEX_SE:
        return {even ? at.col + 1 : at.col, at.row + 1};
    }
    return at;
}

// Which direction leads from `from` to `to`; -1 when they are not neighbours.
int hex_direction_between(hex_pos from, hex_pos to);

// The step the distance walk takes from a cell toward a target whose centre lies (dx, dy) away
// (any unit that keeps the order of the centres, y growing downward): up or down a row when the
// target is higher or lower, diagonally toward its side (west when it is straight above or
// below), along the row otherwise. (0, 0) is the target itself and has no step: the answer is
// HEX_E then, and callers stop before asking.
hex_direction hex_step_toward(int dx, int dy);

// The number of steps of the walk from `from` to `to`, each to the neighbour hex_step_toward
// picks: the range units measure with. It is the length of a shortest path over the six
// neighbours, so it is symmetric and 0 only from a cell to itself. A map's edge never lengthens
// it: where the walk's neighbour is off the map, the other diagonal gives a walk as short.
int hex_distance(hex_pos from, hex_pos to);
