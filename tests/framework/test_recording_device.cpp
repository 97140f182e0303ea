// The recording device must behave like a real device where framework tests rely on it;
// otherwise those tests would pass against the fake and fail on the real one.
#include <gtest/gtest.h>

#include "tests/fakes/recording_device.h"
#include "tests/rect_equal.h"

namespace {

struct xyzrhw_colour {
    float x, y, z, rhw;
    DWORD colour;
};

TEST(RecordingDevice, FreshAndResetDeviceHoldsDirect3DDefaults) {
    recording_device dev;
    dev.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    RECT r{10, 10, 20, 20};
    dev.SetScissorRect(&r);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(dev.render_state(D3DRS_CULLMODE), pass == 0 ? D3DCULL_NONE : D3DCULL_CCW);
        EXPECT_EQ(dev.render_state(D3DRS_ZFUNC), D3DCMP_LESSEQUAL);
        EXPECT_EQ(dev.render_state(D3DRS_ZENABLE), D3DZB_TRUE);
        EXPECT_EQ(dev.render_state(D3DRS_LIGHTING), 1u);
        EXPECT_EQ(dev.stage_state(0, D3DTSS_COLOROP), D3DTOP_MODULATE);
        EXPECT_EQ(dev.stage_state(1, D3DTSS_COLOROP), D3DTOP_DISABLE);
        EXPECT_EQ(dev.sampler_state(0, D3DSAMP_MINFILTER), D3DTEXF_POINT);
        EXPECT_EQ(dev.sampler_state(0, D3DSAMP_ADDRESSU), D3DTADDRESS_WRAP);
        D3DPRESENT_PARAMETERS p = dev.params;
        p.BackBufferWidth = 800;
        p.BackBufferHeight = 600;
        ASSERT_EQ(dev.Reset(&p), D3D_OK);
    }
    EXPECT_EQ(dev.scissor, (RECT{0, 0, 800, 600}));
    EXPECT_EQ(dev.viewport.Width, 800u);
}

TEST(RecordingDevice, InjectedFailuresReturnOnceOrAlwaysAndChangeNothing) {
    recording_device dev;
    RECT r{1, 2, 3, 4};
    dev.fail_next("SetScissorRect", E_FAIL);
    EXPECT_EQ(dev.SetScissorRect(&r), E_FAIL);
    EXPECT_NE(dev.scissor, r);
    EXPECT_EQ(dev.SetScissorRect(&r), D3D_OK);
    EXPECT_EQ(dev.scissor, r);
    dev.fail_always("GetTexture", D3DERR_INVALIDCALL);
    IDirect3DBaseTexture9* t = nullptr;
    EXPECT_EQ(dev.GetTexture(0, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev.GetTexture(0, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev.count("SetScissorRect"), 2);
    ASSERT_NE(dev.last("SetScissorRect"), nullptr);
    EXPECT_EQ(dev.last("SetScissorRect")->args, (std::vector<std::string>{"1,2,3,4"}));
}

TEST(RecordingDevice, ResetFailsWhileDefaultPoolResourcesLive) {
    recording_device dev;
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev.CreateVertexBuffer(96, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_DEFAULT, &vb,
                                     nullptr),
              D3D_OK);
    IDirect3DTexture9* managed = nullptr;
    ASSERT_EQ(dev.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    D3DPRESENT_PARAMETERS p = dev.params;
    EXPECT_EQ(dev.Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev.TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(dev.Reset(&p), D3D_OK);
    EXPECT_EQ(dev.TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(dev.live_resources(), 1);
    managed->Release();
    EXPECT_EQ(dev.live_resources(), 0);
}

TEST(RecordingDevice, DrawCopiesVerticesAndRefusesLockedOrShortBuffers) {
    recording_device dev;
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev.CreateVertexBuffer(3 * 20, D3DUSAGE_DYNAMIC, 0x44, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    auto* v = static_cast<xyzrhw_colour*>(p);
    for (int i = 0; i < 3; ++i)
        v[i] = {float(i), 2.0f * i, 0.5f, 1.0f, 0xFF00FF00u + i};
    dev.SetFVF(0x44);
    dev.SetStreamSource(0, vb, 0, 20);
    EXPECT_EQ(dev.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // still locked
    vb->Unlock();
    EXPECT_EQ(dev.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL); // past the end
    EXPECT_EQ(dev.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    ASSERT_EQ(dev.draws().size(), 1u);
    auto drawn = dev.draws()[0].as<xyzrhw_colour>();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[2].y, 4.0f);
    EXPECT_EQ(drawn[2].colour, 0xFF00FF02u);
    EXPECT_EQ(dev.draws()[0].fvf, 0x44u);
    vb->Release();
    EXPECT_EQ(dev.stream, nullptr); // the dead buffer is unbound, not left dangling
}

TEST(RecordingDevice, TextureLevelsLockWithPaddedPitchAndShareTheTexturesCount) {
    recording_device dev;
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(dev.CreateTexture(8, 2, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 4u);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_GT(lr.Pitch, 8 * 4);
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    t->UnlockRect(0);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    EXPECT_EQ(static_cast<recording_texture*>(t)->refs(), 2u);
    s->Release();
    dev.SetTexture(0, t);
    EXPECT_EQ(t->Release(), 0u);
    EXPECT_EQ(dev.texture(0), nullptr);
    EXPECT_EQ(dev.live_resources(), 0);
}

TEST(RecordingDevice, RefusesWhatARealDeviceRefuses) {
    recording_device dev;
    IDirect3DTexture9* rt = nullptr;
    ASSERT_EQ(
        dev.CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &rt, nullptr),
        D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(rt->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    IDirect3DSurface9* s = nullptr;
    rt->GetSurfaceLevel(0, &s);
    ASSERT_EQ(dev.SetRenderTarget(0, s), D3D_OK);
    EXPECT_EQ(dev.scissor, (RECT{0, 0, 16, 16}));
    EXPECT_EQ(dev.viewport.Height, 16u);
    s->Release();
    rt->Release();
    IDirect3DVertexBuffer9* managed = nullptr;
    dev.CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0x144, D3DPOOL_MANAGED, &managed, nullptr);
    void* p;
    EXPECT_EQ(managed->Lock(0, 0, &p, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    managed->Release();
    IDirect3DTexture9* argb = nullptr;
    dev.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &argb, nullptr);
    argb->GetSurfaceLevel(0, &s);
    HDC dc = nullptr;
    EXPECT_EQ(s->GetDC(&dc), D3DERR_INVALIDCALL); // GDI takes no alpha formats
    s->Release();
    argb->Release();
}

TEST(RecordingDevice, CreateDeviceRecordsParametersAndFillsAWindowedSize) {
    recording_d3d d3d;
    d3d.client_width = 640;
    d3d.client_height = 480;
    D3DPRESENT_PARAMETERS p{};
    p.Windowed = TRUE;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    IDirect3DDevice9* dev = nullptr;
    ASSERT_EQ(d3d.CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3D_OK);
    EXPECT_EQ(d3d.created_with.at(0).BackBufferWidth, 0u);
    EXPECT_EQ(p.BackBufferWidth, 640u);
    EXPECT_EQ(d3d.last_device->scissor, (RECT{0, 0, 640, 480}));
    D3DCAPS9 caps;
    dev->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.MaxPointSize, 64.0f);
    EXPECT_EQ(d3d.refs(), 2u);
    EXPECT_EQ(dev->Release(), 0u);
    EXPECT_EQ(d3d.refs(), 1u);
}

} // namespace
