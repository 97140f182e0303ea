// Players, their units' bookkeeping and the turn order.
//
// Index: 1. c_player (units, readiness, selection, turns); 2. c_playermanager (players, turns,
// flag and selection drawing). The human player's orders are in player_input.cpp.
#include "game/player.h"

#include <algorithm>
#include <cmath>

#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "game/gameplay.h"
#include "game/unit.h"

c_playermanager* g_playermanager = nullptr;

namespace {

// Takes the next depth below `base`: later quads lie in front of earlier ones.
float next_depth(c_gfx* gfx, float base) {
    const float d = gfx->depth;
    gfx->depth += gfx->depth_step;
    return base - d;
}

} // namespace

// ---- 1. c_player

c_player::c_player(D3DCOLOR color, const std::string& name, int team)
    : color(color), name(name), team(team) {}

std::string c_player::get_details() const {
    return "player \"" + name + "\": " + std::to_string(num_units) + " units, " + std::to_string(num_ready) +
           " ready, team " + std::to_string(team);
}

void c_player::draw_selection() {
    if (!selected || !manager) return;
    const RECT r = selected->get_rect();
    manager->draw_selection_marker(r.left, r.top, r.right, r.bottom);
}

void c_player::draw_minimap_marker(int left, int top, int right, int bottom) {
    c_gfx* gfx = g_gfx;
    if (gfx) gfx->draw_quad_unt(left, top, right, bottom, 0.2f, 0.0f, nullptr, 0, 1, 0, 1, color);
}

void c_player::add_unit(c_unit* unit) {
    units.push_back(unit);
    ++num_units;
    if (unit->can_act()) ++num_ready;
    if (num_units == 1 && manager) manager->player_alive();
}

void c_player::remove_unit(c_unit* unit) {
    // Only a unit of ours leaves us: a stray call must not spoil the counts.
    auto it = std::find(units.begin(), units.end(), unit);
    if (it == units.end()) return;
    if (unit->can_act() && num_ready > 0) --num_ready;
    units.erase(it);
    --num_units;
    if (selected == unit) selected = nullptr;
    if (num_units == 0 && manager) manager->player_gone();
}

void c_player::unit_done() {
    // A unit can report its end twice (an attack that kills it too); the count stays >= 0.
    if (num_ready > 0) --num_ready;
}

void c_player::select_next() {
    if (num_ready <= 0 || units.empty()) return;
    auto start = units.begin();
    if (selected) {
        auto it = std::find(units.begin(), units.end(), selected);
        if (it != units.end()) start = std::next(it);
    }
    // Two passes over the ring from `start`: the selected unit itself comes last.
    auto it = start;
    for (size_t n = 0; n < units.size(); ++n, ++it) {
        if (it == units.end()) it = units.begin();
        c_unit* unit = *it;
        if (!unit->can_act()) continue;
        if (selected && selected != unit) selected->deselect();
        unit->select();
        const RECT r = unit->get_rect();
        gameplay_show_rect(r.left, r.top, r.right, r.bottom);
        return;
    }
}

void c_player::start_turn() {
    num_ready = 0;
    for (c_unit* unit : units)
        if (unit->start_turn()) ++num_ready;
    selected = nullptr;
    if (num_ready == 0 && manager) manager->next_player();
}

void c_player::end_turn() {
    for (c_unit* unit : units)
        unit->end_turn();
    if (selected) selected->deselect();
    selected = nullptr;
    num_ready = 0;
}

// ---- 2. c_playermanager

c_playermanager::c_playermanager(c_gfx* gfx, c_font* font)
    : gfx_(gfx ? gfx : g_gfx), font_(font ? font : g_font) {
    g_rules->set_section("units");
    const std::string flag_file = g_rules->get_raw("flag_image");
    const std::string selected_file = g_rules->get_raw("selected_image");
    flag_image = gfx_->get_image(flag_file, 0.2f);
    try {
        selected_image = gfx_->get_image(selected_file, 0.5f);
    } catch (...) {
        flag_image->release();
        throw;
    }
}

