// The frame record's comparison: which rectangles of a frame must be drawn again after the
// frame before it, and how they are merged. The pixel-exact check of the whole thing is the
// redraw check of the whole-program tests; these cases pin the rules it rests on.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9_gl_frame.h"

namespace {

using namespace d3dgl;

struct vertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
constexpr DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

// One draw of quads (two triangles each) given by their top-left corners, 10 pixels square.
struct quads {
    std::vector<std::pair<float, float>> at;
    D3DCOLOR colour = 0xFFFFFFFF;
    DWORD blend = TRUE; // a state: draws of different states are never compared quad by quad
};

recorded_frame make_frame(const std::vector<quads>& draws) {
    recorded_frame f;
    recorded_state s{};
    s.fvf = fvf;
    s.viewport = D3DVIEWPORT9{0, 0, 200, 100, 0.0f, 1.0f};
    s.target_width = 200;
    s.target_height = 100;
    s.max_point_size = 64.0f;
    frame_command clear;
    clear.is_clear = true;
    f.states.push_back(s);
    f.state_hashes.push_back(hash_bytes(&s, sizeof s, 1));
    finish_command(&f, &clear, 0, 0);
    f.commands.push_back(clear);
    for (const quads& q : draws) {
        s.render[D3DRS_ALPHABLENDENABLE] = q.blend;
        f.states.push_back(s);
        f.state_hashes.push_back(hash_bytes(&s, sizeof s, 1));
        frame_command c;
        c.state = static_cast<UINT>(f.states.size() - 1);
        c.stride = sizeof(vertex);
        c.data = f.bytes.size();
        for (auto [x, y] : q.at) {
            const vertex v[6] = {{x, y, 0, 1, q.colour},           {x + 10, y, 0, 1, q.colour},
                                 {x, y + 10, 0, 1, q.colour},      {x + 10, y, 0, 1, q.colour},
                                 {x + 10, y + 10, 0, 1, q.colour}, {x, y + 10, 0, 1, q.colour}};
            const auto* b = reinterpret_cast<const BYTE*>(v);
            f.bytes.insert(f.bytes.end(), b, b + sizeof v);
            c.vertex_count += 6;
        }
        c.data_size = f.bytes.size() - c.data;
        finish_command(&f, &c, 7, 1);
        f.commands.push_back(c);
    }
    return f;
}

bool covers(const std::vector<RECT>& rects, LONG x, LONG y) {
    for (const RECT& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

TEST(FrameDamage, ChangedPrimitivesDamageTheirOldAndNewPlacesOnly) {
    const quads field{{{0, 0}, {20, 0}, {40, 0}, {60, 0}}};
    struct probe {
        LONG x, y;
        bool damaged;
    };
    struct damage_case {
        const char* name;
        std::vector<quads> now;
        std::vector<probe> probes;
    };
    const std::vector<damage_case> cases = {
        {"the same frame", {field}, {{5, 5, false}, {65, 5, false}}},
        {"one quad moved",
         {quads{{{0, 0}, {20, 50}, {40, 0}, {60, 0}}}},
         {{25, 5, true}, {25, 55, true}, {5, 5, false}, {45, 5, false}, {65, 5, false}}},
        {"one quad's colour", {quads{{{0, 0}, {20, 0}, {40, 0}, {60, 0}}, 0xFF0000FF}}, {{5, 5, true}}},
        {"a quad added at the end",
         {quads{{{0, 0}, {20, 0}, {40, 0}, {60, 0}, {100, 80}}}},
         {{105, 85, true}, {5, 5, false}, {65, 5, false}}},
        {"a draw of another state",
         {field, quads{{{150, 50}}, 0xFFFFFFFF, FALSE}},
         {{155, 55, true}, {5, 5, false}}},
        {"the draw's state changed",
         {quads{{{0, 0}, {20, 0}, {40, 0}, {60, 0}}, 0xFFFFFFFF, FALSE}},
         {{5, 5, true}, {65, 5, true}}},
    };
    const recorded_frame before = make_frame({field});
    for (const damage_case& c : cases) {
        bool whole = true;
        std::vector<RECT> rects = frame_damage(before, make_frame(c.now), &whole);
        EXPECT_FALSE(whole) << c.name;
        if (c.now.size() == 1 && c.now[0].at == field.at && c.now[0].colour == field.colour &&
            c.now[0].blend == field.blend) {
            EXPECT_TRUE(rects.empty()) << "an unchanged frame is damaged";
        }
        for (const probe& p : c.probes)
            EXPECT_EQ(covers(rects, p.x, p.y), p.damaged) << c.name << " at " << p.x << "," << p.y;
    }
}

TEST(FrameDamage, MergingKeepsEveryDamagedPixelWithinTheLimits) {
    const RECT screen{0, 0, 1000, 1000};
    struct merge_case {
        const char* name;
        std::vector<RECT> rects;
        size_t most;
        bool partial; // false: so much is damaged that the whole frame is drawn
    };
    std::vector<RECT> many;
    for (LONG i = 0; i < 500; ++i)
        many.push_back(RECT{(i * 37) % 290, (i * 53) % 290, (i * 37) % 290 + 4, (i * 53) % 290 + 4});
    const std::vector<merge_case> cases = {
        {"overlapping become one", {{0, 0, 10, 10}, {5, 5, 20, 20}}, 8, true},
        {"far apart, more than allowed", {{0, 0, 10, 10}, {500, 500, 510, 510}, {900, 0, 910, 10}}, 2, true},
        {"outside the screen is dropped", {{-50, -50, -10, -10}, {990, 990, 1200, 1200}}, 8, true},
        {"most of the screen", {{0, 0, 900, 900}}, 8, false},
        {"hundreds of small ones in a corner", many, 8, true},
        {"small ones all over",
         {{0, 0, 4, 4}, {996, 0, 1000, 4}, {0, 996, 4, 1000}, {996, 996, 1000, 1000}},
         1,
         false},
    };
    for (const merge_case& c : cases) {
        std::vector<RECT> merged = c.rects;
        EXPECT_EQ(merge_damage(&merged, screen, c.most, 0.6), c.partial) << c.name;
        if (!c.partial) continue;
        EXPECT_LE(merged.size(), c.most) << c.name;
        for (const RECT& r : c.rects) {
            RECT in = rect_intersection(r, screen);
            if (rect_empty(in)) continue;
            EXPECT_TRUE(covers(merged, in.left, in.top) && covers(merged, in.right - 1, in.bottom - 1))
                << c.name << ": a damaged rectangle was lost";
        }
        for (const RECT& r : merged)
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= 1000 && r.bottom <= 1000) << c.name;
    }
}

TEST(FrameDamage, CloseRectanglesAreJoinedForTheWindowAndFarOnesKeptApart) {
    struct close_case {
        const char* name;
        std::vector<RECT> rects;
        size_t left; // rectangles after joining, with at most 100 pixels of growth
    };
    const std::vector<close_case> cases = {
        {"side by side", {{0, 0, 10, 10}, {12, 0, 22, 10}}, 1},
        {"far apart", {{0, 0, 10, 10}, {100, 100, 110, 110}}, 2},
        {"a chain joins step by step", {{0, 0, 10, 10}, {0, 12, 10, 22}, {0, 24, 10, 34}}, 1},
        {"diagonal neighbours grow too much", {{0, 0, 10, 10}, {11, 11, 21, 21}}, 2},
        {"two pairs", {{0, 0, 10, 10}, {0, 11, 10, 21}, {500, 0, 510, 10}, {500, 11, 510, 21}}, 2},
        {"one alone", {{5, 5, 6, 6}}, 1},
        {"none", {}, 0},
    };
    for (const close_case& c : cases) {
        std::vector<RECT> joined = c.rects;
        merge_close(&joined, 100);
        EXPECT_EQ(joined.size(), c.left) << c.name;
        for (const RECT& r : c.rects)
            EXPECT_TRUE(covers(joined, r.left, r.top) && covers(joined, r.right - 1, r.bottom - 1))
                << c.name << ": a rectangle was lost";
        for (size_t i = 0; i < joined.size(); ++i)
            for (size_t j = i + 1; j < joined.size(); ++j) {
                const RECT u = rect_union(joined[i], joined[j]);
                auto area = [](const RECT& r) { return int64_t(r.right - r.left) * (r.bottom - r.top); };
                EXPECT_GT(area(u) - area(joined[i]) - area(joined[j]), 100) << c.name << ": left apart";
            }
    }
}

TEST(FrameDamage, BoundsReachEveryPixelAPointOrTransformedTriangleMayTouch) {
    recorded_state s{};
    s.viewport = D3DVIEWPORT9{0, 0, 200, 100, 0.0f, 1.0f};
    s.target_width = 200;
    s.target_height = 100;
    s.max_point_size = 64.0f;
    auto bits = [](float f) {
        DWORD d;
        std::memcpy(&d, &f, sizeof d);
        return d;
    };
    s.render[D3DRS_POINTSIZE_MIN] = bits(1.0f);
    s.render[D3DRS_POINTSIZE_MAX] = bits(64.0f);
    // A point sprite of its own size 40 at (100, 50): 20 pixels each way.
    struct point_vertex {
        float x, y, z, rhw, size;
    } p{100, 50, 0, 1, 40};
    s.fvf = D3DFVF_XYZRHW | D3DFVF_PSIZE;
    RECT r = vertex_bounds(s, D3DPT_POINTLIST, reinterpret_cast<const BYTE*>(&p), 1, sizeof p);
    EXPECT_TRUE(r.left <= 80 && r.right >= 120 && r.top <= 30 && r.bottom >= 70);
    // World positions through a scaling projection: x 0..1 onto the left half of the viewport.
    s.fvf = D3DFVF_XYZ;
    s.world = s.view = s.projection = D3DMATRIX{};
    for (int i = 0; i < 4; ++i)
        s.world.m[i][i] = s.view.m[i][i] = s.projection.m[i][i] = 1.0f;
    const float tri[9] = {0, 0, 0.5f, 1, 0, 0.5f, 0, 1, 0.5f};
    r = vertex_bounds(s, D3DPT_TRIANGLELIST, reinterpret_cast<const BYTE*>(tri), 3, 12);
    EXPECT_TRUE(r.left <= 100 && r.right >= 200 && r.top <= 0 && r.bottom >= 50) << r.left << "," << r.top;
    // Behind the eye nothing is known: the bounds reach everywhere.
    s.projection.m[3][3] = 0.0f;
    s.projection.m[2][3] = -1.0f;
    r = vertex_bounds(s, D3DPT_TRIANGLELIST, reinterpret_cast<const BYTE*>(tri), 3, 12);
    EXPECT_TRUE(r.left <= 0 && r.right >= 200 && r.top <= 0 && r.bottom >= 100);
}

} // namespace
