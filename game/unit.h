// Units: the unit types read from rules.ini, the units standing on the map's tiles, their
// movement, melee, archers' arrows and cannons' balls, the floating result texts, and the unit
// manager that owns every unit of a battle and advances the ones in action.
//
// The map only ever asks a unit to draw itself, to draw its minimap mark and, while a shot is in
// the air, to draw its projectile (the three drawing operations of c_unit); everything else is
// driven by the players' orders (classify, aim, act) and by the unit manager's update steps.
//
// Rectangles are map pixels unless a comment says otherwise; a unit's picture stands on the lower
// half of its (left, 2 x top - bottom, right, bottom) image rectangle, twice the tile's height.
//
// Index: 1. battle constants the units read; 2. geometry; 3. unit types; 4. units; 5. the unit
// manager; 6. result texts.
#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/chance.h"
#include "framework/err.h"
#include "framework/interpolator.h"
#include "game/explosion.h"
#include "game/gameplay.h"
#include "platform/d3d9.h"
#include "platform/win32.h"

class c_image;
class c_player;
class c_tile;
class c_unit;

// ---- 1. battle constants the units read -------------------------------------------------------------

// What units need from the battle's data beyond their types: the motion speeds, the way a dead
// unit's flag flies off, and the colours of the floating result texts.
struct unit_settings {
    int speed_x1 = 0; // pixels per update along a row
    int speed_x2 = 0; // pixels per update sideways while changing rows
    int speed_y = 0;  // pixels per update up or down
    motion_ranges flag_motion;
    D3DCOLOR block_text_color = 0, kill_text_color = 0, hit_text_color = 0, miss_text_color = 0,
             sploosh_text_color = 0, selfdestruct_text_color = 0, backfire_text_color = 0,
             boom_text_color = 0, bounce_text_color = 0;
};
extern unit_settings g_unit_settings;

// Reads g_unit_settings: "flag_velocity_low" .. "flag_friction_high" ("%f %f %f %f") and
// "unit_speed_x1", "unit_speed_x2", "unit_speed_y" from [misc] of g_rules, the nine
// "*_text_color" keys from [gameplay] of g_interface. Called by the battle set-up while it loads
// a battle's static data; missing keys read as 0. Leaves g_rules' current section at "misc".
void read_unit_settings();

// ---- 2. geometry ---------------------------------------------------------------------------------------

// Hex steps from one tile to another on g_map (0 from a tile to itself), walking one neighbour at a
// time toward the target's centre (hex_distance). Raises "Unable to find a way between two
// tiles." when the target is not a tile of g_map.
int calc_range(const c_tile* from, const c_tile* to);

// The rectangle a unit's picture covers over a tile-sized rectangle: twice as high, bottom-aligned.
inline RECT image_rect(const RECT& r) {
    return RECT{r.left, 2 * r.top - r.bottom, r.right, r.bottom};
}

// Classification of a tile for the selected unit; it picks the cursor and what an order does.
enum unit_class : int {
    CLASS_NOTHING = 0,      // not a neighbour, or an enemy the unit may no longer attack
    CLASS_NOMOVE = 1,       // cannot enter
    CLASS_MOVE = 2,         // an empty neighbour it may move to
    CLASS_ATTACK = 3,       // an enemy neighbour it may strike
    CLASS_TARGET = 4,       // an enemy within a ranged unit's range
    CLASS_OUT_OF_RANGE = 5, // an enemy beyond it
};

// What take_damage did to the unit struck.
enum damage_result : int { DAMAGE_HIT = 0, DAMAGE_KILLED = 1, DAMAGE_BLOCKED = 2 };

// Unit states.
enum unit_state : int { STATE_IDLE = 0, STATE_MOVING = 1, STATE_STRIKING = 2, STATE_FLYING = 3 };

// Updates between two strikes of a melee attack or two arrows of a volley.
constexpr int strike_pause = 10;

// ---- 3. unit types ------------------------------------------------------------------------------------

// A melee unit type, read from its rules.ini section. Keys that are missing read as 0, "" or false;
// a picture that does not load raises "Unable to create texture." (the image registry).
class c_unittype : public c_reportable {
  public:
    // Reads the section of g_rules (its current section is changed); pictures come from g_gfx.
    explicit c_unittype(const std::string& section);
    ~c_unittype() override;
    c_unittype(const c_unittype&) = delete;
    c_unittype& operator=(const c_unittype&) = delete;

