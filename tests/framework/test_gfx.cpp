// The graphics wrapper and image batches against the recording device: clip stack, texture
// binding, the point-sprite rule, batching, the translucent queue and the image registry.
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "framework/gfx.h"
#include "platform/d3dx9.h"
#include "tests/fakes/recording_device.h"
#include "tests/rect_equal.h"
#include "tests/test_util.h"

namespace {

constexpr float k_pi = 3.14159265358979f;

// A raise with its message, function and HRESULT.
void expect_raise(const std::function<void()>& f, const std::string& message, const std::string& function,
                  HRESULT hr) {
    try {
        f();
        ADD_FAILURE() << "expected a raise of: " << message;
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, message);
        EXPECT_EQ(e.function, function);
        EXPECT_EQ(e.hresult, hr);
    }
}

vertex_tra vt(float x, float y, float z, D3DCOLOR c) {
    return {x, y, z, 1.0f, c, 0.0f, 0.0f};
}

class Gfx : public ::testing::Test {
  protected:
    Gfx() : gfx(&dev, 2.0e-5f) { dev.clear_log(); }
    // A managed A8R8G8B8 texture whose pixels are all `pixel`.
    IDirect3DTexture9* make_texture(UINT w, UINT h, DWORD pixel) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev.CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        auto* rt = static_cast<recording_texture*>(t);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                rt->level(0).pixel(x, y) = pixel;
        return t;
    }
    recording_device dev;
    c_gfx gfx;
};

TEST_F(Gfx, ClipsOnlyShrinkAndAnEmptyIntersectionLeavesTheStack) {
    ASSERT_TRUE(gfx.clip(100, 100, 200, 200));
    ASSERT_TRUE(gfx.clip(150, 50, 300, 180));
    EXPECT_EQ(dev.scissor, (RECT{150, 100, 200, 180}));
    int sets = dev.count("SetScissorRect");
    EXPECT_FALSE(gfx.clip(500, 500, 600, 600));
    EXPECT_FALSE(gfx.clip(160, 120, 160, 150)); // zero width
    EXPECT_EQ(gfx.clip_count(), 2);
    EXPECT_EQ(dev.count("SetScissorRect"), sets);
    EXPECT_EQ(dev.scissor, (RECT{150, 100, 200, 180}));
    gfx.unclip();
    EXPECT_EQ(dev.scissor, (RECT{100, 100, 200, 200}));
    gfx.unclip();
    EXPECT_EQ(dev.scissor, (RECT{0, 0, 1024, 768}));
    expect_raise([&] { gfx.unclip(); }, "Unclip without matching clip.", "c_gfx::unclip", 0);
}

TEST_F(Gfx, ScissorFailuresRaiseWithTheirHresult) {
    dev.fail_next("GetScissorRect", E_FAIL);
    expect_raise([&] { gfx.clip(0, 0, 10, 10); }, "Unable to get the scissor rect.", "c_gfx::clip", E_FAIL);
    dev.fail_next("SetScissorRect", D3DERR_INVALIDCALL);
    expect_raise([&] { gfx.clip(0, 0, 10, 10); }, "Unable to set the scissor rect.", "c_gfx::clip",
                 D3DERR_INVALIDCALL);
    EXPECT_EQ(gfx.clip_count(), 0);
}

TEST_F(Gfx, SetTextureSkipsTheBoundTextureAndReleasesTheQuery) {
    IDirect3DTexture9* t = make_texture(2, 2, 0xFFFFFFFF);
    gfx.set_texture(0, t);
    EXPECT_EQ(dev.count("SetTexture"), 1);
    gfx.set_texture(0, t);
    EXPECT_EQ(dev.count("SetTexture"), 1);
    EXPECT_EQ(dev.count("GetTexture"), 2);
    EXPECT_EQ(static_cast<recording_texture*>(t)->refs(), 1u);
    gfx.set_texture(0, nullptr);
    EXPECT_EQ(dev.texture(0), nullptr);
    dev.fail_next("SetTexture", E_FAIL);
    expect_raise([&] { gfx.set_texture(0, t); }, "Unable to set the texture.", "c_gfx::set_texture", E_FAIL);
    t->Release();
}

