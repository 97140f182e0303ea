// The hex map.
//
// Index: 1. tile types; 2. tiles and blinking; 3. construction; 4. lookups and neighbours;
// 5. picking; 6. drawing; 7. minimap.
#include "game/battle/hexmap.h"

#include <algorithm>
#include <cstdio>

#include "framework/core.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/gameplay.h"
#include "game/battle/unit.h"
#include "platform/crt.h"
#include "platform/d3dx9.h"

c_map* g_map = nullptr;

namespace {
// The mousemap's colours: which neighbour of the cell a point of its rectangle belongs to.
constexpr D3DCOLOR pick_self = 0xFFFFFFFF, pick_nw = 0xFFFF0000, pick_ne = 0xFFFF00FF, pick_sw = 0xFF00FF00,
                   pick_se = 0xFF0000FF;

// Takes the next map depth: later pictures lie in front of earlier ones, so lower rows cover
// the overlap of the rows above.
float next_depth(c_gfx* gfx, float base) {
    float d = gfx->depth;
    gfx->depth += gfx->depth_step;
    return base - d;
}

// Division and remainder rounded down, for points left of the shifted even rows.
int floor_div(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
int floor_mod(int a, int b) {
    return a - floor_div(a, b) * b;
}

// Sets an interpolated value so that it is also shown at once, not blended from the old one.
void set_now(c_interp_int& track, int v) {
    track.set(v);
    track.prev_value = v;
}
} // namespace

// ---- 1. tile types ------------------------------------------------------------------------------

c_tiletype::c_tiletype(c_gfx* gfx, const std::string& section) : gfx_(gfx), section_(section) {
    g_rules->set_section(section);
    color = g_rules->get_color("color");
    minimap_color = g_rules->get_color("minimap_color");
    moveable = g_rules->get_bool("moveable");
    splooshable = g_rules->get_bool("splooshable");
    image = gfx->get_image(g_rules->get_raw("image"), 0.6f);
}

c_tiletype::~c_tiletype() {
    image->release();
}

void c_tiletype::draw(int left, int top, int right, int bottom, bool half_transparent) const {
    D3DCOLOR c = half_transparent ? (color & 0x00FFFFFF) | 0x7F000000 : color;
    gfx_->add_quad_tra(left, top, right, bottom, next_depth(gfx_, 0.6f), 0.0f, image, 0, 1, 0, 1, c);
}

std::string c_tiletype::get_details() const {
    return c_reportable::get_details() + format_string("TILE TYPE: [%s]\n", section_.c_str());
}

// ---- 2. tiles and blinking ----------------------------------------------------------------------

c_tile::c_tile(c_map* map, c_tiletype* type, int col, int row, int left, int top, int right, int bottom,
               bool corner)
    : type(type), left(left), top(top), right(right), bottom(bottom), col(col), row(row), corner(corner),
      map_(map) {}

void c_tile::blink(D3DCOLOR colour) {
    if (blink_step > 0 && blink_color == colour) return;
    // A fading blink of the same colour turns round where it is; anything else starts afresh.
    if (!(blink_color == colour && blink_alpha.value > 0)) set_now(blink_alpha, 100);
    blink_color = colour;
    blink_step = 25;
    map_->move_to_blinking_end(this);
}

void c_tile::draw(int sx, int sy) const {
    int l = left - sx, t = top - sy, r = right - sx, b = bottom - sy;
    type->draw(l, t, r, b, corner);
    // An interpolated read may overshoot between steps; the colour byte must not wrap.
    int alpha = std::clamp(blink_alpha.get(), 0, 255);
    if (alpha <= 0) return;
    c_gfx* gfx = map_->get_gfx();
    D3DCOLOR c = ((static_cast<D3DCOLOR>(alpha) << 24) | 0xFFFFFF) & blink_color;
    gfx->add_quad_tra(l, t, r, b, next_depth(gfx, 0.4f), 0.0f, map_->get_blink_image(), 0, 1, 0, 1, c);
}

std::string c_tile::get_details() const {
    return c_reportable::get_details() + format_string("TILE: col %d, row %d\n", col, row);
}

void c_map::move_to_blinking_end(c_tile* tile) {
    std::erase(blinking_, tile);
    blinking_.push_back(tile);
}

void c_map::update_blinks() {
    for (c_tile* tile : blinking_) {
        if (tile->blink_alpha.value <= 0) {
            std::erase(blink_done_, tile);
            blink_done_.push_back(tile);
            continue;
        }
        int alpha = tile->blink_alpha.value + tile->blink_step;
        tile->blink_alpha.set(alpha);
        if (alpha > 255) {
            set_now(tile->blink_alpha, 255);
            tile->blink_step = -tile->blink_step;
        }
    }
    for (c_tile* tile : blink_done_)
        std::erase(blinking_, tile);
    blink_done_.clear();
}

// ---- 3. construction ----------------------------------------------------------------------------

c_map::c_map(int cols, int rows, bool random_types, c_gfx* gfx)
    : gfx_(gfx ? gfx : g_gfx), cols_(cols), rows_(rows) {
    if (cols < 1 || rows < 1)
        HV_RAISE("Unable to create the map: it needs at least one column and one row.", "c_map::c_map", 0,
                 this);
    try {
        g_rules->set_section("tiles");
        read_geometry();
        std::string name_format = g_rules->get_raw("tiles", "tile_name_format");
        if (!is_single_int_format(name_format))
            HV_RAISE("Unable to create the map: tile_name_format must hold exactly one integer conversion.",
                     "c_map::c_map", 0, this);
        load_mousemap(g_rules->get_raw("tiles", "mousemap"));
        blink_image_ = gfx_->get_image(g_rules->get_raw("tiles", "blink_texture"), 0.4f);
        load_tiletypes(name_format);
        make_tiles(random_types);
    } catch (...) {
        // Nothing that was made may outlive a failed map: the images belong to the registry.
        tiletypes_.clear();
        if (blink_image_) blink_image_->release();
        if (mousemap_) mousemap_->Release();
        throw;
    }
}

c_map::~c_map() {
    tiletypes_.clear();
    blink_image_->release();
    mousemap_->Release();
}

void c_map::read_geometry() {
    int num_tiletypes = g_rules->get_int("num_tiletypes");
    tile_width_ = g_rules->get_int("tile_width");
    tile_height_ = g_rules->get_int("tile_height");
    placement_yoffset_ = g_rules->get_int("placement_yoffset");
    // Every lookup divides by the tile width and the row step; the loader would also take a
    // size of 0 as "the file's size" and hide the mistake. Sizes beyond a screen would only
    // overflow the map's pixel coordinates.
    // Each type loads its pictures: a count of millions would keep the loading going for hours.
    if (num_tiletypes < 1 || num_tiletypes > 256)
        HV_RAISE("Unable to create the map: num_tiletypes must lie between 1 and 256.", "c_map::c_map", 0,
                 this);
    if (tile_width_ < 1 || tile_height_ < 1 || tile_width_ > 4096 || tile_height_ > 4096)
        HV_RAISE("Unable to create the map: tile_width and tile_height must lie between 1 and 4096.",
                 "c_map::c_map", 0, this);
    if (get_step() < 1)
        HV_RAISE("Unable to create the map: placement_yoffset must be below tile_height.", "c_map::c_map", 0,
                 this);
    num_tiletypes_ = num_tiletypes;
}

void c_map::load_mousemap(const std::string& file_name) {
    // Picking reads it on the CPU only: a scratch texture is never touched by the device.
    HRESULT hr =
        D3DXCreateTextureFromFileExA(gfx_->get_device(), file_name.c_str(), static_cast<UINT>(tile_width_),
                                     static_cast<UINT>(tile_height_), 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &mousemap_);
    if (FAILED(hr) || !mousemap_) {
        mousemap_ = nullptr;
        HV_RAISE("Unable to create mousemap.", "c_map::c_map", hr, this);
    }
}

void c_map::load_tiletypes(const std::string& name_format) {
    for (int i = 0; i < num_tiletypes_; ++i) {
        std::string section = format_string(name_format.c_str(), i);
        tiletypes_.push_back(std::make_unique<c_tiletype>(gfx_, section));
    }
}

void c_map::make_tiles(bool random_types) {
    const int step = get_step(), num_types = get_num_tiletypes();
    tiles_.reserve(static_cast<size_t>(cols_) * static_cast<size_t>(rows_));
    for (int row = 0; row < rows_; ++row) {
        int shift = row % 2 == 0 ? tile_width_ / 2 : 0;
        for (int col = 0; col < cols_; ++col) {
            int type = random_types ? crt::rand() % num_types : 0;
            // The two left columns of the bottom four rows: where the screen's corner widgets sit.
            bool corner = col <= 1 && row >= rows_ - 4 && cols_ >= 5 && rows_ >= 6;
            tiles_.emplace_back(this, tiletypes_[static_cast<size_t>(type)].get(), col, row,
                                col * tile_width_ + shift, row * step, (col + 1) * tile_width_ + shift,
                                (row + 1) * step + placement_yoffset_, corner);
        }
    }
}

std::string c_map::get_details() const {
    return c_reportable::get_details() +
           format_string("MAP: %d x %d tiles of %d x %d, row overlap %d, %d tile types\n", cols_, rows_,
                         tile_width_, tile_height_, placement_yoffset_, get_num_tiletypes());
}

// ---- 4. lookups and neighbours ------------------------------------------------------------------

c_tile* c_map::get_tile(int col, int row) const {
    if (col < 0 || col >= cols_ || row < 0 || row >= rows_) return nullptr;
    return const_cast<c_tile*>(&tiles_[static_cast<size_t>(row) * cols_ + col]);
}

c_tile* c_map::get_neighbour(int col, int row, hex_direction d) const {
    const hex_pos n = hex_neighbour({col, row}, d);
    return get_tile(n.col, n.row);
}

// ---- 5. picking ---------------------------------------------------------------------------------

c_tile* c_map::get_tile_cursor() const {
    return pick(g_mouse_x + scroll_ix, g_mouse_y + scroll_iy);
}

c_tile* c_map::pick(int x, int y) const {
    if (x < 0 || y < 0) return nullptr;
    const int step = get_step();
    int row = y / step, ry = y % step;
    int col, rx;
    if (row % 2 == 0) {
        int v = x - tile_width_ / 2;
        col = floor_div(v, tile_width_);
        rx = floor_mod(v, tile_width_);
    } else {
        col = x / tile_width_;
        rx = x % tile_width_;
    }
    switch (read_mousemap(rx, ry)) {
    case pick_self:
        return get_tile(col, row);
    case pick_nw:
        return get_neighbour_nw(col, row);
    case pick_ne:
        return get_neighbour_ne(col, row);
    case pick_sw:
        return get_neighbour_sw(col, row);
    case pick_se:
        return get_neighbour_se(col, row);
    default:
        return nullptr;
    }
}

D3DCOLOR c_map::read_mousemap(int x, int y) const {
    D3DLOCKED_RECT locked{};
    HRESULT hr = mousemap_->LockRect(0, &locked, nullptr, 0);
    if (FAILED(hr)) HV_RAISE("Unable to lock the mousemap.", "c_map::get_tile_cursor", hr, this);
    const BYTE* line = static_cast<const BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
    D3DCOLOR pixel = reinterpret_cast<const D3DCOLOR*>(line)[x];
    mousemap_->UnlockRect(0);
    return pixel;
}

// ---- 6. drawing ---------------------------------------------------------------------------------

tile_span c_map::view_rows(int sy, int height) const {
    const int step = get_step();
    // One row above the row at the view's top edge also reaches into the view; with an overlap
    // of more than a row step, rows further up do as well.
    int first = std::min(sy / step - 1, floor_div(sy - placement_yoffset_, step));
    return {std::max(0, first), std::min(rows_ - 1, (placement_yoffset_ + sy + height) / step + 1)};
}

tile_span c_map::view_cols(int row, int sx, int width) const {
    if (row % 2 == 0)
        return clamp_cols((sx - tile_width_ / 2) / tile_width_, (width + sx - tile_width_ / 2) / tile_width_);
    return clamp_cols(sx / tile_width_, (sx + width) / tile_width_);
}

tile_span c_map::clamp_cols(int first, int last) const {
    return {std::max(0, first), std::min(cols_ - 1, last)};
}

void c_map::draw() const {
    int width = 0, height = 0;
    g_core->get_client_size(width, height);
    draw(width, height);
}

void c_map::draw(int width, int height) const {
    const int sx = scroll_ix, sy = scroll_iy;
    tile_span rows = view_rows(sy, height);
    for (int row = rows.first; row <= rows.last; ++row)
        draw_row(row, sx, sy, width);
    if (active_unit) active_unit->draw_projectile();
}

void c_map::draw_row(int row, int sx, int sy, int width) const {
    tile_span cols = view_cols(row, sx, width);
    for (int col = cols.first; col <= cols.last; ++col) {
        const c_tile& tile = tiles_[static_cast<size_t>(row) * cols_ + col];
        if (tile.unit) tile.unit->draw();
        tile.draw(sx, sy);
    }
}

// ---- 7. minimap ---------------------------------------------------------------------------------

void c_map::draw_minimap(int left, int top, int right, int bottom) const {
    const int step = get_step(), half = tile_width_ / 2;
    int first_row = std::max(0, std::min(top / step - 1, floor_div(top - placement_yoffset_, step)));
    int last_row = std::min(rows_ - 1, (bottom + placement_yoffset_) / step);
    for (int row = first_row; row <= last_row; ++row) {
        tile_span cols = row % 2 == 0
                             ? clamp_cols((left - half) / tile_width_ - 1, (right - half) / tile_width_)
                             : clamp_cols(left / tile_width_ - 1, right / tile_width_);
        for (int col = cols.first; col <= cols.last; ++col) {
            const c_tile& tile = tiles_[static_cast<size_t>(row) * cols_ + col];
            if (tile.unit) tile.unit->draw_minimap();
            gfx_->draw_quad_unt(tile.left, tile.top, tile.right, tile.bottom, 0.6f, 0.0f, nullptr, 0, 1, 0, 1,
                                tile.type->minimap_color);
        }
    }
}
