// Font side of the GDI layer.
//
// Index: 1. Windows-1252 code points; 2. finding a face file through fontconfig (cached per name
// and style); 3. sized faces: one FT_Face per (file, horizontal and vertical size), shared by
// fonts; 4. glyph rasterisation (monochrome, or grey for antialiased fonts) and the per-face
// glyph cache; 5. sizing a font from CreateFontA's height and width.
#include "platform/gdi/gdi_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <strings.h>
#include <tuple>

// ---- 1. Windows-1252 code points ----------------------------------------------------------

std::uint32_t gdi_cp1252_to_unicode(unsigned char code) {
    static constexpr std::array<std::uint16_t, 32> k_80_to_9f = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    if (code >= 0x80 && code <= 0x9F) return k_80_to_9f[code - 0x80];
    return code;
}

namespace {

// ---- 2. finding a face file through fontconfig --------------------------------------------

struct face_file {
    std::string path;
    int index = 0;
    bool bold = false; // the face itself is bold (no emboldening needed)
};

bool family_is(FcPattern* match, const char* name) {
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i)
        if (strcasecmp(reinterpret_cast<const char*>(family), name) == 0) return true;
    return false;
}

std::optional<face_file> face_file_of(FcPattern* match) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return std::nullopt;
    face_file out{reinterpret_cast<const char*>(file)};
    FcPatternGetInteger(match, FC_INDEX, 0, &out.index);
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
    out.bold = weight >= FC_WEIGHT_DEMIBOLD;
    return out;
}

// fontconfig always answers with its best guess; with `exact` the guess counts only when its
// family is the one asked for, so that an unknown name ends on our sans fallback.
std::optional<face_file> match_face(const char* family, bool bold, bool italic, bool exact) {
    if (!FcInit()) return std::nullopt;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    std::optional<face_file> out;
    if (match && (!exact || family_is(match, family))) out = face_file_of(match);
    if (match) FcPatternDestroy(match);
    return out;
}

// Caches are never destroyed, so that fonts deleted during static destruction stay safe.
std::map<std::tuple<std::string, bool, bool>, std::optional<face_file>>& face_cache() {
    static auto& cache = *new std::map<std::tuple<std::string, bool, bool>, std::optional<face_file>>;
    return cache;
}

std::optional<face_file> find_face(const char* name, bool bold, bool italic) {
    auto& cache = face_cache();
    std::string key = name ? name : "";
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    auto [it, fresh] = cache.try_emplace({key, bold, italic});
    if (fresh) {
        if (!key.empty()) it->second = match_face(key.c_str(), bold, italic, true);
        if (!it->second) it->second = match_face("sans-serif", bold, italic, false);
    }
    return it->second;
}

FT_Library ft_library() {
    static FT_Library library = [] {
        FT_Library l = nullptr;
        return FT_Init_FreeType(&l) == 0 ? l : nullptr;
    }();
    return library;
}

} // namespace

int gdi_add_font_file(const char* path) {
    if (!path || !*path || !FcInit()) return 0;
    FcFontSet* before = FcConfigGetFonts(nullptr, FcSetApplication);
    const int had = before ? before->nfont : 0;
    if (!FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path))) return 0;
    FcFontSet* after = FcConfigGetFonts(nullptr, FcSetApplication);
    // A name looked up before may now find the new face.
    face_cache().clear();
    return after ? after->nfont - had : 0;
}

// ---- 3. sized faces -----------------------------------------------------------------------

class gdi_sized_face {
  public:
    gdi_sized_face(FT_Face face, bool embolden, bool antialiased)
        : face_(face), embolden_(embolden), antialiased_(antialiased) {}
    ~gdi_sized_face() { FT_Done_Face(face_); }
    gdi_sized_face(const gdi_sized_face&) = delete;
    gdi_sized_face& operator=(const gdi_sized_face&) = delete;

    FT_Face face() const { return face_; }
    const gdi_glyph& glyph(unsigned char code);
    gdi_glyph render(std::uint32_t code_point) const;

