// Image batches: a texture with three vertex batches, each made when first queued into and then
// kept locked between device resets, so queueing a primitive is a copy into mapped memory and
// drawing a full batch is one call.
#include <cstring>

#include "framework/gfx.h"

c_image::c_image(c_gfx* gfx, const std::string& file_name, float order, bool when_drawn)
    : gfx_(gfx), device_(gfx->get_device()), file_name_(file_name), order_(order) {
    if (!file_name_.empty()) {
        if (when_drawn)
            pending_ = true;
        else
            texture_ = gfx_->create_texture(file_name_);
    }
    init();
}

void c_image::load_when_drawn() {
    if (!pending_) return;
    // Still pending after a failure: every later attempt reports the picture again.
    IDirect3DTexture9* texture = gfx_->create_texture(file_name_);
    texture_ = texture;
    pending_ = false;
    try {
        scan_alpha();
    } catch (...) {
        texture_ = nullptr;
        pending_ = true;
        texture->Release();
        throw;
    }
}

c_image::c_image(c_gfx* gfx, IDirect3DTexture9* texture, float order)
    : gfx_(gfx), device_(gfx->get_device()), texture_(texture), order_(order) {
    if (texture_) texture_->AddRef();
    init();
}

void c_image::init() {
    try {
        scan_alpha();
        after_reset();
    } catch (...) {
        release_batch(tra_, false);
        release_batch(unt_, false);
        release_batch(ps_, false);
        if (texture_) texture_->Release();
        throw;
    }
    gfx_->register_image(this);
}

c_image::~c_image() {
    // A destructor cannot raise: a failing unlock here only loses vertices that go away anyway.
    release_batch(tra_, false);
    release_batch(unt_, false);
    release_batch(ps_, false);
    if (texture_) texture_->Release();
    texture_ = nullptr;
    gfx_->unregister_image(this);
}

void c_image::release() {
    // The wrapper's default image lives as long as the wrapper, however often it was handed out.
    if (--refcount <= 0 && this != gfx_->get_default_image()) delete this;
}

// ---- queueing ---------------------------------------------------------------------------------

bool c_image::translucent(D3DCOLOR a, D3DCOLOR b, D3DCOLOR c) const {
    return (a & b & c & 0xFF000000u) != 0xFF000000u || has_alpha_;
}

void c_image::queue(batch& b, const void* vertices, int n, const char* function) {
    // Between before_reset and after_reset there is nothing to write into; such primitives
    // would be lost with the reset anyway.
    // A batch not made yet, or left unlocked by a failed draw, is made (again).
    if (!b.data && !resetting_) create_batch(b);
    if (!b.data) return;
    // Checked before the copy so that the mapped memory is never overrun.
    if (b.count + n > b.capacity) HV_RAISE("Index is greater than batch size.", function, 0, this);
    std::memcpy(b.data + static_cast<size_t>(b.count) * b.stride, vertices,
                static_cast<size_t>(n) * b.stride);
    b.count += n;
}

void c_image::add_triangle_tra(const vertex_tra v[3], bool direct) {
    load_when_drawn();
    if (!direct && translucent(v[0].colour, v[1].colour, v[2].colour)) {
        alpha_record r{};
        std::memcpy(r.vertices, v, sizeof r.vertices);
        r.image = this;
        r.depth = (v[0].z + v[1].z + v[2].z) / 3.0f;
        gfx_->queue_alpha(r);
        return;
    }
    queue(tra_, v, 3, "c_image::add_triangle_tra");
    if (tra_.count == tra_.capacity) draw_tra();
}

void c_image::add_triangle_unt(const vertex_unt v[3], bool direct) {
    load_when_drawn();
    if (!direct && translucent(v[0].colour, v[1].colour, v[2].colour)) {
        alpha_record r{};
        for (int i = 0; i < 3; ++i)
            r.vertices[i] = {v[i].x, v[i].y, v[i].z, 1.0f, v[i].colour, v[i].u, v[i].v};
        r.image = this;
        r.untransformed = true;
        gfx_->queue_alpha(r); // its depth is found when the queue is drawn
        return;
    }
    queue(unt_, v, 3, "c_image::add_triangle_unt");
    if (unt_.count == unt_.capacity) draw_unt();
}

void c_image::add_pointsprite_tra(const vertex_ps& s, bool direct) {
    load_when_drawn();
    if (!direct && translucent(s.colour, s.colour, s.colour)) {
        alpha_record r{};
        r.vertices[0] = {s.x, s.y, s.z, s.rhw, s.colour, 0.0f, 0.0f};
        r.image = this;
        r.depth = s.z;
        r.point_size = s.size;
        gfx_->queue_alpha(r);
        return;
    }
    queue(ps_, &s, 1, "c_image::add_pointsprite_tra");
    if (ps_.count == ps_.capacity) draw_ps_tra();
}

