// The record of the battle being played, and battles built again from records.
//
// Index: 1. the step clock and the streams; 2. recording; 3. playing a record back.
#include "game/record/battle_record.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/battle_turns.h"
#include "game/battle/effect_random.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "platform/crt.h"

// ---- 1. the step clock and the streams

std::uint32_t g_battle_step = 0;
std::string g_saves_folder;

void start_battle(std::uint32_t seed) {
    gameplay_unload_static();
    crt::srand(seed);
    // The pictures get a stream of their own, begun from the battle's seed so that a replay
    // shows the same bursts.
    effect_srand(seed ^ 0x9E3779B9u);
    gameplay_load_static();
    gameplay_new_game();
    g_battle_step = 0;
}

// ---- 2. recording

namespace {

struct session {
    std::unique_ptr<c_record_writer> writer;
    std::string path;
    std::string problem;
    int turns_written = -1;
    bool won_written = false;
};
session g_session;

void write(const record_event& e, bool sync) {
    c_record_writer* w = g_session.writer.get();
    if (!w) return;
    const bool ok = w->write_line(format_event(e)) && (!sync || w->sync());
    if (!ok && g_session.problem.empty()) {
        g_session.problem = "Unable to write the battle record \"" + w->path() + "\".";
        std::fprintf(stderr, "harnvale: %s\n", g_session.problem.c_str());
    }
}

record_event turn_event() {
    record_event e;
    e.what = EVENT_TURN;
    e.step = g_battle_step;
    e.player = g_playermanager ? g_playermanager->get_current() : -1;
    e.alive = g_playermanager ? g_playermanager->get_num_alive() : 0;
    return e;
}

int survivor_index() {
    for (int i = 0; i < g_playermanager->get_num_players(); ++i)
        if (g_playermanager->get_player_index(i)->get_num_units() > 0) return i;
    return -1;
}

void open_session(std::unique_ptr<c_record_writer> writer, const std::string& error) {
    g_session = session{};
    if (!writer) {
        g_session.problem = error;
        std::fprintf(stderr, "harnvale: %s The battle is played without a record.\n", error.c_str());
        return;
    }
    g_session.path = writer->path();
    g_session.writer = std::move(writer);
    g_session.turns_written = g_playermanager ? g_playermanager->get_turns() : 0;
    g_session.won_written = g_playermanager && g_playermanager->get_num_alive() <= 1;
}

} // namespace

std::uint64_t rules_fingerprint() {
    if (!g_rules) return 0;
    std::FILE* f = std::fopen(g_rules->get_path().c_str(), "rb");
    if (!f) return fingerprint("");
    std::string bytes;
    char buffer[16384];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, n);
    std::fclose(f);
    return fingerprint(bytes);
}

void record_begin(std::uint32_t seed) {
    record_close();
    if (g_saves_folder.empty()) return;
    record_header h;
    h.seed = seed;
    h.rules = rules_fingerprint();
    h.started = static_cast<std::int64_t>(std::time(nullptr));
    h.cols = g_map ? g_map->get_cols() : 0;
    h.rows = g_map ? g_map->get_rows() : 0;
    std::string error;
    auto writer = c_record_writer::create(g_saves_folder, h, error);
    open_session(std::move(writer), error);
    // The first turn (or none, on a map without units) opens the list of events.
    write(turn_event(), true);
}

void record_continue(const std::string& path, const record_file& record) {
    record_close();
    std::string error;
    auto writer = c_record_writer::append(path, record.whole_size, error);
    open_session(std::move(writer), error);
}

void record_order(const battle_order& order) {
    record_event e;
    e.what = EVENT_ORDER;
    e.step = g_battle_step;
    e.order = order;
    write(e, false);
}

void record_note_progress() {
    if (!g_session.writer || !g_playermanager) return;
    if (g_playermanager->get_turns() != g_session.turns_written) {
        g_session.turns_written = g_playermanager->get_turns();
        write(turn_event(), true);
    }
    if (!g_session.won_written && g_playermanager->get_num_alive() <= 1) {
        g_session.won_written = true;
        record_event e;
        e.what = EVENT_WON;
        e.step = g_battle_step;
        e.player = survivor_index();
        write(e, true);
    }
}

void record_close() {
    if (!g_session.writer) return;
    record_event e;
    e.what = EVENT_LEFT;
    e.step = g_battle_step;
    write(e, true);
    g_session.writer.reset();
    g_session.path.clear();
}

