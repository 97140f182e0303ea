// Fonts and laid-out text against the recording device, with a GDI stand-in whose metrics the
// tests choose, so the layout arithmetic is checked exactly.
#include <functional>
#include <gtest/gtest.h>
#include <limits>

#include "framework/font.h"
#include "tests/fakes/recording_device.h"
#include "tests/rect_equal.h"
#include "tests/test_util.h"

namespace {

// Every character measures `width(c)` (8 unless set), the font is `height` high; each glyph
// drawn leaves one pixel of `ink` at its cell's top-left. With `describes` the font has a
// description, and fonts made from one are recorded.
class fake_gdi : public c_font_gdi {
  public:
    explicit fake_gdi(recording_device& dev) : dev_(dev) {}
    HGDIOBJ select_object(HDC, HGDIOBJ) override { return nullptr; }
    COLORREF set_text_color(HDC, COLORREF) override { return 0; }
    int set_bk_mode(HDC, int) override { return OPAQUE; }
    COLORREF set_bk_color(HDC, COLORREF) override { return 0; }
    BOOL get_text_metrics(HDC, TEXTMETRICA* m) override {
        *m = {};
        m->tmHeight = height;
        m->tmAveCharWidth = 7;
        return metrics_ok;
    }
    BOOL get_text_extent(HDC, LPCSTR text, int length, SIZE* size) override {
        measured.push_back(std::string(text, static_cast<size_t>(length)));
        size->cx = width ? width(static_cast<unsigned char>(text[0])) : 8;
        size->cy = height;
        return TRUE;
    }
    int draw_text(HDC dc, LPCSTR text, int, RECT* rect, UINT format) override {
        drawn.push_back(text);
        formats |= format;
        recording_surface* s = dev_.surface_of_dc(dc);
        if (s && rect->left < LONG(s->desc.Width) && rect->top < LONG(s->desc.Height))
            s->pixel(rect->left, rect->top) = ink;
        return height;
    }
    BOOL get_description(HFONT, LOGFONTA* out) override {
        *out = description;
        return describes;
    }
    HFONT create_font(const LOGFONTA& d) override {
        created.push_back(d);
        return reinterpret_cast<HFONT>(static_cast<std::uintptr_t>(0x5CA1E000u + created.size()));
    }

