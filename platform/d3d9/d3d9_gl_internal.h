// Inside the Direct3D 9 device on OpenGL 3.3 core: the GL entry points, the resource classes
// and the device class shared by the d3d9_gl_*.cpp files. Nothing outside those files and
// d3dx9.cpp includes this.
//
// How D3D maps onto GL here:
// - The back buffer lives in a framebuffer object of its own, which keeps its contents from
//   one frame to the next, so that a frame can be drawn again only where it changed (see
//   d3d9_gl_frame.h); Present copies what changed onto the window, scaled when the sizes
//   differ. (Drawn straight into the window, llvmpipe lets point sprites reach a row past the
//   scissor rectangle, which a partial redraw cannot allow.)
// - GL stores framebuffers bottom-up. Framebuffer objects are drawn with D3D's y (row 0 = top
//   in texture memory, so render-target textures sample the right way up); the default
//   framebuffer is drawn with y flipped. `flip` below says which, and every y that reaches GL
//   (positions, scissor, read-back, point-sprite origin, winding) goes through it.
// - Render states are only recorded by the Set* calls; draw calls upload what changed.
#pragma once
#include <GL/glcorearb.h>
#include <SDL2/SDL.h>

#include <chrono>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3d9.h"
#include "platform/d3d9/d3d9_gl_frame.h"
#include "platform/window/window_internal.h"

namespace d3dgl {

// ---- GL entry points, loaded from the context once it exists ------------------------------
#define HV_GL_FUNCTIONS(X)                                                                                   \
    X(PFNGLGETSTRINGPROC, GetString)                                                                         \
    X(PFNGLGETINTEGERVPROC, GetIntegerv)                                                                     \
    X(PFNGLGETFLOATVPROC, GetFloatv)                                                                         \
    X(PFNGLGETERRORPROC, GetError)                                                                           \
    X(PFNGLENABLEPROC, Enable)                                                                               \
    X(PFNGLDISABLEPROC, Disable)                                                                             \
    X(PFNGLVIEWPORTPROC, Viewport)                                                                           \
    X(PFNGLSCISSORPROC, Scissor)                                                                             \
    X(PFNGLCLEARPROC, Clear)                                                                                 \
    X(PFNGLCLEARCOLORPROC, ClearColor)                                                                       \
    X(PFNGLCLEARDEPTHPROC, ClearDepth)                                                                       \
    X(PFNGLDEPTHMASKPROC, DepthMask)                                                                         \
    X(PFNGLDEPTHFUNCPROC, DepthFunc)                                                                         \
    X(PFNGLDEPTHRANGEPROC, DepthRange)                                                                       \
    X(PFNGLBLENDFUNCPROC, BlendFunc)                                                                         \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                                                 \
    X(PFNGLCULLFACEPROC, CullFace)                                                                           \
    X(PFNGLFRONTFACEPROC, FrontFace)                                                                         \
    X(PFNGLFINISHPROC, Finish)                                                                               \
    X(PFNGLFLUSHPROC, Flush)                                                                                 \
    X(PFNGLPIXELSTOREIPROC, PixelStorei)                                                                     \
    X(PFNGLREADPIXELSPROC, ReadPixels)                                                                       \
    X(PFNGLREADBUFFERPROC, ReadBuffer)                                                                       \
    X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                                                       \
    X(PFNGLDRAWARRAYSPROC, DrawArrays)                                                                       \
    X(PFNGLDRAWELEMENTSPROC, DrawElements)                                                                   \
    X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)                                               \
    X(PFNGLPOINTPARAMETERIPROC, PointParameteri)                                                             \
    X(PFNGLGENTEXTURESPROC, GenTextures)                                                                     \
    X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                                               \
    X(PFNGLBINDTEXTUREPROC, BindTexture)                                                                     \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                                 \
    X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                                                       \
    X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                                                 \
    X(PFNGLGETTEXIMAGEPROC, GetTexImage)                                                                     \
    X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                                                 \
    X(PFNGLGENSAMPLERSPROC, GenSamplers)                                                                     \
    X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                                                               \
    X(PFNGLBINDSAMPLERPROC, BindSampler)                                                                     \
    X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                                                         \
    X(PFNGLGENBUFFERSPROC, GenBuffers)                                                                       \
    X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                                                 \
    X(PFNGLBINDBUFFERPROC, BindBuffer)                                                                       \
    X(PFNGLBUFFERDATAPROC, BufferData)                                                                       \
    X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                                                 \
    X(PFNGLBINDBUFFERBASEPROC, BindBufferBase)                                                               \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                             \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                                       \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                             \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                                             \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)                                           \
    X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                                                     \
    X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                                               \
    X(PFNGLVERTEXATTRIB1FPROC, VertexAttrib1f)                                                               \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                                   \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                                   \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                                 \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                                     \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                                           \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                                   \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                                 \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                                   \
    X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                                                       \
    X(PFNGLBINDFRAGDATALOCATIONPROC, BindFragDataLocation)                                                   \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                                     \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                                   \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                                         \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                                 \
    X(PFNGLUSEPROGRAMPROC, UseProgram)                                                                       \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                                       \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                                         \
    X(PFNGLGETUNIFORMBLOCKINDEXPROC, GetUniformBlockIndex)                                                   \
    X(PFNGLUNIFORMBLOCKBINDINGPROC, UniformBlockBinding)                                                     \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                             \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                                       \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                             \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                                   \
    X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                                             \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                               \
    X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                                             \
    X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                                                           \
    X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                                                     \
    X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                                                           \
    X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)

