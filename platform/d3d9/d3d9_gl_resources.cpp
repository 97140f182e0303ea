// Resources of the GL device: surfaces, textures and vertex buffers, their lifetime, locks
// and GDI contexts, and the device calls that create them.
//
// Index: 1. lifetime; 2. surfaces; 3. textures; 4. vertex buffers; 5. creation calls.
//
// Lockable resources keep a CPU copy that the program writes; unlocking hands it to GL.
// Managed texture levels are lean: GL's copy is the only one outside a lock (a lock reads it
// back), a level never written is known to be zeros without storage, the loader's mip levels
// are computed from the level above only when something reads them, and mip levels get GL
// storage only once a sampler with a mip filter reads them.
// Pixels are 0xAARRGGBB values, row 0 at the top, in memory and in GL textures alike.
#include <algorithm>

#include "platform/d3d9/d3d9_gl_internal.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/image/image_file.h"

namespace d3dgl {

namespace {
UINT full_chain(UINT width, UINT height) {
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size /= 2)
        ++levels;
    return levels;
}

bool valid_pool(D3DPOOL pool) {
    return pool <= D3DPOOL_SCRATCH;
}

uint64_t g_last_texture_id = 0;

size_t pixel_count(const gl_surface* s) {
    return static_cast<size_t>(s->width) * s->height;
}

// Lets a vector's memory go, not only its elements.
void free_pixels(std::vector<uint32_t>& pixels) {
    std::vector<uint32_t>().swap(pixels);
}
} // namespace

// ---- 1. lifetime --------------------------------------------------------------------------

gl_object::gl_object(gl_device* owner, D3DPOOL p) : device(owner), pool(p) {}

gl_object::~gl_object() {
    if (registered && device) device->unregister_object(this);
}

ULONG gl_object::release_ref() {
    if (refs == 0) return 0;
    ULONG left = --refs;
    maybe_delete();
    return left;
}

void gl_object::unhold() {
    if (holds > 0) --holds;
    maybe_delete();
}

void gl_object::maybe_delete() {
    if (refs == 0 && holds == 0 && !device_owned) delete this;
}

// ---- 2. surfaces --------------------------------------------------------------------------

gl_surface::gl_surface(gl_device* owner, surface_kind k, UINT w, UINT h, D3DFORMAT f, D3DPOOL p, DWORD u)
    : gl_object(owner, p), kind(k), width(w), height(h), format(f), usage(u) {
    if (kind == surface_kind::plain) {
        pixels.assign(static_cast<size_t>(w) * h, 0);
        cpu_access = true;
        blank = false;
    }
}

gl_surface::~gl_surface() {
    if (device) {
        device->make_current();
        drop_gl();
    }
}

ULONG gl_surface::AddRef() {
    return container ? container->add_ref() : add_ref();
}
ULONG gl_surface::Release() {
    return container ? container->release_ref() : release_ref();
}

void gl_surface::hold_binding() {
    if (container)
        container->hold();
    else
        hold();
}

void gl_surface::unhold_binding() {
    if (container)
        container->unhold();
    else
        unhold();
}

bool gl_surface::is_render_target() const {
    return kind == surface_kind::back_buffer ||
           (kind == surface_kind::texture_level && container && (container->usage & D3DUSAGE_RENDERTARGET));
}

HRESULT gl_surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{
        format, D3DRTYPE_SURFACE, usage, container ? container->pool : pool, D3DMULTISAMPLE_NONE, 0, width,
        height};
    return D3D_OK;
}

HRESULT gl_surface::LockRect(D3DLOCKED_RECT* locked_rect, const RECT* rect, DWORD flags) {
    if (!locked_rect || !lockable() || locked) return D3DERR_INVALIDCALL;
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (r.left < 0 || r.top < 0 || r.right > static_cast<LONG>(width) ||
        r.bottom > static_cast<LONG>(height) || r.left >= r.right || r.top >= r.bottom)
        return D3DERR_INVALIDCALL;
    lock_read_only = (flags & D3DLOCK_READONLY) != 0;
    if (lock_read_only)
        materialise();
    else
        before_change();
    locked_rect->Pitch = static_cast<INT>(width * 4);
    locked_rect->pBits = pixels.data() + static_cast<size_t>(r.top) * width + r.left;
    locked = true;
    return D3D_OK;
}

HRESULT gl_surface::UnlockRect() {
    if (!locked || dc) return D3DERR_INVALIDCALL;
    locked = false;
    if (container && !lock_read_only)
        container->upload(level);
    else
        trim();
    return D3D_OK;
}

