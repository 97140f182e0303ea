// The hex map on the recording device: geometry, neighbours, picking through a mousemap made
// here, what is drawn for a view and for the minimap, blinking, bad rules, and the real DATA.
#include <algorithm>
#include <functional>
#include <set>

#include "game/battle/hexmap.h"
#include "game/battle/unit.h"
#include "tests/game/game_fixture.h"

namespace {

// Mousemap colours.
constexpr std::uint32_t W = 0xFFFFFF, R = 0xFF0000, M = 0xFF00FF, G = 0x00FF00, B = 0x0000FF, X = 0x123456;

// Tiles of 8 x 8 whose rows lie 6 apart. Each colour of the mousemap can be reached from the
// left half of a cell (row 0) and from its right half (row 1); (6, 4) is no picking colour.
std::string tiles_rules(const std::string& overrides = "") {
    return "[tiles]\n" + overrides +
           "num_tiletypes=3\ntile_width=8\ntile_height=8\nplacement_yoffset=2\ntile_name_format=type_%d\n"
           "mousemap=mousemap.bmp\nblink_texture=blink.bmp\n"
           "[type_0]\nimage=t0.bmp\ncolor=255 255 255 255\nminimap_color=255 10 20 30\nmoveable=true\n"
           "[type_1]\nimage=t1.bmp\ncolor=255 200 200 200\nminimap_color=255 40 50 60\nsplooshable=yes\n"
           "[type_2]\nimage=t2.bmp\ncolor=255 255 255 255\nminimap_color=255 70 80 90\n";
}

class Map : public world_test {
  protected:
    Map() {
        std::vector<std::uint32_t> mm(64, W);
        const std::uint32_t quartet[4] = {R, M, G, B};
        for (int i = 0; i < 4; ++i) {
            mm[i] = quartet[i];         // (0..3, 0)
            mm[8 + 4 + i] = quartet[i]; // (4..7, 1)
        }
        mm[4 * 8 + 6] = X;
        write_bmp(dir.file("mousemap.bmp"), 8, 8, mm);
        write_solid_bmp(dir.file("blink.bmp"), 8, 8, 0xFFFFFF);
        write_solid_bmp(dir.file("t0.bmp"), 8, 8, 0x20A020);
        write_solid_bmp(dir.file("t1.bmp"), 8, 8, 0x2020A0);
        write_solid_bmp(dir.file("t2.bmp"), 8, 8, 0x808080);
        use_rules(tiles_rules());
    }
    ~Map() override { delete map; }
    c_map& make(int cols, int rows, bool random_types = true) {
        cwd_guard cwd(dir.path());
        delete map;
        map = nullptr;
        map = new c_map(cols, rows, random_types);
        return *map;
    }
    static std::pair<int, int> at(const c_tile* t) {
        return t ? std::pair{t->col, t->row} : std::pair{-9, -9};
    }
    c_map* map = nullptr;
};

const std::pair<int, int> none{-9, -9};

TEST_F(Map, NeighboursOnEvenAndOddRowsAndAtTheEdges) {
    c_map& m = make(5, 5);
    using lookup = c_tile* (c_map::*)(int, int) const;
    const lookup six[6] = {&c_map::get_neighbour_nw, &c_map::get_neighbour_ne, &c_map::get_neighbour_w,
                           &c_map::get_neighbour_e,  &c_map::get_neighbour_sw, &c_map::get_neighbour_se};
    auto all = [&](int c, int r) {
        std::vector<std::pair<int, int>> out;
        for (lookup f : six)
            out.push_back(at((m.*f)(c, r)));
        return out;
    };
    using v = std::vector<std::pair<int, int>>;
    // Even rows are shifted right: their diagonals are col and col + 1; odd rows col - 1 and col.
    EXPECT_EQ(all(2, 2), (v{{2, 1}, {3, 1}, {1, 2}, {3, 2}, {2, 3}, {3, 3}}));
    EXPECT_EQ(all(2, 1), (v{{1, 0}, {2, 0}, {1, 1}, {3, 1}, {1, 2}, {2, 2}}));
    EXPECT_EQ(all(0, 0), (v{none, none, none, {1, 0}, {0, 1}, {1, 1}}));
    EXPECT_EQ(all(0, 1), (v{none, {0, 0}, none, {1, 1}, none, {0, 2}}));
    EXPECT_EQ(all(4, 2), (v{{4, 1}, none, {3, 2}, none, {4, 3}, none}));
    EXPECT_EQ(all(4, 3), (v{{3, 2}, {4, 2}, {3, 3}, none, {3, 4}, {4, 4}}));
    EXPECT_EQ(all(2, 4), (v{{2, 3}, {3, 3}, {1, 4}, {3, 4}, none, none}));
    // A cell off the map still has neighbours on it (picking left of an even row needs that).
    EXPECT_EQ(at(m.get_neighbour_ne(-1, 2)), (std::pair{0, 1}));
    EXPECT_EQ(m.get_tile(5, 0), nullptr);
    EXPECT_EQ(m.get_tile(0, -1), nullptr);
}

TEST_F(Map, TileRectanglesShiftEvenRowsAndOverlapConsecutiveRows) {
    c_map& m = make(5, 6);
    auto rect = [&](int c, int r) {
        c_tile* t = m.get_tile(c, r);
        return std::vector<int>{t->left, t->top, t->right, t->bottom};
    };
    EXPECT_EQ(rect(0, 0), (std::vector<int>{4, 0, 12, 8}));
    EXPECT_EQ(rect(1, 1), (std::vector<int>{8, 6, 16, 14}));
    EXPECT_EQ(rect(4, 4), (std::vector<int>{36, 24, 44, 32}));
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 5; ++c) {
            c_tile* t = m.get_tile(c, r);
            ASSERT_EQ(t->col, c);
            ASSERT_EQ(t->row, r);
            EXPECT_EQ(t->bottom - t->top, 8);
            EXPECT_EQ(t->corner, c <= 1 && r >= 2) << c << "," << r;
        }
}

