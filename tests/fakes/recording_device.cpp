// The recording Direct3D 9 device.
//
// Index: 1. argument rendering and small helpers; 2. resources: surfaces, textures, vertex buffers;
// 3. recording_d3d; 4. the device: construction, swap chain, defaults, log and failures; 5. the
// device: state calls; 6. the device: resource creation and render targets; 7. the device: scenes
// and draws.
#include "tests/fakes/recording_device.h"

#include <algorithm>
#include <cstdio>

#include "platform/d3d9/d3d9_util.h"
#include "platform/gdi/gdi_internal.h"

namespace {
constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760866u);

template <class T> std::string num(T v) {
    return std::to_string(v);
}
std::string hex(DWORD v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(v));
    return b;
}
DWORD float_bits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}
D3DMATRIX identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}
// Bytes of one vertex of the FVF bits the program uses.
UINT fvf_size(DWORD fvf) {
    UINT n = 0;
    if (fvf & D3DFVF_XYZRHW)
        n += 16;
    else if (fvf & D3DFVF_XYZ)
        n += 12;
    if (fvf & D3DFVF_PSIZE) n += 4;
    if (fvf & D3DFVF_DIFFUSE) n += 4;
    if (fvf & D3DFVF_TEX1) n += 8;
    return n;
}
UINT mip_levels(UINT w, UINT h) {
    UINT n = 1;
    while (w > 1 || h > 1) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        ++n;
    }
    return n;
}
} // namespace

// ---- 1. argument rendering ------------------------------------------------------------------

std::string rec_arg(IUnknownLike* object) {
    if (!object) return "null";
    if (auto* t = dynamic_cast<recording_texture*>(object)) return t->name();
    if (auto* s = dynamic_cast<recording_surface*>(object)) return s->name();
    if (auto* b = dynamic_cast<recording_vertex_buffer*>(object)) return b->name();
    return "object";
}

std::string rec_arg(float v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", static_cast<double>(v));
    return b;
}

std::string rec_arg(const RECT* r) {
    if (!r) return "null";
    return num(r->left) + "," + num(r->top) + "," + num(r->right) + "," + num(r->bottom);
}

UINT draw_record::vertex_count() const {
    return stride ? static_cast<UINT>(vertices.size() / stride) : 0;
}

// ---- 2. resources ----------------------------------------------------------------------------

recording_surface::recording_surface(std::shared_ptr<resource_tracker> tracker, recording_texture* owner,
                                     UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                                     int row_padding)
    : tracker_(std::move(tracker)), owner_(owner) {
    desc.Format = format;
    desc.Type = D3DRTYPE_SURFACE;
    desc.Usage = usage;
    desc.Pool = pool;
    desc.Width = width;
    desc.Height = height;
    pitch = static_cast<INT>(width * 4 + std::max(0, row_padding));
    bits.assign(static_cast<size_t>(pitch) * height, 0);
    name_ = "surface" + num(tracker_->next_id++);
}

recording_surface::~recording_surface() {
    if (dc) {
        gdi_delete_memory_dc(dc);
        tracker_->dcs.erase(dc);
    }
    if (!owner_ && tracker_->device) tracker_->device->forget(this);
    tracker_->live.erase(this);
    tracker_->live_default.erase(this);
}

ULONG recording_surface::AddRef() {
    return owner_ ? owner_->AddRef() : ++refs_;
}

