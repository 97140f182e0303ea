// The battle screen's view and banner: where the view looks, how the player and the action move
// it, and the fading announcement of turns and victory.
//
// Index: 1. screen and map size; 2. scrolling; 3. keeping the action in view; 4. the banner.
#include <algorithm>

#include "framework/core.h"
#include "framework/cursor_index.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "platform/dinput.h"

screen_info g_headless_screen;
banner_state g_banner;

// ---- 1. screen and map size

screen_info get_screen() {
    if (!g_core) return g_headless_screen;
    screen_info s;
    g_core->get_client_size(s.width, s.height);
    s.windowed = g_core->settings.is_windowed != FALSE;
    return s;
}

int map_pixel_width() {
    if (!g_map) return 0;
    return g_map->get_tile_width() * g_map->get_cols() + g_map->get_tile_width() / 2;
}

int map_pixel_height() {
    if (!g_map) return 0;
    return g_map->get_step() * g_map->get_rows() + g_map->get_placement_yoffset();
}

// ---- 2. scrolling

namespace {

void scroll_by_keys(float factor) {
    if (key_down(DIK_LEFT)) scroll_x -= g_hscroll_speed * factor;
    if (key_down(DIK_RIGHT)) scroll_x += g_hscroll_speed * factor;
    if (key_down(DIK_UP)) scroll_y -= g_vscroll_speed * factor;
    if (key_down(DIK_DOWN)) scroll_y += g_vscroll_speed * factor;
}

// Only a full screen has edges the mouse can rest on; a window's edges lead out of it.
void scroll_by_edges(float factor, const screen_info& screen, int map_w, int map_h) {
    if (screen.windowed) return;
    if (g_mouse_x <= 0) {
        if (scroll_x > 0) g_cursor_choice = CURSOR_SCROLL_LEFT;
        scroll_x -= g_hscroll_speed * factor;
    } else if (g_mouse_x >= screen.width - 1) {
        if (scroll_x < map_w - screen.width) g_cursor_choice = CURSOR_SCROLL_RIGHT;
        scroll_x += g_hscroll_speed * factor;
    }
    // Vertical after horizontal, so a corner turns the side arrow into a diagonal one.
    if (g_mouse_y <= 0) {
        if (scroll_y > 0)
            g_cursor_choice = g_cursor_choice == CURSOR_SCROLL_LEFT    ? CURSOR_SCROLL_UL
                              : g_cursor_choice == CURSOR_SCROLL_RIGHT ? CURSOR_SCROLL_UR
                                                                       : CURSOR_SCROLL_UP;
        scroll_y -= g_vscroll_speed * factor;
    } else if (g_mouse_y >= screen.height - 1) {
        if (scroll_y < map_h - screen.height)
            g_cursor_choice = g_cursor_choice == CURSOR_SCROLL_LEFT    ? CURSOR_SCROLL_DL
                              : g_cursor_choice == CURSOR_SCROLL_RIGHT ? CURSOR_SCROLL_DR
                                                                       : CURSOR_SCROLL_DOWN;
        scroll_y += g_vscroll_speed * factor;
    }
}

void scroll_by_minimap(const RECT& rect, const screen_info& screen, int map_w, int map_h) {
    // An empty widget rectangle (a screen too small for it) would divide by zero.
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0) return;
    scroll_x = static_cast<int>(static_cast<double>(g_mouse_x - rect.left) / w * map_w) - screen.width / 2;
    scroll_y = static_cast<int>(static_cast<double>(g_mouse_y - rect.top) / h * map_h) - screen.height / 2;
}

// The view may look half a tile above the map so that the top row's units are not cut off.
void clamp_view(const screen_info& screen, int map_w, int map_h, int tile_w, int tile_h) {
    scroll_x = std::min<double>(scroll_x, map_w - screen.width);
    scroll_x = std::max(scroll_x, 0.0);
    scroll_y = std::min<double>(scroll_y, map_h - screen.height);
    scroll_y = std::max<double>(scroll_y, -(tile_w / 2));
    if (map_w < screen.width) scroll_x = map_w / 2 - screen.width / 2;
    if (map_h + tile_h / 2 < screen.height) scroll_y = map_h / 2 - screen.height / 2;
}

} // namespace