TEST_F(Gfx, PointSpriteOnlyForSquareUprightWholeTextureQuadsUpToTheMaximum) {
    c_image* img = gfx.get_default_image();
    gfx.add_quad_tra(0, 0, 64, 64, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    EXPECT_EQ(img->count_ps(), 1);
    EXPECT_EQ(img->count_tra(), 0);
    gfx.add_quad_tra(0, 0, 65, 65, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    EXPECT_EQ(img->count_tra(), 6);
    gfx.add_quad_tra(0, 0, 32, 32, 0.5f, 0.1f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    EXPECT_EQ(img->count_tra(), 12);
    gfx.add_quad_tra(0, 0, 32, 32, 0.5f, 0.0f, nullptr, 0, 0.5f, 0, 1, 0xFFFFFFFF);
    EXPECT_EQ(img->count_tra(), 18);
    gfx.add_quad_tra(0, 0, 0, 0, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF); // empty: never a 1-pixel dot
    EXPECT_EQ(img->count_ps(), 1);
    gfx.flush();
    ASSERT_EQ(dev.draws().size(), 2u);
    const draw_record& sprites = dev.draws()[1];
    EXPECT_EQ(sprites.type, D3DPT_POINTLIST);
    EXPECT_EQ(sprites.fvf, FVF_PS);
    auto s = sprites.as<vertex_ps>();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].x, 32.0f);
    EXPECT_EQ(s[0].y, 32.0f);
    EXPECT_EQ(s[0].size, 64.0f);
    EXPECT_EQ(dev.draws()[0].primitive_count, 8u);
}

TEST(GfxCaps, ADeviceWithoutPointSizeGetsOnePixelPoints) {
    recording_d3d d3d;
    d3d.caps.MaxPointSize = 0.0f;
    D3DPRESENT_PARAMETERS p{};
    p.Windowed = TRUE;
    recording_device dev(&d3d, p);
    c_gfx gfx(&dev, 2.0e-5f);
    EXPECT_EQ(gfx.get_max_point_size(), 1.0f);
    gfx.add_quad_tra(0, 0, 2, 2, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    EXPECT_EQ(gfx.get_default_image()->count_tra(), 6);
}

TEST_F(Gfx, QuadsKeepIntegerCornersAndTurnAboutTheirCentre) {
    gfx.draw_quad_tra(10, 20, 30, 40, 0.25f, 0.0f, nullptr, 0, 1, 0, 1, 0xFF102030);
    ASSERT_EQ(dev.draws().size(), 1u);
    EXPECT_EQ(dev.draws()[0].type, D3DPT_TRIANGLESTRIP);
    auto q = dev.draws()[0].as<vertex_tra>();
    ASSERT_EQ(q.size(), 4u);
    EXPECT_EQ(q[0].x, 10.0f);
    EXPECT_EQ(q[0].y, 20.0f);
    EXPECT_EQ(q[1].x, 30.0f);
    EXPECT_EQ(q[2].y, 40.0f);
    EXPECT_EQ(q[3].u, 1.0f);
    EXPECT_EQ(q[3].colour, 0xFF102030u);

    gfx.draw_quad_tra(0, 0, 20, 10, 0.25f, k_pi / 2, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    auto r = dev.draws()[1].as<vertex_tra>();
    float min_x = 1e9f, max_x = -1e9f, min_y = 1e9f, max_y = -1e9f;
    for (const auto& v : r) {
        min_x = std::min(min_x, v.x), max_x = std::max(max_x, v.x);
        min_y = std::min(min_y, v.y), max_y = std::max(max_y, v.y);
    }
    EXPECT_NEAR(min_x, 5.0f, 1e-4);
    EXPECT_NEAR(max_x, 15.0f, 1e-4);
    EXPECT_NEAR(min_y, -5.0f, 1e-4);
    EXPECT_NEAR(max_y, 15.0f, 1e-4);
    // A positive angle turns clockwise on the y-down screen: the top-left corner goes top-right.
    EXPECT_NEAR(r[0].x, 15.0f, 1e-4);
    EXPECT_NEAR(r[0].y, -5.0f, 1e-4);
}

TEST_F(Gfx, WorldQuadsUseTheirOwnFormatAndBuffer) {
    gfx.draw_quad_unt(0, 0, 4, 4, 1.0f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    ASSERT_EQ(dev.draws().size(), 1u);
    EXPECT_EQ(dev.draws()[0].fvf, FVF_UNT);
    EXPECT_EQ(dev.draws()[0].as<vertex_unt>()[3].x, 4.0f);
    dev.fail_next("DrawPrimitive", E_FAIL);
    expect_raise([&] { gfx.draw_quad_unt(0, 0, 4, 4, 1.0f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF); },
                 "Unable to draw the primitive.", "c_gfx::draw_quad_unt", E_FAIL);
}

TEST_F(Gfx, TheTwoHundredthOpaqueTriangleDrawsTheBatch) {
    c_image* img = gfx.get_default_image();
    const vertex_tra tri[3] = {vt(0, 0, 0.5f, 0xFFFFFFFF), vt(10, 0, 0.5f, 0xFFFFFFFF),
                               vt(0, 10, 0.5f, 0xFFFFFFFF)};
    for (int i = 0; i < 199; ++i)
        img->add_triangle_tra(tri, false);
    EXPECT_EQ(dev.count("DrawPrimitive"), 0);
    img->add_triangle_tra(tri, false);
    ASSERT_EQ(dev.count("DrawPrimitive"), 1);
    EXPECT_EQ(dev.draws()[0].primitive_count, 200u);
    EXPECT_EQ(img->count_tra(), 0);
    img->add_triangle_tra(tri, false);
    EXPECT_EQ(img->count_tra(), 3);
    EXPECT_EQ(dev.count("DrawPrimitive"), 1);
    gfx.flush();
    ASSERT_EQ(dev.draws().size(), 2u);
    EXPECT_EQ(dev.draws()[1].primitive_count, 1u);
    EXPECT_EQ(dev.draws()[1].as<vertex_tra>()[1].x, 10.0f); // not the discarded old contents
}

TEST_F(Gfx, TranslucencyComesFromAnyVertexAlphaOrTheTexture) {
    c_image* img = gfx.get_default_image();
    const vertex_tra opaque[3] = {vt(0, 0, 0.3f, 0xFFFFFFFF), vt(1, 0, 0.3f, 0xFFFFFFFF),
                                  vt(0, 1, 0.6f, 0xFFFFFFFF)};
    const vertex_tra one_fe[3] = {vt(0, 0, 0.3f, 0xFFFFFFFF), vt(1, 0, 0.3f, 0xFEFFFFFF),
                                  vt(0, 1, 0.6f, 0xFFFFFFFF)};
    img->add_triangle_tra(opaque, false);
    img->add_triangle_tra(one_fe, false);
    EXPECT_EQ(img->count_tra(), 3);
    ASSERT_EQ(gfx.get_alpha_records().size(), 1u);
    EXPECT_NEAR(gfx.get_alpha_records()[0].depth, 0.4f, 1e-6);

    IDirect3DTexture9* solid = make_texture(4, 4, 0xFF00FF00);
    c_image* sprite_img = gfx.get_image(solid, 0.5f);
    gfx.add_quad_tra(10, 10, 26, 26, 0.7f, 0.0f, sprite_img, 0, 1, 0, 1, 0x80FFFFFF);
    ASSERT_EQ(gfx.get_alpha_records().size(), 2u);
    const alpha_record& r = gfx.get_alpha_records()[1];
    EXPECT_EQ(r.depth, 0.7f);
    EXPECT_EQ(r.point_size, 16.0f);
    EXPECT_EQ(r.image, sprite_img);
    EXPECT_EQ(sprite_img->count_ps(), 0);

    IDirect3DTexture9* soft = make_texture(2, 2, 0x80FFFFFF);
    c_image* soft_img = gfx.get_image(soft, 0.5f);
    soft_img->add_triangle_tra(opaque, false);
    EXPECT_EQ(gfx.get_alpha_records().size(), 3u);
    EXPECT_EQ(soft_img->count_tra(), 0);
    sprite_img->release();
    soft_img->release();
    EXPECT_EQ(gfx.get_alpha_records().size(), 1u); // a released image leaves no record behind
    solid->Release();
    soft->Release();
}

TEST_F(Gfx, TranslucentPassDrawsFarToNearWithDepthWritesOff) {
    IDirect3DTexture9* ta = make_texture(2, 2, 0xFFFFFFFF);
    IDirect3DTexture9* tb = make_texture(2, 2, 0xFFFFFFFF);
    c_image* a = gfx.get_image(ta, 0.1f);
    c_image* b = gfx.get_image(tb, 0.2f);
    gfx.add_quad_tra(0, 0, 10, 20, 0.2f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF); // two triangles, near
    gfx.add_quad_tra(0, 0, 10, 20, 0.8f, 0.0f, b, 0, 1, 0, 1, 0x80FFFFFF); // far
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF); // middle
    gfx.add_quad_tra(0, 0, 8, 8, 0.4f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF);   // a sprite between
    EXPECT_EQ(dev.count("DrawPrimitive"), 0);
    gfx.flush();
    // b alone, then a's run: the sprite amid a's triangles joins them as the two triangles of its
    // square, so the run is one draw, still far to near.
    ASSERT_EQ(dev.draws().size(), 2u) << dev.names();
    EXPECT_EQ(dev.draws()[0].texture, tb);
    EXPECT_EQ(dev.draws()[0].as<vertex_tra>()[0].z, 0.8f);
    EXPECT_EQ(dev.draws()[1].texture, ta);
    EXPECT_EQ(dev.draws()[1].type, D3DPT_TRIANGLELIST);
    const auto run = dev.draws()[1].as<vertex_tra>();
    ASSERT_EQ(run.size(), 18u);
    EXPECT_EQ(run[0].z, 0.5f);
    EXPECT_EQ(run[6].z, 0.4f);
    EXPECT_EQ(run[17].z, 0.2f);
    // The sprite's square: 8 x 8 at (0, 0) with the whole texture.
    float l = 1e9f, r = -1e9f, t = 1e9f, b_ = -1e9f;
    for (int i = 6; i < 12; ++i) {
        l = std::min(l, run[i].x);
        r = std::max(r, run[i].x);
        t = std::min(t, run[i].y);
        b_ = std::max(b_, run[i].y);
        EXPECT_TRUE((run[i].u == 0 || run[i].u == 1) && (run[i].v == 0 || run[i].v == 1));
    }
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, 8.0f);
    EXPECT_EQ(t, 0.0f);
    EXPECT_EQ(b_, 8.0f);
    auto states = dev.find("SetRenderState");
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0]->args, (std::vector<std::string>{"14", "0"}));
    EXPECT_EQ(states[1]->args, (std::vector<std::string>{"14", "1"}));
    EXPECT_TRUE(gfx.get_alpha_records().empty());
    a->release();
    b->release();
    ta->Release();
    tb->Release();
}