ULONG recording_surface::Release() {
    if (owner_) return owner_->Release();
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT recording_surface::GetDesc(D3DSURFACE_DESC* out) {
    HRESULT hr = tracker_->device ? tracker_->device->enter("GetDesc", {name_}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
}

HRESULT recording_surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    HRESULT hr =
        tracker_->device ? tracker_->device->enter("LockRect", {name_, rec_arg(rect), hex(flags)}) : D3D_OK;
    if (FAILED(hr)) return hr;
    bool unlockable = desc.Pool == D3DPOOL_DEFAULT && !(desc.Usage & D3DUSAGE_DYNAMIC);
    if (!out || locked || dc || unlockable) return D3DERR_INVALIDCALL;
    LONG x = rect ? rect->left : 0, y = rect ? rect->top : 0;
    if (x < 0 || y < 0 || static_cast<UINT>(x) >= desc.Width || static_cast<UINT>(y) >= desc.Height)
        return D3DERR_INVALIDCALL;
    locked = true;
    out->Pitch = pitch;
    out->pBits = bits.data() + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * 4;
    return D3D_OK;
}

HRESULT recording_surface::UnlockRect() {
    HRESULT hr = tracker_->device ? tracker_->device->enter("UnlockRect", {name_}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    return D3D_OK;
}

HRESULT recording_surface::GetDC(HDC* out) {
    HRESULT hr = tracker_->device ? tracker_->device->enter("GetDC", {name_}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!out || dc || locked || desc.Format != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
    dc =
        gdi_create_memory_dc(bits.data(), static_cast<int>(desc.Width), static_cast<int>(desc.Height), pitch);
    if (!dc) return E_FAIL;
    tracker_->dcs[dc] = this;
    *out = dc;
    return D3D_OK;
}

HRESULT recording_surface::ReleaseDC(HDC released) {
    HRESULT hr = tracker_->device ? tracker_->device->enter("ReleaseDC", {name_}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!dc || released != dc) return D3DERR_INVALIDCALL;
    gdi_delete_memory_dc(dc);
    tracker_->dcs.erase(dc);
    dc = nullptr;
    return D3D_OK;
}

recording_texture::recording_texture(std::shared_ptr<resource_tracker> tracker, UINT width, UINT height,
                                     UINT levels, DWORD usage_, D3DFORMAT format, D3DPOOL pool_,
                                     int row_padding)
    : usage(usage_), pool(pool_), tracker_(std::move(tracker)) {
    UINT full = mip_levels(width, height);
    UINT n = (levels == 0 || levels > full) ? full : levels;
    for (UINT i = 0; i < n; ++i) {
        UINT w = std::max(1u, width >> i), h = std::max(1u, height >> i);
        levels_.push_back(new recording_surface(tracker_, this, w, h, format, usage, pool, row_padding));
    }
    name_ = "texture" + num(tracker_->next_id++);
    tracker_->live.insert(this);
    if (pool == D3DPOOL_DEFAULT) tracker_->live_default.insert(this);
}

recording_texture::~recording_texture() {
    if (tracker_->device) tracker_->device->forget(this);
    for (auto* s : levels_)
        delete s;
    tracker_->live.erase(this);
    tracker_->live_default.erase(this);
}

ULONG recording_texture::AddRef() {
    return ++refs_;
}

ULONG recording_texture::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

DWORD recording_texture::GetLevelCount() {
    return static_cast<DWORD>(levels_.size());
}

HRESULT recording_texture::GetLevelDesc(UINT i, D3DSURFACE_DESC* out) {
    HRESULT hr = tracker_->device ? tracker_->device->enter("GetLevelDesc", {name_, num(i)}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!out || i >= levels_.size()) return D3DERR_INVALIDCALL;
    *out = levels_[i]->desc;
    return D3D_OK;
}

HRESULT recording_texture::GetSurfaceLevel(UINT i, IDirect3DSurface9** out) {
    HRESULT hr = tracker_->device ? tracker_->device->enter("GetSurfaceLevel", {name_, num(i)}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!out || i >= levels_.size()) return D3DERR_INVALIDCALL;
    AddRef();
    *out = levels_[i];
    return D3D_OK;
}

HRESULT recording_texture::LockRect(UINT i, D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (i >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[i]->LockRect(out, rect, flags);
}

HRESULT recording_texture::UnlockRect(UINT i) {
    if (i >= levels_.size()) return D3DERR_INVALIDCALL;
    return levels_[i]->UnlockRect();
}

recording_vertex_buffer::recording_vertex_buffer(std::shared_ptr<resource_tracker> tracker, UINT length,
                                                 DWORD usage, DWORD fvf, D3DPOOL pool)
    : tracker_(std::move(tracker)) {
    desc.Format = D3DFMT_VERTEXDATA;
    desc.Type = D3DRTYPE_VERTEXBUFFER;
    desc.Usage = usage;
    desc.Pool = pool;
    desc.Size = length;
    desc.FVF = fvf;
    bytes.assign(length, 0);
    name_ = "vb" + num(tracker_->next_id++);
    tracker_->live.insert(this);
    if (pool == D3DPOOL_DEFAULT) tracker_->live_default.insert(this);
}

recording_vertex_buffer::~recording_vertex_buffer() {
    if (tracker_->device) tracker_->device->forget(this);
    tracker_->live.erase(this);
    tracker_->live_default.erase(this);
}

ULONG recording_vertex_buffer::AddRef() {
    return ++refs_;
}

ULONG recording_vertex_buffer::Release() {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT recording_vertex_buffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    HRESULT hr = tracker_->device
                     ? tracker_->device->enter("Lock", {name_, num(offset), num(size), hex(flags)})
                     : D3D_OK;
    if (FAILED(hr)) return hr;
    if (size == 0) size = desc.Size - std::min(offset, desc.Size);
    if (!data || offset + size > desc.Size) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && !(desc.Usage & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    // Old contents are gone after a discard: make any reliance on them visible.
    if (flags & D3DLOCK_DISCARD) std::fill(bytes.begin(), bytes.end(), BYTE{0xCD});
    ++lock_depth;
    ++lock_count;
    last_lock_flags = flags;
    *data = bytes.data() + offset;
    return D3D_OK;
}

HRESULT recording_vertex_buffer::Unlock() {
    HRESULT hr = tracker_->device ? tracker_->device->enter("Unlock", {name_}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (lock_depth == 0) return D3DERR_INVALIDCALL;
    --lock_depth;
    return D3D_OK;
}

HRESULT recording_vertex_buffer::GetDesc(D3DVERTEXBUFFER_DESC* out) {
    HRESULT hr = tracker_->device ? tracker_->device->enter("GetDesc", {name_}) : D3D_OK;
    if (FAILED(hr)) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
}

// ---- 3. recording_d3d ------------------------------------------------------------------------

recording_d3d::recording_d3d() {
    modes.push_back({1024, 768, 60, D3DFMT_X8R8G8B8});
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps.MaxTextureWidth = caps.MaxTextureHeight = 4096;
    caps.MaxPointSize = 64.0f;
    caps.MaxPrimitiveCount = 0xFFFFF;
}

ULONG recording_d3d::AddRef() {
    return ++refs_;
}

ULONG recording_d3d::Release() {
    ULONG left = refs_ > 0 ? --refs_ : 0;
    if (left == 0 && heap_) delete this;
    return left;
}

HRESULT recording_d3d::enter(const char* name) {
    calls.push_back(name);
    if (auto it = fail_next_.find(name); it != fail_next_.end()) {
        HRESULT hr = it->second;
        fail_next_.erase(it);
        return hr;
    }
    if (auto it = fail_always_.find(name); it != fail_always_.end()) return it->second;
    return D3D_OK;
}

UINT recording_d3d::GetAdapterCount() {
    calls.push_back("GetAdapterCount");
    return 1;
}

HRESULT recording_d3d::GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) {
    HRESULT hr = enter("GetAdapterIdentifier");
    if (FAILED(hr)) return hr;
    if (adapter != 0 || !id) return D3DERR_INVALIDCALL;
    *id = {};
    std::snprintf(id->Driver, sizeof id->Driver, "recording");
    std::snprintf(id->Description, sizeof id->Description, "%s", description.c_str());
    std::snprintf(id->DeviceName, sizeof id->DeviceName, "\\\\.\\DISPLAY1");
    return D3D_OK;
}

UINT recording_d3d::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    calls.push_back("GetAdapterModeCount");
    if (adapter != 0) return 0;
    return static_cast<UINT>(std::count_if(modes.begin(), modes.end(),
                                           [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
}

HRESULT recording_d3d::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* out) {
    HRESULT hr = enter("EnumAdapterModes");
    if (FAILED(hr)) return hr;
    if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
    for (const auto& m : modes) {
        if (m.Format != format) continue;
        if (index-- == 0) {
            *out = m;
            return D3D_OK;
        }
    }
    return D3DERR_INVALIDCALL;
}

HRESULT recording_d3d::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    HRESULT hr = enter("GetAdapterDisplayMode");
    if (FAILED(hr)) return hr;
    if (adapter != 0 || !mode) return D3DERR_INVALIDCALL;
    *mode = desktop;
    return D3D_OK;
}

HRESULT recording_d3d::CheckDeviceType(UINT adapter, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) {
    HRESULT hr = enter("CheckDeviceType");
    if (FAILED(hr)) return hr;
    return adapter != 0 ? D3DERR_INVALIDCALL : check_result;
}

HRESULT recording_d3d::CheckDeviceFormat(UINT adapter, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE,
                                         D3DFORMAT) {
    HRESULT hr = enter("CheckDeviceFormat");
    if (FAILED(hr)) return hr;
    return adapter != 0 ? D3DERR_INVALIDCALL : check_result;
}

HRESULT recording_d3d::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) {
    HRESULT hr = enter("CheckDepthStencilMatch");
    if (FAILED(hr)) return hr;
    return adapter != 0 ? D3DERR_INVALIDCALL : check_result;
}

HRESULT recording_d3d::GetDeviceCaps(UINT adapter, D3DDEVTYPE, D3DCAPS9* out) {
    HRESULT hr = enter("GetDeviceCaps");
    if (FAILED(hr)) return hr;
    if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
    *out = caps;
    return D3D_OK;
}

HRESULT recording_d3d::CreateDevice(UINT adapter, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS* params,
                                    IDirect3DDevice9** device) {
    HRESULT hr = enter("CreateDevice");
    if (FAILED(hr)) return hr;
    if (adapter != 0 || !params || !device) return D3DERR_INVALIDCALL;
    created_with.push_back(*params);
    auto* d = new recording_device(this, *params);
    d->heap_ = true;
    // Direct3D writes the back buffer size it chose into the caller's parameters.
    params->BackBufferWidth = d->params.BackBufferWidth;
    params->BackBufferHeight = d->params.BackBufferHeight;
    last_device = d;
    *device = d;
    return D3D_OK;
}

// ---- 4. the device: construction, swap chain, defaults, log ---------------------------------

recording_device::recording_device() {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferWidth = 1024;
    p.BackBufferHeight = 768;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    init(nullptr, p);
}

recording_device::recording_device(recording_d3d* parent, const D3DPRESENT_PARAMETERS& p) {
    init(parent, p);
}

void recording_device::init(recording_d3d* parent, const D3DPRESENT_PARAMETERS& p) {
    tracker_ = std::make_shared<resource_tracker>();
    tracker_->device = this;
    if (!parent) {
        own_parent_ = std::make_unique<recording_d3d>();
        parent = own_parent_.get();
    } else {
        parent->AddRef();
    }
    parent_ = parent;
    params = p;
    if (params.Windowed && params.BackBufferWidth == 0) params.BackBufferWidth = parent_->client_width;
    if (params.Windowed && params.BackBufferHeight == 0) params.BackBufferHeight = parent_->client_height;
    make_swap_chain();
    set_defaults();
}

recording_device::~recording_device() {
    drop_swap_chain();
    tracker_->device = nullptr;
    if (!own_parent_ && parent_) parent_->Release();
}

void recording_device::make_swap_chain() {
    D3DFORMAT format = params.BackBufferFormat == D3DFMT_UNKNOWN ? D3DFMT_X8R8G8B8 : params.BackBufferFormat;
    back_buffer_ = new recording_surface(tracker_, nullptr, params.BackBufferWidth, params.BackBufferHeight,
                                         format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, row_padding);
    if (params.EnableAutoDepthStencil)
        auto_depth_ =
            new recording_surface(tracker_, nullptr, params.BackBufferWidth, params.BackBufferHeight,
                                  params.AutoDepthStencilFormat, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, 0);
}

void recording_device::drop_swap_chain() {
    if (back_buffer_) back_buffer_->Release();
    if (auto_depth_) auto_depth_->Release();
    back_buffer_ = auto_depth_ = nullptr;
}

void recording_device::set_defaults() {
    render_states_ = {
        {D3DRS_ZENABLE, params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ALPHATESTENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAREF, 0},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_CLIPPING, TRUE},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_POINTSIZE, float_bits(1.0f)},
        {D3DRS_POINTSIZE_MIN, float_bits(1.0f)},
        {D3DRS_POINTSPRITEENABLE, FALSE},
        {D3DRS_POINTSCALEENABLE, FALSE},
        {D3DRS_POINTSIZE_MAX, float_bits(64.0f)},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_SCISSORTESTENABLE, FALSE},
    };
    stage_states_.clear();
    sampler_states_.clear();
    for (DWORD s = 0; s < 8; ++s) {
        stage_states_[{s, D3DTSS_COLOROP}] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        stage_states_[{s, D3DTSS_COLORARG1}] = D3DTA_TEXTURE;
        stage_states_[{s, D3DTSS_COLORARG2}] = D3DTA_CURRENT;
        stage_states_[{s, D3DTSS_ALPHAOP}] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        stage_states_[{s, D3DTSS_ALPHAARG1}] = D3DTA_TEXTURE;
        stage_states_[{s, D3DTSS_ALPHAARG2}] = D3DTA_CURRENT;
        sampler_states_[{s, D3DSAMP_ADDRESSU}] = D3DTADDRESS_WRAP;
        sampler_states_[{s, D3DSAMP_ADDRESSV}] = D3DTADDRESS_WRAP;
        sampler_states_[{s, D3DSAMP_MAGFILTER}] = D3DTEXF_POINT;
        sampler_states_[{s, D3DSAMP_MINFILTER}] = D3DTEXF_POINT;
        sampler_states_[{s, D3DSAMP_MIPFILTER}] = D3DTEXF_NONE;
        textures_[s] = nullptr;
    }
    transforms_ = {{D3DTS_VIEW, identity()}, {D3DTS_PROJECTION, identity()}, {D3DTS_WORLD, identity()}};
    viewport = {0, 0, params.BackBufferWidth, params.BackBufferHeight, 0.0f, 1.0f};
    scissor = {0, 0, static_cast<LONG>(params.BackBufferWidth), static_cast<LONG>(params.BackBufferHeight)};
    fvf = 0;
    stream = nullptr;
    stream_offset = stream_stride = 0;
    render_target = back_buffer_;
    depth_stencil = auto_depth_;
}

void recording_device::forget(IUnknownLike* r) {
    for (auto& t : textures_)
        if (t == r) t = nullptr;
    if (stream == r) stream = nullptr;
    if (render_target == r) render_target = nullptr;
    if (depth_stencil == r) depth_stencil = nullptr;
}

HRESULT recording_device::enter(const char* name, std::vector<std::string> args) {
    HRESULT hr = D3D_OK;
    if (auto it = fail_next_.find(name); it != fail_next_.end()) {
        hr = it->second;
        fail_next_.erase(it);
    } else if (auto a = fail_always_.find(name); a != fail_always_.end()) {
        hr = a->second;
    }
    if (keep_log)
        log_.push_back({name, std::move(args), hr, -1});
    else
        ++counts_[name];
    return hr;
}

HRESULT recording_device::refuse(const char* name, std::vector<std::string> args) {
    HRESULT hr = enter(name, std::move(args));
    if (FAILED(hr)) return hr;
    if (keep_log) log_.back().result = D3DERR_INVALIDCALL;
    return D3DERR_INVALIDCALL;
}

int recording_device::count(const std::string& name) const {
    int n = 0;
    for (const auto& c : log_)
        n += c.name == name;
    if (auto it = counts_.find(name); it != counts_.end()) n += it->second;
    return n;
}

std::vector<const recorded_call*> recording_device::find(const std::string& name) const {
    std::vector<const recorded_call*> out;
    for (const auto& c : log_)
        if (c.name == name) out.push_back(&c);
    return out;
}

const recorded_call* recording_device::last(const std::string& name) const {
    for (auto it = log_.rbegin(); it != log_.rend(); ++it)
        if (it->name == name) return &*it;
    return nullptr;
}

std::string recording_device::names() const {
    std::string s;
    for (const auto& c : log_)
        s += (s.empty() ? "" : " ") + c.name;
    return s;
}

recording_surface* recording_device::surface_of_dc(HDC dc) const {
    auto it = tracker_->dcs.find(dc);
    return it == tracker_->dcs.end() ? nullptr : it->second;
}

ULONG recording_device::AddRef() {
    return ++refs_;
}

ULONG recording_device::Release() {
    ULONG left = refs_ > 0 ? --refs_ : 0;
    if (left == 0 && heap_) delete this;
    return left;
}

// ---- 5. the device: state calls -------------------------------------------------------------

DWORD recording_device::render_state(D3DRENDERSTATETYPE s) const {
    auto it = render_states_.find(s);
    return it == render_states_.end() ? 0 : it->second;
}

DWORD recording_device::stage_state(DWORD stage, D3DTEXTURESTAGESTATETYPE t) const {
    auto it = stage_states_.find({stage, t});
    return it == stage_states_.end() ? 0 : it->second;
}

DWORD recording_device::sampler_state(DWORD sampler, D3DSAMPLERSTATETYPE t) const {
    auto it = sampler_states_.find({sampler, t});
    return it == sampler_states_.end() ? 0 : it->second;
}

const D3DMATRIX& recording_device::transform(D3DTRANSFORMSTATETYPE t) const {
    static const D3DMATRIX id = identity();
    auto it = transforms_.find(t);
    return it == transforms_.end() ? id : it->second;
}

HRESULT recording_device::TestCooperativeLevel() {
    HRESULT hr = enter("TestCooperativeLevel", {});
    if (FAILED(hr)) return hr;
    return FAILED(reset_state_) ? reset_state_ : cooperative_level;
}

HRESULT recording_device::GetDirect3D(IDirect3D9** out) {
    HRESULT hr = enter("GetDirect3D", {});
    if (FAILED(hr)) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    parent_->AddRef();
    *out = parent_;
    return D3D_OK;
}

HRESULT recording_device::GetDeviceCaps(D3DCAPS9* out) {
    HRESULT hr = enter("GetDeviceCaps", {});
    if (FAILED(hr)) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = parent_->caps;
    return D3D_OK;
}

HRESULT recording_device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    HRESULT hr = enter("SetTransform", {num(state)});
    if (FAILED(hr)) return hr;
    if (!m) return D3DERR_INVALIDCALL;
    transforms_[state] = *m;
    return D3D_OK;
}

