// Scaled atlases: a font's glyphs rasterised again, antialiased, at the size text drawn with a
// scale above 1 shows them, so that the banner's eight-fold letters have smooth edges instead of
// magnified texels. The quads of such text do not change; only their texture does.
//
// Index: 1. the atlas; 2. finding one, and which glyphs it must hold; 3. the font at the
// atlas's size; 4. packing cells; 5. painting and converting; 6. linear filtering.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "framework/font.h"

namespace {

template <class T> struct com_releaser {
    void operator()(T* p) const {
        if (p) p->Release();
    }
};
template <class T> using com_ptr = std::unique_ptr<T, com_releaser<T>>;

int power_of_two_at_least(int n) {
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

} // namespace

// ---- 1. the atlas -----------------------------------------------------------------------------

c_scaled_atlas::~c_scaled_atlas() {
    if (texture_) texture_->Release();
    if (font_) DeleteObject(font_);
}

bool c_scaled_atlas::maps_one_to_one(const vertex_tra* quad, unsigned char code) const {
    const RECT& c = cells_[code];
    return quad[4].x - quad[0].x == float(c.right - c.left) &&
           quad[4].y - quad[0].y == float(c.bottom - c.top);
}

glyph_uv c_scaled_atlas::get_uv(unsigned char code) const {
    const RECT& c = cells_[code];
    const float w = static_cast<float>(std::max(width_, 1)), h = static_cast<float>(std::max(height_, 1));
    return {float(c.left) / w, float(c.right) / w, float(c.top) / h, float(c.bottom) / h};
}

// ---- 2. finding one ---------------------------------------------------------------------------

bool c_font::wants_scaled_atlas(float scale_x, float scale_y) {
    if (!std::isfinite(scale_x) || !std::isfinite(scale_y) || scale_x <= 0.0f || scale_y <= 0.0f)
        return false;
    return scale_x > 1.0f || scale_y > 1.0f;
}

const c_scaled_atlas* c_font::get_scaled_atlas(float scale_x, float scale_y, const std::string& text) {
    if (!wants_scaled_atlas(scale_x, scale_y) || scaled_unavailable_) return nullptr;
    std::bitset<256> needed;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c != '\n') needed.set(c == '\t' ? ' ' : c); // a tab is drawn as spaces
    }
    if (needed.none()) return nullptr;
    c_scaled_atlas* atlas = find_or_make_scaled(scale_x, scale_y);
    if (!atlas || !atlas->font_) return nullptr;
    atlas->last_use_ = ++scaled_clock_;
    if (atlas->texture_ && (needed & ~atlas->held_).none()) return atlas;
    // Glyphs held before stay when there is room for them, so that texts taking turns (the
    // players' banners) do not pack the atlas again each time.
    if (pack_scaled(*atlas, atlas->held_ | needed) || pack_scaled(*atlas, needed)) return atlas;
    return nullptr;
}

c_scaled_atlas* c_font::find_or_make_scaled(float scale_x, float scale_y) {
    for (auto& a : scaled_)
        if (a->scale_x_ == scale_x && a->scale_y_ == scale_y) return a.get();
    if (static_cast<int>(scaled_.size()) >= max_scaled_atlases) {
        auto oldest = std::min_element(scaled_.begin(), scaled_.end(), [](const auto& a, const auto& b) {
            return a->last_use_ < b->last_use_;
        });
        scaled_.erase(oldest);
    }
    auto atlas = std::make_unique<c_scaled_atlas>(scale_x, scale_y);
    // An atlas without a font stays as the answer for its scale, so that a size GDI cannot
    // make is not asked for again on every frame.
    atlas->font_ = create_scaled_font(scale_x, scale_y);
    if (scaled_unavailable_) return nullptr;
    scaled_.push_back(std::move(atlas));
    return scaled_.back().get();
}

// ---- 3. the font at the atlas's size ----------------------------------------------------------

