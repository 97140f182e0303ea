// The graphics device wrapper (c_gfx) and the image batches (c_image): everything the game
// draws goes through these two. Opaque pictures are batched per image and resolved by the depth
// buffer; translucent ones are queued and drawn last, sorted far to near.
#pragma once
#include <string>
#include <vector>

#include "framework/err.h"
#include "platform/d3d9.h"

// Screen-space vertex: x, y in render-target pixels, z depth 0..1, rhw always 1.
struct vertex_tra {
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};
// World-space vertex, drawn through the device's transforms.
struct vertex_unt {
    float x, y, z;
    D3DCOLOR colour;
    float u, v;
};
// Screen-space point sprite: the whole texture on a size x size square centred on (x, y).
struct vertex_ps {
    float x, y, z, rhw, size;
    D3DCOLOR colour;
};
static_assert(sizeof(vertex_tra) == 28 && sizeof(vertex_unt) == 24 && sizeof(vertex_ps) == 24);

constexpr DWORD FVF_TRA = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1; // 0x144
constexpr DWORD FVF_UNT = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;    // 0x142
constexpr DWORD FVF_PS = D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE; // 0x64

class c_image;

// One queued translucent primitive. A world-space triangle is kept in screen-space layout with
// rhw 1; a point sprite uses x, y, z, rhw and colour of the first vertex.
struct alpha_record {
    vertex_tra vertices[3];
    c_image* image;
    bool untransformed;
    float depth;      // sort key: larger is farther
    float point_size; // 0 for a triangle
};

class c_gfx : public c_reportable {
  public:
    // Made by the core right after the device, with depth_step 2.0e-5. Raises when the device
    // caps cannot be read or the quad buffers cannot be made. The device is not owned.
    c_gfx(IDirect3DDevice9* device, float depth_step);
    // Deletes the default image and every image still registered: delete the wrapper last.
    ~c_gfx() override;
    c_gfx(const c_gfx&) = delete;
    c_gfx& operator=(const c_gfx&) = delete;

    IDirect3DDevice9* get_device() const { return device_; }

    // Around a device Reset: before_reset releases the quad buffers and every image's batches
    // (queued primitives are lost); after_reset makes them again and empties the translucent queue.
    void before_reset();
    void after_reset();

    // Binds a texture (null: untextured) unless it is bound already.
    void set_texture(DWORD stage, IDirect3DTexture9* texture);

    // Narrows the scissor rectangle to its intersection with the given one and remembers the
    // old one. Returns false, changing nothing, when the intersection is empty: then the caller
    // must not unclip. Flush queued pictures before clip and unclip: the scissor applies when
    // batches are drawn, not when they are queued.
    bool clip(int left, int top, int right, int bottom);
    // Restores the rectangle saved by the matching clip; raises without one.
    void unclip();
    int clip_count() const { return static_cast<int>(clip_stack_.size()); }

    // Draws one quad at once (not batched), turned by angle radians about its centre.
    void draw_quad_tra(int left, int top, int right, int bottom, float z, float angle,
                       IDirect3DTexture9* texture, float u_left, float u_right, float v_top, float v_bottom,
                       D3DCOLOR colour);
    void draw_quad_unt(int left, int top, int right, int bottom, float z, float angle,
                       IDirect3DTexture9* texture, float u_left, float u_right, float v_top, float v_bottom,
                       D3DCOLOR colour);
    // Queues a quad into an image's batches (null: the default image, untextured). A square,
    // unrotated, whole-texture quad no wider than the device's largest point becomes a point
    // sprite; anything else two triangles. Translucent pictures go to the sorted queue.
    void add_quad_tra(int left, int top, int right, int bottom, float z, float angle, c_image* image,
                      float u_left, float u_right, float v_top, float v_bottom, D3DCOLOR colour);

    // Draws every image's batches in registry order, then the translucent queue.
    void flush();
    // Draws the translucent queue far to near with depth writes off, then empties it.
    void draw_alpha_triangles();

    // Loads an image file as a managed A8R8G8B8 texture; opaque magenta becomes transparent.
    // The caller owns the texture.
    IDirect3DTexture9* create_texture(const std::string& file_name);

    // The shared image for a file (or texture) and draw order, with one more reference; a new
    // one when none matches. Names compare exactly. Each holder calls release() once.
    c_image* get_image(const std::string& file_name, float order);
    c_image* get_image(IDirect3DTexture9* texture, float order);
    const std::vector<c_image*>& get_images() const { return images_; }
    c_image* get_default_image() const { return default_image_; }

    // Translucent queue, filled by the images.
    void queue_alpha(const alpha_record& record) { alpha_records_.push_back(record); }
    const std::vector<alpha_record>& get_alpha_records() const { return alpha_records_; }

    float get_max_point_size() const { return max_point_size_; }

    // Screen-space depth for map pictures: take z = depth, then add depth_step. The gameplay
    // loop sets depth to 0 when it starts drawing, so earlier pictures lie in front.
    float depth = 0.0f;
    float depth_step;