TEST_F(Gfx, TranslucentSpritesAloneStaySpritesAndOtherImagesStillSplitRuns) {
    IDirect3DTexture9* ta = make_texture(2, 2, 0xFFFFFFFF);
    IDirect3DTexture9* tb = make_texture(2, 2, 0xFFFFFFFF);
    c_image* a = gfx.get_image(ta, 0.1f);
    c_image* b = gfx.get_image(tb, 0.2f);
    gfx.add_quad_tra(0, 0, 8, 8, 0.9f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF);
    gfx.add_quad_tra(4, 4, 12, 12, 0.8f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF);
    gfx.add_quad_tra(0, 0, 10, 20, 0.7f, 0.0f, b, 0, 1, 0, 1, 0x80FFFFFF); // another image between
    gfx.add_quad_tra(0, 0, 8, 8, 0.6f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF);
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, a, 0, 1, 0, 1, 0x80FFFFFF);
    gfx.flush();
    ASSERT_EQ(dev.draws().size(), 3u) << dev.names();
    EXPECT_EQ(dev.draws()[0].type, D3DPT_POINTLIST);
    EXPECT_EQ(dev.draws()[0].vertex_count(), 2u);
    EXPECT_EQ(dev.draws()[1].texture, tb);
    EXPECT_EQ(dev.draws()[2].type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(dev.draws()[2].vertex_count(), 12u);
    a->release();
    b->release();
    ta->Release();
    tb->Release();
}

