// Ranged units: archers' volleys of arrows on an arc and cannons' balls that hop along a line,
// landing early, bouncing, sinking or exploding (and backfiring next to their own gun).
//
// Index: 1. shared geometry; 2. archers; 3. cannons: the line and the path; 4. cannons: firing
// and flight; 5. cannons: touching down.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "framework/misc.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/battle/unit_internal.h"

namespace {

// ---- 1. shared geometry ------------------------------------------------------------------------------

constexpr float pi = std::numbers::pi_v<float>;

float distance(float x1, float y1, float x2, float y2) {
    return std::hypot(x2 - x1, y2 - y1);
}

// Height of a projectile above its shadow with `d` of a flight of length `length` still to go: 0 at
// both ends, multiplier x length in the middle. A flight of no length has no arc.
float arc_height(float multiplier, float length, float d) {
    if (!(length > 0.0f)) return 0.0f;
    return multiplier * length * std::sin(pi * std::clamp(d, 0.0f, length) / length);
}

void place(c_interp_float& track, float v) {
    track.set(v);
    track.prev_value = v;
}

// The ranged classification shared by archers and cannons: an enemy it could attack is a target
// within range and out of range beyond it; anything else is classified as for any unit.
int classify_ranged(const c_unit& unit, const c_tile* tile, int range, int plain) {
    if (unit.classify_raw(tile) != CLASS_ATTACK) return plain;
    return calc_range(unit.tile, tile) <= range ? CLASS_TARGET : CLASS_OUT_OF_RANGE;
}

// Units of the battle standing where a shot could go blink white.
void show_targets(const c_unit& unit) {
    if (!g_unitmanager) return;
    for (c_unit* other : g_unitmanager->get_all())
        if (other != &unit && other->tile && unit.classify(other->tile) == CLASS_TARGET)
            other->tile->blink(0xFFFFFFFF);
}

} // namespace

// ---- 2. archers -------------------------------------------------------------------------------------------

c_archer::c_archer(c_archertype* type, c_tile* tile, c_player* owner)
    : c_unit(type, tile, owner), archertype(type) {
    rest_arrow();
}

std::array<int, 2> c_archer::start_point() const {
    return {tile->left + archertype->arrow_xoff, 2 * tile->top - tile->bottom + archertype->arrow_yoff};
}

int c_archer::classify(const c_tile* t) const {
    if (!t) return CLASS_NOTHING;
    return classify_ranged(*this, t, archertype->range, c_unit::classify(t));
}

void c_archer::act(c_tile* t, int aim_x, int aim_y) {
    if (state == STATE_IDLE && t && classify(t) == CLASS_TARGET)
        fire(t);
    else
        c_unit::act(t, aim_x, aim_y);
}

void c_archer::show_moves() {
    c_unit::show_moves();
    show_targets(*this);
}

void c_archer::aim(c_tile* t, int, int) {
    if (t) t->blink(0xFFFF0000);
}

void c_archer::fire(c_tile* t) {
    aim_tile = t;
    target_x = tile_centre(t)[0], target_y = tile_centre(t)[1];
    target = t->unit;
    strikes_left = type->combat;
    strike_timer = 0;
    target->blocks_left = target->type->combat;
    rest_arrow();
    angle = points_to_angle(float(start_x), float(start_y), float(target_x), float(target_y));
    total = distance(float(start_x), float(start_y), float(target_x), float(target_y));
    state = STATE_FLYING;
    if (g_map) g_map->active_unit = this;
    if (g_unitmanager) g_unitmanager->add_busy(this);
    t->blink(0xFFFF0000);
}

void c_archer::rest_arrow() {
    start_x = start_point()[0], start_y = start_point()[1];
    place(x, float(start_x));
    place(y, float(start_y));
    place(height, 0.0f);
    place(tilt, 0.0f);
}

void c_archer::update() {
    if (state != STATE_FLYING) {
        c_unit::update();
        return;
    }
    // The timer runs on through the flight, so the pause after an arrow is shortened by the time
    // it flew: a long shot is followed by the next arrow at once.
    if (strike_timer-- > 0) return;
    if (!target) { // the target left play by other means
        end_volley();
        return;
    }
    const int v = archertype->arrow_velocity;
    float nx = x.value + float(v) * std::sin(angle), ny = y.value + float(v) * std::cos(angle);
    float d = distance(nx, ny, float(target_x), float(target_y));
    if (v <= 0) nx = float(target_x), ny = float(target_y), d = 0.0f; // no speed: it arrives at once
    x.set(nx);
    y.set(ny);
    height.set(arc_height(archertype->arrow_height_multiplier, total, d));
    tilt.set(arrow_tilt(d));
    gameplay_show_rect(int(nx), int(ny), int(nx), int(ny));
    if (d <= float(v)) arrive();
}

