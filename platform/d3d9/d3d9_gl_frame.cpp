// The device's frame record: recording clears and draws into the back buffer, drawing them at
// Present where the frame differs from the one shown, and showing only what changed.
//
// Index: 1. statistics; 2. recording; 3. drawing from the record; 4. Present; 5. the redraw check.
//
// How a frame reaches the window:
// - Unchanged (every command matches the frame shown): nothing is drawn or shown; the frame is
//   paced all the same, so that an idle program does not spin.
// - Changed, and the back buffer keeps its contents between frames (a framebuffer object of
//   our own, or a window that shows rectangles of its back buffer without swapping): only the
//   damaged rectangles are drawn again, scissored, primitives wholly outside them skipped here,
//   and only they are shown.
// - Otherwise (a swap leaves the back buffer undefined): the whole frame is drawn and swapped.
// A frame whose back buffer is read, or that changes a texture its recorded drawing samples,
// is drawn at that moment and from then on as it comes, then shown whole.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/d3d9/d3d9_gl_internal.h"
#include "platform/d3d9/d3d9_util.h"

namespace d3dgl {

// ---- 1. statistics ------------------------------------------------------------------------

namespace {
frame_stats g_stats;

// More rectangles than this cost more in repeated vertex work than they save in pixels, and so
// does damage above this share of the screen (measured on llvmpipe with the battle screen).
constexpr size_t most_rects = 8;
constexpr double most_share = 0.6;

// Primitives of a draw are sorted out against the damage on the CPU only when there are enough
// of them for it to pay.
constexpr UINT fewest_sorted = 16;
// Pixels a copy to the window may take in beyond two rectangles to copy them as one. Measured
// on the idle battle: one copy of the 130 000 pixels around its flags took as long as three
// copies of the flags' 2 200, so a round trip to the X server outweighs tens of thousands of
// pixels copied; this keeps well below that.
constexpr int64_t most_copy_growth = 16384;
} // namespace

const frame_stats& device_frame_stats() {
    return g_stats;
}

void reset_device_frame_stats() {
    g_stats = frame_stats{};
}

// ---- 2. recording -------------------------------------------------------------------------

UINT gl_device::record_state() {
    recorded_frame& f = frames_[current_];
    recorded_state s;
    std::memcpy(s.render, render_states_, sizeof s.render);
    std::memcpy(s.stages, stage_states_, sizeof s.stages);
    std::memcpy(s.samplers, sampler_states_, sizeof s.samplers);
    s.world = world_;
    s.view = view_;
    s.projection = projection_;
    s.viewport = viewport_;
    s.scissor = scissor_;
    s.fvf = fvf_;
    s.max_point_size = caps_.MaxPointSize;
    s.target_width = target_->width;
    s.target_height = target_->height;
    if (!f.states.empty() && std::memcmp(&f.states.back(), &s, sizeof s) == 0)
        return static_cast<UINT>(f.states.size() - 1);
    f.states.push_back(s);
    f.state_hashes.push_back(hash_bytes(&s, sizeof s, 0x5eed));
    return static_cast<UINT>(f.states.size() - 1);
}

void gl_device::record_clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR color, float z) {
    recorded_frame& f = frames_[current_];
    frame_command c;
    c.is_clear = true;
    c.state = record_state();
    c.depth = depth_ != nullptr;
    c.clear_flags = flags;
    c.colour = color;
    c.z = z;
    c.data = f.bytes.size();
    c.data_size = static_cast<size_t>(count) * sizeof(RECT);
    const auto* from = reinterpret_cast<const BYTE*>(rects);
    if (count) f.bytes.insert(f.bytes.end(), from, from + c.data_size);
    finish_command(&f, &c, 0, 0);
    f.commands.push_back(c);
    if (immediate_) clear_now(count, rects, flags, color, z);
}

void gl_device::record_draw(D3DPRIMITIVETYPE type, UINT vertex_count, const void* vertices, UINT stride,
                            const void* indices, UINT index_count, D3DFORMAT_INDEX index_format) {
    recorded_frame& f = frames_[current_];
    frame_command c;
    c.type = type;
    c.state = record_state();
    c.depth = depth_ != nullptr;
    c.stride = stride;
    c.vertex_count = vertex_count;
    c.data = f.bytes.size();
    c.data_size = static_cast<size_t>(vertex_count) * stride;
    const auto* v = static_cast<const BYTE*>(vertices);
    f.bytes.insert(f.bytes.end(), v, v + c.data_size);
    if (indices) {
        const size_t size = static_cast<size_t>(index_count) * (index_format == D3DFMT_INDEX16 ? 2 : 4);
        c.indices = f.bytes.size();
        c.index_count = index_count;
        c.index_format = index_format;
        const auto* i = static_cast<const BYTE*>(indices);
        f.bytes.insert(f.bytes.end(), i, i + size);
    }
    gl_texture* t = textures_[0];
    if (t) {
        t->hold();
        t->sampled_in_frame = frame_serial_;
        c.texture = t;
    }
    finish_command(&f, &c, t ? t->id : 0, t ? t->version : 0);
    f.commands.push_back(c);
    if (immediate_) draw_now(type, vertex_count, vertices, stride, indices, index_count, index_format);
}

