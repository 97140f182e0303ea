// Pixel tests of the Direct3D device on OpenGL: what the program draws lands where Direct3D
// would put it, read back through the back buffer or a render target.
#include <SDL2/SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/d3d9_gl_frame.h"
#include "tests/gl/gl_test_util.h"
#include "tests/gl/window_pixels.h"
#include "tests/rect_equal.h"

namespace {
constexpr uint32_t black = 0x000000, red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF;

DWORD bits_of(float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

int channel(uint32_t p, int shift) {
    return static_cast<int>((p >> shift) & 0xFF);
}
} // namespace

using GlDevice = gl_test;

TEST_F(GlDevice, BackBufferTakesTheClientSize) {
    IDirect3DSurface9* bb = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), D3D_OK);
    D3DSURFACE_DESC desc{};
    bb->GetDesc(&desc);
    bb->Release();
    EXPECT_EQ(desc.Width, static_cast<UINT>(client_w));
    EXPECT_EQ(desc.Height, static_cast<UINT>(client_h));
    EXPECT_EQ(params.BackBufferWidth, static_cast<UINT>(client_w)); // written back, as D3D does
    D3DVIEWPORT9 vp{};
    dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, static_cast<UINT>(client_w));
    EXPECT_EQ(vp.Height, static_cast<UINT>(client_h));
    RECT scissor{};
    dev->GetScissorRect(&scissor);
    EXPECT_EQ(scissor, (RECT{0, 0, client_w, client_h}));
}

TEST_F(GlDevice, ClearFillsTheBackBuffer) {
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0), D3D_OK);
    pixels p = grab();
    EXPECT_EQ(p.count(0x336699), client_w * client_h);
}

TEST_F(GlDevice, ClearStaysInsideTheScissorRectangle) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    RECT r{10, 20, 50, 40};
    dev->SetScissorRect(&r);
    // Without the scissor test the rectangle does not limit the clear...
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    EXPECT_EQ(grab().count(blue), client_w * client_h);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // ...with it, only the rectangle changes, top-left pixel coordinates, right and bottom exclusive.
    dev->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    pixels p = grab();
    EXPECT_EQ(p.count(red), 40 * 20);
    EXPECT_EQ(p.at(10, 20), red);
    EXPECT_EQ(p.at(49, 39), red);
    EXPECT_EQ(p.at(9, 20), black);
    EXPECT_EQ(p.at(50, 20), black);
    EXPECT_EQ(p.at(10, 19), black);
    EXPECT_EQ(p.at(10, 40), black);
}

TEST_F(GlDevice, ClearKeepsToTheViewportAndItsRectangles) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    D3DVIEWPORT9 vp{100, 50, 30, 20, 0.0f, 1.0f};
    dev->SetViewport(&vp);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    RECT rects[2] = {{0, 0, 105, 55}, {125, 65, 200, 200}}; // each cut to the viewport
    dev->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    pixels p = grab();
    EXPECT_EQ(p.count(green) + p.count(red), 30 * 20);
    EXPECT_EQ(p.count(red), 5 * 5 + 5 * 5);
    EXPECT_EQ(p.at(100, 50), red);
    EXPECT_EQ(p.at(129, 69), red);
    EXPECT_EQ(p.at(110, 60), green);
    EXPECT_EQ(p.at(99, 50), black);
}

