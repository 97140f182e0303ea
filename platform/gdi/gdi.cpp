// Object and device-context side of the GDI layer: fonts and stock objects as handles, memory
// device contexts over 32-bit pixels, text measuring and drawing.
//
// Index: 1. objects and handles (validated against the set of live ones); 2. stock objects;
// 3. memory device contexts and their state; 4. text measuring; 5. text layout: lines and '&'
// prefixes; 6. text drawing.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/gdi/gdi_font.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/wingdi.h"

// ---- 1. objects and handles ---------------------------------------------------------------

struct gdi_object {
    enum class kind { font, brush } type;
    bool stock = false;
    int selections = 0;          // device contexts that have it selected
    bool delete_pending = false; // deleted while selected: freed when the last one lets go
    std::unique_ptr<gdi_font> font;
    LOGFONTA description{}; // of a font, as it was asked for
};
// A GDI object's handle is an untyped pointer, as on Windows; the handles the layer gives out
// point at these.
using gdi_handle = gdi_object*;
static gdi_handle object_of(HGDIOBJ handle) {
    return static_cast<gdi_handle>(handle);
}

struct HDC__ {
    std::uint8_t* bits;
    int width, height, pitch;
    gdi_handle font = nullptr;
    gdi_handle brush = nullptr;
    COLORREF text = RGB(0, 0, 0);
    COLORREF background = RGB(255, 255, 255);
    int background_mode = OPAQUE;
};

namespace {

// Handles are plain pointers; checking them against the live ones turns a stale or foreign
// handle into a failed call instead of a wild read. The set is never destroyed, so that a
// handle released during static destruction is still checked safely.
template <typename handle> std::unordered_set<handle>& live_handles() {
    static auto& live = *new std::unordered_set<handle>;
    return live;
}

template <typename handle> bool is_live(handle h) {
    return h && live_handles<handle>().count(h) != 0;
}

gdi_handle make_object(gdi_object::kind type, std::unique_ptr<gdi_font> font, bool stock,
                       const LOGFONTA& description = {}) {
    auto* object = new gdi_object{type, stock, 0, false, std::move(font), description};
    live_handles<gdi_handle>().insert(object);
    return object;
}

void destroy_object(gdi_handle object) {
    live_handles<gdi_handle>().erase(object);
    delete object;
}

void retain(gdi_handle object) {
    if (object) ++object->selections;
}

void release(gdi_handle object) {
    if (!object) return;
    --object->selections;
    if (object->delete_pending && object->selections == 0) destroy_object(object);
}

const gdi_font* font_of(HDC dc) {
    if (!is_live(dc) || !dc->font) return nullptr;
    return dc->font->font.get();
}

} // namespace

// ---- 2. stock objects ---------------------------------------------------------------------

// The system font: a bold sans with a 16-pixel cell and an average width of 7. Stock objects
// live for the whole process; null when the machine has no usable font.
HGDIOBJ GetStockObject(int object) {
    if (object == SYSTEM_FONT) {
        static gdi_handle system_font = [] {
            LOGFONTA description{};
            description.lfHeight = 16;
            description.lfWidth = 7;
            description.lfWeight = FW_BOLD; // no face name: the sans face
            auto font = gdi_open_font(16, 7, true, false, nullptr, false);
            return font ? make_object(gdi_object::kind::font, std::move(font), true, description) : nullptr;
        }();
        return system_font;
    }
    if (object == BLACK_BRUSH) {
        static gdi_handle black_brush = make_object(gdi_object::kind::brush, nullptr, true);
        return black_brush;
    }
    return nullptr;
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                  DWORD quality, DWORD pitch_and_family, LPCSTR face) {
    LOGFONTA d{height,
               width,
               escapement,
               orientation,
               weight,
               static_cast<BYTE>(italic != 0),
               static_cast<BYTE>(underline != 0),
               static_cast<BYTE>(strike_out != 0),
               static_cast<BYTE>(charset),
               static_cast<BYTE>(out_precision),
               static_cast<BYTE>(clip_precision),
               static_cast<BYTE>(quality),
               static_cast<BYTE>(pitch_and_family),
               {}};
    if (face) std::strncpy(d.lfFaceName, face, LF_FACESIZE - 1);
    return CreateFontIndirectA(&d);
}

int AddFontResourceExA(LPCSTR file_name, DWORD flags, void*) {
    // Fonts for every process are not ours to install.
    if (!(flags & FR_PRIVATE)) return 0;
    return gdi_add_font_file(file_name);
}

