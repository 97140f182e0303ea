// Particles, the particle pool, explosions and fragmentation.
//
// Index: 1. random draws; 2. particles; 3. the pool; 4. colour resolution; 5. explosions;
// 6. fragmentation.
#include "game/explosion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "game/effect_motion.h"
#include "game/effect_random.h"
#include "platform/crt.h"

c_particle_pool* g_particle_pool = nullptr;

namespace {

// ---- 1. random draws ----------------------------------------------------------------------------

// Uniform in low..high, both included. A range written the wrong way round is read as the
// range between its two ends rather than as a modulo by zero or a negative number.
int random_int(int low, int high) {
    if (high < low) std::swap(low, high);
    std::int64_t n = std::int64_t(high) - low + 1;
    return static_cast<int>(low + effect_rand() % n);
}

float random_float(float low, float high) {
    return low + (high - low) * static_cast<float>(effect_rand()) / static_cast<float>(crt::RAND_MAX_VALUE);
}

motion4 random_motion(const motion4& low, const motion4& high) {
    motion4 out;
    for (size_t i = 0; i < 4; ++i)
        out[i] = random_float(low[i], high[i]);
    return out;
}

// Where a particle of `size` starts inside low..high. When the range is no wider than the
// particle there is no room to scatter: the particle sits on the range's centre.
float random_start(float low, float high, int size) {
    float room = std::min(high - low - static_cast<float>(size), 1.0e9f);
    int span = room > 0.0f ? static_cast<int>(room) : 0;
    if (span <= 0) return (low + high - static_cast<float>(size)) / 2.0f;
    return low + static_cast<float>(effect_rand() % span);
}

// Sets an interpolated value that is shown at once, not blended from the value it had.
void place(c_interp_float& track, float v) {
    track.set(v);
    track.prev_value = v;
}

motion4 read_motion4(const std::string& key) {
    motion4 v{};
    std::sscanf(g_rules->get_raw(key).c_str(), "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]);
    return v;
}

motion_ranges read_motion(const std::string& prefix) {
    motion_ranges m;
    m.velocity_low = read_motion4(prefix + "velocity_low");
    m.velocity_high = read_motion4(prefix + "velocity_high");
    m.acceleration_low = read_motion4(prefix + "acceleration_low");
    m.acceleration_high = read_motion4(prefix + "acceleration_high");
    m.friction_low = read_motion4(prefix + "friction_low");
    m.friction_high = read_motion4(prefix + "friction_high");
    return m;
}

void start_motion(c_particle* p, const motion_ranges& m) {
    p->velocity = random_motion(m.velocity_low, m.velocity_high);
    p->acceleration = random_motion(m.acceleration_low, m.acceleration_high);
    p->friction = random_motion(m.friction_low, m.friction_high);
}

c_particle_pool& pool() {
    if (!g_particle_pool)
        HV_RAISE("The particle pool does not exist.", "c_particle_pool::acquire", 0, nullptr);
    return *g_particle_pool;
}

} // namespace

// ---- 2. particles -------------------------------------------------------------------------------

bool c_particle::update() {
    const std::array<motion_tracks, 4> tracks{{{&left, &right}, {&top, &bottom}, {&rotation}, {&alpha}}};
    return drift_step(lifetime, tracks, alpha, velocity, acceleration, friction);
}

void c_particle::draw() {
    float d = gfx->depth;
    gfx->depth += gfx->depth_step;
    // A rising alpha channel may pass 255; the colour byte must not wrap to transparent.
    float a = std::clamp(std::trunc(alpha.get()), 0.0f, 255.0f);
    D3DCOLOR c = (static_cast<D3DCOLOR>(a) << 24) | (color & 0x00FFFFFF);
    gfx->add_quad_tra(static_cast<int>(left.get()) - scroll_ix, static_cast<int>(top.get()) - scroll_iy,
                      static_cast<int>(right.get()) - scroll_ix, static_cast<int>(bottom.get()) - scroll_iy,
                      1.0f - d, rotation.get(), image, u0, u1, v0, v1, c);
}

void c_particle::release() {
    pool().give_back(this);
}

// ---- 3. the pool --------------------------------------------------------------------------------

c_particle_pool::c_particle_pool(int count) {
    count = std::max(count, 0);
    all_.reserve(static_cast<size_t>(count));
    free_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        all_.push_back(new c_particle);
        free_.push_back(all_.back());
    }
}

