// Picture files decoded on SDL_image, once their header has passed the checks of image_file.cpp.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/d3d9.h"
#include "platform/image/image_decode.h"

namespace {

struct surface_free {
    void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using surface_ptr = std::unique_ptr<SDL_Surface, surface_free>;

} // namespace

SDL_Surface* decode_image_file(const char* path, image_header* header, std::string* why) {
    image_header h;
    if (!read_image_header(path, &h, why)) return nullptr;
    if (header) *header = h;
    SDL_RWops* rw = SDL_RWFromFile(path, "rb");
    if (!rw) {
        if (why) *why = "the file cannot be opened";
        return nullptr;
    }
    SDL_Surface* s = nullptr;
    switch (h.format) {
    case image_file_format::png:
        s = IMG_LoadPNG_RW(rw);
        break;
    case image_file_format::bmp:
        s = IMG_LoadBMP_RW(rw);
        break;
    case image_file_format::tga:
        s = IMG_LoadTGA_RW(rw);
        break;
    case image_file_format::ico:
        s = IMG_LoadICO_RW(rw);
        break;
    case image_file_format::unknown:
        break;
    }
    SDL_RWclose(rw);
    if (!s && why) *why = std::string("the picture does not decode: ") + IMG_GetError();
    // A decoder that disagrees with the checked header must not hand on more than was bounded.
    if (s && (s->w <= 0 || s->h <= 0 || static_cast<UINT>(s->w) > IMAGE_MAX_SIDE ||
              static_cast<UINT>(s->h) > IMAGE_MAX_SIDE)) {
        SDL_FreeSurface(s);
        if (why) *why = "the picture decodes to another size than its header claims";
        return nullptr;
    }
    return s;
}

HRESULT decode_image_pixels(const char* path, image_pixels* out, std::string* why) {
    image_header h;
    if (std::FILE* f = path ? std::fopen(path, "rb") : nullptr)
        std::fclose(f);
    else {
        if (why) *why = "the file cannot be opened";
        return D3DERR_INVALIDCALL;
    }
    surface_ptr decoded(decode_image_file(path, &h, why));
    if (!decoded) return E_FAIL;
    out->format = h.format;
    out->has_alpha = decoded->format->Amask != 0 || SDL_HasColorKey(decoded.get());
    const int w = decoded->w, ht = decoded->h;
    out->width = static_cast<UINT>(w);
    out->height = static_cast<UINT>(ht);
    out->pixels.resize(static_cast<size_t>(out->width) * out->height);
    // ARGB8888 is a 32-bit 0xAARRGGBB value per pixel: D3DFMT_A8R8G8B8 in memory. Straight into
    // the result where no palette or colour key needs a whole surface conversion.
    if (!SDL_ISPIXELFORMAT_INDEXED(decoded->format->format) && !SDL_HasColorKey(decoded.get())) {
        SDL_LockSurface(decoded.get());
        const int converted =
            SDL_ConvertPixels(w, ht, decoded->format->format, decoded->pixels, decoded->pitch,
                              SDL_PIXELFORMAT_ARGB8888, out->pixels.data(), w * 4);
        SDL_UnlockSurface(decoded.get());
        if (converted == 0) return D3D_OK;
    }
    surface_ptr argb(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_ARGB8888, 0));
    decoded.reset();
    if (!argb) {
        if (why) *why = std::string("the picture does not convert: ") + SDL_GetError();
        return E_FAIL;
    }
    SDL_LockSurface(argb.get());
    for (UINT y = 0; y < out->height; ++y)
        std::memcpy(&out->pixels[static_cast<size_t>(y) * out->width],
                    static_cast<const BYTE*>(argb->pixels) + static_cast<size_t>(y) * argb->pitch,
                    static_cast<size_t>(out->width) * 4);
    SDL_UnlockSurface(argb.get());
    return D3D_OK;
}
