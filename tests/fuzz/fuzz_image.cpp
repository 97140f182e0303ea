// The picture loader under arbitrary file contents, on the recording device, with the argument
// sets the program uses: a cursor (scaled to 32 x 32, colour key), a picture of the registry
// (file size, full mip chain) and the map's picking image (scratch pool, one level). A file the
// loader cannot take must end in a failed HRESULT, never in a crash or an unbounded allocation;
// a texture it makes must have the size asked for.
#include <cstdint>
#include <string>

#include "framework/gfx.h"
#include "platform/d3dx9.h"
#include "tests/fakes/recording_device.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

// The name a player would give the file: by its signature, TGA when it has none.
const char* extension_for(const uint8_t* d, size_t n) {
    if (n >= 4 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') return ".png";
    if (n >= 2 && d[0] == 'B' && d[1] == 'M') return ".bmp";
    if (n >= 4 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || d[2] == 2) && d[3] == 0) return ".ico";
    return ".tga";
}

void check_texture(IDirect3DTexture9* t, UINT width, UINT height) {
    D3DSURFACE_DESC desc{};
    FUZZ_CHECK(SUCCEEDED(t->GetLevelDesc(0, &desc)), "a made texture has no level 0");
    if (width) FUZZ_CHECK(desc.Width == width && desc.Height == height, "a texture of the wrong size");
    FUZZ_CHECK(desc.Width > 0 && desc.Height > 0, "a texture of size 0");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static recording_device* dev = [] {
        auto* d = new recording_device();
        d->keep_log = false;
        return d;
    }();
    static c_gfx* gfx = new c_gfx(dev, 2.0e-5f);
    static const int baseline = dev->live_resources();
    const std::string path = fuzz_dir() + "/picture" + extension_for(data, size);
    fuzz_replace_file(path, data, size);

    // One argument set per input (chosen by its length), so that each input stays cheap.
    IDirect3DTexture9* t = nullptr;
    switch (size % 3) {
    case 0:
        if (SUCCEEDED(D3DXCreateTextureFromFileExA(dev, path.c_str(), 32, 32, 0, 0, D3DFMT_A8R8G8B8,
                                                   D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF,
                                                   nullptr, nullptr, &t))) {
            FUZZ_CHECK(t, "success without a texture");
            check_texture(t, 32, 32);
            t->Release();
        } else {
            FUZZ_CHECK(!t, "a failed load left a texture");
        }
        break;
    case 1: {
        D3DXIMAGE_INFO info{};
        if (SUCCEEDED(D3DXCreateTextureFromFileExA(dev, path.c_str(), 0, 0, 1, 0, D3DFMT_A8R8G8B8,
                                                   D3DPOOL_SCRATCH, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info,
                                                   nullptr, &t))) {
            check_texture(t, info.Width, info.Height);
            t->Release();
        }
        break;
    }
    default:
        // Through the registry, as the screens and the battle load their pictures.
        try {
            c_image* image = gfx->get_image(path, 0.0f);
            image->release();
        } catch (const c_err& e) {
            FUZZ_CHECK(e.details.rfind("Unable to", 0) == 0, "a raise that is not a sentence: " + e.details);
        }
        break;
    }
    FUZZ_CHECK(dev->live_resources() == baseline, "a load left a texture behind");
    dev->clear_log();
    return 0;
}
