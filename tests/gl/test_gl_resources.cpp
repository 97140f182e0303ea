// The Direct3D object on SDL displays, resources of the GL device, and the D3DX texture loader
// on small image files the tests write themselves.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/d3d9/d3d9_gl_internal.h"
#include "platform/window/window_internal.h"
#include "platform/wingdi.h"
#include "tests/gl/gl_test_util.h"

namespace {
// A file in /tmp removed when the test ends.
class temp_file {
  public:
    explicit temp_file(const std::string& extension) {
        std::string pattern = "/tmp/hv-d3dx-XXXXXX" + extension;
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = mkstemps(name.data(), static_cast<int>(extension.size()));
        if (fd >= 0) close(fd);
        path_ = name.data();
    }
    ~temp_file() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

  private:
    std::string path_;
};

// A 24-bit BMP whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
template <class F> void write_bmp(const char* path, int w, int h, F colour) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = colour(x, y);
            auto* px = static_cast<Uint8*>(s->pixels) + y * s->pitch + x * 3;
            px[0] = static_cast<Uint8>(c >> 16);
            px[1] = static_cast<Uint8>(c >> 8);
            px[2] = static_cast<Uint8>(c);
        }
    SDL_SaveBMP(s, path);
    SDL_FreeSurface(s);
}

