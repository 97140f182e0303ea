// The framework's drawing on the real OpenGL device: text from the game font and the sorted
// translucent pass, read back from the back buffer.
#include "framework/font.h"
#include "framework/gfx.h"
#include "platform/wingdi.h"
#include "tests/gl/gl_test_util.h"

namespace {
class GlDrawing : public gl_test {
  protected:
    void SetUp() override {
        gl_test::SetUp();
        // The render set-up the core makes at start-up.
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
        gfx = new c_gfx(dev, 2e-5f);
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
