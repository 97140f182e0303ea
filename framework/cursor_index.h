// The program's cursor set: which pointer picture each index of g_cursors is. The interface
// loader adds the cursors of interface.ini's [cursors] section in this order, so game code
// chooses a pointer by name and the data checker knows the keys the section must hold.
#pragma once
#include <array>

enum cursor_index : int {
    CURSOR_ARROW,
    CURSOR_HAND,
    // The view scrolling's arrows: the four edges, then the four corners.
    CURSOR_SCROLL_LEFT,
    CURSOR_SCROLL_RIGHT,
    CURSOR_SCROLL_UP,
    CURSOR_SCROLL_DOWN,
    CURSOR_SCROLL_UL,
    CURSOR_SCROLL_UR,
    CURSOR_SCROLL_DL,
    CURSOR_SCROLL_DR,
    CURSOR_SELECT,
    // Moves and attacks in the six hex directions, in hex_direction's order: CURSOR_MOVE_NW + d.
    CURSOR_MOVE_NW,
    CURSOR_MOVE_NE,
    CURSOR_MOVE_W,
    CURSOR_MOVE_E,
    CURSOR_MOVE_SW,
    CURSOR_MOVE_SE,
    CURSOR_NOMOVE,
    CURSOR_ATTACK_NW,
    CURSOR_ATTACK_NE,
    CURSOR_ATTACK_W,
    CURSOR_ATTACK_E,
    CURSOR_ATTACK_SW,
    CURSOR_ATTACK_SE,
    CURSOR_TARGET,
    CURSOR_NOTARGET,
    CURSOR_COUNT
};

// The key of each cursor in interface.ini's [cursors] section, by index.
constexpr std::array<const char*, CURSOR_COUNT> cursor_names = {
    "arrow",     "hand",      "scroll_left", "scroll_right", "scroll_up", "scroll_down", "scroll_ul",
    "scroll_ur", "scroll_dl", "scroll_dr",   "select",       "move_nw",   "move_ne",     "move_w",
    "move_e",    "move_sw",   "move_se",     "nomove",       "attack_nw", "attack_ne",   "attack_w",
    "attack_e",  "attack_sw", "attack_se",   "target",       "notarget"};
