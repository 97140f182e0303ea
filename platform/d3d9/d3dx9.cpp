// D3DX: the texture loader on the program's picture reader, and the matrix and vector helpers
// (row vectors).
// The loader only calls IDirect3DDevice9 methods (CreateTexture, LockRect, UnlockRect), so it
// fills textures of any device implementation, the recording fake of the tests included; only
// the mip chain of a GL device's texture is left to that texture to compute.
#include "platform/d3dx9.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/image/image_file.h"
#ifndef _WIN32
#include "platform/d3d9/d3d9_gl_internal.h"
#endif

namespace {

using image = image_pixels;

void apply_colour_key(image* img, D3DCOLOR key) {
    if (key == 0) return;
    for (uint32_t& p : img->pixels)
        if (p == key) p = 0x00000000u;
}

// An icon's entries are bitmaps; D3DX names no icon format of its own.
D3DXIMAGE_FILEFORMAT file_format_of(image_file_format format) {
    switch (format) {
    case image_file_format::png:
        return D3DXIFF_PNG;
    case image_file_format::tga:
        return D3DXIFF_TGA;
    default:
        return D3DXIFF_BMP;
    }
}

bool from_file(UINT size) {
    return size == 0 || size == D3DX_DEFAULT || size == D3DX_DEFAULT_NONPOW2 || size == D3DX_FROM_FILE;
}

// Point sampling: each target pixel takes the source pixel under its centre.
image scaled(const image& src, UINT width, UINT height) {
    if (width == src.width && height == src.height) return src;
    image out;
    out.width = width;
    out.height = height;
    out.has_alpha = src.has_alpha;
    out.pixels.resize(static_cast<size_t>(width) * height);
    for (UINT y = 0; y < height; ++y) {
        UINT sy = static_cast<UINT>((static_cast<uint64_t>(y) * 2 + 1) * src.height / (2ull * height));
        for (UINT x = 0; x < width; ++x) {
            UINT sx = static_cast<UINT>((static_cast<uint64_t>(x) * 2 + 1) * src.width / (2ull * width));
            out.pixels[static_cast<size_t>(y) * width + x] =
                src.pixels[static_cast<size_t>(sy) * src.width + sx];
        }
    }
    return out;
}

// The next mip level (see halve_pixels).
image halved(const image& src) {
    image out;
    out.width = std::max<UINT>(src.width / 2, 1);
    out.height = std::max<UINT>(src.height / 2, 1);
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    halve_pixels(src.pixels.data(), src.width, src.height, out.pixels.data());
    return out;
}

HRESULT fill_level(IDirect3DTexture9* texture, UINT level, const image& img) {
    D3DSURFACE_DESC desc{};
    HRESULT hr = texture->GetLevelDesc(level, &desc);
    if (FAILED(hr)) return hr;
    // Scaled only when the level differs: a copy of a screen-sized picture is megabytes of
    // fresh memory, and start-up loads many of them.
    image fitted;
    const image* source = &img;
    if (desc.Width != img.width || desc.Height != img.height) {
        fitted = scaled(img, desc.Width, desc.Height);
        source = &fitted;
    }
#ifndef _WIN32
    // The GL device takes the pixels straight into GL.
    auto* gl_texture = dynamic_cast<d3dgl::gl_texture*>(texture);
    if (gl_texture && gl_texture->write_level(level, source->pixels.data())) return D3D_OK;
#endif
    D3DLOCKED_RECT locked{};
    hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    for (UINT y = 0; y < desc.Height; ++y)
        std::memcpy(static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                    &source->pixels[static_cast<size_t>(y) * desc.Width], desc.Width * 4);
    return texture->UnlockRect(level);
}

} // namespace

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, LPCSTR file_name, UINT width, UINT height,
                                     UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD,
                                     DWORD, D3DCOLOR color_key, D3DXIMAGE_INFO* source_info, PALETTEENTRY*,
                                     IDirect3DTexture9** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!device || !file_name) return D3DERR_INVALIDCALL;
    // A size asked for by the caller is bounded like a size read from a file.
    UINT target_w = from_file(width) ? 0 : width, target_h = from_file(height) ? 0 : height;
    if (target_w > IMAGE_MAX_SIDE || target_h > IMAGE_MAX_SIDE ||
        static_cast<std::uint64_t>(target_w) * target_h > IMAGE_MAX_PIXELS)
        return D3DERR_INVALIDCALL;
    image img;
    HRESULT hr = load_image_file(file_name, &img, nullptr);
    if (FAILED(hr)) return hr;
    if (source_info) {
        source_info->Width = img.width;
        source_info->Height = img.height;
        source_info->Depth = source_info->MipLevels = 1;
        source_info->Format = img.has_alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        source_info->ResourceType = D3DRTYPE_TEXTURE;
        source_info->ImageFileFormat = file_format_of(img.format);
    }
    apply_colour_key(&img, color_key);
    // Scaling only when the caller asked for another size: a copy of the same size costs memory.
    const UINT want_w = target_w ? target_w : img.width, want_h = target_h ? target_h : img.height;
    if (want_w != img.width || want_h != img.height) img = scaled(img, want_w, want_h);

    UINT levels = mip_levels == D3DX_DEFAULT ? 0 : mip_levels == D3DX_FROM_FILE ? 1 : mip_levels;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) format = D3DFMT_A8R8G8B8;
    // A default-pool texture can only be filled through a lock when it is dynamic.
    if (pool == D3DPOOL_DEFAULT && !(usage & D3DUSAGE_RENDERTARGET)) usage |= D3DUSAGE_DYNAMIC;
    IDirect3DTexture9* created = nullptr;
    hr = device->CreateTexture(img.width, img.height, levels, usage, format, pool, &created, nullptr);
    if (FAILED(hr)) return hr;
    if (!created) return E_FAIL;
    DWORD count = created->GetLevelCount();
    // The GL device computes mip levels from the level above when something reads them (no
    // sampler reads them without a mip filter): a screen-sized picture's chain costs start-up
    // time for nothing. Other devices are filled level by level.
