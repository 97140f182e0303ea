// A whole 32 x 32 battle from the game's DATA on the recording device: how long a new battle
// takes to build (map, players, units), the CPU time of one update step with every unit of a
// player walking, and of queueing (and flushing) one full frame of it with flags, names,
// selection, effects and the banner.
//   build/release/bench/bench_battle
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "platform/crt.h"
#include "platform/wingdi.h"
#include "tests/fakes/recording_device.h"

namespace {

// The DATA folder current, the four INI files read, a device with its wrapper and the game
// font, the particle pool, and names and moves shown as the default settings have them.
struct battle_world {
    std::filesystem::path old_cwd = std::filesystem::current_path();
    recording_device dev;
    std::unique_ptr<c_gfx> gfx;
    c_interpolator ip{1000};
    battle_world() {
        std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
        dev.keep_log = false; // a log that grows every frame would measure the fake, not us
        gfx = std::make_unique<c_gfx>(&dev, 2.0e-5f);
        g_gfx = gfx.get();
        g_rules = new c_ini("rules.ini");
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_font = new c_font(gfx.get(),
                            CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
        g_particle_pool = new c_particle_pool(1000);
        g_show_moves = g_show_names = true;
    }
    ~battle_world() {
        gameplay_unload_static();
        delete g_particle_pool;
        delete g_font;
        delete g_interface;
        delete g_stringtable;
        delete g_rules;
        g_particle_pool = nullptr;
        g_font = nullptr;
        g_interface = g_stringtable = g_rules = nullptr;
        g_gfx = nullptr;
        gfx.reset();
        std::filesystem::current_path(old_cwd);
    }
    // A seed whose first two draws give 32 columns and 32 rows.
    static unsigned seed_for_32x32() {
        for (unsigned seed = 1;; ++seed) {
            crt::srand(seed);
            const int cols = 10 + crt::rand() % 23, rows = 10 + crt::rand() % 23;
            if (cols == 32 && rows == 32) return seed;
        }
    }
    void new_battle(unsigned seed) {
        gameplay_unload_static();
        gameplay_load_static();
        crt::srand(seed);
        gameplay_new_game();
    }
    void step() {
        ip.prev_update_time = ip.update_time;
        ip.update_time += 33;
    }
};

void BM_new_battle_32x32(benchmark::State& state) {
    battle_world w;
    const unsigned seed = battle_world::seed_for_32x32();
    for (auto _ : state) {
        state.PauseTiming();
        gameplay_unload_static();
        gameplay_load_static();
        crt::srand(seed);
        state.ResumeTiming();
        gameplay_new_game();
    }
    state.counters["units"] = static_cast<double>(g_unitmanager->get_all().size());
}
BENCHMARK(BM_new_battle_32x32)->Unit(benchmark::kMillisecond);

// Every ready unit of the current player starts walking to an empty neighbour; the step runs
// the effects, the blinks, the units and the banner, as the battle screen's update does.
void order_every_unit_to_walk() {
    c_player* p = g_playermanager->get_current_player();
    for (c_unit* u : p->get_units()) {
        const int c = u->get_col(), r = u->get_row();
        for (c_tile* t :
             {g_map->get_neighbour_e(c, r), g_map->get_neighbour_w(c, r), g_map->get_neighbour_se(c, r)})
            if (t && u->classify(t) == CLASS_MOVE) {
                u->act(t, 0, 0);
                break;
            }
    }
}

void update_step(battle_world& w) {
    w.step();
    update_effects(g_effects);
    update_effects(g_overlays);
    g_map->update_blinks();
    g_unitmanager->update();
    update_banner();
}

void BM_update_step_32x32(benchmark::State& state) {
    battle_world w;
    w.new_battle(battle_world::seed_for_32x32());
    for (auto _ : state) {
        state.PauseTiming();
        if (!g_unitmanager->is_busy()) order_every_unit_to_walk();
        state.ResumeTiming();
        update_step(w);
    }
    state.counters["busy"] = static_cast<double>(g_unitmanager->get_busy().size());
}
BENCHMARK(BM_update_step_32x32)->Unit(benchmark::kMicrosecond);

// One drawn frame at 1024 x 768 in the middle of the battle: the selection, the map with its
// units (flags, names, bobbing), the flushes, the effect lists with a result text, the banner.
void BM_battle_frame_32x32(benchmark::State& state) {
    battle_world w;
    w.new_battle(battle_world::seed_for_32x32());
    c_player* p = g_playermanager->get_current_player();
    p->select_next();
    g_unitmanager->get_all().front()->show_text("Hit!", 0xFFFFA000,
                                                g_unitmanager->get_all().front()->get_rect());
    scroll_x = 500;
    scroll_y = 400;
    truncate_scroll();
    update_step(w);
    w.ip.drawing = true;
    for (auto _ : state) {
        w.ip.draw_time = w.ip.update_time - 16;
        w.gfx->depth = 0.0f;
        p->draw_selection();
        g_map->draw(1024, 768);
        w.gfx->flush();
        draw_effects(g_effects);
        w.gfx->flush();
        draw_effects(g_overlays);
        w.gfx->flush();
        draw_banner(g_font, screen_info{});
    }
    w.ip.drawing = false;
    state.counters["draw_calls"] = benchmark::Counter(
        static_cast<double>(w.dev.count("DrawPrimitive") + w.dev.count("DrawPrimitiveUP")) /
        static_cast<double>(state.iterations()));
}
BENCHMARK(BM_battle_frame_32x32)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
