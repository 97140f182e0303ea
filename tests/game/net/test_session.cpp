// Lockstep over loopback in one process: a host and two guests, each with a battle of its own,
// play scripted turns; every machine carries out the same orders at the same steps and agrees at
// every turn's end. Also: a guest dropped and rejoined, peers that break the rules dropped with
// their reason while the battle goes on, a wrong join code refused, battles that go apart stopped.
//
// The battles here are a small model with the traits lockstep depends on: orders that keep a
// unit in action for some steps, turns, a hash of everything that happened and when.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "game/net/session.h"

namespace {

struct applied {
    std::uint32_t step;
    battle_order order;
    bool operator==(const applied&) const = default;
};

class c_model_battle : public c_net_battle {
  public:
    std::uint64_t salt = 0; // a machine whose battle differs from the others'
    std::vector<applied> history;
    std::map<int, std::uint64_t> turn_hashes;

    void build(std::uint32_t seed) override {
        seed_ = seed, step_ = 0, current_ = 0, turns_ = 0, busy_ = 0, h_ = seed ^ salt;
        history.clear();
        turn_hashes.clear();
    }
    std::uint64_t rules() const override { return 0xABCDEF; }
    std::uint32_t step() const override { return step_; }
    int current() const override { return current_; }
    int turns() const override { return turns_; }
    bool quiet() const override { return busy_ == 0; }
    std::uint64_t hash() const override { return h_ * 31 + step_; }
    // Units 0..29 belong to the player of their id modulo 3.
    std::string refusal(const battle_order& o) const override {
        if (o.player != current_) return "comes in another player's turn";
        if (o.unit >= 30) return "names a unit that is not in the battle";
        if (o.unit >= 0 && o.unit % 3 != o.player) return "names a unit of another player";
        if (busy_ > 0) return "comes while a unit is in action";
        return "";
    }
    bool apply(const battle_order& o) override {
        if (!refusal(o).empty()) return false;
        history.push_back({step_, o});
        h_ = h_ * 1099511628211ull ^ (step_ * 8 + static_cast<std::uint64_t>(o.kind)) ^ (o.unit + 1) << 20;
        if (o.kind == ORDER_ACT) busy_ = 4;
        if (o.kind == ORDER_END_TURN) {
            current_ = (current_ + 1) % 3, ++turns_;
            turn_hashes[turns_] = hash();
        }
        return true;
    }
    void run_step(bool) override {
        if (busy_ > 0) --busy_;
        ++step_;
    }
    void skip_to(std::uint32_t step) override { step_ = std::max(step_, step); }
    std::string player_name(int seat) const override { return "Seat" + std::to_string(seat + 1); }

