// Laid-out text: line breaking with word wrap, alignment, and the two ready vertex buffers.
// Scaled text takes its glyphs' texture coordinates from the font's scaled atlas; the quads
// themselves are the same whichever atlas they are cut from.
//
// Index: 1. construction and details; 2. layout; 3. vertex buffers; 4. drawing.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "framework/font.h"

namespace {
// Scaled sizes come from callers' floats: keep them finite and far from int overflow, so that
// a wild scale lays out nonsense rather than undefined behaviour.
int scaled(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<int>(std::clamp(v, -1048576.0, 1048576.0));
}
int clamp_int(long long v) {
    return static_cast<int>(std::clamp<long long>(v, INT_MIN / 2, INT_MAX / 2));
}
} // namespace

// ---- 1. construction and details --------------------------------------------------------------

c_text::c_text(c_gfx* gfx, c_font* font, const std::string& text, int left, int top, int right, int bottom,
               float z, D3DCOLOR colour, D3DCOLOR background, float scale_x, float scale_y, int flags)
    : gfx_(gfx), device_(gfx->get_device()), font_(font), text_(text), left_(left), top_(top), right_(right),
      bottom_(bottom), z_(z), colour_(colour), background_(background), scale_x_(scale_x), scale_y_(scale_y),
      flags_(flags) {
    if (text_.empty()) return;
    lay_out();
    if (quad_count_ == 0) return;
    try {
        setup_vbuffers();
    } catch (...) {
        if (glyph_buffer_) glyph_buffer_->Release();
        if (background_buffer_) background_buffer_->Release();
        throw;
    }
}

c_text::~c_text() {
    if (glyph_buffer_) glyph_buffer_->Release();
    if (background_buffer_) background_buffer_->Release();
}

std::string c_text::get_details() const {
    return font_->get_details() + "\nTEXT: \"" + text_ + "\"";
}

// ---- 2. layout --------------------------------------------------------------------------------

int c_text::char_width(unsigned char c) const {
    // A tab is truncated once, as a whole, not as four truncated spaces.
    if (c == '\t') return scaled(double(c_font::tab_width) * font_->glyph_width(' ') * scale_x_);
    return scaled(double(font_->glyph_width(c)) * scale_x_);
}

void c_text::lay_out() {
    size_t p = 0;
    do {
        p = lay_out_line(p);
    } while (p < text_.size());
    if (text_.back() == '\n') {
        line_starts_.push_back(text_.size());
        line_ends_.push_back(text_.size());
        line_widths_.push_back(0);
        ++line_count_;
    }
}

// Lays out the line starting at p; returns where the next one starts.
size_t c_text::lay_out_line(size_t p) {
    line_starts_.push_back(p);
    ++line_count_;
    auto end_line = [this](size_t end, long long width) {
        line_ends_.push_back(end);
        line_widths_.push_back(clamp_int(width));
    };
    const size_t n = text_.size();
    const long long limit = (long long)right_ - left_;
    long long w = 0, w_at_space = 0;
    int quads_at_space = 0;
    bool has_space = false;
    size_t space_at = 0;
    for (size_t i = p; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text_[i]);
        if (c == '\n') {
            end_line(i + 1, w); // the break itself gets a zero-width rectangle
            return i + 1;
        }
        if (c == ' ') {
            has_space = true, space_at = i, w_at_space = w, quads_at_space = quad_count_;
        }
        const int quads = c == '\t' ? c_font::tab_width : 1;
        w += char_width(c);
        quad_count_ += quads;
        if (!(flags_ & TEXT_WRAP) || w <= limit) continue;
        if (i == p) { // too wide even alone: it keeps its own line
            end_line(i + 1, w);
            return i + 1;
        }
        if (has_space) { // break at the last space, which is not drawn
            quad_count_ = quads_at_space;
            end_line(space_at, w_at_space);
            return space_at + 1;
        }
        // A word wider than the line is broken before the character that does not fit. A tab
        // that overflows takes all four of its quads back with it.
        w -= char_width(c);
        quad_count_ -= quads;
        end_line(i, w);
        return i;
    }
    end_line(n, w);
    return n;
}

// ---- 3. vertex buffers ------------------------------------------------------------------------

