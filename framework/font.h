// Glyph-atlas fonts (c_font) and laid-out text (c_text). A font draws all 256 single-byte codes
// once with GDI into a 512 x 256 texture with only opaque white and transparent pixels, so the
// colour of drawn text comes from the vertices; text is then quads cut from that atlas. Text
// drawn larger than that (a scale above 1) takes its glyphs from a scaled atlas instead: the
// same glyphs rasterised at the size they are drawn, with smooth edges (c_scaled_atlas).
#pragma once
#include <bitset>
#include <memory>
#include <string>
#include <vector>

#include "framework/gfx.h"
#include "platform/wingdi.h"

// The GDI calls that paint an atlas. The default forwards to GDI; tests substitute one with
// known metrics and glyphs.
class c_font_gdi {
  public:
    virtual ~c_font_gdi() = default;
    virtual HGDIOBJ select_object(HDC dc, HGDIOBJ object) { return SelectObject(dc, object); }
    virtual COLORREF set_text_color(HDC dc, COLORREF c) { return SetTextColor(dc, c); }
    virtual int set_bk_mode(HDC dc, int mode) { return SetBkMode(dc, mode); }
    virtual COLORREF set_bk_color(HDC dc, COLORREF c) { return SetBkColor(dc, c); }
    virtual BOOL get_text_metrics(HDC dc, TEXTMETRICA* m) { return GetTextMetricsA(dc, m); }
    virtual BOOL get_text_extent(HDC dc, LPCSTR text, int length, SIZE* size) {
        return GetTextExtentPoint32A(dc, text, length, size);
    }
    virtual int draw_text(HDC dc, LPCSTR text, int length, RECT* rect, UINT format) {
        return DrawTextA(dc, text, length, rect, format);
    }
    // A font's own description, and a new font from one (for the scaled atlases).
    virtual BOOL get_description(HFONT font, LOGFONTA* out) {
        return GetObjectA(font, sizeof *out, out) == static_cast<int>(sizeof *out);
    }
    virtual HFONT create_font(const LOGFONTA& description) { return CreateFontIndirectA(&description); }
    // The process-wide instance that calls GDI itself.
    static c_font_gdi* system();
};

// Texture coordinates of a glyph's quad.
struct glyph_uv {
    float u_left, u_right, v_top, v_bottom;
};

// The glyphs of a font rasterised for one text scale, with grey (antialiased) edges. Each
// glyph's cell is exactly as large as its quad on screen, so a texel lands on a pixel; past
// max_raster pixels a cell is smaller and the quad magnifies it, with linear filtering. It holds only the
// glyphs drawn at its scale, packed in rows into a texture of at most max_size x max_size. Made and kept by
// c_font::get_scaled_atlas.
class c_scaled_atlas {
  public:
    static constexpr int max_size = 1024;  // texture width and height at most
    static constexpr int max_raster = 256; // cell height and widest cell at most, pixels

    c_scaled_atlas(float scale_x, float scale_y) : scale_x_(scale_x), scale_y_(scale_y) {}
    ~c_scaled_atlas();
    c_scaled_atlas(const c_scaled_atlas&) = delete;
    c_scaled_atlas& operator=(const c_scaled_atlas&) = delete;

    float get_scale_x() const { return scale_x_; }
    float get_scale_y() const { return scale_y_; }
    IDirect3DTexture9* get_texture() const { return texture_; }
    int get_width() const { return width_; }
    int get_height() const { return height_; }
    bool holds(unsigned char code) const { return held_[code]; }
    const RECT& get_cell(unsigned char code) const { return cells_[code]; }
    glyph_uv get_uv(unsigned char code) const;
    // True when the quad (six vertices as written) shows the glyph's cell texel for pixel;
    // anything else is drawn with linear filtering.
    bool maps_one_to_one(const vertex_tra* quad, unsigned char code) const;
    // Changes whenever the glyphs are packed anew: texture coordinates written before are
    // stale then. Unique among the atlases of one font, never 0.
    unsigned get_generation() const { return generation_; }

  private:
    friend class c_font;
    float scale_x_, scale_y_;
    HFONT font_ = nullptr; // the font at the atlas's size (owned)
    IDirect3DTexture9* texture_ = nullptr;
    int width_ = 0, height_ = 0;
    std::bitset<256> held_;
    RECT cells_[256] = {};
    unsigned generation_ = 0;
    unsigned last_use_ = 0;
};

class c_font : public c_reportable {
  public:
    static constexpr int texture_width = 512;
    static constexpr int texture_height = 256;
    static constexpr int num_chars = 256;
    static constexpr int tab_width = 4;          // a tab is as wide as four spaces
    static constexpr int fast_quads = 1024;      // capacity of draw_fast
    static constexpr int max_scaled_atlases = 4; // per font; the least recently used one goes

