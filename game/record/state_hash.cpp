// The battle's state hash: what decides the battle from here on, nothing that is only shown.
#include <cstring>

#include "game/hexmap.h"
#include "game/player.h"
#include "game/record/battle_record.h"
#include "game/unit.h"
#include "platform/crt.h"

namespace {

class hasher {
  public:
    void add(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h_ ^= (v >> (8 * i)) & 0xFF;
            h_ *= 0x100000001b3ull;
        }
    }
    void add(int v) { add(static_cast<std::uint64_t>(static_cast<std::int64_t>(v))); }
    void add(bool v) { add(static_cast<std::uint64_t>(v)); }
    // The bits, not the value: a replay must agree to the last bit.
    void add(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        add(static_cast<std::uint64_t>(bits));
    }
    std::uint64_t value() const { return h_; }

  private:
    std::uint64_t h_ = 0xcbf29ce484222325ull;
};

int unit_id(const c_unit* u) {
    return u ? u->id : -1;
}

void add_tile(hasher& h, const c_tile* t) {
    h.add(t ? t->col : -1);
    h.add(t ? t->row : -1);
}

void add_unit(hasher& h, const c_unit& u) {
    h.add(u.id);
    add_tile(h, u.tile);
    h.add(u.col), h.add(u.row), h.add(u.hp), h.add(u.state), h.add(u.moves_left);
    h.add(u.strikes_left), h.add(u.strike_timer), h.add(u.blocks_left), h.add(u.dying);
    h.add(unit_id(u.target));
    h.add(u.rect_left.value), h.add(u.rect_top.value), h.add(u.rect_right.value), h.add(u.rect_bottom.value);
    if (const auto* a = dynamic_cast<const c_archer*>(&u)) {
        add_tile(h, a->aim_tile);
        h.add(a->total), h.add(a->target_x), h.add(a->target_y), h.add(a->x.value), h.add(a->y.value);
        h.add(a->start_x), h.add(a->start_y), h.add(a->angle);
    } else if (const auto* c = dynamic_cast<const c_cannon*>(&u); c && c->state == STATE_FLYING) {
        // A cannon's line is drawn again by every hover of the mouse; only a ball in flight
        // depends on it.
        add_tile(h, c->aim_tile);
        h.add(c->aim_x), h.add(c->aim_y), h.add(c->slope), h.add(c->intercept), h.add(c->vertical);
        add_tile(h, c->hop_tile);
        h.add(c->hop_length), h.add(c->hop_x), h.add(c->hop_y), h.add(c->x.value), h.add(c->y.value);
        h.add(c->angle), h.add(c->start_x), h.add(c->start_y);
    }
}

void add_list(hasher& h, const std::vector<c_unit*>& list) {
    h.add(static_cast<int>(list.size()));
    for (const c_unit* u : list)
        h.add(unit_id(u));
}

} // namespace

std::uint64_t battle_state_hash() {
    hasher h;
    h.add(static_cast<std::uint64_t>(crt::get_seed()));
    h.add(static_cast<std::uint64_t>(g_battle_step));
    if (g_map) {
        h.add(g_map->get_cols()), h.add(g_map->get_rows());
        for (int row = 0; row < g_map->get_rows(); ++row)
            for (int col = 0; col < g_map->get_cols(); ++col) {
                const c_tile* t = g_map->get_tile(col, row);
                h.add(unit_id(t->unit));
                h.add(t->type->moveable);
            }
    }
    if (g_playermanager) {
        h.add(g_playermanager->get_current()), h.add(g_playermanager->get_num_alive());
        h.add(g_playermanager->get_turns());
        for (int i = 0; i < g_playermanager->get_num_players(); ++i) {
            const c_player* p = g_playermanager->get_player_index(i);
            h.add(p->get_num_units()), h.add(p->get_num_ready()), h.add(unit_id(p->get_selected()));
            for (const c_unit* u : p->get_units())
                h.add(unit_id(u));
        }
    }
    if (g_unitmanager) {
        add_list(h, g_unitmanager->get_all());
        add_list(h, g_unitmanager->get_busy());
        add_list(h, g_unitmanager->get_dead());
        for (const c_unit* u : g_unitmanager->get_all())
            add_unit(h, *u);
    }
    return h.value();
}