void gl_device::texture_changed(gl_texture* texture) {
    ++texture->version;
    if (texture->sampled_in_frame == frame_serial_ && !immediate_ && !replaying_) flush_frame();
}

// ---- 3. drawing from the record -----------------------------------------------------------

namespace {
// The device's states a replay overwrites, kept to be put back.
struct live_states {
    recorded_state s;
    gl_texture* texture;
    gl_surface* depth;
};
} // namespace

void gl_device::execute(const recorded_frame& f, const frame_command& c, const RECT* clip) {
    const recorded_state& s = f.states[c.state];
    if (std::memcmp(render_states_, s.render, sizeof s.render) != 0 ||
        std::memcmp(stage_states_, s.stages, sizeof s.stages) != 0 ||
        std::memcmp(sampler_states_, s.samplers, sizeof s.samplers) != 0 || fvf_ != s.fvf ||
        std::memcmp(&viewport_, &s.viewport, sizeof viewport_) != 0 ||
        std::memcmp(&scissor_, &s.scissor, sizeof scissor_) != 0 ||
        std::memcmp(&world_, &s.world, sizeof world_) != 0 ||
        std::memcmp(&view_, &s.view, sizeof view_) != 0 ||
        std::memcmp(&projection_, &s.projection, sizeof projection_) != 0) {
        std::memcpy(render_states_, s.render, sizeof s.render);
        std::memcpy(stage_states_, s.stages, sizeof s.stages);
        std::memcpy(sampler_states_, s.samplers, sizeof s.samplers);
        world_ = s.world;
        view_ = s.view;
        projection_ = s.projection;
        viewport_ = s.viewport;
        scissor_ = s.scissor;
        fvf_ = s.fvf;
        dirty_ |= dirty_scissor | dirty_blend | dirty_depth | dirty_cull | dirty_sampler | dirty_uniforms |
                  dirty_layout;
    }
    textures_[0] = c.texture; // held by the record; the live binding is put back afterwards
    gl_surface* depth = c.depth ? auto_depth_ : nullptr;
    if (depth != depth_) {
        depth_ = depth;
        dirty_ |= dirty_target | dirty_depth;
    }
    if (clip && !rects_meet(c.bounds, *clip)) return;
    const BYTE* data = f.bytes.data() + c.data;
    if (c.is_clear) {
        const auto count = static_cast<DWORD>(c.data_size / sizeof(RECT));
        const bool whole_depth = count == 0 && (c.clear_flags & D3DCLEAR_ZBUFFER) && depth_;
        const cleared_depth now{whole_depth, c.z, drawing_area_of(s), depth_};
        const cleared_depth& was = replay_depth_;
        if (clip && c.clear_flags == D3DCLEAR_ZBUFFER && whole_depth && was.known && was.z == now.z &&
            was.surface == now.surface && std::memcmp(&was.area, &now.area, sizeof now.area) == 0)
            return;
        clear_now(count, reinterpret_cast<const RECT*>(data), c.clear_flags, c.colour, c.z);
        if (c.clear_flags & D3DCLEAR_ZBUFFER) replay_depth_ = now;
        return;
    }
    const void* indices = c.index_count ? f.bytes.data() + c.indices : nullptr;
    const UINT k = vertices_per_primitive(c.type);
    auto draw = [&](UINT vertex_count, const void* vertices, const void* draw_indices) {
        if (depth_ && render_states_[D3DRS_ZENABLE] && render_states_[D3DRS_ZWRITEENABLE])
            replay_depth_.known = false;
        draw_now(c.type, vertex_count, vertices, c.stride, draw_indices, static_cast<UINT>(c.index_count),
                 c.index_format);
    };
    auto draw_whole = [&] { draw(c.vertex_count, data, indices); };
    if (!clip || indices || k == 0) return draw_whole();
    const RECT area = drawing_area_of(s);
    auto reaches_in = [&](const BYTE* p) {
        return rects_meet(rect_intersection(vertex_bounds(s, c.type, p, k, c.stride), area), *clip);
    };
    // A draw of a few primitives is drawn whole if any of them reaches into the rectangle, and
    // not at all otherwise: its bounds may meet the rectangle while none of its primitives do.
    if (c.vertex_count / k < fewest_sorted) {
        for (UINT i = 0; i + k <= c.vertex_count; i += k)
            if (reaches_in(data + static_cast<size_t>(i) * c.stride)) return draw_whole();
        return;
    }
    // Only the primitives that reach into the rectangle.
    const size_t bytes = static_cast<size_t>(k) * c.stride;
    scratch_.clear();
    for (UINT i = 0; i + k <= c.vertex_count; i += k) {
        const BYTE* p = data + static_cast<size_t>(i) * c.stride;
        if (reaches_in(p)) scratch_.insert(scratch_.end(), p, p + bytes);
    }
    if (!scratch_.empty()) draw(static_cast<UINT>(scratch_.size() / c.stride), scratch_.data(), nullptr);
}