  private:
    friend class c_image;
    void register_image(c_image* image);   // keeps the registry sorted by order, stable
    void unregister_image(c_image* image); // also drops the image's queued translucent records
    void make_quad(int left, int top, int right, int bottom, float z, float angle, float u_left,
                   float u_right, float v_top, float v_bottom, D3DCOLOR colour, vertex_tra out[4]) const;
    // Draws four vertices as a strip through a one-quad buffer (rewritten with a discarding lock)
    // in the format `fvf`; raises the device's failures named after `function`.
    void draw_quad_strip(IDirect3DVertexBuffer9* buffer, DWORD fvf, UINT stride, const void* vertices,
                         IDirect3DTexture9* texture, const char* function);
    float untransformed_depth(const alpha_record& record) const;
    void draw_image_batches(c_image* image);
    void release_quad_buffers();

    IDirect3DDevice9* device_;
    std::vector<RECT> clip_stack_; // newest last
    IDirect3DVertexBuffer9* quad_tra_ = nullptr;
    IDirect3DVertexBuffer9* quad_unt_ = nullptr;
    std::vector<c_image*> images_;
    c_image* default_image_ = nullptr;
    std::vector<alpha_record> alpha_records_;
    float max_point_size_ = 1.0f;
};

class c_image : public c_reportable {
  public:
    // From a file (or "" for none), then registered with refcount 1 and its batches locked.
    // With when_drawn the texture is made only when the image is first queued (a picture of a
    // screen that is not shown yet): until then get_texture() is null, and the first queueing
    // raises what creating the texture raises.
    c_image(c_gfx* gfx, const std::string& file_name, float order, bool when_drawn = false);
    // On a texture, to which it adds a reference.
    c_image(c_gfx* gfx, IDirect3DTexture9* texture, float order);
    // Only through release() (or the wrapper's destructor for what is left at the end).
    ~c_image() override;
    c_image(const c_image&) = delete;
    c_image& operator=(const c_image&) = delete;

    // The holder lets go; the last one destroys the image.
    void release();

    // Queue one primitive. With direct false a translucent one (a vertex alpha below 0xFF, or
    // a texture with partial alpha) goes to the wrapper's sorted queue instead. A batch that
    // reaches its capacity is drawn at once.
    void add_triangle_tra(const vertex_tra v[3], bool direct);
    void add_triangle_unt(const vertex_unt v[3], bool direct);
    void add_pointsprite_tra(const vertex_ps& sprite, bool direct);

    // Draw and empty one batch (nothing when it is empty).
    void draw_tra();
    void draw_unt();
    void draw_ps_tra();

    // Give up the batches before a device reset (queued primitives are dropped); after it they
    // are made again as they are first queued into. Most images are only ever drawn by other
    // means, and a batch is 5 to 17 KB of vertex memory.
    void before_reset();
    void after_reset();

    // An image from a file lets go of its texture until it is next queued (a screen picture
    // while its screen cannot open), as if made with when_drawn.
    void unload_until_drawn();

    // Sets has_alpha: true when the texture holds a pixel whose alpha is neither 0 nor 0xFF.
    void scan_alpha();

    const std::string& get_file_name() const { return file_name_; }
    // Null for an image made with when_drawn until it is first queued.
    IDirect3DTexture9* get_texture() const { return texture_; }
    float get_order() const { return order_; }
    bool get_has_alpha() const { return has_alpha_; }
    // Vertices (sprites for ps) queued in each batch and not yet drawn.
    int count_tra() const { return tra_.count; }
    int count_unt() const { return unt_.count; }
    int count_ps() const { return ps_.count; }

    int refcount = 1;

    static constexpr int tra_capacity = 600;
    static constexpr int unt_capacity = 600;
    static constexpr int ps_capacity = 200;

  private:
    struct batch {
        IDirect3DVertexBuffer9* buffer = nullptr;
        BYTE* data = nullptr; // the locked memory; null while there is no buffer
        int count = 0;
        int capacity;
        UINT stride;
        DWORD fvf;
        D3DPRIMITIVETYPE type;
        int per_primitive; // vertices per primitive
    };
    void init();
    void load_when_drawn();
    void draw_batch(batch& b, const char* function);
    void queue(batch& b, const void* vertices, int n, const char* function);
    bool translucent(D3DCOLOR a, D3DCOLOR b, D3DCOLOR c) const;
    void create_batch(batch& b);
    void release_batch(batch& b, bool raise);

    c_gfx* gfx_;
    IDirect3DDevice9* device_;
    IDirect3DTexture9* texture_ = nullptr;
    std::string file_name_;
    bool pending_ = false;   // made with when_drawn, and the texture not made yet
    bool resetting_ = false; // between before_reset and after_reset: no batch to be had
    bool has_alpha_ = false;
    float order_;
    batch tra_{nullptr, nullptr, 0, tra_capacity, sizeof(vertex_tra), FVF_TRA, D3DPT_TRIANGLELIST, 3};
    batch unt_{nullptr, nullptr, 0, unt_capacity, sizeof(vertex_unt), FVF_UNT, D3DPT_TRIANGLELIST, 3};
    batch ps_{nullptr, nullptr, 0, ps_capacity, sizeof(vertex_ps), FVF_PS, D3DPT_POINTLIST, 1};
};

extern c_gfx* g_gfx;
