#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/gdi/gdi_font.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/wingdi.h"

namespace {

// 32-bit pixels with guard rows above and below and guard columns right of every row, so
// that a write outside the memory handed to the context shows up.
class canvas {
  public:
    static constexpr std::uint32_t k_guard = 0xDEADBEEFu;

    canvas(int width, int height, std::uint32_t fill = 0)
        : width_(width), height_(height), stride_(width + 3),
          mem_(static_cast<std::size_t>(height + 4) * stride_, k_guard) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                at(x, y) = fill;
        dc_ = gdi_create_memory_dc(&mem_[2 * stride_], width, height, stride_ * 4);
    }
    ~canvas() { gdi_delete_memory_dc(dc_); }
    canvas(const canvas&) = delete;
    canvas& operator=(const canvas&) = delete;

    HDC dc() const { return dc_; }
    std::uint32_t& at(int x, int y) { return mem_[static_cast<std::size_t>(y + 2) * stride_ + x]; }
    bool guards_intact() const {
        for (std::size_t i = 0; i < mem_.size(); ++i) {
            long row = static_cast<long>(i / stride_) - 2, col = static_cast<long>(i % stride_);
            bool inside = row >= 0 && row < height_ && col < width_;
            if (!inside && mem_[i] != k_guard) return false;
        }
        return true;
    }
    std::vector<std::uint32_t> pixels() {
        std::vector<std::uint32_t> out;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                out.push_back(at(x, y));
        return out;
    }
    int count(std::uint32_t value) {
        auto p = pixels();
        return static_cast<int>(std::count(p.begin(), p.end(), value));
    }

  private:
    int width_, height_, stride_;
    std::vector<std::uint32_t> mem_;
    HDC dc_;
};

HFONT make_font(int height, int width = 0, const char* face = "DejaVu Sans", int weight = FW_NORMAL) {
    return CreateFontA(height, width, 0, 0, weight, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, face);
}

// Scoped font handle.
struct font_handle {
    HFONT handle;
    explicit font_handle(HFONT h) : handle(h) {}
    ~font_handle() { DeleteObject(handle); }
};

constexpr std::uint32_t k_red = 0xFFFF0000u, k_blue = 0xFF0000FFu;

// Draws `text` with `font` in red on transparent at (1, 1) of a 64 x 24 canvas; returns the pixels.
std::vector<std::uint32_t> draw(HFONT font, const char* text, UINT format = DT_SINGLELINE, int length = -1) {
    canvas c(64, 24);
    SelectObject(c.dc(), font);
    SetTextColor(c.dc(), RGB(255, 0, 0));
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{1, 1, 64, 24};
    DrawTextA(c.dc(), text, length, &r, format);
    EXPECT_TRUE(c.guards_intact());
    return c.pixels();
}

int ink_count(const std::vector<std::uint32_t>& pixels) {
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), k_red));
}

SIZE extent(HDC dc, const char* text) {
    SIZE s{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &s));
    return s;
}

TEXTMETRICA metrics_of(HDC dc) {
    TEXTMETRICA tm{};
    EXPECT_TRUE(GetTextMetricsA(dc, &tm));
    return tm;
}

} // namespace

TEST(GdiFont, FaceIsChosenByNameCaseInsensitivelyAndUnknownNamesFallBackToSans) {
    font_handle unknown(make_font(16, 0, "No Such Face 12345"));
    font_handle sans(make_font(16, 0, "DejaVu Sans"));
    font_handle serif(make_font(16, 0, "DejaVu Serif"));
    font_handle serif_lower(make_font(16, 0, "dejavu serif"));
    // fontconfig offers a metric alias for this name; only a face of the asked family counts.
    font_handle alias(make_font(16, 0, "Arial"));
    font_handle unnamed(make_font(16, 0, nullptr));
    ASSERT_TRUE(unknown.handle && sans.handle && serif.handle && serif_lower.handle && alias.handle &&
                unnamed.handle);

    const char* text = "Rag&&Hx";
    auto reference = draw(sans.handle, text);
    EXPECT_GT(ink_count(reference), 50);
    EXPECT_EQ(draw(unknown.handle, text), reference);
    EXPECT_EQ(draw(alias.handle, text), reference);
    EXPECT_EQ(draw(unnamed.handle, text), reference);
    EXPECT_NE(draw(serif.handle, text), reference);
    EXPECT_EQ(draw(serif_lower.handle, text), draw(serif.handle, text));
}

