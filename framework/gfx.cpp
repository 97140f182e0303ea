// The graphics device wrapper: clip stack, immediate quads, queued quads, the image registry
// and the depth-sorted translucent pass. The image batches are in gfx_image.cpp.
//
// Index: 1. construction and device reset; 2. texture binding and the clip stack; 3. quads drawn
// at once and queued quads; 4. flush and the translucent pass; 5. textures and the image registry.
#include "framework/gfx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/d3dx9.h"

c_gfx* g_gfx = nullptr;

namespace {
constexpr DWORD k_dynamic = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
constexpr size_t k_alpha_reserve = 1000;
} // namespace

// ---- 1. construction and device reset ---------------------------------------------------------

c_gfx::c_gfx(IDirect3DDevice9* device, float depth_step_) : depth_step(depth_step_), device_(device) {
    static const char* fn = "c_gfx::c_gfx";
    try {
        after_reset();
        default_image_ = new c_image(this, std::string(), 0.0f);
        IDirect3D9* d3d = nullptr;
        HV_CHECK(device_->GetDirect3D(&d3d), "Unable to get the Direct3D interface.", fn);
        D3DCAPS9 caps{};
        HRESULT hr = d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
        d3d->Release();
        if (FAILED(hr)) HV_RAISE("Unable to get the device caps.", fn, hr, this);
        max_point_size_ = caps.MaxPointSize == 0.0f ? 1.0f : caps.MaxPointSize;
    } catch (...) {
        while (!images_.empty())
            delete images_.back();
        release_quad_buffers();
        throw;
    }
}

c_gfx::~c_gfx() {
    // Images left registered at the end would hold a dangling wrapper: they go with it.
    while (!images_.empty())
        delete images_.back();
    release_quad_buffers();
}

void c_gfx::release_quad_buffers() {
    if (quad_tra_) quad_tra_->Release();
    if (quad_unt_) quad_unt_->Release();
    quad_tra_ = quad_unt_ = nullptr;
}

void c_gfx::before_reset() {
    release_quad_buffers();
    for (c_image* image : images_)
        image->before_reset();
    alpha_records_.clear();
}

void c_gfx::after_reset() {
    static const char* fn = "c_gfx::after_reset";
    release_quad_buffers();
    HV_CHECK(device_->CreateVertexBuffer(4 * sizeof(vertex_tra), k_dynamic, FVF_TRA, D3DPOOL_DEFAULT,
                                         &quad_tra_, nullptr),
             "Unable to create the vertex buffer.", fn);
    HV_CHECK(device_->CreateVertexBuffer(4 * sizeof(vertex_unt), k_dynamic, FVF_UNT, D3DPOOL_DEFAULT,
                                         &quad_unt_, nullptr),
             "Unable to create the vertex buffer.", fn);
    for (c_image* image : images_)
        image->after_reset();
    alpha_records_.clear();
    alpha_records_.reserve(k_alpha_reserve);
}

// ---- 2. texture binding and the clip stack ----------------------------------------------------

void c_gfx::set_texture(DWORD stage, IDirect3DTexture9* texture) {
    static const char* fn = "c_gfx::set_texture";
    IDirect3DBaseTexture9* bound = nullptr;
    HV_CHECK(device_->GetTexture(stage, &bound), "Unable to get the texture.", fn);
    if (bound) bound->Release();
    if (bound == texture) return;
    HV_CHECK(device_->SetTexture(stage, texture), "Unable to set the texture.", fn);
}

bool c_gfx::clip(int left, int top, int right, int bottom) {
    static const char* fn = "c_gfx::clip";
    RECT current{};
    HV_CHECK(device_->GetScissorRect(&current), "Unable to get the scissor rect.", fn);
    RECT r{std::max<LONG>(left, current.left), std::max<LONG>(top, current.top),
           std::min<LONG>(right, current.right), std::min<LONG>(bottom, current.bottom)};
    // 64-bit differences: a caller's extreme coordinates must not wrap into a valid rectangle.
    if (std::int64_t(r.right) - r.left <= 0 || std::int64_t(r.bottom) - r.top <= 0) return false;
    HV_CHECK(device_->SetScissorRect(&r), "Unable to set the scissor rect.", fn);
    clip_stack_.push_back(current);
    return true;
}