TEST_F(Gfx, NothingQueuedMeansNoDeviceCall) {
    gfx.flush();
    gfx.draw_alpha_triangles();
    gfx.get_default_image()->draw_tra();
    EXPECT_TRUE(dev.log().empty()) << dev.names();
}

TEST_F(Gfx, WorldTrianglesInTheTranslucentPassSortByProjectedDepth) {
    c_image* img = gfx.get_default_image();
    const vertex_unt near_tri[3] = {
        {0, 0, 0.1f, 0x80FFFFFF, 0, 0}, {1, 0, 0.1f, 0x80FFFFFF, 0, 0}, {0, 1, 0.1f, 0x80FFFFFF, 0, 0}};
    const vertex_unt far_tri[3] = {
        {0, 0, 0.9f, 0x80FFFFFF, 0, 0}, {1, 0, 0.9f, 0x80FFFFFF, 0, 0}, {0, 1, 0.9f, 0x80FFFFFF, 0, 0}};
    img->add_triangle_unt(near_tri, false);
    img->add_triangle_unt(far_tri, false);
    EXPECT_EQ(img->count_unt(), 0);
    gfx.flush();
    ASSERT_EQ(dev.draws().size(), 1u); // same image and kind: one draw, far first
    auto v = dev.draws()[0].as<vertex_unt>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].z, 0.9f);
    EXPECT_EQ(v[3].z, 0.1f);
    EXPECT_EQ(dev.draws()[0].fvf, FVF_UNT);
}

