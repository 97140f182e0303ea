// The device on its GL context: creation and Reset with their present parameters, the default
// states, Present with its frame pacing, recorded states, render targets, Clear and read-back.
//
// Index: 1. creation, Reset, lifetime; 2. Present and the cooperative level; 3. recorded states;
// 4. render targets, Clear, read-back.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3dgl {

namespace {
DWORD float_bits(float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

D3DMATRIX identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

RECT full_rect(const gl_surface* s) {
    return RECT{0, 0, static_cast<LONG>(s->width), static_cast<LONG>(s->height)};
}

// The SDL display mode of a full-screen request; false when the display has none like it.
bool find_display_mode(UINT adapter, UINT width, UINT height, UINT refresh, SDL_DisplayMode* found) {
    auto fits = [&](const SDL_DisplayMode& m) {
        return static_cast<UINT>(m.w) == width && static_cast<UINT>(m.h) == height &&
               (refresh == 0 || refresh_of(m.refresh_rate) == refresh) &&
               display_format_of(m.format) == D3DFMT_X8R8G8B8;
    };
    int count = SDL_GetNumDisplayModes(static_cast<int>(adapter));
    for (int i = 0; i < count; ++i)
        if (SDL_GetDisplayMode(static_cast<int>(adapter), i, found) == 0 && fits(*found)) return true;
    return SDL_GetDesktopDisplayMode(static_cast<int>(adapter), found) == 0 && fits(*found);
}
} // namespace

// ---- 1. creation, Reset, lifetime ---------------------------------------------------------

gl_device::gl_device(gl_direct3d* d3d, UINT adapter, HWND window)
    : d3d_(d3d), adapter_(adapter), window_(window) {
    d3d_->AddRef();
    sdl_ = sdl_window_of(window);
}

gl_device::~gl_device() {
    if (context_ && gl_loaded_) {
        make_current();
        unbind_all();
        end_frame(); // lets go of the textures the two frames hold
        end_frame();
        if (check_redraw_) report_frame_stats();
        // What the program still holds outlives the device without its GL names.
        for (gl_object* o : objects_) {
            o->drop_gl();
            o->forget_device();
        }
        objects_.clear();
        for (gl_surface* s : {back_buffer_, auto_depth_}) {
            if (!s) continue;
            s->drop_gl();
            delete s;
        }
        free_gl_objects();
    }
    if (context_) SDL_GL_DeleteContext(context_);
    d3d_->Release();
}

ULONG gl_device::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT gl_device::create(const D3DPRESENT_PARAMETERS& params) {
    if (!sdl_) return D3DERR_INVALIDCALL;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // A back buffer drawn straight into the window uses the window's depth buffer: 16 bits, as
    // the D16 surface it stands for.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    context_ = SDL_GL_CreateContext(sdl_);
    if (!context_) return D3DERR_NOTAVAILABLE;
    if (!load_gl()) return D3DERR_NOTAVAILABLE;
    gl_loaded_ = true;
    const char* renderer = reinterpret_cast<const char*>(gl.GetString(GL_RENDERER));
    set_last_renderer(renderer ? renderer : "unknown renderer");
    const char* driver = SDL_GetCurrentVideoDriver();
    offscreen_driver_ = driver && std::strcmp(driver, "offscreen") == 0;
    const char* check = std::getenv("HARNVALE_CHECK_REDRAW");
    check_redraw_ = check && *check && std::strcmp(check, "0") != 0;

    fill_caps(adapter_, &caps_);
    GLint max_texture = 0;
    gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
    if (max_texture > 0)
        caps_.MaxTextureWidth = caps_.MaxTextureHeight = std::min<DWORD>(caps_.MaxTextureWidth, max_texture);
    GLfloat point_range[2] = {1.0f, 64.0f};
    gl.GetFloatv(GL_POINT_SIZE_RANGE, point_range);
    caps_.MaxPointSize = std::min(caps_.MaxPointSize, point_range[1]);

    if (!init_gl_objects()) return D3DERR_NOTAVAILABLE;
    // A new context's viewport is the size of the window's buffer: no need to measure.
    GLint viewport[4] = {0, 0, 0, 0};
    gl.GetIntegerv(GL_VIEWPORT, viewport);
    gl_w_ = static_cast<UINT>(viewport[2]);
    gl_h_ = static_cast<UINT>(viewport[3]);
    int sdl_w = 0, sdl_h = 0;
    SDL_GL_GetDrawableSize(sdl_, &sdl_w, &sdl_h);
    sdl_w_ = static_cast<UINT>(sdl_w);
    sdl_h_ = static_cast<UINT>(sdl_h);
    back_buffer_ = new gl_surface(this, surface_kind::back_buffer, 1, 1, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                  D3DUSAGE_RENDERTARGET);
    back_buffer_->device_owned = true;
    auto_depth_ = new gl_surface(this, surface_kind::auto_depth, 1, 1, D3DFMT_D16, D3DPOOL_DEFAULT,
                                 D3DUSAGE_DEPTHSTENCIL);
    auto_depth_->device_owned = true;
    D3DPRESENT_PARAMETERS p = params;
    HRESULT hr = apply_present_parameters(p);
    if (FAILED(hr)) return hr;
    set_default_states();
    return D3D_OK;
}

HRESULT gl_device::apply_present_parameters(const D3DPRESENT_PARAMETERS& asked) {
    D3DPRESENT_PARAMETERS p = asked;
    if (p.BackBufferFormat == D3DFMT_UNKNOWN && p.Windowed) p.BackBufferFormat = D3DFMT_X8R8G8B8;
    if (!is_colour_format(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
    if (p.EnableAutoDepthStencil && !is_depth_format(p.AutoDepthStencilFormat)) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;

    bool fullscreen_now = (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_FULLSCREEN) != 0;
    if (p.Windowed) {
        if (fullscreen_now) SDL_SetWindowFullscreen(sdl_, 0);
    } else {
        SDL_DisplayMode mode;
        if (!find_display_mode(adapter_, p.BackBufferWidth, p.BackBufferHeight, p.FullScreen_RefreshRateInHz,
                               &mode))
            return D3DERR_INVALIDCALL;
        SDL_SetWindowDisplayMode(sdl_, &mode);
        if (!fullscreen_now) {
            cover_display(mode);
            SDL_SetWindowFullscreen(sdl_, SDL_WINDOW_FULLSCREEN);
        }
    }
    int drawable_w = 0, drawable_h = 0;
    SDL_GL_GetDrawableSize(sdl_, &drawable_w, &drawable_h);
    if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(std::max(drawable_w, 1));
    if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(std::max(drawable_h, 1));
    if (p.BackBufferWidth > caps_.MaxTextureWidth || p.BackBufferHeight > caps_.MaxTextureHeight)
        return D3DERR_INVALIDCALL;

    back_buffer_->drop_gl();
    back_buffer_->width = p.BackBufferWidth;
    back_buffer_->height = p.BackBufferHeight;
    back_buffer_->format = p.BackBufferFormat;
    // GL takes a new window size at a swap (the offscreen driver never does), and the window
    // may not be the size SDL asked for (no window manager to grant full screen): what GL
    // really has is what Present scales the back buffer onto.
    if (!offscreen_driver_ &&
        (static_cast<UINT>(drawable_w) != sdl_w_ || static_cast<UINT>(drawable_h) != sdl_h_))
        refresh_window_buffer();
    auto_depth_->drop_gl();
    auto_depth_->width = p.BackBufferWidth;
    auto_depth_->height = p.BackBufferHeight;
    auto_depth_->format = p.EnableAutoDepthStencil ? p.AutoDepthStencilFormat : D3DFMT_D16;

    if (p.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE) {
        SDL_GL_SetSwapInterval(0);
        pace_ = false;
    } else {
        // The offscreen driver's swap waits for nothing even when the interval is taken.
        pace_ = SDL_GL_SetSwapInterval(1) != 0 || offscreen_driver_;
    }
    vsync_ = !pace_ && p.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
    // Without vertical sync nothing is gained by swapping: the window shows the rectangles
    // that changed and the back buffer keeps the frame for the next one.
    copy_rects_ = !vsync_ && !offscreen_driver_ && window_copy_available(sdl_);
    // A window that is never swapped keeps what was drawn into it: when the sizes agree the back
    // buffer is the window itself, and a frame reaches the screen without a copy pass. Otherwise
    // it is a framebuffer object of our own, which keeps the frame across swaps and is scaled
    // onto the window.
    const bool on_window = copy_rects_ && p.BackBufferWidth == gl_w_ && p.BackBufferHeight == gl_h_ &&
                           (window_has_depth_ || !p.EnableAutoDepthStencil);
    if (!on_window) back_buffer_->framebuffer();
    force_whole_ = true;
    UINT refresh = p.FullScreen_RefreshRateInHz;
    if (p.Windowed) {
        D3DDISPLAYMODE desktop{};
        refresh = SUCCEEDED(d3d_->GetAdapterDisplayMode(adapter_, &desktop)) ? desktop.RefreshRate : 0;
    }
    if (refresh == 0) refresh = 60;
    frame_period_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / refresh));
    next_frame_ = {};
    params_ = p;
    return D3D_OK;
}

void gl_device::cover_display(const SDL_DisplayMode& mode) {
    // Without a window manager the full-screen request changes nothing on the X server: the
    // window is placed over the display first, so it covers it either way.
    int display = SDL_GetWindowDisplayIndex(sdl_);
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) != 0) return;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(sdl_, &x, &y);
    SDL_GetWindowSize(sdl_, &w, &h);
    // SDL waits for the X server to confirm a change, so only real changes are asked for.
    if (w != mode.w || h != mode.h) SDL_SetWindowSize(sdl_, mode.w, mode.h);
    if (x != bounds.x || y != bounds.y) SDL_SetWindowPosition(sdl_, bounds.x, bounds.y);
}

