// Fonts of the GDI layer: a face found by name through fontconfig, sized and rasterised by
// FreeType (monochrome, or with grey edges for an antialiased font), with the glyphs of the 256
// single-byte codes cached per sized face. GDI calls are made from one thread; nothing here
// locks.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// One rasterised glyph. The ink box is placed relative to the pen on the baseline.
struct gdi_glyph {
    int advance = 0;               // pen advance, whole pixels
    int left = 0, top = 0;         // ink box: `left` right of the pen, `top` above the baseline
    int width = 0, rows = 0;       // ink box size
    std::vector<std::uint8_t> ink; // rows * width bytes: coverage, 0 none to 255 full
    std::uint8_t coverage(int x, int y) const { return ink[static_cast<std::size_t>(y) * width + x]; }
    bool inked(int x, int y) const { return coverage(x, y) != 0; }
};

struct gdi_font_metrics {
    int height = 0; // cell height = ascent + descent
    int ascent = 0, descent = 0, internal_leading = 0;
    int ave_width = 0, max_width = 0;
    int weight = 400;
    int underline_offset = 0; // top of the underline, pixels below the cell top
    int underline_thickness = 1;
};

class gdi_sized_face;

// A font: a shared sized face plus the metrics GDI reports for it.
class gdi_font {
  public:
    gdi_font(std::shared_ptr<gdi_sized_face> face, const gdi_font_metrics& metrics)
        : face_(std::move(face)), metrics_(metrics) {}
    const gdi_font_metrics& metrics() const { return metrics_; }
    // The glyph of a single-byte code (Windows-1252), cached.
    const gdi_glyph& glyph(unsigned char code) const;
    // The glyph of a Unicode code point, rendered afresh (.notdef when the face lacks it).
    gdi_glyph render_code_point(std::uint32_t code_point) const;

  private:
    std::shared_ptr<gdi_sized_face> face_;
    gdi_font_metrics metrics_;
};

// Windows-1252 byte to Unicode code point; the five undefined bytes map to their C1 controls.
std::uint32_t gdi_cp1252_to_unicode(unsigned char code);

// Makes the faces of a font file known to this process only (fontconfig's application fonts);
// the number of faces added, 0 when the file holds none or cannot be read.
int gdi_add_font_file(const char* path);

// Opens a font with CreateFontA's meaning of height (> 0 cell, < 0 em, 0 default) and width
// (> 0 average width of the lowercase alphabet, 0 natural); a face name that fontconfig does not
// know, or null, gives the sans face. An antialiased font has glyphs with grey edges, and faces
// of its own. Null when no font file can be opened at all.
std::unique_ptr<gdi_font> gdi_open_font(int height, int width, bool bold, bool italic, const char* face_name,
                                        bool antialiased = false);