HRESULT recording_device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
    HRESULT hr = enter("GetTransform", {num(state)});
    if (FAILED(hr)) return hr;
    if (!m) return D3DERR_INVALIDCALL;
    *m = transform(state);
    return D3D_OK;
}

HRESULT recording_device::SetViewport(const D3DVIEWPORT9* v) {
    HRESULT hr =
        enter("SetViewport",
              {v ? num(v->X) + "," + num(v->Y) + "," + num(v->Width) + "," + num(v->Height) : "null"});
    if (FAILED(hr)) return hr;
    if (!v) return D3DERR_INVALIDCALL;
    viewport = *v;
    return D3D_OK;
}

HRESULT recording_device::GetViewport(D3DVIEWPORT9* v) {
    HRESULT hr = enter("GetViewport", {});
    if (FAILED(hr)) return hr;
    if (!v) return D3DERR_INVALIDCALL;
    *v = viewport;
    return D3D_OK;
}

HRESULT recording_device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    HRESULT hr = enter("SetRenderState", {num(state), num(value)});
    if (FAILED(hr)) return hr;
    render_states_[state] = value;
    return D3D_OK;
}

HRESULT recording_device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    HRESULT hr = enter("GetRenderState", {num(state)});
    if (FAILED(hr)) return hr;
    if (!value) return D3DERR_INVALIDCALL;
    *value = render_state(state);
    return D3D_OK;
}