void gl_device::refresh_window_buffer() {
    // One black frame shown, and GL has the window's present size.
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.Disable(GL_SCISSOR_TEST);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    SDL_GL_SwapWindow(sdl_);
    measure_window();
}

void gl_device::measure_window() {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(sdl_, &w, &h);
    sdl_w_ = static_cast<UINT>(w);
    sdl_h_ = static_cast<UINT>(h);
    // Clear the window's buffer to a marker and find its last column and row: GL reads
    // nothing outside the buffer.
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.ReadBuffer(GL_BACK);
    gl.Disable(GL_SCISSOR_TEST);
    gl.ClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    // One row and one column, far longer than any window: what lies outside stays unwritten.
    constexpr GLsizei reach = 16384;
    std::vector<uint32_t> line(reach, 0);
    auto marked_run = [&](bool along_x) {
        std::fill(line.begin(), line.end(), 0u);
        gl.ReadPixels(0, 0, along_x ? reach : 1, along_x ? 1 : reach, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                      line.data());
        UINT n = 0;
        while (n < line.size() && (line[n] & 0x00FFFFFFu) == 0x0000FF00u)
            ++n;
        return n;
    };
    gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
    gl_w_ = marked_run(true);
    gl_h_ = marked_run(false);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Enable(GL_SCISSOR_TEST);
    binding_changed();
    force_whole_ = true;
}

