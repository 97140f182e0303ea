// Comparing two recorded frames: command bounds and hashes, the damaged rectangles, and merging
// them into the few rectangles that are drawn again. No GL here.
//
// Index: 1. hashing; 2. bounds; 3. damage; 4. merging.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/d3d9/d3d9_gl_frame.h"
#include "platform/d3d9/d3d9_gl_internal.h"

namespace d3dgl {

// ---- 1. hashing ---------------------------------------------------------------------------

uint64_t hash_bytes(const void* data, size_t size, uint64_t seed) {
    // 64-bit FNV-1a over 8-byte words, then the tail; good enough to tell frames apart, and an
    // equal hash is only trusted together with equal bounds and states (see finish_command).
    const auto* p = static_cast<const unsigned char*>(data);
    uint64_t h = seed ^ 0xcbf29ce484222325ull;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * 0x100000001b3ull;
        h ^= h >> 29;
    }
    for (; i < size; ++i)
        h = (h ^ p[i]) * 0x100000001b3ull;
    h ^= h >> 32;
    return h * 0x9E3779B97F4A7C15ull ^ size;
}

// ---- 2. bounds ----------------------------------------------------------------------------

namespace {
constexpr LONG far_out = 1 << 20;

RECT everything() {
    return RECT{-far_out, -far_out, far_out, far_out};
}

LONG clamp_coord(double v) {
    if (!(v > -far_out)) return -far_out; // NaN lands here too
    if (v > far_out) return far_out;
    return static_cast<LONG>(v);
}
} // namespace

RECT drawing_area_of(const recorded_state& s) {
    RECT r{static_cast<LONG>(s.viewport.X), static_cast<LONG>(s.viewport.Y),
           static_cast<LONG>(s.viewport.X + s.viewport.Width),
           static_cast<LONG>(s.viewport.Y + s.viewport.Height)};
    r = rect_intersection(r,
                          RECT{0, 0, static_cast<LONG>(s.target_width), static_cast<LONG>(s.target_height)});
    if (s.render[D3DRS_SCISSORTESTENABLE]) r = rect_intersection(r, s.scissor);
    return r;
}

UINT vertices_per_primitive(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST:
        return 1;
    case D3DPT_LINELIST:
        return 2;
    case D3DPT_TRIANGLELIST:
        return 3;
    default:
        return 0;
    }
}

