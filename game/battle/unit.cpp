// Units: hex distance, classification of a target tile, orders, movement, the melee strike
// sequence, damage, drawing and turn bookkeeping.
//
// Index: 1. helpers; 2. hex distance; 3. life of a unit; 4. classification and orders;
// 5. update steps: moving and striking; 6. damage, death, texts; 7. drawing; 8. turns.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/gameplay.h"
#include "game/battle/hex.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/battle/unit_internal.h"
#include "platform/crt.h"

// ---- 1. helpers -----------------------------------------------------------------------------------

std::array<c_tile*, 6> neighbours_of(int col, int row) {
    std::array<c_tile*, 6> six{};
    if (!g_map) return six;
    for (hex_direction d : hex_directions)
        six[d] = g_map->get_neighbour(col, row, d);
    return six;
}

RECT tile_rect(const c_tile* tile) {
    return RECT{tile->left, tile->top, tile->right, tile->bottom};
}

std::array<int, 2> tile_centre(const c_tile* tile) {
    return {(tile->left + tile->right) / 2, (tile->top + tile->bottom) / 2};
}

std::string result_text(const char* key) {
    return g_stringtable ? g_stringtable->get_string("gameplay", key) : std::string();
}

void mark_minimap_dirty(const RECT& r) {
    g_minimap_dirty.push_back(r);
}

// ---- 2. hex distance --------------------------------------------------------------------------------

int calc_range(const c_tile* from, const c_tile* to) {
    if (!from || !to || !g_map || from == to) return 0;
    // The walk moves over this map's tiles: a tile of another map is never reached.
    if (g_map->get_tile(to->col, to->row) != to)
        HV_RAISE("Unable to find a way between two tiles.", "calc_range", 0, nullptr);
    return hex_distance({from->col, from->row}, {to->col, to->row});
}

// ---- 3. life of a unit ----------------------------------------------------------------------------

c_unit::c_unit(c_unittype* type, c_tile* tile, c_player* owner)
    : type(type), tile(tile), owner(owner), col(tile->col), row(tile->row), hp(type->hp) {
    snap_rect(tile_rect(tile));
    phase = crt::rand() % 2000;
    tile->unit = this;
    mark_minimap_dirty(tile_rect(tile));
}

c_unit::~c_unit() {
    if (!type) return; // a stand-in that only draws
    if (owner) owner->remove_unit(this);
    if (tile && tile->unit == this) tile->unit = nullptr;
    if (g_map && g_map->active_unit == this) g_map->active_unit = nullptr;
    mark_minimap_dirty(get_rect());
}

void c_unit::snap_rect(const RECT& r) {
    set_rect(r);
    rect_left.prev_value = r.left;
    rect_top.prev_value = r.top;
    rect_right.prev_value = r.right;
    rect_bottom.prev_value = r.bottom;
}

void c_unit::set_rect(const RECT& r) {
    rect_left.set(r.left);
    rect_top.set(r.top);
    rect_right.set(r.right);
    rect_bottom.set(r.bottom);
}

RECT c_unit::get_rect() const {
    const c_interpolator* ip = c_interpolator::current();
    if (ip && ip->drawing) return RECT{rect_left.get(), rect_top.get(), rect_right.get(), rect_bottom.get()};
    return RECT{rect_left.value, rect_top.value, rect_right.value, rect_bottom.value};
}

RECT c_unit::get_tile_rect() const {
    return tile_rect(tile);
}

void c_unit::mark_minimap() const {
    mark_minimap_dirty(get_rect());
}

std::string c_unit::get_details() const {
    return c_reportable::get_details() +
           format_string("UNIT: \"%s\" at col %d, row %d, hp %d, state %d, moves %d\n",
                         type ? type->name.c_str() : "", col, row, hp, state, moves_left);
}

// ---- 4. classification and orders -------------------------------------------------------------------

int c_unit::classify_raw(const c_tile* t) const {
    if (!t || !t->type->moveable || t->corner) return CLASS_NOMOVE;
    const c_unit* other = t->unit;
    if (!other) return CLASS_MOVE;
    if (other->owner == owner) return CLASS_NOMOVE;
    if (owner && other->owner && owner->get_team() != 0 && other->owner->get_team() == owner->get_team())
        return CLASS_NOMOVE;
    if (!type->moveattack && moves_left != type->movement) return CLASS_NOTHING;
    return CLASS_ATTACK;
}

int c_unit::classify(const c_tile* t) const {
    if (!t) return CLASS_NOTHING;
    for (c_tile* n : neighbours_of(col, row))
        if (n == t) return classify_raw(t);
    return CLASS_NOTHING;
}

