// What the unit tests share on top of world_test: a map of open ground (tile type 0) with water
// (type 1: not enterable, a ball sinks in it) wherever a test puts it, players in a player
// manager, unit types from a rules.ini written here, and unit types whose rolls a test scripts.
#pragma once
#include <deque>
#include <memory>
#include <string>

#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "tests/game/game_fixture.h"
#include "tests/rect_equal.h"

// A melee section with every roll certain: always hits, never blocks. Keys given in `extra`
// come first, so they win over the defaults (the INI reader takes the first match).
inline std::string melee_section(const std::string& name, const std::string& extra = "") {
    return "[" + name + "]\n" + extra + "special=none\nname=" + name +
           "\nimage=white.bmp\ncolor=255 255 255 255\ncombat=2\ndamage=3\nhp=10\nmovement=2\n"
           "moveattack=true\nchance_hit=1\nchance_nohit=0\nchance_block=0\nchance_noblock=1\n"
           "num_explode_particles=4\nexplosion_explode=burst\nnum_bleed_particles=2\nexplosion_bleed=burst\n"
           "fragmentation=pieces\n";
}

inline std::string archer_section(const std::string& name, const std::string& extra = "") {
    return melee_section(name, extra + "special=archer\n") +
           "range=3\narrow_width=8\narrow_height=24\narrow_xoff=32\narrow_yoff=64\narrow_image=white.bmp\n"
           "arrow_color=255 255 255 255\nshadow_image=white.bmp\nshadow_color=128 0 0 0\narrow_velocity=9\n"
           "arrow_height_multiplier=0.25\n";
}

// Lands at the first tile, explodes there, never backfires, unless `extra` says otherwise.
inline std::string cannon_section(const std::string& name, const std::string& extra = "") {
    return melee_section(name, extra + "special=cannon\ncombat=1\ndamage=7\n") +
           "range=6\nbounce_damage=2\nbackfire_damage=3\ncannonball_width=12\ncannonball_height=12\n"
           "cannonball_xoff=32\ncannonball_yoff=96\nshadow_image=white.bmp\nshadow_color=128 0 0 0\n"
           "cannonball_image=white.bmp\ncannonball_color=255 255 255 255\n"
           "chance_cannonball_land=1\nchance_cannonball_noland=0\nchance_cannonball_explode=1\n"
           "chance_cannonball_noexplode=0\nchance_backfire_damage=0\nchance_backfire_explode=0\n"
           "chance_backfire_none=1\ncannonball_velocity=8\ncannonball_height_multiplier=0.3\n"
           "cannonball_rot_velocity=0.35\nsplooshable=true\nnum_blast_particles=4\nexplosion_blast=burst\n"
           "num_bounce_particles=4\nexplosion_bounce=burst\nnum_sploosh_particles=4\nexplosion_sploosh="
           "burst\n"
           "num_fire_particles=4\nexplosion_fire=burst\nfragmentation_shrapnel=pieces\nnum_shrapnel_repeats="
           "1\n";
}

// The rest of a battle's rules: tiles, the [units] header, one burst and one fragmentation, the
// walking speeds of the game's data.
inline std::string unit_world_rules(int num_unittypes, const std::string& type_sections) {
    return "[tiles]\nnum_tiletypes=2\ntile_width=64\ntile_height=64\nplacement_yoffset=16\n"
           "tile_name_format=tile_%d\nmousemap=white.bmp\nblink_texture=white.bmp\n"
           "[tile_0]\nimage=white.bmp\ncolor=255 255 255 255\nmoveable=true\n"
           "[tile_1]\nimage=white.bmp\ncolor=255 0 0 255\nmoveable=false\nsplooshable=true\n"
           "[units]\nunit_name_format=unit_%d\nnum_unittypes=" +
           std::to_string(num_unittypes) + "\nflag_image=white.bmp\nselected_image=white.bmp\n" +
           type_sections +
           "[burst]\nnum_particletypes=1\nparticle_width=4\nparticle_height=4\n0_chance=1\n"
           "0_color_low=255 255 0 0\n0_color_high=255 255 0 0\n0_velocity_low=0 0 0 -1\n0_velocity_high=0 0 "
           "0 -1\n"
           "0_friction_low=1 1 1 1\n0_friction_high=1 1 1 1\n"
           "[pieces]\nnum_columns_low=2\nnum_columns_high=2\nnum_rows_low=2\nnum_rows_high=2\n"
           "velocity_low=0 0 0 -1\nvelocity_high=0 0 0 -1\nfriction_low=1 1 1 1\nfriction_high=1 1 1 1\n"
           "[misc]\nunit_speed_x1=8\nunit_speed_x2=4\nunit_speed_y=6\n"
           "flag_velocity_low=0 -1 0 -3\nflag_velocity_high=0 -1 0 -3\n";
}