void gl_device::set_default_states() {
    unbind_all();
    std::fill(std::begin(render_states_), std::end(render_states_), 0);
    DWORD* rs = render_states_;
    rs[D3DRS_ZENABLE] = params_.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHABLENDENABLE] = FALSE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_SCISSORTESTENABLE] = FALSE;
    rs[D3DRS_POINTSPRITEENABLE] = FALSE;
    rs[D3DRS_POINTSCALEENABLE] = FALSE;
    rs[D3DRS_POINTSIZE] = float_bits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = float_bits(1.0f);
    rs[D3DRS_POINTSIZE_MAX] = float_bits(caps_.MaxPointSize);
    for (int stage = 0; stage < stage_count; ++stage) {
        DWORD* ts = stage_states_[stage];
        ts[0] = 0;
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    }
    for (auto& ss : sampler_states_) {
        std::fill(std::begin(ss), std::end(ss), 0);
        ss[D3DSAMP_ADDRESSU] = ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    }
    world_ = view_ = projection_ = identity();
    fvf_ = 0;
    target_ = back_buffer_;
    target_->hold_binding();
    depth_ = params_.EnableAutoDepthStencil ? auto_depth_ : nullptr;
    if (depth_) depth_->hold_binding();
    set_target_viewport();
    in_scene_ = false;
    mark_all_dirty();
}

void gl_device::unbind_all() {
    // Dropping the hold may free a resource the program already let go of.
    if (target_) target_->unhold_binding();
    if (depth_) depth_->unhold_binding();
    target_ = depth_ = nullptr;
    for (gl_texture*& t : textures_) {
        if (t) t->unhold();
        t = nullptr;
    }
    if (stream_) stream_->unhold();
    stream_ = nullptr;
    stream_offset_ = stream_stride_ = 0;
}