void gl_surface::materialise() {
    if (!pixels.empty() || !container) return;
    const uint32_t* got = container->contents(level, pixels);
    if (got != pixels.data()) pixels.assign(got, got + pixel_count(this));
}

void gl_surface::keep_level_below() {
    // The level below may still be defined as the halving of this one: it keeps what it is.
    if (!container || level + 1 >= container->levels.size()) return;
    gl_surface* below = container->levels[level + 1];
    if (below->derived) {
        below->materialise();
        below->derived = false;
    }
}

void gl_surface::before_change() {
    if (!container) return;
    keep_level_below();
    materialise(); // a lock of part of the level keeps the rest
    blank = derived = false;
}

void gl_surface::begin_overwrite() {
    before_change();
}

void gl_surface::trim() {
    if (locked || pixels.empty() || !container || !container->lean()) return;
    // Blank and derived levels are known without a copy; GL keeps the rest of a lean texture.
    if (blank || derived || gl_storage) free_pixels(pixels);
}

HRESULT gl_surface::GetDC(HDC* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    // GDI knows no alpha: like D3D, contexts only on surfaces without it.
    if (!lockable() || locked || format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
    before_change();
    HDC context = gdi_create_memory_dc(pixels.data(), static_cast<int>(width), static_cast<int>(height),
                                       static_cast<int>(width * 4));
    if (!context) {
        if (container) container->upload(level); // what before_change made known goes to GL
        return E_FAIL;
    }
    // The surface stays locked while GDI draws into its pixels.
    locked = true;
    lock_read_only = false;
    dc = context;
    *out = context;
    return D3D_OK;
}

HRESULT gl_surface::ReleaseDC(HDC context) {
    if (!dc || context != dc) return D3DERR_INVALIDCALL;
    gdi_delete_memory_dc(context);
    dc = nullptr;
    locked = false;
    if (container) container->upload(level);
    return D3D_OK;
}

GLuint gl_surface::framebuffer() {
    if (fbo || !device) return fbo;
    gl.GenFramebuffers(1, &fbo);
    gl.BindFramebuffer(GL_FRAMEBUFFER, fbo);
    if (kind == surface_kind::back_buffer) {
        gl.GenTextures(1, &colour_tex);
        gl.BindTexture(GL_TEXTURE_2D, colour_tex);
        gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height),
                      0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_tex, 0);
    } else if (container) {
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, container->tex,
                                static_cast<GLint>(level));
    }
    device->binding_changed();
    return fbo;
}

GLuint gl_surface::depth_renderbuffer() {
    if (renderbuffer || !device) return renderbuffer;
    gl.GenRenderbuffers(1, &renderbuffer);
    gl.BindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    // The precision asked for: D16 compares as it does on Windows, in half the memory.
    GLenum storage = format == D3DFMT_D24S8 ? GL_DEPTH24_STENCIL8
                     : format == D3DFMT_D16 ? GL_DEPTH_COMPONENT16
                                            : GL_DEPTH_COMPONENT24;
    gl.RenderbufferStorage(GL_RENDERBUFFER, storage, static_cast<GLsizei>(width),
                           static_cast<GLsizei>(height));
    return renderbuffer;
}

void gl_surface::drop_gl() {
    if (!device) return;
    if (fbo) {
        gl.DeleteFramebuffers(1, &fbo);
        device->forget_framebuffer(fbo);
        fbo = 0;
    }
    if (colour_tex) {
        gl.DeleteTextures(1, &colour_tex);
        device->forget_texture(colour_tex);
        colour_tex = 0;
    }
    if (renderbuffer) {
        gl.DeleteRenderbuffers(1, &renderbuffer);
        renderbuffer = 0;
    }
}

// ---- 3. textures --------------------------------------------------------------------------

