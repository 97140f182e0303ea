// Start-up, the state dispatcher and shutdown.
#include "game/main.h"

#include <cstdlib>
#include <ctime>

#include "framework/folders.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "framework/misc.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/record/battle_record.h"
#include "game/screens/states.h"
#include "game/startup.h"
#include "platform/crt.h"
#include "platform/wingdi.h"

bool g_show_moves = false;
bool g_show_names = false;

namespace {
std::string current_directory() {
    return get_current_directory();
}

// Battles come from the time of day; HARNVALE_SEED fixes the seed so automated runs replay
// the same battle.
unsigned random_seed() {
    if (const char* v = std::getenv("HARNVALE_SEED"); v && *v)
        return static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    return static_cast<unsigned>(std::time(nullptr));
}
} // namespace

int main_routine() {
    std::string start_directory = current_directory();
    game_folders folders = choose_folders(read_folder_facts());
    set_report_file(folders.report);
    prepare_player_files(folders);
    g_settings = new c_ini(folders.settings);
    g_saves_folder = folders.saves;
    enter_data_directory(folders.share);
    g_rules = new c_ini("rules.ini");
    g_stringtable = new c_ini("stringtable.ini");
    g_interface = new c_ini("interface.ini");
    prefetch_interface(); // decoded while the window and the device are made
    settings_record settings = read_screen_settings(*g_settings);
    // A real full screen when the settings ask for one and a sizeable window otherwise; a discarding
    // swap chain, the performance counter as the clock, and no system cursor: the game draws its own.
    g_core =
        new c_core(g_stringtable->get_string("main", "caption"), "harnvale.ico", settings,
                   g_settings->get_int("misc", "debug"), CORE_DISCARD | CORE_PERF_COUNTER | CORE_HIDE_CURSOR);
    g_interpolator = new c_interpolator(static_cast<int>(g_core->get_cur_time()));
    g_d3d = g_core->d3d;
    g_device = g_core->device;
    g_gfx = g_core->gfx;
    HFONT game_font = create_game_font(*g_interface);
    g_font = new c_font(g_gfx, game_font);
    load_interface();
    g_sysfont = g_core->system_font;
    crt::srand(random_seed());
    g_settings->set_section("misc");
    g_show_moves = g_settings->get_bool("show_moves");
    g_show_names = g_settings->get_bool("show_names");
    g_particle_pool = new c_particle_pool(1000);
    g_game_state = GS_MAINMENU;
    g_opening_logo = true;

    run_states();
    // A battle left by a quit from its own exit screen is still loaded.
    gameplay_unload_static();

    SetCurrentDirectoryA(start_directory.c_str());
    g_settings->set_section("misc");
    g_settings->write_int("debug", g_core->diagnostics_mode);
    g_settings->write_bool("show_names", g_show_names);
    g_settings->write_bool("show_moves", g_show_moves);
    write_screen_settings(*g_settings, g_core->settings);
    g_settings->flush();
    delete_and_clear(g_particle_pool);
    release_interface();
    g_gfx = nullptr;
    g_device = nullptr;
    g_d3d = nullptr;
    g_sysfont = nullptr;
    delete_and_clear(g_font);
    delete_and_clear(g_interpolator);
    delete_and_clear(g_core);
    delete_and_clear(g_settings);
    delete_and_clear(g_rules);
    delete_and_clear(g_stringtable);
    delete_and_clear(g_interface);
    return 0;
}