    // Paints the atlas and makes the draw_fast buffers. The font takes ownership of the handle
    // (deleted with the font; stock objects are left alone by DeleteObject). Raises "Desired font
    // is too big for texture." when the 256 cells do not fit. `gdi` (not owned) defaults to GDI.
    c_font(c_gfx* gfx, HFONT font, c_font_gdi* gdi = nullptr);
    ~c_font() override;
    c_font(const c_font&) = delete;
    c_font& operator=(const c_font&) = delete;

    // Builds the atlas and the glyph table; called by the constructor.
    void paint_texture();
    // Around a device reset: before_reset releases the two draw_fast buffers (DEFAULT pool) and
    // the scaled atlases' textures, after_reset makes the buffers again and repaints the scaled
    // atlases with the same cells (texture coordinates written before stay good). The font's
    // own atlas is managed and survives.
    void before_reset();
    void after_reset();

    // True when text drawn at this scale takes its glyphs from a scaled atlas: both scales
    // finite and above 0, and one of them above 1.
    static bool wants_scaled_atlas(float scale_x, float scale_y);
    // The atlas for text drawn at (scale_x, scale_y) holding every glyph of `text` (a tab as a
    // space), made on first use and packed anew when glyphs are missing (with the ones held
    // before when they all fit, else with the text's alone). Null when the text is drawn from
    // the font's own atlas: a scale that wants none, a text with no glyph, a font whose
    // description GDI cannot give or at that size, or glyphs that do not fit max_size. The
    // pointer is good until the next call; compare generations to see whether coordinates
    // written from it are still good. Raises when the device cannot make or fill the texture.
    const c_scaled_atlas* get_scaled_atlas(float scale_x, float scale_y, const std::string& text);
    int scaled_atlas_count() const { return static_cast<int>(scaled_.size()); }
    // Texture coordinates of a glyph in the font's own atlas.
    glyph_uv get_uv(unsigned char code) const;

    // Draws a string at once (not batched) with its top-left at (x, y) and returns the
    // rectangle covered. '\n' starts a new line, a tab is four spaces; at most 1024 quads.
    // Background 0 draws no boxes behind the characters.
    RECT draw_fast(const std::string& text, int x, int y, float z, D3DCOLOR colour, D3DCOLOR background,
                   float scale_x, float scale_y);
    // Queues one character into the image batches (flushed with the wrapper).
    void draw_char(unsigned char code, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                   D3DCOLOR background);

    const RECT& get_glyph(unsigned char code) const { return glyphs_[code]; }
    // One pixel wider than GDI's extent of the character.
    int glyph_width(unsigned char code) const { return glyphs_[code].right - glyphs_[code].left; }
    int get_height() const { return height_; }
    IDirect3DTexture9* get_texture() const { return texture_; }
    c_image* get_image() const { return image_; }
    c_gfx* get_gfx() const { return gfx_; }

    std::string get_details() const override;

  private:
    void release_fast_buffers();
    void draw_fast_buffer(IDirect3DVertexBuffer9* buffer, IDirect3DTexture9* texture, int quads,
                          bool filtered = false);
    void convert_atlas(IDirect3DTexture9* temporary);
    void lay_out_cells(HDC dc);
    // Scaled atlases (font_scaled.cpp).
    c_scaled_atlas* find_or_make_scaled(float scale_x, float scale_y);
    HFONT create_scaled_font(float scale_x, float scale_y);
    double raster_factor(float scale_x, float scale_y) const;
    bool pack_scaled(c_scaled_atlas& atlas, const std::bitset<256>& codes);
    IDirect3DTexture9* paint_scaled_texture(HFONT font, int width, int height, const RECT* cells,
                                            const std::bitset<256>& codes);

    HFONT font_;
    c_gfx* gfx_;
    IDirect3DDevice9* device_;
    c_font_gdi* gdi_;
    IDirect3DTexture9* texture_ = nullptr;
    c_image* image_ = nullptr;
    IDirect3DVertexBuffer9* fast_glyphs_ = nullptr;
    IDirect3DVertexBuffer9* fast_backgrounds_ = nullptr;
    RECT glyphs_[num_chars] = {};
    int height_ = 0;
    int ave_width_ = 0;
    std::vector<std::unique_ptr<c_scaled_atlas>> scaled_;
    bool scaled_unavailable_ = false; // GDI gave no description: never try again
    unsigned scaled_generation_ = 0, scaled_clock_ = 0;
};