// A unit type whose hit and block rolls come from queues a test fills (then the type's own
// chance lists once a queue is empty), counting every roll.
template <typename base> class scripted : public base {
  public:
    using base::base;
    bool roll_hit() const override {
        ++hit_rolls;
        return hits.empty() ? base::roll_hit() : take(hits);
    }
    bool roll_block() const override {
        ++block_rolls;
        return blocks.empty() ? base::roll_block() : take(blocks);
    }
    mutable std::deque<bool> hits, blocks;
    mutable int hit_rolls = 0, block_rolls = 0;

  private:
    static bool take(std::deque<bool>& queue) {
        bool v = queue.front();
        queue.pop_front();
        return v;
    }
};

class unit_test : public world_test {
  protected:
    unit_test() {
        write_solid_bmp(dir.file("white.bmp"), 64, 64, 0xFFFFFF);
        write_file(dir.file("stringtable.ini"),
                   "[gameplay]\nhit=Hit!\nblock=Blocked\nkill=Slain!\nmiss=Miss\n"
                   "bounce=Bounce\nboom=Boom!\nbackfire=Backfire!\n"
                   "selfdestruct=Gun lost!\nsploosh=Sploosh!\n");
        g_particle_pool = new c_particle_pool(64);
        g_minimap_dirty.clear();
        g_hovered_tile = nullptr;
        g_show_moves = false;
        g_show_names = false;
        g_headless_screen = screen_info{};
    }
    ~unit_test() override {
        delete g_unitmanager; // units leave their players and tiles
        g_unitmanager = nullptr;
        delete g_playermanager;
        g_playermanager = nullptr;
        delete g_map;
        g_map = nullptr;
        delete g_stringtable;
        g_stringtable = nullptr;
        g_minimap_dirty.clear();
        g_unit_settings = unit_settings{};
    }

    // Reads the rules, builds a cols x rows map of open ground, the unit types and three players
    // (teams 0, 0 and 0 unless given) and starts player 0's turn.
    void make_battle(int cols, int rows, int num_unittypes, const std::string& type_sections,
                     std::array<int, 3> teams = {0, 0, 0}) {
        use_rules(unit_world_rules(num_unittypes, type_sections));
        cwd_guard cwd(dir.path());
        g_stringtable = new c_ini("stringtable.ini");
        read_unit_settings();
        g_unit_settings.hit_text_color = 0xFF000001;
        g_unit_settings.block_text_color = 0xFF000002;
        g_unit_settings.kill_text_color = 0xFF000003;
        g_unit_settings.miss_text_color = 0xFF000004;
        g_map = new c_map(cols, rows, false);
        g_playermanager = new c_playermanager(&gfx, nullptr);
        const D3DCOLOR colours[3] = {0xFFFF0000, 0xFF7F7FFF, 0xFFFFFF00};
        for (int i = 0; i < 3; ++i)
            g_playermanager->add_player(
                new c_humanplayer(colours[i], format_string("p%d", i), teams[size_t(i)]));
        g_unitmanager = new c_unitmanager();
    }
    c_player* player(int i) const { return g_playermanager->get_player_index(i); }
    c_tile* tile(int col, int row) const { return g_map->get_tile(col, row); }
    // Makes tile (col, row) water.
    void flood(int col, int row) const { tile(col, row)->type = g_map->get_tiletype(1); }

    // A unit of type `type` for player `owner` on (col, row), ready with its moves.
    c_unit* place(c_unittype* type, int owner, int col, int row) {
        c_unit* unit = type->create_unit(tile(col, row), player(owner));
        unit->start_turn();
        g_unitmanager->add_unit(unit);
        player(owner)->add_unit(unit); // counted ready: it can act
        return unit;
    }
    c_unit* place(int type, int owner, int col, int row) {
        return place(g_unitmanager->get_unittype(type), owner, col, row);
    }
    // A type of the manager replaced by a scripted one read from the same section.
    template <typename kind> scripted<kind>* script(const std::string& section) {
        cwd_guard cwd(dir.path());
        owned_types_.push_back(std::make_unique<scripted<kind>>(section));
        return static_cast<scripted<kind>*>(owned_types_.back().get());
    }

    // One fixed update step: the clock, then the unit manager (as the battle screen runs it).
    void update() {
        step();
        g_unitmanager->update();
    }
    // Update steps until no unit is busy; answers how many were run (stops at `limit`).
    int run(int limit = 1000) {
        int n = 0;
        while (g_unitmanager->is_busy() && n < limit) {
            update();
            ++n;
        }
        return n;
    }
    // The result texts shown so far, oldest first.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (c_effect* e : g_overlays)
            if (auto* t = dynamic_cast<c_resulttext*>(e)) out.push_back(t->text);
        return out;
    }
    static bool same(const RECT& a, const RECT& b) { return a == b; }

    // Declared last: scripted types outlive every unit (deleted with the manager in the
    // destructor body, which runs first).
    std::vector<std::unique_ptr<c_unittype>> owned_types_;
};