void gameplay_scroll(const RECT& minimap_rect, bool minimap_clicked, float factor) {
    gameplay_scroll(minimap_rect, minimap_clicked, factor, get_screen());
}

void gameplay_scroll(const RECT& minimap_rect, bool minimap_clicked, float factor,
                     const screen_info& screen) {
    const int map_w = map_pixel_width(), map_h = map_pixel_height();
    scroll_by_keys(factor);
    scroll_by_edges(factor, screen, map_w, map_h);
    if (minimap_clicked) scroll_by_minimap(minimap_rect, screen, map_w, map_h);
    const int tile_w = g_map ? g_map->get_tile_width() : 0;
    const int tile_h = g_map ? g_map->get_tile_height() : 0;
    clamp_view(screen, map_w, map_h, tile_w, tile_h);
    truncate_scroll();
}

void gameplay_initial_view(const screen_info& screen) {
    const int map_w = map_pixel_width(), map_h = map_pixel_height();
    const int tile_w = g_map ? g_map->get_tile_width() : 0;
    scroll_x = map_w < screen.width ? map_w / 2 - screen.width / 2 : 0;
    scroll_y = map_h + 32 < screen.height ? map_h / 2 - screen.height / 2 : -(tile_w / 2);
    truncate_scroll();
}

// ---- 3. keeping the action in view

void gameplay_show_rect(int left, int top, int right, int bottom) {
    gameplay_show_rect(left, top, right, bottom, get_screen());
}

void gameplay_show_rect(int left, int top, int right, int bottom, const screen_info& screen) {
    const int half_w = g_map ? g_map->get_tile_width() / 2 : 0;
    const int half_h = g_map ? g_map->get_tile_height() / 2 : 0;
    const int map_w = map_pixel_width(), map_h = map_pixel_height();
    // A side of the view that lies on the map's edge cannot move further; shrinking it would
    // re-centre on every rectangle near the edge and make the view jump back and forth.
    const int zone_l = scroll_ix + (scroll_ix == 0 ? 0 : half_w);
    const int zone_r = scroll_ix + screen.width - (scroll_ix + screen.width == map_w ? 0 : half_w);
    const int zone_t = scroll_iy + (scroll_iy == 0 ? 0 : half_h);
    const int zone_b = scroll_iy + screen.height - (scroll_iy + screen.height == map_h ? 0 : half_h);
    if (left >= zone_l && right <= zone_r && top >= zone_t && bottom <= zone_b) return;
    scroll_ix = (left + right) / 2 - screen.width / 2;
    scroll_iy = (top + bottom) / 2 - screen.height / 2;
    scroll_x = scroll_ix;
    scroll_y = scroll_iy;
}

// ---- 4. the banner

void show_banner(const std::string& text, D3DCOLOR color) {
    g_banner.text = text;
    g_banner.color = color;
    // Set without interpolation: a new banner appears at full strength at once.
    g_banner.fade.value = 1200;
    g_banner.fade.prev_value = 0;
    g_banner.fade.prev_stamp = 0;
    g_banner.fade.stamp = 0;
    if (const c_interpolator* ip = c_interpolator::current()) g_banner.fade.stamp = ip->update_time;
}

void update_banner() {
    if (g_banner.fade.value > 0) g_banner.fade.set(g_banner.fade.value - 35);
}

void draw_banner(c_font* font) {
    draw_banner(font, get_screen());
}

void draw_banner(c_font* font, const screen_info& screen) {
    if (!font) font = g_font;
    if (!font || g_banner.text.empty()) return;
    const int v = g_banner.fade.get();
    if (v <= 0) return;
    const D3DCOLOR main = (static_cast<D3DCOLOR>(std::min(v, 255)) << 24) | (g_banner.color & 0xFFFFFF);
    const D3DCOLOR second = (static_cast<D3DCOLOR>(std::min(v, 127)) << 24) | 0xFFFFFF;
    c_text text(font->get_gfx(), font, g_banner.text, 0, 0, screen.width, screen.height, 0.0f, main, second,
                8.0f, 8.0f, TEXT_CENTER | TEXT_VCENTER);
    text.draw();
}