    // Queues the picture over a rectangle in client pixels, depth 0.2 - d (d: the gfx depth counter).
    virtual void draw_unit(int left, int top, int right, int bottom) const;
    // Queues the unit flag at (left - scroll, top - scroll - 16) through the player manager: the
    // type's combat digit, the owner's colour, the fraction hp / (type hp + bonus) as a health bar,
    // half transparent when `full` is false. Map pixels; right and bottom are unused.
    virtual void draw_flag(int left, int top, int right, int bottom, int hp, int bonus, c_player* owner,
                           bool full) const;
    // A new unit of the type's kind on the tile (which then holds it). The caller gives it to its
    // player and to the unit manager.
    virtual c_unit* create_unit(c_tile* tile, c_player* owner);
    // A death over a unit's tile-sized rectangle: the explode burst and the shattered picture over
    // the image rectangle, then the owner's flag flung away as a particle. Call in update steps.
    virtual void die_effects(int left, int top, int right, int bottom, c_player* owner);
    // The bleed burst over the image rectangle of a unit's tile-sized rectangle.
    virtual void bleed_effects(int left, int top, int right, int bottom);
    // Rolls of the chance lists; raise "There are no chances in the chance list." when both
    // weights of the list are 0.
    virtual bool roll_hit() const;
    virtual bool roll_block() const;

    const std::string& get_name() const { return name; }
    int get_combat() const { return combat; }
    int get_damage() const { return damage; }
    int get_hp() const { return hp; }
    int get_movement() const { return movement; }
    bool get_moveattack() const { return moveattack; }
    std::string get_details() const override;

    std::string name;
    c_image* image = nullptr; // draw order 0.2, a registry reference held by the type
    D3DCOLOR color = 0;
    int combat = 0, damage = 0, hp = 0, movement = 0;
    bool moveattack = false;
    c_chance hit_chances;   // 0 hit, 1 no hit
    c_chance block_chances; // 0 block, 1 no block
    std::unique_ptr<c_explosion> explosion_explode, explosion_bleed;
    std::unique_ptr<c_fragmentation> fragmentation;

  protected:
    // Loads a picture through g_gfx's registry; the type releases it when it is destroyed.
    c_image* load_image(const std::string& key, float order);
    std::unique_ptr<c_explosion> read_explosion(const std::string& count_key, const std::string& key);
    std::string section_;

  private:
    std::vector<c_image*> images_; // every registry reference this type holds
};

// A type whose units shoot arrows at enemies within `range` hex steps.
class c_archertype : public c_unittype {
  public:
    explicit c_archertype(const std::string& section);

    c_unit* create_unit(c_tile* tile, c_player* owner) override;
    // Queues the shadow at (x, y) turned by `shadow_angle`, then the arrow `height` pixels above it
    // turned by `tilt`. Map pixels (the view origin is subtracted here).
    virtual void draw_arrow(float x, float y, float height, float tilt, float shadow_angle) const;
    int get_range() const { return range; }
    int get_arrow_xoff() const { return arrow_xoff; }
    int get_arrow_yoff() const { return arrow_yoff; }
    int get_arrow_velocity() const { return arrow_velocity; }
    float get_arrow_height_multiplier() const { return arrow_height_multiplier; }

    int range = 0;
    int arrow_width = 0, arrow_height = 0, arrow_xoff = 0, arrow_yoff = 0;
    c_image* arrow_image = nullptr; // draw order 0.0
    D3DCOLOR arrow_color = 0;
    c_image* shadow_image = nullptr; // draw order 0.3
    D3DCOLOR shadow_color = 0;
    int arrow_velocity = 0;
    float arrow_height_multiplier = 0.0f;
};

// A type whose units fire cannonballs that may land early, bounce, sink or explode.
class c_cannontype : public c_unittype {
  public:
    explicit c_cannontype(const std::string& section);

    c_unit* create_unit(c_tile* tile, c_player* owner) override;
    // Queues the shadow at (x, y), then the ball `height` pixels above it turned by `rotation`.
    virtual void draw_cannonball(float x, float y, float height, float rotation) const;
    virtual bool roll_land() const;
    virtual bool roll_explode() const;
    // 0 backfire damage, 1 the cannon is destroyed, 2 nothing happens.
    virtual int roll_backfire() const;
    // Bursts over a tile rectangle (the image rectangle above it). Blast first throws
    // num_shrapnel_repeats rounds of shrapnel from the ball's ground position (ball_x, ball_y).
    virtual void blast_effects(int left, int top, int right, int bottom, float ball_x, float ball_y);
    virtual void bounce_effects(int left, int top, int right, int bottom);
    virtual void sploosh_effects(int left, int top, int right, int bottom);
    virtual void fire_effects(int left, int top, int right, int bottom);

