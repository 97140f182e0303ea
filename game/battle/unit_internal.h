// Helpers shared by the unit sources (not part of the units' interface).
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/win32.h"

class c_tile;

// The six neighbours of (col, row) on g_map in the order nw, ne, w, e, sw, se (null off the map).
std::array<c_tile*, 6> neighbours_of(int col, int row);
RECT tile_rect(const c_tile* tile);
// A tile's centre with integer division, as the shots aim at it.
std::array<int, 2> tile_centre(const c_tile* tile);
// The string-table text of a result ([gameplay] of g_stringtable; "" without one).
std::string result_text(const char* key);
// Asks for a map rectangle of the minimap to be redrawn.
void mark_minimap_dirty(const RECT& r);
// The flag's bobbing offset in pixels at `time_ms` for a unit with `moves_left` moves: a sine of
// 12 pixels whose half period is 1000 / moves_left milliseconds.
int flag_bob(int phase, int moves_left, std::uint32_t time_ms);
