// The unit manager (types and units of a battle, the lists of units in action), the battle
// constants the units read, and the floating result texts.
//
// Index: 1. battle constants; 2. loading the types; 3. the lists and the update step;
// 4. result texts.
#include <algorithm>
#include <cstdio>

#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/effect_motion.h"
#include "game/battle/unit.h"

unit_settings g_unit_settings;
c_unitmanager* g_unitmanager = nullptr;

namespace {
// A mistyped count must not make a battle read a million empty sections.
constexpr int max_unittypes = 256;

// For %llu, which every C runtime's printf reads (not all of them know %zu).
template <class T> unsigned long long count_of(const T& list) {
    return static_cast<unsigned long long>(list.size());
}

motion4 read_motion4(const char* key) {
    motion4 v{};
    std::sscanf(g_rules->get_raw(key).c_str(), "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
    return v;
}
} // namespace

// ---- 1. battle constants -----------------------------------------------------------------------------

void read_unit_settings() {
    unit_settings s;
    g_rules->set_section("misc");
    s.flag_motion.velocity_low = read_motion4("flag_velocity_low");
    s.flag_motion.velocity_high = read_motion4("flag_velocity_high");
    s.flag_motion.acceleration_low = read_motion4("flag_acceleration_low");
    s.flag_motion.acceleration_high = read_motion4("flag_acceleration_high");
    s.flag_motion.friction_low = read_motion4("flag_friction_low");
    s.flag_motion.friction_high = read_motion4("flag_friction_high");
    if (g_interface) {
        auto colour = [](const char* key) { return g_interface->get_color("gameplay", key); };
        s.block_text_color = colour("block_text_color");
        s.kill_text_color = colour("kill_text_color");
        s.hit_text_color = colour("hit_text_color");
        s.miss_text_color = colour("miss_text_color");
        s.sploosh_text_color = colour("sploosh_text_color");
        s.selfdestruct_text_color = colour("selfdestruct_text_color");
        s.backfire_text_color = colour("backfire_text_color");
        s.boom_text_color = colour("boom_text_color");
        s.bounce_text_color = colour("bounce_text_color");
    }
    s.speed_x1 = g_rules->get_int("unit_speed_x1");
    s.speed_x2 = g_rules->get_int("unit_speed_x2");
    s.speed_y = g_rules->get_int("unit_speed_y");
    g_unit_settings = s;
}

// ---- 2. loading the types ------------------------------------------------------------------------------

c_unitmanager::c_unitmanager() {
    g_rules->set_section("units");
    const std::string name_format = g_rules->get_raw("unit_name_format");
    num_unittypes = std::max(g_rules->get_int("num_unittypes"), 0);
    if (num_unittypes > max_unittypes)
        HV_RAISE("Unable to load the unit types: num_unittypes is above 256.", "c_unitmanager::c_unitmanager",
                 0, this);
    if (num_unittypes > 0 && !is_single_int_format(name_format))
        HV_RAISE("Unable to load the unit types: unit_name_format must hold exactly one integer conversion.",
                 "c_unitmanager::c_unitmanager", 0, this);
    unittypes.reserve(static_cast<size_t>(num_unittypes));
    for (int i = 0; i < num_unittypes; ++i) {
        const std::string section = format_string(name_format.c_str(), i);
        const std::string special = g_rules->get_raw(section, "special");
        // The kind is chosen by exact spelling: "Cannon" is a melee type.
        if (special == "cannon")
            unittypes.push_back(std::make_unique<c_cannontype>(section));
        else if (special == "archer")
            unittypes.push_back(std::make_unique<c_archertype>(section));
        else
            unittypes.push_back(std::make_unique<c_unittype>(section));
    }
}

c_unitmanager::~c_unitmanager() {
    // Each unit leaves its player and tile as it goes; the lists of units in action only point
    // into `all`.
    busy.clear();
    done.clear();
    dead.clear();
    std::vector<c_unit*> doomed;
    doomed.swap(all);
    for (c_unit* unit : doomed)
        delete unit;
}

c_unittype* c_unitmanager::get_unittype(int index) const {
    if (index < 0 || index >= static_cast<int>(unittypes.size()))
        HV_RAISE("Index out of bounds.", "c_unitmanager::get_unittype", 0, this);
    return unittypes[static_cast<size_t>(index)].get();
}

std::string c_unitmanager::get_details() const {
    return c_reportable::get_details() +
           format_string("UNIT MANAGER: %d unit types, %llu units, %llu busy, %llu done, %llu dead\n",
                         num_unittypes, count_of(all), count_of(busy), count_of(done), count_of(dead));
}

// ---- 3. the lists and the update step --------------------------------------------------------------------

namespace {
void move_to_end(std::vector<c_unit*>& list, c_unit* unit) {
    std::erase(list, unit);
    list.push_back(unit);
}
} // namespace

void c_unitmanager::add_unit(c_unit* unit) {
    if (!unit || std::find(all.begin(), all.end(), unit) != all.end()) return;
    unit->id = next_id_++;
    all.push_back(unit);
}

c_unit* c_unitmanager::find_unit(int id) const {
    for (c_unit* unit : all)
        if (unit->id == id) return unit;
    return nullptr;
}

void c_unitmanager::add_busy(c_unit* unit) {
    move_to_end(busy, unit);
}

void c_unitmanager::finish_busy(c_unit* unit) {
    move_to_end(done, unit);
}

void c_unitmanager::queue_dead(c_unit* unit) {
    move_to_end(dead, unit);
}

void c_unitmanager::update() {
    // By index: an update may make another unit busy (it is then updated in this same step).
    for (size_t i = 0; i < busy.size(); ++i)
        busy[i]->update();
    // Deleting a unit removes it from its player (which may end that player) and frees its tile.
    while (!dead.empty()) {
        c_unit* unit = dead.front();
        dead.erase(dead.begin());
        std::erase(all, unit);
        std::erase(busy, unit);
        std::erase(done, unit);
        // Whoever was attacking it must not strike at a deleted unit.
        for (c_unit* other : all)
            if (other->target == unit) other->target = nullptr;
        delete unit;
    }
    for (c_unit* unit : done)
        std::erase(busy, unit);
    done.clear();
}

// ---- 4. result texts -------------------------------------------------------------------------------------

c_resulttext::c_resulttext(const std::string& text, D3DCOLOR colour, const RECT& rect)
    : text(text), colour(colour) {
    auto place = [](c_interp_float& track, float v) {
        track.set(v);
        track.prev_value = v;
    };
    place(left, float(rect.left));
    place(right, float(rect.right));
    place(top, float(rect.top));
    place(bottom, float(rect.top));
    place(alpha, 255.0f);
}

bool c_resulttext::update() {
    const std::array<motion_tracks, 3> tracks{{{&left, &right}, {&top, &bottom}, {&alpha}}};
    return drift_step(lifetime, tracks, alpha, velocity, acceleration, friction);
}

void c_resulttext::draw() {
    if (!g_font || !g_gfx || text.empty()) return;
    const int a = std::clamp(static_cast<int>(alpha.get()), 0, 255);
    const D3DCOLOR c = (static_cast<D3DCOLOR>(a) << 24) | (colour & 0x00FFFFFF);
    const int l = static_cast<int>(left.get()) - scroll_ix, r = static_cast<int>(right.get()) - scroll_ix;
    const int t = static_cast<int>(top.get()) - scroll_iy, b = static_cast<int>(bottom.get()) - scroll_iy;
    c_text shown(g_gfx, g_font, text, l, t, r, b, 0.0f, c, 0, scale_x, scale_y, flags);
    shown.draw();
}