TEST(GdiFont, PositiveHeightIsTheCellNegativeTheEmAndLargerFontsMeasureLarger) {
    canvas c(8, 8);
    long previous_cx = 0;
    for (int height : {8, 12, 14, 16, 24, 40}) {
        font_handle f(make_font(height));
        SelectObject(c.dc(), f.handle);
        TEXTMETRICA tm = metrics_of(c.dc());
        EXPECT_NEAR(tm.tmHeight, height, 1);
        EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
        EXPECT_GT(tm.tmAscent, tm.tmDescent);
        SIZE s = extent(c.dc(), "Harnvale");
        EXPECT_EQ(s.cy, tm.tmHeight);
        EXPECT_GT(s.cx, previous_cx) << height;
        previous_cx = s.cx;
        SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
    }
    // An em of 20 pixels needs a taller cell: the accents' room is the internal leading.
    font_handle em(make_font(-20));
    SelectObject(c.dc(), em.handle);
    TEXTMETRICA tm = metrics_of(c.dc());
    EXPECT_GT(tm.tmHeight, 20);
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 20);
    font_handle dflt(make_font(0));
    SelectObject(c.dc(), dflt.handle);
    EXPECT_EQ(metrics_of(c.dc()).tmHeight, 16);
    // Absurd sizes are clamped to something still usable.
    for (int extreme : {INT_MIN, INT_MAX, -100000}) {
        font_handle f(CreateFontA(extreme, extreme, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"));
        ASSERT_NE(f.handle, nullptr);
        SelectObject(c.dc(), f.handle);
        tm = metrics_of(c.dc());
        EXPECT_GE(tm.tmHeight, 1);
        EXPECT_LE(tm.tmHeight, 1024);
        EXPECT_GT(extent(c.dc(), "W").cx, 0);
    }
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
}

// Run in a fresh process: fontconfig is pointed at a configuration that lists no fonts.
TEST(GdiFontDeathTest, WithoutAnyFontFontsAreNullAndTextCallsFail) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto no_fonts = [] {
        char path[] = "/tmp/harnvale-fonts-XXXXXX";
        int fd = mkstemp(path);
        const char config[] = "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
        bool ok = fd >= 0 && write(fd, config, sizeof config - 1) == static_cast<ssize_t>(sizeof config - 1);
        close(fd);
        setenv("FONTCONFIG_FILE", path, 1);
        ok = ok && make_font(16) == nullptr && make_font(16, 0, "sans-serif") == nullptr;
        ok = ok && GetStockObject(SYSTEM_FONT) == nullptr && GetStockObject(BLACK_BRUSH) != nullptr;
        std::uint32_t pixels[16] = {};
        HDC dc = gdi_create_memory_dc(pixels, 4, 4, 16);
        RECT r{0, 0, 4, 4};
        TEXTMETRICA tm;
        SIZE s;
        ok = ok && dc && DrawTextA(dc, "x", -1, &r, 0) == 0 && !GetTextMetricsA(dc, &tm) &&
             !GetTextExtentPoint32A(dc, "x", 1, &s);
        gdi_delete_memory_dc(dc);
        unlink(path);
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(no_fonts(), ::testing::ExitedWithCode(0), "");
}

TEST(GdiFont, WidthSetsTheAverageCharacterWidth) {
    canvas c(8, 8);
    font_handle wide(make_font(16, 10)), narrow(make_font(16, 5));
    SelectObject(c.dc(), wide.handle);
    TEXTMETRICA wide_tm = metrics_of(c.dc());
    SIZE wide_extent = extent(c.dc(), "abcdefghijklmnopqrstuvwxyz");
    SelectObject(c.dc(), narrow.handle);
    TEXTMETRICA narrow_tm = metrics_of(c.dc());
    SIZE narrow_extent = extent(c.dc(), "abcdefghijklmnopqrstuvwxyz");
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));

    EXPECT_NEAR(wide_tm.tmAveCharWidth, 10, 1);
    EXPECT_NEAR(narrow_tm.tmAveCharWidth, 5, 1);
    EXPECT_NEAR(wide_extent.cx, 260, 26);
    EXPECT_NEAR(narrow_extent.cx, 130, 26);
    EXPECT_EQ(wide_tm.tmHeight, narrow_tm.tmHeight);

    // The glyphs themselves are stretched, not just spaced out.
    auto ink_columns = [](const std::vector<std::uint32_t>& p) {
        int columns = 0;
        for (int x = 0; x < 64; ++x)
            for (int y = 0; y < 24; ++y)
                if (p[y * 64 + x] == k_red) {
                    ++columns;
                    break;
                }
        return columns;
    };
    EXPECT_GT(ink_columns(draw(wide.handle, "m")), ink_columns(draw(narrow.handle, "m")) + 2);
}

