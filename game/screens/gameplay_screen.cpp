// The battle screen: the state loop that runs a battle frame by frame, with its six widgets (the
// battlefield area, the menu button, the minimap, the ready-units and end-turn buttons). The same
// screen shows a recorded battle being watched: no orders then, a pause and a speed button in
// place of the ready-units and end-turn buttons, and the menu button goes back to the list.
//
// Index: gameplay_menu; entry; one frame (input, orders, scrolling, drawing, update steps);
// gs_gameplay.
#include <cstring>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/cursor_index.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/battle/battle_turns.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/net/session.h"
#include "game/record/orders.h"
#include "game/record/watch.h"
#include "game/screens/minimap.h"
#include "game/screens/net_screen.h"
#include "game/screens/screen.h"
#include "game/screens/states.h"
#include "platform/crt.h"
#include "platform/dinput.h"

namespace {

// ---- gameplay_menu

void back_to_menu(c_button*) {
    // A watched battle goes back to the list it was chosen from.
    g_game_state = g_watch ? GS_LOADGAME : GS_MAINMENU;
}
void player_order(int kind) {
    if (g_watch || !current_player() || (g_net && !g_net->takes_input())) return;
    battle_order o;
    o.kind = kind;
    o.player = g_playermanager->get_current();
    give_input_order(o);
}
void select_next_ready(c_button*) {
    player_order(ORDER_NEXT_UNIT);
}
void end_turn(c_button*) {
    player_order(ORDER_END_TURN);
}
void toggle_pause(c_button*) {
    if (g_watch) g_watch->toggle_pause();
}
void cycle_speed(c_button*) {
    if (g_watch) g_watch->cycle_speed();
}

// Texts of [gameplay] read while the battle runs, whatever section was chosen last.
std::string gameplay_text(const char* key) {
    return g_stringtable ? g_stringtable->get_string("gameplay", key) : std::string();
}

std::string speed_label(int speed) {
    return gameplay_text(speed == 16 ? "wspeed16" : speed == 4 ? "wspeed4" : "wspeed1");
}

struct gameplay_menu {
    c_screen screen{&g_gui_settings};
    c_button* area = nullptr;
    c_button* menu = nullptr;
    c_button* minimap = nullptr;
    c_button* ready_units = nullptr;
    c_button* end_turn_button = nullptr;
    c_button* pause = nullptr; // watching only
    c_button* speed = nullptr; // watching only
    int shown_ready = -1;      // the count the ready-units label shows
    int shown_speed = 0;
    int shown_paused = -1;
    bool end_shown = false; // the end of a watched record was announced
    std::string net_notice; // the network sentence the banner shows

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
        pause = screen.add<c_button>(&g_etb_gui_settings, 0, 0, 0, 0, "", DIK_P, toggle_pause, MODE_HIDDEN,
                                     0x3Fu);
        speed =
            screen.add<c_button>(&g_etb_gui_settings, 0, 0, 0, 0, "", DIK_F, cycle_speed, MODE_HIDDEN, 0x3Fu);
        if (g_watch) {
            menu->set_text(screen_label("wmnub"));
            ready_units->set_mode(MODE_HIDDEN);
            end_turn_button->set_mode(MODE_HIDDEN);
            pause->set_mode(MODE_ACTIVE);
            speed->set_mode(MODE_ACTIVE);
        }
        place();
    }

    // The widgets along the bottom follow the screen height.
    void place() {
        const int h = get_screen().height;
        minimap->set_rect(4, h - 92, 124, h - 4);
        ready_units->set_rect(4, 0, 124, h - 124);
        end_turn_button->set_rect(4, h - 120, 124, h - 96);
        pause->set_rect(4, h - 148, 124, h - 124);
        speed->set_rect(4, h - 120, 124, h - 96);
        screen.root()->layout();
    }

    void update_watch_labels() {
        if (!g_watch) return;
        if (g_watch->speed() != shown_speed) {
            shown_speed = g_watch->speed();
            speed->set_text(speed_label(shown_speed));
        }
        if (static_cast<int>(g_watch->paused()) != shown_paused) {
            shown_paused = g_watch->paused();
            pause->set_text(gameplay_text(shown_paused ? "wplay" : "wpause"));
        }
    }

