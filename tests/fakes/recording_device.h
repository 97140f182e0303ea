// A Direct3D 9 device that draws nothing and remembers everything: each call with its arguments,
// the state a real device would hold, and resources kept in memory. Framework tests run against
// it without a display and check statements such as "no SetTexture call is made".
//
// Use:
//   recording_device dev;                       // a fresh device, 1024 x 768 back buffer
//   c_gfx gfx(&dev, 2.0e-5f);
//   ...
//   EXPECT_EQ(dev.count("DrawPrimitive"), 1);
//   dev.fail_next("SetScissorRect", D3DERR_INVALIDCALL); // drive a raise
//
// Semantics kept from a real device:
// - fresh render, stage and sampler states are Direct3D 9's defaults (queryable with
//   render_state / stage_state / sampler_state); Reset restores them.
// - viewport and scissor cover the back buffer; SetRenderTarget(0, rt) resets both to rt's size.
// - resources are reference counted and delete themselves at 0. Bindings (SetTexture,
//   SetStreamSource, SetRenderTarget) do not add references; when a bound resource dies its
//   binding is cleared, so a stale pointer can never come back from GetTexture.
// - Reset fails with D3DERR_INVALIDCALL while any DEFAULT-pool resource made by the program is
//   alive; TestCooperativeLevel then answers D3DERR_DEVICENOTRESET until a Reset succeeds.
// - a DrawPrimitive from a locked vertex buffer, or one reading past its end, fails with
//   D3DERR_INVALIDCALL; so do a draw without FVF or with a stride that does not match it, locks of
//   DEFAULT-pool textures that are not dynamic, a second lock of a locked texture level, a
//   D3DLOCK_DISCARD lock of a buffer that is not dynamic, and GetDC on anything but an X8R8G8B8
//   surface (GDI does not handle alpha). A discarding lock fills the buffer with 0xCD bytes, so
//   code that relies on the old contents shows up.
// - DrawPrimitiveUP and DrawIndexedPrimitiveUP unbind stream 0 afterwards, as Direct3D 9 does.
// - calls on resources (Lock, Unlock, LockRect, UnlockRect, GetSurfaceLevel, GetDesc,
//   GetLevelDesc, GetDC, ReleaseDC) are logged by the device that made them, first argument the
//   resource's name, and take injected failures like device calls. AddRef / Release are not
//   logged.
// - texture surfaces lock with a pitch wider than width * 4 (row_padding bytes more), so code
//   that ignores the pitch shows up in tests.
//
// Objects made by recording_d3d::CreateDevice are freed by their last Release; a device or
// Direct3D object made by a test (on the stack or as a member) is never deleted by Release.
#pragma once
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/d3d9.h"

class recording_device;
class recording_texture;
class recording_surface;
class recording_vertex_buffer;

// One recorded draw: what was drawn, with which format and texture, and a copy of the vertices.
struct draw_record {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitive_count = 0;
    UINT start_vertex = 0;
    DWORD fvf = 0;
    UINT stride = 0;
    IDirect3DTexture9* texture = nullptr; // stage 0 at the time of the draw (compare only)
    std::vector<BYTE> vertices;           // vertex_count() vertices, `stride` bytes each

    UINT vertex_count() const;
    // The vertices as records of the program's vertex types (T must be `stride` bytes).
    template <class T> std::vector<T> as() const {
        std::vector<T> out(vertices.size() / sizeof(T));
        if (!out.empty()) std::memcpy(out.data(), vertices.data(), out.size() * sizeof(T));
        return out;
    }
};

// One entry of the call log. Numbers are decimal, floats as "%g", pointers as the object's name
// ("texture3", "vb7", "surface2") or "null".
struct recorded_call {
    std::string name;
    std::vector<std::string> args;
    HRESULT result = D3D_OK;
    int draw_index = -1; // index into draws() for draw calls
};

// Shared by a device and every resource it made, so resources may outlive the device.
struct resource_tracker {
    int next_id = 1;
    std::set<IUnknownLike*> live;          // resources made by the program, not the device's own
    std::set<IUnknownLike*> live_default;  // the DEFAULT-pool ones among them
    std::map<HDC, recording_surface*> dcs; // GetDC contexts that are out
    recording_device* device = nullptr;    // null once the device is gone
};

// ---- resources -------------------------------------------------------------------------------

class recording_surface : public IDirect3DSurface9 {
  public:
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;
    HRESULT GetDC(HDC* dc) override;
    HRESULT ReleaseDC(HDC dc) override;

    // Test access: the pixel at (x, y) as 0xAARRGGBB, written or read in place.
    DWORD& pixel(UINT x, UINT y) { return *reinterpret_cast<DWORD*>(bits.data() + y * pitch + x * 4); }
    const std::string& name() const { return name_; }

    D3DSURFACE_DESC desc{};
    INT pitch = 0;
    std::vector<BYTE> bits;
    bool locked = false;
    HDC dc = nullptr; // while GetDC's context is out