    int get_range() const { return range; }
    int get_bounce_damage() const { return bounce_damage; }
    int get_backfire_damage() const { return backfire_damage; }
    int get_cannonball_velocity() const { return cannonball_velocity; }
    float get_cannonball_height_multiplier() const { return cannonball_height_multiplier; }
    float get_cannonball_rot_velocity() const { return cannonball_rot_velocity; }
    bool get_splooshable() const { return splooshable; }
    int get_cannonball_xoff() const { return cannonball_xoff; }
    int get_cannonball_yoff() const { return cannonball_yoff; }

    int range = 0, bounce_damage = 0, backfire_damage = 0;
    int cannonball_width = 0, cannonball_height = 0, cannonball_xoff = 0, cannonball_yoff = 0;
    c_image* shadow_image = nullptr; // draw order 0.3
    D3DCOLOR shadow_color = 0;
    c_image* cannonball_image = nullptr; // draw order 0.0
    D3DCOLOR cannonball_color = 0;
    c_chance land_chances;     // 0 land, 1 fly on
    c_chance explode_chances;  // 0 explode, 1 bounce
    c_chance backfire_chances; // 0 damage, 1 explode, 2 none
    int cannonball_velocity = 0;
    float cannonball_height_multiplier = 0.0f, cannonball_rot_velocity = 0.0f;
    bool splooshable = false;
    std::unique_ptr<c_explosion> explosion_blast, explosion_bounce, explosion_sploosh, explosion_fire;
    std::unique_ptr<c_fragmentation> fragmentation_shrapnel;
    int num_shrapnel_repeats = 0;
};

// ---- 4. units ---------------------------------------------------------------------------------------------

// A unit standing on a tile: idle, moving to a neighbour, striking one, or (ranged units) with a
// projectile in flight. Orders (act) start an action and put the unit into the unit manager's busy
// list; the manager's update steps carry the action on until it ends.
class c_unit : public c_reportable {
  public:
    // Stands the unit on the tile (the tile's unit becomes it) with the type's hit points and no
    // moves; the tile's rectangle is marked dirty on the minimap. Made by the types' create_unit.
    c_unit(c_unittype* type, c_tile* tile, c_player* owner);
    // Leaves the owner (remove_unit) and the tile; the rectangle is marked dirty on the minimap.
    ~c_unit() override;
    c_unit(const c_unit&) = delete;
    c_unit& operator=(const c_unit&) = delete;

    // Queues the unit's picture and flag at its drawn rectangle shifted by the view origin, and its
    // name label when names are shown. Called by the map for the tile the unit stands on, before
    // the tile itself.
    virtual void draw();
    // One update step of the action under way. Called by the unit manager for busy units.
    virtual void update();
    // Draws the unit's mark into the minimap's render target in map pixels: white when it is its
    // owner's selected unit, else the owner's marker. Called by the map's minimap drawing for the
    // tile the unit stands on, before the tile.
    virtual void draw_minimap();
    // Queues the projectile in flight; called by the map after all tiles while this unit is the
    // map's active unit. Nothing for a melee unit.
    virtual void draw_projectile();
    // What an order on `tile` would do (unit_class); 0 for anything but the six neighbours.
    virtual int classify(const c_tile* tile) const;
    // Carries out the order on `tile` (null: nothing) when idle: move, strike or (ranged) shoot.
    // (aim_x, aim_y) is the mouse offset inside the tile. The unit is busy afterwards either way.
    virtual void act(c_tile* tile, int aim_x, int aim_y);
    // Idle with moves left.
    virtual bool can_act() const;
    virtual void select();
    virtual void deselect();
    // Death effects and into the manager's dead list; deleted at the end of the update step.
    virtual void die();
    virtual void bleed();
    // The neighbours it may move to or strike blink white (ranged units: and their targets).
    virtual void show_moves();
    // Shows where a shot at `tile` would go; nothing for a melee unit.
    virtual void aim(c_tile* tile, int aim_x, int aim_y);
    // One strike or ball suffered: damage_result. Blockable strikes spend block rolls first.
    virtual int take_damage(int amount, bool blockable);
    // Refills the moves; answers true (the unit is ready this turn).
    virtual bool start_turn();
    virtual void end_turn();
    virtual c_player* get_owner() const { return owner; }
    virtual int get_col() const { return col; }
    virtual int get_row() const { return row; }
    // The drawn rectangle (the current values of the tracks; interpolated while drawing).
    virtual RECT get_rect() const;
    virtual c_unittype* get_type() const { return type; }
    // The classification of a tile without the neighbour test (unit_class 0..3).
    virtual int classify_raw(const c_tile* tile) const;
    // One update of the movement animation toward a rectangle, at the battle's unit speeds.
    virtual void step_toward(int left, int top, int right, int bottom);
    // A floating result text over a rectangle (from its left-top to its right-top), in g_overlays.
    virtual void show_text(const std::string& text, D3DCOLOR colour, const RECT& rect);
    // Queues the type's name below the unit, grey with the owner's colour one pixel over it.
    virtual void draw_label();
    // Sets the moves left; below 1 the unit is deselected and reported done to its owner.
    virtual void set_moves_left(int n);