float c_archer::arrow_tilt(float d) const {
    // The drawn arrow follows its arc: the ground slope of the shot plus the climb of the arc.
    const float dx = float(target_x - start_x), dy = float(target_y - start_y);
    const float s = dx != 0.0f ? dy / dx : std::copysign(1.0e6f, dy == 0.0f ? 1.0f : dy);
    const float k = total > 0.0f ? archertype->arrow_height_multiplier * pi * std::cos(pi * d / total) : 0.0f;
    if (std::sin(angle) >= 0.0f) return pi - points_to_angle(0.0f, 0.0f, 1.0f, s + k);
    return points_to_angle(0.0f, 0.0f, 1.0f, k - s) + pi;
}

void c_archer::arrive() {
    resolve_strike(tile_rect(aim_tile));
    if (--strikes_left < 1) {
        end_volley();
        return;
    }
    rest_arrow();
    strike_timer += strike_pause;
}

void c_archer::end_volley() {
    state = STATE_IDLE;
    if (g_map && g_map->active_unit == this) g_map->active_unit = nullptr;
    set_moves_left(0);
    rest_arrow();
}

void c_archer::draw_projectile() {
    const float ax = x.get(), ay = y.get();
    if (ax == float(start_x) && ay == float(start_y)) return;
    archertype->draw_arrow(ax, ay, height.get(), tilt.get(), pi - angle);
}

// ---- 3. cannons: the line and the path -------------------------------------------------------------------

c_cannon::c_cannon(c_cannontype* type, c_tile* tile, c_player* owner)
    : c_unit(type, tile, owner), cannontype(type) {
    start_x = start_point()[0], start_y = start_point()[1];
    place(x, float(start_x));
    place(y, float(start_y));
    place(height, 0.0f);
    place(rotation, 0.0f);
}

std::array<int, 2> c_cannon::start_point() const {
    return {tile->left + cannontype->cannonball_xoff,
            2 * tile->top - tile->bottom + cannontype->cannonball_yoff};
}

int c_cannon::classify(const c_tile* t) const {
    if (!t) return CLASS_NOTHING;
    return classify_ranged(*this, t, cannontype->range, c_unit::classify(t));
}

void c_cannon::set_line(c_tile* t, int ax, int ay) {
    aim_tile = t;
    aim_x = ax == 0 ? 1 : ax;
    aim_y = ay;
    // The line runs through the aim point and the same point of the cannon's own tile.
    const float x1 = float(tile->left + aim_x), y1 = float(tile->top + aim_y);
    const float x2 = float(t->left + aim_x), y2 = float(t->top + aim_y);
    vertical = x1 == x2;
    slope = vertical ? 0.0f : (y1 - y2) / (x1 - x2);
    intercept = vertical ? x1 : y1 - x1 * slope;
}

float c_cannon::line_distance2(const c_tile* t) const {
    const auto [cx, cy] = tile_centre(t);
    if (vertical) {
        const float dx = float(cx) - intercept;
        return dx * dx;
    }
    const float e = slope * float(cx) - float(cy) + intercept;
    return e * e / (slope * slope + 1.0f);
}

c_tile* c_cannon::next_tile(const c_tile* from) const {
    if (!from || !aim_tile) return nullptr;
    const auto neighbours = neighbours_of(from->col, from->row);
    for (c_tile* n : neighbours)
        if (n == aim_tile) return n;
    const int here = calc_range(from, aim_tile);
    c_tile* best = nullptr;
    float best_d2 = std::numeric_limits<float>::infinity();
    for (c_tile* n : neighbours) {
        if (!n || calc_range(n, aim_tile) >= here) continue;
        const float d2 = line_distance2(n);
        if (!best || d2 < best_d2) best = n, best_d2 = d2;
    }
    return best;
}

std::vector<c_tile*> c_cannon::predict_path() const {
    std::vector<c_tile*> path;
    for (c_tile* t = next_tile(tile); t; t = t == aim_tile ? nullptr : next_tile(t))
        path.push_back(t);
    return path;
}

void c_cannon::aim(c_tile* t, int ax, int ay) {
    if (!t || state != STATE_IDLE) return;
    set_line(t, ax, ay);
    tile->blink(0xFFFFFFFF);
    for (c_tile* on_path : predict_path())
        if (on_path != t) on_path->blink(0xFFFFFFFF);
    t->blink(0xFFFF0000);
}

void c_cannon::show_moves() {
    c_unit::show_moves();
    show_targets(*this);
}

// ---- 4. cannons: firing and flight
// ----------------------------------------------------------------------------