  private:
    friend class recording_device;
    friend class recording_texture;
    recording_surface(std::shared_ptr<resource_tracker> tracker, recording_texture* owner, UINT width,
                      UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool, int row_padding);
    ~recording_surface() override;
    std::shared_ptr<resource_tracker> tracker_;
    recording_texture* owner_; // a texture level forwards its references to the texture
    ULONG refs_ = 1;
    std::string name_;
};

class recording_texture : public IDirect3DTexture9 {
  public:
    ULONG AddRef() override;
    ULONG Release() override;
    DWORD GetLevelCount() override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    recording_surface& level(UINT i) { return *levels_.at(i); }
    ULONG refs() const { return refs_; }
    const std::string& name() const { return name_; }
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_MANAGED;

  private:
    friend class recording_device;
    recording_texture(std::shared_ptr<resource_tracker> tracker, UINT width, UINT height, UINT levels,
                      DWORD usage, D3DFORMAT format, D3DPOOL pool, int row_padding);
    ~recording_texture() override;
    std::shared_ptr<resource_tracker> tracker_;
    std::vector<recording_surface*> levels_;
    ULONG refs_ = 1;
    std::string name_;
};

class recording_vertex_buffer : public IDirect3DVertexBuffer9 {
  public:
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    ULONG refs() const { return refs_; }
    const std::string& name() const { return name_; }
    D3DVERTEXBUFFER_DESC desc{};
    std::vector<BYTE> bytes;
    int lock_depth = 0;
    int lock_count = 0; // Lock calls so far
    DWORD last_lock_flags = 0;

  private:
    friend class recording_device;
    recording_vertex_buffer(std::shared_ptr<resource_tracker> tracker, UINT length, DWORD usage, DWORD fvf,
                            D3DPOOL pool);
    ~recording_vertex_buffer() override;
    std::shared_ptr<resource_tracker> tracker_;
    ULONG refs_ = 1;
    std::string name_;
};

// ---- the Direct3D object ------------------------------------------------------------------------

class recording_d3d : public IDirect3D9 {
  public:
    // One adapter with one 1024 x 768 60 Hz X8R8G8B8 mode (the desktop mode too); caps with
    // hardware transform and MaxPointSize 64.
    recording_d3d();
    ~recording_d3d() override = default;

    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override;
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override;
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display_format,
                            D3DFORMAT back_buffer_format, BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                              D3DRESOURCETYPE resource_type, D3DFORMAT check_format) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                   D3DFORMAT render_target_format, D3DFORMAT depth_format) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    // Makes a recording_device (freed by its last Release) and remembers the parameters.
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

    // Configuration, set before use.
    std::vector<D3DDISPLAYMODE> modes;
    D3DDISPLAYMODE desktop{1024, 768, 60, D3DFMT_X8R8G8B8};
    D3DCAPS9 caps{};
    std::string description = "Recording Direct3D device";
    // What a windowed back buffer of width or height 0 takes as the window's client size.
    UINT client_width = 1024, client_height = 768;
    // The answer of the three compatibility checks.
    HRESULT check_result = D3D_OK;

    // What was seen.
    std::vector<D3DPRESENT_PARAMETERS> created_with; // CreateDevice's parameters, in order
    recording_device* last_device = nullptr;         // the device CreateDevice made last
    ULONG refs() const { return refs_; }

    // Failure injection, as on the device: CreateDevice, GetAdapterDisplayMode, GetDeviceCaps, ...
    void fail_next(const std::string& call, HRESULT hr) { fail_next_[call] = hr; }
    void fail_always(const std::string& call, HRESULT hr) { fail_always_[call] = hr; }
    std::vector<std::string> calls; // names of the calls made, in order

  private:
    friend class recording_device;
    HRESULT enter(const char* name);
    ULONG refs_ = 1;
    bool heap_ = false; // made by a device of its own: freed by the last Release
    std::map<std::string, HRESULT> fail_next_, fail_always_;
};

// ---- the device ------------------------------------------------------------------------------

class recording_device : public IDirect3DDevice9 {
  public:
    // A device with a windowed 1024 x 768 X8R8G8B8 back buffer and a D16 auto depth-stencil,
    // or one made with `params` (width or height 0 take parent's client size). Without a parent
    // the device makes a recording_d3d of its own for GetDirect3D.
    recording_device();
    recording_device(recording_d3d* parent, const D3DPRESENT_PARAMETERS& params);
    ~recording_device() override;
    recording_device(const recording_device&) = delete;
    recording_device& operator=(const recording_device&) = delete;

    // ---- the call log ----
    const std::vector<recorded_call>& log() const { return log_; }
    const std::vector<draw_record>& draws() const { return draws_; }
    void clear_log() {
        log_.clear();
        draws_.clear();
        counts_.clear();
    }
    int count(const std::string& name) const;
    // Calls of a name in order; the last one (null when none).
    std::vector<const recorded_call*> find(const std::string& name) const;
    const recorded_call* last(const std::string& name) const;
    // The names of every call in order, for messages when a test fails.
    std::string names() const;
    // Stop keeping the log (benchmarks); counting, state and failures keep working.
    bool keep_log = true;