    int height = 14;
    BOOL metrics_ok = TRUE;
    std::function<int(unsigned char)> width;
    DWORD ink = 0x00FFFFFF;
    std::vector<std::string> measured, drawn;
    UINT formats = 0;
    bool describes = false;
    LOGFONTA description{14, 8, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Fake"};
    std::vector<LOGFONTA> created;

  private:
    recording_device& dev_;
};

class Font : public ::testing::Test {
  protected:
    Font() : gfx(&dev, 2.0e-5f), gdi(dev) {}
    c_font& font() {
        if (!font_) font_ = std::make_unique<c_font>(&gfx, nullptr, &gdi);
        return *font_;
    }
    recording_device dev;
    c_gfx gfx;
    fake_gdi gdi;
    std::unique_ptr<c_font> font_;
};

TEST_F(Font, CellsFillRowsOfFiftyOneAndSixRowsEndAtNinetySix) {
    c_font& f = font();
    EXPECT_EQ(f.get_height(), 14);
    EXPECT_EQ(f.get_glyph(0), (RECT{1, 1, 10, 16}));
    EXPECT_EQ(f.get_glyph(1), (RECT{11, 1, 20, 16}));
    EXPECT_EQ(f.get_glyph(50), (RECT{501, 1, 510, 16}));
    EXPECT_EQ(f.get_glyph(51), (RECT{1, 17, 10, 32}));
    EXPECT_EQ(f.get_glyph(255), (RECT{1 + 10 * 0, 81, 10, 96}));
    LONG lowest = 0;
    for (int c = 0; c < 256; ++c) {
        const RECT& g = f.get_glyph(static_cast<unsigned char>(c));
        EXPECT_EQ(g.right - g.left, 9) << c;
        EXPECT_EQ(g.bottom - g.top, 15) << c;
        lowest = std::max(lowest, g.bottom);
    }
    EXPECT_EQ(lowest, 96);
    EXPECT_EQ(gdi.formats, DT_SINGLELINE);
}

TEST_F(Font, AmpersandIsMeasuredAloneAndDrawnDoubled) {
    font();
    ASSERT_EQ(gdi.measured.size(), 256u);
    ASSERT_EQ(gdi.drawn.size(), 256u);
    EXPECT_EQ(gdi.measured['&'], "&");
    EXPECT_EQ(gdi.drawn['&'], "&&");
    EXPECT_EQ(gdi.drawn['A'], "A");
    EXPECT_EQ(gdi.drawn[0xE9], "\xE9");
}

TEST_F(Font, AnyColourGdiDrewBecomesOpaqueWhiteAndTheRestTransparent) {
    gdi.ink = 0x00404040; // a dark grey edge pixel
    c_font& f = font();
    auto& atlas = static_cast<recording_texture*>(f.get_texture())->level(0);
    const RECT& a = f.get_glyph('A');
    EXPECT_EQ(atlas.pixel(a.left, a.top), 0xFFFFFFFFu);
    EXPECT_EQ(atlas.pixel(a.left + 1, a.top), 0x00000000u);
    EXPECT_EQ(atlas.pixel(511, 255), 0x00000000u);
    // gfx: 2 quad buffers; the atlas; its image and the default one (batches only once queued
    // into); draw_fast's 2 buffers.
    EXPECT_EQ(dev.live_resources(), 2 + 1 + 2);
}

TEST_F(Font, TheUndefinedByteOfTheGdiSurfaceIsNotInk) {
    gdi.ink = 0xFF000000; // black with the X byte set
    c_font& f = font();
    const RECT& a = f.get_glyph('A');
    EXPECT_EQ(static_cast<recording_texture*>(f.get_texture())->level(0).pixel(a.left, a.top), 0u);
}

TEST_F(Font, FontsThatDoNotFitRaiseAndLeakNothing) {
    int before = dev.live_resources();
    gdi.height = 120;
    EXPECT_RAISES(font(), "Desired font is too big for texture.");
    gdi.height = 14;
    gdi.width = [](unsigned char c) { return c == 'W' ? 600 : 8; };
    EXPECT_RAISES(font(), "Desired font is too big for texture.");
    gdi.width = nullptr;
    gdi.metrics_ok = FALSE;
    EXPECT_RAISES(font(), "Unable to get the font metrics.");
    EXPECT_EQ(dev.live_resources(), before);
}

TEST_F(Font, PaintFailuresRaiseFromPaintTexture) {
    dev.fail_next("GetDC", E_FAIL);
    try {
        font();
        ADD_FAILURE();
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, "Unable to get the hdc.");
        EXPECT_EQ(e.function, "c_font::paint_texture");
        EXPECT_EQ(e.hresult, E_FAIL);
        EXPECT_NE(e.additional_details.find("FONT HEIGHT: 0"), std::string::npos);
    }
}

TEST_F(Font, DrawFastLinesScalesAndTabs) {
    c_font& f = font();
    dev.clear_log();
    EXPECT_EQ(f.draw_fast("ab\nc", 10, 20, 0.0f, 0xFFFFFFFF, 0, 1.0f, 1.0f), (RECT{10, 20, 28, 48}));
    ASSERT_EQ(dev.draws().size(), 1u);
    auto v = dev.draws()[0].as<vertex_tra>();
    ASSERT_EQ(v.size(), 18u);
    EXPECT_EQ(v[12].x, 10.0f); // 'c' starts the second line at the start x
    EXPECT_EQ(v[12].y, 34.0f);
    EXPECT_EQ(f.draw_fast("ab\nc", 10, 20, 0.0f, 0xFFFFFFFF, 0, 2.0f, 2.0f), (RECT{10, 20, 46, 76}));
    dev.clear_log();
    EXPECT_EQ(f.draw_fast("\t", 0, 0, 0.0f, 0xFFFFFFFF, 0, 1.0f, 1.0f), (RECT{0, 0, 36, 14}));
    auto tab = dev.draws()[0].as<vertex_tra>();
    ASSERT_EQ(tab.size(), 24u);
    EXPECT_FLOAT_EQ(tab[0].u, float(f.get_glyph(' ').left) / 512);
    EXPECT_FLOAT_EQ(tab[18].x, 27.0f);
}

TEST_F(Font, DrawFastBackgroundsHighCodesAndTheQuadLimit) {
    c_font& f = font();
    dev.clear_log();
    f.draw_fast("\xC8", 0, 0, 0.5f, 0xFF00FF00, 0x5F000000, 1.0f, 1.0f);
    ASSERT_EQ(dev.draws().size(), 2u);
    EXPECT_EQ(dev.draws()[0].texture, nullptr);
    EXPECT_EQ(dev.draws()[0].as<vertex_tra>()[0].colour, 0x5F000000u);
    EXPECT_EQ(dev.draws()[1].texture, f.get_texture());
    auto g = dev.draws()[1].as<vertex_tra>();
    EXPECT_FLOAT_EQ(g[0].u, float(f.get_glyph(0xC8).left) / 512);
    EXPECT_FLOAT_EQ(g[4].v, float(f.get_glyph(0xC8).bottom) / 256);
    EXPECT_EQ(g[0].z, 0.5f);
    dev.clear_log();
    RECT r = f.draw_fast(std::string(1023, 'x') + "\tyy", 0, 0, 0.0f, 0xFFFFFFFF, 0, 1.0f, 1.0f);
    EXPECT_EQ(dev.draws()[0].primitive_count, 2u * 1023); // no half tab, nothing past the buffer
    EXPECT_EQ(r.right, 1023 * 9);
    dev.clear_log();
    f.draw_fast("", 0, 0, 0.0f, 0xFFFFFFFF, 0x5F000000, 1.0f, 1.0f);
    EXPECT_EQ(dev.count("DrawPrimitive"), 0);
}

TEST_F(Font, ResetReleasesOnlyTheDrawFastBuffers) {
    c_font& f = font();
    int before = dev.live_default_resources();
    f.before_reset();
    EXPECT_EQ(dev.live_default_resources(), before - 2);
    f.after_reset();
    EXPECT_EQ(dev.live_default_resources(), before);
    EXPECT_EQ(f.get_details().substr(f.get_details().find("\nTEXTURE")),
              "\nTEXTURE WIDTH: 512\nTEXTURE HEIGHT: 256\nNUM CHARS: 256\nTAB WIDTH: 4\nFONT HEIGHT: 14");
}

TEST_F(Font, DrawCharQueuesABackgroundAndTheGlyph) {
    c_font& f = font();
    f.draw_char('Q', 0, 0, 9, 14, 0.3f, 0xFFFFFFFF, 0xFF000000);
    EXPECT_EQ(gfx.get_default_image()->count_tra(), 6);
    EXPECT_EQ(f.get_image()->count_tra(), 6);
}

// ---- text ------------------------------------------------------------------------------------

class Text : public Font {
  protected:
    Text() {
        gdi.width = [](unsigned char c) { return c == 'W' ? 30 : 8; }; // glyphs 9 wide, 'W' 31
        font();
        dev.clear_log();
    }
    std::unique_ptr<c_text> text(const std::string& s, RECT r, int flags, D3DCOLOR background = 0) {
        return std::make_unique<c_text>(&gfx, &font(), s, r.left, r.top, r.right, r.bottom, 0.5f, 0xFFFFFFFF,
                                        background, 1.0f, 1.0f, flags);
    }
};

TEST_F(Text, WrapsAtSpacesWithoutQuadsForTheBreakingSpaces) {
    auto t = text("a b c", {0, 0, 20, 100}, TEXT_WRAP);
    EXPECT_EQ(t->get_line_count(), 3);
    EXPECT_EQ(t->get_quad_count(), 3);
    EXPECT_EQ(t->get_line_widths(), (std::vector<int>{9, 9, 9}));
    ASSERT_EQ(t->get_char_rects().size(), 3u);
    EXPECT_EQ(t->get_char_rects()[2], (RECT{0, 28, 9, 42}));
    EXPECT_EQ(t->get_bounding_box(), (RECT{0, 0, 9, 42}));
}

TEST_F(Text, WordsWiderThanTheLineBreakBeforeTheFirstMisfit) {
    auto t = text("abcdefg", {0, 0, 30, 100}, TEXT_WRAP);
    EXPECT_EQ(t->get_line_widths(), (std::vector<int>{27, 27, 9}));
    EXPECT_EQ(t->get_quad_count(), 7);
    EXPECT_EQ(t->get_char_rects()[3], (RECT{0, 14, 9, 28}));
    auto lone = text("aWa", {0, 0, 20, 100}, TEXT_WRAP);
    EXPECT_EQ(lone->get_line_widths(), (std::vector<int>{9, 31, 9}));
    EXPECT_EQ(lone->get_quad_count(), 3);
    auto unwrapped = text("a b c", {0, 0, 20, 100}, 0);
    EXPECT_EQ(unwrapped->get_line_count(), 1);
    EXPECT_EQ(unwrapped->get_quad_count(), 5);
}

TEST_F(Text, ATrailingBreakAddsALineThatMovesBottomAndCentredBlocks) {
    auto plain = text("ab", {0, 0, 100, 100}, TEXT_BOTTOM);
    auto broken = text("ab\n", {0, 0, 100, 100}, TEXT_BOTTOM);
    EXPECT_EQ(broken->get_line_count(), 2);
    EXPECT_EQ(plain->get_bounding_box().top, 86);
    EXPECT_EQ(broken->get_bounding_box().top, 72);
    EXPECT_EQ(broken->get_char_rects().back(), (RECT{18, 72, 18, 86})); // the break itself
    auto centred = text("ab", {0, 0, 100, 100}, TEXT_CENTER | TEXT_VCENTER);
    EXPECT_EQ(centred->get_bounding_box(), (RECT{41, 43, 59, 57}));
    auto centred2 = text("ab\n", {0, 0, 100, 100}, TEXT_VCENTER);
    EXPECT_EQ(centred2->get_bounding_box().top, 36);
}

TEST_F(Text, RightAlignmentPutsTheLastGlyphOnTheRightEdge) {
    auto t = text("ab\nWa", {10, 0, 200, 100}, TEXT_RIGHT | TEXT_CENTER);
    EXPECT_EQ(t->get_bounding_box().right, 200);
    EXPECT_EQ(t->get_char_rects()[1].right, 200);
    EXPECT_EQ(t->get_char_rects()[4].right, 200);
    EXPECT_EQ(t->get_char_rects()[3].left, 200 - 40);
}

TEST_F(Text, DrawsOneBufferWithoutBackgroundAndTwoWithOne) {
    int before = dev.live_resources();
    auto t = text("hello", {0, 0, 100, 100}, 0);
    EXPECT_EQ(dev.live_resources(), before + 1);
    dev.clear_log();
    t->draw();
    ASSERT_EQ(dev.count("DrawPrimitive"), 1);
    EXPECT_EQ(dev.draws()[0].primitive_count, 10u);
    EXPECT_EQ(dev.draws()[0].texture, font().get_texture());
    auto boxed = text("hi", {0, 0, 100, 100}, 0, 0x80000000);
    EXPECT_EQ(dev.live_resources(), before + 3);
    dev.clear_log();
    boxed->draw();
    ASSERT_EQ(dev.draws().size(), 2u);
    EXPECT_EQ(dev.draws()[0].texture, nullptr);
    EXPECT_EQ(dev.draws()[0].as<vertex_tra>()[4].colour, 0x80000000u);
    t.reset();
    boxed.reset();
    EXPECT_EQ(dev.live_resources(), before);
}

TEST_F(Text, ClippingOutsideTheScissorDrawsNothing) {
    auto inside = text("ab", {10, 10, 100, 100}, TEXT_CLIP);
    auto outside = text("ab", {2000, 2000, 2100, 2100}, TEXT_CLIP);
    dev.clear_log();
    outside->draw();
    EXPECT_EQ(dev.count("DrawPrimitive"), 0);
    EXPECT_EQ(gfx.clip_count(), 0);
    inside->draw();
    EXPECT_EQ(dev.count("DrawPrimitive"), 1);
    auto sets = dev.find("SetScissorRect");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0]->args[0], "10,10,100,100");
    EXPECT_EQ(dev.scissor, (RECT{0, 0, 1024, 768}));
}

