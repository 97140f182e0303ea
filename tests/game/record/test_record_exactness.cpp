// Exactness of battle records: seeded battles played with random legal orders (every unit
// kind, strikes, arrows, cannonballs that bounce and backfire, give-ups, turn ends) are recorded
// to a real file; the battle built again from that file, cut after any of its orders, in this
// process or in a fresh one, continued with the same orders, reaches the same state hash after
// every step and every order.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "game/effect_random.h"
#include "game/record/battle_record.h"
#include "tests/game/data_battle_fixture.h"
#include "tests/game/record/random_orders.h"

namespace {

// What a played battle went through, so that the test can say it covered the rules it means to.
struct tallies {
    std::map<std::string, int> texts; // result texts by their stringtable key
    int archer_shots = 0, cannon_shots = 0, strikes = 0, give_ups = 0, turn_ends = 0, disbands = 0;
};

class record_exactness : public data_battle_test {
  protected:
    record_exactness() {
        dev.keep_log = false; // tens of thousands of steps
        g_saves_folder = saves.path();
    }
    ~record_exactness() override {
        record_close();
        g_saves_folder.clear();
    }

    void sample(int orders) { samples.push_back({g_battle_step, orders, battle_state_hash()}); }

    void count_new_texts() {
        static const char* keys[] = {"hit",  "block",    "kill",         "miss",   "bounce",
                                     "boom", "backfire", "selfdestruct", "sploosh"};
        for (const c_effect* e : g_overlays)
            if (const auto* t = dynamic_cast<const c_resulttext*>(e); t && t->lifetime == 255)
                for (const char* key : keys)
                    if (t->text == g_stringtable->get_string("gameplay", key)) ++seen.texts[key];
    }

    void step_and_sample(int orders) {
        battle_update_step();
        count_new_texts();
        sample(orders);
    }

    void tally(const battle_order& o) {
        if (o.kind == ORDER_GIVE_UP) ++seen.give_ups;
        if (o.kind == ORDER_END_TURN) ++seen.turn_ends;
        if (o.kind == ORDER_DISBAND) ++seen.disbands;
        if (o.kind != ORDER_ACT) return;
        const c_unit* u = g_unitmanager->find_unit(o.unit);
        const int k = u->classify(g_map->get_tile(o.col, o.row));
        if (k == CLASS_ATTACK) ++seen.strikes;
        if (k == CLASS_TARGET && dynamic_cast<const c_archer*>(u)) ++seen.archer_shots;
        if (k == CLASS_TARGET && dynamic_cast<const c_cannon*>(u)) ++seen.cannon_shots;
    }

    // Plays and records a battle of `num_orders` random orders (effects kept, as on screen).
    void play(std::uint32_t seed, int num_orders) {
        samples.clear();
        std::mt19937 rng(seed);
        cwd_guard cwd(data_dir());
        start_battle(seed);
        record_begin(seed);
        ASSERT_EQ(record_problem(), "");
        sample(0);
        for (int k = 0; k < num_orders && g_playermanager->get_num_alive() > 0; ++k) {
            for (int i = 0; i < 100000 && !battle_is_quiet(); ++i)
                step_and_sample(k);
            // A player who thinks a while: steps in which nothing happens.
            for (int idle = static_cast<int>(rng() % 4); idle > 0; --idle)
                step_and_sample(k);
            const battle_order o = random_order(rng, k > num_orders / 2 ? 12 : 2);
            ASSERT_EQ(order_refusal(o), "") << "order " << k;
            tally(o);
            ASSERT_TRUE(give_order(o));
            sample(k + 1);
        }
        for (int i = 0; i < 100000 && !battle_is_quiet(); ++i)
            step_and_sample(static_cast<int>(samples.back().orders));
        path = record_path();
        record_close();
    }

