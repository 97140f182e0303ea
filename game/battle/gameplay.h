// The battle screen's globals that the world reads: where the view looks, where the mouse is,
// the particle picture and the two effect lists. The battle screen owns and writes them; the
// map, the units and the effects only read the view and the mouse, and spawn into the lists.
//
// Index: 1. the view; 2. effects; 3. battle globals (input, cursor, settings, minimap, rules of the
// battle); 4. the screen the view shows; 5. scrolling; 6. the banner; 7. set-up and release.
#pragma once
#include <list>
#include <string>
#include <vector>

#include "framework/err.h"
#include "framework/interpolator.h"
#include "platform/d3d9.h"

class c_font;
class c_image;
class c_tile;

// ---- 1. the view
// The view origin in map pixels (the map point shown at the top-left of the client area). The
// scrolling keeps the exact position in scroll_x / scroll_y and truncates it once per frame into
// scroll_ix / scroll_iy (truncate_scroll); all drawing and hit testing read the int copies, so
// every picture of a frame agrees on one whole-pixel offset.
extern double scroll_x, scroll_y;
extern int scroll_ix, scroll_iy;
// Copies the view origin into the int copies, truncating toward zero. Call once per frame after
// the view has moved, before anything is drawn or picked.
void truncate_scroll();

// The mouse in client pixels as read at the start of the frame.
extern int g_mouse_x, g_mouse_y;

// ---- 2. effects
// A short-lived picture of the battle (a particle, a floating text). Lists of effects own their
// elements: an element leaves its list through release().
class c_effect : public c_reportable {
  public:
    // Queues the effect's pictures; called once per frame while the interpolator is drawing.
    virtual void draw() = 0;
    // One fixed update step; answers false when the effect is over.
    virtual bool update() = 0;
    // Gives the effect up once it has left its list. By default it is deleted; pooled effects
    // go back to their pool.
    virtual void release() { delete this; }
};

// Drawn over the map, g_effects first. Both are emptied when a battle ends (clear_effects).
extern std::vector<c_effect*> g_effects;
extern std::vector<c_effect*> g_overlays;

// One update step of every element, in list order; those that answer false are removed and
// released. The order of the survivors is kept and nothing is allocated.
void update_effects(std::vector<c_effect*>& list);
void draw_effects(const std::vector<c_effect*>& list);
// Releases every element and empties the list (its capacity is kept for the next battle).
void clear_effects(std::vector<c_effect*>& list);

// The picture every explosion particle shows; made by the battle set-up, null outside a battle.
extern c_image* g_particle_image;

// ---- 3. battle globals
// The keyboard as read at the start of the frame: 256 bytes by DirectInput scan code, a key is
// down when bit 7 of its byte is set. Written by the battle screen, read by the human player's
// orders and by the scrolling.
extern BYTE g_kb_state[256];
inline bool key_down(int scan_code) {
    return (g_kb_state[scan_code & 0xFF] & 0x80) != 0;
}
// The keyboard of the frame before (kept by the frame's input reading). Orders act when their key
// goes down, not while it is held: a key held over several frames gives one order, and a held
// key does not carry over into the next player's turn.
extern BYTE g_kb_previous[256];
inline bool key_pressed(int scan_code) {
    return key_down(scan_code) && (g_kb_previous[scan_code & 0xFF] & 0x80) == 0;
}

// The cursor for this frame (a cursor_index of framework/cursor_index.h); the human player's
// orders and the scrolling choose it, the battle screen sets it.
extern int g_cursor_choice;
// The map tile under the mouse this frame, or null.
extern c_tile* g_hovered_tile;

// Minimap: map-pixel rectangles whose minimap texels must be redrawn (whoever changes what the
// minimap shows appends; the refresh empties it), and the render target and depth surface the
// minimap is drawn into (128 x 128, default pool: released before a device reset).
extern std::list<RECT> g_minimap_dirty;
extern IDirect3DTexture9* g_minimap_texture;
extern IDirect3DSurface9* g_minimap_depth;
constexpr int minimap_size = 128;
// Creates both minimap surfaces on `device`. Raises "Unable to create the minimap texture." or
// "Umable to create minimap depth buffer." (named after `function`); nothing is left made then.
void create_minimap_surfaces(IDirect3DDevice9* device, const char* function);
// Releases both (either may be missing) and sets them to null.
void release_minimap_surfaces();