HRESULT recording_device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    HRESULT hr = enter("SetTextureStageState", {num(stage), num(type), num(value)});
    if (FAILED(hr)) return hr;
    if (stage >= 8) return D3DERR_INVALIDCALL;
    stage_states_[{stage, type}] = value;
    return D3D_OK;
}

HRESULT recording_device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    HRESULT hr = enter("GetTextureStageState", {num(stage), num(type)});
    if (FAILED(hr)) return hr;
    if (!value || stage >= 8) return D3DERR_INVALIDCALL;
    *value = stage_state(stage, type);
    return D3D_OK;
}

HRESULT recording_device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    HRESULT hr = enter("SetSamplerState", {num(sampler), num(type), num(value)});
    if (FAILED(hr)) return hr;
    if (sampler >= 8) return D3DERR_INVALIDCALL;
    sampler_states_[{sampler, type}] = value;
    return D3D_OK;
}

HRESULT recording_device::SetScissorRect(const RECT* rect) {
    HRESULT hr = enter("SetScissorRect", {rec_arg(rect)});
    if (FAILED(hr)) return hr;
    if (!rect) return D3DERR_INVALIDCALL;
    scissor = *rect;
    return D3D_OK;
}

HRESULT recording_device::GetScissorRect(RECT* rect) {
    HRESULT hr = enter("GetScissorRect", {});
    if (FAILED(hr)) return hr;
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = scissor;
    return D3D_OK;
}