    std::vector<state_sample> samples;
    tallies seen;
    std::string path;
    scratch_dir saves;
};

std::vector<battle_order> orders_of(const record_file& r) {
    std::vector<battle_order> out;
    for (const record_event& e : r.events)
        if (e.what == EVENT_ORDER) out.push_back(e.order);
    return out;
}

// Builds the record's battle afresh (released first, both streams scrambled, the step clock
// wrong) up to just after order `cut`, then gives the rest of its orders at their steps,
// sampling after every step and every order as the played battle did.
std::vector<state_sample> continue_from(const record_file& record, size_t cut, std::string& error) {
    std::vector<state_sample> out;
    gameplay_unload_static();
    crt::srand(0xDEADBEEFu);
    effect_srand(0x12345u);
    g_battle_step = 777;
    cwd_guard cwd(data_dir());
    c_record_player player(record);
    if (!player.run_all(cut, false)) {
        error = player.reason();
        return out;
    }
    const std::vector<battle_order> orders = orders_of(record);
    std::vector<std::uint32_t> steps;
    for (const record_event& e : record.events)
        if (e.what == EVENT_ORDER) steps.push_back(e.step);
    int given = static_cast<int>(cut);
    out.push_back({g_battle_step, given, battle_state_hash()});
    for (size_t i = cut; i < orders.size(); ++i) {
        while (g_battle_step < steps[i]) {
            battle_update_step();
            clear_effects(g_effects); // pictures only: the continuation keeps none
            clear_effects(g_overlays);
            out.push_back({g_battle_step, given, battle_state_hash()});
        }
        if (!give_order(orders[i])) {
            error = "order " + std::to_string(i + 1) + " refused: " + order_refusal(orders[i]);
            return out;
        }
        out.push_back({g_battle_step, ++given, battle_state_hash()});
    }
    run_until_quiet(&out, given, false);
    return out;
}

// The samples of the played battle from the one just after order `cut` on.
std::vector<state_sample> tail_from(const std::vector<state_sample>& all, size_t cut) {
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].orders == static_cast<int>(cut) &&
            (cut == 0 || i == 0 || all[i - 1].orders < static_cast<int>(cut)))
            return std::vector<state_sample>(all.begin() + static_cast<std::ptrdiff_t>(i), all.end());
    return {};
}

std::string first_difference(const std::vector<state_sample>& want, const std::vector<state_sample>& got) {
    for (size_t i = 0; i < std::min(want.size(), got.size()); ++i)
        if (!(want[i] == got[i]))
            return "sample " + std::to_string(i) + ": step " + std::to_string(want[i].step) + "/" +
                   std::to_string(got[i].step) + ", orders " + std::to_string(want[i].orders) + "/" +
                   std::to_string(got[i].orders) +
                   ", hashes differ: " + std::to_string(want[i].hash != got[i].hash);
    if (want.size() != got.size())
        return "lengths " + std::to_string(want.size()) + " and " + std::to_string(got.size());
    return "";
}

std::string own_executable() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

} // namespace