c_particle_pool::~c_particle_pool() {
    for (c_particle* p : all_)
        delete p;
}

c_particle* c_particle_pool::acquire() {
    c_particle* p;
    if (free_.empty()) {
        p = new c_particle;
        all_.push_back(p);
        free_.reserve(all_.capacity());
    } else {
        p = free_.back();
        free_.pop_back();
    }
    p->in_use = true;
    for (c_interp_float* t : {&p->left, &p->right, &p->top, &p->bottom, &p->rotation, &p->alpha})
        t->init();
    return p;
}

void c_particle_pool::give_back(c_particle* particle) {
    if (!particle->in_use)
        HV_RAISE("A particle was released twice.", "c_particle_pool::give_back", 0, particle);
    particle->in_use = false;
    free_.push_back(particle);
}

// ---- 4. colour resolution -----------------------------------------------------------------------

std::array<int, 4> resolve_colors(std::array<int, 4> low, std::array<int, 4> high) {
    std::array<int, 4> value{};
    std::array<bool, 4> done{};
    int open = 4;
    while (open > 0) {
        bool progress = false;
        for (size_t c = 0; c < 4; ++c) {
            if (done[c]) continue;
            if (low[c] >= 0 && high[c] >= 0) {
                value[c] = random_int(low[c], high[c]);
                done[c] = true;
                --open;
                progress = true;
                continue;
            }
            // A reference becomes the value once its channel has one; the channel is drawn in a
            // later pass.
            for (int* end : {&low[c], &high[c]}) {
                if (*end >= 0) continue;
                size_t source = static_cast<size_t>(-*end - 1);
                if (done[source]) {
                    *end = value[source];
                    progress = true;
                }
            }
        }
        if (!progress) HV_RAISE("Unable to resolve explosion colors.", "c_explosion::explode", 0, nullptr);
    }
    return value;
}

// ---- 5. explosions ------------------------------------------------------------------------------

namespace {
// A colour value from data: 0..255, or a reference -1..-4; anything else is cut into 0..255.
int colour_value(int v) {
    return v >= -4 && v <= -1 ? v : std::clamp(v, 0, 255);
}

std::array<int, 4> read_colour_range(const std::string& key) {
    std::array<int, 4> v{};
    std::sscanf(g_rules->get_raw(key).c_str(), "%d %d %d %d", &v[0], &v[1], &v[2], &v[3]);
    for (int& x : v)
        x = colour_value(x);
    return v;
}

// More particle types than this is a slip of the keyboard; reading that many keys would stall
// the loading of a battle.
constexpr int max_particletypes = 256;
} // namespace

c_explosion::c_explosion(const std::string& section, int num_particles)
    : num_particles(std::max(num_particles, 0)), section_(section) {
    g_rules->set_section(section);
    num_particletypes = std::max(g_rules->get_int("num_particletypes"), 0);
    if (num_particletypes > max_particletypes)
        HV_RAISE("Unable to read the explosion: num_particletypes is above 256.", "c_explosion::c_explosion",
                 0, this);
    particle_width = g_rules->get_int("particle_width");
    particle_height = g_rules->get_int("particle_height");
    particletypes.reserve(static_cast<size_t>(num_particletypes));
    for (int i = 0; i < num_particletypes; ++i)
        read_particletype(i);
}