TEST_F(Text, EmptyTextMakesNoBuffersAndDrawsNothing) {
    int before = dev.live_resources();
    auto t = text("", {0, 0, 100, 100}, TEXT_WRAP | TEXT_CLIP, 0xFF000000);
    EXPECT_EQ(dev.live_resources(), before);
    t->draw();
    EXPECT_TRUE(dev.log().empty());
    EXPECT_EQ(t->get_line_count(), 0);
    EXPECT_EQ(t->get_bounding_box(), (RECT{0x7FFFFFFF, 0x7FFFFFFF, 0, 0}));
    const std::string details = text("tab", {0, 0, 10, 10}, 0)->get_details();
    const std::string tail = "\nFONT HEIGHT: 14\nTEXT: \"tab\"";
    ASSERT_GE(details.size(), tail.size());
    EXPECT_EQ(details.substr(details.size() - tail.size()), tail);
}

TEST_F(Text, EveryByteTabsAndDegenerateRectanglesLayOutSafely) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    for (RECT r : {RECT{0, 0, 0, 0}, RECT{50, 0, 10, 10}, RECT{0, 0, 1000, 1000}}) {
        for (int flags :
             {0, TEXT_WRAP, TEXT_WRAP | TEXT_RIGHT | TEXT_BOTTOM, TEXT_CENTER | TEXT_VCENTER | TEXT_CLIP}) {
            auto t = text(all + "\t\t \n", r, flags, 0xFF000000);
            // Without wrapping every character counts; a wrap at a space drops that space's quad.
            if (flags & TEXT_WRAP)
                EXPECT_LE(t->get_quad_count(), 254 + 4 + 8 + 1) << flags;
            else
                EXPECT_EQ(t->get_quad_count(), 254 + 4 + 8 + 1) << flags;
            EXPECT_LE(t->get_char_rects().size(), all.size() + 4);
            t->draw();
        }
    }
    auto wrapped = text(all, {50, 0, 10, 10}, TEXT_WRAP);
    EXPECT_EQ(wrapped->get_line_count(), 255 + 1);     // each character alone; '\n' ends a line too
    EXPECT_EQ(wrapped->get_char_rects().size(), 255u); // the line holding only '\n' has no width
    auto tabs = text("a\t\tb", {0, 0, 40, 100}, TEXT_WRAP);
    EXPECT_EQ(tabs->get_quad_count(), 1 + 4 + 4 + 1);
    EXPECT_EQ(tabs->get_line_widths(), (std::vector<int>{9, 36, 36, 9}));
}