    std::string get_details() const override;
    c_tile* get_tile() const { return tile; }
    int get_hp() const { return hp; }
    int get_state() const { return state; }
    int get_moves_left() const { return moves_left; }
    // The tile's rectangle.
    RECT get_tile_rect() const;

    c_unittype* type = nullptr; // not owned
    c_tile* tile = nullptr;
    c_player* owner = nullptr;
    c_interp_int rect_left, rect_right, rect_top, rect_bottom; // the drawn rectangle
    int col = 0, row = 0;
    int hp = 0;
    int state = STATE_IDLE;
    c_unit* target = nullptr;
    int strikes_left = 0;
    int strike_timer = 0;
    int blocks_left = 0;
    int moves_left = 0;
    int phase = 0; // 0..1999: where the flag's bobbing starts
    // The unit's number in its battle: the order in which the unit manager took it (battle
    // records name units by it). -1 until then.
    int id = -1;

  protected:
    // For stand-ins that only draw (tests of the map): no type, tile or owner.
    c_unit() = default;
    // Moves the drawn rectangle there at once, without interpolating from where it was.
    void snap_rect(const RECT& r);
    void set_rect(const RECT& r);
    // The melee strike sequence (state 2) and the end of a move (state 1).
    void update_strike();
    void update_move();
    // The hit roll and, on a hit, the target's take_damage: the text key and colour of the outcome.
    void resolve_strike(const RECT& text_rect);
    // The attack is over: idle at home with the turn spent.
    void end_attack(const RECT& home);
    void mark_minimap() const;
    // Whether this unit's name label is shown this frame (names on, hovered tile, selection).
    bool shows_label() const;

  public:
    // Set by die: the unit is out of play and waits for the end of the update step.
    bool dying = false;
};

// A unit that shoots volleys of `combat` arrows at an enemy within its type's range.
class c_archer : public c_unit {
  public:
    c_archer(c_archertype* type, c_tile* tile, c_player* owner);

    void update() override;
    void draw_projectile() override;
    int classify(const c_tile* tile) const override;
    void act(c_tile* tile, int aim_x, int aim_y) override;
    void show_moves() override;
    void aim(c_tile* tile, int aim_x, int aim_y) override;

    // Where arrows leave from: the top-left of the unit's image plus the type's offsets.
    std::array<int, 2> start_point() const;

    c_archertype* archertype;
    c_tile* aim_tile = nullptr;
    float total = 0.0f; // length of the shot
    int target_x = 0, target_y = 0;
    c_interp_float x, y; // ground position of the arrow
    int start_x = 0, start_y = 0;
    c_interp_float height;
    float angle = 0.0f;  // direction of flight
    c_interp_float tilt; // drawn angle of the arrow

  private:
    void fire(c_tile* tile);
    void arrive();
    void end_volley();
    // Back at the start point, flat on the ground.
    void rest_arrow();
    // The drawn angle of the arrow with `d` of the shot still to fly.
    float arrow_tilt(float d) const;
};

// A unit that fires a ball along the line from its own tile toward the aim tile, hop by hop.
class c_cannon : public c_unit {
  public:
    c_cannon(c_cannontype* type, c_tile* tile, c_player* owner);

    void update() override;
    void draw_projectile() override;
    int classify(const c_tile* tile) const override;
    void act(c_tile* tile, int aim_x, int aim_y) override;
    void show_moves() override;
    // Its tile and the path a ball would take (ignoring the landing rolls) blink white, the aim
    // tile red.
    void aim(c_tile* tile, int aim_x, int aim_y) override;

