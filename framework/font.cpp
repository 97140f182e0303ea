// Glyph-atlas fonts: painting the atlas with GDI, and drawing strings straight from it.
//
// Index: 1. construction, reset and details; 2. painting the atlas; 3. quads, draw_fast and
// draw_char.
#include "framework/font.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "framework/misc.h"

c_font* g_font = nullptr;
c_font* g_sysfont = nullptr;

namespace {
constexpr UINT k_fast_bytes = c_font::fast_quads * 6 * sizeof(vertex_tra);

template <class T> struct com_releaser {
    void operator()(T* p) const {
        if (p) p->Release();
    }
};
template <class T> using com_ptr = std::unique_ptr<T, com_releaser<T>>;
} // namespace

c_font_gdi* c_font_gdi::system() {
    static c_font_gdi instance;
    return &instance;
}

// ---- 1. construction, reset and details -------------------------------------------------------

c_font::c_font(c_gfx* gfx, HFONT font, c_font_gdi* gdi)
    : font_(font), gfx_(gfx), device_(gfx->get_device()), gdi_(gdi ? gdi : c_font_gdi::system()) {
    try {
        paint_texture();
        image_ = new c_image(gfx_, texture_, 0.0f);
        after_reset();
    } catch (...) {
        release_fast_buffers();
        if (image_) image_->release();
        if (texture_) texture_->Release();
        throw;
    }
}

c_font::~c_font() {
    scaled_.clear();
    release_fast_buffers();
    if (image_) image_->release();
    if (texture_) texture_->Release();
    if (font_) DeleteObject(font_);
}

void c_font::release_fast_buffers() {
    if (fast_glyphs_) fast_glyphs_->Release();
    if (fast_backgrounds_) fast_backgrounds_->Release();
    fast_glyphs_ = fast_backgrounds_ = nullptr;
}

void c_font::before_reset() {
    release_fast_buffers();
    for (auto& atlas : scaled_) {
        if (atlas->texture_) atlas->texture_->Release();
        atlas->texture_ = nullptr;
    }
}

void c_font::after_reset() {
    static const char* fn = "c_font::after_reset";
    release_fast_buffers();
    constexpr DWORD usage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
    HV_CHECK(
        device_->CreateVertexBuffer(k_fast_bytes, usage, FVF_TRA, D3DPOOL_DEFAULT, &fast_glyphs_, nullptr),
        "Unable to create the vertex buffer.", fn);
    HV_CHECK(device_->CreateVertexBuffer(k_fast_bytes, usage, FVF_TRA, D3DPOOL_DEFAULT, &fast_backgrounds_,
                                         nullptr),
             "Unable to create the vertex buffer.", fn);
    for (auto& atlas : scaled_)
        if (atlas->font_ && atlas->held_.any() && !atlas->texture_)
            atlas->texture_ = paint_scaled_texture(atlas->font_, atlas->width_, atlas->height_, atlas->cells_,
                                                   atlas->held_);
}

std::string c_font::get_details() const {
    return c_reportable::get_details() +
           format_string("\nTEXTURE WIDTH: %d\nTEXTURE HEIGHT: %d\nNUM CHARS: %d"
                         "\nTAB WIDTH: %d\nFONT HEIGHT: %d",
                         texture_width, texture_height, num_chars, tab_width, height_);
}

// ---- 2. painting the atlas --------------------------------------------------------------------

void c_font::paint_texture() {
    static const char* fn = "c_font::paint_texture";
    IDirect3DTexture9* raw = nullptr;
    HV_CHECK(device_->CreateTexture(texture_width, texture_height, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                    &raw, nullptr),
             "Unable to create the temporary font texture.", fn);
    com_ptr<IDirect3DTexture9> temporary(raw);
    if (texture_) texture_->Release();
    texture_ = nullptr;
    HV_CHECK(device_->CreateTexture(texture_width, texture_height, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    &texture_, nullptr),
             "Unable to create the font texture.", fn);
    IDirect3DSurface9* raw_surface = nullptr;
    HV_CHECK(temporary->GetSurfaceLevel(0, &raw_surface), "Unable to get the surface level.", fn);
    com_ptr<IDirect3DSurface9> surface(raw_surface);
    HDC dc = nullptr;
    HV_CHECK(surface->GetDC(&dc), "Unable to get the hdc.", fn);
    try {
        lay_out_cells(dc);
    } catch (...) {
        surface->ReleaseDC(dc);
        throw;
    }
    HV_CHECK(surface->ReleaseDC(dc), "Unable to release the hdc.", fn);
    convert_atlas(temporary.get());
}

