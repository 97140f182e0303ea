// The battlefield: a grid of hex tiles laid out as offset rows, read from rules.ini.
//
// Geometry: every tile has a tile_width x tile_height rectangle; rows lie
// step = tile_height - placement_yoffset pixels apart, so consecutive rows overlap by
// placement_yoffset pixels, and even rows are shifted half a tile to the right. Map pixels
// start at the left of the odd rows and the top of row 0.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "framework/err.h"
#include "framework/interpolator.h"
#include "game/battle/hex.h"
#include "platform/d3d9.h"

class c_gfx;
class c_image;
class c_map;
class c_unit;

// One kind of terrain: its picture and whether units may enter it.
class c_tiletype : public c_reportable {
  public:
    // Reads the rules.ini section `section`; missing keys give 0, "" and false. Raises
    // "Unable to create texture." when the picture does not load.
    c_tiletype(c_gfx* gfx, const std::string& section);
    ~c_tiletype() override;
    c_tiletype(const c_tiletype&) = delete;
    c_tiletype& operator=(const c_tiletype&) = delete;

    // Queues the picture over a rectangle in client pixels, half transparent on request.
    void draw(int left, int top, int right, int bottom, bool half_transparent) const;
    std::string get_details() const override;

    c_image* image;
    D3DCOLOR color;
    D3DCOLOR minimap_color;
    bool moveable;
    bool splooshable;

  private:
    c_gfx* gfx_;
    std::string section_;
};

// One cell of the grid.
class c_tile : public c_reportable {
  public:
    c_tile(c_map* map, c_tiletype* type, int col, int row, int left, int top, int right, int bottom,
           bool corner);

    // Starts or refreshes the tile's blink in `colour`: a tile already rising in that colour
    // goes on unchanged; one fading in it turns to rise again from where it is; otherwise the
    // blink restarts at alpha 100. Call in update steps (the alpha is an interpolated track).
    void blink(D3DCOLOR colour);
    // Queues the tile (and its blink overlay) shifted by the view origin (sx, sy).
    void draw(int sx, int sy) const;
    std::string get_details() const override;

    c_tiletype* type;
    int left, top, right, bottom; // map pixels
    int col, row;
    c_unit* unit = nullptr; // not owned; set and cleared by the units
    c_interp_int blink_alpha;
    D3DCOLOR blink_color = 0;
    int blink_step = 0;
    bool corner; // half transparent, never entered

  private:
    c_map* map_;
};

// Rows or columns from first to last, both included; empty when last < first.
struct tile_span {
    int first, last;
    bool operator==(const tile_span&) const = default;
};

class c_map : public c_reportable {
  public:
    // Builds a map of cols x rows tiles from the [tiles] section of g_rules, with its pictures
    // from `gfx` (g_gfx when null). Tile types are drawn with crt::rand when random_types is
    // set, else every tile is of type 0. Raises "Unable to create mousemap." when the picking
    // image does not load, and an "Unable to create the map: ..." report for data that gives no
    // usable geometry (no tile types, a zero tile size or row step, a name format that is not
    // exactly one integer conversion) or for fewer than one column or row.
    c_map(int cols, int rows, bool random_types, c_gfx* gfx = nullptr);
    ~c_map() override;
    c_map(const c_map&) = delete;
    c_map& operator=(const c_map&) = delete;

    // The tile at (col, row), or null off the map.
    c_tile* get_tile(int col, int row) const;
    // The neighbour of (col, row) in a direction (hex_neighbour), or null off the map; (col, row)
    // itself may lie off it. The six named lookups are the same for one direction each.
    c_tile* get_neighbour(int col, int row, hex_direction d) const;
    c_tile* get_neighbour_nw(int col, int row) const { return get_neighbour(col, row, HEX_NW); }
    c_tile* get_neighbour_ne(int col, int row) const { return get_neighbour(col, row, HEX_NE); }
    c_tile* get_neighbour_w(int col, int row) const { return get_neighbour(col, row, HEX_W); }
    c_tile* get_neighbour_e(int col, int row) const { return get_neighbour(col, row, HEX_E); }
    c_tile* get_neighbour_sw(int col, int row) const { return get_neighbour(col, row, HEX_SW); }
    c_tile* get_neighbour_se(int col, int row) const { return get_neighbour(col, row, HEX_SE); }

    // The tile under the mouse (g_mouse_x/y plus the view origin), or null. Reads one pixel of
    // the picking image; raises "Unable to lock the mousemap." when it cannot be read.
    c_tile* get_tile_cursor() const;
    // The tile under a map pixel, or null: the picking behind get_tile_cursor.
    c_tile* pick(int x, int y) const;

    // Queues the tiles that intersect the view (the core's client area at the view origin):
    // units first, then the tile, then its blink overlay; then the active unit's projectile.
    // Queued pictures are drawn by the next flush of c_gfx.
    void draw() const;
    // The same for a view of width x height client pixels.
    void draw(int width, int height) const;
    // Draws the tiles that intersect a map-pixel rectangle as plain quads in their minimap
    // colours at once (not batched), units' marks first. For the minimap's render target.
    void draw_minimap(int left, int top, int right, int bottom) const;

    // The rows, and the columns of one row, that a view of width x height at the view origin
    // (sx, sy) may show. Clamped to the map.
    tile_span view_rows(int sy, int height) const;
    tile_span view_cols(int row, int sx, int width) const;

    // One fixed update step of every blinking tile. Call once per update step.
    void update_blinks();
    // The tiles that blink now, in the order they started; for the tiles' own use.
    const std::vector<c_tile*>& get_blinking() const { return blinking_; }
    void move_to_blinking_end(c_tile* tile);

    int get_cols() const { return cols_; }
    int get_rows() const { return rows_; }
    int get_tile_width() const { return tile_width_; }
    int get_tile_height() const { return tile_height_; }
    int get_placement_yoffset() const { return placement_yoffset_; }
    // Distance between the tops of consecutive rows.
    int get_step() const { return tile_height_ - placement_yoffset_; }
    int get_num_tiletypes() const { return static_cast<int>(tiletypes_.size()); }
    c_tiletype* get_tiletype(int i) const { return tiletypes_.at(static_cast<size_t>(i)).get(); }
    c_image* get_blink_image() const { return blink_image_; }
    c_gfx* get_gfx() const { return gfx_; }
    std::string get_details() const override;

    // The unit whose projectile is in flight, drawn after every tile; null when none.
    c_unit* active_unit = nullptr;

  private:
    void read_geometry();
    void load_mousemap(const std::string& file_name);
    void load_tiletypes(const std::string& name_format);
    void make_tiles(bool random_types);
    D3DCOLOR read_mousemap(int x, int y) const;
    void draw_row(int row, int sx, int sy, int width) const;
    tile_span clamp_cols(int first, int last) const;

    c_gfx* gfx_;
    IDirect3DTexture9* mousemap_ = nullptr;
    int num_tiletypes_ = 0; // as read; tiletypes_ grows to it while the types load
    std::vector<std::unique_ptr<c_tiletype>> tiletypes_;
    int tile_width_ = 0, tile_height_ = 0, placement_yoffset_ = 0;
    int cols_, rows_;
    std::vector<c_tile> tiles_; // row-major: index = row * cols + col
    c_image* blink_image_ = nullptr;
    std::vector<c_tile*> blinking_;
    std::vector<c_tile*> blink_done_;
};

extern c_map* g_map;