void gl_device::draw_recorded(const std::vector<RECT>* rects) {
    live_states live{};
    std::memcpy(live.s.render, render_states_, sizeof live.s.render);
    std::memcpy(live.s.stages, stage_states_, sizeof live.s.stages);
    std::memcpy(live.s.samplers, sampler_states_, sizeof live.s.samplers);
    live.s.world = world_;
    live.s.view = view_;
    live.s.projection = projection_;
    live.s.viewport = viewport_;
    live.s.scissor = scissor_;
    live.s.fvf = fvf_;
    live.texture = textures_[0];
    live.depth = depth_;
    gl_surface* live_target = target_;
    if (target_ != back_buffer_) {
        target_ = back_buffer_;
        dirty_ |= dirty_target;
    }
    replaying_ = true;
    const recorded_frame& f = frames_[current_];
    if (!rects) {
        for (const frame_command& c : f.commands)
            execute(f, c, nullptr);
    } else {
        for (const RECT& r : *rects) {
            clip_damage_ = true;
            damage_clip_ = r;
            replay_depth_ = cleared_depth{};
            dirty_ |= dirty_scissor;
            for (const frame_command& c : f.commands)
                execute(f, c, &r);
        }
    }
    replaying_ = false;
    clip_damage_ = false;
    std::memcpy(render_states_, live.s.render, sizeof live.s.render);
    std::memcpy(stage_states_, live.s.stages, sizeof live.s.stages);
    std::memcpy(sampler_states_, live.s.samplers, sizeof live.s.samplers);
    world_ = live.s.world;
    view_ = live.s.view;
    projection_ = live.s.projection;
    viewport_ = live.s.viewport;
    scissor_ = live.s.scissor;
    fvf_ = live.s.fvf;
    textures_[0] = live.texture;
    depth_ = live.depth;
    target_ = live_target;
    dirty_ = dirty_all;
    layout_fvf_ = 0xFFFFFFFFu;
}

void gl_device::flush_frame() {
    if (immediate_) return;
    draw_recorded(nullptr);
    immediate_ = true;
}

// ---- 4. Present ---------------------------------------------------------------------------

bool gl_device::keeps_back_buffer() const {
    // Our own framebuffer object, or the window when it is never swapped.
    return back_buffer_->fbo != 0 || copy_rects_;
}

void gl_device::end_frame() {
    current_ ^= 1;
    // The frame before the one just ended is let go of, with the textures it held.
    recorded_frame& old = frames_[current_];
    for (frame_command& c : old.commands)
        if (c.texture) c.texture->unhold();
    old.clear();
    ++frame_serial_;
    immediate_ = false;
    shown_valid_ = true;
}

void gl_device::discard_frame() {
    end_frame();
    shown_valid_ = false;
    force_whole_ = true;
}

void gl_device::wait_for_frame(std::chrono::steady_clock::time_point deadline) {
    g_stats.last_wake_late_ms = 0.0;
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_until(deadline);
    g_stats.last_wake_late_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - deadline).count();
}

void gl_device::pace_frame() {
    if (!pace_) return;
    auto now = std::chrono::steady_clock::now();
    if (next_frame_ == std::chrono::steady_clock::time_point{} || now > next_frame_ + frame_period_) {
        g_stats.last_wake_late_ms = 0.0;
        next_frame_ = now + frame_period_; // start over after a stall instead of racing to catch up
        return;
    }
    wait_for_frame(next_frame_);
    next_frame_ += frame_period_;
}