TEST_F(Gfx, RegistrySharesByTextureAndOrderAndKeepsOrdersSorted) {
    IDirect3DTexture9* t = make_texture(2, 2, 0xFFFFFFFF);
    c_image* late = gfx.get_image(t, 0.6f);
    c_image* first = gfx.get_image(t, 0.2f);
    c_image* again = gfx.get_image(t, 0.2f);
    EXPECT_EQ(first, again);
    EXPECT_EQ(first->refcount, 2);
    EXPECT_NE(first, late);
    EXPECT_EQ(static_cast<recording_texture*>(t)->refs(), 3u);
    const auto& images = gfx.get_images();
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0], gfx.get_default_image());
    EXPECT_EQ(images[1], first);
    EXPECT_EQ(images[2], late);
    first->release();
    EXPECT_EQ(gfx.get_images().size(), 3u);
    first->release();
    late->release();
    EXPECT_EQ(gfx.get_images().size(), 1u);
    EXPECT_EQ(static_cast<recording_texture*>(t)->refs(), 1u);
    t->Release();
    EXPECT_EQ(dev.live_resources(), 2); // the quad buffers: no image was queued into
}

TEST_F(Gfx, ScanAlphaFindsPartialAlphaOnly) {
    IDirect3DTexture9* half = make_texture(1, 1, 0x80FFFFFF);
    IDirect3DTexture9* keyed = make_texture(3, 3, 0xFFFFFFFF);
    static_cast<recording_texture*>(keyed)->level(0).pixel(2, 2) = 0x00000000;
    IDirect3DTexture9* last_pixel = make_texture(3, 3, 0xFF000000);
    static_cast<recording_texture*>(last_pixel)->level(0).pixel(2, 2) = 0x01000000;
    c_image a(&gfx, half, 0.0f), b(&gfx, keyed, 0.0f), c(&gfx, last_pixel, 0.0f);
    EXPECT_TRUE(a.get_has_alpha());
    EXPECT_FALSE(b.get_has_alpha());
    EXPECT_TRUE(c.get_has_alpha());
    dev.fail_next("LockRect", E_FAIL);
    expect_raise([&] { c_image d(&gfx, half, 0.0f); }, "Unable to lock the texture.", "c_image::scan_alpha",
                 E_FAIL);
    half->Release();
    keyed->Release();
    last_pixel->Release();
}

TEST_F(Gfx, ResetCycleReleasesEveryDefaultPoolBufferAndRebuildsThem) {
    IDirect3DTexture9* t = make_texture(2, 2, 0xFFFFFFFF);
    c_image* img = gfx.get_image(t, 0.3f);
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, img, 0, 1, 0, 1, 0xFFFFFFFF);
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, img, 0, 1, 0, 1, 0x80FFFFFF);
    gfx.before_reset();
    D3DPRESENT_PARAMETERS p = dev.params;
    ASSERT_EQ(dev.Reset(&p), D3D_OK);
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, img, 0, 1, 0, 1, 0xFFFFFFFF); // dropped: no batch yet
    gfx.after_reset();
    EXPECT_EQ(img->count_tra(), 0);
    EXPECT_TRUE(gfx.get_alpha_records().empty());
    // Only the quad buffers: a batch comes back when it is next queued into.
    EXPECT_EQ(dev.live_default_resources(), 2);
    gfx.after_reset(); // twice in a row must not leak
    EXPECT_EQ(dev.live_default_resources(), 2);
    dev.clear_log();
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, img, 0, 1, 0, 1, 0xFFFFFFFF);
    EXPECT_EQ(dev.live_default_resources(), 2 + 1);
    gfx.flush();
    EXPECT_EQ(dev.count("DrawPrimitive"), 1);
    img->release();
    t->Release();
}