HRESULT recording_device::SetTexture(DWORD stage, IDirect3DBaseTexture9* t) {
    HRESULT hr = enter("SetTexture", {num(stage), rec_arg(t)});
    if (FAILED(hr)) return hr;
    if (stage >= 8) return D3DERR_INVALIDCALL;
    textures_[stage] = static_cast<IDirect3DTexture9*>(t); // the program makes 2D textures only
    return D3D_OK;
}

HRESULT recording_device::GetTexture(DWORD stage, IDirect3DBaseTexture9** out) {
    HRESULT hr = enter("GetTexture", {num(stage)});
    if (FAILED(hr)) return hr;
    if (!out || stage >= 8) return D3DERR_INVALIDCALL;
    *out = textures_[stage];
    if (*out) (*out)->AddRef();
    return D3D_OK;
}

HRESULT recording_device::SetFVF(DWORD value) {
    HRESULT hr = enter("SetFVF", {hex(value)});
    if (FAILED(hr)) return hr;
    fvf = value;
    return D3D_OK;
}

HRESULT recording_device::GetFVF(DWORD* out) {
    HRESULT hr = enter("GetFVF", {});
    if (FAILED(hr)) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = fvf;
    return D3D_OK;
}

HRESULT recording_device::SetStreamSource(UINT index, IDirect3DVertexBuffer9* buffer, UINT offset,
                                          UINT stride) {
    HRESULT hr = enter("SetStreamSource", {num(index), rec_arg(buffer), num(offset), num(stride)});
    if (FAILED(hr)) return hr;
    if (index != 0) return D3DERR_INVALIDCALL;
    stream = buffer;
    stream_offset = offset;
    stream_stride = stride;
    return D3D_OK;
}

