// The hex map and the particles on the recording device: building a new 32 x 32 map from the
// game's rules, and the CPU cost of queueing (and flushing) one full-screen frame of it.
//   build/release/bench/bench_map
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "platform/crt.h"
#include "tests/fakes/recording_device.h"

namespace {

// The game's DATA folder as the current directory, the rules read, a device and its wrapper.
struct world {
    std::filesystem::path old_cwd = std::filesystem::current_path();
    recording_device dev;
    std::unique_ptr<c_gfx> gfx;
    c_interpolator ip{1000};
    world() {
        std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
        dev.keep_log = false; // a log that grows every frame would measure the fake, not us
        gfx = std::make_unique<c_gfx>(&dev, 2.0e-5f);
        g_gfx = gfx.get();
        g_rules = new c_ini("rules.ini");
        crt::srand(1);
    }
    ~world() {
        delete g_rules;
        g_rules = nullptr;
        g_gfx = nullptr;
        gfx.reset();
        std::filesystem::current_path(old_cwd);
    }
};

void BM_map_build_32x32(benchmark::State& state) {
    world w;
    for (auto _ : state) {
        c_map map(32, 32, true);
        benchmark::DoNotOptimize(map.get_tile(31, 31));
    }
}
BENCHMARK(BM_map_build_32x32)->Unit(benchmark::kMillisecond);

// One frame of a 1024 x 768 view in the middle of the map, no units: the map's queueing and
// the flush that hands the batches to the device. With a row of tiles blinking.
void BM_map_frame_1024x768(benchmark::State& state) {
    world w;
    c_map map(32, 32, true);
    if (state.range(0))
        for (int c = 0; c < 32; ++c)
            map.get_tile(c, 8)->blink(0xFFFF0000);
    scroll_x = 300;
    scroll_y = 200;
    truncate_scroll();
    for (auto _ : state) {
        w.gfx->depth = 0.0f;
        map.draw(1024, 768);
        w.gfx->flush();
    }
    state.counters["draw_calls"] = benchmark::Counter(static_cast<double>(w.dev.count("DrawPrimitive")) /
                                                      static_cast<double>(state.iterations()));
}
BENCHMARK(BM_map_frame_1024x768)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 1000 particles: one update step and one drawn frame (translucent, so sorted).
void BM_particles_1000(benchmark::State& state) {
    world w;
    g_particle_pool = new c_particle_pool(1000);
    c_explosion blast("explosion_blast", 1000);
    for (auto _ : state) {
        blast.explode(400, 464, 300, 364);
        w.gfx->depth = 0.0f;
        draw_effects(g_effects);
        w.gfx->flush();
        update_effects(g_effects);
        clear_effects(g_effects);
    }
    delete g_particle_pool;
    g_particle_pool = nullptr;
}
BENCHMARK(BM_particles_1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