HFONT CreateFontIndirectA(const LOGFONTA* description) {
    if (!description) return nullptr;
    LOGFONTA d = *description;
    d.lfFaceName[LF_FACESIZE - 1] = '\0';
    const bool antialiased = d.lfQuality == ANTIALIASED_QUALITY || d.lfQuality == CLEARTYPE_QUALITY;
    auto font = gdi_open_font(d.lfHeight, std::max<LONG>(d.lfWidth, 0), d.lfWeight >= 600, d.lfItalic != 0,
                              d.lfFaceName[0] ? d.lfFaceName : nullptr, antialiased);
    return font ? static_cast<HFONT>(
                      static_cast<HGDIOBJ>(make_object(gdi_object::kind::font, std::move(font), false, d)))
                : nullptr;
}

int GetObjectA(HGDIOBJ handle, int size, void* buffer) {
    gdi_handle object = object_of(handle);
    if (!is_live(object) || object->type != gdi_object::kind::font) return 0;
    if (!buffer) return static_cast<int>(sizeof(LOGFONTA));
    const int n = std::clamp(size, 0, static_cast<int>(sizeof(LOGFONTA)));
    std::memcpy(buffer, &object->description, static_cast<size_t>(n));
    return n;
}

BOOL DeleteObject(HGDIOBJ handle) {
    gdi_handle object = object_of(handle);
    if (!is_live(object) || object->delete_pending) return FALSE;
    if (object->stock) return TRUE;
    if (object->selections > 0)
        object->delete_pending = true;
    else
        destroy_object(object);
    return TRUE;
}

// ---- 3. memory device contexts ------------------------------------------------------------

HDC gdi_create_memory_dc(void* bits, int width, int height, int pitch) {
    if (!bits || width <= 0 || height <= 0 || std::abs(static_cast<long long>(pitch)) < 4LL * width)
        return nullptr;
    auto* dc = new HDC__{static_cast<std::uint8_t*>(bits), width, height, pitch};
    dc->font = object_of(GetStockObject(SYSTEM_FONT));
    dc->brush = object_of(GetStockObject(BLACK_BRUSH));
    retain(dc->font);
    retain(dc->brush);
    live_handles<HDC>().insert(dc);
    return dc;
}

void gdi_delete_memory_dc(HDC dc) {
    if (!is_live(dc)) return;
    live_handles<HDC>().erase(dc);
    release(dc->font);
    release(dc->brush);
    delete dc;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
    gdi_handle object = object_of(handle);
    if (!is_live(dc) || !is_live(object) || object->delete_pending) return nullptr;
    gdi_handle& slot = object->type == gdi_object::kind::font ? dc->font : dc->brush;
    gdi_handle previous = slot;
    retain(object);
    slot = object;
    // A previous object deleted while selected is freed here; its handle is returned all the
    // same and is then simply refused by every call, as any stale handle is.
    release(previous);
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    if (!is_live(dc)) return CLR_INVALID;
    return std::exchange(dc->text, color & 0xFFFFFF);
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    if (!is_live(dc)) return CLR_INVALID;
    return std::exchange(dc->background, color & 0xFFFFFF);
}

int SetBkMode(HDC dc, int mode) {
    if (!is_live(dc) || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
    return std::exchange(dc->background_mode, mode);
}

// ---- 4. text measuring --------------------------------------------------------------------

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
    const gdi_font* font = font_of(dc);
    if (!font || !metrics) return FALSE;
    const gdi_font_metrics& m = font->metrics();
    *metrics =
        TEXTMETRICA{m.height, m.ascent, m.descent, m.internal_leading, 0, m.ave_width, m.max_width, m.weight};
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size) {
    const gdi_font* font = font_of(dc);
    if (!font || !size || length < 0 || (length > 0 && !text)) return FALSE;
    long long width = 0;
    for (int i = 0; i < length; ++i)
        width += font->glyph(static_cast<unsigned char>(text[i])).advance;
    size->cx = static_cast<LONG>(std::min<long long>(width, 0x7FFFFFFF));
    size->cy = font->metrics().height;
    return TRUE;
}

// ---- 5. text layout -----------------------------------------------------------------------

namespace {

struct text_cell {
    unsigned char code;
    bool underlined;
};
using text_line = std::vector<text_cell>;

// Splits text into lines (only at CR, LF or CR LF, and only without DT_SINGLELINE) and resolves
// '&' prefixes unless DT_NOPREFIX: "&x" is an underlined x, "&&" one '&', a final '&' nothing.
std::vector<text_line> lay_out(const unsigned char* text, std::size_t length, UINT format) {
    std::vector<text_line> lines(1);
    bool underline_next = false;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = text[i];
        if (!(format & DT_SINGLELINE) && (c == '\r' || c == '\n')) {
            if (c == '\r' && i + 1 < length && text[i + 1] == '\n') ++i;
            lines.emplace_back();
            underline_next = false;
            continue;
        }
        if (!(format & DT_NOPREFIX) && c == '&') {
            if (i + 1 < length && text[i + 1] == '&')
                ++i;
            else {
                underline_next = true;
                continue;
            }
        }
        lines.back().push_back({c, underline_next});
        underline_next = false;
    }
    return lines;
}

