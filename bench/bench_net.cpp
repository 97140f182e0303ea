// Network play over loopback, paced as the game paces its frames (60 a second, update steps of
// 33 ms):
// - how long an order takes from the click on one guest to being carried out on the other
//   guest and on the host (a host and two guests, 100 orders);
// - how long a guest that rejoins a battle of 100 real orders takes to be back in it: from its
//   connection to its battle caught up with the host's, built from the seed and the orders sent.
//   The battle is the game's own (DATA, on the recording device).
//   build/release/bench/bench_net
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "bench/bench_world.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/net/session.h"
#include "game/record/battle_record.h"
#include "tests/fakes/recording_device.h"
#include "tests/game/record/random_orders.h"

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point t) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - t).count();
}

// ---- order latency, on a model battle (the order's effect costs microseconds; the figure is
// the network's and the lockstep's).

class c_count_battle : public c_net_battle {
  public:
    size_t applied = 0;
    void build(std::uint32_t) override { step_ = 0, current_ = 0, applied = 0; }
    std::uint64_t rules() const override { return 1; }
    std::uint32_t step() const override { return step_; }
    int current() const override { return current_; }
    int turns() const override { return 0; }
    bool quiet() const override { return true; }
    std::uint64_t hash() const override { return 0; }
    std::string refusal(const battle_order& o) const override {
        return o.player == current_ ? "" : "comes in another player's turn";
    }
    bool apply(const battle_order& o) override {
        ++applied;
        if (o.kind == ORDER_END_TURN) current_ = (current_ + 1) % 3;
        return true;
    }
    void run_step(bool) override { ++step_; }
    void skip_to(std::uint32_t s) override { step_ = std::max(step_, s); }
    std::string player_name(int seat) const override { return "seat " + std::to_string(seat + 1); }

  private:
    std::uint32_t step_ = 0;
    int current_ = 0;
};

struct paced {
    c_net_session* session;
    clock_type::time_point next_step = clock_type::now();
};