struct gl_api {
#define HV_GL_MEMBER(type, name) type name = nullptr;
    HV_GL_FUNCTIONS(HV_GL_MEMBER)
#undef HV_GL_MEMBER
};
// The entry points of the current context. There is one device (and context) at a time.
extern gl_api gl;
// Loads every entry point from the current context; false when one is missing.
bool load_gl();

// Showing rectangles of the window's back buffer without a swap, which leaves the back buffer
// as it is (GLX_MESA_copy_sub_buffer on X11). False where the system has no such copy, or the
// context is not GLX. Rectangles are in GL's window coordinates (row 0 at the bottom).
bool window_copy_available(SDL_Window* window);
void window_copy_rect(SDL_Window* window, int x, int y, int width, int height);
// The pixels the window shows inside `visible`, the part of it on the screen (0x00RRGGBB, row
// by row from the top), read from the X server, for the redraw check. False where they cannot
// be read: not X11, not mapped, another size than width x height, or wholly off the screen.
bool window_pixels(SDL_Window* window, int width, int height, RECT* visible, std::vector<uint32_t>* out);

// The renderer named by the last device created, "" before the first.
const std::string& last_renderer();
void set_last_renderer(const std::string& name);

// Fills the capabilities the device and the Direct3D object report.
void fill_caps(UINT adapter, D3DCAPS9* caps);

bool is_colour_format(D3DFORMAT f);
bool is_depth_format(D3DFORMAT f);

class gl_device;
class gl_texture;

// Lifetime shared by every resource: the program's references (AddRef/Release) plus the
// device's own hold on what is bound to it. A resource the program has released but the
// device still binds lives on until it is unbound; only program references keep a
// D3DPOOL_DEFAULT resource from letting Reset succeed.
class gl_object {
  public:
    gl_object(gl_device* device, D3DPOOL pool);
    virtual ~gl_object();
    ULONG add_ref() { return ++refs; }
    ULONG release_ref();
    void hold() { ++holds; }
    void unhold();
    // Frees the GL names while the context is still current (the device goes away first).
    virtual void drop_gl() = 0;
    // The device is gone: from now on the resource is memory only.
    virtual void forget_device() {
        device = nullptr;
        registered = false;
    }

    gl_device* device;
    D3DPOOL pool;
    ULONG refs = 1;
    int holds = 0;
    bool device_owned = false; // back buffer and auto depth: freed with the device only
    bool registered = false;   // in the device's list (texture levels are not: their texture is)

  private:
    void maybe_delete();
};