void c_explosion::read_particletype(int i) {
    chances.add_chance(g_rules->get_int(format_string("%d_chance", i)));
    c_particletype type;
    type.color_low = read_colour_range(format_string("%d%s", i, "_color_low"));
    type.color_high = read_colour_range(format_string("%d%s", i, "_color_high"));
    type.motion = read_motion(format_string("%d_", i));
    particletypes.push_back(type);
}

void c_explosion::explode(float left, float right, float top, float bottom) {
    // No types, no particles or only zero weights: a burst of nothing.
    if (particletypes.empty() || num_particles <= 0 || chances.get_total() == 0) return;
    for (int n = 0; n < num_particles; ++n) {
        const c_particletype& type = particletypes[static_cast<size_t>(
            chances.pick(static_cast<std::uint32_t>(effect_rand()) % chances.get_total()))];
        std::array<int, 4> argb = resolve_colors(type.color_low, type.color_high);
        c_particle* p = pool().acquire();
        p->gfx = g_gfx;
        p->image = g_particle_image;
        p->u0 = p->v0 = 0.0f;
        p->u1 = p->v1 = 1.0f;
        p->color = 0xFF000000u | D3DCOLOR(argb[1]) << 16 | D3DCOLOR(argb[2]) << 8 | D3DCOLOR(argb[3]);
        p->lifetime = 255;
        place(p->alpha, static_cast<float>(argb[0]));
        float x = random_start(left, right, particle_width), y = random_start(top, bottom, particle_height);
        place(p->left, x);
        place(p->right, x + static_cast<float>(particle_width));
        place(p->top, y);
        place(p->bottom, y + static_cast<float>(particle_height));
        start_motion(p, type.motion);
        g_effects.push_back(p);
    }
}

std::string c_explosion::get_details() const {
    return c_reportable::get_details() + format_string("EXPLOSION: [%s]\n", section_.c_str());
}

// ---- 6. fragmentation ---------------------------------------------------------------------------

c_fragmentation::c_fragmentation(const std::string& section, c_image* image, D3DCOLOR color)
    : image(image), color(color), section_(section) {
    g_rules->set_section(section);
    num_columns_low = g_rules->get_int("num_columns_low");
    num_columns_high = g_rules->get_int("num_columns_high");
    num_rows_low = g_rules->get_int("num_rows_low");
    num_rows_high = g_rules->get_int("num_rows_high");
    motion = read_motion("");
}

namespace {
// Pieces narrower than a pixel show nothing, and a mistyped count must not spawn millions.
int piece_count(int drawn, float extent) {
    int limit = static_cast<int>(std::clamp(std::fabs(extent), 1.0f, 1024.0f));
    return std::min(drawn, limit);
}
} // namespace

void c_fragmentation::shatter(float left, float right, float top, float bottom) {
    int cols = piece_count(random_int(num_columns_low, num_columns_high), right - left);
    int rows = piece_count(random_int(num_rows_low, num_rows_high), bottom - top);
    if (cols < 1 || rows < 1) return;
    float w = (right - left) / static_cast<float>(cols), h = (bottom - top) / static_cast<float>(rows);
    for (int i = 0; i < cols; ++i) {
        for (int j = 0; j < rows; ++j) {
            c_particle* p = pool().acquire();
            p->gfx = g_gfx;
            p->image = image;
            p->u0 = float(i) / float(cols);
            p->u1 = float(i + 1) / float(cols);
            p->v0 = float(j) / float(rows);
            p->v1 = float(j + 1) / float(rows);
            p->color = color;
            p->lifetime = 100;
            place(p->alpha, static_cast<float>(color >> 24));
            place(p->left, left + float(i) * w);
            place(p->right, left + float(i + 1) * w);
            place(p->top, top + float(j) * h);
            place(p->bottom, top + float(j + 1) * h);
            start_motion(p, motion);
            g_effects.push_back(p);
        }
    }
}

std::string c_fragmentation::get_details() const {
    return c_reportable::get_details() + format_string("FRAGMENTATION: [%s]\n", section_.c_str());
}
