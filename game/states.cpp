// The dispatcher and what every state loop shares: the frame's input, the device check, the
// close request and the hooks of automated runs.
#include "game/states.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/gameplay.h"
#include "game/hexmap.h"
#include "game/player.h"
#include "game/unit.h"
#include "platform/dinput.h"

int g_game_state = GS_QUIT;
bool g_opening_logo = true;
BYTE g_mouse_buttons[4] = {};
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
    g_core->frame_end();
    if (g_frame_hook) g_frame_hook();
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

bool frame_key_down(int scan_code) {
    return key_down(scan_code);
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
    if (!g_core->quit) return false;
    g_core->quit = false;
    // Asked again while the question is on screen: the user means it.
    if (g_game_state == GS_EXITSCREEN) {
        g_game_state = GS_QUIT;
        return false;
    }
    if (g_cursors && g_cursors->get_count() > 0) g_cursors->set_cursor(0);
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
    default:
        return "unknown";
    }
}

// The client point at the middle of a tile as the view shows it now.
std::string tile_point(const c_tile* tile) {
    const int x = (tile->left + tile->right) / 2 - scroll_ix;
    const int y = (tile->top + tile->bottom) / 2 - scroll_iy;
    return std::to_string(tile->col) + "," + std::to_string(tile->row) + "@" + std::to_string(x) + "," +
           std::to_string(y);
}

void report_battle(std::string& r) {
    if (!g_playermanager || !g_map) return;
    r += "view=" + std::to_string(scroll_ix) + "," + std::to_string(scroll_iy) + "\n";
    r += "alive=" + std::to_string(g_playermanager->get_num_alive()) + "\n";
    r += "busy=" + std::to_string(g_unitmanager && g_unitmanager->is_busy() ? 1 : 0) + "\n";
    const c_player* current = g_playermanager->get_current_player();
    r += "player=" + (current ? current->get_name() : std::string()) + "\n";
    r += "ready=" + std::to_string(current ? current->get_num_ready() : 0) + "\n";
    const c_unit* selected = current ? current->get_selected() : nullptr;
    r += "selected=" + (selected ? tile_point(selected->get_tile()) : std::string()) + "\n";
    // What a click on each neighbour of the selected unit would do: move or strike.
    std::string moves, attacks, targets;
    if (selected && selected->can_act()) {
        for (int row = 0; row < g_map->get_rows(); ++row)
            for (int col = 0; col < g_map->get_cols(); ++col) {
                const c_tile* tile = g_map->get_tile(col, row);
                const int what = selected->classify(tile);
                if (what != CLASS_MOVE && what != CLASS_ATTACK && what != CLASS_TARGET) continue;
                std::string& list = what == CLASS_MOVE ? moves : what == CLASS_ATTACK ? attacks : targets;
                list += (list.empty() ? "" : " ") + tile_point(tile);
            }
    }
    r += "moves=" + moves + "\nattacks=" + attacks + "\ntargets=" + targets + "\n";
    // The current player's ready units, in the order select_next visits them.
    std::string units;
    if (current)
        for (const c_unit* unit : current->get_units())
            if (unit->can_act() && !unit->dying) units += (units.empty() ? "" : " ") + tile_point(unit->get_tile());
    r += "units=" + units + "\n";
    r += "count=" + std::to_string(g_unitmanager ? g_unitmanager->get_all().size() : 0) + "\n";
    r += "cursor=" + std::to_string(g_cursor_choice) + "\n";
}

} // namespace

std::string state_report() {
    std::string r = "state=" + std::string(state_name(g_game_state)) + "\n";
    r += "banner=" + (g_banner.fade.value > 0 ? g_banner.text : std::string()) + "\n";
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
    std::rename(temp.c_str(), path);
}