HRESULT gl_device::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    discard_frame();
    for (gl_object* o : objects_) {
        if (o->pool == D3DPOOL_DEFAULT && o->refs > 0) {
            needs_reset_ = true;
            return D3DERR_INVALIDCALL;
        }
    }
    make_current();
    unbind_all();
    HRESULT hr = apply_present_parameters(*params);
    if (FAILED(hr)) {
        needs_reset_ = true;
        set_default_states();
        return hr;
    }
    params->BackBufferWidth = params_.BackBufferWidth;
    params->BackBufferHeight = params_.BackBufferHeight;
    params->BackBufferFormat = params_.BackBufferFormat;
    params->BackBufferCount = params_.BackBufferCount;
    set_default_states();
    lost_ = needs_reset_ = false;
    return D3D_OK;
}

void gl_device::register_object(gl_object* object) {
    objects_.push_back(object);
    object->registered = true;
}

void gl_device::unregister_object(gl_object* object) {
    auto it = std::find(objects_.begin(), objects_.end(), object);
    if (it != objects_.end()) {
        *it = objects_.back();
        objects_.pop_back();
    }
    object->registered = false;
}

void gl_device::make_current() {
    if (SDL_GL_GetCurrentContext() != context_) SDL_GL_MakeCurrent(sdl_, context_);
}

void gl_device::forget_texture(GLuint tex) {
    if (bound_texture_ == tex) bound_texture_ = 0xFFFFFFFFu;
}

void gl_device::forget_buffer(GLuint buffer) {
    if (layout_buffer_ == buffer) layout_buffer_ = 0xFFFFFFFFu;
}

void gl_device::forget_framebuffer(GLuint fbo) {
    if (bound_framebuffer_ == fbo) bound_framebuffer_ = 0xFFFFFFFFu;
    dirty_ |= dirty_target;
}

void gl_device::binding_changed() {
    bound_framebuffer_ = bound_texture_ = 0xFFFFFFFFu;
    layout_buffer_ = 0xFFFFFFFFu;
    dirty_ |= dirty_target | dirty_layout;
}

HRESULT gl_device::GetDirect3D(IDirect3D9** d3d) {
    if (!d3d) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *d3d = d3d_;
    return D3D_OK;
}

HRESULT gl_device::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    *caps = caps_;
    return D3D_OK;
}

// ---- 2. Present and the cooperative level -------------------------------------------------

void gl_device::check_lost() {
    // Full screen gives the display up while minimised, as a lost D3D device does.
    if (params_.Windowed) return;
    bool minimised = (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_MINIMIZED) != 0;
    if (minimised)
        lost_ = true;
    else if (lost_) {
        lost_ = false;
        needs_reset_ = true;
    }
}

HRESULT gl_device::TestCooperativeLevel() {
    check_lost();
    if (lost_) return D3DERR_DEVICELOST;
    return needs_reset_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT gl_device::Present(const RECT*, const RECT*, HWND, const void*) {
    check_lost();
    if (lost_ || needs_reset_) {
        discard_frame();
        return D3DERR_DEVICELOST;
    }
    return present_frame();
}

HRESULT gl_device::GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE,
                                 IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swap_chain != 0 || index != 0) return D3DERR_INVALIDCALL;
    back_buffer_->AddRef();
    *surface = back_buffer_;
    return D3D_OK;
}

HRESULT gl_device::BeginScene() {
    if (in_scene_) return D3DERR_INVALIDCALL;
    in_scene_ = true;
    return D3D_OK;
}

HRESULT gl_device::EndScene() {
    if (!in_scene_) return D3DERR_INVALIDCALL;
    in_scene_ = false;
    return D3D_OK;
}

// ---- 3. recorded states -------------------------------------------------------------------

HRESULT gl_device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD:
        world_ = *matrix;
        break;
    case D3DTS_VIEW:
        view_ = *matrix;
        break;
    case D3DTS_PROJECTION:
        projection_ = *matrix;
        break;
    default:
        return D3DERR_INVALIDCALL;
    }
    dirty_ |= dirty_uniforms;
    return D3D_OK;
}

HRESULT gl_device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD:
        *matrix = world_;
        break;
    case D3DTS_VIEW:
        *matrix = view_;
        break;
    case D3DTS_PROJECTION:
        *matrix = projection_;
        break;
    default:
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT gl_device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    viewport_ = *viewport;
    dirty_ |= dirty_uniforms | dirty_scissor;
    return D3D_OK;
}