TEST_F(Map, NoCornerTilesOnMapsNarrowerThanFiveOrShorterThanSix) {
    for (auto [cols, rows] : {std::pair{4, 10}, std::pair{10, 5}, std::pair{1, 1}}) {
        c_map& m = make(cols, rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                EXPECT_FALSE(m.get_tile(c, r)->corner) << cols << "x" << rows;
    }
}

TEST_F(Map, TileTypesComeFromTheProgramsRandomSourceOrAreAllTypeZero) {
    crt::srand(99);
    std::vector<int> expected;
    for (int i = 0; i < 12 * 10; ++i)
        expected.push_back(crt::rand() % 3);
    crt::srand(99);
    c_map& m = make(12, 10);
    std::set<int> seen;
    for (int i = 0; i < 120; ++i) {
        c_tile* t = m.get_tile(i % 12, i / 12);
        EXPECT_EQ(t->type, m.get_tiletype(expected[i])) << i;
        seen.insert(expected[i]);
    }
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_TRUE(m.get_tiletype(0)->moveable);
    EXPECT_FALSE(m.get_tiletype(1)->moveable);
    EXPECT_TRUE(m.get_tiletype(1)->splooshable);
    EXPECT_EQ(m.get_tiletype(1)->color, 0xFFC8C8C8u);

    c_map& plain = make(6, 6, false);
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(plain.get_tile(i % 6, i / 6)->type, plain.get_tiletype(0));

    use_rules(tiles_rules("num_tiletypes=1\n"));
    c_map& single = make(8, 8, true);
    EXPECT_EQ(single.get_num_tiletypes(), 1);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(single.get_tile(i % 8, i / 8)->type, single.get_tiletype(0));
}

TEST_F(Map, PickingThroughTheMousemap) {
    c_map& m = make(4, 4);
    // Odd row 1 (y 6..11): cells start at x = 0.
    EXPECT_EQ(at(m.pick(8 + 5, 6 + 3)), (std::pair{1, 1})); // white
    EXPECT_EQ(at(m.pick(8 + 0, 6)), (std::pair{0, 0}));     // red: north-west
    EXPECT_EQ(at(m.pick(8 + 1, 6)), (std::pair{1, 0}));     // magenta: north-east
    EXPECT_EQ(at(m.pick(8 + 2, 6)), (std::pair{0, 2}));     // green: south-west
    EXPECT_EQ(at(m.pick(8 + 3, 6)), (std::pair{1, 2}));     // blue: south-east
    EXPECT_EQ(m.pick(8 + 6, 6 + 4), nullptr);               // no picking colour
    // Even row 2 (y 12..17): cells start half a tile to the right.
    EXPECT_EQ(at(m.pick(4 + 8 + 0, 12)), (std::pair{1, 1}));
    EXPECT_EQ(at(m.pick(4 + 8 + 1, 12)), (std::pair{2, 1}));
    EXPECT_EQ(at(m.pick(4 + 8 + 2, 12)), (std::pair{1, 3}));
    EXPECT_EQ(at(m.pick(4 + 8 + 3, 12)), (std::pair{2, 3}));
    EXPECT_EQ(at(m.pick(4 + 8 + 5, 15)), (std::pair{1, 2}));
    // Left of an even row's first tile lies cell -1, read from the right half of the mousemap:
    // only its eastern diagonals are on the map.
    EXPECT_EQ(m.pick(0, 13), nullptr);               // red
    EXPECT_EQ(at(m.pick(1, 13)), (std::pair{0, 1})); // magenta
    EXPECT_EQ(m.pick(2, 13), nullptr);               // green
    EXPECT_EQ(at(m.pick(3, 13)), (std::pair{0, 3})); // blue
    EXPECT_EQ(m.pick(1, 15), nullptr);               // white
    EXPECT_EQ(m.pick(1, 1), nullptr);                // magenta above row 0
    EXPECT_EQ(m.pick(-1, 9), nullptr);
    EXPECT_EQ(m.pick(9, -1), nullptr);
    EXPECT_EQ(m.pick(4 * 8 + 5, 9), nullptr); // right of the last column
}

TEST_F(Map, TheCursorPicksAtTheMousePlusTheViewOrigin) {
    c_map& m = make(4, 4);
    g_mouse_x = 10;
    g_mouse_y = 4;
    scroll_x = 3.9;
    scroll_y = 5.2;
    truncate_scroll();
    EXPECT_EQ(at(m.get_tile_cursor()), (std::pair{1, 1})); // (13, 9)
    scroll_x = -11.0;
    truncate_scroll();
    EXPECT_EQ(m.get_tile_cursor(), nullptr); // x = -1
    dev.fail_next("LockRect", D3DERR_INVALIDCALL);
    try {
        m.pick(13, 9);
        ADD_FAILURE() << "no raise";
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, "Unable to lock the mousemap.");
        EXPECT_EQ(e.hresult, D3DERR_INVALIDCALL);
    }
}