    // Sets the flight line for a shot at `tile` aimed at (aim_x, aim_y) inside it (0 counts as 1).
    void set_line(c_tile* tile, int aim_x, int aim_y);
    // The next tile along the flight line from `from` toward aim_tile: aim_tile itself when it is a
    // neighbour, else the neighbour closer to it whose centre lies nearest to the line (earlier in
    // the order nw, ne, w, e, sw, se on a tie). Null when no neighbour comes closer.
    c_tile* next_tile(const c_tile* from) const;
    // Every tile a ball would touch down on from here to aim_tile if it never landed early.
    std::vector<c_tile*> predict_path() const;
    // Where balls leave from: the top-left of the unit's image plus the type's offsets.
    std::array<int, 2> start_point() const;

    c_cannontype* cannontype;
    c_tile* aim_tile = nullptr;
    int aim_x = 0, aim_y = 0;
    float slope = 0.0f, intercept = 0.0f;
    bool vertical = false;
    c_tile* hop_tile = nullptr;
    float hop_length = 0.0f;
    int hop_x = 0, hop_y = 0;
    c_interp_float x, y, height;
    float angle = 0.0f;
    c_interp_float rotation;
    int start_x = 0, start_y = 0;

  private:
    void fire(c_tile* tile, int aim_x, int aim_y);
    void choose_hop();
    void touch_down();
    void explode_on(c_tile* tile);
    void end_shot();
    float line_distance2(const c_tile* tile) const;
};

// ---- 5. the unit manager ------------------------------------------------------------------------------

// Owns the unit types and every unit of a battle; one exists while a battle runs (g_unitmanager).
class c_unitmanager : public c_reportable {
  public:
    // Loads the types from [units] of g_rules: "unit_name_format" (one integer conversion) names
    // the section of type i for i < "num_unittypes"; "special" "cannon" or "archer" (exactly)
    // picks the kind, anything else a melee type. Raises "Unable to load the unit types: ..." for a
    // name format that is not exactly one integer conversion.
    c_unitmanager();
    // Deletes every unit (each leaves its player and tile), then the types.
    ~c_unitmanager() override;
    c_unitmanager(const c_unitmanager&) = delete;
    c_unitmanager& operator=(const c_unitmanager&) = delete;

    // One fixed update step: every busy unit's update, then the dead are deleted and the units
    // that finished leave the busy list. Called once per update step by the battle screen.
    void update();
    // Takes ownership of a unit made by a type's create_unit and gives it the next id.
    void add_unit(c_unit* unit);
    // The unit with that id still in the battle (dying ones included), or null.
    c_unit* find_unit(int id) const;
    // The busy, done and dead lists: a unit is appended after leaving the list, so at most once.
    void add_busy(c_unit* unit);
    void finish_busy(c_unit* unit);
    void queue_dead(c_unit* unit);
    // A unit is in action: no orders may be given.
    bool is_busy() const { return !busy.empty(); }

    int get_num_unittypes() const { return num_unittypes; }
    // The type at `index`; raises "Index out of bounds." outside 0 .. num_unittypes - 1.
    c_unittype* get_unittype(int index) const;
    const std::vector<c_unit*>& get_all() const { return all; }
    const std::vector<c_unit*>& get_busy() const { return busy; }
    const std::vector<c_unit*>& get_dead() const { return dead; }
    const std::vector<c_unit*>& get_done() const { return done; }
    std::string get_details() const override;

  private:
    int num_unittypes = 0;
    int next_id_ = 0;
    std::vector<std::unique_ptr<c_unittype>> unittypes;
    std::vector<c_unit*> all; // owning
    std::vector<c_unit*> dead, busy, done;
};

extern c_unitmanager* g_unitmanager;

// ---- 6. result texts --------------------------------------------------------------------------------------

// A word ("hit", "block", ...) that rises from a unit and fades; lives in g_overlays.
class c_resulttext : public c_effect {
  public:
    // Starts at the top edge of the rectangle (map pixels) with alpha 255, in the main font.
    c_resulttext(const std::string& text, D3DCOLOR colour, const RECT& rect);

    // Lays the text out for this frame at the interpolated position and alpha and draws it.
    void draw() override;
    // Rises 2 pixels and fades ever faster; false after 255 updates or once the alpha is gone.
    bool update() override;

    std::string text;
    D3DCOLOR colour;
    float rotation = 0.0f;
    float scale_x = 1.0f, scale_y = 1.0f;
    int flags = 9;
    int lifetime = 255;
    c_interp_float left, right, top, bottom;
    c_interp_float alpha;
    std::array<float, 3> velocity{0.0f, -2.0f, 0.0f};     // x, y, alpha
    std::array<float, 3> acceleration{0.0f, 0.0f, -0.2f}; // x, y, alpha
    std::array<float, 3> friction{1.0f, 1.0f, 1.0f};
};