HRESULT gl_device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT gl_device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (static_cast<DWORD>(state) >= render_state_count) return D3DERR_INVALIDCALL;
    if (render_states_[state] == value) return D3D_OK;
    render_states_[state] = value;
    switch (state) {
    case D3DRS_ZENABLE:
    case D3DRS_ZWRITEENABLE:
    case D3DRS_ZFUNC:
        dirty_ |= dirty_depth;
        break;
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_BLENDOP:
        dirty_ |= dirty_blend;
        break;
    case D3DRS_CULLMODE:
        dirty_ |= dirty_cull;
        break;
    case D3DRS_SCISSORTESTENABLE:
        dirty_ |= dirty_scissor;
        break;
    case D3DRS_ALPHAREF:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSIZE_MAX:
        dirty_ |= dirty_uniforms;
        break;
    case D3DRS_POINTSIZE:
        dirty_ |= dirty_layout;
        break;
    default:
        break; // the rest is read when the draw picks its program
    }
    return D3D_OK;
}

HRESULT gl_device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || static_cast<DWORD>(state) >= render_state_count) return D3DERR_INVALIDCALL;
    *value = render_states_[state];
    return D3D_OK;
}

HRESULT gl_device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= stage_count || type < D3DTSS_COLOROP || type > D3DTSS_ALPHAARG2) return D3DERR_INVALIDCALL;
    stage_states_[stage][type] = value;
    return D3D_OK;
}

HRESULT gl_device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= stage_count || type < D3DTSS_COLOROP || type > D3DTSS_ALPHAARG2)
        return D3DERR_INVALIDCALL;
    *value = stage_states_[stage][type];
    return D3D_OK;
}

HRESULT gl_device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= sampler_count || static_cast<DWORD>(type) >= 14) return D3DERR_INVALIDCALL;
    if (sampler_states_[sampler][type] == value) return D3D_OK;
    sampler_states_[sampler][type] = value;
    if (sampler == 0) dirty_ |= dirty_sampler;
    return D3D_OK;
}

HRESULT gl_device::SetScissorRect(const RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    scissor_ = *rect;
    dirty_ |= dirty_scissor;
    return D3D_OK;
}

HRESULT gl_device::GetScissorRect(RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = scissor_;
    return D3D_OK;
}

HRESULT gl_device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage >= stage_count) return D3DERR_INVALIDCALL;
    auto* t = static_cast<gl_texture*>(texture);
    if (t && (!t->drawable() || t->device != this)) return D3DERR_INVALIDCALL;
    if (textures_[stage] == t) return D3D_OK;
    if (t) t->hold();
    if (textures_[stage]) textures_[stage]->unhold();
    textures_[stage] = t;
    if (stage == 0) dirty_ |= dirty_texture;
    return D3D_OK;
}

HRESULT gl_device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    if (!texture || stage >= stage_count) return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT gl_device::SetFVF(DWORD fvf) {
    if (fvf_ != fvf) dirty_ |= dirty_layout;
    fvf_ = fvf;
    return D3D_OK;
}

HRESULT gl_device::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}

HRESULT gl_device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    if (stream >= 16) return D3DERR_INVALIDCALL;
    if (stream != 0) return D3D_OK; // one stream carries the whole FVF vertex
    auto* b = static_cast<gl_vertex_buffer*>(buffer);
    if (b && b->device != this) return D3DERR_INVALIDCALL;
    if (b) b->hold();
    if (stream_) stream_->unhold();
    stream_ = b;
    stream_offset_ = offset;
    stream_stride_ = stride;
    return D3D_OK; // the draw compares buffer, offset and stride with what GL has
}

// ---- 4. render targets, Clear, read-back --------------------------------------------------

void gl_device::set_target_viewport() {
    viewport_ = D3DVIEWPORT9{0, 0, target_->width, target_->height, 0.0f, 1.0f};
    scissor_ = full_rect(target_);
    dirty_ |= dirty_target | dirty_scissor | dirty_uniforms;
}

HRESULT gl_device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (index >= 4) return D3DERR_INVALIDCALL;
    if (index != 0) return surface ? D3DERR_INVALIDCALL : D3D_OK; // one target at a time
    auto* s = static_cast<gl_surface*>(surface);
    if (!s || s->device != this || !s->is_render_target()) return D3DERR_INVALIDCALL;
    s->hold_binding();
    target_->unhold_binding();
    target_ = s;
    set_target_viewport();
    return D3D_OK;
}