const std::string& record_path() {
    return g_session.path;
}

const std::string& record_problem() {
    return g_session.problem;
}

// ---- 3. playing a record back

namespace {
// Steps one order may take to come to rest (a volley, a cannonball's hops, a turn passing): far
// more than any battle needs, and a bound for a record that would keep a battle busy forever.
constexpr std::uint32_t max_busy_steps = 1000000;
} // namespace

bool battle_is_quiet() {
    if (!g_unitmanager || !g_playermanager) return true;
    if (g_unitmanager->is_busy() || !g_unitmanager->get_dead().empty()) return false;
    return current_ready_count() > 0 || g_playermanager->get_num_alive() < 1;
}

c_record_player::c_record_player(const record_file& record) : record_(record) {
    start_battle(record.header.seed);
    if (!g_map || g_map->get_cols() != record.header.cols || g_map->get_rows() != record.header.rows)
        fail(format_string("damaged: the seed makes a map of %d x %d, the record says %d x %d",
                           g_map ? g_map->get_cols() : 0, g_map ? g_map->get_rows() : 0, record.header.cols,
                           record.header.rows));
}

bool c_record_player::fail(std::string why) {
    if (reason_.empty()) reason_ = std::move(why);
    return false;
}

std::uint32_t c_record_player::last_step() const {
    return record_.events.empty() ? 0 : record_.events.back().step;
}

bool c_record_player::play_event(const record_event& e) {
    switch (e.what) {
    case EVENT_ORDER: {
        const std::string refusal = order_refusal(e.order);
        if (!refusal.empty())
            return fail(format_string("damaged: order %llu (step %u) %s",
                                      static_cast<unsigned long long>(orders_ + 1), e.step, refusal.c_str()));
        give_order(e.order);
        ++orders_;
        return true;
    }
    case EVENT_TURN:
        if (g_playermanager->get_current() != e.player || g_playermanager->get_num_alive() != e.alive)
            return fail(
                format_string("damaged: the turn at step %u does not follow from the orders", e.step));
        return true;
    case EVENT_WON:
        if (g_playermanager->get_num_alive() > 1)
            return fail(
                format_string("damaged: the victory at step %u does not follow from the orders", e.step));
        return true;
    default:
        return true;
    }
}

bool c_record_player::play_due() {
    if (!reason_.empty()) return false;
    while (next_ < record_.events.size() && record_.events[next_].step <= g_battle_step) {
        if (!play_event(record_.events[next_])) return false;
        ++next_;
    }
    return true;
}

bool c_record_player::run_to(std::uint32_t step, size_t max_orders, bool skip_quiet) {
    const std::vector<record_event>& events = record_.events;
    std::uint32_t busy_steps = 0;
    while (reason_.empty()) {
        while (next_ < events.size() && events[next_].step <= g_battle_step) {
            const bool order = events[next_].what == EVENT_ORDER;
            if (order && orders_ >= max_orders) return true;
            if (!play_event(events[next_])) return false;
            ++next_;
            // The battle as it stood just after that order, before any step ran.
            if (order && orders_ >= max_orders) return true;
        }
        if (g_battle_step >= step) return true;
        // No more orders wanted: the battle stays as it stood after the last one given.
        if (next_ < events.size() && events[next_].what == EVENT_ORDER && orders_ >= max_orders) return true;
        if (skip_quiet && battle_is_quiet()) {
            const std::uint32_t due = next_ < events.size() ? events[next_].step : step;
            g_battle_step = std::min(due, step);
            busy_steps = 0;
            continue;
        }
        if (++busy_steps > max_busy_steps) return fail("damaged: the battle never comes to rest");
        battle_update_step();
        if (skip_quiet) {
            // Nothing but pictures: a battle built to be played on keeps none of them.
            clear_effects(g_effects);
            clear_effects(g_overlays);
        }
    }
    return false;
}

bool c_record_player::run_all(size_t max_orders, bool settle) {
    if (!run_to(last_step(), max_orders, true)) return false;
    if (!settle) return true;
    std::uint32_t steps = 0;
    while (!battle_is_quiet()) {
        if (++steps > max_busy_steps) return fail("damaged: the battle never comes to rest");
        battle_update_step();
        clear_effects(g_effects);
        clear_effects(g_overlays);
    }
    return true;
}