TEST_F(GlDevice, ClearingDepthWithoutADepthBufferIsInvalid) {
    ASSERT_EQ(dev->SetDepthStencilSurface(nullptr), D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
}

TEST_F(GlDevice, ColourKeyedPixelsVanishUnderTheAlphaTest) {
    // Left half opaque magenta (the key), right half opaque green; loaded as the game loads art.
    char path[] = "/tmp/hv-gl-key-XXXXXX.bmp";
    int fd = mkstemps(path, 4);
    ASSERT_GE(fd, 0);
    close(fd);
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 4, 4, 24, SDL_PIXELFORMAT_RGB24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            auto* px = static_cast<Uint8*>(s->pixels) + y * s->pitch + x * 3;
            px[0] = x < 2 ? 255 : 0;
            px[1] = x < 2 ? 0 : 255;
            px[2] = x < 2 ? 255 : 0;
        }
    ASSERT_EQ(SDL_SaveBMP(s, path), 0);
    SDL_FreeSurface(s);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, path, 0, 0, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr, &t),
              D3D_OK);
    std::remove(path);

    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    dev->SetRenderState(D3DRS_ALPHAREF, 0);
    dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    dev->SetTexture(0, t);
    quad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF);
    pixels p = grab();
    EXPECT_EQ(p.at(5, 5), blue); // the keyed half left the background untouched
    EXPECT_EQ(p.at(31, 60), blue);
    EXPECT_EQ(p.at(32, 5), green);
    EXPECT_EQ(p.at(63, 63), green);
    EXPECT_EQ(p.count(green), 32 * 64);
    // Without the test the transparent black texels are drawn.
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    quad(0, 0, 64, 64, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(grab().at(5, 5), black);
    dev->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GlDevice, TranslucentQuadBlendsWithWhatIsBehind) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    dev->SetTexture(0, nullptr); // untextured: the vertex colour and alpha
    quad(10, 10, 50, 50, 0.5f, 0x80FF0000);
    pixels p = grab();
    uint32_t mixed = p.at(30, 30);
    EXPECT_NEAR(channel(mixed, 16), 128, 2);
    EXPECT_NEAR(channel(mixed, 8), 0, 1);
    EXPECT_NEAR(channel(mixed, 0), 127, 2);
    EXPECT_EQ(p.at(9, 30), blue);
    EXPECT_EQ(p.at(50, 30), blue);
    // A textured quad modulates the texture with the vertex colour and alpha.
    IDirect3DTexture9* t = texture(1, 1, {0xFFFFFFFF});
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    dev->SetTexture(0, t);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    quad(10, 10, 50, 50, 0.5f, 0x4000FF00);
    mixed = grab().at(30, 30);
    EXPECT_NEAR(channel(mixed, 8), 64, 2);
    EXPECT_NEAR(channel(mixed, 16), 0, 1);
    dev->SetTexture(0, nullptr);
    t->Release();
}

TEST_F(GlDevice, NearerQuadWinsWhateverTheDrawOrder) {
    DWORD z_enable = 0, z_func = 0;
    dev->GetRenderState(D3DRS_ZENABLE, &z_enable);
    dev->GetRenderState(D3DRS_ZFUNC, &z_func);
    EXPECT_EQ(z_enable, D3DZB_TRUE);
    EXPECT_EQ(z_func, D3DCMP_LESSEQUAL);
    for (int order = 0; order < 2; ++order) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        if (order == 0) {
            quad(10, 10, 60, 60, 0.3f, 0xFFFF0000);
            quad(30, 30, 80, 80, 0.6f, 0xFF00FF00);
        } else {
            quad(30, 30, 80, 80, 0.6f, 0xFF00FF00);
            quad(10, 10, 60, 60, 0.3f, 0xFFFF0000);
        }
        pixels p = grab();
        EXPECT_EQ(p.at(45, 45), red) << "order " << order;
        EXPECT_EQ(p.at(70, 70), green) << "order " << order;
        EXPECT_EQ(p.at(15, 15), red) << "order " << order;
    }
    // Equal depth: LESSEQUAL lets the later one through.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    quad(10, 10, 60, 60, 0.5f, 0xFFFF0000);
    quad(10, 10, 60, 60, 0.5f, 0xFF00FF00);
    EXPECT_EQ(grab().at(20, 20), green);
    // Without depth writes the far quad drawn later still shows.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    quad(10, 10, 60, 60, 0.3f, 0xFFFF0000);
    quad(10, 10, 60, 60, 0.6f, 0xFF00FF00);
    EXPECT_EQ(grab().at(20, 20), green);
}