void gl_device::pace_unchanged_frame() {
    // Nothing to show: wait for the display's next frame as a swap with vertical sync would.
    auto now = std::chrono::steady_clock::now();
    if (next_frame_ == std::chrono::steady_clock::time_point{} || now > next_frame_ + frame_period_) {
        next_frame_ = now + frame_period_;
        wait_for_frame(next_frame_);
        return;
    }
    wait_for_frame(next_frame_);
    next_frame_ += frame_period_;
}

HRESULT gl_device::present_frame() {
    if (window_->shown_serial != window_serial_) {
        window_serial_ = window_->shown_serial;
        force_whole_ = true;
    }
    const recorded_frame& now = frames_[current_];
    const recorded_frame& shown = frames_[current_ ^ 1];
    const RECT screen{0, 0, static_cast<LONG>(back_buffer_->width), static_cast<LONG>(back_buffer_->height)};
    if (immediate_) {
        ++g_stats.flushed;
        show_window_buffer(nullptr);
    } else {
        bool whole = force_whole_ || !shown_valid_;
        damage_.clear();
        if (!whole) damage_ = frame_damage(shown, now, &whole);
        if (!whole && damage_.empty()) {
            ++g_stats.elided;
            end_frame();
            pace_unchanged_frame();
            return D3D_OK;
        }
        if (!whole && !keeps_back_buffer()) whole = true;
        if (!whole) whole = !merge_damage(&damage_, screen, most_rects, most_share);
        draw_recorded(whole ? nullptr : &damage_);
        if (whole) {
            ++g_stats.whole;
            g_stats.damaged_pixels += static_cast<uint64_t>(screen.right) * screen.bottom;
        } else {
            ++g_stats.partial;
            for (const RECT& r : damage_)
                g_stats.damaged_pixels += static_cast<uint64_t>(r.right - r.left) * (r.bottom - r.top);
            if (check_redraw_) check_redraw();
        }
        show_window_buffer(whole ? nullptr : &damage_);
        if (!whole && check_redraw_) check_window();
    }
    ++g_stats.presented;
    force_whole_ = false;
    end_frame();
    if (offscreen_driver_) gl.Finish(); // without a real window the swap does nothing and work piles up
    if (pace_) pace_frame();
    return D3D_OK;
}

void gl_device::show_window_buffer(const std::vector<RECT>* rects) {
    const auto bw = static_cast<GLint>(back_buffer_->width), bh = static_cast<GLint>(back_buffer_->height);
    const auto ww = static_cast<GLint>(gl_w_), wh = static_cast<GLint>(gl_h_);
    const bool same = ww == bw && wh == bh;
    // The window's buffer holds the last frame only when rectangles of it are shown without a
    // swap; otherwise it is filled whole.
    if (!same || !copy_rects_) rects = nullptr;
    // A back buffer that is the window holds the frame there already.
    if (!back_buffer_->on_window()) copy_to_window(rects);
    if (!copy_rects_) {
        SDL_GL_SwapWindow(sdl_);
        return;
    }
    if (!rects) {
        window_copy_rect(sdl_, 0, 0, ww, wh);
        return;
    }
    // Rectangles close to each other (flags of neighbouring units) go in one copy: the window
    // already shows the pixels between them.
    window_rects_ = *rects;
    merge_close(&window_rects_, most_copy_growth);
    for (const RECT& r : window_rects_)
        window_copy_rect(sdl_, r.left, wh - r.bottom, r.right - r.left, r.bottom - r.top);
}

