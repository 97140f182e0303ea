// The Direct3D object: adapters are SDL displays, their modes SDL's display modes, and the
// one device type is the GL context that CreateDevice makes on the window.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3dgl {

namespace {
void copy_text(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

bool same_mode(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    return a.Width == b.Width && a.Height == b.Height && a.RefreshRate == b.RefreshRate &&
           a.Format == b.Format;
}

// The device draws into 32-bit colour on whatever the desktop shows.
bool usable_display_format(D3DFORMAT f) {
    return f == D3DFMT_X8R8G8B8;
}
bool usable_back_buffer_format(D3DFORMAT f) {
    return is_colour_format(f);
}
} // namespace

ULONG gl_direct3d::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

bool gl_direct3d::valid_adapter(UINT adapter) const {
    int count = SDL_GetNumVideoDisplays();
    return count > 0 && adapter < static_cast<UINT>(count);
}

UINT gl_direct3d::GetAdapterCount() {
    int count = SDL_GetNumVideoDisplays();
    return count > 0 ? static_cast<UINT>(count) : 0;
}

HRESULT gl_direct3d::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* identifier) {
    if (!identifier || !valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    *identifier = D3DADAPTER_IDENTIFIER9{};
    const char* driver = SDL_GetCurrentVideoDriver();
    copy_text(identifier->Driver, sizeof identifier->Driver,
              std::string("SDL2 ") + (driver ? driver : "video"));
    const std::string& renderer = last_renderer();
    copy_text(identifier->Description, sizeof identifier->Description,
              renderer.empty() ? std::string("OpenGL 3.3 core device") : "OpenGL: " + renderer);
    const char* name = SDL_GetDisplayName(static_cast<int>(adapter));
    copy_text(identifier->DeviceName, sizeof identifier->DeviceName, name ? name : "display");
    return D3D_OK;
}

std::vector<D3DDISPLAYMODE> gl_direct3d::modes(UINT adapter, D3DFORMAT format) const {
    std::vector<D3DDISPLAYMODE> out;
    // Only modes a device can be made in are listed: SDL also reports 15- and 16-bit desktop
    // modes, and a player who picked one would find the game refusing to start in it.
    if (!valid_adapter(adapter) || !usable_display_format(format)) return out;
    auto add = [&](const SDL_DisplayMode& sdl) {
        D3DDISPLAYMODE mode{static_cast<UINT>(sdl.w), static_cast<UINT>(sdl.h), refresh_of(sdl.refresh_rate),
                            display_format_of(sdl.format)};
        // SDL lists a mode once per pixel layout; D3D once per format.
        if (sdl.w <= 0 || sdl.h <= 0 || mode.Format != format ||
            std::any_of(out.begin(), out.end(), [&](const D3DDISPLAYMODE& m) { return same_mode(m, mode); }))
            return;
        out.push_back(mode);
    };
    int count = SDL_GetNumDisplayModes(static_cast<int>(adapter));
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode sdl;
        if (SDL_GetDisplayMode(static_cast<int>(adapter), i, &sdl) == 0) add(sdl);
    }
    // The desktop's own mode is always one (the offscreen driver lists only an empty one).
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(static_cast<int>(adapter), &desktop) == 0) add(desktop);
    return out;
}

UINT gl_direct3d::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    return static_cast<UINT>(modes(adapter, format).size());
}

HRESULT gl_direct3d::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) {
    if (!out || !valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    std::vector<D3DDISPLAYMODE> list = modes(adapter, format);
    if (mode >= list.size()) return D3DERR_INVALIDCALL;
    *out = list[mode];
    return D3D_OK;
}

HRESULT gl_direct3d::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    if (!mode || !valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    SDL_DisplayMode sdl;
    if (SDL_GetDesktopDisplayMode(static_cast<int>(adapter), &sdl) != 0) return D3DERR_NOTAVAILABLE;
    *mode = D3DDISPLAYMODE{static_cast<UINT>(sdl.w), static_cast<UINT>(sdl.h), refresh_of(sdl.refresh_rate),
                           display_format_of(sdl.format)};
    return D3D_OK;
}

HRESULT gl_direct3d::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display_format,
                                     D3DFORMAT back_buffer_format, BOOL windowed) {
    if (!valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || !usable_display_format(display_format)) return D3DERR_NOTAVAILABLE;
    if (windowed && back_buffer_format == D3DFMT_UNKNOWN) return D3D_OK;
    return usable_back_buffer_format(back_buffer_format) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT gl_direct3d::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                                       D3DRESOURCETYPE resource_type, D3DFORMAT check_format) {
    if (!valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || !usable_display_format(adapter_format)) return D3DERR_NOTAVAILABLE;
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        return resource_type == D3DRTYPE_SURFACE && is_depth_format(check_format) ? D3D_OK
                                                                                  : D3DERR_NOTAVAILABLE;
    if (resource_type == D3DRTYPE_VERTEXBUFFER) return D3D_OK;
    return is_colour_format(check_format) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT gl_direct3d::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                            D3DFORMAT render_target_format, D3DFORMAT depth_format) {
    if (!valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL || !usable_display_format(adapter_format)) return D3DERR_NOTAVAILABLE;
    return is_colour_format(render_target_format) && is_depth_format(depth_format) ? D3D_OK
                                                                                   : D3DERR_NOTAVAILABLE;
}

HRESULT gl_direct3d::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (!caps || !valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    fill_caps(adapter, caps);
    return D3D_OK;
}

HRESULT gl_direct3d::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD,
                                  D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || !valid_adapter(adapter)) return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    HWND window = params->hDeviceWindow ? params->hDeviceWindow : focus_window;
    if (!sdl_window_of(window)) return D3DERR_INVALIDCALL;
    auto* created = new gl_device(this, adapter, window);
    HRESULT hr = created->create(*params);
    if (FAILED(hr)) {
        created->Release();
        return hr;
    }
    // As D3D does, the parameters come back with the sizes and format that were chosen.
    const D3DPRESENT_PARAMETERS& chosen = created->present_parameters();
    params->BackBufferWidth = chosen.BackBufferWidth;
    params->BackBufferHeight = chosen.BackBufferHeight;
    params->BackBufferFormat = chosen.BackBufferFormat;
    params->BackBufferCount = chosen.BackBufferCount;
    *device = created;
    return D3D_OK;
}

} // namespace d3dgl

IDirect3D9* Direct3DCreate9(UINT sdk_version) {
    if (sdk_version != D3D_SDK_VERSION) return nullptr;
    if (!platform_video_init() || SDL_GetNumVideoDisplays() < 1) return nullptr;
    return new d3dgl::gl_direct3d();
}