TEST(GdiFont, StockObjects) {
    HGDIOBJ system = GetStockObject(SYSTEM_FONT);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), system);
    EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
    EXPECT_EQ(GetStockObject(0), nullptr);
    EXPECT_EQ(GetStockObject(99), nullptr);

    canvas c(8, 8);
    TEXTMETRICA tm = metrics_of(c.dc()); // a fresh context has the system font
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmWeight, FW_BOLD);
    EXPECT_NEAR(tm.tmAveCharWidth, 7, 1);

    // Deleting a stock object succeeds and changes nothing.
    EXPECT_TRUE(DeleteObject(system));
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), system);
    EXPECT_EQ(metrics_of(c.dc()).tmHeight, 16);
    EXPECT_GT(ink_count(draw(static_cast<HFONT>(system), "Ok")), 20);
}

TEST(GdiFont, ExtentsAddUpPerCharacter) {
    canvas c(8, 8);
    font_handle f(make_font(14, 10));
    SelectObject(c.dc(), f.handle);
    for (const char* pair : {"ab", "Wi", "&&", "\xE9\x80", "  "}) {
        const char a[2] = {pair[0], 0}, b[2] = {pair[1], 0};
        EXPECT_EQ(extent(c.dc(), pair).cx, extent(c.dc(), a).cx + extent(c.dc(), b).cx) << pair;
    }
    SIZE s{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(c.dc(), "", 0, &s));
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 14);
    EXPECT_FALSE(GetTextExtentPoint32A(c.dc(), "ab", -1, &s));
    EXPECT_FALSE(GetTextExtentPoint32A(nullptr, "ab", 2, &s));
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
}

TEST(GdiDraw, EachGlyphSitsWhereThePenHasAdvancedByTheExtentsBeforeIt) {
    font_handle f(make_font(16, 9));
    canvas c(64, 24);
    SelectObject(c.dc(), f.handle);
    SetTextColor(c.dc(), RGB(255, 0, 0));
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{1, 1, 64, 24};
    DrawTextA(c.dc(), "W", -1, &r, DT_SINGLELINE);
    r.left += extent(c.dc(), "W").cx;
    DrawTextA(c.dc(), "a", -1, &r, DT_SINGLELINE);
    r.left += extent(c.dc(), "a").cx;
    DrawTextA(c.dc(), "T", -1, &r, DT_SINGLELINE);
    EXPECT_EQ(draw(f.handle, "WaT"), c.pixels());
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
}

