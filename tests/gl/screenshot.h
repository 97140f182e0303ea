// Reading the back buffer the way the program would (GetRenderTargetData into a SYSTEMMEM
// surface) and saving it under build/screenshots (git-ignored) for a person to look at.
#pragma once
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/d3d9.h"

struct frame {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb; // 0x00RRGGBB, row 0 at the top
    std::uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    // Pixels within a rectangle whose colour passes a test.
    template <class F> int count(int l, int t, int r, int b, F test) const {
        int n = 0;
        for (int y = std::max(0, t); y < std::min(height, b); ++y)
            for (int x = std::max(0, l); x < std::min(width, r); ++x)
                n += test(at(x, y));
        return n;
    }
};

inline frame grab_back_buffer(IDirect3DDevice9* dev) {
    IDirect3DSurface9 *back = nullptr, *copy = nullptr;
    EXPECT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(dev->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                               nullptr),
              D3D_OK);
    EXPECT_EQ(dev->GetRenderTargetData(back, copy), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    frame f;
    f.width = static_cast<int>(desc.Width);
    f.height = static_cast<int>(desc.Height);
    for (int y = 0; y < f.height; ++y) {
        const auto* line = static_cast<const std::uint32_t*>(
            static_cast<const void*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch));
        for (int x = 0; x < f.width; ++x)
            f.rgb.push_back(line[x] & 0xFFFFFF);
    }
    copy->UnlockRect();
    copy->Release();
    back->Release();
    return f;
}

inline void save_screenshot(const frame& f, const std::string& name) {
    std::string dir = std::string(HV_SOURCE_DIR) + "/build/screenshots";
    std::filesystem::create_directories(dir);
    std::vector<std::uint32_t> argb(f.rgb);
    for (std::uint32_t& p : argb)
        p |= 0xFF000000;
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(argb.data(), f.width, f.height, 32, f.width * 4,
                                                        SDL_PIXELFORMAT_ARGB8888);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(IMG_SavePNG(s, (dir + "/" + name).c_str()), 0);
    SDL_FreeSurface(s);
}