void c_gfx::unclip() {
    static const char* fn = "c_gfx::unclip";
    if (clip_stack_.empty()) HV_RAISE("Unclip without matching clip.", fn, 0, this);
    RECT saved = clip_stack_.back();
    HV_CHECK(device_->SetScissorRect(&saved), "Unable to set the scissor rect.", fn);
    clip_stack_.pop_back();
}

// ---- 3. quads drawn at once and queued quads --------------------------------------------------

// Corners in the order TL, TR, BL, BR, turned about the centre when angle is not 0.
void c_gfx::make_quad(int left, int top, int right, int bottom, float z, float angle, float u_left,
                      float u_right, float v_top, float v_bottom, D3DCOLOR colour, vertex_tra out[4]) const {
    float l = float(left), t = float(top), r = float(right), b = float(bottom);
    out[0] = {l, t, z, 1.0f, colour, u_left, v_top};
    out[1] = {r, t, z, 1.0f, colour, u_right, v_top};
    out[2] = {l, b, z, 1.0f, colour, u_left, v_bottom};
    out[3] = {r, b, z, 1.0f, colour, u_right, v_bottom};
    if (angle == 0.0f) return;
    float cx = (l + r) / 2.0f, cy = (t + b) / 2.0f;
    D3DXMATRIX rotation;
    D3DXMatrixRotationZ(&rotation, angle);
    for (int i = 0; i < 4; ++i) {
        D3DXVECTOR3 p{out[i].x - cx, out[i].y - cy, 0.0f};
        D3DXVECTOR4 turned;
        D3DXVec3Transform(&turned, &p, &rotation);
        out[i].x = turned.x + cx;
        out[i].y = turned.y + cy;
    }
}

void c_gfx::draw_quad_tra(int left, int top, int right, int bottom, float z, float angle,
                          IDirect3DTexture9* texture, float u_left, float u_right, float v_top,
                          float v_bottom, D3DCOLOR colour) {
    vertex_tra q[4];
    make_quad(left, top, right, bottom, z, angle, u_left, u_right, v_top, v_bottom, colour, q);
    draw_quad_strip(quad_tra_, FVF_TRA, sizeof(vertex_tra), q, texture, "c_gfx::draw_quad_tra");
}

void c_gfx::draw_quad_unt(int left, int top, int right, int bottom, float z, float angle,
                          IDirect3DTexture9* texture, float u_left, float u_right, float v_top,
                          float v_bottom, D3DCOLOR colour) {
    vertex_tra q[4];
    make_quad(left, top, right, bottom, z, angle, u_left, u_right, v_top, v_bottom, colour, q);
    vertex_unt w[4];
    for (int i = 0; i < 4; ++i)
        w[i] = {q[i].x, q[i].y, q[i].z, q[i].colour, q[i].u, q[i].v};
    draw_quad_strip(quad_unt_, FVF_UNT, sizeof(vertex_unt), w, texture, "c_gfx::draw_quad_unt");
}

void c_gfx::draw_quad_strip(IDirect3DVertexBuffer9* buffer, DWORD fvf, UINT stride, const void* vertices,
                            IDirect3DTexture9* texture, const char* fn) {
    HV_CHECK(device_->SetFVF(fvf), "Unable to set the FVF.", fn);
    set_texture(0, texture);
    void* p = nullptr;
    // The buffers are gone between a device loss and the rebuild after the reset.
    HV_CHECK(buffer ? buffer->Lock(0, 0, &p, D3DLOCK_DISCARD) : D3DERR_INVALIDCALL,
             "Unable to lock the vertex buffer.", fn);
    std::memcpy(p, vertices, 4 * stride);
    HV_CHECK(buffer->Unlock(), "Unable to unlock the vertex buffer.", fn);
    HV_CHECK(device_->SetStreamSource(0, buffer, 0, stride), "Unable to set the stream source.", fn);
    HV_CHECK(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), "Unable to draw the primitive.", fn);
}