TEST_F(GlDevice, PointSpriteOfSize8CoversEightByEightPixels) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    dev->SetFVF(FVF_PS);
    vertex_ps v{100.0f, 60.0f, 0.5f, 1.0f, 8.0f, 0xFFFFFFFF};
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v), D3D_OK);
    pixels p = grab();
    EXPECT_EQ(p.count(white), 64);
    for (int y = 56; y < 64; ++y)
        for (int x = 96; x < 104; ++x)
            EXPECT_EQ(p.at(x, y), white) << x << "," << y;
    // The whole texture on each sprite, (0,0) at its top-left: quadrants red, green / blue, white.
    IDirect3DTexture9* t = texture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    dev->SetTexture(0, t);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &v, sizeof v), D3D_OK);
    p = grab();
    EXPECT_EQ(p.at(97, 57), red);
    EXPECT_EQ(p.at(102, 57), green);
    EXPECT_EQ(p.at(97, 62), blue);
    EXPECT_EQ(p.at(102, 62), white);
    // Sizes are kept within [POINTSIZE_MIN, min(MaxPointSize, POINTSIZE_MAX)].
    D3DCAPS9 caps{};
    dev->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.MaxPointSize, 64.0f);
    dev->SetTexture(0, nullptr);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    vertex_ps big{100.0f, 100.0f, 0.5f, 1.0f, 100.0f, 0xFFFFFFFF};
    dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &big, sizeof big);
    EXPECT_EQ(grab().count(white), 64 * 64);
    dev->SetRenderState(D3DRS_POINTSIZE_MAX, bits_of(16.0f));
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &big, sizeof big);
    EXPECT_EQ(grab().count(white), 16 * 16);
    t->Release();
}

TEST_F(GlDevice, RenderTargetWithItsOwnDepthReadsBackTheRightWayUp) {
    IDirect3DTexture9* rt = nullptr;
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(dev->CreateTexture(128, 128, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &rt,
                                 nullptr),
              D3D_OK);
    ASSERT_EQ(
        dev->CreateDepthStencilSurface(128, 128, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, FALSE, &depth, nullptr),
        D3D_OK);
    IDirect3DSurface9 *level = nullptr, *saved_target = nullptr, *saved_depth = nullptr;
    ASSERT_EQ(rt->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(dev->GetRenderTarget(0, &saved_target), D3D_OK);
    ASSERT_EQ(dev->GetDepthStencilSurface(&saved_depth), D3D_OK);
    ASSERT_EQ(dev->SetRenderTarget(0, level), D3D_OK);
    ASSERT_EQ(dev->SetDepthStencilSurface(depth), D3D_OK);
    D3DVIEWPORT9 vp{};
    dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 128u);
    EXPECT_EQ(vp.Height, 128u);
    RECT scissor{};
    dev->GetScissorRect(&scissor);
    EXPECT_EQ(scissor, (RECT{0, 0, 128, 128}));

    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    quad(0, 0, 16, 16, 0.5f, 0xFFFF0000); // top-left corner
    quad(8, 8, 24, 24, 0.7f, 0xFF00FF00); // behind it where they overlap
    pixels p = grab(level);
    EXPECT_EQ(p.width, 128u);
    EXPECT_EQ(p.at(0, 0), red);
    EXPECT_EQ(p.at(15, 15), red);
    EXPECT_EQ(p.at(20, 20), green);
    EXPECT_EQ(p.at(0, 127), blue);
    EXPECT_EQ(p.at(127, 0), blue);
    EXPECT_EQ(p.count(red), 16 * 16);

    // Back on the back buffer, the target drawn as a texture keeps its top at the top.
    ASSERT_EQ(dev->SetRenderTarget(0, saved_target), D3D_OK);
    ASSERT_EQ(dev->SetDepthStencilSurface(saved_depth), D3D_OK);
    dev->GetViewport(&vp);
    EXPECT_EQ(vp.Width, static_cast<UINT>(client_w));
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->SetTexture(0, rt);
    quad(0, 0, 128, 128, 0.5f, 0xFFFFFFFF);
    dev->SetTexture(0, nullptr);
    pixels shown = grab();
    EXPECT_EQ(shown.at(0, 0), red);
    EXPECT_EQ(shown.at(20, 20), green);
    EXPECT_EQ(shown.at(0, 127), blue);
    EXPECT_EQ(shown.at(130, 0), black);

    level->Release();
    saved_target->Release();
    saved_depth->Release();
    depth->Release();
    rt->Release();
}

