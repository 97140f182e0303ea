// Glyph-atlas fonts (c_font) and laid-out text (c_text). A font draws all 256 single-byte codes
// once with GDI into a 512 x 256 texture with only opaque white and transparent pixels, so the
// colour of drawn text comes from the vertices; text is then quads cut from that atlas.
#pragma once
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
    // The process-wide instance that calls GDI itself.
    static c_font_gdi* system();
};

class c_font : public c_reportable {
  public:
    static constexpr int texture_width = 512;
    static constexpr int texture_height = 256;
    static constexpr int num_chars = 256;
    static constexpr int tab_width = 4;     // a tab is as wide as four spaces
    static constexpr int fast_quads = 1024; // capacity of draw_fast

    // Paints the atlas and makes the draw_fast buffers. The font takes ownership of the handle
    // (deleted with the font; stock objects are left alone by DeleteObject). Raises "Desired font
    // is too big for texture." when the 256 cells do not fit. `gdi` (not owned) defaults to GDI.
    c_font(c_gfx* gfx, HFONT font, c_font_gdi* gdi = nullptr);
    ~c_font() override;
    c_font(const c_font&) = delete;
    c_font& operator=(const c_font&) = delete;

    // Builds the atlas and the glyph table; called by the constructor.
    void paint_texture();
    // Around a device reset: before_reset releases the two draw_fast buffers (DEFAULT pool),
    // after_reset makes them again. The atlas is managed and survives.
    void before_reset();
    void after_reset();

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
    void draw_fast_buffer(IDirect3DVertexBuffer9* buffer, IDirect3DTexture9* texture, int quads);
    void convert_atlas(IDirect3DTexture9* temporary);
    void lay_out_cells(HDC dc);

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
    void write_line(int i, vertex_tra* glyphs, vertex_tra* backgrounds, int& written);
    void draw_buffer(IDirect3DVertexBuffer9* buffer, IDirect3DTexture9* texture);

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
};

// Writes one quad as two clockwise triangles (TL, TR, BL) and (TR, BR, BL): six vertices.
void write_glyph_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour,
                      const RECT& glyph);
void write_box_quad(vertex_tra* out, int left, int top, int right, int bottom, float z, D3DCOLOR colour);

extern c_font* g_font;
extern c_font* g_sysfont;