std::string read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_all(const char* path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<uint32_t> level_pixels(IDirect3DTexture9* t, UINT level) {
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked{};
    std::vector<uint32_t> out;
    if (FAILED(t->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return out;
    for (UINT y = 0; y < desc.Height; ++y)
        for (UINT x = 0; x < desc.Width; ++x)
            out.push_back(static_cast<const uint32_t*>(
                static_cast<const void*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch))[x]);
    t->UnlockRect(level);
    return out;
}

// What a managed level holds in memory outside the device's GL copy.
const std::vector<uint32_t>& cpu_copy(IDirect3DTexture9* t, UINT level) {
    return static_cast<d3dgl::gl_texture*>(t)->levels[level]->pixels;
}

HRESULT load(IDirect3DDevice9* dev, const char* path, IDirect3DTexture9** t, UINT w = 0, UINT h = 0,
             UINT mips = 0) {
    return D3DXCreateTextureFromFileExA(dev, path, w, h, mips, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr, t);
}
} // namespace

TEST(GlAdapter, DisplaysModesAndChecks) {
    EXPECT_EQ(Direct3DCreate9(32), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr) << "no display";
    ASSERT_GE(d3d->GetAdapterCount(), 1u);
    UINT missing = d3d->GetAdapterCount();

    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(desktop.RefreshRate, 0u); // Xvfb's 0 Hz reads as 60
    UINT count = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    ASSERT_GE(count, 1u);
    bool desktop_listed = false;
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE m{};
        ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &m), D3D_OK);
        EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
        EXPECT_GT(m.RefreshRate, 0u);
        desktop_listed |=
            m.Width == desktop.Width && m.Height == desktop.Height && m.RefreshRate == desktop.RefreshRate;
    }
    EXPECT_TRUE(desktop_listed);
    D3DDISPLAYMODE m{};
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, count, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 0u); // not a display format
    // Whatever the desktop reports, only modes a device can be made in are offered.
    for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A2R10G10B10}) {
        if (d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, f, f, FALSE) != D3D_OK) {
            EXPECT_EQ(d3d->GetAdapterModeCount(0, f), 0u) << f;
        }
    }

    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_D16),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_X8R8G8B8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D16),
              D3D_OK);

    D3DCAPS9 caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(caps.MaxPointSize, 64.0f);
    EXPECT_GE(caps.MaxTextureWidth, 2048u);

    // An adapter that does not exist is an invalid call everywhere.
    D3DADAPTER_IDENTIFIER9 id{};
    EXPECT_EQ(d3d->GetAdapterDisplayMode(missing, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(missing, D3DFMT_X8R8G8B8), 0u);
    EXPECT_EQ(d3d->EnumAdapterModes(missing, D3DFMT_X8R8G8B8, 0, &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceType(missing, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CheckDeviceFormat(missing, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_D16),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        d3d->CheckDepthStencilMatch(missing, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetDeviceCaps(missing, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterIdentifier(missing, 0, &id), D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS p{};
    IDirect3DDevice9* dev = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(d3d->CreateDevice(missing, D3DDEVTYPE_HAL, nullptr, 0, &p, &dev), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
}

using GlResources = gl_test;

TEST_F(GlResources, IdentifierNamesTheRenderer) {
    D3DADAPTER_IDENTIFIER9 id{};
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    std::string description = id.Description;
    EXPECT_EQ(description.rfind("OpenGL: ", 0), 0u) << description;
    std::printf("GL_RENDERER: %s\n", description.substr(8).c_str());
    IDirect3D9* from_device = nullptr;
    ASSERT_EQ(dev->GetDirect3D(&from_device), D3D_OK);
    EXPECT_EQ(from_device, d3d);
    from_device->Release();
}

TEST_F(GlResources, FullScreenTakesTheModeAndWindowedLeavesIt) {
    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    D3DPRESENT_PARAMETERS p = windowed_params();
    p.Windowed = FALSE;
    p.BackBufferWidth = desktop.Width;
    p.BackBufferHeight = desktop.Height;
    p.FullScreen_RefreshRateInHz = desktop.RefreshRate;
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl_window_of(window)) & SDL_WINDOW_FULLSCREEN);
    IDirect3DSurface9* bb = nullptr;
    dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3DSURFACE_DESC desc{};
    bb->GetDesc(&desc);
    bb->Release();
    EXPECT_EQ(desc.Width, desktop.Width);
    EXPECT_EQ(desc.Height, desktop.Height);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(grab().count(0x00FF00), static_cast<int>(desktop.Width * desktop.Height));
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // A mode the display does not list is refused.
    p.BackBufferWidth = 123;
    EXPECT_EQ(dev->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    // Back to a window of the client size.
    SetWindowPos(window, HWND_TOP, 0, 0, client_w, client_h, 0);
    p = windowed_params();
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    EXPECT_FALSE(SDL_GetWindowFlags(sdl_window_of(window)) & SDL_WINDOW_FULLSCREEN);
    EXPECT_EQ(dev->TestCooperativeLevel(), D3D_OK);
}

TEST_F(GlResources, PresentKeepsToTheRefreshRateUnlessImmediate) {
    D3DDISPLAYMODE desktop{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    D3DPRESENT_PARAMETERS p = windowed_params();
    p.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // Nine full frame periods at the least, whoever keeps the pace (the driver or the device).
    EXPECT_GE(ms, 0.8 * 9 * 1000.0 / desktop.RefreshRate);
}

TEST_F(GlResources, TexturesLockWithAPitchAndCountTheirLevels) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(dev->CreateTexture(512, 256, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 10u);
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(9, &desc);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    t->GetLevelDesc(1, &desc);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(desc.Height, 128u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_GE(locked.Pitch, 512 * 4);
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    RECT part{10, 20, 30, 40};
    ASSERT_EQ(t->LockRect(0, &locked, &part, 0), D3D_OK);
    static_cast<uint32_t*>(locked.pBits)[0] = 0xFF112233;
    t->UnlockRect(0);
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(
        static_cast<uint32_t*>(static_cast<void*>(static_cast<BYTE*>(locked.pBits) + 20 * locked.Pitch))[10],
        0xFF112233u);
    t->UnlockRect(0);

    // GetSurfaceLevel adds a reference the caller releases; the texture lives on until the last.
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    EXPECT_EQ(t->Release(), 1u);
    s->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 512u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(s->Release(), 0u);

    // Default-pool textures that are not dynamic cannot be locked; scratch ones can but never draw.
    ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr), D3D_OK);
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    t->Release();
    ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &t, nullptr), D3D_OK);
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    t->UnlockRect(0);
    EXPECT_EQ(dev->SetTexture(0, t), D3DERR_INVALIDCALL);
    t->Release();
    EXPECT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(GlResources, SurfaceContextDrawsIntoTheTexture) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(dev->CreateTexture(64, 32, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    IDirect3DSurface9* s = nullptr;
    t->GetSurfaceLevel(0, &s);
    HDC dc = nullptr;
    ASSERT_EQ(s->GetDC(&dc), D3D_OK);
    ASSERT_NE(dc, nullptr);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL); // GDI holds it
    EXPECT_EQ(s->ReleaseDC(dc), D3D_OK);
    EXPECT_EQ(s->ReleaseDC(dc), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    t->UnlockRect(0);
    s->Release();
    t->Release();
    // GDI knows no alpha channel.
    ASSERT_EQ(dev->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    t->GetSurfaceLevel(0, &s);
    EXPECT_EQ(s->GetDC(&dc), D3DERR_INVALIDCALL);
    s->Release();
    t->Release();
}

TEST_F(GlResources, VertexBuffersLockWholeOrInPart) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(dev->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, FVF_UNT, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 96u);
    EXPECT_EQ(desc.FVF, FVF_UNT);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3DERR_INVALIDCALL); // not dynamic
    ASSERT_EQ(vb->Lock(24, 24, &data, 0), D3D_OK);
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(90, 24, &data, 0), D3DERR_INVALIDCALL);
    // Managed buffers do not hold up a Reset.
    D3DPRESENT_PARAMETERS p = windowed_params();
    EXPECT_EQ(dev->Reset(&p), D3D_OK);
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    vb->Unlock();
    vb->Release();
}

TEST_F(GlResources, ReleasingTheDeviceLeavesHeldResourcesUsable) {
    IDirect3DTexture9* t = texture(2, 2, {1, 2, 3, 4});
    dev->SetTexture(0, t);
    // A loaded picture: level 0 only in GL, its mip level not computed yet.
    temp_file bmp(".bmp");
    write_bmp(bmp.path(), 2, 2, [](int x, int) { return x ? 0x204060u : 0x406080u; });
    IDirect3DTexture9* loaded = nullptr;
    ASSERT_EQ(load(dev, bmp.path(), &loaded), D3D_OK);
    ASSERT_TRUE(cpu_copy(loaded, 0).empty());
    EXPECT_EQ(dev->Release(), 0u);
    dev = nullptr;
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[3], 4u);
    t->UnlockRect(0);
    EXPECT_EQ(t->Release(), 0u);
    EXPECT_EQ(level_pixels(loaded, 0),
              (std::vector<uint32_t>{0xFF406080u, 0xFF204060u, 0xFF406080u, 0xFF204060u}));
    EXPECT_EQ(level_pixels(loaded, 1), std::vector<uint32_t>{0xFF305070u});
    EXPECT_EQ(loaded->Release(), 0u);
}

void write_level(IDirect3DTexture9* t, UINT level, const RECT* part, const std::vector<uint32_t>& texels) {
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(level, &desc);
    RECT r = part ? *part : RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(level, &locked, part, 0), D3D_OK);
    const LONG w = r.right - r.left;
    for (LONG y = 0; y < r.bottom - r.top; ++y)
        std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[static_cast<size_t>(y * w)],
                    static_cast<size_t>(w) * 4);
    ASSERT_EQ(t->UnlockRect(level), D3D_OK);
}