enum class surface_kind {
    back_buffer, // the window's framebuffer, or a framebuffer object when sizes differ
    auto_depth,  // depth of the back buffer
    texture_level,
    depth, // CreateDepthStencilSurface
    plain, // CreateOffscreenPlainSurface
};

class gl_surface final : public IDirect3DSurface9, public gl_object {
  public:
    gl_surface(gl_device* device, surface_kind kind, UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
               DWORD usage);
    ~gl_surface() override;

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;
    HRESULT GetDC(HDC* dc) override;
    HRESULT ReleaseDC(HDC dc) override;
    void drop_gl() override;

    // Container-aware reference keeping: a texture level lives and dies with its texture.
    void hold_binding();
    void unhold_binding();

    bool lockable() const { return cpu_access; }
    bool is_render_target() const;
    bool on_window() const { return kind == surface_kind::back_buffer && fbo == 0; }
    // The framebuffer object drawing into this colour target, made on first use.
    GLuint framebuffer();
    // The renderbuffer a framebuffer object attaches for this depth surface, made on first use.
    GLuint depth_renderbuffer();

    surface_kind kind;
    UINT width, height;
    D3DFORMAT format;
    DWORD usage;
    // Where a lockable level's contents are (a plain surface has them in `pixels` throughout):
    // zeros while `blank`; the halving of the level above while `derived`; otherwise in
    // `pixels` when that is not empty, else only in GL (a managed level GL stores lets its
    // CPU copy go once the lock that needed it has ended).
    // Makes `pixels` hold the contents.
    void materialise();
    // Call before the contents change: a derived level below takes its pixels from these first.
    void before_change();
    void keep_level_below();
    // For GetRenderTargetData: `pixels` is about to be overwritten whole.
    void begin_overwrite();
    // A lock that needed the CPU copy has ended: a level GL stores lets it go.
    void trim();

    gl_texture* container = nullptr;
    UINT level = 0;
    std::vector<uint32_t> pixels; // CPU copy of lockable surfaces, row 0 = top, pitch = width * 4
    bool cpu_access = false;      // lockable: LockRect, GetDC and GetRenderTargetData reach the pixels
    bool blank = true;            // never written since it was made
    bool derived = false;
    bool gl_storage = false; // a texture level with storage in the container's GL texture
    GLuint fbo = 0;
    GLuint colour_tex = 0;   // a back buffer kept in a framebuffer object
    GLuint renderbuffer = 0; // depth storage
    bool locked = false;
    bool lock_read_only = false;
    HDC dc = nullptr;
};

class gl_texture final : public IDirect3DTexture9, public gl_object {
  public:
    gl_texture(gl_device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
               D3DPOOL pool);
    ~gl_texture() override;

