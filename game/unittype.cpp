// Unit types: melee, archer and cannon types read from rules.ini, their pictures, chance lists
// and effects.
//
// Index: 1. reading helpers; 2. the melee type; 3. effects; 4. archer types; 5. cannon types.
#include <algorithm>
#include <cmath>

#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "game/effect_random.h"
#include "game/player.h"
#include "game/unit.h"
#include "platform/crt.h"

namespace {

// ---- 1. reading helpers -------------------------------------------------------------------------

// Takes the next depth of the map's pictures; earlier pictures lie in front.
float next_depth(float base) {
    float d = g_gfx->depth;
    g_gfx->depth += g_gfx->depth_step;
    return base - d;
}

// Screen-space rectangle of a w x h picture centred on a map point, shifted by the view origin.
RECT centred(float x, float y, int w, int h) {
    int l = static_cast<int>(x) - w / 2 - scroll_ix, t = static_cast<int>(y) - h / 2 - scroll_iy;
    return RECT{l, t, l + w, t + h};
}

float uniform(float low, float high) {
    return low + (high - low) * static_cast<float>(effect_rand()) / static_cast<float>(crt::RAND_MAX_VALUE);
}

// Ten particles of a mistyped count are a burst; ten million are a hang.
constexpr int max_repeats = 100;

} // namespace

// ---- 2. the melee type --------------------------------------------------------------------------

c_unittype::c_unittype(const std::string& section) : section_(section) {
    try {
        name = g_rules->get_raw(section, "name");
        image = load_image("image", 0.2f);
        color = g_rules->get_color(section, "color");
        // A flag digit below 0 or a unit with no hit point to lose would make no sense; such
        // data reads as the nearest meaningful value.
        combat = std::max(g_rules->get_int(section, "combat"), 0);
        damage = g_rules->get_int(section, "damage");
        hp = std::max(g_rules->get_int(section, "hp"), 1);
        movement = std::max(g_rules->get_int(section, "movement"), 0);
        moveattack = g_rules->get_bool(section, "moveattack");
        hit_chances.add_chance(g_rules->get_int(section, "chance_hit"));
        hit_chances.add_chance(g_rules->get_int(section, "chance_nohit"));
        block_chances.add_chance(g_rules->get_int(section, "chance_block"));
        block_chances.add_chance(g_rules->get_int(section, "chance_noblock"));
        explosion_explode = read_explosion("num_explode_particles", "explosion_explode");
        explosion_bleed = read_explosion("num_bleed_particles", "explosion_bleed");
        fragmentation =
            std::make_unique<c_fragmentation>(g_rules->get_raw(section, "fragmentation"), image, color);
    } catch (...) {
        for (c_image* held : images_)
            held->release();
        throw;
    }
}

c_unittype::~c_unittype() {
    for (c_image* held : images_)
        held->release();
}

c_image* c_unittype::load_image(const std::string& key, float order) {
    // A missing key gives an untextured picture rather than a report: the data checker names it.
    c_image* loaded = g_gfx->get_image(g_rules->get_raw(section_, key), order);
    images_.push_back(loaded);
    return loaded;
}

std::unique_ptr<c_explosion> c_unittype::read_explosion(const std::string& count_key,
                                                        const std::string& key) {
    int count = g_rules->get_int(section_, count_key);
    return std::make_unique<c_explosion>(g_rules->get_raw(section_, key), count);
}

void c_unittype::draw_unit(int left, int top, int right, int bottom) const {
    g_gfx->add_quad_tra(left, top, right, bottom, next_depth(0.2f), 0.0f, image, 0, 1, 0, 1, color);
}

void c_unittype::draw_flag(int left, int top, int, int, int unit_hp, int bonus, c_player* owner,
                           bool full) const {
    if (!g_playermanager || !owner) return;
    int most = hp + bonus;
    float fraction = most > 0 ? static_cast<float>(unit_hp) / static_cast<float>(most) : 0.0f;
    g_playermanager->draw_flag(left - scroll_ix, top - scroll_iy - 16, owner->get_color(), combat, fraction,
                               !full);
}