void c_unit::act(c_tile* t, int, int) {
    if (state != STATE_IDLE || !t) return;
    switch (classify(t)) {
    case CLASS_MOVE:
        tile->unit = nullptr;
        t->unit = this;
        tile = t;
        col = t->col;
        row = t->row;
        t->blink(0xFF007F00);
        state = STATE_MOVING;
        break;
    case CLASS_ATTACK:
        target = t->unit;
        strikes_left = type->combat;
        strike_timer = 0;
        target->blocks_left = target->type->combat;
        state = STATE_STRIKING;
        t->blink(0xFFFF7F00);
        break;
    default:
        break;
    }
    if (g_unitmanager) g_unitmanager->add_busy(this);
}

bool c_unit::can_act() const {
    return state == STATE_IDLE && moves_left > 0;
}

void c_unit::select() {
    if (owner) owner->set_selected(this);
    if (g_show_moves) show_moves();
    mark_minimap();
}

void c_unit::deselect() {
    if (owner && owner->get_selected() == this) owner->set_selected(nullptr);
    mark_minimap();
}

void c_unit::show_moves() {
    for (c_tile* n : neighbours_of(col, row)) {
        int c = classify_raw(n);
        if (n && (c == CLASS_MOVE || c == CLASS_ATTACK)) n->blink(0xFFFFFFFF);
    }
}

void c_unit::aim(c_tile*, int, int) {}

// ---- 5. update steps: moving and striking ------------------------------------------------------------

void c_unit::update() {
    switch (state) {
    case STATE_MOVING:
        update_move();
        break;
    case STATE_STRIKING:
        update_strike();
        break;
    default:
        if (g_unitmanager) g_unitmanager->finish_busy(this);
        break;
    }
}

void c_unit::update_move() {
    const RECT goal = get_tile_rect();
    step_toward(goal.left, goal.top, goal.right, goal.bottom);
    const RECT now = get_rect();
    if (!EqualRect(&now, &goal)) return;
    state = STATE_IDLE;
    set_moves_left(moves_left - 1);
    if (g_show_moves && moves_left > 0) show_moves();
}

namespace {
// One axis of a step: `at` moves by `speed` toward `goal` and stops there. A speed below one
// pixel (missing data) would never arrive; it jumps instead.
int approach(int at, int goal, int speed) {
    if (speed <= 0) return goal;
    if (at < goal) return std::min(at + speed, goal);
    return std::max(at - speed, goal);
}
} // namespace

void c_unit::step_toward(int l, int t, int r, int b) {
    mark_minimap();
    RECT now = get_rect();
    if (now.left != l) {
        const int speed = now.top == t ? g_unit_settings.speed_x1 : g_unit_settings.speed_x2;
        const int left = approach(now.left, l, speed);
        now.right = left == l ? r : now.right + (left - now.left);
        now.left = left;
    }
    if (now.top != t) {
        const int top = approach(now.top, t, g_unit_settings.speed_y);
        now.bottom = top == t ? b : now.bottom + (top - now.top);
        now.top = top;
    }
    set_rect(now);
    gameplay_show_rect(now.left, now.top, now.right, now.bottom);
    mark_minimap();
}

void c_unit::update_strike() {
    const RECT home = get_tile_rect();
    if (!target) { // the target left play by other means (its player gave up)
        end_attack(home);
        return;
    }
    // The lunge goes halfway to the target and back: the point halfway between the two tiles.
    const RECT theirs = target->get_tile_rect();
    const RECT lunge{(home.left + theirs.left) / 2, (home.top + theirs.top) / 2,
                     (home.right + theirs.right) / 2, (home.bottom + theirs.bottom) / 2};
    if (strike_timer < 1) step_toward(lunge.left, lunge.top, lunge.right, lunge.bottom);
    --strike_timer;
    const RECT reached = get_rect();
    if (!EqualRect(&reached, &lunge)) return;
    resolve_strike(get_rect());
    if (--strikes_left < 1) {
        end_attack(home);
        return;
    }
    snap_rect(home);
    mark_minimap();
    strike_timer = strike_pause;
}

void c_unit::end_attack(const RECT& home) {
    state = STATE_IDLE;
    set_moves_left(0);
    snap_rect(home);
    mark_minimap();
    strike_timer = strike_pause;
}

void c_unit::resolve_strike(const RECT& text_rect) {
    const char* key = "miss";
    D3DCOLOR colour = g_unit_settings.miss_text_color;
    if (type->roll_hit()) {
        switch (target->take_damage(type->damage, true)) {
        case DAMAGE_BLOCKED:
            key = "block", colour = g_unit_settings.block_text_color;
            break;
        case DAMAGE_KILLED:
            key = "kill", colour = g_unit_settings.kill_text_color;
            strikes_left = 0;
            break;
        default:
            key = "hit", colour = g_unit_settings.hit_text_color;
            break;
        }
    }
    show_text(result_text(key), colour, text_rect);
}