// Cells are laid out in code order, rows wrapping at the texture's width, one empty pixel
// between cells; each glyph is drawn into its cell.
void c_font::lay_out_cells(HDC dc) {
    static const char* fn = "c_font::paint_texture";
    gdi_->select_object(dc, font_);
    gdi_->set_text_color(dc, RGB(255, 255, 255));
    gdi_->set_bk_mode(dc, OPAQUE);
    gdi_->set_bk_color(dc, RGB(0, 0, 0));
    TEXTMETRICA metrics{};
    // Without metrics the cells would have no height: no usable font is behind the handle.
    if (!gdi_->get_text_metrics(dc, &metrics) || metrics.tmHeight <= 0)
        HV_RAISE("Unable to get the font metrics.", fn, 0, this);
    height_ = metrics.tmHeight;
    ave_width_ = metrics.tmAveCharWidth;
    int left = 1, top = 1, right = 0, bottom = height_ + 2;
    for (int code = 0; code < num_chars; ++code) {
        const char one[2] = {static_cast<char>(code), 0};
        SIZE extent{0, 0};
        gdi_->get_text_extent(dc, one, 1, &extent);
        int cx = std::max<LONG>(extent.cx, 0);
        left = right + 1;
        right = right + cx + 2;
        if (right > texture_width) {
            right = cx + 2;
            left = 1;
            top = bottom + 1;
            bottom = bottom + height_ + 2;
        }
        // A single glyph wider than a row can never fit either.
        if (bottom > texture_height || right > texture_width)
            HV_RAISE("Desired font is too big for texture.", fn, 0, this);
        glyphs_[code] = {left, top, right, bottom};
        RECT cell = glyphs_[code];
        // GDI takes '&' as a prefix; "&&" shows one ampersand.
        gdi_->draw_text(dc, code == '&' ? "&&" : one, -1, &cell, DT_SINGLELINE);
    }
}

// Every pixel GDI touched becomes opaque white, everything else transparent black: the atlas
// has hard edges and the vertex colour alone colours the text.
void c_font::convert_atlas(IDirect3DTexture9* temporary) {
    static const char* fn = "c_font::paint_texture";
    D3DLOCKED_RECT from{}, to{};
    HV_CHECK(temporary->LockRect(0, &from, nullptr, D3DLOCK_READONLY),
             "Unable to lock the temporary texture.", fn);
    HRESULT hr = texture_->LockRect(0, &to, nullptr, 0);
    if (FAILED(hr)) {
        temporary->UnlockRect(0);
        HV_RAISE("Unable to lock the font texture.", fn, hr, this);
    }
    for (int y = 0; y < texture_height; ++y) {
        const BYTE* src = static_cast<const BYTE*>(from.pBits) + static_cast<size_t>(y) * from.Pitch;
        BYTE* dst = static_cast<BYTE*>(to.pBits) + static_cast<size_t>(y) * to.Pitch;
        for (int x = 0; x < texture_width; ++x) {
            DWORD pixel;
            std::memcpy(&pixel, src + x * 4, 4);
            // The X byte of X8R8G8B8 is undefined: only the colour says whether GDI drew here.
            DWORD out = (pixel & 0x00FFFFFFu) != 0 ? 0xFFFFFFFFu : 0x00000000u;
            std::memcpy(dst + x * 4, &out, 4);
        }
    }
    hr = temporary->UnlockRect(0);
    if (FAILED(hr)) {
        texture_->UnlockRect(0);
        HV_RAISE("Unable to unlock the temporary texture.", fn, hr, this);
    }
    HV_CHECK(texture_->UnlockRect(0), "Unable to unlock the font texture.", fn);
}

// ---- 3. quads, draw_fast and draw_char --------------------------------------------------------

glyph_uv c_font::get_uv(unsigned char code) const {
    const RECT& g = glyphs_[code];
    return {float(g.left) / texture_width, float(g.right) / texture_width, float(g.top) / texture_height,
            float(g.bottom) / texture_height};
}

void write_uv_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                   const glyph_uv& uv) {
    float l = float(left), t = float(top), r = float(right), b = float(bottom);
    vertex_tra tl{l, t, z, 1.0f, colour, uv.u_left, uv.v_top},
        tr{r, t, z, 1.0f, colour, uv.u_right, uv.v_top};
    vertex_tra bl{l, b, z, 1.0f, colour, uv.u_left, uv.v_bottom},
        br{r, b, z, 1.0f, colour, uv.u_right, uv.v_bottom};
    out[0] = tl, out[1] = tr, out[2] = bl, out[3] = tr, out[4] = br, out[5] = bl;
}