TEST_F(GlDevice, NullRenderTargetIsInvalid) {
    EXPECT_EQ(dev->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    IDirect3DTexture9* plain = texture(4, 4, std::vector<uint32_t>(16, 0));
    IDirect3DSurface9* level = nullptr;
    plain->GetSurfaceLevel(0, &level);
    EXPECT_EQ(dev->SetRenderTarget(0, level), D3DERR_INVALIDCALL); // not made as a render target
    level->Release();
    plain->Release();
}

TEST_F(GlDevice, CounterClockwiseTrianglesAreCulled) {
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    auto draw_pair = [&] {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        // On the y-down screen: top, right, bottom-left is clockwise; the mirror order is not.
        vertex_tra cw[3] = {{30, 10, 0.5f, 1, 0xFFFF0000, 0, 0},
                            {50, 50, 0.5f, 1, 0xFFFF0000, 0, 0},
                            {10, 50, 0.5f, 1, 0xFFFF0000, 0, 0}};
        vertex_tra ccw[3] = {{90, 10, 0.5f, 1, 0xFF00FF00, 0, 0},
                             {70, 50, 0.5f, 1, 0xFF00FF00, 0, 0},
                             {110, 50, 0.5f, 1, 0xFF00FF00, 0, 0}};
        dev->SetFVF(FVF_TRA);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(vertex_tra));
        dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(vertex_tra));
    };
    draw_pair();
    pixels p = grab();
    EXPECT_EQ(p.at(30, 40), red);
    EXPECT_EQ(p.at(90, 40), black);

    // The same inside a render target, where GL's rows run the other way.
    IDirect3DTexture9* rt = nullptr;
    ASSERT_EQ(dev->CreateTexture(128, 128, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &rt,
                                 nullptr),
              D3D_OK);
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    rt->GetSurfaceLevel(0, &level);
    dev->GetRenderTarget(0, &back);
    dev->SetRenderTarget(0, level);
    dev->SetDepthStencilSurface(nullptr);
    draw_pair();
    p = grab(level);
    EXPECT_EQ(p.at(30, 40), red);
    EXPECT_EQ(p.at(90, 40), black);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    draw_pair();
    p = grab(level);
    EXPECT_EQ(p.at(30, 40), black);
    EXPECT_EQ(p.at(90, 40), green);
    dev->SetRenderTarget(0, back);
    draw_pair();
    p = grab();
    EXPECT_EQ(p.at(30, 40), black);
    EXPECT_EQ(p.at(90, 40), green);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    draw_pair();
    p = grab();
    EXPECT_EQ(p.at(30, 40), red);
    EXPECT_EQ(p.at(90, 40), green);
    level->Release();
    back->Release();
    rt->Release();
}

TEST_F(GlDevice, WorldVerticesGoThroughTheTransformsAndTheViewport) {
    // The core's set-up: identity world and view, projection scaling (1, -w/h, 1) for w >= h.
    D3DXMATRIX projection;
    D3DXMatrixScaling(&projection, 1.0f, -static_cast<float>(client_w) / client_h, 1.0f);
    dev->SetTransform(D3DTS_PROJECTION, &projection);
    dev->SetRenderState(D3DRS_LIGHTING, FALSE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    // World x -1..0 is the left half; world y -0.375..0 (of -0.75..0.75) the upper half.
    float top = -static_cast<float>(client_h) / client_w;
    vertex_unt v[4] = {{-1, top, 0.5f, 0xFFFF0000, 0, 0},
                       {0, top, 0.5f, 0xFFFF0000, 1, 0},
                       {-1, 0, 0.5f, 0xFFFF0000, 0, 1},
                       {0, 0, 0.5f, 0xFFFF0000, 1, 1}};
    dev->SetFVF(FVF_UNT);
    ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(vertex_unt)), D3D_OK);
    pixels p = grab();
    EXPECT_EQ(p.count(red), (client_w / 2) * (client_h / 2));
    EXPECT_EQ(p.at(0, 0), red);
    EXPECT_EQ(p.at(client_w / 2 - 1, client_h / 2 - 1), red);
    EXPECT_EQ(p.at(client_w / 2, 0), black);
    EXPECT_EQ(p.at(0, client_h / 2), black);
    // A world translation moves it right by half the screen.
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 1.0f, 0.0f, 0.0f);
    dev->SetTransform(D3DTS_WORLD, &world);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(vertex_unt));
    p = grab();
    EXPECT_EQ(p.at(client_w - 1, 0), red);
    EXPECT_EQ(p.at(client_w / 2 - 1, 0), black);
    // A smaller viewport maps the same space into itself, offset by its corner.
    D3DXMatrixIdentity(&world);
    dev->SetTransform(D3DTS_WORLD, &world);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    D3DVIEWPORT9 vp{128, 96, 128, 96, 0.0f, 1.0f};
    dev->SetViewport(&vp);
    dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(vertex_unt));
    p = grab();
    EXPECT_EQ(p.count(red), 64 * 48);
    EXPECT_EQ(p.at(128, 96), red);
    EXPECT_EQ(p.at(191, 143), red);
    EXPECT_EQ(p.at(127, 96), black);
    // Pretransformed vertices ignore the viewport's corner; it only limits where they show.
    D3DVIEWPORT9 whole{0, 0, client_w, client_h, 0.0f, 1.0f};
    dev->SetViewport(&whole);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    dev->SetViewport(&vp);
    quad(120, 90, 140, 100, 0.5f, 0xFF00FF00);
    p = grab();
    EXPECT_EQ(p.count(green), 12 * 4);
    EXPECT_EQ(p.at(128, 96), green);
}