  private:
    std::uint32_t seed_ = 0, step_ = 0;
    int current_ = 0, turns_ = 0, busy_ = 0;
    std::uint64_t h_ = 0;
};

const std::string code = "K7Q2P9";

struct machine {
    std::unique_ptr<c_net_session> session;
    c_model_battle* battle = nullptr;
};

machine host_machine(std::string& error) {
    auto b = std::make_unique<c_model_battle>();
    machine m;
    m.battle = b.get();
    m.session = c_net_host::create(std::move(b), "127.0.0.1", 0, code, error);
    return m;
}

machine guest_machine(std::uint16_t port, const std::string& join_code = code, std::uint64_t salt = 0) {
    auto b = std::make_unique<c_model_battle>();
    b->salt = salt;
    machine m;
    m.battle = b.get();
    m.session = c_net_guest::create(std::move(b), "127.0.0.1", port, join_code);
    return m;
}

c_net_host& host_of(machine& m) {
    return static_cast<c_net_host&>(*m.session);
}

// One frame of every machine: messages, then the steps it may run (a few, as a frame of a
// guest that is behind would).
void frame(std::vector<machine*> all) {
    for (machine* m : all) {
        if (!m->session) continue;
        m->session->poll();
        // Far behind (it has just joined): what it missed is run without pictures.
        if (m->session->steps_behind() > 3) m->session->catch_up(100000);
        for (int n = 0; n < 3 && m->session->may_step(); ++n) {
            m->session->before_step();
            if (!m->session->may_step()) break;
            m->session->battle().run_step(false);
            m->session->after_step();
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Frames until `done`; false after 10 s of frames.
bool run_until(std::vector<machine*> all, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        frame(all);
    }
    return true;
}

// The script of a turn for the player of `seat`: a unit selected, sent into action, the turn ended.
std::vector<battle_order> turn_script(int seat, int round) {
    battle_order select, act, end;
    select.kind = ORDER_SELECT, select.player = seat, select.unit = seat + 3 * (round % 10);
    act.kind = ORDER_ACT, act.player = seat, act.unit = select.unit, act.col = round % 20, act.row = seat;
    act.aim_x = 5, act.aim_y = -3;
    end.kind = ORDER_END_TURN, end.player = seat;
    return {select, act, end};
}

// Plays `turns` turns from the current one, each by the machine holding its seat.
void play_turns(std::vector<machine*> all, int turns) {
    for (int t = 0; t < turns; ++t) {
        c_net_battle& hb = all[0]->session->battle();
        const int seat = hb.current();
        const int start_turns = hb.turns();
        machine* player = nullptr;
        for (machine* m : all)
            if (m->session && m->session->plays(seat)) player = m;
        ASSERT_NE(player, nullptr) << "nobody plays seat " << seat;
        for (const battle_order& o : turn_script(seat, start_turns)) {
            ASSERT_TRUE(run_until(all, [&] { return player->session->takes_input(); }))
                << "turn " << start_turns;
            ASSERT_TRUE(player->session->request(o)) << "turn " << start_turns << " order " << o.kind;
            // A second order while the first is on its way is not taken.
            EXPECT_FALSE(player->session->request(o));
        }
        ASSERT_TRUE(run_until(all, [&] { return hb.turns() > start_turns; }));
    }
}

class net_session : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        host = host_machine(error);
        ASSERT_TRUE(host.session) << error;
        ASSERT_TRUE(host_of(host).toggle_seat(1));
        ASSERT_TRUE(host_of(host).toggle_seat(2));
        port = host_of(host).port();
        ASSERT_NE(port, 0);
    }
    void join_both() {
        a = guest_machine(port);
        b = guest_machine(port);
        ASSERT_TRUE(run_until(all(), [&] {
            return host.session->holder(1) == SEAT_GUEST && host.session->holder(2) == SEAT_GUEST;
        }));
        ASSERT_TRUE(host_of(host).start(3141592653u));
        ASSERT_TRUE(run_until(
            all(), [&] { return a.session->status() == NET_PLAYING && b.session->status() == NET_PLAYING; }));
    }
    std::vector<machine*> all() { return {&host, &a, &b}; }
    // Every machine has carried out the same orders at the same steps and agrees at every turn end.
    void expect_agree(size_t orders) {
        ASSERT_TRUE(run_until(all(),
                              [&] {
                                  return a.battle->history.size() == orders &&
                                         b.battle->history.size() == orders &&
                                         host.battle->history.size() == orders;
                              }))
            << host.battle->history.size() << " " << a.battle->history.size() << " "
            << b.battle->history.size();
        EXPECT_EQ(a.battle->history, host.battle->history);
        EXPECT_EQ(b.battle->history, host.battle->history);
        EXPECT_EQ(a.battle->turn_hashes, host.battle->turn_hashes);
        EXPECT_EQ(b.battle->turn_hashes, host.battle->turn_hashes);
    }
    machine host, a, b;
    std::uint16_t port = 0;
};

TEST_F(net_session, three_machines_carry_out_every_order_at_the_same_step) {
    join_both();
    // Seats in the order the guests were given them.
    const int seat_a = static_cast<c_net_guest&>(*a.session).seat();
    EXPECT_TRUE(seat_a == 1 || seat_a == 2);
    play_turns(all(), 7);
    expect_agree(21);
    EXPECT_EQ(host.battle->turns(), 7);
    EXPECT_EQ(host.session->last_turn(), 7);
    EXPECT_EQ(a.session->last_turn_hash(), host.session->last_turn_hash());
    // No machine was dropped; nothing was refused.
    for (const std::string& line : host.session->log())
        EXPECT_EQ(line.find("dropped"), std::string::npos) << line;
    // The order applied on the host right after a step the guests had not run yet: no guest
    // ever ran past the host.
    EXPECT_LE(a.battle->step(), host.battle->step());
}

TEST_F(net_session, a_battle_continued_from_its_orders_is_played_on_from_where_it_stood) {
    // Six turns as a record holds them: each order with the step it was given at.
    std::vector<c_net_host::past_order> past;
    for (int t = 0; t < 6; ++t) {
        const std::vector<battle_order> script = turn_script(t % 3, t);
        const std::uint32_t base = static_cast<std::uint32_t>(t) * 20;
        past.push_back({base, script[0]});
        past.push_back({base + 1, script[1]});
        past.push_back({base + 10, script[2]});
    }
    a = guest_machine(port);
    b = guest_machine(port);
    ASSERT_TRUE(run_until(all(), [&] {
        return host.session->holder(1) == SEAT_GUEST && host.session->holder(2) == SEAT_GUEST;
    }));
    ASSERT_TRUE(host_of(host).start(99, past));
    // The host stands where the orders left the battle before the first frame.
    EXPECT_EQ(host.battle->turns(), 6);
    ASSERT_EQ(host.battle->history.size(), 18u);
    EXPECT_EQ(host.battle->history[4].step, 21u);
    expect_agree(18);
    for (const std::string& line : host.session->log())
        EXPECT_EQ(line.find("dropped"), std::string::npos) << line;
    play_turns(all(), 3);
    expect_agree(27);
}

TEST_F(net_session, a_dropped_guest_pauses_the_battle_and_catches_up_when_it_rejoins) {
    join_both();
    play_turns(all(), 4);
    expect_agree(12);
    const int seat_b = static_cast<c_net_guest&>(*b.session).seat();
    b.session.reset(); // killed: its connection simply ends
    ASSERT_TRUE(run_until({&host, &a}, [&] { return host.session->holder(seat_b) == SEAT_MISSING; }));
    EXPECT_NE(host.session->notice().find("Seat" + std::to_string(seat_b + 1) + " has dropped"),
              std::string::npos)
        << host.session->notice();
    EXPECT_FALSE(host.session->may_step());
    const std::uint32_t paused_at = host.battle->step();
    for (int i = 0; i < 20; ++i)
        frame({&host, &a});
    EXPECT_EQ(host.battle->step(), paused_at);
    EXPECT_NE(a.session->notice(), "");

    // A wrong code does not take the seat.
    machine wrong = guest_machine(port, "WRONG1");
    ASSERT_TRUE(run_until({&host, &a, &wrong}, [&] { return wrong.session->status() == NET_ENDED; }));
    EXPECT_EQ(wrong.session->sentence(), "The join code is wrong.");
    EXPECT_EQ(host.session->holder(seat_b), SEAT_MISSING);

    b = guest_machine(port);
    ASSERT_TRUE(run_until(all(), [&] {
        return host.session->holder(seat_b) == SEAT_GUEST && b.session->steps_behind() == 0 &&
               b.session->status() == NET_PLAYING;
    }));
    expect_agree(12);
    play_turns(all(), 3);
    expect_agree(21);
}

TEST_F(net_session, the_host_takes_a_missing_seat_over) {
    join_both();
    play_turns(all(), 1);
    const int seat_a = static_cast<c_net_guest&>(*a.session).seat();
    a.session.reset();
    ASSERT_TRUE(run_until({&host, &b}, [&] { return host.session->holder(seat_a) == SEAT_MISSING; }));
    EXPECT_FALSE(host_of(host).toggle_seat(0)); // the host plays it already
    ASSERT_TRUE(host_of(host).toggle_seat(seat_a));
    EXPECT_TRUE(host.session->plays(seat_a));
    EXPECT_EQ(host.session->notice(), "");
    play_turns({&host, &a, &b}, 3);
    ASSERT_TRUE(
        run_until({&host, &b}, [&] { return b.battle->history.size() == host.battle->history.size(); }));
    EXPECT_EQ(b.battle->history, host.battle->history);
}

// A peer that breaks the rules, after its greeting (or instead of it).
struct hostile_case {
    const char* name;
    bool greets;
    std::function<std::string(int seat)> bytes;
    const char* reason; // in the host's log
    bool holds_seat;    // the battle then waits for its seat
};

std::string request_bytes(battle_order o) {
    net_message m;
    m.type = MSG_REQUEST;
    m.order = o;
    return encode_message(m);
}

battle_order end_turn_of(int seat) {
    battle_order o;
    o.kind = ORDER_END_TURN, o.player = seat;
    return o;
}

TEST_F(net_session, peers_breaking_the_rules_are_dropped_with_their_reason) {
    const hostile_case cases[] = {
        {"garbage", false, [](int) { return std::string("GET / HTTP/1.1\r\n\r\n"); }, "a message too long",
         false},
        {"length zero", false, [](int) { return std::string("\0\0", 2); }, "an empty message", false},
        {"order without a seat", false, [](int) { return request_bytes(end_turn_of(0)); },
         "gave an order before it had a seat", false},
        {"host's message", true,
         [](int) {
             net_message m;
             m.type = MSG_HORIZON;
             return encode_message(m);
         },
         "sent a message only a host sends", true},
        {"another seat's order", true, [](int seat) { return request_bytes(end_turn_of(seat == 1 ? 2 : 1)); },
         "gave an order for a seat it does not hold", true},
        {"out of its turn", true, [](int seat) { return request_bytes(end_turn_of(seat)); },
         "gave an order out of its turn", true},
        {"a turn not played", true,
         [](int) {
             net_message m;
             m.type = MSG_TURN, m.turn = 40;
             return encode_message(m);
         },
         "reported the end of turn 40, which was not played", true},
        {"greets twice", true,
         [](int) {
             net_message m;
             m.type = MSG_HELLO, m.text = code;
             return encode_message(m);
         },
         "greeted twice", true},
    };
    // The host plays seats 0 and 1; one guest holds seat 2 and plays fair.
    ASSERT_TRUE(host_of(host).toggle_seat(1));
    a = guest_machine(port);
    ASSERT_TRUE(run_until({&host, &a}, [&] { return host.session->holder(2) == SEAT_GUEST; }));
    ASSERT_TRUE(host_of(host).start(7));
    ASSERT_TRUE(run_until({&host, &a}, [&] { return a.session->status() == NET_PLAYING; }));
    int rejoin_seat = 2;
    for (const hostile_case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t log_before = host.session->log().size();
        if (c.greets) {
            // The fair guest leaves its seat to the hostile one for a while.
            a.session.reset();
            ASSERT_TRUE(run_until({&host}, [&] { return host.session->holder(2) == SEAT_MISSING; }));
        }
        auto link = c_net_link::connect("127.0.0.1", port);
        net_event e;
        bool connected = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool closed = false;
        bool sent = false;
        while (!closed && std::chrono::steady_clock::now() < end) {
            frame({&host});
            while (link->poll(e)) {
                if (e.kind == net_event::CONNECTED) {
                    connected = true;
                    if (c.greets) {
                        net_message hello;
                        hello.type = MSG_HELLO, hello.text = code;
                        link->send(0, hello);
                    } else {
                        link->send_bytes(0, c.bytes(-1));
                        sent = true;
                    }
                }
                if (e.kind == net_event::MESSAGE && e.message.type == MSG_WELCOME && !sent) {
                    rejoin_seat = e.message.seat;
                    link->send_bytes(0, c.bytes(e.message.seat));
                    sent = true;
                }
                if (e.kind == net_event::CLOSED) closed = true;
            }
        }
        ASSERT_TRUE(connected);
        ASSERT_TRUE(closed) << "the host kept the peer";
        // The host's own line on the drop, written after this case began.
        std::string last;
        ASSERT_TRUE(run_until({&host}, [&] {
            const auto& log = host.session->log();
            for (size_t i = log_before; i < log.size() && last.empty(); ++i)
                if (log[i].find("dropped") != std::string::npos) last = log[i];
            return !last.empty();
        }));
        EXPECT_NE(last.find(c.reason), std::string::npos) << last;
        // The battle goes on: it runs while nobody is missing.
        if (c.holds_seat) {
            ASSERT_TRUE(
                run_until({&host}, [&] { return host.session->holder(rejoin_seat) == SEAT_MISSING; }));
            a = guest_machine(port);
        }
        const std::uint32_t before = host.battle->step();
        ASSERT_TRUE(run_until({&host, &a}, [&] {
            return host.battle->step() > before + 5 && a.session->steps_behind() == 0 &&
                   a.session->status() == NET_PLAYING;
        }));
    }
    // The fair game went on through all of it.
    play_turns({&host, &a}, 3);
    ASSERT_TRUE(
        run_until({&host, &a}, [&] { return a.battle->history.size() == host.battle->history.size(); }));
    EXPECT_EQ(a.battle->history, host.battle->history);
}

TEST_F(net_session, battles_that_go_apart_are_stopped_naming_the_turn) {
    a = guest_machine(port);
    b = guest_machine(port, code, 1); // its battle is not the host's
    ASSERT_TRUE(run_until(all(), [&] {
        return host.session->holder(1) == SEAT_GUEST && host.session->holder(2) == SEAT_GUEST;
    }));
    ASSERT_TRUE(host_of(host).start(11));
    ASSERT_TRUE(run_until(all(), [&] { return b.session->status() == NET_PLAYING; }));
    play_turns(all(), 1);
    ASSERT_TRUE(run_until(
        all(), [&] { return a.session->status() == NET_STOPPED && b.session->status() == NET_STOPPED; }));
    EXPECT_EQ(host.session->status(), NET_STOPPED);
    EXPECT_NE(host.session->sentence().find("at the end of turn 1"), std::string::npos)
        << host.session->sentence();
    EXPECT_EQ(a.session->notice(), host.session->sentence());
    EXPECT_FALSE(host.session->may_step());
}

TEST_F(net_session, joins_are_refused_with_a_sentence) {
    machine wrong = guest_machine(port, "NOPE");
    ASSERT_TRUE(run_until({&host, &wrong}, [&] { return wrong.session->status() == NET_ENDED; }));
    EXPECT_EQ(wrong.session->sentence(), "The join code is wrong.");
    join_both();
    machine late = guest_machine(port);
    ASSERT_TRUE(run_until({&host, &a, &b, &late}, [&] { return late.session->status() == NET_ENDED; }));
    EXPECT_EQ(late.session->sentence(), "The battle has no free seat.");
    machine nobody = guest_machine(1); // nothing listens on port 1
    ASSERT_TRUE(run_until({&nobody}, [&] { return nobody.session->status() == NET_ENDED; }));
    EXPECT_EQ(nobody.session->sentence().rfind("Unable to reach the host: ", 0), 0u)
        << nobody.session->sentence();
    // The host leaving ends the battle for its guests.
    host.session->leave();
    ASSERT_TRUE(run_until(
        {&a, &b}, [&] { return a.session->status() == NET_ENDED && b.session->status() == NET_ENDED; }));
    EXPECT_NE(a.session->sentence().find("The host has left."), std::string::npos) << a.session->sentence();
}

TEST(net_host, judges_requests_by_seat_turn_and_the_battles_rules) {
    std::string error;
    machine host = host_machine(error);
    ASSERT_TRUE(host.session) << error;
    c_net_host& h = host_of(host);
    battle_order act;
    act.kind = ORDER_ACT, act.player = 0, act.unit = 3, act.col = 2, act.row = 2;
    EXPECT_EQ(h.request_refusal(0, act), "gave an order while no battle was played");
    ASSERT_TRUE(h.start(5));
    struct request_case {
        int seat;
        battle_order order;
        const char* refusal;
    };
    battle_order other_unit = act;
    other_unit.unit = 4;
    battle_order gone = act;
    gone.unit = 33;
    battle_order off = act;
    off.col = 40;
    battle_order turn1 = end_turn_of(1);
    const request_case cases[] = {
        {0, act, ""},
        {0, end_turn_of(0), ""},
        {1, act, "gave an order for a seat it does not hold"},
        {1, turn1, "gave an order out of its turn"},
        {0, other_unit, "gave an order that names a unit of another player"},
        {0, gone, "gave an order that names a unit that is not in the battle"},
        {0, off, "sent an order to a tile off any map"},
    };
    for (const request_case& c : cases)
        EXPECT_EQ(h.request_refusal(c.seat, c.order), c.refusal)
            << "seat " << c.seat << " kind " << c.order.kind;
    // Taken: the host numbers it for the coming step; a second order waits for the first.
    ASSERT_TRUE(h.request(act));
    EXPECT_EQ(h.request_refusal(0, end_turn_of(0)), "gave an order before its last one was carried out");
    h.before_step();
    ASSERT_EQ(host.battle->history.size(), 1u);
    EXPECT_EQ(host.battle->history[0].step, 0u);
    EXPECT_EQ(h.request_refusal(0, end_turn_of(0)), "gave an order that comes while a unit is in action");
}

} // namespace

namespace {

TEST(net_host, connections_that_never_greet_are_dropped) {
    std::string error;
    machine host = host_machine(error);
    ASSERT_TRUE(host.session) << error;
    host_of(host).set_greeting_limit(100);
    auto silent = c_net_link::connect("127.0.0.1", host_of(host).port());
    bool closed = false;
    net_event e;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!closed && std::chrono::steady_clock::now() < end) {
        frame({&host});
        while (silent->poll(e))
            closed = closed || e.kind == net_event::CLOSED;
    }
    ASSERT_TRUE(closed);
    EXPECT_NE(host.session->log().back().find("did not greet in time"), std::string::npos)
        << host.session->log().back();
    // A greeting in time still takes a seat.
    ASSERT_TRUE(host_of(host).toggle_seat(2));
    machine guest = guest_machine(host_of(host).port());
    ASSERT_TRUE(run_until({&host, &guest}, [&] { return host.session->holder(2) == SEAT_GUEST; }));
}

} // namespace
