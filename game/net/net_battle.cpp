// The program's own battle as a network session sees it: the globals start_battle builds,
// orders through give_order (so that each machine records the battle as it is played).
#include "framework/misc.h"
#include "game/battle/battle_turns.h"
#include "game/battle/gameplay.h"
#include "game/battle/player.h"
#include "game/net/session.h"
#include "game/record/battle_record.h"

namespace {

class c_game_net_battle : public c_net_battle {
  public:
    void build(std::uint32_t seed) override {
        start_battle(seed);
        record_begin(seed);
        rules_ = rules_fingerprint();
    }
    std::uint64_t rules() const override { return rules_ ? rules_ : rules_fingerprint(); }
    std::uint32_t step() const override { return g_battle_step; }
    int current() const override {
        return current_player() && g_playermanager ? g_playermanager->get_current() : -1;
    }
    int turns() const override { return g_playermanager ? g_playermanager->get_turns() : 0; }
    bool quiet() const override { return battle_is_quiet(); }
    std::uint64_t hash() const override { return battle_state_hash(); }
    std::string refusal(const battle_order& o) const override { return order_refusal(o); }
    bool apply(const battle_order& o) override { return give_order(o); }
    void run_step(bool fast) override {
        battle_update_step();
        if (!fast) return;
        clear_effects(g_effects);
        clear_effects(g_overlays);
    }
    void skip_to(std::uint32_t step) override {
        if (step > g_battle_step) g_battle_step = step;
    }
    std::string player_name(int seat) const override {
        if (g_playermanager && seat >= 0 && seat < g_playermanager->get_num_players())
            return g_playermanager->get_player_index(seat)->get_name();
        const std::string name = builtin_player_name(seat);
        return name.empty() ? format_string("Player %d", seat + 1) : name;
    }

  private:
    std::uint64_t rules_ = 0;
};

} // namespace

std::unique_ptr<c_net_battle> make_game_net_battle() {
    return std::make_unique<c_game_net_battle>();
}