TEST_F(Text, WildScalesStayDefined) {
    auto t = std::make_unique<c_text>(&gfx, &font(), "abc", 0, 0, 100, 100, 0.5f, 0xFFFFFFFF, 0, 1.0e30f,
                                      -1.0e30f, TEXT_WRAP | TEXT_VCENTER);
    EXPECT_EQ(t->get_line_count(), 3);
    auto z =
        std::make_unique<c_text>(&gfx, &font(), "abc", 0, 0, 100, 100, 0.5f, 0xFFFFFFFF, 0, 0.0f, 1.0f, 0);
    EXPECT_EQ(z->get_quad_count(), 3);
    EXPECT_TRUE(z->get_char_rects().empty()); // a line of no width writes nothing
    z->draw();
    EXPECT_EQ(dev.draws().back().as<vertex_tra>()[0].x, 0.0f);
}

// ---- scaled text ------------------------------------------------------------------------------

class ScaledText : public Text {
  protected:
    ScaledText() : plain_gdi(dev) {
        gdi.describes = true;
        plain_gdi.width = gdi.width;
        plain = std::make_unique<c_font>(&gfx, nullptr, &plain_gdi); // no description: drawn as before
    }
    struct drawing {
        std::vector<vertex_tra> glyphs; // of the last draw
        IDirect3DTexture9* texture;
        std::vector<std::string> calls; // draws and sampler states, in order
    };
    drawing draw(c_text& t) {
        dev.clear_log();
        t.draw();
        drawing d{dev.draws().back().as<vertex_tra>(), dev.draws().back().texture, {}};
        for (const recorded_call& c : dev.log())
            if (c.name == "DrawPrimitive")
                d.calls.push_back("draw");
            else if (c.name == "SetSamplerState")
                d.calls.push_back(c.args[1] + "=" + c.args[2]);
        return d;
    }
    std::unique_ptr<c_text> text_at(c_font& f, const std::string& s, float sx, float sy, int flags = 0) {
        return std::make_unique<c_text>(&gfx, &f, s, 0, 0, 1024, 768, 0.5f, 0xFF00FF00, 0x7FFFFFFF, sx, sy,
                                        flags);
    }
    std::string codes(int from, int to) {
        std::string out;
        for (int c = from; c < to; ++c)
            out += static_cast<char>(c);
        return out;
    }
    fake_gdi plain_gdi;
    std::unique_ptr<c_font> plain;
};