TEST_F(GlDevice, IndexedAndBufferedDrawsMatchTheUnindexedQuad) {
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    vertex_tra v[4] = {{10, 10, 0.5f, 1, 0xFFFF0000, 0, 0},
                       {30, 10, 0.5f, 1, 0xFFFF0000, 0, 0},
                       {10, 30, 0.5f, 1, 0xFFFF0000, 0, 0},
                       {30, 30, 0.5f, 1, 0xFFFF0000, 0, 0}};
    WORD indices[6] = {0, 1, 2, 1, 3, 2};
    dev->SetFVF(FVF_TRA);
    ASSERT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, v,
                                          sizeof(vertex_tra)),
              D3D_OK);
    EXPECT_EQ(grab().count(red), 400);

    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(4 * sizeof(vertex_tra), D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, FVF_TRA,
                                      D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    for (vertex_tra& t : v) {
        t.x += 50;
        t.colour = 0xFF00FF00;
    }
    std::memcpy(data, v, sizeof v);
    ASSERT_EQ(dev->SetStreamSource(0, vb, 0, sizeof(vertex_tra)), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL); // still locked
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL); // past the end
    pixels p = grab();
    EXPECT_EQ(p.count(red), 400);
    EXPECT_EQ(p.count(green), 400);
    EXPECT_EQ(p.at(60, 20), green);
    // A discarding lock gives the whole buffer again; the new vertices replace the old.
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    for (vertex_tra& t : v)
        t.colour = 0xFF0000FF;
    std::memcpy(data, v, sizeof v);
    vb->Unlock();
    dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    EXPECT_EQ(grab().at(60, 20), blue);
    dev->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(GlDevice, DrawsFindTheirOwnVerticesWhenTheStreamStoreFillsAndGrows) {
    // Draws of many vertices one after another, every other one indexed, one larger than any
    // store so far: each must draw its own square, wherever in which store its data went.
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    dev->SetFVF(FVF_TRA);
    const D3DCOLOR colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF,
                                0xFFFF00FF, 0xFFFFFFFF, 0xFF808080, 0xFF800000, 0xFF008000};
    for (int i = 0; i < 10; ++i) {
        // Empty triangles first (as many as no other draw has), then the square's corners.
        std::vector<vertex_tra> v(i == 6 ? 30000 : 600 + 30 * i, vertex_tra{0, 0, 0.5f, 1, colours[i], 0, 0});
        const float x = 10.0f + 20.0f * static_cast<float>(i);
        const bool indexed = i % 2 == 1;
        const std::pair<int, int> strip[] = {{0, 0}, {10, 0}, {0, 10}, {10, 0}, {10, 10}, {0, 10}};
        for (int k = 0; k < (indexed ? 4 : 6); ++k) {
            const auto [dx, dy] = indexed ? strip[k < 3 ? k : 4] : strip[k];
            v.push_back(vertex_tra{x + static_cast<float>(dx), 10.0f + static_cast<float>(dy), 0.5f, 1,
                                   colours[i], 0, 0});
        }
        const auto n = static_cast<UINT>(v.size());
        if (!indexed) {
            ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLELIST, n / 3, v.data(), sizeof(vertex_tra)), D3D_OK);
            continue;
        }
        std::vector<DWORD> indices(6000, 0); // empty triangles of vertex 0
        for (UINT k : {n - 4, n - 3, n - 2, n - 3, n - 1, n - 2})
            indices.push_back(k);
        ASSERT_EQ(dev->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, n, static_cast<UINT>(indices.size() / 3),
                                              indices.data(), D3DFMT_INDEX32, v.data(), sizeof(vertex_tra)),
                  D3D_OK);
    }
    const pixels p = grab();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(p.at(15 + 20 * i, 15), colours[i] & 0x00FFFFFFu) << "square " << i;
    EXPECT_EQ(p.count(black), static_cast<int>(p.data.size()) - 10 * 100);
}

