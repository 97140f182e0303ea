// The distance walk and the direction lookup of the hex geometry.
#include "game/battle/hex.h"

namespace {
// A cell's centre across in half tiles: even rows sit half a tile right of odd ones. Only the
// order of these values matters to the walk, and it is the order of the tiles' pixel centres.
int half_tiles_across(hex_pos p) {
    return 2 * p.col + (p.row % 2 == 0 ? 1 : 0);
}
} // namespace

int hex_direction_between(hex_pos from, hex_pos to) {
    for (hex_direction d : hex_directions)
        if (hex_neighbour(from, d) == to) return d;
    return -1;
}

hex_direction hex_step_toward(int dx, int dy) {
    if (dy < 0) return dx > 0 ? HEX_NE : HEX_NW;
    if (dy > 0) return dx > 0 ? HEX_SE : HEX_SW;
    return dx < 0 ? HEX_W : HEX_E;
}

int hex_distance(hex_pos from, hex_pos to) {
    const int target_x = half_tiles_across(to);
    int steps = 0;
    // Every step brings the row one closer or, along the target's row, the column: it ends.
    for (hex_pos at = from; at != to; ++steps)
        at = hex_neighbour(at, hex_step_toward(target_x - half_tiles_across(at), to.row - at.row));
    return steps;
}