// ---- 6. damage, death, texts ------------------------------------------------------------------------

int c_unit::take_damage(int amount, bool blockable) {
    if (dying) return DAMAGE_KILLED; // struck again before the end of the step it died in
    while (blockable && blocks_left > 0) {
        --blocks_left;
        if (type->roll_block()) return DAMAGE_BLOCKED;
    }
    hp -= amount;
    if (hp <= 0) {
        die();
        return DAMAGE_KILLED;
    }
    for (int i = 0; i < amount; ++i)
        bleed();
    return DAMAGE_HIT;
}

void c_unit::die() {
    if (dying) return;
    dying = true;
    const RECT r = get_rect();
    type->die_effects(r.left, r.top, r.right, r.bottom, owner);
    if (g_unitmanager) g_unitmanager->queue_dead(this);
}

void c_unit::bleed() {
    const RECT r = get_rect();
    type->bleed_effects(r.left, r.top, r.right, r.bottom);
}

void c_unit::show_text(const std::string& text, D3DCOLOR colour, const RECT& rect) {
    g_overlays.push_back(new c_resulttext(text, colour, rect));
}

// ---- 7. drawing ----------------------------------------------------------------------------------------

int flag_bob(int phase, int moves_left, std::uint32_t time_ms) {
    if (moves_left < 1) return 0;
    const int period = std::max(1000 / moves_left, 1);
    const double t = static_cast<double>(phase / moves_left) + static_cast<double>(time_ms);
    return static_cast<int>(-12.0 * std::sin(std::numbers::pi * (t / period)));
}

void c_unit::draw() {
    const RECT r = get_rect();
    const int l = r.left - scroll_ix, t = r.top - scroll_iy, rr = r.right - scroll_ix,
              b = r.bottom - scroll_iy;
    type->draw_unit(l, 2 * t - b, rr, b);
    const c_player* current = g_playermanager ? g_playermanager->get_current_player() : nullptr;
    if (moves_left < 1) {
        type->draw_flag(r.left, r.top, r.right, r.bottom, hp, 0, owner, owner != current);
    } else {
        const std::uint32_t now = g_core ? g_core->get_cur_time()
                                         : static_cast<std::uint32_t>(c_interpolator::current()->draw_time);
        const int offset = flag_bob(phase, moves_left, now);
        type->draw_flag(r.left, r.top - offset, r.right, r.bottom, hp, 0, owner, true);
    }
    if (g_show_names && shows_label()) draw_label();
}

bool c_unit::shows_label() const {
    const c_unit* selected = g_playermanager && g_playermanager->get_current_player()
                                 ? g_playermanager->get_current_player()->get_selected()
                                 : nullptr;
    if (!g_hovered_tile) return selected == this;
    if (g_hovered_tile->unit == this) return true;
    return selected == this && (!g_hovered_tile->unit || calc_range(tile, g_hovered_tile) > 1);
}

void c_unit::draw_label() {
    if (!g_font) return;
    const RECT r = get_rect();
    const int l = r.left - scroll_ix, rr = r.right - scroll_ix, b = r.bottom - scroll_iy;
    const D3DCOLOR shade = 0xFF646464, colour = owner ? owner->get_color() : 0xFFFFFFFF;
    c_text back(g_gfx, g_font, type->name, l, b, rr, b, 0.1f, shade, 0, 1.0f, 1.0f, TEXT_CENTER);
    back.draw();
    c_text front(g_gfx, g_font, type->name, l + 1, b + 1, rr + 1, b + 1, 0.1f, colour, 0, 1.0f, 1.0f,
                 TEXT_CENTER);
    front.draw();
}

void c_unit::draw_minimap() {
    const RECT r = get_rect();
    const int bottom = r.bottom - (g_map ? g_map->get_placement_yoffset() : 0);
    if (owner && owner->get_selected() == this)
        g_gfx->draw_quad_unt(r.left, r.top, r.right, bottom, 0.2f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    else if (owner)
        owner->draw_minimap_marker(r.left, r.top, r.right, bottom);
}

void c_unit::draw_projectile() {}

// ---- 8. turns -------------------------------------------------------------------------------------------

bool c_unit::start_turn() {
    moves_left = type->movement;
    // A type without moves (missing data) could never spend them; counting it as ready would
    // keep its player's turn from ever ending on its own.
    return moves_left > 0;
}

void c_unit::end_turn() {
    moves_left = 0;
}

void c_unit::set_moves_left(int n) {
    const bool was_ready = moves_left > 0;
    moves_left = n;
    if (n >= 1) return;
    deselect();
    // Only a unit that was ready counts as done: its player counts each ready unit once.
    if (was_ready && owner) owner->unit_done();
}