void gl_device::copy_to_window(const std::vector<RECT>* rects) {
    const auto bw = static_cast<GLint>(back_buffer_->width), bh = static_cast<GLint>(back_buffer_->height);
    const auto ww = static_cast<GLint>(gl_w_), wh = static_cast<GLint>(gl_h_);
    const bool same = ww == bw && wh == bh;
    back_buffer_->framebuffer();
    GLuint program = copy_program(same);
    if (program) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
        gl.Viewport(0, 0, ww, wh);
        gl.Disable(GL_BLEND);
        gl.Disable(GL_DEPTH_TEST);
        gl.Disable(GL_CULL_FACE);
        for (GLuint a = 0; a < 4; ++a)
            gl.DisableVertexAttribArray(a);
        gl.UseProgram(program);
        gl.BindSampler(0, 0);
        gl.BindTexture(GL_TEXTURE_2D, back_buffer_->colour_tex);
        const GLint filter = same ? GL_NEAREST : GL_LINEAR;
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        if (!rects) {
            gl.Disable(GL_SCISSOR_TEST);
            gl.DrawArrays(GL_TRIANGLES, 0, 3);
            gl.Enable(GL_SCISSOR_TEST);
        } else {
            // Rectangles are in the back buffer's y, row 0 at the top.
            for (const RECT& r : *rects) {
                gl.Scissor(r.left, wh - r.bottom, r.right - r.left, r.bottom - r.top);
                gl.DrawArrays(GL_TRIANGLES, 0, 3);
            }
        }
        gl.BindSampler(0, sampler_);
    } else {
        // No shader (it did not build): the framebuffer blit does the same copy.
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, back_buffer_->framebuffer());
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl.Disable(GL_SCISSOR_TEST);
        if (!rects) {
            gl.BlitFramebuffer(0, 0, bw, bh, 0, wh, ww, 0, GL_COLOR_BUFFER_BIT,
                               same ? GL_NEAREST : GL_LINEAR);
        } else {
            for (const RECT& r : *rects)
                gl.BlitFramebuffer(r.left, r.top, r.right, r.bottom, r.left, wh - r.top, r.right,
                                   wh - r.bottom, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
        gl.Enable(GL_SCISSOR_TEST);
    }
    mark_all_dirty();
}

// ---- 5. the redraw check ------------------------------------------------------------------

void gl_device::check_redraw() {
    // The frame drawn inside its damage is read, drawn again whole and read again: any pixel
    // that differs is a fault of the damage.
    const UINT w = back_buffer_->width, h = back_buffer_->height;
    auto read = [&](std::vector<uint32_t>* out) {
        out->assign(static_cast<size_t>(w) * h, 0);
        read_pixels(back_buffer_, out->data());
    };
    read(&check_pixels_[0]);
    draw_recorded(nullptr);
    read(&check_pixels_[1]);
    uint64_t differing = 0;
    size_t first = 0;
    for (size_t i = 0; i < check_pixels_[0].size(); ++i) {
        if (((check_pixels_[0][i] ^ check_pixels_[1][i]) & 0x00FFFFFFu) == 0) continue;
        if (differing++ == 0) first = i;
    }
    ++g_stats.checked;
    g_stats.differing_pixels += differing;
    if (differing)
        std::fprintf(stderr, "redraw check: %llu pixels differ in frame %llu, the first at %zu,%zu\n",
                     static_cast<unsigned long long>(differing),
                     static_cast<unsigned long long>(frame_serial_), first % w, first / w);
}

void gl_device::check_window() {
    // After the frame's copies the window must show the whole frame: a copy missing or cut
    // short leaves pixels of the frame before.
    const auto w = static_cast<int>(back_buffer_->width), h = static_cast<int>(back_buffer_->height);
    RECT v{};
    if (!copy_rects_ || !back_buffer_->on_window() || !window_pixels(sdl_, w, h, &v, &window_check_)) return;
    ++g_stats.windows_checked;
    uint64_t differing = 0;
    LONG first_x = 0, first_y = 0;
    for (LONG y = v.top; y < v.bottom; ++y)
        for (LONG x = v.left; x < v.right; ++x) {
            const uint32_t shown =
                window_check_[static_cast<size_t>(y - v.top) * (v.right - v.left) + (x - v.left)];
            if (shown == (check_pixels_[1][static_cast<size_t>(y) * w + x] & 0x00FFFFFFu)) continue;
            if (differing++ == 0) first_x = x, first_y = y;
        }
    g_stats.differing_pixels += differing;
    if (differing)
        std::fprintf(stderr, "window check: %llu pixels differ in frame %llu, the first at %ld,%ld\n",
                     static_cast<unsigned long long>(differing),
                     static_cast<unsigned long long>(frame_serial_), static_cast<long>(first_x),
                     static_cast<long>(first_y));
}

void gl_device::report_frame_stats() const {
    const frame_stats& s = g_stats;
    std::fprintf(stderr,
                 "frames: %llu shown (%llu partial, %llu whole, %llu drawn before Present), %llu unchanged; "
                 "redraw check: %llu frames compared, %llu pixels differ (%llu windows read back)\n",
                 static_cast<unsigned long long>(s.presented), static_cast<unsigned long long>(s.partial),
                 static_cast<unsigned long long>(s.whole), static_cast<unsigned long long>(s.flushed),
                 static_cast<unsigned long long>(s.elided), static_cast<unsigned long long>(s.checked),
                 static_cast<unsigned long long>(s.differing_pixels),
                 static_cast<unsigned long long>(s.windows_checked));
}

} // namespace d3dgl