    ULONG AddRef() override { return add_ref(); }
    ULONG Release() override { return release_ref(); }
    DWORD GetLevelCount() override { return static_cast<DWORD>(levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    void drop_gl() override;
    void forget_device() override;

    // Sends a level's CPU copy to GL (when GL stores the level), then lets a managed level's
    // copy go.
    void upload(UINT level);
    bool drawable() const { return tex != 0; }
    // A whole level written from `texels` (width x height pixels, no padding), as a lock and
    // unlock writing every pixel would, without the CPU copy between. False, changing nothing,
    // for a level that is locked or not lockable.
    bool write_level(UINT level, const uint32_t* texels);
    // Levels below the top become the halvings of the top's current contents, each computed
    // only when a lock or the sampler needs it (the texture loader's mip chain).
    void derive_levels();
    // The sampler is about to read the mip levels: until then only level 0 has GL storage, as
    // a sampler without a mip filter reads nothing else.
    void sample_mips();
    // Managed levels that GL stores keep no CPU copy outside the locks that need one.
    bool lean() const { return pool == D3DPOOL_MANAGED && tex != 0; }
    // A level's contents: its pixels, or GL's or derived ones made in `scratch`.
    const uint32_t* contents(UINT level, std::vector<uint32_t>& scratch);
    // Gives every mip level GL storage holding its contents.
    void send_mips();

    DWORD usage;
    D3DFORMAT format;
    std::vector<gl_surface*> levels;
    GLuint tex = 0;
    // What the device's frame record knows the texture by: an id that is never reused (unlike
    // pointers and GL names), a version bumped at every change of its contents, and the frame
    // whose deferred drawing samples it.
    uint64_t id;
    uint64_t version = 0;
    uint64_t sampled_in_frame = 0;
    bool mips_on_gl = false;
};

class gl_vertex_buffer final : public IDirect3DVertexBuffer9, public gl_object {
  public:
    gl_vertex_buffer(gl_device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~gl_vertex_buffer() override;

    ULONG AddRef() override { return add_ref(); }
    ULONG Release() override { return release_ref(); }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    void drop_gl() override;

    UINT size;
    DWORD usage;
    DWORD fvf;
    // The only copy: the program writes here, and a draw hands GL the vertices it reads (a
    // frame's drawing is kept in the frame record anyway, so a GL copy would be a third).
    std::vector<BYTE> data;
    GLuint buffer = 0;
    bool locked = false;
    UINT lock_offset = 0, lock_size = 0;
    DWORD lock_flags = 0;
};

class gl_direct3d;

// Where a vertex's parts lie for an FVF; -1 for a part the format lacks.
struct vertex_layout {
    bool pretransformed = false;
    int position = 0, psize = -1, diffuse = -1, texcoord = -1;
    UINT size = 0;
};
bool layout_of(DWORD fvf, vertex_layout* layout);

// A float render state's bits as the float.
inline float float_of(DWORD bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// a x b, row vectors as D3D multiplies them.
inline D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] =
                a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

class gl_device final : public IDirect3DDevice9 {
  public:
    gl_device(gl_direct3d* d3d, UINT adapter, HWND window);
    ~gl_device() override;
    // Makes the context, applies the present parameters and the default states.
    HRESULT create(const D3DPRESENT_PARAMETERS& params);

    ULONG AddRef() override { return ++refs_; }
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

    // ---- used by the resources -----------------------------------------------------------
    void register_object(gl_object* object);
    void unregister_object(gl_object* object);
    // Makes the device's context current before GL work outside a device call.
    void make_current();
    // Forgets a GL name that is being deleted, so the caches never point at a reused name.
    void forget_texture(GLuint tex);
    void forget_buffer(GLuint buffer);
    void forget_framebuffer(GLuint fbo);
    // A resource bound GL objects of its own: the device's idea of what is bound is stale.
    void binding_changed();
    const D3DPRESENT_PARAMETERS& present_parameters() const { return params_; }
    // The contents of a texture are about to change (an upload, a clear or draw into a level).
    // Drawing recorded for the back buffer that samples it is done first, with what it holds now.
    void texture_changed(gl_texture* texture);
    UINT max_texture_size() const { return caps_.MaxTextureWidth; }

    static constexpr int stage_count = 8;
    static constexpr int sampler_count = 16;
    static constexpr int render_state_count = 256;

  private:
    // d3d9_gl_device.cpp
    HRESULT apply_present_parameters(const D3DPRESENT_PARAMETERS& params);
    void set_default_states();
    void unbind_all();
    void release_device_surfaces();
    void pace_frame();
    void cover_display(const SDL_DisplayMode& mode);
    void refresh_window_buffer();
    void measure_window();
    void check_lost();
    void set_target_viewport();
    void read_back(gl_surface* source, gl_surface* destination);
    void read_pixels(gl_surface* source, uint32_t* out); // the whole surface, row 0 at the top
    HRESULT clear_now(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z);
    bool draw_now(D3DPRIMITIVETYPE type, UINT vertex_count, const void* vertices, UINT stride,
                  const void* indices, UINT index_count, D3DFORMAT_INDEX index_format);
    bool draw_point_squares(UINT vertex_count, const BYTE* vertices, UINT stride, const void* indices,
                            UINT index_count, D3DFORMAT_INDEX index_format);
    void show_window_buffer(const std::vector<RECT>* rects);
    void copy_to_window(const std::vector<RECT>* rects); // from our framebuffer object

    // d3d9_gl_frame.cpp: the frame record (see d3d9_gl_frame.h)
    bool records_drawing() const { return target_ == back_buffer_ && !replaying_; }
    UINT record_state();
    void record_clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z);
    void record_draw(D3DPRIMITIVETYPE type, UINT vertex_count, const void* vertices, UINT stride,
                     const void* indices, UINT index_count, D3DFORMAT_INDEX index_format);
    // Draws what the frame recorded so far, now; the rest of the frame is drawn as it comes.
    void flush_frame();
    HRESULT present_frame();
    void draw_recorded(const std::vector<RECT>* rects);
    void execute(const recorded_frame& frame, const frame_command& command, const RECT* clip);
    void check_redraw();
    void check_window();
    void end_frame();
    void discard_frame();
    bool keeps_back_buffer() const;
    void pace_unchanged_frame();
    void wait_for_frame(std::chrono::steady_clock::time_point deadline);
    void report_frame_stats() const;

    // d3d9_gl_draw.cpp
    bool init_gl_objects();
    void free_gl_objects();
    void mark_all_dirty();
    // Uploads every state the draw depends on; false when the draw cannot happen.
    bool prepare_draw(D3DPRIMITIVETYPE type, GLuint buffer, UINT base_offset, UINT stride);
    void apply_target();
    void apply_scissor_rect(const RECT& area);
    RECT drawing_area() const;
    void apply_blend();
    void apply_depth();
    void apply_cull();
    void apply_sampler();
    void apply_uniforms();
    void apply_layout(GLuint buffer, UINT base_offset, UINT stride);
    bool apply_program(D3DPRIMITIVETYPE type);
    GLuint program_for(uint32_t key);
    GLuint copy_program(bool exact);
    // The vertices and indices of draws go one after another into a store, made anew when it
    // is full: no allocation per draw, and GL never waits for draws still reading the old one.
    struct stream_ring {
        GLuint buffer = 0;
        size_t size = 0;
        size_t used = 0;
    };
    void stream_upload(GLenum target, GLuint buffer, const void* data, size_t bytes);
    // Where in the ring the data went, a multiple of unit.
    size_t stream_append(GLenum target, stream_ring* ring, const void* data, size_t bytes, size_t unit);

    ULONG refs_ = 1;
    gl_direct3d* d3d_;
    UINT adapter_;
    HWND window_;
    SDL_Window* sdl_ = nullptr;
    SDL_GLContext context_ = nullptr;
    bool offscreen_driver_ = false;
    bool gl_loaded_ = false;
    D3DPRESENT_PARAMETERS params_{};
    D3DCAPS9 caps_{};
    std::vector<gl_object*> objects_;

    // Cooperative level: lost while a full-screen window is minimised, then not reset.
    bool lost_ = false;
    bool needs_reset_ = false;
    bool in_scene_ = false;

    // Pacing when the swap interval cannot keep vertical sync.
    bool pace_ = false;
    std::chrono::steady_clock::duration frame_period_{};
    std::chrono::steady_clock::time_point next_frame_{};

    // Surfaces and bindings (the device holds what it binds).
    gl_surface* back_buffer_ = nullptr;
    gl_surface* auto_depth_ = nullptr;
    gl_surface* target_ = nullptr;
    gl_surface* depth_ = nullptr;
    gl_texture* textures_[stage_count] = {};
    gl_vertex_buffer* stream_ = nullptr;
    UINT stream_offset_ = 0, stream_stride_ = 0;

    // Recorded state.
    DWORD fvf_ = 0;
    DWORD render_states_[render_state_count] = {};
    DWORD stage_states_[stage_count][7] = {};
    DWORD sampler_states_[sampler_count][14] = {};
    D3DMATRIX world_{}, view_{}, projection_{};
    D3DVIEWPORT9 viewport_{};
    RECT scissor_{};

    // GL side.
    enum : uint32_t {
        dirty_target = 1u << 0,
        dirty_scissor = 1u << 1,
        dirty_blend = 1u << 2,
        dirty_depth = 1u << 3,
        dirty_cull = 1u << 4,
        dirty_sampler = 1u << 5,
        dirty_uniforms = 1u << 6,
        dirty_texture = 1u << 7,
        dirty_layout = 1u << 8,
        dirty_all = 0xFFFFFFFFu,
    };
    uint32_t dirty_ = dirty_all;
    GLuint vao_ = 0, sampler_ = 0, uniform_buffer_ = 0;
    stream_ring stream_vertices_, stream_indices_;
    std::unordered_map<uint32_t, GLuint> programs_;
    std::vector<GLuint> shaders_;
    uint32_t program_key_ = 0xFFFFFFFFu;
    GLuint bound_framebuffer_ = 0xFFFFFFFFu;
    GLuint bound_texture_ = 0xFFFFFFFFu;
    bool flip_ = true; // drawing into the window: GL's y runs up
    UINT target_w_ = 0, target_h_ = 0;
    bool has_depth_ = false; // the bound target has a depth buffer to test against
    bool window_has_depth_ = false;
    UINT gl_w_ = 0, gl_h_ = 0;   // the window's buffer as GL has it, measured
    UINT sdl_w_ = 0, sdl_h_ = 0; // the window's size as SDL gave it when measured
    // The frame record: frames_[current_] is being recorded, the other is what the back buffer
    // and the window show.
    recorded_frame frames_[2];
    int current_ = 0;
    bool immediate_ = false;   // this frame is drawn as it comes (after a flush)
    bool replaying_ = false;   // drawing from the record: nothing is recorded
    bool shown_valid_ = false; // the other frame is what the window shows
    bool force_whole_ = true;  // the next frame is drawn and shown whole
    uint64_t frame_serial_ = 1;
    unsigned window_serial_ = 0;
    std::vector<RECT> window_rects_; // a partial frame's rectangles as copied to the window
    bool copy_rects_ = false;        // the window shows rectangles of the back buffer, which it keeps
    bool vsync_ = false;             // the swap waits for the display
    bool check_redraw_ = false;
    std::vector<RECT> damage_;
    std::vector<BYTE> scratch_;
    // Points drawn into the window as squares of two triangles (see draw_point_squares).
    struct square_vertex {
        float x, y, z, rhw;
        D3DCOLOR colour;
        float u, v;
    };
    std::vector<square_vertex> squares_;
    std::vector<uint32_t> check_pixels_[2];
    std::vector<uint32_t> window_check_;
    bool clip_damage_ = false;
    RECT damage_clip_{};
    // In a partial redraw, the depth the rectangle being drawn was last cleared to over the
    // whole of an area, if nothing has written depth there since: clearing it again to the same
    // depth would change nothing.
    struct cleared_depth {
        bool known = false;
        float z = 0.0f;
        RECT area{};
        gl_surface* surface = nullptr;
    };
    cleared_depth replay_depth_;
    // Vertex layout last given to GL.
    GLuint layout_buffer_ = 0xFFFFFFFFu;
    UINT layout_offset_ = 0, layout_stride_ = 0;
    DWORD layout_fvf_ = 0xFFFFFFFFu;
};

class gl_direct3d final : public IDirect3D9 {
  public:
    ULONG AddRef() override { return ++refs_; }
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
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;

    bool valid_adapter(UINT adapter) const;
    // The adapter's modes in one format, as D3D lists them (refresh 0 read as 60 Hz).
    std::vector<D3DDISPLAYMODE> modes(UINT adapter, D3DFORMAT format) const;

  private:
    ULONG refs_ = 1;
};

// SDL's pixel format of a display mode as the D3D display format; UNKNOWN for the rest.
D3DFORMAT display_format_of(Uint32 sdl_format);
// 0 Hz (what Xvfb reports) is read as 60 Hz.
UINT refresh_of(int sdl_refresh);

constexpr HRESULT D3DERR_NOTFOUND = static_cast<HRESULT>(0x88760866u);

} // namespace d3dgl
