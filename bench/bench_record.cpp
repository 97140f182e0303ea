// Battle records on the recording device with the game's DATA: writing one order to an open
// record (handed to the system, as every order is), listing a folder of 200 records as the
// "Load a battle" screen does (read, checked, summarised, one line each), and building a
// battle of 500 orders again from its record as "Continue" does.
//   build/release/bench/bench_record
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "bench/bench_world.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/record/battle_record.h"
#include "game/record/saves.h"
#include "platform/wingdi.h"
#include "tests/fakes/recording_device.h"
#include "tests/game/record/random_orders.h"
#include "tests/test_util.h"

namespace {

struct record_world : data_world {
    scratch_dir saves;
    record_world() { g_saves_folder = saves.path(); }
    ~record_world() {
        record_close();
        g_saves_folder.clear();
    }
    // A battle of `orders` random orders, recorded; the record's bytes.
    std::string play(std::uint32_t seed, int orders) {
        std::mt19937 rng(seed);
        start_battle(seed);
        record_begin(seed);
        for (int k = 0; k < orders; ++k) {
            run_until_quiet(nullptr, k, false);
            // Quite a few steps of thought between orders, as players take.
            g_battle_step += 30 + rng() % 300;
            give_order(random_order(rng, 1));
        }
        run_until_quiet(nullptr, orders, false);
        const std::string path = record_path();
        record_close();
        return read_file(path);
    }
};

void BM_record_one_order(benchmark::State& state) {
    record_world w;
    start_battle(3);
    record_begin(3);
    battle_order o;
    o.kind = ORDER_ACT, o.player = 0, o.unit = 17, o.col = 12, o.row = 9, o.aim_x = 31, o.aim_y = 40;
    for (auto _ : state)
        record_order(o);
    record_close();
}
BENCHMARK(BM_record_one_order)->Unit(benchmark::kMicrosecond);

void BM_list_200_records(benchmark::State& state) {
    record_world w;
    const std::string bytes = w.play(5, 150);
    std::filesystem::remove_all(w.saves.path());
    std::filesystem::create_directories(w.saves.path());
    for (int i = 0; i < 200; ++i)
        write_file(w.saves.file("battle-" + std::to_string(i) + ".hvr"), bytes);
    const std::uint64_t rules = rules_fingerprint();
    size_t lines = 0;
    for (auto _ : state) {
        const std::vector<record_entry> list = list_records(w.saves.path(), rules);
        for (const record_entry& e : list)
            lines += describe_entry(e, entry_labels{}).size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["bytes_per_record"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_list_200_records)->Unit(benchmark::kMillisecond);

void BM_load_500_orders(benchmark::State& state) {
    record_world w;
    const record_read read = parse_record(w.play(9, 500));
    if (read.status != RECORD_OK) state.SkipWithError(read.reason.c_str());
    for (auto _ : state) {
        c_record_player player(read.record);
        if (!player.run_all(SIZE_MAX, true)) state.SkipWithError(player.reason().c_str());
        benchmark::DoNotOptimize(g_battle_step);
    }
    state.counters["steps"] = static_cast<double>(read.record.events.back().step);
}
BENCHMARK(BM_load_500_orders)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