TEST_F(ScaledText, QuadsStayWhereTheyWereAndEachTexelLandsOnAPixel) {
    struct {
        std::string text, quads; // the code of each quad drawn
        float sx, sy;
        int flags;
        bool filtered; // a quad is not its cell's size
    } cases[] = {{"Victory!", "Victory!", 8, 8, TEXT_CENTER | TEXT_VCENTER, false},
                 {"a\tWb c\nd&e", "a    Wb cd&e", 2, 3, TEXT_WRAP | TEXT_RIGHT, false},
                 {"W\tw", "W    w", 1.5f, 1.5f, TEXT_BOTTOM, true}}; // the tab's last quad takes 15 of 54
    for (const auto& c : cases) {
        const drawing before = draw(*text_at(*plain, c.text, c.sx, c.sy, c.flags));
        const drawing now = draw(*text_at(font(), c.text, c.sx, c.sy, c.flags));
        const c_scaled_atlas* atlas = font().get_scaled_atlas(c.sx, c.sy, c.text);
        ASSERT_NE(atlas, nullptr) << c.text;
        EXPECT_EQ(before.texture, plain->get_texture());
        EXPECT_EQ(before.calls, (std::vector<std::string>{"draw", "draw"}));
        EXPECT_EQ(now.texture, atlas->get_texture());
        if (c.filtered)
            EXPECT_EQ(now.calls, (std::vector<std::string>{"draw", "6=2", "5=2", "draw", "6=1", "5=1"}));
        else
            EXPECT_EQ(now.calls, before.calls) << c.text;
        ASSERT_EQ(now.glyphs.size(), before.glyphs.size());
        ASSERT_EQ(now.glyphs.size(), 6 * c.quads.size());
        for (size_t i = 0; i < now.glyphs.size(); ++i) {
            const vertex_tra &a = now.glyphs[i], &b = before.glyphs[i];
            EXPECT_TRUE(a.x == b.x && a.y == b.y && a.z == b.z && a.rhw == b.rhw && a.colour == b.colour)
                << c.text << " vertex " << i;
        }
        for (size_t q = 0; q < c.quads.size(); ++q) {
            const vertex_tra &tl = now.glyphs[6 * q], &br = now.glyphs[6 * q + 4];
            const RECT& cell = atlas->get_cell(static_cast<unsigned char>(c.quads[q]));
            EXPECT_FLOAT_EQ(tl.u * atlas->get_width(), float(cell.left)) << c.text << " quad " << q;
            EXPECT_FLOAT_EQ(tl.v * atlas->get_height(), float(cell.top)) << c.text << " quad " << q;
            if (c.filtered) continue;
            EXPECT_FLOAT_EQ(float(cell.right - cell.left), br.x - tl.x) << c.text << " quad " << q;
            EXPECT_FLOAT_EQ(float(cell.bottom - cell.top), br.y - tl.y) << c.text << " quad " << q;
        }
    }
}

