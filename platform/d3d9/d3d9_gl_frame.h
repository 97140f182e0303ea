// The frame record of the GL device: every clear and draw the program makes into the back
// buffer, kept with the states it was made under until Present. Comparing a frame with the one
// before it tells which pixels can differ, so an unchanged frame is neither drawn nor shown and
// a changed one is drawn again only inside the rectangles where it changed.
//
// Why a pixel outside the damage is right: a pixel's colour (and depth) follows from the clears
// and primitives that cover it, in their order, under their states. Commands are matched
// between the frames in order (a longest common subsequence of their hashes); a command left
// unmatched damages everything it may touch, and two commands of the same state at the same
// place in the order are compared primitive by primitive, each differing primitive damaging
// its old and its new bounds. Outside the damage the covering sequence is the same in both
// frames, so the pixel is what it was.
//
// Nothing here calls GL: the device feeds the record and draws from it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9.h"

namespace d3dgl {

class gl_texture;

// Everything a draw reads from the device's recorded states.
struct recorded_state {
    DWORD render[256];
    DWORD stages[8][7];
    DWORD samplers[16][14];
    D3DMATRIX world, view, projection;
    D3DVIEWPORT9 viewport;
    RECT scissor;
    DWORD fvf;
    float max_point_size; // the device's limit, which clamps POINTSIZE_MAX
    UINT target_width, target_height;
};

struct frame_command {
    bool is_clear = false;
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT state = 0;                // index into recorded_frame::states
    uint64_t state_hash = 0;       // states, texture, kind, format: what two comparable draws share
    uint64_t hash = 0;             // state_hash and the data: equal hashes draw equal pixels
    gl_texture* texture = nullptr; // held by the device until the frame has been drawn
    bool depth = false;            // the auto depth buffer is bound
    UINT stride = 0, vertex_count = 0;
    size_t data = 0, data_size = 0; // vertices (draw) or RECTs (clear) in recorded_frame::bytes
    size_t indices = 0, index_count = 0;
    D3DFORMAT_INDEX index_format = D3DFMT_INDEX16;
    DWORD clear_flags = 0;
    D3DCOLOR colour = 0;
    float z = 1.0f;
    RECT bounds{}; // the pixels the command may touch
};

struct recorded_frame {
    std::vector<recorded_state> states;
    std::vector<uint64_t> state_hashes;
    std::vector<frame_command> commands;
    std::vector<BYTE> bytes;
    void clear() {
        states.clear();
        state_hashes.clear();
        commands.clear();
        bytes.clear();
    }
};

uint64_t hash_bytes(const void* data, size_t size, uint64_t seed);

// The drawing area of a state: viewport, target and (when enabled) scissor. Empty when they
// do not meet.
RECT drawing_area_of(const recorded_state& s);

// The pixels `count` vertices of a primitive may touch (before the drawing area clips them).
RECT vertex_bounds(const recorded_state& s, D3DPRIMITIVETYPE type, const BYTE* vertices, UINT count,
                   UINT stride);

// Vertices of one primitive for a primitive-by-primitive comparison; 0 when the primitives
// of the type share vertices (strips, fans) and only the whole draw compares.
UINT vertices_per_primitive(D3DPRIMITIVETYPE type);

// Fills the command's bounds and hashes from what was recorded into `frame`.
void finish_command(recorded_frame* frame, frame_command* command, uint64_t texture_id,
                    uint64_t texture_version);

// The rectangles where `now` may differ from `before`. `whole` is set instead when the
// comparison would cost more than drawing everything (very long frames).
std::vector<RECT> frame_damage(const recorded_frame& before, const recorded_frame& now, bool* whole);

// Merges damage into at most `most` rectangles inside `area`, smallest growth first. Returns
// false when the result covers more than `share` of the area (draw everything instead).
bool merge_damage(std::vector<RECT>* rects, const RECT& area, size_t most, double share);

// Joins rectangles while some two of them have a union at most `most_growth` pixels larger
// than the two together (the rectangles may overlap afterwards).
void merge_close(std::vector<RECT>* rects, int64_t most_growth);

inline bool rects_meet(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
inline RECT rect_union(const RECT& a, const RECT& b) {
    return RECT{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}
inline RECT rect_intersection(const RECT& a, const RECT& b) {
    RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}
inline bool rect_empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// What the device did with its frames, for tests and the benchmarks.
struct frame_stats {
    uint64_t presented = 0; // Present calls that showed a frame
    uint64_t elided = 0;    // frames identical to the one shown, neither drawn nor shown
    uint64_t partial = 0;   // frames drawn again only inside damaged rectangles
    uint64_t whole = 0;     // frames drawn whole
    uint64_t flushed = 0;   // frames that had to be drawn before Present (a read-back, a texture change)
    uint64_t damaged_pixels = 0;
    // The redraw check (HARNVALE_CHECK_REDRAW=1): each partial frame is drawn whole as well and
    // the two are compared pixel by pixel; where the window can be read back, what it shows
    // after the frame's copies is compared with the whole frame too.
    uint64_t checked = 0;
    uint64_t windows_checked = 0;
    uint64_t differing_pixels = 0;
    // How long after its deadline the last wait for the display's next frame returned: time the
    // system took to wake the program, which a frame's length includes.
    double last_wake_late_ms = 0.0;
};
const frame_stats& device_frame_stats();
void reset_device_frame_stats();

} // namespace d3dgl
