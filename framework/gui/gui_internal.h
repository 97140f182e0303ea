// Helpers shared by the widget units; not for the screens.
#pragma once
#include <algorithm>
#include <string>

#include "framework/gui/gui.h"

namespace gui_detail {

inline bool key_down(const BYTE* keys, int code) {
    return keys && code > 0 && code < 256 && (keys[code] & 0x80) != 0;
}
// A hot key held, as the widgets see it: key_down, except for the keys a focused name box reads
// (gui_text_key) while a box has the focus, and for such a key held then until it is released.
bool hot_key_down(const BYTE* keys, int code);
inline bool button_down(const BYTE* left_button) {
    return left_button && (*left_button & 0x80) != 0;
}
inline bool point_in(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
inline int clamp_state(int state) {
    return std::clamp(state, 0, 3);
}
inline bool empty_rect(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// Draws what the batches hold so far, so that what follows lies on top of it: widgets are
// drawn at one depth and overlap by drawing order.
void flush(const c_gui_settings& settings);
// One unrotated quad at depth 0 over `rect` with the whole image (null: untextured).
void quad(const c_gui_settings& settings, const RECT& rect, c_image* image, D3DCOLOR colour);
// A label in a rectangle with the text style of a state; null when there is nothing to show
// (no font, an empty text or an empty rectangle).
c_text* make_label(const c_gui_settings& settings, const std::string& text, const RECT& rect, int state);
// Draws a label on top of everything drawn so far, clipped to `clip` so that a long text never
// spills out of its widget.
void draw_label(const c_gui_settings& settings, c_text* label, const RECT& clip);

} // namespace gui_detail
