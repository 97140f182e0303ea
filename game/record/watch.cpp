#include "game/record/watch.h"

std::unique_ptr<c_battle_watch> g_watch;

c_battle_watch::c_battle_watch(record_file record) : record_(std::move(record)) {
    player_ = std::make_unique<c_record_player>(record_);
    player_->play_due();
}

void c_battle_watch::before_step() {
    player_->play_due();
}

void c_battle_watch::cycle_speed() {
    speed_ = speed_ == 1 ? 4 : speed_ == 4 ? 16 : 1;
}