// 1 while cells are no larger than max_raster; beyond, the factor that brings the tallest cell
// and the widest glyph down to it (the quads then magnify the atlas).
double c_font::raster_factor(float scale_x, float scale_y) const {
    int widest = 1;
    for (int c = 0; c < num_chars; ++c)
        widest = std::max(widest, glyph_width(static_cast<unsigned char>(c)));
    const double tall = double(std::max(height_, 1)) * scale_y, wide = double(widest) * scale_x;
    return std::min({1.0, c_scaled_atlas::max_raster / tall, c_scaled_atlas::max_raster / wide});
}

// The font's own description with its cell height (and width, when it has one or the scales
// differ) multiplied by the raster scale, antialiased. Null when GDI cannot make it; when GDI
// cannot even describe the font, no scale ever will be.
HFONT c_font::create_scaled_font(float scale_x, float scale_y) {
    LOGFONTA d{};
    if (!gdi_->get_description(font_, &d)) {
        scaled_unavailable_ = true;
        return nullptr;
    }
    const double f = raster_factor(scale_x, scale_y), sx = scale_x * f, sy = scale_y * f;
    // A description may hold any width; GDI clamps sizes far below this bound anyway.
    auto size = [](double v) { return static_cast<LONG>(std::clamp(std::round(v), 1.0, 1048576.0)); };
    d.lfHeight = size(height_ * sy);
    if (d.lfWidth > 0)
        d.lfWidth = size(d.lfWidth * sx);
    else if (scale_x != scale_y && ave_width_ > 0)
        d.lfWidth = size(ave_width_ * sx);
    else
        d.lfWidth = 0;
    d.lfQuality = ANTIALIASED_QUALITY;
    return gdi_->create_font(d);
}

// ---- 4. packing cells -------------------------------------------------------------------------

// Cells in code order, in rows as wide as the texture (the smallest power of two for them all,
// at most max_size), one empty texel around each. Each cell is as large as the glyph's quad:
// the same arithmetic as the layout's, times the raster factor (1 below max_raster). False,
// changing nothing, when the glyphs do not fit max_size x max_size.
bool c_font::pack_scaled(c_scaled_atlas& atlas, const std::bitset<256>& codes) {
    const double f = raster_factor(atlas.scale_x_, atlas.scale_y_);
    const int cell_h = static_cast<int>(double(height_) * atlas.scale_y_ * f);
    if (cell_h <= 0) return false;
    int cell_w[num_chars] = {};
    int total = 1;
    for (int c = 0; c < num_chars; ++c)
        if (codes[c]) {
            cell_w[c] =
                static_cast<int>(double(glyph_width(static_cast<unsigned char>(c))) * atlas.scale_x_ * f);
            total += cell_w[c] + 1;
        }
    const int width = power_of_two_at_least(std::min(total, c_scaled_atlas::max_size));
    RECT cells[num_chars] = {};
    int x = 1, y = 1;
    for (int c = 0; c < num_chars; ++c) {
        if (!codes[c]) continue;
        if (cell_w[c] + 2 > width) return false;
        if (x + cell_w[c] + 1 > width) x = 1, y += cell_h + 1;
        cells[c] = {x, y, x + cell_w[c], y + cell_h};
        x += cell_w[c] + 1;
    }
    if (y + cell_h + 1 > c_scaled_atlas::max_size) return false;
    const int height = power_of_two_at_least(y + cell_h + 1);
    IDirect3DTexture9* texture = paint_scaled_texture(atlas.font_, width, height, cells, codes);
    if (atlas.texture_) atlas.texture_->Release();
    atlas.texture_ = texture;
    atlas.width_ = width;
    atlas.height_ = height;
    atlas.held_ = codes;
    std::copy(std::begin(cells), std::end(cells), std::begin(atlas.cells_));
    atlas.generation_ = ++scaled_generation_;
    return true;
}

// ---- 5. painting and converting ---------------------------------------------------------------

