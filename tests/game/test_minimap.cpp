// The minimap on the recording device: the refresh touches the device only when something
// changed, redraws into its own target within the texels of each changed rectangle and puts the
// screen's target back; every failing call names itself; the view rectangle over the widget;
// the surfaces given up and made again around a device reset.
#include "framework/device_hooks.h"
#include "game/screens/minimap.h"
#include "tests/game/data_battle_fixture.h"

namespace {

class Minimap : public data_battle_test {
  protected:
    // Scissor rectangles set while the minimap was the render target.
    std::vector<std::string> minimap_scissors() const {
        std::vector<std::string> out;
        bool on_minimap = false;
        for (const recorded_call& c : dev.log()) {
            if (c.name == "SetRenderTarget") on_minimap = c.args[1] != dev.back_buffer()->name();
            if (c.name == "SetScissorRect" && on_minimap) out.push_back(c.args[0]);
        }
        return out;
    }
    int minimap_height() const { return map_pixel_height() - g_map->get_placement_yoffset(); }
};

TEST_F(Minimap, AFrameWithoutChangesMakesNoDeviceCallAtAll) {
    new_battle(5);
    minimap_mark_all_dirty();
    dev.clear_log();
    refresh_minimap();
    EXPECT_GT(dev.count("DrawPrimitive"), g_map->get_cols() * g_map->get_rows() - 1);
    EXPECT_TRUE(g_minimap_dirty.empty());
    dev.clear_log();
    refresh_minimap();
    EXPECT_TRUE(dev.log().empty()) << dev.names();
}

TEST_F(Minimap, ARefreshDrawsIntoItsTargetAndPutsTheScreenBack) {
    new_battle(5);
    const D3DVIEWPORT9 screen_viewport{10, 20, 300, 200, 0.0f, 1.0f};
    ASSERT_EQ(dev.SetViewport(&screen_viewport), D3D_OK);
    IDirect3DSurface9* screen_depth = dev.depth_stencil;
    const c_tile* tile = g_map->get_tile(3, 4);
    g_minimap_dirty.clear(); // the units placed by the set-up marked their tiles
    g_minimap_dirty.push_back(RECT{tile->left, tile->top, tile->right, tile->bottom});
    dev.clear_log();
    refresh_minimap();

    // The target was the minimap's level and its own depth surface, over all of its texels.
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(g_minimap_texture->GetSurfaceLevel(0, &level), D3D_OK);
    const std::string level_name = static_cast<recording_surface*>(level)->name();
    level->Release();
    ASSERT_EQ(dev.count("SetRenderTarget"), 2);
    EXPECT_EQ(dev.find("SetRenderTarget")[0]->args[1], level_name);
    EXPECT_EQ(dev.find("SetDepthStencilSurface")[0]->args[0], rec_arg(g_minimap_depth));
    EXPECT_EQ(dev.find("SetViewport")[0]->args[0], "0,0,128,128");

    // Only the texels of the tile were cleared and drawn.
    const int w = map_pixel_width(), h = minimap_height();
    const std::string texels =
        std::to_string(tile->left * 128 / w) + "," + std::to_string(tile->top * 128 / h) + "," +
        std::to_string(tile->right * 128 / w + 1) + "," + std::to_string(tile->bottom * 128 / h + 1);
    ASSERT_FALSE(minimap_scissors().empty());
    EXPECT_EQ(minimap_scissors()[0], texels);
    ASSERT_EQ(dev.count("Clear"), 1);
    EXPECT_EQ(dev.last("Clear")->args[2], "0x00000003");
    EXPECT_EQ(dev.last("Clear")->args[3], "0xFF00FF00");
    EXPECT_EQ(dev.last("Clear")->args[4], "1");
    for (const draw_record& d : dev.draws())
        EXPECT_EQ(d.fvf, FVF_UNT);

    // The map's pixels fill the target, y downwards; the depth is squeezed into the front.
    const D3DMATRIX& p = dev.transform(D3DTS_PROJECTION);
    EXPECT_FLOAT_EQ(p._11, 1.0f / (w / 2));
    EXPECT_FLOAT_EQ(p._22, -1.0f / (h / 2));
    EXPECT_FLOAT_EQ(p._33, 0.001f);
    EXPECT_FLOAT_EQ(p._41, -(w / 2.0f) * p._11); // x 0 at the left edge
    EXPECT_FLOAT_EQ(p._42, -(h / 2.0f) * p._22); // y 0 at the top

    // The screen's target, depth surface and viewport are back, and nothing is held.
    EXPECT_EQ(dev.render_target, dev.back_buffer());
    EXPECT_EQ(dev.depth_stencil, screen_depth);
    EXPECT_EQ(dev.viewport.X, 10u);
    EXPECT_EQ(dev.viewport.Width, 300u);
    EXPECT_EQ(gfx.clip_count(), 0);
    EXPECT_EQ(static_cast<recording_texture*>(g_minimap_texture)->refs(), 1u);
    EXPECT_TRUE(g_minimap_dirty.empty());
}

TEST_F(Minimap, RectanglesAreRedrawnInListOrderAndOnesOutsideTheTexelsAreSkipped) {
    new_battle(5);
    const int w = map_pixel_width(), h = minimap_height();
    // Repeats and overlaps are allowed; the lowest row's overhang lies below the last texel.
    g_minimap_dirty = {RECT{0, 0, 64, 64}, RECT{w - 64, 0, w, 64}, RECT{0, 0, 64, 64},
                       RECT{0, h + 4, 64, map_pixel_height()}};
    dev.clear_log();
    refresh_minimap();
    const std::vector<std::string> scissors = minimap_scissors();
    // Each drawn rectangle sets its clip and then its unclip.
    ASSERT_EQ(scissors.size(), 6u);
    EXPECT_EQ(scissors[0],
              "0,0," + std::to_string(64 * 128 / w + 1) + "," + std::to_string(64 * 128 / h + 1));
    EXPECT_EQ(scissors[2], std::to_string((w - 64) * 128 / w) + ",0,128," + std::to_string(64 * 128 / h + 1));
    EXPECT_EQ(scissors[4], scissors[0]);
    EXPECT_EQ(dev.count("Clear"), 3);
    EXPECT_TRUE(g_minimap_dirty.empty());
}

TEST_F(Minimap, EveryFailingDeviceCallRaisesItsOwnSentence) {
    new_battle(5);
    const std::pair<const char*, const char*> cases[] = {
        {"GetRenderTarget", "Unable to get the render target."},
        {"GetDepthStencilSurface", "Unable to get the depth buffer."},
        {"GetViewport", "Unable to get the viewport."},
        {"GetSurfaceLevel", "Unable to get the minimap surface level."},
        {"SetRenderTarget", "Unable to set the render target."},
        {"SetDepthStencilSurface", "Unable to set the depth buffer."},
        {"SetViewport", "Unable to set the viewport."},
        {"SetTransform", "Unable to set the projection matrix."},
        {"Clear", "Unable to clear the minimap drawing area."},
    };
    for (const auto& [call, message] : cases) {
        SCOPED_TRACE(call);
        g_minimap_dirty.assign(1, RECT{0, 0, 64, 64});
        dev.fail_next(call, D3DERR_INVALIDCALL);
        try {
            refresh_minimap();
            ADD_FAILURE() << "no raise";
        } catch (const c_err& e) {
            EXPECT_EQ(e.details, message);
            EXPECT_EQ(e.function, "refresh_minimap");
            EXPECT_EQ(e.file, "gameplay.cpp");
            EXPECT_EQ(e.hresult, D3DERR_INVALIDCALL);
        }
        dev.clear_failures();
        // Put the screen's target back as a raise leaves it for the error report.
        dev.SetRenderTarget(0, dev.back_buffer());
        while (gfx.clip_count() > 0)
            gfx.unclip();
    }
    // Whatever failed, no reference to a surface was kept.
    EXPECT_EQ(static_cast<recording_texture*>(g_minimap_texture)->refs(), 1u);
}

TEST_F(Minimap, WithoutABattleTheListIsDroppedAndTheDeviceLeftAlone) {
    g_minimap_dirty.push_back(RECT{0, 0, 64, 64});
    dev.clear_log();
    refresh_minimap();
    EXPECT_TRUE(dev.log().empty()) << dev.names();
    EXPECT_TRUE(g_minimap_dirty.empty());
    draw_minimap_widget(RECT{4, 676, 124, 764}, 1);
    EXPECT_TRUE(dev.log().empty()) << dev.names();
}

// ---- the widget: the texture, then the view rectangle

class MinimapWidget : public battle_test {
  protected:
    MinimapWidget() {
        // 32 x 32 tiles of 64 x 64, rows 48 apart: 2080 x 1552 map pixels.
        make_map(32, 32);
        create_minimap_surfaces(&dev, "test");
    }
    ~MinimapWidget() override { release_minimap_surfaces(); }
    std::vector<vertex_tra> draw_widget(int state) {
        dev.clear_log();
        draw_minimap_widget(content, state);
        return dev.draws().empty() ? std::vector<vertex_tra>{} : dev.draws().back().as<vertex_tra>();
    }
    // 208 x 194: a tenth of the map's width, an eighth of its height.
    const RECT content{10, 20, 218, 214};
};

TEST_F(MinimapWidget, TheViewRectangleTakesTheColourOfTheWidgetState) {
    ASSERT_EQ(map_pixel_width(), 2080);
    ASSERT_EQ(map_pixel_height(), 1552);
    scroll_ix = 100;
    scroll_iy = 80;
    const std::pair<int, D3DCOLOR> cases[] = {
        {0, 0xA0FFFFFF}, {1, 0xC8FFFFFF}, {2, 0xC8FF7F7F}, {3, 0xA0FFFFFF}};
    for (const auto& [state, colour] : cases) {
        SCOPED_TRACE(state);
        const std::vector<vertex_tra> v = draw_widget(state);
        ASSERT_EQ(dev.draws().size(), 2u);
        // First the whole minimap, opaque, textured.
        const draw_record& map = dev.draws()[0];
        EXPECT_EQ(map.texture, g_minimap_texture);
        EXPECT_EQ(map.as<vertex_tra>()[0].x, 10.0f);
        EXPECT_EQ(map.as<vertex_tra>()[3].y, 214.0f);
        EXPECT_EQ(map.as<vertex_tra>()[0].colour, 0xFFFFFFFFu);
        // Then the view (1024 x 768 at 100, 80) scaled into the widget, untextured.
        EXPECT_EQ(dev.draws()[1].texture, nullptr);
        ASSERT_EQ(v.size(), 4u);
        EXPECT_EQ(v[0].colour, colour);
        EXPECT_EQ(v[0].x, 20.0f);  // 100 x 0.1 + 10
        EXPECT_EQ(v[0].y, 30.0f);  // 80 x 0.125 + 20
        EXPECT_EQ(v[3].x, 122.0f); // 1124 x 0.1 + 10, truncated
        EXPECT_EQ(v[3].y, 126.0f); // 848 x 0.125 + 20
        EXPECT_EQ(v[0].z, 0.0f);
        // Clipped to the widget while it is drawn, and the clip undone.
        EXPECT_EQ(dev.find("SetScissorRect")[0]->args[0], "10,20,218,214");
        EXPECT_EQ(gfx.clip_count(), 0);
    }
}

TEST_F(MinimapWidget, AMapThatFitsOnTheScreenShowsNoViewRectangle) {
    // The screen must be as wide as the map and 32 pixels taller.
    g_headless_screen = screen_info{2080, 1552 + 32, true};
    draw_widget(1);
    EXPECT_EQ(dev.draws().size(), 1u);
    g_headless_screen = screen_info{2080, 1552 + 31, true};
    draw_widget(1);
    EXPECT_EQ(dev.draws().size(), 2u);
    g_headless_screen = screen_info{2079, 4000, true};
    draw_widget(1);
    EXPECT_EQ(dev.draws().size(), 2u);
}

// ---- device reset

TEST_F(Minimap, TheDeviceHooksGiveTheSurfacesUpForAResetAndMakeThemAgain) {
    new_battle(5);
    g_minimap_dirty.clear();
    D3DPRESENT_PARAMETERS params = dev.params;
    // What the core releases itself before a Reset.
    gfx.before_reset();
    font().before_reset();
    // With the battle's render target alive the Reset fails, as it does on the real device.
    EXPECT_EQ(dev.Reset(&params), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev.TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    run_device_release_hooks();
    EXPECT_EQ(g_minimap_texture, nullptr);
    EXPECT_EQ(g_minimap_depth, nullptr);
    ASSERT_EQ(dev.live_default_resources(), 0);
    ASSERT_EQ(dev.Reset(&params), D3D_OK);
    run_device_restore_hooks();
    gfx.after_reset();
    font().after_reset();

    ASSERT_NE(g_minimap_texture, nullptr);
    ASSERT_NE(g_minimap_depth, nullptr);
    // The new target holds nothing: the next refresh draws the whole map.
    ASSERT_EQ(g_minimap_dirty.size(), 1u);
    const RECT all = g_minimap_dirty.front();
    EXPECT_EQ(all.left, 0);
    EXPECT_EQ(all.top, 0);
    EXPECT_EQ(all.right, map_pixel_width());
    EXPECT_EQ(all.bottom, map_pixel_height());
    dev.clear_log();
    refresh_minimap();
    EXPECT_GE(dev.count("DrawPrimitive"), g_map->get_cols() * g_map->get_rows());
}

TEST_F(Minimap, WithoutABattleTheDeviceHooksMakeNothing) {
    new_battle(5);
    gameplay_unload_static();
    const int before = dev.live_default_resources();
    run_device_release_hooks();
    run_device_restore_hooks();
    EXPECT_EQ(g_minimap_texture, nullptr);
    EXPECT_TRUE(g_minimap_dirty.empty());
    EXPECT_EQ(dev.live_default_resources(), before);
}

TEST_F(Minimap, AFailedRecreationAfterAResetIsReportedForTheBattleScreen) {
    new_battle(5);
    run_device_release_hooks();
    dev.fail_next("CreateTexture", D3DERR_OUTOFVIDEOMEMORY);
    try {
        run_device_restore_hooks();
        ADD_FAILURE() << "no raise";
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, "Unable to create the minimap texture.");
        EXPECT_EQ(e.function, "gs_gameplay");
    }
    EXPECT_EQ(g_minimap_texture, nullptr);
}

} // namespace