TEST_F(Map, VisibleRowsAndColumnsCoverEveryTileInTheView) {
    c_map& m = make(20, 20);
    EXPECT_EQ(m.view_rows(30, 24), (tile_span{4, 10}));
    EXPECT_EQ(m.view_cols(2, 30, 24), (tile_span{3, 6}));
    EXPECT_EQ(m.view_cols(3, 30, 24), (tile_span{3, 6}));
    EXPECT_EQ(m.view_rows(-4, 1000), (tile_span{0, 19}));
    auto covers = [&](c_map& map, int sx, int sy, int w, int h) {
        tile_span rows = map.view_rows(sy, h);
        for (int r = 0; r < map.get_rows(); ++r)
            for (int c = 0; c < map.get_cols(); ++c) {
                c_tile* t = map.get_tile(c, r);
                bool seen = t->right > sx && t->left < sx + w && t->bottom > sy && t->top < sy + h;
                tile_span cols = map.view_cols(r, sx, w);
                bool listed = r >= rows.first && r <= rows.last && c >= cols.first && c <= cols.last;
                if (seen && !listed) {
                    return ::testing::AssertionFailure() << c << "," << r << " at " << sx << "," << sy;
                }
            }
        return ::testing::AssertionSuccess();
    };
    for (int sy = -4; sy < 80; sy += 3)
        for (int sx = -4; sx < 80; sx += 5)
            ASSERT_TRUE(covers(m, sx, sy, 37, 23));
    // Rows that overlap by more than a row step still reach the view from further up.
    use_rules(tiles_rules("placement_yoffset=6\n"));
    c_map& tall = make(10, 30);
    for (int sy = 0; sy < 60; sy += 1)
        ASSERT_TRUE(covers(tall, 0, sy, 40, 10));
}

