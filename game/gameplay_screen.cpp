// The battle screen: the state loop that runs a battle frame by frame, with its six widgets (the
// battlefield area, the menu button, the minimap, the ready-units and end-turn buttons).
//
// Index: gameplay_menu; entry; one frame (input, orders, scrolling, drawing, update steps);
// gs_gameplay.
#include <cstring>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/battle_turns.h"
#include "game/gameplay.h"
#include "game/hexmap.h"
#include "game/minimap.h"
#include "game/player.h"
#include "game/screen.h"
#include "game/states.h"
#include "game/unit.h"
#include "platform/dinput.h"

namespace {

// Cursor indices the screen itself chooses.
constexpr int cursor_arrow = 0, cursor_hand = 1;

// ---- gameplay_menu

void back_to_menu(c_button*) {
    g_game_state = GS_MAINMENU;
}
void select_next_ready(c_button*) {
    if (c_player* player = current_player()) player->select_next();
}
void end_turn(c_button*) {
    gameplay_end_turn();
}

struct gameplay_menu {
    c_screen screen{&g_gui_settings};
    c_button* area = nullptr;
    c_button* menu = nullptr;
    c_button* minimap = nullptr;
    c_button* ready_units = nullptr;
    c_button* end_turn_button = nullptr;
    int shown_ready = -1; // the count the ready-units label shows

    gameplay_menu() {
        if (g_stringtable) g_stringtable->set_section("gameplay");
        // The battlefield lies beneath everything and owns the mouse over the map.
        area = screen.add<c_button>(&g_minimap_gui_settings, 0, 0, 800, 600, "", 0, nullptr, MODE_ACTIVE, 0u);
        menu = screen.add<c_button>(&g_gui_settings, 4, 4, 124, 28, screen_label("mnub"), DIK_ESCAPE,
                                    back_to_menu, MODE_ACTIVE, 0x3Fu);
        minimap =
            screen.add<c_button>(&g_minimap_gui_settings, 0, 0, 0, 0, "", 0, nullptr, MODE_ACTIVE, 0x1AFu);
        ready_units = screen.add<c_button>(&g_aub_gui_settings, 0, 0, 0, 0, "", DIK_N, select_next_ready,
                                           MODE_ACTIVE, 0x820u);
        end_turn_button = screen.add<c_button>(&g_etb_gui_settings, 0, 0, 0, 0, screen_label("etb"), DIK_E,
                                               end_turn, MODE_ACTIVE, 0x3Fu);
        place();
    }

    // The widgets along the bottom follow the screen height.
    void place() {
        const int h = get_screen().height;
        minimap->set_rect(4, h - 92, 124, h - 4);
        ready_units->set_rect(4, 0, 124, h - 124);
        end_turn_button->set_rect(4, h - 120, 124, h - 96);
        screen.root()->layout();
    }

    void update_ready_label() {
        const int count = current_ready_count();
        if (count == shown_ready) return;
        shown_ready = count;
        ready_units->set_text(ready_units_label(count));
    }
};

bool hovered_or_pressed(const c_button* b) {
    const int state = b->get_state();
    return state == STATE_HOVER || state == STATE_PRESSED;
}

bool inside(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The hand shows over a button the mouse rests on or holds down.
bool shows_hand(const c_button* b) {
    const int state = b->get_state();
    return state == STATE_HOVER ||
           (state == STATE_PRESSED && inside(b->get_outer_rect(), g_mouse_x, g_mouse_y));
}

// ---- entry

void enter_battle() {
    gameplay_initial_view(get_screen());
    g_minimap_dirty.clear();
    minimap_mark_all_dirty();
    restart_interpolator();
}

// ---- one frame

void give_orders(gameplay_menu& m) {
    g_hovered_tile = (g_map && hovered_or_pressed(m.area)) ? g_map->get_tile_cursor() : nullptr;
    g_cursor_choice =
        (shows_hand(m.ready_units) || shows_hand(m.end_turn_button)) ? cursor_hand : cursor_arrow;
    c_player* player = current_player();
    if (!player) return;
    int aim_x = 0, aim_y = 0;
    if (g_hovered_tile) {
        aim_x = g_mouse_x + scroll_ix - g_hovered_tile->left;
        aim_y = g_mouse_y + scroll_iy - g_hovered_tile->top;
    }
    player->handle_input(g_hovered_tile, m.area->was_clicked(), aim_x, aim_y);
}

void clear_depth(IDirect3DDevice9* device) {
    const HRESULT hr = device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    if (FAILED(hr)) HV_RAISE("Unable to clear the zbuffer.", "gs_gameplay", hr, nullptr);
}

void draw_battle(gameplay_menu& m) {
    IDirect3DDevice9* device = g_gfx->get_device();
    g_interpolator->drawing = true;
    g_gfx->depth = 0.0f;
    if (c_player* player = current_player()) player->draw_selection();
    if (g_map) g_map->draw();
    g_gfx->flush();
    clear_depth(device);
    draw_effects(g_effects);
    g_gfx->flush();
    draw_effects(g_overlays);
    g_gfx->flush();
    clear_depth(device);
    m.screen.root()->draw();
    // The widgets are queued: drawn before the minimap, the banner and the pointer that lie over them.
    g_gfx->flush();
    RECT content{};
    m.minimap->get_content_rect(content);
    draw_minimap_widget(content, m.minimap->get_state());
    draw_banner();
    if (g_cursors) g_cursors->draw();
    g_gfx->flush();
    g_interpolator->drawing = false;
}

// Holding S slows the battle down: each step then stands for 500 ms.
int step_length() {
    return key_down(DIK_S) ? 500 : 33;
}

void update_step() {
    update_effects(g_effects);
    update_effects(g_overlays);
    if (g_map) g_map->update_blinks();
    if (g_unitmanager) g_unitmanager->update();
    gameplay_turn_step();
    update_banner();
}

void run_frame(gameplay_menu& m) {
    if (check_device()) {
        m.place();
        minimap_mark_all_dirty();
    }
    g_core->frame_begin(0xFF806000);
    read_frame_input();
    m.screen.update();
    give_orders(m);
    m.update_ready_label();
    RECT content{};
    m.minimap->get_content_rect(content);
    const float factor = static_cast<float>(g_interpolator->frame_time_sum) / 5.0f / 33.0f;
    gameplay_scroll(content, m.minimap->was_clicked(), factor);
    if (g_cursors) g_cursors->set_cursor(g_cursor_choice);
    refresh_minimap();
    draw_battle(m);
    const int step = step_length();
    while (g_interpolator->sync(step, static_cast<int>(state_time())))
        update_step();
    if (g_frame_hook) g_frame_hook();
    g_core->frame_end();
    handle_close_request();
}

} // namespace

void gs_gameplay() {
    {
        gameplay_menu menu;
        enter_battle();
        while (g_game_state == GS_GAMEPLAY)
            run_frame(menu);
    }
    // A battle cannot be resumed once left; the next "newgame" builds a new one.
    gameplay_unload_static();
}