TEST_F(GlDevice, ResetFailsWhileADefaultPoolBufferLives) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(112, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, FVF_TRA, D3DPOOL_DEFAULT,
                                      &vb, nullptr),
              D3D_OK);
    IDirect3DTexture9* managed = texture(2, 1, {0xFF123456, 0xFF654321});
    dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    dev->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    dev->SetTexture(0, managed);
    dev->SetStreamSource(0, vb, 0, sizeof(vertex_tra));
    RECT r{1, 2, 3, 4};
    dev->SetScissorRect(&r);
    D3DVIEWPORT9 vp{5, 5, 10, 10, 0.0f, 1.0f};
    dev->SetViewport(&vp);

    D3DPRESENT_PARAMETERS p = windowed_params();
    EXPECT_EQ(dev->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(vb->Release(), 0u); // the binding alone does not keep Reset from working
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);

    DWORD value = 0;
    dev->GetRenderState(D3DRS_ALPHATESTENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));
    dev->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, D3DCULL_CCW);
    dev->GetRenderState(D3DRS_SCISSORTESTENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));
    dev->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, D3DZB_TRUE);
    dev->GetRenderState(D3DRS_LIGHTING, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    dev->GetRenderState(D3DRS_SRCBLEND, &value);
    EXPECT_EQ(value, D3DBLEND_ONE);
    dev->GetTextureStageState(0, D3DTSS_ALPHAOP, &value);
    EXPECT_EQ(value, D3DTOP_SELECTARG1);
    IDirect3DBaseTexture9* bound = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    dev->GetTexture(0, &bound);
    EXPECT_EQ(bound, nullptr);
    dev->GetViewport(&vp);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, static_cast<UINT>(client_w));
    dev->GetScissorRect(&r);
    EXPECT_EQ(r, (RECT{0, 0, client_w, client_h}));

    // The managed texture survived with its pixels and still draws.
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[1], 0xFF654321u);
    managed->UnlockRect(0);
    dev->SetTexture(0, managed);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    quad(0, 0, 2, 1, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(grab().at(1, 0), 0x654321u);
    dev->SetTexture(0, nullptr);
    managed->Release();
}

TEST_F(GlDevice, ResetTakesTheNewClientSize) {
    SetWindowPos(window, HWND_TOP, 0, 0, 320, 200, 0);
    D3DPRESENT_PARAMETERS p = windowed_params();
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 320u);
    EXPECT_EQ(p.BackBufferHeight, 200u);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    quad(0, 0, 10, 10, 0.5f, 0xFFFF0000);
    pixels px = grab();
    EXPECT_EQ(px.width, 320u);
    EXPECT_EQ(px.at(0, 0), red);
    EXPECT_EQ(px.at(0, 199), black);
    // A back buffer of another size than the window is drawn the same way.
    p = windowed_params();
    p.BackBufferWidth = 100;
    p.BackBufferHeight = 50;
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    quad(0, 0, 10, 10, 0.5f, 0xFFFF0000);
    px = grab();
    EXPECT_EQ(px.width, 100u);
    EXPECT_EQ(px.count(red), 100);
    EXPECT_EQ(px.at(0, 0), red);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// What Present puts on the window, read back from the X server (the window's own picture): the