void c_cannon::act(c_tile* t, int ax, int ay) {
    if (state == STATE_IDLE && t && classify(t) == CLASS_TARGET)
        fire(t, ax, ay);
    else
        c_unit::act(t, ax, ay);
}

void c_cannon::fire(c_tile* t, int ax, int ay) {
    set_line(t, ax, ay);
    hop_tile = tile;
    start_x = start_point()[0], start_y = start_point()[1];
    place(x, float(start_x));
    place(y, float(start_y));
    place(height, 0.0f);
    place(rotation, 0.0f);
    choose_hop();
    state = STATE_FLYING;
    if (g_map) g_map->active_unit = this;
    if (g_unitmanager) g_unitmanager->add_busy(this);
    t->blink(0xFFFF0000);
    const RECT r = get_rect();
    cannontype->fire_effects(r.left, r.top, r.right, r.bottom);
}

void c_cannon::choose_hop() {
    const c_tile* from = hop_tile;
    c_tile* at = next_tile(hop_tile);
    // The ball comes down on each tile of the way with the landing chance; the aim tile is where
    // it comes down at the latest.
    while (at && !cannontype->roll_land() && at != aim_tile)
        at = next_tile(at);
    if (!at) at = aim_tile; // no tile of the way comes closer (another map's tile): straight there
    hop_tile = at;
    hop_x = tile_centre(at)[0], hop_y = tile_centre(at)[1];
    angle = points_to_angle(x.value, y.value, float(hop_x), float(hop_y));
    const auto [fx, fy] = tile_centre(from);
    hop_length = distance(float(fx), float(fy), float(hop_x), float(hop_y));
}

void c_cannon::update() {
    if (state != STATE_FLYING) {
        c_unit::update();
        return;
    }
    const int v = cannontype->cannonball_velocity;
    float nx = x.value + float(v) * std::sin(angle), ny = y.value + float(v) * std::cos(angle);
    float d = distance(nx, ny, float(hop_x), float(hop_y));
    if (v <= 0) nx = float(hop_x), ny = float(hop_y), d = 0.0f; // no speed: it comes down at once
    x.set(nx);
    y.set(ny);
    gameplay_show_rect(int(nx), int(ny), int(nx), int(ny));
    height.set(arc_height(cannontype->cannonball_height_multiplier, hop_length, d));
    rotation.set(rotation.value + cannontype->cannonball_rot_velocity);
    if (d <= float(v)) touch_down();
}

void c_cannon::draw_projectile() {
    cannontype->draw_cannonball(x.get(), y.get(), height.get(), rotation.get());
}

// ---- 5. cannons: touching down
// ------------------------------------------------------------------------------

void c_cannon::touch_down() {
    c_tile* at = hop_tile;
    // The ball rests on the tile's centre: the next hop and the shrapnel start from there.
    x.set(float(hop_x));
    y.set(float(hop_y));
    height.set(0.0f);
    const RECT r = tile_rect(at);
    if (at->type->splooshable && cannontype->splooshable) {
        show_text(result_text("sploosh"), g_unit_settings.sploosh_text_color, r);
        end_shot();
        cannontype->sploosh_effects(r.left, r.top, r.right, r.bottom);
        return;
    }
    if (!cannontype->roll_explode() && at != aim_tile) {
        if (at->unit) at->unit->take_damage(cannontype->bounce_damage, false);
        show_text(result_text("bounce"), g_unit_settings.bounce_text_color, r);
        cannontype->bounce_effects(r.left, r.top, r.right, r.bottom);
        choose_hop();
        return;
    }
    explode_on(at);
}

void c_cannon::explode_on(c_tile* at) {
    const RECT r = tile_rect(at);
    if (at->unit) at->unit->take_damage(type->damage, false);
    const char* key = "boom";
    D3DCOLOR colour = g_unit_settings.boom_text_color;
    RECT text_rect = r;
    // Only a ball that comes down right next to the gun can hurt its crew.
    if (calc_range(at, tile) == 1) {
        switch (cannontype->roll_backfire()) {
        case 0:
            key = "backfire", colour = g_unit_settings.backfire_text_color, text_rect = get_rect();
            take_damage(cannontype->backfire_damage, false);
            break;
        case 1:
            key = "selfdestruct", colour = g_unit_settings.selfdestruct_text_color, text_rect = get_rect();
            die();
            break;
        default:
            break;
        }
    }
    show_text(result_text(key), colour, text_rect);
    end_shot();
    cannontype->blast_effects(r.left, r.top, r.right, r.bottom, x.value, y.value);
}

void c_cannon::end_shot() {
    state = STATE_IDLE;
    if (g_map && g_map->active_unit == this) g_map->active_unit = nullptr;
    set_moves_left(0);
}