// ---- 6. the device: resources and render targets --------------------------------------------

HRESULT recording_device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                        D3DPOOL pool, IDirect3DTexture9** out, HANDLE*) {
    HRESULT hr =
        enter("CreateTexture", {num(width), num(height), num(levels), hex(usage), num(format), num(pool)});
    if (FAILED(hr)) return hr;
    if (!out || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    *out = new recording_texture(tracker_, width, height, levels, usage, format, pool, row_padding);
    return D3D_OK;
}

HRESULT recording_device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf_, D3DPOOL pool,
                                             IDirect3DVertexBuffer9** out, HANDLE*) {
    HRESULT hr = enter("CreateVertexBuffer", {num(length), hex(usage), hex(fvf_), num(pool)});
    if (FAILED(hr)) return hr;
    if (!out || length == 0) return D3DERR_INVALIDCALL;
    *out = new recording_vertex_buffer(tracker_, length, usage, fvf_, pool);
    return D3D_OK;
}

HRESULT recording_device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                    D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9** out,
                                                    HANDLE*) {
    HRESULT hr = enter("CreateDepthStencilSurface", {num(width), num(height), num(format)});
    if (FAILED(hr)) return hr;
    if (!out || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    auto* s = new recording_surface(tracker_, nullptr, width, height, format, D3DUSAGE_DEPTHSTENCIL,
                                    D3DPOOL_DEFAULT, 0);
    tracker_->live.insert(s);
    tracker_->live_default.insert(s);
    *out = s;
    return D3D_OK;
}

HRESULT recording_device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                      IDirect3DSurface9** out, HANDLE*) {
    HRESULT hr = enter("CreateOffscreenPlainSurface", {num(width), num(height), num(format), num(pool)});
    if (FAILED(hr)) return hr;
    if (!out || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    auto* s = new recording_surface(tracker_, nullptr, width, height, format, 0, pool, row_padding);
    tracker_->live.insert(s);
    if (pool == D3DPOOL_DEFAULT) tracker_->live_default.insert(s);
    *out = s;
    return D3D_OK;
}

HRESULT recording_device::GetRenderTargetData(IDirect3DSurface9* from, IDirect3DSurface9* to) {
    HRESULT hr = enter("GetRenderTargetData", {rec_arg(from), rec_arg(to)});
    if (FAILED(hr)) return hr;
    auto* a = dynamic_cast<recording_surface*>(from);
    auto* b = dynamic_cast<recording_surface*>(to);
    if (!a || !b || a->desc.Width != b->desc.Width || a->desc.Height != b->desc.Height)
        return D3DERR_INVALIDCALL;
    for (UINT y = 0; y < a->desc.Height; ++y)
        std::memcpy(b->bits.data() + y * b->pitch, a->bits.data() + y * a->pitch, a->desc.Width * 4);
    return D3D_OK;
}

HRESULT recording_device::GetBackBuffer(UINT, UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** out) {
    HRESULT hr = enter("GetBackBuffer", {num(index)});
    if (FAILED(hr)) return hr;
    if (!out || index != 0 || !back_buffer_) return D3DERR_INVALIDCALL;
    back_buffer_->AddRef();
    *out = back_buffer_;
    return D3D_OK;
}

HRESULT recording_device::SetRenderTarget(DWORD index, IDirect3DSurface9* s) {
    HRESULT hr = enter("SetRenderTarget", {num(index), rec_arg(s)});
    if (FAILED(hr)) return hr;
    if (index != 0 || !s) return D3DERR_INVALIDCALL;
    render_target = s;
    D3DSURFACE_DESC d = static_cast<recording_surface*>(s)->desc;
    viewport = {0, 0, d.Width, d.Height, 0.0f, 1.0f};
    scissor = {0, 0, static_cast<LONG>(d.Width), static_cast<LONG>(d.Height)};
    return D3D_OK;
}

HRESULT recording_device::GetRenderTarget(DWORD index, IDirect3DSurface9** out) {
    HRESULT hr = enter("GetRenderTarget", {num(index)});
    if (FAILED(hr)) return hr;
    if (!out || index != 0) return D3DERR_INVALIDCALL;
    if (!render_target) return D3DERR_NOTFOUND;
    render_target->AddRef();
    *out = render_target;
    return D3D_OK;
}

HRESULT recording_device::SetDepthStencilSurface(IDirect3DSurface9* s) {
    HRESULT hr = enter("SetDepthStencilSurface", {rec_arg(s)});
    if (FAILED(hr)) return hr;
    depth_stencil = s;
    return D3D_OK;
}

HRESULT recording_device::GetDepthStencilSurface(IDirect3DSurface9** out) {
    HRESULT hr = enter("GetDepthStencilSurface", {});
    if (FAILED(hr)) return hr;
    if (!out) return D3DERR_INVALIDCALL;
    *out = depth_stencil;
    if (!depth_stencil) return D3DERR_NOTFOUND;
    depth_stencil->AddRef();
    return D3D_OK;
}

HRESULT recording_device::Reset(D3DPRESENT_PARAMETERS* p) {
    HRESULT hr = enter("Reset", {});
    if (FAILED(hr)) return hr;
    if (!p) return D3DERR_INVALIDCALL;
    if (cooperative_level == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    if (!tracker_->live_default.empty()) {
        reset_state_ = D3DERR_DEVICENOTRESET;
        return D3DERR_INVALIDCALL;
    }
    params = *p;
    if (params.Windowed && params.BackBufferWidth == 0) params.BackBufferWidth = parent_->client_width;
    if (params.Windowed && params.BackBufferHeight == 0) params.BackBufferHeight = parent_->client_height;
    p->BackBufferWidth = params.BackBufferWidth;
    p->BackBufferHeight = params.BackBufferHeight;
    drop_swap_chain();
    make_swap_chain();
    set_defaults();
    reset_state_ = D3D_OK;
    cooperative_level = D3D_OK;
    in_scene = false;
    ++resets;
    return D3D_OK;
}

// ---- 7. the device: scenes and draws ---------------------------------------------------------

HRESULT recording_device::BeginScene() {
    HRESULT hr = enter("BeginScene", {});
    if (FAILED(hr)) return hr;
    if (in_scene) return D3DERR_INVALIDCALL;
    in_scene = true;
    return D3D_OK;
}

HRESULT recording_device::EndScene() {
    HRESULT hr = enter("EndScene", {});
    if (FAILED(hr)) return hr;
    if (!in_scene) return D3DERR_INVALIDCALL;
    in_scene = false;
    return D3D_OK;
}

HRESULT recording_device::Present(const RECT*, const RECT*, HWND, const void*) {
    HRESULT hr = enter("Present", {});
    if (FAILED(hr)) return hr;
    if (in_scene) return D3DERR_INVALIDCALL;
    ++presents;
    return D3D_OK;
}

HRESULT recording_device::Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z,
                                DWORD stencil) {
    HRESULT hr =
        enter("Clear", {num(count), rec_arg(rects), hex(flags), hex(color), rec_arg(z), num(stencil)});
    if (FAILED(hr)) return hr;
    if ((flags & D3DCLEAR_ZBUFFER) && !depth_stencil) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT recording_device::record_draw(const char* name, std::vector<std::string> args, D3DPRIMITIVETYPE type,
                                      UINT count, UINT start, const BYTE* vertices, size_t bytes,
                                      UINT stride) {
    HRESULT hr = enter(name, std::move(args));
    if (FAILED(hr)) return hr;
    if (!keep_log) return D3D_OK;
    draw_record d;
    d.type = type;
    d.primitive_count = count;
    d.start_vertex = start;
    d.fvf = fvf;
    d.stride = stride;
    d.texture = textures_[0];
    d.vertices.assign(vertices, vertices + bytes);
    log_.back().draw_index = static_cast<int>(draws_.size());
    draws_.push_back(std::move(d));
    return D3D_OK;
}

HRESULT recording_device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    std::vector<std::string> args{num(type), num(start), num(count)};
    auto* vb = dynamic_cast<recording_vertex_buffer*>(stream);
    UINT n = primitive_vertex_count(type, count);
    size_t first = stream_offset + static_cast<size_t>(start) * stream_stride;
    size_t bytes = static_cast<size_t>(n) * stream_stride;
    bool bad = !vb || vb->lock_depth > 0 || fvf == 0 || stream_stride != fvf_size(fvf) || count == 0 ||
               first + bytes > vb->bytes.size();
    if (bad) return refuse("DrawPrimitive", std::move(args));
    return record_draw("DrawPrimitive", std::move(args), type, count, start, vb->bytes.data() + first, bytes,
                       stream_stride);
}

HRESULT recording_device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* vertices,
                                          UINT stride) {
    std::vector<std::string> args{num(type), num(count), num(stride)};
    if (!vertices || fvf == 0 || stride != fvf_size(fvf) || count == 0)
        return refuse("DrawPrimitiveUP", std::move(args));
    HRESULT hr =
        record_draw("DrawPrimitiveUP", std::move(args), type, count, 0, static_cast<const BYTE*>(vertices),
                    static_cast<size_t>(primitive_vertex_count(type, count)) * stride, stride);
    stream = nullptr;
    stream_offset = stream_stride = 0;
    return hr;
}