long long line_width(const gdi_font& font, const text_line& line) {
    long long width = 0;
    for (const text_cell& cell : line)
        width += font.glyph(cell.code).advance;
    return width;
}

// ---- 6. text drawing ----------------------------------------------------------------------

LONG to_long(long long v) {
    return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

struct box {
    long long left, top, right, bottom;
};

box intersect(const box& a, const box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

std::uint32_t pixel_of(COLORREF c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

std::uint32_t* pixel_at(HDC dc, long long x, long long y) {
    return reinterpret_cast<std::uint32_t*>(dc->bits + y * dc->pitch + x * 4);
}

void fill(HDC dc, const box& clip, const box& area, std::uint32_t pixel) {
    box b = intersect(clip, area);
    for (long long y = b.top; y < b.bottom; ++y)
        for (long long x = b.left; x < b.right; ++x)
            std::memcpy(pixel_at(dc, x, y), &pixel, 4);
}

// Partly covered pixels (the grey edges of an antialiased font) mix the text colour into what
// lies below by their coverage; the byte above the colour is taken from the text colour.
std::uint32_t mix(std::uint32_t below, std::uint32_t ink, unsigned coverage) {
    std::uint32_t out = ink & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const unsigned b = (below >> shift) & 0xFF, i = (ink >> shift) & 0xFF;
        out |= ((i * coverage + b * (255 - coverage) + 127) / 255) << shift;
    }
    return out;
}

void draw_ink(HDC dc, const box& clip, const gdi_glyph& g, long long x0, long long y0, std::uint32_t pixel) {
    box b = intersect(clip, {x0, y0, x0 + g.width, y0 + g.rows});
    for (long long y = b.top; y < b.bottom; ++y)
        for (long long x = b.left; x < b.right; ++x) {
            const unsigned coverage = g.coverage(static_cast<int>(x - x0), static_cast<int>(y - y0));
            if (coverage == 0) continue;
            std::uint32_t* p = pixel_at(dc, x, y);
            std::uint32_t out = pixel;
            if (coverage < 255) {
                std::uint32_t below;
                std::memcpy(&below, p, 4);
                out = mix(below, pixel, coverage);
            }
            std::memcpy(p, &out, 4);
        }
}

// One line with its top-left at (x, y): the cells' background first (OPAQUE), then the glyphs
// and underlines, so that a glyph reaching into the next cell is not painted over.
void draw_line(HDC dc, const gdi_font& font, const box& clip, const text_line& line, long long x,
               long long y) {
    const gdi_font_metrics& m = font.metrics();
    if (dc->background_mode == OPAQUE)
        fill(dc, clip, {x, y, x + line_width(font, line), y + m.height}, pixel_of(dc->background));
    std::uint32_t ink = pixel_of(dc->text);
    for (const text_cell& cell : line) {
        const gdi_glyph& g = font.glyph(cell.code);
        draw_ink(dc, clip, g, x + g.left, y + m.ascent - g.top, ink);
        if (cell.underlined) {
            long long top = y + m.underline_offset;
            fill(dc, clip, {x, top, x + g.advance, top + m.underline_thickness}, ink);
        }
        x += g.advance;
    }
}

box clip_box(HDC dc, const RECT& rect, UINT format) {
    box memory{0, 0, dc->width, dc->height};
    if (format & DT_NOCLIP) return memory;
    return intersect(memory, {rect.left, rect.top, rect.right, rect.bottom});
}

} // namespace

// Top-left placement only; returns the height of the text drawn (0 for no text or on failure).
int DrawTextA(HDC dc, LPCSTR text, int length, RECT* rect, UINT format) {
    const gdi_font* font = font_of(dc);
    if (!font || !text || !rect) return 0;
    std::size_t n = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
    auto lines = lay_out(reinterpret_cast<const unsigned char*>(text), n, format);
    int line_height = font->metrics().height;
    long long height = n == 0 ? 0 : static_cast<long long>(lines.size()) * line_height;
    if (format & DT_CALCRECT) {
        long long widest = 0;
        for (const text_line& line : lines)
            widest = std::max(widest, line_width(*font, line));
        rect->right = to_long(rect->left + widest);
        rect->bottom = to_long(rect->top + height);
    } else if (n > 0) {
        box clip = clip_box(dc, *rect, format);
        long long y = rect->top;
        for (const text_line& line : lines) {
            if (clip.left < clip.right && clip.top < clip.bottom)
                draw_line(dc, *font, clip, line, rect->left, y);
            y += line_height;
        }
    }
    return to_long(height);
}