void c_gfx::add_quad_tra(int left, int top, int right, int bottom, float z, float angle, c_image* image,
                         float u_left, float u_right, float v_top, float v_bottom, D3DCOLOR colour) {
    if (!image) image = default_image_;
    int width = right - left;
    // A point shows the whole texture upright on a square, so only such quads qualify. An empty
    // or inverted square is no sprite: the device would still draw its minimum point size.
    bool sprite = width == bottom - top && width > 0 && angle == 0.0f && u_left == 0.0f && u_right == 1.0f &&
                  v_top == 0.0f && v_bottom == 1.0f && float(width) <= max_point_size_;
    if (sprite) {
        vertex_ps s{(left + right) / 2.0f, (top + bottom) / 2.0f, z, 1.0f, float(width), colour};
        image->add_pointsprite_tra(s, false);
        return;
    }
    vertex_tra q[4];
    make_quad(left, top, right, bottom, z, angle, u_left, u_right, v_top, v_bottom, colour, q);
    const vertex_tra first[3] = {q[0], q[1], q[2]};
    const vertex_tra second[3] = {q[1], q[3], q[2]};
    image->add_triangle_tra(first, false);
    image->add_triangle_tra(second, false);
}

// ---- 4. flush and the translucent pass --------------------------------------------------------

void c_gfx::draw_image_batches(c_image* image) {
    image->draw_tra();
    image->draw_unt();
    image->draw_ps_tra();
}

void c_gfx::flush() {
    for (c_image* image : images_)
        draw_image_batches(image);
    draw_alpha_triangles();
}

// A world-space triangle sorts by the mean of its vertices' projected depth.
float c_gfx::untransformed_depth(const alpha_record& record) const {
    static const char* fn = "c_gfx::draw_alpha_triangles";
    D3DXMATRIX world, view, projection, wv, wvp;
    HV_CHECK(device_->GetTransform(D3DTS_WORLD, &world), "Unable to get the world matrix.", fn);
    HV_CHECK(device_->GetTransform(D3DTS_VIEW, &view), "Unable to get the view matrix.", fn);
    HV_CHECK(device_->GetTransform(D3DTS_PROJECTION, &projection), "Unable to get the projection matrix.",
             fn);
    D3DXMatrixMultiply(&wv, &world, &view);
    D3DXMatrixMultiply(&wvp, &wv, &projection);
    float sum = 0.0f;
    for (const vertex_tra& v : record.vertices) {
        D3DXVECTOR4 in{v.x, v.y, v.z, 1.0f}, out;
        D3DXVec4Transform(&out, &in, &wvp);
        sum += out.w != 0.0f ? out.z / out.w : out.z;
    }
    return sum / 3.0f;
}

namespace {
// Records that can share one draw of their image's batches.
int record_kind(const alpha_record& r) {
    return r.untransformed ? 2 : (r.point_size != 0.0f ? 1 : 0);
}

// A screen-space sprite as the two triangles of its square, with the whole texture.
void hand_sprite_as_triangles(const alpha_record& r) {
    const vertex_tra& v = r.vertices[0];
    const float h = r.point_size / 2.0f;
    const vertex_tra tl{v.x - h, v.y - h, v.z, v.rhw, v.colour, 0, 0},
        tr{v.x + h, v.y - h, v.z, v.rhw, v.colour, 1, 0}, bl{v.x - h, v.y + h, v.z, v.rhw, v.colour, 0, 1},
        br{v.x + h, v.y + h, v.z, v.rhw, v.colour, 1, 1};
    const vertex_tra first[3] = {tl, tr, bl};
    const vertex_tra second[3] = {tr, br, bl};
    r.image->add_triangle_tra(first, true);
    r.image->add_triangle_tra(second, true);
}

void hand_to_image(const alpha_record& r, bool sprites_as_triangles) {
    if (r.point_size != 0.0f && !r.untransformed && sprites_as_triangles) {
        hand_sprite_as_triangles(r);
    } else if (r.untransformed) {
        if (r.point_size != 0.0f) return; // no world-space sprites exist: nothing to draw them with
        vertex_unt w[3];
        for (int i = 0; i < 3; ++i) {
            const vertex_tra& v = r.vertices[i];
            w[i] = {v.x, v.y, v.z, v.colour, v.u, v.v};
        }
        r.image->add_triangle_unt(w, true);
    } else if (r.point_size != 0.0f) {
        const vertex_tra& v = r.vertices[0];
        r.image->add_pointsprite_tra(vertex_ps{v.x, v.y, v.z, v.rhw, r.point_size, v.colour}, true);
    } else {
        r.image->add_triangle_tra(r.vertices, true);
    }
}
} // namespace