// Sets linear filtering on sampler 0 for one draw from a scaled atlas that is magnified or
// stretched (`on`); back to the device's point filtering (what everything else is drawn with)
// when it ends. Where texels land one to one on pixels both filters give the same pixels, and
// point sampling is the cheaper one.
class c_linear_filtering {
  public:
    c_linear_filtering(IDirect3DDevice9* device, bool on);
    ~c_linear_filtering();
    c_linear_filtering(const c_linear_filtering&) = delete;
    c_linear_filtering& operator=(const c_linear_filtering&) = delete;

  private:
    IDirect3DDevice9* device_;
    bool on_;
};

// Text flags.
constexpr int TEXT_CENTER = 0x01;  // centre each line horizontally
constexpr int TEXT_RIGHT = 0x02;   // align each line right (wins over centre)
constexpr int TEXT_VCENTER = 0x04; // centre the block vertically
constexpr int TEXT_BOTTOM = 0x08;  // align the block to the bottom (wins over vcentre)
constexpr int TEXT_CLIP = 0x10;    // clip drawing to the rectangle
constexpr int TEXT_WRAP = 0x20;    // word wrap at the rectangle's width

// A text laid out once in a rectangle and held in ready vertex buffers (managed: they survive a
// device reset). To change the text, make a new c_text.
class c_text : public c_reportable {
  public:
    c_text(c_gfx* gfx, c_font* font, const std::string& text, int left, int top, int right, int bottom,
           float z, D3DCOLOR colour, D3DCOLOR background, float scale_x, float scale_y, int flags);
    ~c_text() override;
    c_text(const c_text&) = delete;
    c_text& operator=(const c_text&) = delete;

    // Draws at once with two draw calls at most (one without a background). With TEXT_CLIP,
    // call the wrapper's flush first: the clip changes the scissor rectangle.
    void draw();

    // Covered by the quads written; left/top 0x7FFFFFFF and right/bottom 0 when there are none.
    const RECT& get_bounding_box() const { return bbox_; }
    // One rectangle per laid-out character (a line break has width 0; breaking spaces of
    // wrapped lines have none).
    const std::vector<RECT>& get_char_rects() const { return char_rects_; }
    // The glyph quads as written (six vertices each), read back from their buffer; empty when
    // there are none or the buffer cannot be read.
    std::vector<vertex_tra> get_glyph_vertices() const;
    int get_line_count() const { return line_count_; }
    int get_quad_count() const { return quad_count_; }
    const std::vector<int>& get_line_widths() const { return line_widths_; }
    const std::string& get_text() const { return text_; }

    std::string get_details() const override;

  private:
    void lay_out();
    size_t lay_out_line(size_t p);
    int char_width(unsigned char c) const;
    void setup_vbuffers();
    void write_line(int i, vertex_tra* glyphs, vertex_tra* backgrounds, int& written,
                    const c_scaled_atlas* atlas);
    void draw_buffer(IDirect3DVertexBuffer9* buffer, IDirect3DTexture9* texture);
    const c_scaled_atlas* current_atlas();
    void rewrite_uvs(const c_scaled_atlas* atlas);
    void note_filtering(const vertex_tra* glyphs, const c_scaled_atlas* atlas);

    c_gfx* gfx_;
    IDirect3DDevice9* device_;
    c_font* font_;
    std::string text_;
    int left_, top_, right_, bottom_;
    float z_;
    D3DCOLOR colour_, background_;
    float scale_x_, scale_y_;
    int flags_;
    int line_count_ = 0;
    int quad_count_ = 0;
    std::vector<size_t> line_starts_;
    std::vector<size_t> line_ends_; // one past the last character drawn on the line
    std::vector<int> line_widths_;
    RECT bbox_{0x7FFFFFFF, 0x7FFFFFFF, 0, 0};
    std::vector<RECT> char_rects_;
    IDirect3DVertexBuffer9* glyph_buffer_ = nullptr;
    IDirect3DVertexBuffer9* background_buffer_ = nullptr;
    // With a scale that wants a scaled atlas: the code of each quad written, so that its
    // texture coordinates can be written again when the atlas was packed anew (or is gone), and
    // the generation they were written from (0: the font's own atlas).
    std::vector<unsigned char> quad_codes_;
    unsigned uv_generation_ = 0;
    bool filtered_ = false; // some quad does not show its cell texel for pixel
};

// Writes one quad as two clockwise triangles (TL, TR, BL) and (TR, BR, BL): six vertices.
void write_glyph_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                      const RECT& glyph);
void write_box_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour);
void write_uv_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                   const glyph_uv& uv);

extern c_font* g_font;
extern c_font* g_sysfont;
