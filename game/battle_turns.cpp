#include "game/battle_turns.h"

#include "framework/ini.h"
#include "game/gameplay.h"
#include "game/hexmap.h"
#include "game/player.h"
#include "game/record/battle_record.h"
#include "game/unit.h"

c_player* current_player() {
    return g_playermanager ? g_playermanager->get_current_player() : nullptr;
}

int current_ready_count() {
    const c_player* player = current_player();
    return player ? player->get_num_ready() : 0;
}

namespace {

// The one player still owning units; null unless exactly one does.
c_player* survivor() {
    c_player* found = nullptr;
    for (int i = 0; i < g_playermanager->get_num_players(); ++i) {
        c_player* p = g_playermanager->get_player_index(i);
        if (p->get_num_units() < 1) continue;
        if (found) return nullptr;
        found = p;
    }
    return found;
}

void show_victory() {
    c_player* winner = current_player();
    // The current player is normally the survivor; a battle whose turn never started, or one
    // whose current player has just lost its last unit, names the one who is left instead.
    if (!winner || winner->get_num_units() < 1) winner = survivor();
    const std::string text = g_stringtable ? g_stringtable->get_string("gameplay", "victory") : "";
    show_banner(text, winner ? winner->get_color() : 0xFFFFFFFF);
}

} // namespace

void gameplay_turn_step() {
    if (!g_playermanager) return;
    // Without a current player nobody is ready either: passing starts the first turn as soon
    // as any player owns a unit, and does nothing while none does.
    if (current_ready_count() < 1) g_playermanager->next_player();
    if (g_playermanager->get_num_alive() == 1) show_victory();
}

bool gameplay_end_turn() {
    c_player* player = current_player();
    if (!player) return false;
    const c_unit* selected = player->get_selected();
    if (selected && !selected->can_act()) return false;
    g_playermanager->next_player();
    return true;
}

void battle_update_step() {
    update_effects(g_effects);
    update_effects(g_overlays);
    if (g_map) g_map->update_blinks();
    if (g_unitmanager) g_unitmanager->update();
    gameplay_turn_step();
    update_banner();
    ++g_battle_step;
    record_note_progress();
}