TEST_F(record_exactness, LoadedBattlesContinueExactlyAtEveryStep) {
    tallies all;
    for (std::uint32_t seed : {11u, 2024u, 31337u, 777777u, 42u, 5u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        play(seed, 160);
        ASSERT_FALSE(HasFatalFailure());
        const record_read read = read_record(path);
        ASSERT_EQ(read.status, RECORD_OK) << read.reason;
        const size_t n = orders_of(read.record).size();
        ASSERT_GT(n, 20u);
        for (size_t cut : {size_t(0), size_t(1), n / 3, n / 2, n - 1, n}) {
            SCOPED_TRACE("cut after order " + std::to_string(cut));
            std::string error;
            const std::vector<state_sample> got = continue_from(read.record, cut, error);
            ASSERT_EQ(error, "");
            EXPECT_EQ(first_difference(tail_from(samples, cut), got), "");
        }
        for (const auto& [key, count] : seen.texts)
            all.texts[key] += count;
        all.archer_shots += seen.archer_shots, all.cannon_shots += seen.cannon_shots,
            all.strikes += seen.strikes;
        all.give_ups += seen.give_ups, all.turn_ends += seen.turn_ends, all.disbands += seen.disbands;
        seen = tallies{};
    }
    // The battles went through every rule a record has to reproduce.
    EXPECT_GT(all.strikes, 0);
    EXPECT_GT(all.archer_shots, 0);
    EXPECT_GT(all.cannon_shots, 0);
    EXPECT_GT(all.give_ups, 0);
    EXPECT_GT(all.turn_ends, 0);
    for (const char* key : {"hit", "block", "kill", "miss", "bounce", "boom", "backfire"})
        EXPECT_GT(all.texts[key], 0) << key;
}

// A process killed while it wrote an order leaves half a line: the record without it is the
// battle up to the order before.
TEST_F(record_exactness, AHalfWrittenLastOrderIsLeftOut) {
    play(99, 60);
    ASSERT_FALSE(HasFatalFailure());
    const std::string bytes = read_file(path);
    const size_t last_order = bytes.rfind("\norder ");
    ASSERT_NE(last_order, std::string::npos);
    const size_t line_end = bytes.find('\n', last_order + 1);
    const record_read whole = parse_record(bytes.substr(0, line_end + 1));
    const record_read cut = parse_record(bytes.substr(0, last_order + 10));
    ASSERT_EQ(cut.status, RECORD_OK) << cut.reason;
    EXPECT_TRUE(cut.record.cut_tail);
    EXPECT_EQ(cut.record.whole_size, last_order + 1);
    const size_t n = orders_of(whole.record).size();
    EXPECT_EQ(orders_of(cut.record).size(), n - 1);
    std::string error;
    const auto from_cut = continue_from(cut.record, n - 1, error);
    ASSERT_EQ(error, "");
    const auto from_whole = continue_from(whole.record, n - 1, error);
    ASSERT_EQ(error, "");
    ASSERT_FALSE(from_cut.empty());
    EXPECT_EQ(from_cut.front(), from_whole.front());
}

// The same check across processes: a child built from nothing but the record file.
TEST_F(record_exactness, AFreshProcessContinuesTheRecordExactly) {
    play(4711, 120);
    ASSERT_FALSE(HasFatalFailure());
    const record_read read = read_record(path);
    ASSERT_EQ(read.status, RECORD_OK) << read.reason;
    const size_t cut = orders_of(read.record).size() / 2;
    const std::string out = saves.file("child.txt");
    const std::string command =
        "HV_RECORD_CHILD='" + path + "' HV_RECORD_CUT=" + std::to_string(cut) + " HV_RECORD_OUT='" + out +
        "' '" + own_executable() +
        "' --gtest_filter=record_child.ContinuesARecordGivenByItsParent >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<state_sample> got;
    std::ifstream in(out);
    state_sample s{};
    while (in >> s.step >> s.orders >> s.hash)
        got.push_back(s);
    EXPECT_EQ(first_difference(tail_from(samples, cut), got), "");
}

using record_child = record_exactness;

// Runs only as the child of the test above (the record, the cut and where to write are given
// in its environment).
TEST_F(record_child, ContinuesARecordGivenByItsParent) {
    const char* file = std::getenv("HV_RECORD_CHILD");
    const char* cut = std::getenv("HV_RECORD_CUT");
    const char* out = std::getenv("HV_RECORD_OUT");
    if (!file || !cut || !out) GTEST_SKIP() << "run by AFreshProcessContinuesTheRecordExactly";
    const record_read read = read_record(file);
    ASSERT_EQ(read.status, RECORD_OK) << read.reason;
    std::string error;
    const auto got = continue_from(read.record, std::strtoul(cut, nullptr, 10), error);
    ASSERT_EQ(error, "");
    std::ofstream o(out);
    for (const state_sample& s : got)
        o << s.step << ' ' << s.orders << ' ' << s.hash << '\n';
}