gl_texture::gl_texture(gl_device* owner, UINT width, UINT height, UINT level_count, DWORD u, D3DFORMAT f,
                       D3DPOOL p)
    : gl_object(owner, p), usage(u), format(f), id(++g_last_texture_id) {
    bool lockable = pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC);
    bool on_gl = pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED;
    // A render target's levels may be drawn into and a dynamic texture's are written often:
    // those have GL storage throughout. A managed texture's mip levels wait for a mip filter.
    mips_on_gl = on_gl && pool != D3DPOOL_MANAGED;
    UINT stored = !on_gl ? 0 : mips_on_gl ? level_count : 1;
    if (on_gl) {
        gl.GenTextures(1, &tex);
        gl.BindTexture(GL_TEXTURE_2D, tex);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(stored - 1));
        // X8R8G8B8's unused byte must read as opaque.
        if (format == D3DFMT_X8R8G8B8) gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
        owner->binding_changed();
    }
    for (UINT i = 0; i < level_count; ++i) {
        UINT w = std::max<UINT>(width >> i, 1), h = std::max<UINT>(height >> i, 1);
        auto* s = new gl_surface(owner, surface_kind::texture_level, w, h, format, pool, usage);
        s->container = this;
        s->level = i;
        s->cpu_access = lockable;
        s->gl_storage = i < stored;
        levels.push_back(s);
        // Storage only: a level never written reads as zeros through a lock without GL being
        // asked, and every lockable level is uploaded when its lock ends, so sending zeros now
        // would only double the work of each picture loaded.
        if (s->gl_storage)
            gl.TexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, static_cast<GLsizei>(w),
                          static_cast<GLsizei>(h), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    }
}

gl_texture::~gl_texture() {
    if (device) {
        device->make_current();
        drop_gl();
    }
    for (gl_surface* s : levels) {
        s->device = nullptr; // its GL names went with drop_gl
        delete s;
    }
}

void gl_texture::drop_gl() {
    if (!device) return;
    // The device goes before the texture: what only GL held comes back into memory.
    if (refs > 0 || holds > 0) {
        for (gl_surface* s : levels)
            if (s->cpu_access && !s->blank && !s->derived) s->materialise();
    }
    for (gl_surface* s : levels) {
        s->drop_gl();
        s->gl_storage = false;
    }
    if (tex) {
        gl.DeleteTextures(1, &tex);
        device->forget_texture(tex);
        tex = 0;
    }
}

void gl_texture::forget_device() {
    gl_object::forget_device();
    for (gl_surface* s : levels)
        s->device = nullptr;
}

void gl_texture::upload(UINT level) {
    if (level >= levels.size()) return;
    if (tex && device) device->texture_changed(this);
    gl_surface* s = levels[level];
    if (tex && device && s->gl_storage && !s->pixels.empty()) {
        gl.BindTexture(GL_TEXTURE_2D, tex);
        gl.TexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(s->width),
                         static_cast<GLsizei>(s->height), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                         s->pixels.data());
        device->binding_changed();
    }
    s->trim();
}

bool gl_texture::write_level(UINT level, const uint32_t* texels) {
    if (level >= levels.size() || levels[level]->locked || !levels[level]->cpu_access) return false;
    gl_surface* s = levels[level];
    if (tex && device) device->texture_changed(this);
    s->keep_level_below();
    s->blank = s->derived = false;
    if (lean() && device && s->gl_storage) {
        free_pixels(s->pixels);
        gl.BindTexture(GL_TEXTURE_2D, tex);
        gl.TexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, 0, static_cast<GLsizei>(s->width),
                         static_cast<GLsizei>(s->height), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels);
        device->binding_changed();
        return true;
    }
    s->pixels.assign(texels, texels + pixel_count(s));
    upload(level);
    return true;
}

const uint32_t* gl_texture::contents(UINT level, std::vector<uint32_t>& scratch) {
    gl_surface* s = levels[level];
    if (!s->pixels.empty()) return s->pixels.data();
    const size_t count = pixel_count(s);
    if (s->blank || (!s->derived && !(s->gl_storage && tex && device))) {
        scratch.assign(count, 0);
    } else if (s->derived && level > 0) {
        std::vector<uint32_t> above_scratch;
        const gl_surface* above = levels[level - 1];
        const uint32_t* from = contents(level - 1, above_scratch);
        scratch.resize(count);
        halve_pixels(from, above->width, above->height, scratch.data());
    } else {
        scratch.resize(count);
        gl.BindTexture(GL_TEXTURE_2D, tex);
        gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
        gl.GetTexImage(GL_TEXTURE_2D, static_cast<GLint>(level), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                       scratch.data());
        device->binding_changed();
    }
    return scratch.data();
}

void gl_texture::derive_levels() {
    for (size_t i = 1; i < levels.size(); ++i) {
        gl_surface* s = levels[i];
        if (s->locked) continue; // the program writes there: its pixels stay what they are
        free_pixels(s->pixels);
        s->blank = false;
        s->derived = true;
    }
    if (levels.size() > 1 && levels[1]->gl_storage) send_mips();
}

void gl_texture::sample_mips() {
    if (mips_on_gl || !tex || !device) return;
    mips_on_gl = true;
    send_mips();
    gl.BindTexture(GL_TEXTURE_2D, tex);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size() - 1));
    device->binding_changed();
}

