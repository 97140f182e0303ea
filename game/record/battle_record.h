// A battle and its record: the battle being played written down as it goes, a battle built
// again from its record (to continue it or to watch it), and the state hash that says two
// battles are the same.
//
// Index: 1. the step clock and the streams; 2. recording the battle being played; 3. building
// a battle from a record; 4. the state hash.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "game/record/record.h"

// ---- 1. the step clock and the streams

// Update steps run since the battle began: the clock orders are recorded against.
extern std::uint32_t g_battle_step;

// Builds a new battle from a seed: the previous one released, both random streams seeded (the
// battle's crt stream and the effects' stream), the static data, the map and units, step 0.
// Needs the graphics wrapper and the INI files (as gameplay_load_static does).
void start_battle(std::uint32_t seed);

// ---- 2. recording the battle being played

// Where records are kept: saves/ beside settings.ini (set by the main routine; tests set their
// own). Empty: battles are not recorded.
extern std::string g_saves_folder;

// The fingerprint of the rules the battle is made with (g_rules' file as it is on disk now).
std::uint64_t rules_fingerprint();

// Starts the record of the battle start_battle just built from `seed`: a new file with the
// header and the first turn, synced. A record that cannot be made leaves the battle playable
// unrecorded; the reason is in record_problem() and on stderr.
void record_begin(std::uint32_t seed);
// Continues an existing record (the battle was just built from it): the file is cut back to
// its last whole line and appended to from here on.
void record_continue(const std::string& path, const record_file& record);
// Writes an order given now (before it takes effect). Nothing without an open record.
void record_order(const battle_order& order);
// After an update step or an order: a turn that passed is written and synced; so is a battle
// that was just won.
void record_note_progress();
// The battle is left: "left" is written, the file synced and closed. Safe without a record.
void record_close();
// The open record's path ("" when none) and why the battle is not recorded ("" when it is).
const std::string& record_path();
const std::string& record_problem();

// ---- 3. building a battle from a record

// Plays a record's events into a battle built from its seed.
class c_record_player {
  public:
    // Builds the record's battle at step 0 (start_battle) and checks its map against the header.
    // `reason` is set when it does not match.
    explicit c_record_player(const record_file& record);

    // Carries out every event due at the current step (orders through give_order, turn and
    // victory marks compared with the battle). False with reason() set when an event does not
    // fit the battle: the record is damaged from there on.
    bool play_due();
    // Runs update steps, and the events due at each, until `step` steps have run or `max_orders`
    // orders have been carried out. Steps in which nothing is in action change nothing but what
    // is shown, so a quiet battle jumps to the next event's step (`skip_quiet`; watching shows
    // every step). False on a damaged record.
    bool run_to(std::uint32_t step, size_t max_orders, bool skip_quiet);
    // The whole record, or its first `max_orders` orders; then, with `settle`, the steps that
    // finish what the last order began (the battle as it stood when it was left). False on a
    // damaged record.
    bool run_all(size_t max_orders, bool settle);

    bool done() const { return next_ >= record_.events.size(); }
    size_t next_event() const { return next_; }
    size_t orders_played() const { return orders_; }
    // The step of the last event, or 0.
    std::uint32_t last_step() const;
    const std::string& reason() const { return reason_; }

  private:
    bool fail(std::string why);
    bool play_event(const record_event& e);

    const record_file& record_;
    size_t next_ = 0;
    size_t orders_ = 0;
    std::string reason_;
};

// True when an update step now would change nothing but pictures: no unit in action or dying,
// and the turn rests with a player who can act (or the battle has nobody left to act).
bool battle_is_quiet();

// ---- 4. the state hash

// Everything of the battle that decides what happens next: the random stream, the map, the
// players (turn, counts, selection) and every unit (place, drawn rectangle, hit points, moves,
// action under way, projectile in flight), and the step clock. Pictures (effects, blinks, the
// banner, the view) are left out.
std::uint64_t battle_state_hash();