// The player's battle settings ([misc] of settings.ini, changed on the options screen): a
// selected unit's possible moves blink, and units show their type's name under them. Read at
// start-up and written back at a normal end by the main routine.
extern bool g_show_moves;
extern bool g_show_names;

// Scroll speeds in map pixels per update step: scroll_speed (settings.ini) x hscroll_ratio and
// x vscroll_ratio (rules.ini), truncated. Read by gameplay_load_static.
extern int g_hscroll_speed, g_vscroll_speed;

// ---- 4. the screen the view shows
struct screen_info {
    int width = 1024, height = 768;
    bool windowed = true;
};
// The core's client size and display mode; without a core (tools, tests) g_headless_screen.
screen_info get_screen();
extern screen_info g_headless_screen;

// The map's size in pixels (0 x 0 without a map): tile_width x cols + tile_width / 2 across,
// row step x rows + placement_yoffset down.
int map_pixel_width();
int map_pixel_height();

// ---- 5. scrolling
// One frame of view movement: the arrow keys, the screen edges (full screen only; they set the
// scroll cursors in g_cursor_choice), a press on the minimap (its content rectangle and the
// click flag it reports) centring the view there, then the clamps to the map, small maps kept
// centred, and the int copies truncated. `factor` scales the speeds to the frame time in update
// steps. Call once per frame before drawing.
void gameplay_scroll(const RECT& minimap_rect, bool minimap_clicked, float factor);
void gameplay_scroll(const RECT& minimap_rect, bool minimap_clicked, float factor, const screen_info& screen);
// Centres the view on a map-pixel rectangle unless it lies wholly inside the view shrunk by half
// a tile on every side that is not on the map's edge. Sets both copies at once; the next
// gameplay_scroll clamps. Called by moving units and flying projectiles in update steps.
void gameplay_show_rect(int left, int top, int right, int bottom);
void gameplay_show_rect(int left, int top, int right, int bottom, const screen_info& screen);
// The view origin at which a battle screen starts: small maps centred, else the top-left.
void gameplay_initial_view(const screen_info& screen);

// ---- 6. the banner
// Shows a text in a colour over the battlefield, opaque at first and fading out as
// update_banner lowers it. Replaces any banner shown before.
void show_banner(const std::string& text, D3DCOLOR color);
// One update step of the banner: its fade value falls by 35 while it is above 0.
void update_banner();
// Draws the banner at once (centred on one line over the screen, in `font`, g_font when null)
// while its interpolated fade value is above 0. Call in the drawing pass, after the widgets.
void draw_banner(c_font* font = nullptr);
void draw_banner(c_font* font, const screen_info& screen);
struct banner_state {
    std::string text;
    D3DCOLOR color = 0;
    c_interp_int fade;
};
extern banner_state g_banner;

// ---- 7. set-up and release
// Reads what every battle needs (scroll speeds, and the units' settings: flag flight,
// result-text colours, walking speeds), makes the minimap surfaces, the player manager, the
// unit manager and the particle picture, and empties the effect lists. Before
// gameplay_new_game. Raises on failed device calls ("Unable to create the minimap texture.",
// "Unable to create texture.", ...) and on a ready-units label that is no integer format.
void gameplay_load_static();
// A random battle: a map of 10..32 x 10..32 tiles, the three built-in players, units on a
// quarter of the enterable tiles, then the first turn (its banner). After gameplay_load_static.
void gameplay_new_game();
// Releases everything the two above made, in reverse; safe on a partly made battle.
void gameplay_unload_static();
// The name of the player gameplay_new_game seats at `index` (0..2; "" outside them), for screens
// that name the seats before a battle is made.
std::string builtin_player_name(int index);
// The ready-units button's label for a count: the string-table entry "aub" of [gameplay]
// formatted with it ("" when the entry is missing). A format that is not exactly one integer
// conversion raises "Unable to show the ready units: ..." (gameplay_load_static checks it up front).
std::string ready_units_label(int count);
