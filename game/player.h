// The sides of a battle and the turn order. A player is a colour, a name, a team, the units it
// owns (not owned by it: the unit manager owns units) and its selection; the human player turns
// the mouse and keyboard into orders for the selected unit; the player manager keeps the players
// in turn order, passes the turn and draws the per-unit flag and the selection marker.
#pragma once
#include <list>
#include <string>
#include <vector>

#include "framework/err.h"
#include "platform/d3d9.h"

class c_font;
class c_gfx;
class c_image;
class c_playermanager;
class c_tile;
class c_unit;

class c_player : public c_reportable {
  public:
    // A player without units, selection or ready units. It takes part in a battle once the
    // player manager has it (add_player).
    c_player(D3DCOLOR color, const std::string& name, int team);
    ~c_player() override = default;
    c_player(const c_player&) = delete;
    c_player& operator=(const c_player&) = delete;

    // Turns this frame's input into orders. Called once per frame for the current player only,
    // before the update steps, with the tile under the mouse (null: none), whether the
    // battlefield was clicked this frame, and the mouse offset inside that tile (map pixels).
    virtual void handle_input(c_tile* cursor_tile, bool clicked, int aim_x, int aim_y) = 0;
    // Queues the selection marker over the selected unit's drawn rectangle (nothing without one).
    virtual void draw_selection();
    // Draws this player's mark into the minimap: an untextured quad at depth 0.2 in its colour,
    // map pixels. Only while the minimap is the render target.
    virtual void draw_minimap_marker(int left, int top, int right, int bottom);
    // A unit joins this player (at creation). A unit that can act counts as ready; the first unit
    // makes the player count as alive in its manager.
    virtual void add_unit(c_unit* unit);
    // A unit leaves (it is being destroyed). Clears the selection when it was the selected one;
    // the last unit makes the player leave the manager's alive count.
    virtual void remove_unit(c_unit* unit);
    // A unit has spent its moves this turn.
    virtual void unit_done();
    // Selects the next unit that can act after the selected one, in unit order, wrapping; shows
    // it (gameplay_show_rect). Nothing when no unit is ready.
    virtual void select_next();
    // Refills every unit's moves and counts the ready units; a player without a ready unit
    // passes the turn on at once (through its manager).
    virtual void start_turn();
    // Ends every unit's turn; nothing stays selected or ready.
    virtual void end_turn();

    virtual c_unit* get_selected() const { return selected; }
    virtual D3DCOLOR get_color() const { return color; }
    virtual std::string get_name() const { return name; }
    virtual int get_team() const { return team; }
    virtual int get_num_ready() const { return num_ready; }
    virtual int get_num_units() const { return num_units; }
    // Only for the units' select and deselect: the player's own operations keep `selected`
    // consistent with the unit list otherwise.
    virtual void set_selected(c_unit* unit) { selected = unit; }

    // The units in the order they joined.
    const std::list<c_unit*>& get_units() const { return units; }
    // The manager that holds this player (null until add_player).
    c_playermanager* get_manager() const { return manager; }
    std::string get_details() const override;

  protected:
    friend class c_playermanager;

    D3DCOLOR color;
    std::string name;
    int team; // 0: no team; equal non-zero teams are allies
    std::list<c_unit*> units;
    int num_units = 0;
    c_unit* selected = nullptr;
    int num_ready = 0;
    c_playermanager* manager = nullptr;
};

// A player at this machine: mouse and keyboard orders.
class c_humanplayer : public c_player {
  public:
    using c_player::c_player;

    // Orders, none while a unit is in action (the unit manager is busy) except Ctrl + X:
    // - keypad 7 9 4 6 1 3: the selected unit acts on its nw, ne, w, e, sw, se neighbour;
    //   keypad 5 makes its options blink; X destroys it; Ctrl + X destroys every unit of ours;
    // - a click on one of our ready units selects it (on the selected one: its options blink);
    // - with a ready unit selected, the hovered tile's classification picks the cursor
    //   (g_cursor_choice) and a click carries the order out; a click on nothing deselects.
    // Reads the keyboard from g_kb_state; an order acts in the frame its key goes down (against
    // g_kb_previous), so a held key gives one order.
    void handle_input(c_tile* cursor_tile, bool clicked, int aim_x, int aim_y) override;

  private:
    bool handle_keys(int aim_x, int aim_y);
    void handle_tile(c_tile* cursor_tile, bool clicked, int aim_x, int aim_y);
    void give_up();
};

class c_playermanager : public c_reportable {
  public:
    // Reads "flag_image" and "selected_image" of [units] in g_rules and loads both pictures
    // through the image registry of `gfx` (g_gfx when null). The font of the flag digits is
    // `font` (g_font when null; no digits are drawn when there is none).
    explicit c_playermanager(c_gfx* gfx = nullptr, c_font* font = nullptr);
    // Deletes the players and lets go of the pictures. Units must be gone first.
    ~c_playermanager() override;
    c_playermanager(const c_playermanager&) = delete;
    c_playermanager& operator=(const c_playermanager&) = delete;

    // Takes ownership; the turn order is the order of adding.
    void add_player(c_player* player);
    // Raises "Index too large." at or past the number of players (and for a negative index).
    c_player* get_player_index(int index) const;
    int get_num_players() const { return static_cast<int>(players.size()); }
    // The player whose turn it is; null before the first turn.
    c_player* get_current_player() const;
    int get_current() const { return current; }

    // Ends the current player's turn and starts the next one's (wrapping), announcing it with
    // show_banner; the first call starts the first player's turn. Players without a ready unit
    // are skipped. Nothing happens without players or when no player owns a unit.
    void next_player();
    // Players that own at least one unit; kept by the players' add_unit and remove_unit.
    int get_num_alive() const { return num_alive; }
    // Turns started so far in this battle (a turn passed over a player without a ready unit
    // counts once, for the player who got it).
    int get_turns() const { return turns_; }
    void player_alive() { ++num_alive; }
    void player_gone() { --num_alive; }

    // Queues a unit's flag with its top-left at (x, y) client pixels: the pennant in `color`
    // (alpha 0x7F when half transparent), the digit `number` ('!' from 10) and a health bar of
    // `fraction` (green when full, yellow from half, red below). Depth 0.2 - d per quad.
    void draw_flag(int x, int y, D3DCOLOR color, int number, float fraction, bool half_transparent);
    // Queues the selection picture over a map-pixel rectangle shifted by the view origin.
    void draw_selection_marker(int left, int top, int right, int bottom);

    c_image* get_flag_image() const { return flag_image; }
    c_image* get_selected_image() const { return selected_image; }
    std::string get_details() const override;

  private:
    c_gfx* gfx_;
    c_font* font_;
    std::vector<c_player*> players;
    int current = -1;
    int num_alive = 0;
    c_image* flag_image = nullptr;
    c_image* selected_image = nullptr;
    // next_player re-enters through start_turn when a player has no ready unit; this bounds the
    // skipping to one round, so a battle in which no unit can act does not recurse forever.
    int skip_depth_ = 0;
    int turns_ = 0;
};

extern c_playermanager* g_playermanager;

// Flag text colour on a flag of `color`: dark grey on light (red and green above 200) flags,
// white otherwise.
D3DCOLOR flag_text_color(D3DCOLOR color);
// Health bar colour for a fraction of full health.
D3DCOLOR health_bar_color(float fraction);