// One 16 ms frame of each machine: messages, then the steps due by the clock.
void frame(std::vector<paced>& all) {
    for (paced& p : all) {
        p.session->poll();
        while (clock_type::now() >= p.next_step) {
            p.next_step += std::chrono::milliseconds(33);
            if (!p.session->may_step()) continue;
            p.session->before_step();
            if (p.session->may_step()) p.session->battle().run_step(false);
            p.session->after_step();
        }
        for (int extra = 0; extra < 4 && (p.session->steps_behind() > 2 || p.session->order_in_reach());
             ++extra) {
            p.session->before_step();
            p.session->battle().run_step(false);
            p.session->after_step();
        }
        p.session->before_step();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
}

void order_latency() {
    std::string error;
    auto hb = std::make_unique<c_count_battle>();
    c_count_battle* host_battle = hb.get();
    auto host = c_net_host::create(std::move(hb), "127.0.0.1", 0, "BENCH1", error);
    if (!host) {
        std::printf("order latency: %s\n", error.c_str());
        return;
    }
    host->toggle_seat(1), host->toggle_seat(2);
    auto ab = std::make_unique<c_count_battle>();
    auto bb = std::make_unique<c_count_battle>();
    c_count_battle* b_battle = bb.get();
    auto a = c_net_guest::create(std::move(ab), "127.0.0.1", host->port(), "BENCH1");
    auto b = c_net_guest::create(std::move(bb), "127.0.0.1", host->port(), "BENCH1");
    std::vector<paced> all = {{host.get()}, {a.get()}, {b.get()}};
    while (host->holder(1) != SEAT_GUEST || host->holder(2) != SEAT_GUEST)
        frame(all);
    host->start(1);
    while (a->status() != NET_PLAYING || b->status() != NET_PLAYING)
        frame(all);
    // Guest a plays seat 1 or 2; the host ends turns until it is a's.
    std::vector<double> to_other, to_host;
    int n = 0;
    while (to_other.size() < 100 && n++ < 100000) {
        c_net_session* player = host->plays(host_battle->current()) ? static_cast<c_net_session*>(host.get())
                                : a->plays(host_battle->current())  ? static_cast<c_net_session*>(a.get())
                                                                    : b.get();
        if (!player->takes_input()) {
            frame(all);
            continue;
        }
        battle_order o;
        o.player = host_battle->current();
        // a gives next-unit orders (they stay in its turn), the others end theirs.
        o.kind = player == a.get() && to_other.size() % 10 != 9 ? ORDER_NEXT_UNIT : ORDER_END_TURN;
        const size_t b_before = b_battle->applied, h_before = host_battle->applied;
        const auto t0 = clock_type::now();
        player->request(o);
        double host_ms = -1;
        while (b_battle->applied == b_before) {
            frame(all);
            if (host_ms < 0 && host_battle->applied > h_before) host_ms = ms_since(t0);
        }
        if (player == a.get()) {
            to_other.push_back(ms_since(t0));
            to_host.push_back(host_ms < 0 ? ms_since(t0) : host_ms);
        }
    }
    std::sort(to_other.begin(), to_other.end());
    std::sort(to_host.begin(), to_host.end());
    if (to_other.empty()) return;
    auto at = [](const std::vector<double>& v, double q) {
        return v[static_cast<size_t>(q * (v.size() - 1))];
    };
    std::printf("order from a guest, carried out on the host: median %.1f ms, 95th %.1f ms, max %.1f ms\n",
                at(to_host, 0.5), at(to_host, 0.95), to_host.back());
    std::printf(
        "order from a guest, carried out on the other guest: median %.1f ms, 95th %.1f ms, max %.1f ms "
        "(%zu orders, frames of 16 ms)\n",
        at(to_other, 0.5), at(to_other, 0.95), to_other.back(), to_other.size());
}

// ---- rejoining a battle of 100 real orders

// The battle of the process, seen by a guest that only follows it: the host drives it, so this
// guest builds nothing, carries nothing out and reports no turns.
class c_follow_battle : public c_net_battle {
  public:
    // The follower is where its horizon says: the host's battle may have run further.
    const c_net_session* owner = nullptr;
    void build(std::uint32_t) override {}
    std::uint64_t rules() const override { return rules_fingerprint(); }
    std::uint32_t step() const override { return owner ? owner->horizon() : 0; }
    int current() const override { return g_playermanager ? g_playermanager->get_current() : -1; }
    int turns() const override { return 0; }
    bool quiet() const override { return battle_is_quiet(); }
    std::uint64_t hash() const override { return 0; }
    std::string refusal(const battle_order& o) const override { return order_refusal(o); }
    bool apply(const battle_order&) override { return true; }
    void run_step(bool) override {}
    void skip_to(std::uint32_t) override {}
    std::string player_name(int seat) const override { return "seat " + std::to_string(seat + 1); }
};

using world = data_world;

// Every session polled and allowed its steps, without pacing (the host plays as fast as it can).
void turn_over(std::vector<c_net_session*> all, bool host_steps) {
    for (c_net_session* s : all) {
        s->poll();
        if (!s->is_host()) s->before_step();
    }
    c_net_session* host = all[0];
    if (host_steps && host->may_step()) {
        host->before_step();
        if (host->may_step()) host->battle().run_step(true);
        host->after_step();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void rejoin(int runs) {
    world w;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        std::string error;
        auto host = c_net_host::create(make_game_net_battle(), "127.0.0.1", 0, "BENCH2", error);
        if (!host) {
            std::printf("rejoin: %s\n", error.c_str());
            return;
        }
        host->toggle_seat(2);
        auto follow = std::make_unique<c_follow_battle>();
        c_follow_battle* followed = follow.get();
        auto follower = c_net_guest::create(std::move(follow), "127.0.0.1", host->port(), "BENCH2");
        followed->owner = follower.get();
        while (host->holder(2) != SEAT_GUEST)
            turn_over({host.get(), follower.get()}, false);
        host->start(20240610u + static_cast<std::uint32_t>(run));
        std::mt19937 rng(run + 1);
        // 100 orders, each by the machine whose seat's turn it is.
        while (host->orders_applied() < 100 && g_playermanager->get_num_alive() > 1) {
            c_net_session* player = host->plays(g_playermanager->get_current())
                                        ? static_cast<c_net_session*>(host.get())
                                        : follower.get();
            if (player->takes_input()) player->request(random_order(rng, 0));
            turn_over({host.get(), follower.get()}, true);
        }
        // Settled, then the follower drops.
        for (int i = 0; i < 2000 && !battle_is_quiet(); ++i)
            turn_over({host.get(), follower.get()}, true);
        const std::uint64_t hash = battle_state_hash();
        const std::uint32_t step = g_battle_step;
        follower.reset();
        while (host->holder(2) != SEAT_MISSING)
            turn_over({host.get()}, false);
        // The guest that rejoins builds the battle again (the process's only battle: the host's
        // is the same one, and the host runs no step until the guest has caught up).
        const auto t0 = clock_type::now();
        auto guest = c_net_guest::create(make_game_net_battle(), "127.0.0.1", host->port(), "BENCH2");
        while (guest->status() != NET_PLAYING || guest->steps_behind() > 0 || guest->battle().step() < step) {
            // Once the guest is greeted the host has sent all it needs, and is not polled again:
            // its battle is the one the guest is building.
            if (host->holder(2) != SEAT_GUEST)
                turn_over({host.get(), guest.get()}, false);
            else
                turn_over({guest.get()}, false);
            if (guest->steps_behind() > 0) guest->catch_up(1000000);
            if (guest->status() == NET_ENDED || guest->status() == NET_STOPPED) break;
        }
        const double ms = ms_since(t0);
        times.push_back(ms);
        std::printf("rejoin after %zu orders (%u steps): %.1f ms, battle %s\n", guest->orders_applied(), step,
                    ms, battle_state_hash() == hash ? "the same as the host's" : "DIFFERENT from the host's");
    }
    std::sort(times.begin(), times.end());
    std::printf("rejoin: median %.1f ms of %zu runs\n", times[times.size() / 2], times.size());
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    order_latency();
    rejoin(5);
    return 0;
}