TEST_F(ScaledText, DrawFastTakesTheSameAtlasForTheSameQuads) {
    auto fast = [&](c_font& f) {
        dev.clear_log();
        f.draw_fast("Wa\tb", 5, 7, 0.5f, 0xFFFFFFFF, 0, 8.0f, 8.0f);
        return std::pair{dev.draws().back().as<vertex_tra>(), dev.draws().back().texture};
    };
    const auto [before, old_texture] = fast(*plain);
    const auto [now, texture] = fast(font());
    EXPECT_EQ(old_texture, plain->get_texture());
    EXPECT_EQ(texture, font().get_scaled_atlas(8, 8, "Wa b")->get_texture());
    EXPECT_EQ(dev.count("SetSamplerState"), 0); // texel for pixel
    ASSERT_EQ(now.size(), before.size());
    for (size_t i = 0; i < now.size(); ++i)
        EXPECT_TRUE(now[i].x == before[i].x && now[i].y == before[i].y) << i;
}

TEST_F(ScaledText, ScalesOfOneOrLessAndWildOnesDrawFromTheFontsOwnAtlas) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (auto [sx, sy] : {std::pair{1.0f, 1.0f},
                          {0.5f, 1.0f},
                          {1.0f, 0.25f},
                          {nan, 2.0f},
                          {2.0f, 0.0f},
                          {inf, inf},
                          {-2.0f, 2.0f}}) {
        const drawing d = draw(*text_at(font(), "ab", sx, sy));
        EXPECT_EQ(d.texture, font().get_texture()) << sx << " " << sy;
        EXPECT_EQ(d.calls, (std::vector<std::string>{"draw", "draw"})) << sx << " " << sy;
    }
    EXPECT_EQ(font().scaled_atlas_count(), 0);
    EXPECT_TRUE(gdi.created.empty());
}