// frame the right way up, and after a frame that changed only in a corner, that corner new and
// the rest as it was.
// Points drawn into the window (as squares of two triangles) cover what the same points cover
// on a render target (drawn as GL points): sprites of many sizes at fractional positions,
// textured and plain, with a cull mode set, and points whose centre lies off the target, which
// are dropped whatever their size. No edge passes through a pixel's centre: there the rule for
// points and the rule for triangles may each pick a different row, which is not a fault.
TEST_F(GlDevice, PointsOnTheWindowCoverWhatPointsOnARenderTargetCover) {
    const float sizes[] = {1, 2, 3, 4, 5, 7, 8, 9, 13, 16, 31, 32, 64};
    std::vector<vertex_ps> points;
    for (size_t i = 0; i < 39; ++i)
        points.push_back({8.25f + static_cast<float>(i * 37 % 240) + 0.5f * static_cast<float>(i % 2),
                          6.75f + static_cast<float>(i * 23 % 180) - 0.5f * static_cast<float>(i % 3 == 0),
                          0.5f, 1.0f, sizes[i % 13],
                          0xFF000000u | (0x3F7F1Fu * static_cast<uint32_t>(i + 1))});
    points.push_back({-1.0f, 50.0f, 0.5f, 1.0f, 64.0f, 0xFFFFFFFFu});
    points.push_back({100.0f, static_cast<float>(client_h) + 0.5f, 0.5f, 1.0f, 64.0f, 0xFFFFFFFFu});
    IDirect3DTexture9* t = texture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    auto draw = [&](bool sprites) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        dev->SetRenderState(D3DRS_POINTSPRITEENABLE, sprites);
        dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        dev->SetTexture(0, sprites ? t : nullptr);
        dev->SetFVF(FVF_PS);
        ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, static_cast<UINT>(points.size()), points.data(),
                                       sizeof(vertex_ps)),
                  D3D_OK);
    };
    IDirect3DTexture9* rt = nullptr;
    ASSERT_EQ(dev->CreateTexture(client_w, client_h, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                 D3DPOOL_DEFAULT, &rt, nullptr),
              D3D_OK);
    IDirect3DSurface9 *level = nullptr, *window = nullptr;
    ASSERT_EQ(rt->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(dev->GetRenderTarget(0, &window), D3D_OK);
    for (bool sprites : {true, false}) {
        draw(sprites);
        const pixels on_window = grab();
        ASSERT_EQ(dev->SetRenderTarget(0, level), D3D_OK);
        draw(sprites);
        const pixels on_target = grab(level);
        ASSERT_EQ(dev->SetRenderTarget(0, window), D3D_OK);
        int differing = 0;
        for (size_t i = 0; i < on_window.data.size(); ++i)
            differing += ((on_window.data[i] ^ on_target.data[i]) & 0xFFFFFFu) != 0;
        EXPECT_EQ(differing, 0) << (sprites ? "sprites" : "plain points");
        EXPECT_EQ(on_window.at(0, 50), black) << "a point whose centre is off the target is dropped";
        EXPECT_GT(on_window.count(black), client_w * client_h / 4);
    }
    dev->SetTexture(0, nullptr);
    level->Release();
    window->Release();
    rt->Release();
    t->Release();
}

TEST_F(GlDevice, PresentShowsTheBackBufferOnTheWindowTheRightWayUp) {
    auto frame = [&](bool with_green) {
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
        quad(0, 0, 32, 16, 0.5f, 0xFFFF0000);                                     // top left
        quad(client_w - 32, client_h - 16, client_w, client_h, 0.5f, 0xFF0000FF); // bottom right
        if (with_green) quad(200, 20, 210, 30, 0.5f, 0xFF00FF00);
        ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    };
    frame(false);
    frame(true);
    std::vector<uint32_t> shown;
    if (!read_window_pixels(window, client_w, client_h, &shown)) GTEST_SKIP() << "not an X11 window";
    auto at = [&](int x, int y) { return shown[static_cast<size_t>(y) * client_w + x] & 0xFFFFFFu; };
    const struct {
        int x, y;
        uint32_t colour;
    } expected[] = {{0, 0, red},
                    {31, 15, red},
                    {32, 0, black},
                    {0, 16, black},
                    {client_w - 1, client_h - 1, blue},
                    {client_w - 32, client_h - 16, blue},
                    {client_w - 33, client_h - 1, black},
                    {200, 20, green},
                    {209, 29, green},
                    {210, 29, black},
                    {100, 100, black}};
    for (const auto& e : expected)
        EXPECT_EQ(at(e.x, e.y), e.colour) << e.x << "," << e.y;
}