// Each glyph is drawn white on black into its cell, pen at the cell's left as in the font's
// own atlas; the grey GDI leaves at the edges becomes alpha over white, so that filtering
// between a glyph and the transparent texels around it never darkens the text's colour.
IDirect3DTexture9* c_font::paint_scaled_texture(HFONT font, int width, int height, const RECT* cells,
                                                const std::bitset<256>& codes) {
    static const char* fn = "c_font::paint_scaled_texture";
    IDirect3DTexture9* raw = nullptr;
    HV_CHECK(device_->CreateTexture(UINT(width), UINT(height), 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &raw,
                                    nullptr),
             "Unable to create the temporary font texture.", fn);
    com_ptr<IDirect3DTexture9> temporary(raw);
    raw = nullptr;
    HV_CHECK(device_->CreateTexture(UINT(width), UINT(height), 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &raw,
                                    nullptr),
             "Unable to create the font texture.", fn);
    com_ptr<IDirect3DTexture9> texture(raw);
    IDirect3DSurface9* raw_surface = nullptr;
    HV_CHECK(temporary->GetSurfaceLevel(0, &raw_surface), "Unable to get the surface level.", fn);
    com_ptr<IDirect3DSurface9> surface(raw_surface);
    HDC dc = nullptr;
    HV_CHECK(surface->GetDC(&dc), "Unable to get the hdc.", fn);
    gdi_->select_object(dc, font);
    gdi_->set_text_color(dc, RGB(255, 255, 255));
    gdi_->set_bk_mode(dc, OPAQUE);
    gdi_->set_bk_color(dc, RGB(0, 0, 0));
    for (int code = 0; code < num_chars; ++code) {
        if (!codes[code]) continue;
        const char one[2] = {static_cast<char>(code), 0};
        RECT cell = cells[code];
        gdi_->draw_text(dc, code == '&' ? "&&" : one, -1, &cell, DT_SINGLELINE);
    }
    HV_CHECK(surface->ReleaseDC(dc), "Unable to release the hdc.", fn);

    D3DLOCKED_RECT from{}, to{};
    HV_CHECK(temporary->LockRect(0, &from, nullptr, D3DLOCK_READONLY),
             "Unable to lock the temporary texture.", fn);
    HRESULT hr = texture->LockRect(0, &to, nullptr, 0);
    if (FAILED(hr)) {
        temporary->UnlockRect(0);
        HV_RAISE("Unable to lock the font texture.", fn, hr, this);
    }
    const DWORD clear = 0x00FFFFFFu;
    for (int y = 0; y < height; ++y) {
        BYTE* dst = static_cast<BYTE*>(to.pBits) + static_cast<size_t>(y) * to.Pitch;
        for (int x = 0; x < width; ++x)
            std::memcpy(dst + x * 4, &clear, 4);
    }
    for (int code = 0; code < num_chars; ++code) {
        if (!codes[code]) continue;
        const RECT& c = cells[code];
        for (LONG y = c.top; y < c.bottom; ++y) {
            const BYTE* src = static_cast<const BYTE*>(from.pBits) + static_cast<size_t>(y) * from.Pitch;
            BYTE* dst = static_cast<BYTE*>(to.pBits) + static_cast<size_t>(y) * to.Pitch;
            for (LONG x = c.left; x < c.right; ++x) {
                // The X byte of X8R8G8B8 is undefined: coverage is in the colour alone.
                const BYTE* p = src + x * 4;
                const DWORD alpha = std::max({p[0], p[1], p[2]});
                const DWORD out = (alpha << 24) | 0x00FFFFFFu;
                std::memcpy(dst + x * 4, &out, 4);
            }
        }
    }
    hr = temporary->UnlockRect(0);
    if (FAILED(hr)) {
        texture->UnlockRect(0);
        HV_RAISE("Unable to unlock the temporary texture.", fn, hr, this);
    }
    HV_CHECK(texture->UnlockRect(0), "Unable to unlock the font texture.", fn);
    return texture.release();
}

// ---- 6. linear filtering ----------------------------------------------------------------------

c_linear_filtering::c_linear_filtering(IDirect3DDevice9* device, bool on) : device_(device), on_(on) {
    if (!on_) return;
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
}

c_linear_filtering::~c_linear_filtering() {
    if (!on_) return;
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
}