c_playermanager::~c_playermanager() {
    for (c_player* player : players)
        delete player;
    if (selected_image) selected_image->release();
    if (flag_image) flag_image->release();
}

std::string c_playermanager::get_details() const {
    return "player manager: " + std::to_string(players.size()) + " players, current " +
           std::to_string(current) + ", " + std::to_string(num_alive) + " alive";
}

void c_playermanager::add_player(c_player* player) {
    players.push_back(player);
    player->manager = this;
    if (player->get_num_units() > 0) ++num_alive;
}

c_player* c_playermanager::get_player_index(int index) const {
    if (index < 0 || index >= static_cast<int>(players.size()))
        HV_RAISE("Index too large.", "c_playermanager::get_player_index", 0, nullptr);
    return players[static_cast<size_t>(index)];
}

c_player* c_playermanager::get_current_player() const {
    if (current < 0 || current >= static_cast<int>(players.size())) return nullptr;
    return players[static_cast<size_t>(current)];
}

void c_playermanager::next_player() {
    if (players.empty() || num_alive < 1) return;
    // Each nested call skips one player without a ready unit; a whole round of them means no
    // unit of the battle can act, and the turn rests with the last one reached.
    if (skip_depth_ >= static_cast<int>(players.size())) return;
    if (current < 0) {
        current = 0;
    } else {
        players[static_cast<size_t>(current)]->end_turn();
        current = (current + 1) % static_cast<int>(players.size());
    }
    ++skip_depth_;
    try {
        players[static_cast<size_t>(current)]->start_turn();
    } catch (...) {
        --skip_depth_;
        throw;
    }
    --skip_depth_;
    if (skip_depth_ == 0) ++turns_;
    // start_turn may have passed the turn on: announce whoever holds it now.
    const c_player* now = players[static_cast<size_t>(current)];
    show_banner(now->get_name(), now->get_color());
}

D3DCOLOR flag_text_color(D3DCOLOR color) {
    const int red = (color >> 16) & 0xFF, green = (color >> 8) & 0xFF;
    return red > 200 && green > 200 ? 0xFF646464 : 0xFFFFFFFF;
}

D3DCOLOR health_bar_color(float fraction) {
    if (fraction >= 1.0f) return 0xFF00FF00;
    if (fraction >= 0.5f) return 0xFFFFFF00;
    return 0xFFFF0000;
}

void c_playermanager::draw_flag(int x, int y, D3DCOLOR color, int number, float fraction,
                                bool half_transparent) {
    if (half_transparent) color = (color & 0xFFFFFF) | 0x7F000000;
    gfx_->add_quad_tra(x, y, x + 16, y + 32, next_depth(gfx_, 0.2f), 0.0f, flag_image, 0, 1, 0, 1, color);
    if (font_) {
        const unsigned char code =
            number >= 0 && number < 10 ? static_cast<unsigned char>('0' + number) : '!';
        const int w = static_cast<int>(0.9 * font_->glyph_width(code));
        const int h = static_cast<int>(0.9 * font_->get_height());
        const int left = x - w / 2 + 8;
        font_->draw_char(code, left, y + 3, left + w, y + 3 + h, next_depth(gfx_, 0.2f),
                         flag_text_color(color), 0);
    }
    // Hit points above the maximum (or a broken type) must not draw past the pennant.
    const float shown = std::isnan(fraction) ? 0.0f : std::clamp(fraction, 0.0f, 1.0f);
    const int bar_right = x + 1 + static_cast<int>(14 * shown);
    gfx_->add_quad_tra(x + 1, y + 1, bar_right, y + 3, next_depth(gfx_, 0.2f), 0.0f, nullptr, 0, 1, 0, 1,
                       health_bar_color(fraction));
}

void c_playermanager::draw_selection_marker(int left, int top, int right, int bottom) {
    gfx_->add_quad_tra(left - scroll_ix, top - scroll_iy, right - scroll_ix, bottom - scroll_iy,
                       next_depth(gfx_, 0.5f), 0.0f, selected_image, 0, 1, 0, 1, 0xFFFFFFFF);
}