void c_text::setup_vbuffers() {
    static const char* fn = "c_text::setup_vbuffers";
    const unsigned long long bytes = 6ull * sizeof(vertex_tra) * static_cast<unsigned>(quad_count_);
    if (bytes > UINT_MAX) HV_RAISE("Unable to create the vertex buffer.", fn, E_OUTOFMEMORY, this);
    HV_CHECK(device_->CreateVertexBuffer(UINT(bytes), D3DUSAGE_WRITEONLY, FVF_TRA, D3DPOOL_MANAGED,
                                         &glyph_buffer_, nullptr),
             "Unable to create the vertex buffer.", fn);
    if (background_ != 0)
        HV_CHECK(device_->CreateVertexBuffer(UINT(bytes), D3DUSAGE_WRITEONLY, FVF_TRA, D3DPOOL_MANAGED,
                                             &background_buffer_, nullptr),
                 "Unable to create the vertex buffer.", fn);
    // Asked before the buffers are locked: making the atlas may paint, and raise.
    const bool keep_codes = c_font::wants_scaled_atlas(scale_x_, scale_y_);
    const c_scaled_atlas* atlas = keep_codes ? font_->get_scaled_atlas(scale_x_, scale_y_, text_) : nullptr;
    if (keep_codes) quad_codes_.reserve(static_cast<size_t>(quad_count_));
    void* p = nullptr;
    HV_CHECK(glyph_buffer_->Lock(0, 0, &p, 0), "Unable to lock the vertex buffer.", fn);
    auto* glyphs = static_cast<vertex_tra*>(p);
    vertex_tra* boxes = nullptr;
    if (background_buffer_) {
        HV_CHECK(background_buffer_->Lock(0, 0, &p, 0), "Unable to lock the vertex buffer.", fn);
        boxes = static_cast<vertex_tra*>(p);
    }
    int written = 0;
    char_rects_.reserve(text_.size());
    for (int i = 0; i < line_count_; ++i)
        if (line_widths_[i] > 0) write_line(i, glyphs, boxes, written, atlas);
    uv_generation_ = atlas ? atlas->get_generation() : 0;
    note_filtering(glyphs, atlas);
    // Quads counted on lines of no width are never written: make them empty rather than
    // leaving whatever the buffer held.
    const size_t rest = static_cast<size_t>(quad_count_ - written) * 6 * sizeof(vertex_tra);
    std::memset(glyphs + written * 6, 0, rest);
    if (boxes) std::memset(boxes + written * 6, 0, rest);
    HV_CHECK(glyph_buffer_->Unlock(), "Unable to unlock the vertex buffer.", fn);
    if (background_buffer_) HV_CHECK(background_buffer_->Unlock(), "Unable to unlock the vertex buffer.", fn);
}

void c_text::write_line(int i, vertex_tra* glyphs, vertex_tra* boxes, int& written,
                        const c_scaled_atlas* atlas) {
    const bool keep_codes = c_font::wants_scaled_atlas(scale_x_, scale_y_);
    const int n = line_count_, w = line_widths_[i];
    const int h = scaled(double(font_->get_height()) * scale_y_);
    const double block = double(font_->get_height()) * scale_y_;
    long long x0 = left_, y0 = (long long)top_ + (long long)i * h;
    if (flags_ & TEXT_RIGHT)
        x0 = (long long)right_ - w;
    else if (flags_ & TEXT_CENTER)
        x0 = (long long)right_ - ((long long)right_ - left_) / 2 - w / 2;
    if (flags_ & TEXT_BOTTOM)
        y0 = (long long)bottom_ - (long long)(n - i) * h;
    else if (flags_ & TEXT_VCENTER)
        y0 = (long long)top_ + ((long long)bottom_ - top_) / 2 + scaled(i * block) - scaled(n * block) / 2;
    const int top = clamp_int(y0), bottom = clamp_int(y0 + h);
    int x = clamp_int(x0);
    auto quad = [&](int l, int r, unsigned char code) {
        if (written == quad_count_) return; // never past the buffer, whatever the layout said
        write_uv_quad(glyphs + written * 6, l, top, r, bottom, z_, colour_,
                      atlas ? atlas->get_uv(code) : font_->get_uv(code));
        if (keep_codes) quad_codes_.push_back(code);
        if (boxes) write_box_quad(boxes + written * 6, l, top, r, bottom, z_, background_);
        ++written;
        bbox_.left = std::min<LONG>(bbox_.left, l);
        bbox_.top = std::min<LONG>(bbox_.top, top);
        bbox_.right = std::max<LONG>(bbox_.right, r);
        bbox_.bottom = std::max<LONG>(bbox_.bottom, bottom);
    };
    for (size_t k = line_starts_[i]; k < line_ends_[i]; ++k) {
        unsigned char c = static_cast<unsigned char>(text_[k]);
        if (c == '\n') {
            char_rects_.push_back({x, top, x, bottom});
            break;
        }
        const int cw = char_width(c);
        if (c == '\t') { // four space quads; the last one takes up the tab's rounding
            const int sw = char_width(' ');
            for (int j = 0; j < c_font::tab_width; ++j)
                quad(x + j * sw, j + 1 == c_font::tab_width ? x + cw : x + (j + 1) * sw, ' ');
        } else {
            quad(x, x + cw, c);
        }
        char_rects_.push_back({x, top, x + cw, bottom});
        x += cw;
    }
}