// A unit that notes when the map asks it to draw, by the gfx depth counter at that moment.
struct probe_unit : c_unit {
    explicit probe_unit(c_gfx* g) : gfx(g) {}
    void draw() override { drawn_at.push_back(gfx->depth); }
    void draw_minimap() override { ++minimap; }
    void draw_projectile() override { projectile_at = gfx->depth; }
    c_gfx* gfx;
    std::vector<float> drawn_at;
    int minimap = 0;
    float projectile_at = -1.0f;
};

TEST_F(Map, DrawingQueuesUnitsThenTilesThenBlinkOverlaysThenTheProjectile) {
    c_map& m = make(6, 5, false); // too short for corner tiles: every tile is opaque
    probe_unit unit(&gfx), archer(&gfx);
    m.get_tile(2, 1)->unit = &unit;
    m.active_unit = &archer;
    m.get_tile(3, 2)->blink(0xFFFF0000);
    scroll_x = 10;
    scroll_y = 6;
    truncate_scroll();
    m.draw(24, 18);
    // Rows 0..4 (the view's formula reaches row 5, clamped to the map); even rows cols 0..3,
    // odd rows 1..4.
    c_image* tile_image = m.get_tiletype(0)->image;
    ASSERT_EQ(unit.drawn_at.size(), 1u);
    ASSERT_EQ(tile_image->count_ps(), 20);
    EXPECT_NEAR(archer.projectile_at, 21 * 2.0e-5, 1e-8); // 20 tiles and one overlay before it
    gfx.flush();
    // Depth falls with every quad: later (lower) tiles in front. The unit's tile is queued
    // right after the unit.
    auto tiles = std::find_if(dev.draws().begin(), dev.draws().end(),
                              [&](const draw_record& d) { return d.texture == tile_image->get_texture(); });
    ASSERT_NE(tiles, dev.draws().end());
    const auto sprites = tiles->as<vertex_ps>();
    ASSERT_EQ(sprites.size(), 20u);
    for (size_t i = 1; i < sprites.size(); ++i)
        EXPECT_LT(sprites[i].z, sprites[i - 1].z);
    auto unit_tile = std::find_if(sprites.begin(), sprites.end(), [](const vertex_ps& s) {
        return s.x == 16 + 4 - 10 && s.y == 6 + 4 - 6; // tile (2, 1) shifted by the view origin
    });
    ASSERT_NE(unit_tile, sprites.end());
    EXPECT_FLOAT_EQ(unit_tile->z, 0.6f - unit.drawn_at[0]);
    // The blink overlay: alpha 100 of white, masked by the blink colour, in front of tiles.
    bool overlay = false;
    for (const draw_record& d : dev.draws())
        if (d.texture == m.get_blink_image()->get_texture()) {
            auto s = d.as<vertex_ps>();
            ASSERT_EQ(s.size(), 1u);
            EXPECT_EQ(s[0].colour, 0x64FF0000u);
            EXPECT_EQ(s[0].x, 28 + 4 - 10);
            EXPECT_LT(s[0].z, 0.4f);
            overlay = true;
        }
    EXPECT_TRUE(overlay);
}

TEST_F(Map, CornerTilesAreDrawnHalfTransparent) {
    c_map& m = make(5, 6, false);
    scroll_y = 100;
    truncate_scroll();
    m.draw(100, 100); // rows 15..: nothing on the map
    EXPECT_EQ(gfx.get_alpha_records().size(), 0u);
    scroll_y = 0;
    truncate_scroll();
    m.draw(100, 100);
    int half = 0;
    for (const alpha_record& a : gfx.get_alpha_records())
        half += a.vertices[0].colour == 0x7FFFFFFFu;
    EXPECT_EQ(half, 8);
}