c_unit* c_unittype::create_unit(c_tile* tile, c_player* owner) {
    return new c_unit(this, tile, owner);
}

// ---- 3. effects -----------------------------------------------------------------------------------

void c_unittype::die_effects(int left, int top, int right, int bottom, c_player* owner) {
    const float l = float(left), r = float(right), t = float(2 * top - bottom), b = float(bottom);
    explosion_explode->explode(l, r, t, b);
    fragmentation->shatter(l, r, t, b);
    if (!g_particle_pool || !g_playermanager || !owner) return;
    // The flag flies off from where it was drawn on the unit, so it is the flag's own size.
    c_particle* flag = g_particle_pool->acquire();
    const motion_ranges& m = g_unit_settings.flag_motion;
    flag->gfx = g_gfx;
    flag->image = g_playermanager->get_flag_image();
    flag->u0 = 0, flag->u1 = 1, flag->v0 = 0, flag->v1 = 1;
    flag->color = owner->get_color();
    flag->lifetime = 100;
    auto place = [](c_interp_float& track, float v) {
        track.set(v);
        track.prev_value = v;
    };
    place(flag->alpha, 255.0f);
    place(flag->left, l);
    place(flag->right, l + 16.0f);
    place(flag->top, float(top - 16));
    place(flag->bottom, float(top + 16));
    for (size_t i = 0; i < 4; ++i) {
        flag->velocity[i] = uniform(m.velocity_low[i], m.velocity_high[i]);
        flag->acceleration[i] = uniform(m.acceleration_low[i], m.acceleration_high[i]);
        flag->friction[i] = uniform(m.friction_low[i], m.friction_high[i]);
    }
    g_effects.push_back(flag);
}

void c_unittype::bleed_effects(int left, int top, int right, int bottom) {
    explosion_bleed->explode(float(left), float(right), float(2 * top - bottom), float(bottom));
}

bool c_unittype::roll_hit() const {
    return hit_chances.roll() == 0;
}

bool c_unittype::roll_block() const {
    return block_chances.roll() == 0;
}

std::string c_unittype::get_details() const {
    return c_reportable::get_details() +
           format_string("UNIT TYPE: [%s] \"%s\"\n", section_.c_str(), name.c_str());
}

// ---- 4. archer types ------------------------------------------------------------------------------

c_archertype::c_archertype(const std::string& section) : c_unittype(section) {
    range = g_rules->get_int(section, "range");
    arrow_width = g_rules->get_int(section, "arrow_width");
    arrow_height = g_rules->get_int(section, "arrow_height");
    arrow_xoff = g_rules->get_int(section, "arrow_xoff");
    arrow_yoff = g_rules->get_int(section, "arrow_yoff");
    arrow_image = load_image("arrow_image", 0.0f);
    arrow_color = g_rules->get_color(section, "arrow_color");
    shadow_image = load_image("shadow_image", 0.3f);
    shadow_color = g_rules->get_color(section, "shadow_color");
    arrow_velocity = g_rules->get_int(section, "arrow_velocity");
    arrow_height_multiplier = g_rules->get_float(section, "arrow_height_multiplier");
}

c_unit* c_archertype::create_unit(c_tile* tile, c_player* owner) {
    return new c_archer(this, tile, owner);
}

void c_archertype::draw_arrow(float x, float y, float height, float tilt, float shadow_angle) const {
    RECT r = centred(x, y, arrow_width, arrow_height);
    g_gfx->add_quad_tra(r.left, r.top, r.right, r.bottom, 0.3f, shadow_angle, shadow_image, 0, 1, 0, 1,
                        shadow_color);
    int up = static_cast<int>(height);
    g_gfx->add_quad_tra(r.left, r.top - up, r.right, r.bottom - up, 0.0f, tilt, arrow_image, 0, 1, 0, 1,
                        arrow_color);
}

// ---- 5. cannon types ------------------------------------------------------------------------------

