// The dispatcher and what every state loop shares: the frame's input, the device check, the
// close request and the hooks of automated runs.
#include "game/screens/states.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/cursor_index.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "framework/misc.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/record/battle_record.h"
#include "game/record/watch.h"
#include "game/screens/load_screen.h"
#include "game/screens/net_screen.h"
#include "platform/dinput.h"

int g_game_state = GS_QUIT;
bool g_opening_logo = true;
BYTE g_mouse_buttons[4] = {};
int g_logo_shown = 0;
int g_device_resets = 0;
bool g_in_logo_phase = false;
std::function<void()> g_input_source;
std::function<std::uint32_t()> g_clock_source;
std::function<void()> g_frame_hook;

// ---- the dispatcher

namespace {
// A state nobody has a loop for still shows frames, so the window answers and a close request
// can end the program instead of the dispatcher spinning without pumping messages.
void idle_frame() {
    check_device();
    g_core->frame_begin(0xFF000000);
    read_frame_input();
    if (g_frame_hook) g_frame_hook();
    g_core->frame_end();
    handle_close_request();
}
} // namespace

void run_state(int state) {
    switch (state) {
    case GS_MAINMENU:
        gs_mainmenu();
        break;
    case GS_EXITSCREEN:
        gs_exitscreen();
        break;
    case GS_OPTIONS:
        gs_options();
        break;
    case GS_GAMEPLAY:
        gs_gameplay();
        break;
    case GS_CREDITS:
        gs_credits();
        break;
    case GS_LOADGAME:
        gs_loadgame();
        break;
    case GS_NETWORK:
        gs_network();
        break;
    default:
        idle_frame();
        break;
    }
}

void run_states() {
    while (g_game_state != GS_QUIT)
        run_state(g_game_state);
}

// ---- the frame's input

void read_frame_input() {
    std::memcpy(g_kb_previous, g_kb_state, sizeof g_kb_previous);
    if (g_input_source) {
        g_input_source();
    } else {
        std::memcpy(g_kb_state, g_core->get_kb_state(), sizeof g_kb_state);
        const DIMOUSESTATE mouse = g_core->get_mouse_state();
        std::memcpy(g_mouse_buttons, mouse.rgbButtons, sizeof g_mouse_buttons);
        g_core->get_cursor_pos(g_mouse_x, g_mouse_y);
    }
    if (g_cursors) {
        g_cursors->x = g_mouse_x;
        g_cursors->y = g_mouse_y;
    }
}

// ---- shared frame steps

std::uint32_t state_time() {
    return g_clock_source ? g_clock_source() : g_core->get_cur_time();
}

void restart_interpolator() {
    g_interpolator->restart(static_cast<int>(state_time()));
}

bool check_device() {
    if (g_core->check_reset() >= 0) return false;
    recover_device();
    restart_interpolator();
    ++g_device_resets;
    return true;
}

void run_exit_screen_modal() {
    const int asking = g_game_state;
    g_game_state = GS_EXITSCREEN;
    gs_exitscreen();
    if (g_game_state != GS_QUIT) g_game_state = asking;
}

bool handle_close_request() {
    write_state_report();
    if (frame_limit_reached()) {
        g_core->quit = false;
        g_game_state = GS_QUIT;
        return false;
    }
    // Asked by the system: the program ends as if leaving had been confirmed (the battle's
    // record is synced and settings.ini written on the way out).
    if (g_core->end_session) {
        g_core->quit = false;
        g_game_state = GS_QUIT;
        return false;
    }
    if (!g_core->quit) return false;
    g_core->quit = false;
    // Asked again while the question is on screen: the user means it.
    if (g_game_state == GS_EXITSCREEN) {
        g_game_state = GS_QUIT;
        return false;
    }
    if (g_cursors && g_cursors->get_count() > 0) g_cursors->set_cursor(CURSOR_ARROW);
    run_exit_screen_modal();
    restart_interpolator();
    return true;
}

// ---- hooks for tests and automated runs

bool frame_limit_reached() {
    static const long limit = [] {
        const char* v = std::getenv("HARNVALE_QUIT_AFTER_FRAMES");
        return v ? std::strtol(v, nullptr, 10) : 0L;
    }();
    return limit > 0 && g_core->frame_count >= limit;
}