#ifndef _WIN32
    auto* lazy = dynamic_cast<d3dgl::gl_texture*>(created);
#endif
    for (DWORD level = 0; level < count; ++level) {
        hr = fill_level(created, level, img);
        if (FAILED(hr)) {
            created->Release();
            return hr;
        }
#ifndef _WIN32
        if (lazy) {
            lazy->derive_levels();
            break;
        }
#endif
        if (level + 1 < count) img = halved(img);
    }
    *texture = created;
    return D3D_OK;
}

#ifndef _WIN32 // the SDK's header has it inline
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX{};
    out->_11 = out->_22 = out->_33 = out->_44 = 1.0f;
    return out;
}
#endif

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    D3DXMatrixIdentity(out);
    float c = std::cos(angle), s = std::sin(angle);
    out->_11 = c;
    out->_12 = s;
    out->_21 = -s;
    out->_22 = c;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
    D3DXMatrixIdentity(out);
    out->_11 = sx;
    out->_22 = sy;
    out->_33 = sz;
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) {
    D3DXMATRIX r; // out may be one of the inputs; every element is set below
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] + m1->m[i][2] * m2->m[2][j] +
                        m1->m[i][3] * m2->m[3][j];
    *out = r;
    return out;
}

D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m) {
    const float in[4] = {v->x, v->y, v->z, v->w};
    float r[4];
    for (int j = 0; j < 4; ++j)
        r[j] = in[0] * m->m[0][j] + in[1] * m->m[1][j] + in[2] * m->m[2][j] + in[3] * m->m[3][j];
    *out = D3DXVECTOR4{r[0], r[1], r[2], r[3]};
    return out;
}

D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    const D3DXVECTOR4 widened{v->x, v->y, v->z, 1.0f};
    return D3DXVec4Transform(out, &widened, m);
}