TEST_F(GlResources, ManagedLevelsKeepNoCopyOutsideALockAndLocksKeepTheirMeaning) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(dev->CreateTexture(16, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    // Never written: zeros, and nothing held for them afterwards.
    EXPECT_EQ(level_pixels(t, 0), std::vector<uint32_t>(128, 0u));
    EXPECT_TRUE(cpu_copy(t, 0).empty());
    std::vector<uint32_t> want(128);
    for (uint32_t i = 0; i < want.size(); ++i)
        want[i] = 0xFF000000u | i * 0x010203u;
    write_level(t, 0, nullptr, want);
    EXPECT_TRUE(cpu_copy(t, 0).empty());
    // A lock of part of the level: the rest comes back from GL unchanged.
    RECT part{3, 2, 5, 4};
    write_level(t, 0, &part, std::vector<uint32_t>(4, 0x80ABCDEFu));
    for (int y = 2; y < 4; ++y)
        for (int x = 3; x < 5; ++x)
            want[static_cast<size_t>(y * 16 + x)] = 0x80ABCDEFu;
    EXPECT_EQ(level_pixels(t, 0), want);
    EXPECT_TRUE(cpu_copy(t, 0).empty());
    // GL draws what the locks wrote.
    dev->SetTexture(0, t);
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    quad(0, 0, 16, 8, 0.5f, 0xFFFFFFFF);
    pixels p = grab();
    EXPECT_EQ(p.at(1, 1), want[17] & 0xFFFFFFu);
    EXPECT_EQ(p.at(10, 6), want[106] & 0xFFFFFFu);
    dev->SetTexture(0, nullptr);
    t->Release();

    // GDI draws over what GL holds, and the level gives both back afterwards.
    ASSERT_EQ(dev->CreateTexture(32, 16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    write_level(t, 0, nullptr, std::vector<uint32_t>(512, 0xFF102030u));
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    HDC dc = nullptr;
    ASSERT_EQ(s->GetDC(&dc), D3D_OK);
    HFONT font = CreateFontA(14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
    SelectObject(dc, font);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    RECT all{0, 0, 32, 16};
    DrawTextA(dc, "WW", -1, &all, DT_SINGLELINE);
    ASSERT_EQ(s->ReleaseDC(dc), D3D_OK);
    DeleteObject(font);
    EXPECT_TRUE(cpu_copy(t, 0).empty());
    int kept = 0, drawn = 0;
    for (uint32_t p : level_pixels(t, 0)) {
        kept += (p & 0xFFFFFFu) == 0x102030u;
        drawn += (p & 0xFFFFFFu) == 0xFFFFFFu;
    }
    EXPECT_GT(drawn, 10);
    EXPECT_GT(kept, 200);
    s->Release();
    t->Release();
}

// A picture whose 4 x 4 blocks are each one colour halves without rounding for two levels.
uint32_t block_colour(int bx, int by) {
    return 0xFF000000u | static_cast<uint32_t>(bx * 60) << 16 | static_cast<uint32_t>(by * 100) << 8 | 0x40u;
}

TEST_F(GlResources, LoaderMipLevelsAreTheHalvingsOfTheLevelAboveWhenRead) {
    temp_file bmp(".bmp");
    write_bmp(bmp.path(), 16, 8, [](int x, int y) { return block_colour(x / 4, y / 4) & 0xFFFFFFu; });
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(load(dev, bmp.path(), &t), D3D_OK);
    ASSERT_EQ(t->GetLevelCount(), 5u); // 16 x 8, 8 x 4, 4 x 2, 2 x 1, 1 x 1
    auto expected = [](UINT level, UINT w, UINT h) {
        std::vector<uint32_t> out;
        const UINT block = 4 >> level;
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                out.push_back(block_colour(static_cast<int>(x / block), static_cast<int>(y / block)));
        return out;
    };
    // Out of order: each level is computed from the one above when read, and not kept.
    EXPECT_EQ(level_pixels(t, 2), expected(2, 4, 2));
    EXPECT_EQ(level_pixels(t, 1), expected(1, 8, 4));
    std::vector<uint32_t> last = level_pixels(t, 4);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_NEAR(static_cast<int>((last[0] >> 16) & 0xFF), 90, 1); // the mean of 0, 60, 120, 180
    EXPECT_NEAR(static_cast<int>((last[0] >> 8) & 0xFF), 50, 1);
    for (UINT level = 1; level < 5; ++level)
        EXPECT_TRUE(cpu_copy(t, level).empty()) << level;

    // Writing a level leaves the levels below as they were.
    write_level(t, 0, nullptr, std::vector<uint32_t>(128, 0xFFFFFFFFu));
    EXPECT_EQ(level_pixels(t, 1), expected(1, 8, 4));
    EXPECT_EQ(level_pixels(t, 2), expected(2, 4, 2));
    write_level(t, 1, nullptr, std::vector<uint32_t>(32, 0xFF000000u));
    EXPECT_EQ(level_pixels(t, 2), expected(2, 4, 2));
    EXPECT_EQ(level_pixels(t, 1), std::vector<uint32_t>(32, 0xFF000000u));
    EXPECT_EQ(level_pixels(t, 0), std::vector<uint32_t>(128, 0xFFFFFFFFu));
    t->Release();
}

TEST_F(GlResources, AMipFilterSamplesTheMipLevelsAndOnlyThenStoresThem) {
    // Red and blue pixels in turn: every mip level is their mean, purple.
    temp_file bmp(".bmp");
    write_bmp(bmp.path(), 64, 64, [](int x, int y) { return (x + y) % 2 ? 0xFF0000u : 0x0000FFu; });
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(load(dev, bmp.path(), &t), D3D_OK);
    auto* gl_texture = static_cast<d3dgl::gl_texture*>(t);
    dev->SetTexture(0, t);
    auto drawn = [&] {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        quad(0, 0, 16, 16, 0.5f, 0xFFFFFFFF); // a quarter of the size: level 2 when mip-mapped
        return grab().at(8, 8);
    };
    uint32_t plain = drawn();
    EXPECT_TRUE(plain == 0xFF0000u || plain == 0x0000FFu) << std::hex << plain;
    EXPECT_FALSE(gl_texture->mips_on_gl);
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        dev->SetSamplerState(0, D3DSAMP_MIPFILTER, filter);
        uint32_t mixed = drawn();
        EXPECT_NEAR(static_cast<int>(mixed >> 16), 128, 2) << std::hex << mixed;
        EXPECT_NEAR(static_cast<int>(mixed & 0xFF), 128, 2) << std::hex << mixed;
        EXPECT_EQ((mixed >> 8) & 0xFF, 0u);
    }
    EXPECT_TRUE(gl_texture->mips_on_gl);
    // GL keeps them now; a lock still reads each level as it is.
    for (UINT level = 1; level < t->GetLevelCount(); ++level) {
        EXPECT_TRUE(cpu_copy(t, level).empty()) << level;
        EXPECT_NEAR(static_cast<int>((level_pixels(t, level)[0] >> 16) & 0xFF), 128, 1) << level;
    }
    dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    dev->SetTexture(0, nullptr);
    t->Release();
}

// ---- the texture loader ----------------------------------------------------------------------

TEST_F(GlResources, LoaderTurnsTheColourKeyIntoTransparentBlack) {
    temp_file bmp(".bmp");
    write_bmp(bmp.path(), 3, 2, [](int x, int y) { return (x + y) % 2 ? 0xFF00FFu : 0x336699u; });
    IDirect3DTexture9* t = nullptr;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, bmp.path(), 0, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF, &info, nullptr, &t),
              D3D_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    std::vector<uint32_t> px = level_pixels(t, 0);
    ASSERT_EQ(px.size(), 6u);
    EXPECT_EQ(px[0], 0xFF336699u);
    EXPECT_EQ(px[1], 0x00000000u);
    EXPECT_EQ(px[2], 0xFF336699u);
    EXPECT_EQ(px[3], 0x00000000u);
    EXPECT_EQ(px[4], 0xFF336699u);
    t->Release();
    // Key 0 keys nothing; a key with another alpha than the pixel's matches nothing either.
    for (D3DCOLOR key : {0u, 0x00FF00FFu}) {
        ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, bmp.path(), 0, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                               D3DX_DEFAULT, D3DX_DEFAULT, key, nullptr, nullptr, &t),
                  D3D_OK);
        EXPECT_EQ(level_pixels(t, 0)[1], 0xFFFF00FFu);
        t->Release();
    }
}