namespace {

const char* state_name(int state) {
    switch (state) {
    case GS_QUIT:
        return "quit";
    case GS_MAINMENU:
        return "mainmenu";
    case GS_EXITSCREEN:
        return "exitscreen";
    case GS_OPTIONS:
        return "options";
    case GS_GAMEPLAY:
        return "gameplay";
    case GS_CREDITS:
        return "credits";
    case GS_LOADGAME:
        return "loadgame";
    case GS_NETWORK:
        return "network";
    default:
        return "unknown";
    }
}

// The client point at the middle of a tile as the view shows it now.
std::string tile_point(const c_tile* tile) {
    const int x = (tile->left + tile->right) / 2 - scroll_ix;
    const int y = (tile->top + tile->bottom) / 2 - scroll_iy;
    return format_string("%d,%d@%d,%d", tile->col, tile->row, x, y);
}

void append_item(std::string& list, const std::string& item) {
    if (!list.empty()) list += ' ';
    list += item;
}

void add_line(std::string& r, const char* key, const std::string& value) {
    r += key;
    r += '=';
    r += value;
    r += '\n';
}

// The keypad keys (7 9 4 6 1 3 for nw ne w e sw se) that would walk the selected unit.
std::string move_keys(const c_unit* unit) {
    if (!unit || !unit->can_act()) return "";
    const int col = unit->get_col(), row = unit->get_row();
    const c_tile* six[6] = {g_map->get_neighbour_nw(col, row), g_map->get_neighbour_ne(col, row),
                            g_map->get_neighbour_w(col, row),  g_map->get_neighbour_e(col, row),
                            g_map->get_neighbour_sw(col, row), g_map->get_neighbour_se(col, row)};
    static const char digits[6] = {'7', '9', '4', '6', '1', '3'};
    std::string keys;
    for (int i = 0; i < 6; ++i)
        if (six[i] && unit->classify(six[i]) == CLASS_MOVE) keys += digits[i];
    return keys;
}

void report_battle(std::string& r) {
    if (!g_playermanager || !g_map) return;
    add_line(r, "view", format_string("%d,%d", scroll_ix, scroll_iy));
    add_line(r, "alive", to_string(g_playermanager->get_num_alive()));
    add_line(r, "busy", to_string(g_unitmanager && g_unitmanager->is_busy()));
    const c_player* current = g_playermanager->get_current_player();
    add_line(r, "player", current ? current->get_name() : std::string());
    add_line(r, "ready", to_string(current ? current->get_num_ready() : 0));
    const c_unit* selected = current ? current->get_selected() : nullptr;
    add_line(r, "selected", selected ? tile_point(selected->get_tile()) : std::string());
    // What a click on a tile would make the selected unit do: move, strike or shoot.
    std::string moves, attacks, targets;
    if (selected && selected->can_act()) {
        for (int row = 0; row < g_map->get_rows(); ++row)
            for (int col = 0; col < g_map->get_cols(); ++col) {
                const c_tile* tile = g_map->get_tile(col, row);
                const int what = selected->classify(tile);
                if (what == CLASS_MOVE) append_item(moves, tile_point(tile));
                if (what == CLASS_ATTACK) append_item(attacks, tile_point(tile));
                if (what == CLASS_TARGET) append_item(targets, tile_point(tile));
            }
    }
    add_line(r, "moves", moves);
    add_line(r, "move_keys", move_keys(selected));
    add_line(r, "attacks", attacks);
    add_line(r, "targets", targets);
    // The current player's ready units, in the order select_next visits them.
    std::string units;
    if (current)
        for (const c_unit* unit : current->get_units())
            if (unit->can_act() && !unit->dying) append_item(units, tile_point(unit->get_tile()));
    add_line(r, "units", units);
    std::string occupied;
    if (g_unitmanager)
        for (const c_unit* unit : g_unitmanager->get_all())
            if (!unit->dying) append_item(occupied, format_string("%d,%d", unit->get_col(), unit->get_row()));
    add_line(r, "occupied", occupied);
    add_line(r, "count", to_string(g_unitmanager ? static_cast<int>(g_unitmanager->get_all().size()) : 0));
    add_line(r, "cursor", to_string(g_cursor_choice));
    // Every unit still in play with its owner and hit points ("col,row:player:hp"), in the unit
    // manager's order: what a loaded battle must give back exactly.
    std::string hp;
    if (g_unitmanager)
        for (const c_unit* unit : g_unitmanager->get_all())
            if (!unit->dying) {
                int owner = -1;
                for (int i = 0; i < g_playermanager->get_num_players(); ++i)
                    if (g_playermanager->get_player_index(i) == unit->get_owner()) owner = i;
                append_item(hp, format_string("%d,%d:%d:%d", unit->get_col(), unit->get_row(), owner,
                                              unit->get_hp()));
            }
    add_line(r, "hp", hp);
    add_line(r, "turns", to_string(g_playermanager->get_turns()));
    add_line(r, "record", record_path());
    add_line(r, "watch", to_string(g_watch != nullptr));
    if (g_watch) {
        add_line(r, "speed", to_string(g_watch->speed()));
        add_line(r, "paused", to_string(g_watch->paused()));
        add_line(r, "replayed",
                 format_string("%llu/%llu", static_cast<unsigned long long>(g_watch->events_played()),
                               static_cast<unsigned long long>(g_watch->event_count())));
        add_line(r, "replay_over", to_string(g_watch->over()));
    }
}

} // namespace

std::string state_report() {
    std::string r;
    add_line(r, "state", state_name(g_game_state));
    add_line(r, "logo", to_string(g_logo_shown));
    add_line(r, "logo_phase", to_string(g_in_logo_phase));
    add_line(r, "banner", g_banner.fade.value > 0 ? g_banner.text : std::string());
    if (g_game_state == GS_LOADGAME) r += load_screen_report();
    r += net_report();
    report_battle(r);
    return r;
}

void write_state_report() {
    static const char* path = std::getenv("HARNVALE_STATE_FILE");
    if (!path || !*path) return;
    static std::string last;
    std::string report = state_report();
    if (report == last) return;
    last = report;
    // Written aside and renamed, so a reader never sees half a report.
    const std::string temp = std::string(path) + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return;
    std::fwrite(report.data(), 1, report.size(), f);
    std::fclose(f);
    // Replacing: a plain rename keeps the first report for ever where it does not replace.
    MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}