    void update_ready_label() {
        if (g_watch) {
            update_watch_labels();
            return;
        }
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
    g_cursor_choice = (shows_hand(m.ready_units) || shows_hand(m.end_turn_button) || shows_hand(m.pause) ||
                       shows_hand(m.speed))
                          ? CURSOR_HAND
                          : CURSOR_ARROW;
    // A watched battle takes its orders from the record only; a network battle takes them here
    // only in the turns of this machine's players.
    if (g_watch || (g_net && !g_net->takes_input())) return;
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

// Holding S slows the battle down: each step then stands for 500 ms. A watched battle runs at
// its chosen speed.
int step_length() {
    if (g_watch) return g_watch->step_length();
    return key_down(DIK_S) ? 500 : 33;
}

// The end of a watched record that does not end in a victory is announced once, when what its
// last order began is over; so is a record found damaged.
void announce_watch_end(gameplay_menu& m) {
    if (!g_watch || m.end_shown || !g_watch->over() || !battle_is_quiet()) return;
    m.end_shown = true;
    if (!g_watch->reason().empty())
        show_banner(gameplay_text("wdamaged"), 0xFFFF4040);
    else if (!g_playermanager || g_playermanager->get_num_alive() > 1)
        show_banner(gameplay_text("wend"), 0xFFFFFFFF);
}

// A network battle runs its steps as the session allows: none past the host's horizon, none
// while a player is missing. A guest a step or two behind, or with an order within reach, runs
// extra steps in a frame; one far behind (it has just rejoined) runs what it missed without pictures.
void run_net_steps(gameplay_menu& m) {
    if (g_net->steps_behind() > 60) {
        // A bounded share a frame: the window keeps answering even if a host sent a horizon
        // far ahead of any battle.
        g_net->catch_up(30000);
        restart_interpolator();
    }
    auto one_step = [&] {
        g_net->before_step();
        if (!g_net->may_step()) return;
        battle_update_step();
        g_net->after_step();
    };
    while (g_interpolator->sync(33, static_cast<int>(state_time())))
        if (g_net->may_step()) one_step();
    for (int extra = 0; extra < 4 && (g_net->steps_behind() > 2 || g_net->order_in_reach()); ++extra)
        one_step();
    // Orders due now are carried out at once, so that what was given shows in this frame.
    g_net->before_step();
    (void)m;
}

// The sentence of a paused or stopped network battle stays on the banner while it holds.
void show_net_notice(std::string& shown) {
    const std::string notice = g_net->notice();
    if (!notice.empty() && (notice != shown || g_banner.text != notice || g_banner.fade.value < 600))
        show_banner(notice, 0xFFFF4040);
    shown = notice;
}

void take_missing_seat() {
    if (!g_net || !g_net->is_host() || !key_pressed(DIK_T)) return;
    for (int s = 0; s < net_seats; ++s)
        if (g_net->holder(s) == SEAT_MISSING) static_cast<c_net_host&>(*g_net).toggle_seat(s);
}

void run_steps(gameplay_menu& m) {
    if (g_net) {
        run_net_steps(m);
        return;
    }
    if (g_watch && g_watch->paused()) {
        // Paused time is not caught up when the watching goes on.
        restart_interpolator();
        return;
    }
    const int step = step_length();
    while (g_interpolator->sync(step, static_cast<int>(state_time()))) {
        if (g_watch) g_watch->before_step();
        battle_update_step();
        announce_watch_end(m);
    }
}

void run_frame(gameplay_menu& m) {
    check_device();
    // Also after a reset under the modal exit screen: the screen size may have changed.
    if (m.screen.reset_since_last_check()) {
        m.place();
        minimap_mark_all_dirty();
    }
    g_core->frame_begin(0xFF806000);
    read_frame_input();
    if (g_net) {
        g_net->poll();
        take_missing_seat();
        show_net_notice(m.net_notice);
    }
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
    run_steps(m);
    if (g_frame_hook) g_frame_hook();
    g_core->frame_end();
    handle_close_request();
}

} // namespace

void gs_gameplay() {
    {
        gameplay_menu menu;
        // Nothing in a battle opens the screens that show it; a watched battle goes back to the
        // list of records, which does, one click away.
        if (!g_watch) rest_menu_pictures();
        enter_battle();
        crt::return_free_memory(); // what the set-up and the pictures let go of
        while (g_game_state == GS_GAMEPLAY)
            run_frame(menu);
    }
    // A battle left is released (its record synced and closed); "Load a battle" continues it.
    gameplay_unload_static();
    g_watch.reset();
    // Leaving a network battle leaves its session: the others are told.
    net_leave();
}