TEST(GdiDraw, GlyphsStayInsideTheRectangleAndTheMemory) {
    font_handle f(make_font(16, 10));
    canvas c(40, 30);
    SelectObject(c.dc(), f.handle);
    SetTextColor(c.dc(), RGB(255, 0, 0));
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{5, 6, 20, 15};
    EXPECT_EQ(DrawTextA(c.dc(), "WMWMWgjy", -1, &r, DT_SINGLELINE), 16);
    int inside = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            std::uint32_t p = c.at(x, y);
            EXPECT_TRUE(p == 0 || p == k_red) << std::hex << p;
            bool in_rect = x >= 5 && x < 20 && y >= 6 && y < 15;
            if (p != 0) {
                EXPECT_TRUE(in_rect) << x << "," << y;
            }
            inside += p != 0;
        }
    EXPECT_GT(inside, 20);

    // Without clipping the text runs past every edge of the memory, which is all it may touch.
    for (RECT edge : {RECT{-9, -7, 0, 0}, RECT{30, 22, 31, 23}, RECT{-2000000000, 5, 0, 0},
                      RECT{2147483000, 2147483000, 0, 0}})
        DrawTextA(c.dc(), "WMWMWMWgjy", -1, &edge, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_TRUE(c.guards_intact());
    EXPECT_GT(c.count(k_red), inside);

    // A rectangle of no or negative width draws nothing and still reports the height.
    canvas empty(40, 30);
    SelectObject(empty.dc(), f.handle);
    RECT flat{10, 10, 10, 30}, inverted{20, 20, 5, 5};
    EXPECT_EQ(DrawTextA(empty.dc(), "WW", -1, &flat, DT_SINGLELINE), 16);
    EXPECT_EQ(DrawTextA(empty.dc(), "WW", 2, &inverted, DT_SINGLELINE), 16);
    EXPECT_EQ(empty.count(0), 40 * 30);
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
    SelectObject(empty.dc(), GetStockObject(SYSTEM_FONT));
}

TEST(GdiDraw, OpaqueFillsTheTextCellsWithTheBackgroundAndTransparentLeavesThem) {
    font_handle f(make_font(14, 8));
    constexpr std::uint32_t k_old = 0x00123456u;
    for (int mode : {OPAQUE, TRANSPARENT}) {
        canvas c(40, 24, k_old);
        SelectObject(c.dc(), f.handle);
        // The first calls also show a fresh context's defaults.
        EXPECT_EQ(SetBkMode(c.dc(), mode), OPAQUE);
        EXPECT_EQ(SetBkColor(c.dc(), RGB(0, 0, 255)), RGB(255, 255, 255));
        EXPECT_EQ(SetTextColor(c.dc(), RGB(255, 0, 0)), RGB(0, 0, 0));
        SIZE s = extent(c.dc(), "xo");
        RECT r{3, 4, 40, 24};
        DrawTextA(c.dc(), "xo", -1, &r, DT_SINGLELINE);
        int text = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 40; ++x) {
                std::uint32_t p = c.at(x, y);
                bool in_cell = x >= 3 && x < 3 + s.cx && y >= 4 && y < 4 + s.cy;
                if (!in_cell)
                    EXPECT_EQ(p, k_old) << x << "," << y;
                else
                    EXPECT_TRUE(p == k_red || p == (mode == OPAQUE ? k_blue : k_old)) << x << "," << y;
                text += p == k_red;
            }
        EXPECT_GT(text, 10);
        SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
    }
}