RECT vertex_bounds(const recorded_state& s, D3DPRIMITIVETYPE type, const BYTE* v, UINT count, UINT stride) {
    vertex_layout l;
    if (count == 0 || !layout_of(s.fvf, &l)) return RECT{0, 0, 0, 0};
    D3DMATRIX m{};
    if (!l.pretransformed) m = multiply(multiply(s.world, s.view), s.projection);
    // Points reach half their size around the centre; rasterising rules and the rounding of
    // the GPU's arithmetic against ours are covered by a margin of two pixels.
    float half = 0.0f;
    if (type == D3DPT_POINTLIST) {
        float largest = std::min(s.max_point_size, float_of(s.render[D3DRS_POINTSIZE_MAX]));
        float smallest = float_of(s.render[D3DRS_POINTSIZE_MIN]);
        largest = std::max(smallest, largest);
        // A size of each vertex's own is clamped to the largest too.
        half = (l.psize >= 0 ? largest : std::clamp(float_of(s.render[D3DRS_POINTSIZE]), smallest, largest)) /
               2.0f;
        if (!(half >= 0.0f) || half > far_out) return everything();
    }
    double x0 = std::numeric_limits<double>::max(), y0 = x0, x1 = -x0, y1 = -x0;
    for (UINT i = 0; i < count; ++i) {
        const BYTE* p = v + static_cast<size_t>(i) * stride + l.position;
        float pos[3];
        std::memcpy(pos, p, sizeof pos);
        double x, y;
        if (l.pretransformed) {
            x = pos[0];
            y = pos[1];
        } else {
            double cx = pos[0] * m._11 + pos[1] * m._21 + pos[2] * m._31 + m._41;
            double cy = pos[0] * m._12 + pos[1] * m._22 + pos[2] * m._32 + m._42;
            double cw = pos[0] * m._14 + pos[1] * m._24 + pos[2] * m._34 + m._44;
            // Behind the eye the projection folds over: the primitive may reach anywhere.
            if (!(cw > 1e-6)) return everything();
            x = s.viewport.X + (cx / cw + 1.0) * 0.5 * s.viewport.Width;
            y = s.viewport.Y + (1.0 - cy / cw) * 0.5 * s.viewport.Height;
        }
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    const double margin = 2.0 + half;
    return RECT{clamp_coord(std::floor(x0 - margin)), clamp_coord(std::floor(y0 - margin)),
                clamp_coord(std::ceil(x1 + margin)), clamp_coord(std::ceil(y1 + margin))};
}

void finish_command(recorded_frame* f, frame_command* c, uint64_t texture_id, uint64_t texture_version) {
    const recorded_state& s = f->states[c->state];
    const RECT area = drawing_area_of(s);
    const BYTE* data = f->bytes.data() + c->data;
    uint64_t h = f->state_hashes[c->state];
    const uint64_t key[] = {c->is_clear,     static_cast<uint64_t>(c->type),
                            texture_id,      texture_version,
                            c->depth,        c->stride,
                            c->index_format, c->clear_flags,
                            c->colour};
    h = hash_bytes(key, sizeof key, h);
    c->state_hash = h;
    if (c->is_clear) {
        RECT r{0, 0, 0, 0};
        const auto* rects = reinterpret_cast<const RECT*>(data);
        size_t n = c->data_size / sizeof(RECT);
        if (n == 0) r = area;
        for (size_t i = 0; i < n; ++i)
            r = rect_empty(r) ? rect_intersection(area, rects[i])
                              : rect_union(r, rect_intersection(area, rects[i]));
        c->bounds = rect_intersection(r, area);
        h = hash_bytes(&c->z, sizeof c->z, h);
    } else {
        c->bounds = rect_intersection(vertex_bounds(s, c->type, data, c->vertex_count, c->stride), area);
        if (c->index_count) {
            h = hash_bytes(f->bytes.data() + c->indices,
                           c->index_count * (c->index_format == D3DFMT_INDEX16 ? 2 : 4), h);
        }
    }
    c->hash = hash_bytes(data, c->data_size, h ^ c->vertex_count);
}

// ---- 3. damage ----------------------------------------------------------------------------

namespace {
constexpr size_t most_compared = 4096;   // commands per frame; beyond that a whole redraw is cheaper
constexpr size_t most_table = 512 * 512; // cells of the subsequence table

void add(std::vector<RECT>* out, const RECT& r) {
    if (!rect_empty(r)) out->push_back(r);
}

// Two commands of the same state at the same place in the order: the primitives that differ.
void compare_primitives(const recorded_frame& before, const frame_command& a, const recorded_frame& now,
                        const frame_command& b, std::vector<RECT>* out) {
    const UINT k = vertices_per_primitive(b.type);
    const recorded_state& sa = before.states[a.state];
    const recorded_state& sb = now.states[b.state];
    const RECT area_a = drawing_area_of(sa), area_b = drawing_area_of(sb);
    const BYTE* va = before.bytes.data() + a.data;
    const BYTE* vb = now.bytes.data() + b.data;
    const UINT common = std::min(a.vertex_count, b.vertex_count) / k * k;
    const size_t bytes = static_cast<size_t>(k) * b.stride;
    RECT pending{0, 0, 0, 0};
    for (UINT i = 0; i < common; i += k) {
        const size_t at = static_cast<size_t>(i) * b.stride;
        if (std::memcmp(va + at, vb + at, bytes) == 0) continue;
        RECT r = rect_intersection(vertex_bounds(sa, a.type, va + at, k, a.stride), area_a);
        RECT q = rect_intersection(vertex_bounds(sb, b.type, vb + at, k, b.stride), area_b);
        for (const RECT& x : {r, q}) {
            if (rect_empty(x)) continue;
            // Neighbouring primitives (the two triangles of a quad) usually change together.
            if (!rect_empty(pending) &&
                rects_meet(pending, RECT{x.left - 1, x.top - 1, x.right + 1, x.bottom + 1})) {
                pending = rect_union(pending, x);
            } else {
                add(out, pending);
                pending = x;
            }
        }
    }
    add(out, pending);
    // What only one of them draws.
    if (a.vertex_count > common)
        add(out, rect_intersection(vertex_bounds(sa, a.type, va + static_cast<size_t>(common) * a.stride,
                                                 a.vertex_count - common, a.stride),
                                   area_a));
    if (b.vertex_count > common)
        add(out, rect_intersection(vertex_bounds(sb, b.type, vb + static_cast<size_t>(common) * b.stride,
                                                 b.vertex_count - common, b.stride),
                                   area_b));
}

bool comparable(const frame_command& a, const frame_command& b) {
    return !a.is_clear && !b.is_clear && a.state_hash == b.state_hash && a.type == b.type &&
           vertices_per_primitive(a.type) > 0 && a.index_count == 0 && b.index_count == 0 &&
           a.stride == b.stride;
}

bool same(const frame_command& a, const frame_command& b) {
    return a.hash == b.hash && a.vertex_count == b.vertex_count && a.data_size == b.data_size &&
           a.bounds.left == b.bounds.left && a.bounds.top == b.bounds.top &&
           a.bounds.right == b.bounds.right && a.bounds.bottom == b.bounds.bottom;
}

// The unmatched commands between two matches: pairs of the same state in order are compared
// primitive by primitive, the rest damage all they may touch.
void damage_gap(const recorded_frame& before, size_t a0, size_t a1, const recorded_frame& now, size_t b0,
                size_t b1, std::vector<RECT>* out) {
    size_t i = a0;
    for (size_t j = b0; j < b1; ++j) {
        const frame_command& b = now.commands[j];
        size_t found = i;
        while (found < a1 && !comparable(before.commands[found], b))
            ++found;
        if (found == a1) {
            add(out, b.bounds);
            continue;
        }
        for (; i < found; ++i)
            add(out, before.commands[i].bounds);
        compare_primitives(before, before.commands[found], now, b, out);
        i = found + 1;
    }
    for (; i < a1; ++i)
        add(out, before.commands[i].bounds);
}
} // namespace

std::vector<RECT> frame_damage(const recorded_frame& before, const recorded_frame& now, bool* whole) {
    std::vector<RECT> out;
    *whole = false;
    const size_t n = before.commands.size(), m = now.commands.size();
    if (n > most_compared || m > most_compared) {
        *whole = true;
        return out;
    }
    // Common prefix and suffix first: most frames differ in a few commands.
    size_t head = 0;
    while (head < n && head < m && same(before.commands[head], now.commands[head]))
        ++head;
    size_t tail = 0;
    while (tail < n - head && tail < m - head &&
           same(before.commands[n - 1 - tail], now.commands[m - 1 - tail]))
        ++tail;
    const size_t rn = n - head - tail, rm = m - head - tail;
    if ((rn + 1) * (rm + 1) > most_table) {
        *whole = true;
        return out;
    }
    // Longest common subsequence of the middles, by a table of lengths from the back.
    std::vector<uint16_t> len((rn + 1) * (rm + 1), 0);
    auto at = [&](size_t i, size_t j) -> uint16_t& { return len[i * (rm + 1) + j]; };
    for (size_t i = rn; i-- > 0;)
        for (size_t j = rm; j-- > 0;)
            at(i, j) = same(before.commands[head + i], now.commands[head + j])
                           ? static_cast<uint16_t>(at(i + 1, j + 1) + 1)
                           : std::max(at(i + 1, j), at(i, j + 1));
    size_t i = 0, j = 0, gap_i = 0, gap_j = 0;
    while (i < rn && j < rm) {
        if (same(before.commands[head + i], now.commands[head + j]) && at(i, j) == at(i + 1, j + 1) + 1) {
            damage_gap(before, head + gap_i, head + i, now, head + gap_j, head + j, &out);
            ++i;
            ++j;
            gap_i = i;
            gap_j = j;
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            ++i;
        } else {
            ++j;
        }
    }
    damage_gap(before, head + gap_i, head + rn, now, head + gap_j, head + rm, &out);
    return out;
}

// ---- 4. merging ---------------------------------------------------------------------------

namespace {
int64_t area_of(const RECT& r) {
    return rect_empty(r) ? 0 : int64_t(r.right - r.left) * (r.bottom - r.top);
}

// Rectangles that overlap or touch become one until none do.
void merge_touching(std::vector<RECT>* rects) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < rects->size(); ++i) {
            for (size_t j = i + 1; j < rects->size(); ++j) {
                const RECT& a = (*rects)[i];
                const RECT& b = (*rects)[j];
                if (a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom) {
                    (*rects)[i] = rect_union(a, b);
                    (*rects)[j] = rects->back();
                    rects->pop_back();
                    merged = true;
                    --j;
                }
            }
        }
    }
}
} // namespace