  private:
    FT_Face face_;
    bool embolden_;
    bool antialiased_;
    std::array<std::optional<gdi_glyph>, 256> glyphs_;
};

namespace {

// file, index, x and y 26.6 sizes, embolden, antialiased
using size_key = std::tuple<std::string, int, long, long, bool, bool>;

std::shared_ptr<gdi_sized_face> sized_face(const face_file& file, long x26, long y26, bool embolden,
                                           bool antialiased = false) {
    static auto& cache = *new std::map<size_key, std::weak_ptr<gdi_sized_face>>;
    size_key key{file.path, file.index, x26, y26, embolden, antialiased};
    if (auto live = cache[key].lock()) return live;
    FT_Face face = nullptr;
    if (!ft_library() || FT_New_Face(ft_library(), file.path.c_str(), file.index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face) || FT_Set_Char_Size(face, x26, y26, 72, 72) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    auto made = std::make_shared<gdi_sized_face>(face, embolden, antialiased);
    cache[key] = made;
    return made;
}

// ---- 4. glyph rasterisation ---------------------------------------------------------------

std::uint8_t grey_level(unsigned value, unsigned short grays) {
    if (grays < 2) return value ? 255 : 0;
    return static_cast<std::uint8_t>(std::min(255u, value * 255u / (grays - 1u)));
}

// Coverage from FreeType's bitmap: mono pixels are all or nothing; grey ones keep their level
// when the font is antialiased and are cut at half otherwise.
void copy_ink(const FT_Bitmap& bitmap, bool antialiased, gdi_glyph& g) {
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    g.width = static_cast<int>(bitmap.width);
    g.rows = static_cast<int>(bitmap.rows);
    g.ink.assign(static_cast<std::size_t>(g.width) * g.rows, 0);
    int stride = std::abs(bitmap.pitch);
    for (int y = 0; y < g.rows; ++y) {
        const unsigned char* row = bitmap.buffer + (bitmap.pitch >= 0 ? y : g.rows - 1 - y) * stride;
        for (int x = 0; x < g.width; ++x) {
            std::uint8_t level = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                level = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
            else
                level = antialiased                      ? grey_level(row[x], bitmap.num_grays)
                        : row[x] * 2 >= bitmap.num_grays ? 255
                                                         : 0;
            g.ink[static_cast<std::size_t>(y) * g.width + x] = level;
        }
    }
}

} // namespace

gdi_glyph gdi_sized_face::render(std::uint32_t code_point) const {
    gdi_glyph g;
    FT_UInt index = FT_Get_Char_Index(face_, code_point); // 0, the .notdef glyph, when missing
    const FT_Int32 load = antialiased_ ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
    if (FT_Load_Glyph(face_, index, load) != 0 && (index == 0 || FT_Load_Glyph(face_, 0, load) != 0))
        return g;
    FT_GlyphSlot slot = face_->glyph;
    if (embolden_) FT_GlyphSlot_Embolden(slot);
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const FT_Render_Mode mode = antialiased_ ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, mode) != 0) return g;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    copy_ink(slot->bitmap, antialiased_, g);
    return g;
}

const gdi_glyph& gdi_sized_face::glyph(unsigned char code) {
    auto& slot = glyphs_[code];
    if (!slot) slot = render(gdi_cp1252_to_unicode(code));
    return *slot;
}

const gdi_glyph& gdi_font::glyph(unsigned char code) const {
    return face_->glyph(code);
}
gdi_glyph gdi_font::render_code_point(std::uint32_t code_point) const {
    return face_->render(code_point);
}

// ---- 5. sizing ----------------------------------------------------------------------------

namespace {

// Sizes beyond this are clamped: a cell that tall fits no glyph atlas, and its glyph bitmaps
// would only cost memory.
constexpr double k_default_cell = 16, k_max_pixels = 512;

// Ascent and descent in font units as GDI takes them: the Windows metrics of the OS/2 table
// when the face has them, the horizontal header's otherwise.
std::pair<double, double> design_extent(FT_Face face) {
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double ascent = face->ascender, descent = -face->descender;
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    }
    if (ascent + descent <= 0) ascent = face->units_per_EM * 0.8, descent = face->units_per_EM * 0.2;
    return {ascent, descent};
}