HRESULT gl_device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (index != 0) return D3DERR_NOTFOUND;
    target_->AddRef();
    *surface = target_;
    return D3D_OK;
}

HRESULT gl_device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    auto* s = static_cast<gl_surface*>(surface);
    if (s && (s->device != this || (s->kind != surface_kind::depth && s->kind != surface_kind::auto_depth)))
        return D3DERR_INVALIDCALL;
    if (s == auto_depth_ && !params_.EnableAutoDepthStencil) return D3DERR_INVALIDCALL;
    if (s) s->hold_binding();
    if (depth_) depth_->unhold_binding();
    depth_ = s;
    dirty_ |= dirty_target | dirty_depth;
    return D3D_OK;
}

HRESULT gl_device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = depth_;
    if (!depth_) return D3DERR_NOTFOUND;
    depth_->AddRef();
    return D3D_OK;
}

HRESULT gl_device::Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD) {
    if ((flags & D3DCLEAR_ZBUFFER) && !depth_) return D3DERR_INVALIDCALL;
    if (count > 0 && !rects) return D3DERR_INVALIDCALL;
    if (records_drawing()) {
        record_clear(count, rects, flags, color, z);
        return D3D_OK;
    }
    if (target_->container) texture_changed(target_->container);
    return clear_now(count, rects, flags, color, z);
}

HRESULT gl_device::clear_now(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z) {
    apply_target();
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        mask |= GL_COLOR_BUFFER_BIT;
        gl.ClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
                      (color & 0xFF) / 255.0f, ((color >> 24) & 0xFF) / 255.0f);
    }
    if ((flags & D3DCLEAR_ZBUFFER) && has_depth_) {
        mask |= GL_DEPTH_BUFFER_BIT;
        gl.ClearDepth(std::clamp(z, 0.0f, 1.0f));
        gl.DepthMask(GL_TRUE); // Clear writes depth whatever ZWRITEENABLE says
        dirty_ |= dirty_depth;
    }
    if (mask == 0) return D3D_OK;
    RECT area = drawing_area();
    for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i) {
        RECT r = area;
        if (count > 0) {
            r.left = std::max(r.left, rects[i].left);
            r.top = std::max(r.top, rects[i].top);
            r.right = std::min(r.right, rects[i].right);
            r.bottom = std::min(r.bottom, rects[i].bottom);
        }
        if (r.right <= r.left || r.bottom <= r.top) continue;
        apply_scissor_rect(r);
        gl.Clear(mask);
    }
    dirty_ |= dirty_scissor;
    return D3D_OK;
}

HRESULT gl_device::GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* destination) {
    auto* source = static_cast<gl_surface*>(render_target);
    auto* dest = static_cast<gl_surface*>(destination);
    if (!source || !dest || source->device != this || dest->device != this) return D3DERR_INVALIDCALL;
    if (!source->is_render_target() || !dest->lockable() || dest->locked) return D3DERR_INVALIDCALL;
    if (source->width != dest->width || source->height != dest->height) return D3DERR_INVALIDCALL;
    dest->begin_overwrite();
    read_back(source, dest);
    return D3D_OK;
}

void gl_device::read_pixels(gl_surface* source, uint32_t* out) {
    if (source->on_window()) {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        gl.ReadBuffer(GL_BACK);
    } else {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, source->framebuffer());
        gl.ReadBuffer(GL_COLOR_ATTACHMENT0);
    }
    gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
    gl.ReadPixels(0, 0, static_cast<GLsizei>(source->width), static_cast<GLsizei>(source->height), GL_BGRA,
                  GL_UNSIGNED_INT_8_8_8_8_REV, out);
    bound_framebuffer_ = 0xFFFFFFFFu;
    dirty_ |= dirty_target;
    // GL's row 0 is the window's bottom; a surface's row 0 is its top.
    if (source->on_window()) {
        const size_t w = source->width, h = source->height;
        for (size_t row = 0; row < h / 2; ++row)
            std::swap_ranges(out + row * w, out + (row + 1) * w, out + (h - 1 - row) * w);
    }
}

void gl_device::read_back(gl_surface* source, gl_surface* dest) {
    if (source == back_buffer_) flush_frame();
    read_pixels(source, dest->pixels.data());
    if (source->format == D3DFMT_X8R8G8B8)
        for (uint32_t& p : dest->pixels)
            p |= 0xFF000000u;
    if (dest->container) dest->container->upload(dest->level);
}

} // namespace d3dgl