    // ---- failure injection ----
    // The next call of `call` (a method name such as "SetScissorRect") returns hr and does nothing.
    void fail_next(const std::string& call, HRESULT hr) { fail_next_[call] = hr; }
    // Every call of `call` returns hr until clear_failures.
    void fail_always(const std::string& call, HRESULT hr) { fail_always_[call] = hr; }
    void clear_failures() {
        fail_next_.clear();
        fail_always_.clear();
    }

    // ---- state ----
    DWORD render_state(D3DRENDERSTATETYPE s) const;
    DWORD stage_state(DWORD stage, D3DTEXTURESTAGESTATETYPE t) const;
    DWORD sampler_state(DWORD sampler, D3DSAMPLERSTATETYPE t) const;
    const D3DMATRIX& transform(D3DTRANSFORMSTATETYPE t) const;
    D3DVIEWPORT9 viewport{};
    RECT scissor{};
    DWORD fvf = 0;
    IDirect3DVertexBuffer9* stream = nullptr;
    UINT stream_offset = 0, stream_stride = 0;
    IDirect3DTexture9* texture(DWORD stage) const { return stage < 8 ? textures_[stage] : nullptr; }
    IDirect3DSurface9* render_target = nullptr;
    IDirect3DSurface9* depth_stencil = nullptr;
    recording_surface* back_buffer() const { return back_buffer_; }
    D3DPRESENT_PARAMETERS params{};
    bool in_scene = false;
    int presents = 0;
    int resets = 0;
    // What TestCooperativeLevel answers while the device is not waiting for a Reset; tests set
    // D3DERR_DEVICELOST or D3DERR_DEVICENOTRESET to play a lost device.
    HRESULT cooperative_level = D3D_OK;
    // Extra bytes at the end of each row of a texture surface.
    int row_padding = 16;

    // ---- resources ----
    // Resources made by the program and alive now (not counting the back buffer and the auto
    // depth-stencil); the DEFAULT-pool ones among them.
    int live_resources() const { return static_cast<int>(tracker_->live.size()); }
    int live_default_resources() const { return static_cast<int>(tracker_->live_default.size()); }
    // The surface whose GetDC context `dc` is (null when none).
    recording_surface* surface_of_dc(HDC dc) const;
    ULONG refs() const { return refs_; }

    // ---- IDirect3DDevice9 ----
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT TestCooperativeLevel() override;
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND override_window, const void* dirty) override;
    HRESULT GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                      D3DMULTISAMPLE_TYPE multisample, DWORD quality, BOOL discard,
                                      IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* destination) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices,
                            UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT num_vertices,
                                   UINT primitive_count, const void* indices, D3DFORMAT_INDEX index_format,
                                   const void* vertices, UINT stride) override;

  private:
    friend class recording_d3d;
    friend class recording_surface;
    friend class recording_texture;
    friend class recording_vertex_buffer;
    void init(recording_d3d* parent, const D3DPRESENT_PARAMETERS& params);
    void make_swap_chain();
    void drop_swap_chain();
    void set_defaults();
    void forget(IUnknownLike* resource); // a bound resource died
    HRESULT enter(const char* name, std::vector<std::string> args);
    HRESULT refuse(const char* name, std::vector<std::string> args); // logged as D3DERR_INVALIDCALL
    HRESULT record_draw(const char* name, std::vector<std::string> args, D3DPRIMITIVETYPE type, UINT count,
                        UINT start, const BYTE* vertices, size_t bytes, UINT stride);

    std::shared_ptr<resource_tracker> tracker_;
    recording_d3d* parent_ = nullptr;
    std::unique_ptr<recording_d3d> own_parent_;
    bool heap_ = false;
    ULONG refs_ = 1;
    HRESULT reset_state_ = D3D_OK; // DEVICENOTRESET after a failed Reset
    std::vector<recorded_call> log_;
    std::vector<draw_record> draws_;
    std::map<std::string, int> counts_; // calls made while keep_log was off
    std::map<std::string, HRESULT> fail_next_, fail_always_;
    std::map<DWORD, DWORD> render_states_;
    std::map<std::pair<DWORD, DWORD>, DWORD> stage_states_, sampler_states_;
    std::map<DWORD, D3DMATRIX> transforms_;
    IDirect3DTexture9* textures_[8] = {};
    recording_surface* back_buffer_ = nullptr;
    recording_surface* auto_depth_ = nullptr;
};

// Argument rendering shared by the fake's pieces and useful in tests.
std::string rec_arg(IUnknownLike* object);
std::string rec_arg(float v);
std::string rec_arg(const RECT* rect);