// Mean advance of 'a'..'z' in font units: what a requested width is matched against.
double design_average_width(FT_Face face) {
    double sum = 0;
    int found = 0;
    for (char c = 'a'; c <= 'z'; ++c) {
        FT_Fixed advance = 0;
        FT_UInt index = FT_Get_Char_Index(face, c);
        if (index && FT_Get_Advance(face, index, FT_LOAD_NO_SCALE, &advance) == 0 && advance > 0) {
            sum += static_cast<double>(advance);
            ++found;
        }
    }
    if (found) return sum / found;
    return face->max_advance_width > 0 ? face->max_advance_width / 2.0 : face->units_per_EM / 2.0;
}

struct font_size {
    double em_x, em_y; // pixels per em
    int cell, ascent;
};

font_size size_for(FT_Face design, int height, int width) {
    auto [asc, desc] = design_extent(design);
    double upem = design->units_per_EM > 0 ? design->units_per_EM : 2048;
    double asked = height; // as a double, so that INT_MIN negates
    double cell = asked > 0 ? asked : asked < 0 ? std::round(-asked * (asc + desc) / upem) : k_default_cell;
    cell = std::clamp(cell, 1.0, k_max_pixels);
    font_size s{};
    s.em_y = asked < 0 ? std::min(-asked, k_max_pixels) : cell * upem / (asc + desc);
    s.em_y = std::max(s.em_y, 1.0);
    s.em_x = width > 0 ? std::min<double>(width, k_max_pixels) * upem / design_average_width(design) : s.em_y;
    s.em_x = std::clamp(s.em_x, 1.0, k_max_pixels);
    s.cell = static_cast<int>(cell);
    s.ascent = std::clamp(static_cast<int>(std::lround(asc * s.em_y / upem)), 0, s.cell);
    return s;
}

gdi_font_metrics metrics_for(const font_size& s, gdi_sized_face& sized, bool bold) {
    FT_Face face = sized.face();
    double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    gdi_font_metrics m;
    m.height = s.cell;
    m.ascent = s.ascent;
    m.descent = s.cell - s.ascent;
    m.internal_leading = std::max(0, s.cell - static_cast<int>(std::lround(s.em_y)));
    int sum = 0;
    for (unsigned char c = 'a'; c <= 'z'; ++c)
        sum += sized.glyph(c).advance;
    m.ave_width = (sum + 13) / 26;
    m.max_width = static_cast<int>(std::ceil(face->max_advance_width * s.em_x / upem));
    m.weight = bold ? 700 : 400;
    m.underline_thickness =
        std::max(1, static_cast<int>(std::lround(face->underline_thickness * s.em_y / upem)));
    int below = std::max(1, static_cast<int>(std::lround(-face->underline_position * s.em_y / upem)));
    m.underline_offset = std::clamp(s.ascent + below - m.underline_thickness / 2, 0,
                                    std::max(0, s.cell - m.underline_thickness));
    return m;
}

} // namespace

std::unique_ptr<gdi_font> gdi_open_font(int height, int width, bool bold, bool italic, const char* face_name,
                                        bool antialiased) {
    std::optional<face_file> file = find_face(face_name, bold, italic);
    if (!file) return nullptr;
    // The design face (any size) gives the proportions the pixel sizes are derived from.
    auto design = sized_face(*file, 64 * 64, 64 * 64, false);
    if (!design) return nullptr;
    font_size s = size_for(design->face(), height, width);
    auto sized = sized_face(*file, std::lround(s.em_x * 64), std::lround(s.em_y * 64), bold && !file->bold,
                            antialiased);
    if (!sized) return nullptr;
    gdi_font_metrics m = metrics_for(s, *sized, bold);
    return std::make_unique<gdi_font>(std::move(sized), m);
}