TEST(GdiDraw, AmpersandPrefixes) {
    font_handle f(make_font(16));
    // "&&" is one ampersand, as "&" is when prefixes are off.
    auto one = draw(f.handle, "&", DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_GT(ink_count(one), 10);
    EXPECT_EQ(draw(f.handle, "&&"), one);
    EXPECT_GT(ink_count(draw(f.handle, "&&", DT_SINGLELINE | DT_NOPREFIX)), ink_count(one));
    EXPECT_EQ(draw(f.handle, "a&"), draw(f.handle, "a")); // a final '&' prefixes nothing

    // "&x" is an underlined x: every pixel of the plain x plus one full-width row of ink
    // below the baseline that the plain x does not have.
    auto plain = draw(f.handle, "x");
    auto underlined = draw(f.handle, "&x");
    for (std::size_t i = 0; i < plain.size(); ++i)
        if (plain[i] == k_red) {
            ASSERT_EQ(underlined[i], k_red);
        }
    canvas probe(8, 8);
    SelectObject(probe.dc(), f.handle);
    int advance = extent(probe.dc(), "x").cx, ascent = metrics_of(probe.dc()).tmAscent;
    SelectObject(probe.dc(), GetStockObject(SYSTEM_FONT));
    auto full_row = [&](const std::vector<std::uint32_t>& p, int y) {
        for (int x = 1; x < 1 + advance; ++x)
            if (p[y * 64 + x] != k_red) return false;
        return true;
    };
    int underline_rows = 0;
    for (int y = 1 + ascent; y < 24; ++y) {
        EXPECT_FALSE(full_row(plain, y));
        underline_rows += full_row(underlined, y);
    }
    EXPECT_GE(underline_rows, 1);
}

TEST(GdiDraw, CalcRectMeasuresWithoutDrawing) {
    font_handle f(make_font(16));
    canvas c(60, 40);
    SelectObject(c.dc(), f.handle);
    RECT r{4, 5, 4, 5};
    EXPECT_EQ(DrawTextA(c.dc(), "&&ab", -1, &r, DT_SINGLELINE | DT_CALCRECT), 16);
    EXPECT_EQ(r.right - r.left, extent(c.dc(), "&ab").cx);
    EXPECT_EQ(r.bottom, 5 + 16);
    // Without DT_SINGLELINE each line break starts a line.
    RECT lines{0, 0, 0, 0};
    EXPECT_EQ(DrawTextA(c.dc(), "ab\r\nWWW\nc", -1, &lines, DT_CALCRECT), 48);
    EXPECT_EQ(lines.right, extent(c.dc(), "WWW").cx);
    EXPECT_EQ(c.count(0), 60 * 40);
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
}

TEST(GdiDraw, EveryByteDrawsWithinBoundsAndHighBytesAreWindows1252) {
    font_handle f(make_font(14, 10));
    canvas c(20, 20);
    SelectObject(c.dc(), f.handle);
    SetBkColor(c.dc(), 0);
    SetTextColor(c.dc(), RGB(255, 255, 255));
    for (int code = 0; code < 256; ++code) {
        char text[3] = {static_cast<char>(code), code == '&' ? '&' : '\0', 0};
        RECT r{1, 1, 19, 19};
        DrawTextA(c.dc(), text, code == 0 ? 1 : -1, &r, DT_SINGLELINE);
        SIZE s{};
        EXPECT_TRUE(GetTextExtentPoint32A(c.dc(), text, 1, &s));
        EXPECT_LT(s.cx, 40) << code;
    }
    EXPECT_TRUE(c.guards_intact());
    SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));

    auto font = gdi_open_font(14, 10, false, false, "DejaVu Sans");
    ASSERT_TRUE(font);
    auto same = [](const gdi_glyph& a, const gdi_glyph& b) {
        return a.advance == b.advance && a.left == b.left && a.top == b.top && a.width == b.width &&
               a.ink == b.ink;
    };
    EXPECT_TRUE(same(font->glyph(0xE9), font->render_code_point(0x00E9)));
    EXPECT_TRUE(same(font->glyph(0x80), font->render_code_point(0x20AC)));
    EXPECT_TRUE(same(font->glyph(0x9F), font->render_code_point(0x0178)));
    EXPECT_FALSE(same(font->glyph(0x80), font->render_code_point(0x0080)));
    EXPECT_FALSE(font->glyph(0xE9).ink.empty());
}

TEST(GdiObjects, StaleAndForeignHandlesFailInsteadOfCrashing) {
    canvas c(40, 20);
    HFONT f = make_font(16);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(SelectObject(c.dc(), f), GetStockObject(SYSTEM_FONT));
    // Deleted while selected: the context keeps drawing with it until it lets go.
    EXPECT_TRUE(DeleteObject(f));
    EXPECT_FALSE(DeleteObject(f));
    RECT r{0, 0, 40, 20};
    EXPECT_EQ(DrawTextA(c.dc(), "ok", -1, &r, DT_SINGLELINE), 16);
    EXPECT_EQ(SelectObject(c.dc(), GetStockObject(SYSTEM_FONT)), f);
    EXPECT_EQ(SelectObject(c.dc(), f), nullptr);
    EXPECT_FALSE(DeleteObject(f));

    int not_a_handle = 0;
    auto* foreign = reinterpret_cast<HGDIOBJ>(&not_a_handle);
    EXPECT_EQ(SelectObject(c.dc(), foreign), nullptr);
    EXPECT_FALSE(DeleteObject(foreign));
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(c.dc()))); // a context is no object
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_EQ(SetTextColor(nullptr, 0), CLR_INVALID);
    EXPECT_EQ(SetBkMode(c.dc(), 7), 0);
    EXPECT_EQ(DrawTextA(c.dc(), nullptr, -1, &r, 0), 0);
    EXPECT_EQ(DrawTextA(c.dc(), "x", -1, nullptr, 0), 0);
    EXPECT_EQ(gdi_create_memory_dc(nullptr, 4, 4, 16), nullptr);
    std::uint32_t tiny[4];
    EXPECT_EQ(gdi_create_memory_dc(tiny, 4, 1, 8), nullptr); // pitch shorter than a row
}