TEST_F(GlDevice, ScenesPairUp) {
    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->BeginScene(), D3D_OK);
    EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->EndScene(), D3D_OK);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

// Frames drawn again only inside their damage match the same frames drawn whole (the device
// compares both when HARNVALE_CHECK_REDRAW is set), where the damage cuts through point
// sprites of many sizes at whole and fractional positions: the renderer's
// rules for points cut by a scissor edge are where a partial redraw goes wrong first.
class GlDeviceRedrawCheck : public gl_test {
  protected:
    void SetUp() override {
        setenv("HARNVALE_CHECK_REDRAW", "1", 1);
        gl_test::SetUp();
        unsetenv("HARNVALE_CHECK_REDRAW");
    }
};

TEST_F(GlDeviceRedrawCheck, PartialFramesMatchWholeOnesWhereTheDamageCutsPointSprites) {
    // Sizes from one pixel to the largest, odd and even, at whole and fractional positions.
    const float sizes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 16, 24, 31, 32, 47, 64};
    std::vector<vertex_ps> points;
    uint32_t seed = 12345;
    auto next = [&](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    for (int i = 0; i < 64; ++i)
        points.push_back({static_cast<float>(next(client_w * 4)) / 4.0f,
                          static_cast<float>(next(client_h * 4)) / 4.0f, 0.5f, 1.0f, sizes[i % 16],
                          0x80000000u | next(0x1000000)});
    d3dgl::reset_device_frame_stats();
    for (int frame = 0; frame < 24; ++frame) {
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0), D3D_OK);
        dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        dev->SetFVF(FVF_PS);
        ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_POINTLIST, static_cast<UINT>(points.size()), points.data(),
                                       sizeof(vertex_ps)),
                  D3D_OK);
        // A small half-transparent square wanders over the field, so each frame's damage has
        // edges across different points.
        const float x = 5.0f + 9.7f * static_cast<float>(frame), y = 3.0f + 7.3f * static_cast<float>(frame);
        quad(x, y, x + 13.0f, y + 11.0f, 0.5f, 0x80FFFFFFu);
        ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    const d3dgl::frame_stats& stats = d3dgl::device_frame_stats();
    EXPECT_GE(stats.partial, 20u);
    EXPECT_EQ(stats.checked, stats.partial);
    EXPECT_EQ(stats.differing_pixels, 0u);
}

TEST_F(GlDeviceRedrawCheck, PartialFramesMatchWholeOnesAcrossDepthClears) {
    // Layers apart by depth-only clears, each layer writing depth where it draws; two of the
    // clears follow each other (the second changes nothing). Two squares wander over the layers.
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    dev->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d3dgl::reset_device_frame_stats();
    const float w = static_cast<float>(client_w), h = static_cast<float>(client_h);
    for (int frame = 0; frame < 16; ++frame) {
        const float t = static_cast<float>(frame);
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0), D3D_OK);
        quad(0, 0, w / 2, h, 0.2f, 0xFFFF0000u);
        quad(4 + 6 * t, 8 + 3 * t, 20 + 6 * t, 22 + 3 * t, 0.1f, 0xFFFFFF00u);
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        quad(0, h / 4, w, h * 3 / 4, 0.6f, 0xFF00FF00u);
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        ASSERT_EQ(dev->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
        quad(w / 3, 0, w * 2 / 3, h, 0.9f, 0xFF0000FFu);
        quad(w - 30 - 5 * t, 10 + 4 * t, w - 14 - 5 * t, 24 + 4 * t, 0.95f, 0xFFFFFFFFu);
        ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    const d3dgl::frame_stats& stats = d3dgl::device_frame_stats();
    EXPECT_GE(stats.partial, 12u);
    EXPECT_EQ(stats.checked, stats.partial);
    EXPECT_EQ(stats.differing_pixels, 0u);
}