std::vector<vertex_tra> c_text::get_glyph_vertices() const {
    std::vector<vertex_tra> out;
    void* p = nullptr;
    if (!glyph_buffer_ || FAILED(glyph_buffer_->Lock(0, 0, &p, D3DLOCK_READONLY))) return out;
    const auto* v = static_cast<const vertex_tra*>(p);
    out.assign(v, v + 6 * static_cast<size_t>(quad_count_));
    glyph_buffer_->Unlock();
    return out;
}

// ---- 4. drawing -------------------------------------------------------------------------------

void c_text::draw_buffer(IDirect3DVertexBuffer9* buffer, IDirect3DTexture9* texture) {
    static const char* fn = "c_text::draw";
    HV_CHECK(device_->SetFVF(FVF_TRA), "Unable to set the FVF.", fn);
    gfx_->set_texture(0, texture);
    HV_CHECK(device_->SetStreamSource(0, buffer, 0, sizeof(vertex_tra)), "Unable to set the stream source.",
             fn);
    HV_CHECK(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(2 * quad_count_)),
             "Unable to draw the vertex buffer.", fn);
}

// The scaled atlas the glyphs are drawn from (null: the font's own), with the glyph buffer's
// texture coordinates written again when they were written from another atlas or packing.
const c_scaled_atlas* c_text::current_atlas() {
    if (!c_font::wants_scaled_atlas(scale_x_, scale_y_)) return nullptr;
    const c_scaled_atlas* atlas = font_->get_scaled_atlas(scale_x_, scale_y_, text_);
    if ((atlas ? atlas->get_generation() : 0) != uv_generation_) rewrite_uvs(atlas);
    return atlas;
}

void c_text::rewrite_uvs(const c_scaled_atlas* atlas) {
    static const char* fn = "c_text::draw";
    void* p = nullptr;
    HV_CHECK(glyph_buffer_->Lock(0, 0, &p, 0), "Unable to lock the vertex buffer.", fn);
    auto* v = static_cast<vertex_tra*>(p);
    for (unsigned char code : quad_codes_) {
        const glyph_uv uv = atlas ? atlas->get_uv(code) : font_->get_uv(code);
        // The corners in write_uv_quad's order: TL, TR, BL, TR, BR, BL.
        const float us[6] = {uv.u_left, uv.u_right, uv.u_left, uv.u_right, uv.u_right, uv.u_left};
        const float vs[6] = {uv.v_top, uv.v_top, uv.v_bottom, uv.v_top, uv.v_bottom, uv.v_bottom};
        for (int k = 0; k < 6; ++k, ++v)
            v->u = us[k], v->v = vs[k];
    }
    note_filtering(static_cast<vertex_tra*>(p), atlas);
    HV_CHECK(glyph_buffer_->Unlock(), "Unable to unlock the vertex buffer.", fn);
    uv_generation_ = atlas ? atlas->get_generation() : 0;
}

void c_text::note_filtering(const vertex_tra* glyphs, const c_scaled_atlas* atlas) {
    filtered_ = false;
    for (size_t q = 0; atlas && q < quad_codes_.size() && !filtered_; ++q)
        filtered_ = !atlas->maps_one_to_one(glyphs + 6 * q, quad_codes_[q]);
}

void c_text::draw() {
    if (quad_count_ == 0 || !glyph_buffer_) return;
    const c_scaled_atlas* atlas = current_atlas();
    const bool clipped = flags_ & TEXT_CLIP;
    if (clipped && !gfx_->clip(left_, top_, right_, bottom_)) return;
    if (background_buffer_) draw_buffer(background_buffer_, nullptr);
    if (atlas) {
        c_linear_filtering linear(device_, filtered_);
        draw_buffer(glyph_buffer_, atlas->get_texture());
    } else {
        draw_buffer(glyph_buffer_, font_->get_texture());
    }
    if (clipped) gfx_->unclip();
}