TEST_F(ScaledText, TheAtlasFontIsTheFontAtTheDrawnSizeAntialiasedUpToTheRasterLimit) {
    struct {
        float sx, sy;
        LONG width;                       // of the font's description
        LONG made_height, made_width;     // of the atlas's font
        int cell_w_height, cell_h_height; // 'W' cell
    } cases[] = {{8, 8, 8, 112, 64, 248, 112},
                 {2, 3, 8, 42, 16, 62, 42},
                 {2, 2, 0, 28, 0, 62, 28},
                 {2, 3, 0, 42, 14, 62, 42},       // different scales keep the average width
                 {40, 40, 8, 116, 66, 256, 115}}; // 'W' 1240 wide: at most 256
    for (const auto& c : cases) {
        font_.reset();
        gdi.description.lfWidth = c.width;
        const c_scaled_atlas* atlas = font().get_scaled_atlas(c.sx, c.sy, "W");
        ASSERT_NE(atlas, nullptr);
        const LOGFONTA& made = gdi.created.back();
        EXPECT_EQ(made.lfHeight, c.made_height) << c.sx << " " << c.sy;
        EXPECT_EQ(made.lfWidth, c.made_width) << c.sx << " " << c.sy;
        EXPECT_EQ(made.lfQuality, ANTIALIASED_QUALITY);
        EXPECT_EQ(made.lfWeight, FW_BOLD);
        EXPECT_STREQ(made.lfFaceName, "Fake");
        const RECT& w = atlas->get_cell('W');
        EXPECT_EQ(w.right - w.left, c.cell_w_height) << c.sx;
        EXPECT_EQ(w.bottom - w.top, c.cell_h_height) << c.sx;
    }
    // Past the limit the quads magnify their cells, through linear filtering.
    EXPECT_EQ(draw(*text_at(font(), "W", 40, 40)).calls,
              (std::vector<std::string>{"draw", "6=2", "5=2", "draw", "6=1", "5=1"}));
    // GDI that cannot make the font at that size: drawn as before, and not asked again.
    font_.reset();
    gdi.created.clear();
    gdi.describes = false;
    EXPECT_EQ(draw(*text_at(font(), "ab", 8, 8)).texture, font().get_texture());
    EXPECT_EQ(font().get_scaled_atlas(3, 3, "ab"), nullptr);
    EXPECT_TRUE(gdi.created.empty());
}

TEST_F(ScaledText, AnAtlasHoldsOnlyTheGlyphsDrawnInAtMostMaxSizeSquared) {
    auto held = [](const c_scaled_atlas* a) {
        std::string out;
        if (!a) return std::string("no atlas");
        for (int c = 0; c < 256; ++c)
            if (a->holds(static_cast<unsigned char>(c))) out += static_cast<char>(c);
        return out;
    };
    gdi.ink = 0x00404040; // a grey edge pixel
    const c_scaled_atlas* a = font().get_scaled_atlas(8, 8, "ab\n");
    EXPECT_EQ(held(a), "ab");
    EXPECT_EQ(a->get_width() * a->get_height(), 256 * 128); // two 72 x 112 cells
    auto& pixels = static_cast<recording_texture*>(a->get_texture())->level(0);
    EXPECT_EQ(pixels.pixel(a->get_cell('b').left, a->get_cell('b').top), 0x40FFFFFFu);
    EXPECT_EQ(pixels.pixel(a->get_cell('b').left + 1, a->get_cell('b').top), 0x00FFFFFFu);
    const unsigned first = a->get_generation();
    EXPECT_EQ(font().get_scaled_atlas(8, 8, "ba")->get_generation(), first);
    a = font().get_scaled_atlas(8, 8, "c\td");
    EXPECT_EQ(held(a), " abcd"); // with the glyphs held before
    EXPECT_NE(a->get_generation(), first);
    // 126 cells of 73 x 113 fit 1024 x 1024: not all 256 codes, which are then drawn as before.
    EXPECT_EQ(font().get_scaled_atlas(8, 8, codes(1, 256)), nullptr);
    EXPECT_EQ(draw(*text_at(font(), codes(1, 256), 8, 8)).texture, font().get_texture());
    EXPECT_EQ(held(font().get_scaled_atlas(8, 8, "ab")), " abcd");
    EXPECT_EQ(held(font().get_scaled_atlas(8, 8, codes(100, 220))).size(), 120u + 4);
    EXPECT_EQ(held(font().get_scaled_atlas(8, 8, codes(33, 43))), codes(33, 43)); // alone, no room left
    for (const recorded_call* c : dev.find("CreateTexture")) {
        EXPECT_LE(std::stoi(c->args[0]), c_scaled_atlas::max_size);
        EXPECT_LE(std::stoi(c->args[1]), c_scaled_atlas::max_size);
    }
}