void gl_texture::send_mips() {
    // Top down, each level computed from the one above while that is still in memory.
    for (size_t i = 1; i < levels.size(); ++i)
        levels[i]->materialise();
    for (size_t i = 1; i < levels.size(); ++i) {
        gl_surface* s = levels[i];
        gl.BindTexture(GL_TEXTURE_2D, tex);
        gl.TexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, static_cast<GLsizei>(s->width),
                      static_cast<GLsizei>(s->height), 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                      s->pixels.data());
        // GL holds the level now as it is: later changes above no longer reach it.
        s->gl_storage = true;
        s->blank = s->derived = false;
    }
    device->binding_changed();
    for (size_t i = 1; i < levels.size(); ++i)
        levels[i]->trim();
}

HRESULT gl_texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    return levels[level]->GetDesc(desc);
}

HRESULT gl_texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    add_ref();
    *surface = levels[level];
    return D3D_OK;
}

HRESULT gl_texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    return levels[level]->LockRect(locked, rect, flags);
}

HRESULT gl_texture::UnlockRect(UINT level) {
    if (level >= levels.size()) return D3DERR_INVALIDCALL;
    return levels[level]->UnlockRect();
}

// ---- 4. vertex buffers --------------------------------------------------------------------

gl_vertex_buffer::gl_vertex_buffer(gl_device* owner, UINT length, DWORD u, DWORD f, D3DPOOL p)
    : gl_object(owner, p), size(length), usage(u), fvf(f), data(length, 0) {}

gl_vertex_buffer::~gl_vertex_buffer() {
    if (device) {
        device->make_current();
        drop_gl();
    }
}

void gl_vertex_buffer::drop_gl() {
    if (!device || !buffer) return;
    gl.DeleteBuffers(1, &buffer);
    device->forget_buffer(buffer);
    buffer = 0;
}

HRESULT gl_vertex_buffer::Lock(UINT offset, UINT length, void** out, DWORD flags) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (locked || offset > size) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && !(usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    if (length == 0) length = size - offset;
    if (offset + length > size) return D3DERR_INVALIDCALL;
    // DISCARD promises nothing about the old contents; the CPU copy simply keeps them.
    locked = true;
    lock_offset = offset;
    lock_size = length;
    lock_flags = flags;
    *out = data.data() + offset;
    return D3D_OK;
}

HRESULT gl_vertex_buffer::Unlock() {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    return D3D_OK;
}

HRESULT gl_vertex_buffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = D3DVERTEXBUFFER_DESC{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, size, fvf};
    return D3D_OK;
}

// ---- 5. creation calls --------------------------------------------------------------------

HRESULT gl_device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                 D3DPOOL pool, IDirect3DTexture9** texture, HANDLE*) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (width == 0 || height == 0 || width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight)
        return D3DERR_INVALIDCALL;
    if (!is_colour_format(format) || !valid_pool(pool)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    UINT chain = full_chain(width, height);
    if (levels == 0) levels = chain;
    if (levels > chain) return D3DERR_INVALIDCALL;
    make_current();
    auto* t = new gl_texture(this, width, height, levels, usage, format, pool);
    register_object(t);
    *texture = t;
    return D3D_OK;
}

HRESULT gl_device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                      IDirect3DVertexBuffer9** buffer, HANDLE*) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || !valid_pool(pool) || pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    make_current();
    auto* b = new gl_vertex_buffer(this, length, usage, fvf, pool);
    register_object(b);
    *buffer = b;
    return D3D_OK;
}

HRESULT gl_device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE,
                                             DWORD, BOOL, IDirect3DSurface9** surface, HANDLE*) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (width == 0 || height == 0 || width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight ||
        !is_depth_format(format))
        return D3DERR_INVALIDCALL;
    make_current();
    auto* s = new gl_surface(this, surface_kind::depth, width, height, format, D3DPOOL_DEFAULT,
                             D3DUSAGE_DEPTHSTENCIL);
    s->depth_renderbuffer();
    register_object(s);
    *surface = s;
    return D3D_OK;
}

HRESULT gl_device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                               IDirect3DSurface9** surface, HANDLE*) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (width == 0 || height == 0 || !is_colour_format(format) || !valid_pool(pool) ||
        pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    auto* s = new gl_surface(this, surface_kind::plain, width, height, format, pool, 0);
    register_object(s);
    *surface = s;
    return D3D_OK;
}

} // namespace d3dgl