void write_glyph_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                      const RECT& g) {
    write_uv_quad(out, left, top, right, bottom, z, colour,
                  glyph_uv{float(g.left) / c_font::texture_width, float(g.right) / c_font::texture_width,
                           float(g.top) / c_font::texture_height, float(g.bottom) / c_font::texture_height});
}

void write_box_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour) {
    write_glyph_quad(out, left, top, right, bottom, z, colour, RECT{0, 0, 0, 0});
}

RECT c_font::draw_fast(const std::string& text, int x, int y, float z, D3DCOLOR colour, D3DCOLOR background,
                       float scale_x, float scale_y) {
    static const char* fn = "c_font::draw_fast";
    const int h = static_cast<int>(height_ * scale_y);
    // Asked before the buffers are locked: making the atlas may paint.
    const c_scaled_atlas* atlas = get_scaled_atlas(scale_x, scale_y, text);
    bool filtered = false;
    void* p = nullptr;
    HV_CHECK(fast_glyphs_ ? fast_glyphs_->Lock(0, 0, &p, D3DLOCK_DISCARD) : D3DERR_INVALIDCALL,
             "Unable to lock the vertex buffer.", fn);
    auto* glyphs = static_cast<vertex_tra*>(p);
    vertex_tra* boxes = nullptr;
    if (background != 0) {
        HV_CHECK(fast_backgrounds_ ? fast_backgrounds_->Lock(0, 0, &p, D3DLOCK_DISCARD) : D3DERR_INVALIDCALL,
                 "Unable to lock the vertex buffer.", fn);
        boxes = static_cast<vertex_tra*>(p);
    }
    int quads = 0, cx = x, line_top = y, max_x = x;
    auto put = [&](unsigned char code) {
        int w = static_cast<int>(glyph_width(code) * scale_x);
        write_uv_quad(glyphs + quads * 6, cx, line_top, cx + w, line_top + h, z, colour,
                      atlas ? atlas->get_uv(code) : get_uv(code));
        if (atlas) filtered = filtered || !atlas->maps_one_to_one(glyphs + quads * 6, code);
        if (boxes) write_box_quad(boxes + quads * 6, cx, line_top, cx + w, line_top + h, z, background);
        ++quads;
        cx += w;
        max_x = std::max(max_x, cx);
    };
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (quads + (c == '\t' ? tab_width : 1) > fast_quads) break;
        if (c == '\n') {
            cx = x;
            line_top += h;
        } else if (c == '\t') {
            for (int i = 0; i < tab_width; ++i)
                put(' ');
        } else {
            put(c);
        }
    }
    HV_CHECK(fast_glyphs_->Unlock(), "Unable to unlock the vertex buffer.", fn);
    if (boxes) HV_CHECK(fast_backgrounds_->Unlock(), "Unable to unlock the vertex buffer.", fn);
    // A draw of zero primitives is an invalid call on the device.
    if (quads > 0) {
        if (boxes) draw_fast_buffer(fast_backgrounds_, nullptr, quads);
        draw_fast_buffer(fast_glyphs_, atlas ? atlas->get_texture() : texture_, quads, filtered);
    }
    return RECT{x, y, max_x, line_top + h};
}

void c_font::draw_fast_buffer(IDirect3DVertexBuffer9* buffer, IDirect3DTexture9* texture, int quads,
                              bool filtered) {
    static const char* fn = "c_font::draw_fast";
    c_linear_filtering linear(device_, filtered);
    HV_CHECK(device_->SetFVF(FVF_TRA), "Unable to set the FVF.", fn);
    gfx_->set_texture(0, texture);
    HV_CHECK(device_->SetStreamSource(0, buffer, 0, sizeof(vertex_tra)), "Unable to set the stream source.",
             fn);
    HV_CHECK(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(2 * quads)),
             "Unable to draw the vertex buffer.", fn);
}

void c_font::draw_char(unsigned char code, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                       D3DCOLOR background) {
    if (background != 0)
        gfx_->add_quad_tra(left, top, right, bottom, z, 0.0f, nullptr, 0, 0, 0, 0, background);
    const RECT& g = glyphs_[code];
    gfx_->add_quad_tra(left, top, right, bottom, z, 0.0f, image_, float(g.left) / texture_width,
                       float(g.right) / texture_width, float(g.top) / texture_height,
                       float(g.bottom) / texture_height, colour);
}