void c_gfx::draw_alpha_triangles() {
    static const char* fn = "c_gfx::draw_alpha_triangles";
    if (alpha_records_.empty()) return;
    for (alpha_record& r : alpha_records_)
        if (r.untransformed) r.depth = untransformed_depth(r);
    std::stable_sort(alpha_records_.begin(), alpha_records_.end(),
                     [](const alpha_record& a, const alpha_record& b) { return a.depth > b.depth; });
    HV_CHECK(device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE), "Unable to disable zbuffer writing.", fn);
    // Neighbours in the far-to-near order that show one image form a run, drawn with as few
    // calls as its batches allow. Sprites amid screen-space triangles of their image (particles,
    // some turned and some not) join them as triangles, so the run stays one batch instead of
    // breaking at every change of kind; a run of sprites alone stays sprites.
    const size_t n = alpha_records_.size();
    for (size_t i = 0; i < n;) {
        size_t end = i + 1;
        bool triangles = record_kind(alpha_records_[i]) == 0, sprites = record_kind(alpha_records_[i]) == 1;
        for (; end < n && alpha_records_[end].image == alpha_records_[i].image &&
               (record_kind(alpha_records_[end]) == 2) == (record_kind(alpha_records_[i]) == 2);
             ++end) {
            triangles = triangles || record_kind(alpha_records_[end]) == 0;
            sprites = sprites || record_kind(alpha_records_[end]) == 1;
        }
        for (size_t k = i; k < end; ++k)
            hand_to_image(alpha_records_[k], triangles && sprites);
        draw_image_batches(alpha_records_[i].image);
        i = end;
    }
    HV_CHECK(device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE), "Unable to enable zbuffer writing.", fn);
    alpha_records_.clear();
    alpha_records_.reserve(k_alpha_reserve);
}

// ---- 5. textures and the image registry -------------------------------------------------------

IDirect3DTexture9* c_gfx::create_texture(const std::string& file_name) {
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr =
        D3DXCreateTextureFromFileExA(device_, file_name.c_str(), 0, 0, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                     D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr, &texture);
    if (FAILED(hr)) {
        // The sentence is the same for every picture; the report says which one it was, so a
        // player who edited DATA/ knows what to put back.
        c_err e("Unable to create texture.", hv_base_name(__FILE__), __LINE__, "c_gfx::create_texture",
                __TIMESTAMP__, hr, this);
        e.additional_details = "PICTURE: " + file_name + "\n" + e.additional_details;
        throw e;
    }
    return texture;
}

c_image* c_gfx::get_image(const std::string& file_name, float order) {
    for (c_image* image : images_) {
        if (image->get_file_name() == file_name && image->get_order() == order) {
            ++image->refcount;
            return image;
        }
    }
    return new c_image(this, file_name, order);
}

c_image* c_gfx::get_image(IDirect3DTexture9* texture, float order) {
    for (c_image* image : images_) {
        if (image->get_texture() == texture && image->get_order() == order) {
            ++image->refcount;
            return image;
        }
    }
    return new c_image(this, texture, order);
}

void c_gfx::register_image(c_image* image) {
    auto at = std::upper_bound(images_.begin(), images_.end(), image->get_order(),
                               [](float order, const c_image* other) { return order < other->get_order(); });
    images_.insert(at, image);
}

void c_gfx::unregister_image(c_image* image) {
    images_.erase(std::remove(images_.begin(), images_.end(), image), images_.end());
    std::erase_if(alpha_records_, [image](const alpha_record& r) { return r.image == image; });
    if (image == default_image_) default_image_ = nullptr;
}