c_cannontype::c_cannontype(const std::string& section) : c_unittype(section) {
    auto get_int = [&](const char* key) { return g_rules->get_int(section, key); };
    range = get_int("range");
    bounce_damage = get_int("bounce_damage");
    backfire_damage = get_int("backfire_damage");
    cannonball_width = get_int("cannonball_width");
    cannonball_height = get_int("cannonball_height");
    cannonball_xoff = get_int("cannonball_xoff");
    cannonball_yoff = get_int("cannonball_yoff");
    shadow_image = load_image("shadow_image", 0.3f);
    shadow_color = g_rules->get_color(section, "shadow_color");
    cannonball_image = load_image("cannonball_image", 0.0f);
    cannonball_color = g_rules->get_color(section, "cannonball_color");
    land_chances.add_chance(get_int("chance_cannonball_land"));
    land_chances.add_chance(get_int("chance_cannonball_noland"));
    explode_chances.add_chance(get_int("chance_cannonball_explode"));
    explode_chances.add_chance(get_int("chance_cannonball_noexplode"));
    backfire_chances.add_chance(get_int("chance_backfire_damage"));
    backfire_chances.add_chance(get_int("chance_backfire_explode"));
    backfire_chances.add_chance(get_int("chance_backfire_none"));
    cannonball_velocity = get_int("cannonball_velocity");
    cannonball_height_multiplier = g_rules->get_float(section, "cannonball_height_multiplier");
    cannonball_rot_velocity = g_rules->get_float(section, "cannonball_rot_velocity");
    splooshable = g_rules->get_bool(section, "splooshable");
    explosion_blast = read_explosion("num_blast_particles", "explosion_blast");
    explosion_bounce = read_explosion("num_bounce_particles", "explosion_bounce");
    explosion_sploosh = read_explosion("num_sploosh_particles", "explosion_sploosh");
    explosion_fire = read_explosion("num_fire_particles", "explosion_fire");
    fragmentation_shrapnel = std::make_unique<c_fragmentation>(
        g_rules->get_raw(section, "fragmentation_shrapnel"), cannonball_image, cannonball_color);
    num_shrapnel_repeats = std::clamp(get_int("num_shrapnel_repeats"), 0, max_repeats);
}

c_unit* c_cannontype::create_unit(c_tile* tile, c_player* owner) {
    return new c_cannon(this, tile, owner);
}

void c_cannontype::draw_cannonball(float x, float y, float height, float rotation) const {
    RECT r = centred(x, y, cannonball_width, cannonball_height);
    g_gfx->add_quad_tra(r.left, r.top, r.right, r.bottom, 0.3f, 0.0f, shadow_image, 0, 1, 0, 1, shadow_color);
    int up = static_cast<int>(height);
    g_gfx->add_quad_tra(r.left, r.top - up, r.right, r.bottom - up, 0.0f, rotation, cannonball_image, 0, 1, 0,
                        1, cannonball_color);
}

bool c_cannontype::roll_land() const {
    return land_chances.roll() == 0;
}

bool c_cannontype::roll_explode() const {
    return explode_chances.roll() == 0;
}

int c_cannontype::roll_backfire() const {
    return backfire_chances.roll();
}

void c_cannontype::blast_effects(int left, int top, int right, int bottom, float ball_x, float ball_y) {
    const float hw = float(cannonball_width) / 2.0f, hh = float(cannonball_height) / 2.0f;
    for (int i = 0; i < num_shrapnel_repeats; ++i)
        fragmentation_shrapnel->shatter(ball_x - hw, ball_x + hw, ball_y - hh, ball_y + hh);
    explosion_blast->explode(float(left), float(right), float(2 * top - bottom), float(bottom));
}

void c_cannontype::bounce_effects(int left, int top, int right, int bottom) {
    explosion_bounce->explode(float(left), float(right), float(top), float(bottom));
}

void c_cannontype::sploosh_effects(int left, int top, int right, int bottom) {
    explosion_sploosh->explode(float(left), float(right), float(top), float(bottom));
}

void c_cannontype::fire_effects(int left, int top, int right, int bottom) {
    explosion_fire->explode(float(left), float(right), float(top), float(bottom));
}