TEST(GdiObjects, FontDescriptionsRoundTripAndAntialiasedGlyphsBlendTheirEdges) {
    font_handle aa(CreateFontA(40, 0, 0, 0, FW_BOLD, 1, 0, 0, ANSI_CHARSET, 0, 0, ANTIALIASED_QUALITY, 0,
                               "DejaVu Sans"));
    ASSERT_NE(aa.handle, nullptr);
    LOGFONTA d{};
    EXPECT_EQ(GetObjectA(aa.handle, 0, nullptr), int(sizeof d));
    EXPECT_EQ(GetObjectA(aa.handle, 4, &d), 4); // as much as asked for
    EXPECT_EQ(d.lfHeight, 40);
    EXPECT_EQ(d.lfWeight, 0);
    ASSERT_EQ(GetObjectA(aa.handle, sizeof d, &d), int(sizeof d));
    EXPECT_EQ(d.lfWeight, FW_BOLD);
    EXPECT_EQ(d.lfItalic, 1);
    EXPECT_EQ(d.lfQuality, ANTIALIASED_QUALITY);
    EXPECT_STREQ(d.lfFaceName, "DejaVu Sans");
    LOGFONTA system{};
    ASSERT_EQ(GetObjectA(GetStockObject(SYSTEM_FONT), sizeof system, &system), int(sizeof system));
    EXPECT_EQ(system.lfHeight, 16);
    EXPECT_EQ(system.lfWidth, 7);
    EXPECT_EQ(GetObjectA(GetStockObject(BLACK_BRUSH), sizeof system, &system), 0);
    EXPECT_EQ(GetObjectA(nullptr, sizeof system, &system), 0);
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
    LOGFONTA unterminated = d;
    std::memset(unterminated.lfFaceName, 'x', sizeof unterminated.lfFaceName);
    font_handle cut(CreateFontIndirectA(&unterminated));
    ASSERT_EQ(GetObjectA(cut.handle, sizeof unterminated, &unterminated), int(sizeof unterminated));
    EXPECT_EQ(std::string(unterminated.lfFaceName), std::string(LF_FACESIZE - 1, 'x'));

    // Red on blue: hard-edged glyphs leave only the two colours; antialiased ones add edge pixels
    // that mix them by coverage, in many steps.
    d.lfQuality = NONANTIALIASED_QUALITY;
    font_handle hard(CreateFontIndirectA(&d));
    for (HFONT f : {hard.handle, aa.handle}) {
        canvas c(48, 48, 0xFF0000FF);
        SelectObject(c.dc(), f);
        EXPECT_EQ(metrics_of(c.dc()).tmHeight, 40);
        SetTextColor(c.dc(), RGB(255, 0, 0));
        SetBkMode(c.dc(), TRANSPARENT);
        RECT r{0, 0, 48, 48};
        DrawTextA(c.dc(), "O", -1, &r, DT_SINGLELINE);
        SelectObject(c.dc(), GetStockObject(SYSTEM_FONT));
        std::set<std::uint32_t> mixes;
        int red = 0, other = 0;
        for (std::uint32_t p : c.pixels()) {
            const unsigned rr = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            red += p == k_red;
            if (p == k_red || p == k_blue) continue;
            if (g == 0 && rr + b >= 254 && rr + b <= 256)
                mixes.insert(p);
            else
                ++other;
        }
        EXPECT_GT(red, 100);
        EXPECT_EQ(other, 0);
        if (f == hard.handle)
            EXPECT_TRUE(mixes.empty());
        else
            EXPECT_GE(mixes.size(), 20u);
    }
}
