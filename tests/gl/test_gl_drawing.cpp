// The framework's drawing on the real OpenGL device: text from the game font (at its size and
// at the banner's scale of 8) and the sorted translucent pass, read back from the back buffer.
#include <cmath>
#include <set>

#include "framework/font.h"
#include "framework/gfx.h"
#include "platform/wingdi.h"
#include "tests/gl/gl_test_util.h"

namespace {
class GlDrawing : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        render_setup();
        gfx = new c_gfx(dev, 2e-5f);
    }
    // The render set-up the core makes at start-up and after a reset.
    void render_setup() {
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        dev->SetRenderState(D3DRS_ALPHAREF, 0);
        dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        dev->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
        dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    }
    void TearDown() override {
        delete gfx;
        gl_test::TearDown();
    }
    c_gfx* gfx = nullptr;
};
} // namespace

TEST_F(GlDrawing, GameFontTextLeavesPixelsOnlyInsideItsBoundingBox) {
    c_font font(gfx, CreateFontA(16, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"));
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    c_text text(gfx, &font, "Harnvale & friends\nwrapped text", 10, 20, 230, 180, 0.5f, 0xFFFFFF00, 0, 1.0f,
                1.0f, 0x20);
    text.draw();
    ASSERT_EQ(dev->EndScene(), D3D_OK);
    RECT box = text.get_bounding_box();
    ASSERT_GT(box.right, box.left);
    pixels p = grab();
    int inside = 0, outside = 0;
    for (int y = 0; y < static_cast<int>(p.height); ++y)
        for (int x = 0; x < static_cast<int>(p.width); ++x) {
            if (p.at(x, y) == 0) continue;
            bool in = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
            (in ? inside : outside)++;
            if (in) {
                EXPECT_EQ(p.at(x, y), 0xFFFF00u) << x << "," << y; // hard edges: only the text colour
            }
        }
    EXPECT_GT(inside, 200);
    EXPECT_EQ(outside, 0);
    EXPECT_GE(text.get_line_count(), 2);
}

TEST_F(GlDrawing, TranslucentQuadsBlendFarToNearWhateverTheQueueOrder) {
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(dev->BeginScene(), D3D_OK);
    // The near red quad is queued first; sorting must still draw the far blue one first.
    gfx->add_quad_tra(20, 20, 120, 120, 0.1f, 0.0f, nullptr, 0, 0, 0, 0, 0x80FF0000);
    gfx->add_quad_tra(60, 60, 160, 160, 0.5f, 0.0f, nullptr, 0, 0, 0, 0, 0x800000FF);
    gfx->flush();
    ASSERT_EQ(dev->EndScene(), D3D_OK);
    pixels p = grab();
    auto channel = [&](int x, int y, int shift) { return static_cast<int>((p.at(x, y) >> shift) & 0xFF); };
    // Overlap: red over (blue over black) = (128, 0, 64) give or take rounding.
    EXPECT_NEAR(channel(90, 90, 16), 128, 3);
    EXPECT_NEAR(channel(90, 90, 0), 64, 3);
    EXPECT_NEAR(channel(40, 40, 16), 128, 3);  // red alone
    EXPECT_NEAR(channel(140, 140, 0), 128, 3); // blue alone
    EXPECT_EQ(p.at(200, 10), 0u);
}

namespace {

// A font whose GDI gives no description has no scaled atlas: its scaled text is drawn as it
// always was, the font's own atlas magnified with point sampling.
class no_description_gdi : public c_font_gdi {
  public:
    BOOL get_description(HFONT, LOGFONTA*) override { return FALSE; }
};

} // namespace

TEST_F(GlDrawing, BannerTextAtScaleEightKeepsItsQuadsAndGetsSmoothSharpEdges) {
    HFONT handle = CreateFontA(16, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
    LOGFONTA description{};
    ASSERT_EQ(GetObjectA(handle, sizeof description, &description), int(sizeof description));
    c_font font(gfx, handle);
    no_description_gdi blocky_gdi;
    c_font blocky(gfx, CreateFontIndirectA(&description), &blocky_gdi);
    // As draw_banner lays it out: centred on one line over the screen, eight times as large.
    auto banner = [&](c_font& f) {
        return std::make_unique<c_text>(gfx, &f, "Victory!", 0, 0, client_w, client_h, 0.0f, 0xFFFFFFFF, 0,
                                        8.0f, 8.0f, TEXT_CENTER | TEXT_VCENTER);
    };
    auto draw = [&](c_text& t) {
        EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
        EXPECT_EQ(dev->BeginScene(), D3D_OK);
        t.draw();
        EXPECT_EQ(dev->EndScene(), D3D_OK);
        std::vector<int> grey; // white text on black: the green channel of each pixel
        for (uint32_t p : grab().data)
            grey.push_back(static_cast<int>((p >> 8) & 0xFF));
        return grey;
    };
    auto smooth_text = banner(font), blocky_text = banner(blocky);
    const std::vector<int> smooth = draw(*smooth_text), before = draw(*blocky_text);

    // The same quads, cut from another texture.
    const std::vector<vertex_tra> v = smooth_text->get_glyph_vertices(),
                                  w = blocky_text->get_glyph_vertices();
    ASSERT_EQ(v.size(), 6u * 8);
    ASSERT_EQ(w.size(), v.size());
    for (size_t i = 0; i < v.size(); ++i)
        EXPECT_TRUE(v[i].x == w[i].x && v[i].y == w[i].y && v[i].z == w[i].z && v[i].colour == w[i].colour)
            << i;
    EXPECT_NE(v[0].u, w[0].u);
    EXPECT_EQ(font.scaled_atlas_count(), 1);
    EXPECT_EQ(blocky.scaled_atlas_count(), 0);

    // Per glyph in view: as much ink in about the same place; edges with many grey levels that
    // are one or two pixels wide (sharp), where the magnified atlas has none at all.
    int intermediate = 0, inked = 0, blocky_intermediate = 0, checked = 0;
    std::set<int> levels;
    for (const RECT& r : smooth_text->get_char_rects()) {
        if (r.left < 0 || r.right > client_w) continue;
        double ink[2] = {0, 0}, centre[2] = {0, 0};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const int a = smooth[static_cast<size_t>(y) * client_w + x];
                const int b = before[static_cast<size_t>(y) * client_w + x];
                ink[0] += a / 255.0, centre[0] += x * a / 255.0;
                ink[1] += b / 255.0, centre[1] += x * b / 255.0;
                if (a > 0 && a < 255) ++intermediate, levels.insert(a);
                inked += a > 0;
                blocky_intermediate += b > 0 && b < 255;
            }
        ASSERT_GT(ink[1], 500) << r.left;
        EXPECT_NEAR(ink[0] / ink[1], 1.0, 0.45) << r.left;
        EXPECT_NEAR(centre[0] / ink[0], centre[1] / ink[1], 8.0) << r.left;
        ++checked;
    }
    EXPECT_GE(checked, 2);
    EXPECT_EQ(blocky_intermediate, 0);
    EXPECT_GE(levels.size(), 64u);
    EXPECT_GT(intermediate, inked / 20);
    EXPECT_LT(intermediate, inked / 4);

    // Texel for pixel, linear filtering would give the very same pixels.
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(draw(*smooth_text), smooth);
    dev->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    dev->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);

    // A device reset repaints the atlas: the same pixels afterwards.
    font.before_reset();
    blocky.before_reset();
    gfx->before_reset();
    ASSERT_EQ(dev->Reset(&params), D3D_OK);
    render_setup();
    gfx->after_reset();
    blocky.after_reset();
    font.after_reset();
    EXPECT_EQ(draw(*smooth_text), smooth);
}
