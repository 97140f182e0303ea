// The GL entry points and the small facts shared by the Direct3D object and its device:
// formats, capabilities and vertex layouts.
#include <cstring>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3dgl {

gl_api gl;

bool load_gl() {
    bool complete = true;
#define HV_GL_LOAD(type, name)                                                                               \
    gl.name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));                                     \
    if (!gl.name) complete = false;
    HV_GL_FUNCTIONS(HV_GL_LOAD)
#undef HV_GL_LOAD
    return complete;
}

namespace {
std::string g_last_renderer;
} // namespace

const std::string& last_renderer() {
    return g_last_renderer;
}
void set_last_renderer(const std::string& name) {
    g_last_renderer = name;
}

void fill_caps(UINT adapter, D3DCAPS9* caps) {
    *caps = D3DCAPS9{};
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->AdapterOrdinal = adapter;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    // Every GL 3.3 implementation in use takes 8192; a live context may say less.
    caps->MaxTextureWidth = caps->MaxTextureHeight = 8192;
    caps->MaxPointSize = 64.0f;
    caps->MaxPrimitiveCount = 0xFFFFF;
}

bool is_colour_format(D3DFORMAT f) {
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8;
}

bool is_depth_format(D3DFORMAT f) {
    return f == D3DFMT_D16 || f == D3DFMT_D24X8 || f == D3DFMT_D24S8 || f == D3DFMT_D32;
}

bool layout_of(DWORD fvf, vertex_layout* layout) {
    *layout = vertex_layout{};
    DWORD position = fvf & 0x00E;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return false;
    layout->pretransformed = position == D3DFVF_XYZRHW;
    UINT offset = layout->pretransformed ? 16 : 12;
    if (fvf & 0x010) offset += 12; // normal: carried, never used
    if (fvf & D3DFVF_PSIZE) {
        layout->psize = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        layout->diffuse = static_cast<int>(offset);
        offset += 4;
    }
    if (fvf & 0x080) offset += 4; // specular: carried, never used
    UINT sets = (fvf >> 8) & 0xF;
    if (sets > 0) layout->texcoord = static_cast<int>(offset);
    offset += sets * 8;
    layout->size = offset;
    return true;
}

D3DFORMAT display_format_of(Uint32 sdl_format) {
    // A display that does not say (the offscreen driver) shows what the device draws.
    if (sdl_format == SDL_PIXELFORMAT_UNKNOWN) return D3DFMT_X8R8G8B8;
    switch (SDL_BITSPERPIXEL(sdl_format)) {
    case 24:
    case 32:
        return D3DFMT_X8R8G8B8;
    case 16:
        return D3DFMT_R5G6B5;
    case 15:
        return D3DFMT_X1R5G5B5;
    default:
        return D3DFMT_UNKNOWN;
    }
}

UINT refresh_of(int sdl_refresh) {
    return sdl_refresh > 0 ? static_cast<UINT>(sdl_refresh) : 60;
}

} // namespace d3dgl