bool merge_damage(std::vector<RECT>* rects, const RECT& area, size_t most, double share) {
    std::vector<RECT>& r = *rects;
    size_t kept = 0;
    for (const RECT& x : r) {
        RECT c = rect_intersection(x, area);
        if (!rect_empty(c)) r[kept++] = c;
    }
    r.resize(kept);
    if (r.empty()) return true;
    // Many small rectangles (a thousand moving particles): first one per cell of a coarse grid.
    constexpr LONG cell = 64;
    if (r.size() > 64) {
        std::vector<RECT> cells;
        std::vector<std::pair<int64_t, size_t>> keys;
        for (const RECT& x : r) {
            int64_t key = int64_t((x.top + x.bottom) / 2 / cell) * 4096 + (x.left + x.right) / 2 / cell;
            keys.emplace_back(key, cells.size());
            cells.push_back(x);
        }
        std::sort(keys.begin(), keys.end());
        r.clear();
        for (size_t i = 0; i < keys.size(); ++i) {
            if (i > 0 && keys[i].first == keys[i - 1].first)
                r.back() = rect_union(r.back(), cells[keys[i].second]);
            else
                r.push_back(cells[keys[i].second]);
        }
    }
    merge_touching(&r);
    // Then the pair whose union adds the least area, until few enough are left.
    while (r.size() > most) {
        size_t bi = 0, bj = 1;
        int64_t best = std::numeric_limits<int64_t>::max();
        for (size_t i = 0; i < r.size(); ++i)
            for (size_t j = i + 1; j < r.size(); ++j) {
                int64_t growth = area_of(rect_union(r[i], r[j])) - area_of(r[i]) - area_of(r[j]);
                if (growth < best) {
                    best = growth;
                    bi = i;
                    bj = j;
                }
            }
        r[bi] = rect_union(r[bi], r[bj]);
        r[bj] = r.back();
        r.pop_back();
        merge_touching(&r);
    }
    int64_t total = 0;
    for (const RECT& x : r)
        total += area_of(x);
    return static_cast<double>(total) <= share * static_cast<double>(area_of(area));
}

void merge_close(std::vector<RECT>* rects, int64_t most_growth) {
    std::vector<RECT>& r = *rects;
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < r.size() && !merged; ++i)
            for (size_t j = i + 1; j < r.size() && !merged; ++j) {
                const RECT u = rect_union(r[i], r[j]);
                if (area_of(u) - area_of(r[i]) - area_of(r[j]) > most_growth) continue;
                r[i] = u;
                r.erase(r.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
            }
    }
}

} // namespace d3dgl