TEST_F(GlResources, LoaderTakesTheFileSizeOrScales) {
    temp_file bmp(".bmp");
    write_bmp(bmp.path(), 37, 21, [](int x, int) { return x < 18 ? 0xFF0000u : 0x0000FFu; });
    IDirect3DTexture9* t = nullptr;
    for (UINT size : {0u, D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE}) {
        ASSERT_EQ(load(dev, bmp.path(), &t, size, size), D3D_OK);
        D3DSURFACE_DESC desc{};
        t->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, 37u); // not rounded to a power of two
        EXPECT_EQ(desc.Height, 21u);
        EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
        EXPECT_EQ(t->GetLevelCount(), 6u); // mip levels 0: the full chain
        t->Release();
    }
    ASSERT_EQ(load(dev, bmp.path(), &t, 8, 4), D3D_OK);
    D3DSURFACE_DESC desc{};
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 8u);
    EXPECT_EQ(desc.Height, 4u);
    std::vector<uint32_t> px = level_pixels(t, 0);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[7], 0xFF0000FFu);
    // The smallest level is the mean of everything above it.
    std::vector<uint32_t> last = level_pixels(t, t->GetLevelCount() - 1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_NEAR(static_cast<int>((last[0] >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(static_cast<int>(last[0] & 0xFF), 128, 2);
    t->Release();
}

TEST_F(GlResources, LoaderReadsAnUncompressedTga) {
    // 2 x 2, 32 bits, uncompressed, rows from the top (descriptor bit 5), BGRA bytes.
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
    const unsigned char texels[] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0xFF,
                                    0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x80};
    tga.append(reinterpret_cast<const char*>(texels), sizeof texels);
    temp_file file(".tga");
    write_all(file.path(), tga);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(load(dev, file.path(), &t, 0, 0, 1), D3D_OK);
    std::vector<uint32_t> px = level_pixels(t, 0);
    ASSERT_EQ(px.size(), 4u);
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_EQ(px[1], 0xFF00FF00u);
    EXPECT_EQ(px[2], 0xFF0000FFu);
    EXPECT_EQ(px[3], 0x80FF00FFu); // magenta, but not opaque: not the key
    t->Release();
}

TEST_F(GlResources, LoaderKeepsPartialAlphaOfPngAndReadsIcons) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 2, 1, 32, SDL_PIXELFORMAT_ARGB8888);
    static_cast<uint32_t*>(s->pixels)[0] = 0x80102030u;
    static_cast<uint32_t*>(s->pixels)[1] = 0xFFFF00FFu;
    temp_file png(".png");
    ASSERT_EQ(IMG_SavePNG(s, png.path()), 0);
    SDL_FreeSurface(s);
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(load(dev, png.path(), &t, 0, 0, 1), D3D_OK);
    std::vector<uint32_t> px = level_pixels(t, 0);
    ASSERT_EQ(px.size(), 2u);
    EXPECT_EQ(px[0], 0x80102030u);
    EXPECT_EQ(px[1], 0x00000000u);
    t->Release();
    // The game's own icon goes through the same loader.
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(D3DXCreateTextureFromFileExA(dev, HV_SOURCE_DIR "/DATA/harnvale.ico", 0, 0, 1, 0,
                                           D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                           &info, nullptr, &t),
              D3D_OK);
    EXPECT_GE(info.Width, 16u);
    EXPECT_EQ(info.Width, info.Height);
    t->Release();
}

