// Watching a recorded battle on the battle screen: the battle built from the record's seed and
// its events played at the steps they were given, with every animation, at x1, x4 or x16, or
// paused.
#pragma once
#include <memory>
#include <string>

#include "game/record/battle_record.h"

class c_battle_watch {
  public:
    // Builds the record's battle at its first step. reason() is set when the record's seed
    // does not make the battle it describes.
    explicit c_battle_watch(record_file record);
    c_battle_watch(const c_battle_watch&) = delete;
    c_battle_watch& operator=(const c_battle_watch&) = delete;

    // Before each update step: the events due at it. Once an event does not fit the battle,
    // nothing more is played (reason() says why).
    void before_step();
    // x1 -> x4 -> x16 -> x1.
    void cycle_speed();
    void toggle_pause() { paused_ = !paused_; }

    int speed() const { return speed_; }
    bool paused() const { return paused_; }
    // Every event played, or the record found damaged.
    bool over() const { return !player_->reason().empty() || player_->done(); }
    const std::string& reason() const { return player_->reason(); }
    size_t events_played() const { return player_->next_event(); }
    size_t event_count() const { return record_.events.size(); }
    // The length of an update step at the chosen speed (ms).
    int step_length() const { return 33 / speed_ > 0 ? 33 / speed_ : 1; }

  private:
    record_file record_;
    std::unique_ptr<c_record_player> player_;
    int speed_ = 1;
    bool paused_ = false;
};

// The record being watched on the battle screen (null while a battle is played).
extern std::unique_ptr<c_battle_watch> g_watch;