TEST_F(Gfx, BatchFailuresRaiseFromTheirOperation) {
    c_image* img = gfx.get_default_image();
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    dev.fail_next("SetStreamSource", E_FAIL);
    expect_raise([&] { img->draw_tra(); }, "Unable to set the stream source.", "c_image::draw_tra", E_FAIL);
    dev.fail_next("CreateVertexBuffer", E_OUTOFMEMORY);
    expect_raise([&] { gfx.after_reset(); }, "Unable to create the vertex buffer.", "c_gfx::after_reset",
                 E_OUTOFMEMORY);
    // A batch made when queued into (here after the failed draw left it unlocked) raises from there.
    gfx.after_reset();
    dev.fail_next("CreateVertexBuffer", E_OUTOFMEMORY);
    expect_raise([&] { gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF); },
                 "Unable to create the vertex buffer.", "c_image::create_batch", E_OUTOFMEMORY);
    gfx.add_quad_tra(0, 0, 10, 20, 0.5f, 0.0f, nullptr, 0, 1, 0, 1, 0xFFFFFFFF);
    dev.fail_always("Unlock", E_FAIL);
    expect_raise([&] { gfx.before_reset(); }, "Unable to unlock the vertex buffer.", "c_image::before_reset",
                 E_FAIL);
    dev.clear_failures();
}

// A 24-bit BMP of w x h pixels of one colour.
void write_bmp(const std::string& path, int w, int h, BYTE r, BYTE g, BYTE b) {
    const int row = (w * 3 + 3) & ~3, size = 54 + row * h;
    std::string f(static_cast<size_t>(size), '\0');
    auto put32 = [&](int at, DWORD v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, size), put32(10, 54), put32(14, 40), put32(18, w), put32(22, h);
    f[26] = 1, f[28] = 24;
    put32(34, row * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            f[54 + y * row + x * 3] = static_cast<char>(b);
            f[55 + y * row + x * 3] = static_cast<char>(g);
            f[56 + y * row + x * 3] = static_cast<char>(r);
        }
    write_file(path, f);
}

TEST_F(Gfx, RegistrySharesFilesByExactNameAndOrder) {
    scratch_dir dir;
    write_bmp(dir.file("tile.bmp"), 4, 4, 10, 200, 30);
    write_bmp(dir.file("Tile.bmp"), 4, 4, 10, 200, 30);
    c_image* a = gfx.get_image(dir.file("tile.bmp"), 0.6f);
    c_image* b = gfx.get_image(dir.file("tile.bmp"), 0.6f);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->refcount, 2);
    ASSERT_NE(a->get_texture(), nullptr);
    c_image* other_order = gfx.get_image(dir.file("tile.bmp"), 0.4f);
    c_image* other_case = gfx.get_image(dir.file("Tile.bmp"), 0.6f);
    EXPECT_NE(other_order, a);
    EXPECT_NE(other_case, a);
    EXPECT_NE(other_order->get_texture(), a->get_texture()); // loaded again
    EXPECT_FALSE(a->get_has_alpha());
    EXPECT_EQ(dev.count("CreateTexture"), 3);
    for (c_image* i : {a, b, other_order, other_case})
        i->release();
    EXPECT_EQ(gfx.get_images().size(), 1u);
    expect_raise([&] { gfx.get_image(dir.file("none.png"), 0.0f); }, "Unable to create texture.",
                 "c_gfx::create_texture",
                 D3DXCreateTextureFromFileExA(&dev, dir.file("none.png").c_str(), 0, 0, 0, 0, D3DFMT_A8R8G8B8,
                                              D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF,
                                              nullptr, nullptr, nullptr));
    try {
        gfx.get_image(dir.file("none.png"), 0.0f);
        ADD_FAILURE() << "a missing picture loaded";
    } catch (const c_err& e) {
        EXPECT_NE(e.get_report().find("PICTURE: " + dir.file("none.png") + "\n"), std::string::npos)
            << "the report does not name the picture: " << e.get_report();
    }
    EXPECT_EQ(dev.live_resources(), 2); // the quad buffers
}

TEST(GfxLeaks, DestroyingTheWrapperFreesEverything) {
    recording_device dev;
    {
        c_gfx gfx(&dev, 2.0e-5f);
        IDirect3DTexture9* t = nullptr;
        dev.CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
        gfx.get_image(t, 0.5f); // never released by its holder
        t->Release();
        dev.fail_next("GetDirect3D", E_FAIL);
        expect_raise([&] { c_gfx broken(&dev, 2.0e-5f); }, "Unable to get the Direct3D interface.",
                     "c_gfx::c_gfx", E_FAIL);
    }
    EXPECT_EQ(dev.live_resources(), 0);
}

} // namespace