HRESULT recording_device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT num_vertices,
                                                 UINT count, const void* indices,
                                                 D3DFORMAT_INDEX index_format, const void* vertices,
                                                 UINT stride) {
    std::vector<std::string> args{num(type),  num(min_index),    num(num_vertices),
                                  num(count), num(index_format), num(stride)};
    if (!indices || !vertices || fvf == 0 || stride != fvf_size(fvf) || count == 0)
        return refuse("DrawIndexedPrimitiveUP", std::move(args));
    // The record holds the vertices in index order, as they are drawn.
    UINT n = primitive_vertex_count(type, count);
    std::vector<BYTE> drawn;
    drawn.reserve(static_cast<size_t>(n) * stride);
    for (UINT i = 0; i < n; ++i) {
        UINT index = index_format == D3DFMT_INDEX16 ? static_cast<const WORD*>(indices)[i]
                                                    : static_cast<const DWORD*>(indices)[i];
        if (index < min_index || index >= min_index + num_vertices)
            return refuse("DrawIndexedPrimitiveUP", std::move(args));
        const BYTE* v = static_cast<const BYTE*>(vertices) + static_cast<size_t>(index) * stride;
        drawn.insert(drawn.end(), v, v + stride);
    }
    HRESULT hr = record_draw("DrawIndexedPrimitiveUP", std::move(args), type, count, 0, drawn.data(),
                             drawn.size(), stride);
    stream = nullptr;
    stream_offset = stream_stride = 0;
    return hr;
}