// ---- drawing ----------------------------------------------------------------------------------

void c_image::draw_batch(batch& b, const char* fn) {
    if (b.count == 0) return;
    HV_CHECK(b.buffer->Unlock(), "Unable to unlock the vertex buffer.", fn);
    b.data = nullptr;
    HV_CHECK(device_->SetFVF(b.fvf), "Unable to set the FVF.", fn);
    gfx_->set_texture(0, texture_);
    HV_CHECK(device_->SetStreamSource(0, b.buffer, 0, b.stride), "Unable to set the stream source.", fn);
    HV_CHECK(device_->DrawPrimitive(b.type, 0, static_cast<UINT>(b.count / b.per_primitive)),
             "Unable to draw the primitive.", fn);
    void* p = nullptr;
    HV_CHECK(b.buffer->Lock(0, 0, &p, D3DLOCK_DISCARD), "Unable to lock the vertex buffer.", fn);
    b.data = static_cast<BYTE*>(p);
    b.count = 0;
}

void c_image::draw_tra() {
    draw_batch(tra_, "c_image::draw_tra");
}
void c_image::draw_unt() {
    draw_batch(unt_, "c_image::draw_unt");
}
void c_image::draw_ps_tra() {
    draw_batch(ps_, "c_image::draw_ps_tra");
}

// ---- device reset -----------------------------------------------------------------------------

void c_image::release_batch(batch& b, bool raise) {
    if (!b.buffer) return;
    if (b.data) {
        HRESULT hr = b.buffer->Unlock();
        if (FAILED(hr) && raise)
            HV_RAISE("Unable to unlock the vertex buffer.", "c_image::before_reset", hr, this);
    }
    b.buffer->Release();
    b.buffer = nullptr;
    b.data = nullptr;
    b.count = 0;
}

void c_image::create_batch(batch& b) {
    static const char* fn = "c_image::create_batch";
    release_batch(b, false); // an after_reset without before_reset must not leak a buffer
    UINT bytes = static_cast<UINT>(b.capacity) * b.stride;
    HV_CHECK(device_->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, b.fvf, D3DPOOL_DEFAULT,
                                         &b.buffer, nullptr),
             "Unable to create the vertex buffer.", fn);
    void* p = nullptr;
    HV_CHECK(b.buffer->Lock(0, 0, &p, D3DLOCK_DISCARD), "Unable to lock the vertex buffer.", fn);
    b.data = static_cast<BYTE*>(p);
    b.count = 0;
}

void c_image::before_reset() {
    resetting_ = true;
    release_batch(tra_, true);
    release_batch(unt_, true);
    release_batch(ps_, true);
}

void c_image::after_reset() {
    resetting_ = false;
}

void c_image::unload_until_drawn() {
    if (file_name_.empty() || !texture_) return;
    // Whatever was queued with the texture is drawn before it goes.
    draw_tra();
    draw_unt();
    draw_ps_tra();
    texture_->Release();
    texture_ = nullptr;
    has_alpha_ = false;
    pending_ = true;
}

// ---- alpha scan -------------------------------------------------------------------------------

void c_image::scan_alpha() {
    static const char* fn = "c_image::scan_alpha";
    has_alpha_ = false;
    if (!texture_) return;
    IDirect3DSurface9* surface = nullptr;
    HV_CHECK(texture_->GetSurfaceLevel(0, &surface), "Unable to get the surface level.", fn);
    D3DSURFACE_DESC desc{};
    HRESULT hr = surface->GetDesc(&desc);
    surface->Release();
    if (FAILED(hr)) HV_RAISE("Unable to get surface description.", fn, hr, this);
    // Only A8R8G8B8 carries an alpha byte in its 32 bits: the X of X8R8G8B8 is undefined, and
    // other formats are not 32 bits a pixel, so reading them as such would overrun the rows.
    if (desc.Format != D3DFMT_A8R8G8B8) return;
    D3DLOCKED_RECT locked{};
    HV_CHECK(texture_->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), "Unable to lock the texture.", fn);
    for (UINT y = 0; y < desc.Height && !has_alpha_; ++y) {
        const BYTE* row = static_cast<const BYTE*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch;
        for (UINT x = 0; x < desc.Width; ++x) {
            DWORD pixel;
            std::memcpy(&pixel, row + x * 4, 4);
            BYTE alpha = static_cast<BYTE>(pixel >> 24);
            if (alpha != 0x00 && alpha != 0xFF) {
                has_alpha_ = true;
                break;
            }
        }
    }
    texture_->UnlockRect(0);
}