TEST_F(Map, MinimapDrawsTilesInTheirColoursWithUnitMarksFirst) {
    c_map& m = make(6, 6, false);
    probe_unit unit(&gfx);
    m.get_tile(1, 1)->unit = &unit;
    m.draw_minimap(0, 0, 100, 100);
    EXPECT_EQ(dev.count("DrawPrimitive"), 36);
    EXPECT_EQ(unit.minimap, 1);
    auto q = dev.draws()[0].as<vertex_unt>();
    EXPECT_EQ(q[0].colour, 0xFF0A141Eu);
    EXPECT_EQ(q[0].x, 4.0f);
    EXPECT_EQ(q[3].y, 8.0f);
    dev.clear_log();
    // A small rectangle redraws only the tiles around it, and every tile that touches it.
    m.draw_minimap(20, 20, 22, 22);
    std::set<std::pair<float, float>> drawn;
    for (const draw_record& d : dev.draws())
        drawn.insert({d.as<vertex_unt>()[0].x, d.as<vertex_unt>()[0].y});
    EXPECT_LT(drawn.size(), 12u);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            c_tile* t = m.get_tile(c, r);
            if (t->right > 20 && t->left < 22 && t->bottom > 20 && t->top < 22) {
                EXPECT_TRUE(drawn.count({float(t->left), float(t->top)})) << c << "," << r;
            }
        }
}

TEST_F(Map, ABlinkRisesFromHundredToFullThenFadesAndEnds) {
    c_map& m = make(5, 5);
    c_tile* t = m.get_tile(1, 1);
    t->blink(0xFFFFFFFF);
    std::vector<int> seen{t->blink_alpha.value};
    while (!m.get_blinking().empty() && seen.size() < 40) {
        step();
        m.update_blinks();
        seen.push_back(t->blink_alpha.value);
    }
    const std::vector<int> expected{100, 125, 150, 175, 200, 225, 250, 255, 230, 205,
                                    180, 155, 130, 105, 80,  55,  30,  5,   -20, -20};
    EXPECT_EQ(seen, expected);
}

TEST_F(Map, BlinkingAgainDependsOnColourAndDirection) {
    c_map& m = make(5, 5);
    c_tile *a = m.get_tile(0, 0), *b = m.get_tile(1, 0);
    a->blink(0xFFFF0000);
    b->blink(0xFFFF0000);
    step();
    m.update_blinks();
    a->blink(0xFFFF0000); // rising in the same colour: nothing changes, not even the order
    EXPECT_EQ(a->blink_alpha.value, 125);
    EXPECT_EQ(m.get_blinking(), (std::vector<c_tile*>{a, b}));
    for (int i = 0; i < 8; ++i) {
        step();
        m.update_blinks();
    }
    ASSERT_EQ(a->blink_alpha.value, 205);
    ASSERT_LT(a->blink_step, 0);
    a->blink(0xFFFF0000); // fading in the same colour: rises again from where it is
    EXPECT_EQ(a->blink_alpha.value, 205);
    EXPECT_EQ(a->blink_step, 25);
    EXPECT_EQ(m.get_blinking(), (std::vector<c_tile*>{b, a}));
    step();
    m.update_blinks();
    EXPECT_EQ(a->blink_alpha.value, 230);
    // Another colour restarts at 100 at once: the drawn value does not slide from 230.
    step();
    m.update_blinks();
    ip.draw_time = ip.update_time - 16;
    b->blink(0xFF00FF00);
    a->blink(0xFF00FF00);
    EXPECT_EQ(a->blink_alpha.value, 100);
    EXPECT_EQ(a->blink_alpha.get(), 100);
    EXPECT_EQ(a->blink_color, 0xFF00FF00u);
    EXPECT_EQ(m.get_blinking(), (std::vector<c_tile*>{b, a}));
    // A blink that has run out restarts at 100 even in its own colour.
    c_tile* c = m.get_tile(2, 2);
    c->blink(0xFF0000FF);
    for (int i = 0; i < 19; ++i) {
        step();
        m.update_blinks();
    }
    ASSERT_EQ(c->blink_alpha.value, -20);
    c->blink(0xFF0000FF);
    EXPECT_EQ(c->blink_alpha.value, 100);
}

