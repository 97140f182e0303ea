// The unit manager's update step in a full 32 x 32 battle from the game's DATA on the recording
// device: with nothing in action, with one unit walking, striking, shooting arrows or firing a
// cannonball (what a battle does at any moment), and with every unit of a player walking at once.
// Only g_unitmanager->update() is timed (thread CPU time); orders are given and spent targets
// healed between the timed steps.
//   build/release/bench/bench_units
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>

#include "bench/bench_world.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "platform/crt.h"
#include "tests/fakes/recording_device.h"

namespace {

struct units_world : data_world {
    units_world() {
        g_show_moves = true;
        gameplay_load_static();
        // The first two draws of the seed make the map 32 x 32.
        for (unsigned seed = 1;; ++seed) {
            crt::srand(seed);
            if (10 + crt::rand() % 23 == 32 && 10 + crt::rand() % 23 == 32) {
                crt::srand(seed);
                break;
            }
        }
        gameplay_new_game();
    }
    void step() {
        ip.prev_update_time = ip.update_time;
        ip.update_time += 33;
    }
};

bool open(const c_tile* t) {
    return t && t->type->moveable && !t->corner && !t->unit;
}

// A unit of the first type whose kind `is_kind` accepts, for player 0, on an open tile with an
// open tile `distance` columns to its right, and an enemy of player 1 there.
struct duel {
    c_unittype* type = nullptr;
    c_tile* from = nullptr;
    c_tile* to = nullptr;
    c_unit* attacker = nullptr;
    c_unit* target = nullptr;
};

c_unit* enlist(c_unittype* type, c_tile* tile, int player) {
    c_unit* u = type->create_unit(tile, g_playermanager->get_player_index(player));
    g_unitmanager->add_unit(u);
    u->get_owner()->add_unit(u);
    return u;
}

duel make_duel(const std::function<bool(c_unittype*)>& is_kind, int distance) {
    duel d;
    for (int i = 0; i < g_unitmanager->get_num_unittypes() && !d.type; ++i)
        if (is_kind(g_unitmanager->get_unittype(i))) d.type = g_unitmanager->get_unittype(i);
    for (int row = 2; d.type && row < g_map->get_rows() - 4; ++row) {
        for (int col = 2; col + distance < g_map->get_cols(); ++col) {
            d.from = g_map->get_tile(col, row), d.to = g_map->get_tile(col + distance, row);
            if (!open(d.from) || !open(d.to)) continue;
            d.attacker = enlist(d.type, d.from, 0);
            d.target = enlist(g_unitmanager->get_unittype(0), d.to, 1);
            return d;
        }
    }
    return {};
}

// Gives the order again once the last one is spent, with the target healed (a gun that blew
// itself up replaced) and the effects of earlier steps swept away, so that every timed step
// does the same kind of work.
void rearm(duel& d) {
    if (!d.attacker || g_unitmanager->is_busy()) return;
    clear_effects(g_effects);
    clear_effects(g_overlays);
    g_minimap_dirty.clear(); // the battle screen empties it every frame
    if (!d.from->unit) d.attacker = enlist(d.type, d.from, 0);
    if (!d.to->unit) d.target = enlist(g_unitmanager->get_unittype(0), d.to, 1);
    d.target->hp = 1000;
    d.attacker->start_turn();
    d.attacker->act(d.target->get_tile(), 32, 32);
}

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// What reading the thread's CPU clock twice costs by itself (a system call on some machines,
// as long as an idle step): the least of many tries, taken off every measurement.
double clock_overhead() {
    static const double overhead = [] {
        double least = 1.0;
        for (int i = 0; i < 2000; ++i) {
            const double a = thread_seconds();
            least = std::min(least, thread_seconds() - a);
        }
        return least;
    }();
    return overhead;
}

// The thread's CPU time of one update step of the unit manager, in seconds: the orders given
// between steps are not counted.
double timed_update() {
    const double overhead = clock_overhead();
    const double a = thread_seconds();
    g_unitmanager->update();
    return std::max(thread_seconds() - a - overhead, 0.0);
}

void BM_update_idle(benchmark::State& state) {
    units_world w;
    for (auto _ : state) {
        w.step();
        state.SetIterationTime(timed_update());
    }
    state.counters["units"] = static_cast<double>(g_unitmanager->get_all().size());
}
BENCHMARK(BM_update_idle)->UseManualTime()->Unit(benchmark::kNanosecond);

void BM_update_one_walking(benchmark::State& state) {
    units_world w;
    c_unit* walker = nullptr;
    c_tile* there = nullptr;
    for (c_unit* u : g_unitmanager->get_all()) {
        c_tile* t = g_map->get_neighbour_e(u->get_col(), u->get_row());
        if (open(t)) {
            walker = u, there = t;
            break;
        }
    }
    c_tile* here = walker->get_tile();
    for (auto _ : state) {
        if (!g_unitmanager->is_busy()) {
            g_minimap_dirty.clear();
            walker->start_turn();
            walker->act(walker->get_tile() == here ? there : here, 0, 0);
        }
        w.step();
        state.SetIterationTime(timed_update());
    }
}
BENCHMARK(BM_update_one_walking)->UseManualTime()->Unit(benchmark::kNanosecond);

void BM_update_melee(benchmark::State& state) {
    units_world w;
    duel d = make_duel(
        [](c_unittype* t) { return !dynamic_cast<c_archertype*>(t) && !dynamic_cast<c_cannontype*>(t); }, 1);
    for (auto _ : state) {
        rearm(d);
        w.step();
        state.SetIterationTime(timed_update());
    }
}
BENCHMARK(BM_update_melee)->UseManualTime()->Unit(benchmark::kNanosecond);

void BM_update_arrows(benchmark::State& state) {
    units_world w;
    duel d = make_duel([](c_unittype* t) { return dynamic_cast<c_archertype*>(t) != nullptr; }, 3);
    for (auto _ : state) {
        rearm(d);
        w.step();
        state.SetIterationTime(timed_update());
    }
}
BENCHMARK(BM_update_arrows)->UseManualTime()->Unit(benchmark::kNanosecond);

void BM_update_cannonball(benchmark::State& state) {
    units_world w;
    duel d = make_duel([](c_unittype* t) { return dynamic_cast<c_cannontype*>(t) != nullptr; }, 5);
    for (auto _ : state) {
        rearm(d);
        w.step();
        state.SetIterationTime(timed_update());
    }
}
BENCHMARK(BM_update_cannonball)->UseManualTime()->Unit(benchmark::kNanosecond);

// Not a situation of the game (one unit acts at a time) but its upper bound: every unit of the
// current player walking in the same step.
void BM_update_all_walking(benchmark::State& state) {
    units_world w;
    c_player* p = g_playermanager->get_current_player();
    for (auto _ : state) {
        if (!g_unitmanager->is_busy()) {
            g_minimap_dirty.clear();
            for (c_unit* u : p->get_units()) {
                u->start_turn();
                const int c = u->get_col(), r = u->get_row();
                for (c_tile* t : {g_map->get_neighbour_e(c, r), g_map->get_neighbour_w(c, r)})
                    if (open(t)) {
                        u->act(t, 0, 0);
                        break;
                    }
            }
        }
        w.step();
        state.SetIterationTime(timed_update());
    }
    state.counters["busy"] = static_cast<double>(g_unitmanager->get_busy().size());
}
BENCHMARK(BM_update_all_walking)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
