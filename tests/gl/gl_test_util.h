// A window with a real Direct3D device on OpenGL for pixel tests, and helpers to draw quads
// and read pixels back the way the program would (GetRenderTargetData into a SYSTEMMEM
// surface, then LockRect).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "framework/gfx.h"
#include "platform/d3d9.h"
#include "platform/d3dx9.h"
#include "platform/win32.h"

inline LRESULT test_window_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

// Window of a given client size (a popup has no frame) and a device on it. Presentation is
// immediate so that tests never wait for frame pacing unless they ask for it.
class gl_test : public ::testing::Test {
  protected:
    static constexpr int client_w = 256, client_h = 192;

    void SetUp() override {
        static bool registered = false;
        if (!registered) {
            WNDCLASSEXA wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = test_window_proc;
            wc.lpszClassName = "hv_gl_test";
            registered = RegisterClassExA(&wc) != 0;
            ASSERT_TRUE(registered);
        }
        window = CreateWindowExA(0, "hv_gl_test", "gl test", WS_POPUP | WS_VISIBLE, 0, 0, client_w, client_h,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr) << "no display for the GL device tests";
        ShowWindow(window, SW_SHOW);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        params = windowed_params();
        ASSERT_EQ(
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &dev),
            D3D_OK);
    }

    void TearDown() override {
        if (dev) {
            EXPECT_EQ(dev->Release(), 0u);
        }
        if (d3d) d3d->Release();
        if (window) DestroyWindow(window);
    }

    D3DPRESENT_PARAMETERS windowed_params() const {
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.hDeviceWindow = window;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return p;
    }

    // The pixels of a render target (the back buffer when null), row by row from the top.
    struct pixels {
        UINT width = 0, height = 0;
        std::vector<uint32_t> data;
        uint32_t at(int x, int y) const { return data[static_cast<size_t>(y) * width + x] & 0x00FFFFFFu; }
        int count(uint32_t rgb) const {
            int n = 0;
            for (uint32_t p : data)
                n += (p & 0x00FFFFFFu) == rgb;
            return n;
        }
    };

    pixels grab(IDirect3DSurface9* target = nullptr) {
        pixels out;
        IDirect3DSurface9* source = target;
        if (!source) {
            EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &source), D3D_OK);
        }
        D3DSURFACE_DESC desc{};
        EXPECT_EQ(source->GetDesc(&desc), D3D_OK);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(dev->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                   &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(dev->GetRenderTargetData(source, copy), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        out.width = desc.Width;
        out.height = desc.Height;
        out.data.resize(static_cast<size_t>(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            for (UINT x = 0; x < desc.Width; ++x)
                out.data[static_cast<size_t>(y) * desc.Width + x] = static_cast<const uint32_t*>(
                    static_cast<const void*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch))[x];
        copy->UnlockRect();
        copy->Release();
        if (!target) source->Release();
        return out;
    }

    // A screen-space quad as a triangle strip TL, TR, BL, BR (clockwise on screen).
    void quad(float l, float t, float r, float b, float z, D3DCOLOR colour, float u0 = 0, float v0 = 0,
              float u1 = 1, float v1 = 1) {
        vertex_tra v[4] = {{l, t, z, 1, colour, u0, v0},
                           {r, t, z, 1, colour, u1, v0},
                           {l, b, z, 1, colour, u0, v1},
                           {r, b, z, 1, colour, u1, v1}};
        ASSERT_EQ(dev->SetFVF(FVF_TRA), D3D_OK);
        ASSERT_EQ(dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(vertex_tra)), D3D_OK);
    }

    // A managed A8R8G8B8 texture with the given pixels (row by row from the top).
    IDirect3DTexture9* texture(UINT w, UINT h, const std::vector<uint32_t>& texels) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(dev->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                static_cast<uint32_t*>(static_cast<void*>(static_cast<BYTE*>(locked.pBits) +
                                                          y * locked.Pitch))[x] = texels[y * w + x];
        EXPECT_EQ(t->UnlockRect(0), D3D_OK);
        return t;
    }

    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    D3DPRESENT_PARAMETERS params{};
};