TEST_F(GlResources, LoaderFailsOnBrokenFilesWithoutATexture) {
    IDirect3DTexture9* t = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_LT(load(dev, "/tmp/hv-no-such-file.png", &t), 0);
    EXPECT_EQ(t, nullptr);

    temp_file text(".png");
    write_all(text.path(), "[main]\ncaption=Harnvale\nThis is not a picture at all.\n");
    EXPECT_LT(load(dev, text.path(), &t), 0);
    EXPECT_EQ(t, nullptr);
    temp_file text_tga(".tga");
    write_all(text_tga.path(), "just words, no header worth the name\n");
    EXPECT_LT(load(dev, text_tga.path(), &t), 0);

    temp_file bmp(".bmp");
    write_bmp(bmp.path(), 64, 64, [](int, int) { return 0x808080u; });
    std::string whole = read_all(bmp.path());
    temp_file cut(".bmp");
    write_all(cut.path(), whole.substr(0, whole.size() / 3));
    EXPECT_LT(load(dev, cut.path(), &t), 0);
    EXPECT_EQ(t, nullptr);
    write_all(cut.path(), whole.substr(0, 20)); // not even the whole header
    EXPECT_LT(load(dev, cut.path(), &t), 0);
    write_all(cut.path(), "");
    EXPECT_LT(load(dev, cut.path(), &t), 0);
    EXPECT_LT(D3DXCreateTextureFromFileExA(nullptr, bmp.path(), 0, 0, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                           D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &t),
              0);
}