TEST_F(ScaledText, TextsFollowTheirAtlasPackedAnewEvictedOrRepaintedAfterAReset) {
    auto t = text_at(font(), "ab", 8, 8);
    auto u_of_a = [&] {
        const c_scaled_atlas* a = font().get_scaled_atlas(8, 8, "ab");
        return float(a->get_cell('a').left) / a->get_width();
    };
    EXPECT_FLOAT_EQ(draw(*t).glyphs[0].u, u_of_a());
    font().get_scaled_atlas(8, 8, codes(1, 97)); // 'a' moves right
    EXPECT_FLOAT_EQ(draw(*t).glyphs[0].u, u_of_a());
    EXPECT_GT(draw(*t).glyphs[0].u, 0.5f);
    for (float s : {2.0f, 3.0f, 4.0f, 5.0f})
        font().get_scaled_atlas(s, s, "x");
    EXPECT_EQ(font().scaled_atlas_count(), c_font::max_scaled_atlases); // 8 x 8 was the oldest
    drawing again = draw(*t);
    EXPECT_EQ(font().scaled_atlas_count(), c_font::max_scaled_atlases);
    EXPECT_EQ(again.texture, font().get_scaled_atlas(8, 8, "ab")->get_texture());
    EXPECT_FLOAT_EQ(again.glyphs[0].u, u_of_a());

    const c_scaled_atlas* a = font().get_scaled_atlas(8, 8, "ab");
    const unsigned generation = a->get_generation();
    const RECT cell = a->get_cell('b');
    font().before_reset();
    EXPECT_EQ(a->get_texture(), nullptr);
    font().after_reset();
    ASSERT_NE(a->get_texture(), nullptr);
    EXPECT_EQ(a->get_generation(), generation);
    EXPECT_EQ(a->get_cell('b'), cell);
    EXPECT_EQ(static_cast<recording_texture*>(a->get_texture())->level(0).pixel(cell.left, cell.top),
              0xFFFFFFFFu);
    EXPECT_EQ(draw(*t).texture, a->get_texture());
}

} // namespace

namespace {

// The atlas painted by the platform's GDI with an installed face: glyphs land inside their
// own cells, and the '&' cell holds one ampersand, not a prefix underline.
TEST(FontWithGdi, GlyphPixelsStayInsideTheirCells) {
    recording_device dev;
    c_gfx gfx(&dev, 2.0e-5f);
    c_font font(&gfx, CreateFontA(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans"));
    EXPECT_EQ(font.get_height(), 16);
    auto& atlas = static_cast<recording_texture*>(font.get_texture())->level(0);
    auto ink_in = [&](const RECT& r) {
        int n = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                n += atlas.pixel(x, y) == 0xFFFFFFFFu;
        return n;
    };
    int inside = 0, total = 0;
    for (int c = 0; c < 256; ++c)
        inside += ink_in(font.get_glyph(static_cast<unsigned char>(c)));
    for (UINT y = 0; y < 256; ++y)
        for (UINT x = 0; x < 512; ++x) {
            DWORD p = atlas.pixel(x, y);
            EXPECT_TRUE(p == 0xFFFFFFFFu || p == 0u);
            total += p == 0xFFFFFFFFu;
        }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(inside, total);
    EXPECT_GT(ink_in(font.get_glyph('&')), 10);
    EXPECT_EQ(ink_in(font.get_glyph(' ')), 0);
    // '&' measured alone is as wide as itself, not as the two characters of "&&".
    EXPECT_LT(font.glyph_width('&'), 2 * font.glyph_width('n'));
}

} // namespace