// ---- bad rules ----------------------------------------------------------------------------------

class BadMap : public Map {
  protected:
    void expect_refused(const std::string& overrides, const std::string& message) {
        use_rules(tiles_rules(overrides));
        int resources = dev.live_resources();
        size_t images = gfx.get_images().size();
        EXPECT_RAISES(make(6, 6), message);
        EXPECT_EQ(dev.live_resources(), resources) << overrides;
        EXPECT_EQ(gfx.get_images().size(), images) << overrides;
    }
};

TEST_F(BadMap, BrokenGeometryAndFormatsAreReportedBeforeAnythingIsLoaded) {
    const std::string format =
        "Unable to create the map: tile_name_format must hold exactly one integer conversion.";
    for (const char* f : {"type_%s", "type_%d_%d", "type", "type_%d%n", "%%d"})
        expect_refused(std::string("tile_name_format=") + f + "\n", format);
    const std::string count = "Unable to create the map: num_tiletypes must lie between 1 and 256.";
    expect_refused("num_tiletypes=0\n", count);
    expect_refused("num_tiletypes=-2\n", count);
    expect_refused("num_tiletypes=257\n", count);
    expect_refused("num_tiletypes=2000000000\n", count);
    const std::string size =
        "Unable to create the map: tile_width and tile_height must lie between 1 and 4096.";
    expect_refused("tile_width=0\n", size);
    expect_refused("tile_height=0\n", size);
    expect_refused("tile_width=100000000\n", size);
    expect_refused("placement_yoffset=8\n",
                   "Unable to create the map: placement_yoffset must be below tile_height.");
    EXPECT_RAISES(make(0, 5), "Unable to create the map: it needs at least one column and one row.");
}

TEST_F(BadMap, AMissingPictureRaisesAndLeavesNothingBehind) {
    expect_refused("mousemap=nowhere.bmp\n", "Unable to create mousemap.");
    write_file(dir.file("broken.bmp"), "BM not really");
    expect_refused("mousemap=broken.bmp\n", "Unable to create mousemap.");
    std::remove(dir.file("t2.bmp").c_str());
    expect_refused("", "Unable to create texture.");
}

// ---- the game's own data ------------------------------------------------------------------------

TEST_F(Map, TheGamesRulesBuildAFullMap) {
    cwd_guard cwd(std::string(HV_SOURCE_DIR) + "/DATA");
    delete g_rules;
    g_rules = new c_ini("rules.ini");
    c_map m(32, 32, true);
    EXPECT_EQ(m.get_num_tiletypes(), 7);
    EXPECT_EQ(m.get_step(), 48);
    std::set<c_tiletype*> types;
    for (int i = 0; i < 32 * 32; ++i)
        types.insert(m.get_tile(i % 32, i / 32)->type);
    EXPECT_EQ(types.size(), 7u);
    // The shipped mousemap: the centre of a tile picks it; its four corners pick the diagonals.
    c_tile* t = m.get_tile(5, 5);
    EXPECT_EQ(m.pick((t->left + t->right) / 2, (t->top + t->bottom) / 2), t);
    EXPECT_EQ(m.pick(t->left + 1, t->top + 1), m.get_neighbour_nw(5, 5));
    EXPECT_EQ(m.pick(t->right - 2, t->top + 1), m.get_neighbour_ne(5, 5));
    EXPECT_EQ(m.pick(t->left + 1, t->bottom - 2), m.get_neighbour_sw(5, 5));
    EXPECT_EQ(m.pick(t->right - 2, t->bottom - 2), m.get_neighbour_se(5, 5));
}

} // namespace
