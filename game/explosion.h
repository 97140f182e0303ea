// Particles: explosions (bursts of small coloured sprites), fragmentation (a picture shattered
// into flying pieces) and the pool that recycles particle objects.
//
// Motion has four channels, in this order everywhere: x, y, rotation, alpha. Each update a
// channel's value grows by its velocity, then the velocity becomes
// (velocity + acceleration) x friction.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "framework/chance.h"
#include "framework/interpolator.h"
#include "game/gameplay.h"
#include "platform/d3d9.h"

class c_gfx;
class c_image;

using motion4 = std::array<float, 4>;

// Ranges for the three motion vectors; every value is drawn uniformly between low and high.
struct motion_ranges {
    motion4 velocity_low{}, velocity_high{};
    motion4 acceleration_low{}, acceleration_high{};
    motion4 friction_low{}, friction_high{};
};

// One kind of particle of an explosion. Colour channels are alpha, red, green, blue: 0..255,
// or -1..-4 for "the value this particle drew for alpha, red, green or blue".
struct c_particletype {
    std::array<int, 4> color_low{}, color_high{};
    motion_ranges motion;
};

class c_particle : public c_effect {
  public:
    // Queues the particle at depth 1 - d (d: the gfx depth counter, advanced), turned by its
    // rotation, shifted by the view origin, with its current alpha.
    void draw() override;
    // One step of motion; false once the lifetime has run out or the alpha has reached 0.
    bool update() override;
    // Back to the pool; the particle must have left its effect list.
    void release() override;

    c_gfx* gfx = nullptr;
    c_image* image = nullptr; // not owned
    float u0 = 0, u1 = 1, v0 = 0, v1 = 1;
    D3DCOLOR color = 0; // the alpha byte is unused: the alpha track holds it
    int lifetime = 0;
    c_interp_float left, right, top, bottom; // map pixels
    c_interp_float rotation, alpha;
    motion4 velocity{}, acceleration{}, friction{};
    bool in_use = false;
};

// Particles are made once and recycled, so that a battle full of explosions allocates nothing.
class c_particle_pool {
  public:
    // Makes `count` free particles. Called once at start-up, after the interpolator.
    explicit c_particle_pool(int count);
    // Frees every particle, free or in use: empty the effect lists first.
    ~c_particle_pool();
    c_particle_pool(const c_particle_pool&) = delete;
    c_particle_pool& operator=(const c_particle_pool&) = delete;

    // A free particle (a new one when none is left), its rectangle, rotation and alpha at 0.
    c_particle* acquire();
    // Takes a particle back; raises when it is not in use (a second release).
    void give_back(c_particle* particle);

    int size() const { return static_cast<int>(all_.size()); }
    int free_count() const { return static_cast<int>(free_.size()); }

  private:
    std::vector<c_particle*> all_;  // owns every particle ever made
    std::vector<c_particle*> free_; // capacity kept at all_.size(): giving back never allocates
};

// Made at start-up (1000 particles), deleted at shutdown.
extern c_particle_pool* g_particle_pool;

// Resolves a particle's colour ranges into (alpha, red, green, blue), drawing each channel with
// the effects' stream (effect_rand). Raises "Unable to resolve explosion colors." when references go round in
// a circle.
std::array<int, 4> resolve_colors(std::array<int, 4> low, std::array<int, 4> high);

class c_explosion : public c_reportable {
  public:
    // Reads the rules.ini section; num_particles is how many particles each explode spawns.
    c_explosion(const std::string& section, int num_particles);

    // Spawns num_particles particles of the particle image into g_effects, each placed at
    // random inside the rectangle (map pixels). Call in update steps.
    void explode(float left, float right, float top, float bottom);
    std::string get_details() const override;

    int num_particletypes = 0;
    std::vector<c_particletype> particletypes;
    c_chance chances;
    int particle_width = 0, particle_height = 0;
    int num_particles = 0;

  private:
    void read_particletype(int i);
    std::string section_;
};

class c_fragmentation : public c_reportable {
  public:
    // Reads the rules.ini section; the image (not owned) must outlive the pieces.
    c_fragmentation(const std::string& section, c_image* image, D3DCOLOR color);

    // Spawns the pieces of the image laid over the rectangle (map pixels) into g_effects, each
    // showing its own part of the picture. Call in update steps.
    void shatter(float left, float right, float top, float bottom);
    std::string get_details() const override;

    c_image* image;
    D3DCOLOR color;
    int num_columns_low = 0, num_columns_high = 0, num_rows_low = 0, num_rows_high = 0;
    motion_ranges motion;

  private:
    std::string section_;
};
