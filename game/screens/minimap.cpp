// The minimap: redrawing the dirty texels of its render target, drawing it over its widget with
// the view rectangle, and giving its default-pool surfaces up around device resets.
//
// Index: failures; refresh; drawing; device hooks.
#include "game/screens/minimap.h"

#include <cstdint>

#include "framework/device_hooks.h"
#include "framework/gfx.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "platform/d3dx9.h"

// ---- failures

namespace {

// The minimap's failures belong to the battle screen's report, whichever file draws it.
[[noreturn]] void raise(const char* message, HRESULT hr, int line) {
    throw c_err(message, "gameplay.cpp", line, "refresh_minimap", __TIMESTAMP__, hr, nullptr);
}

#define MINIMAP_CHECK(call, message)                                                                         \
    do {                                                                                                     \
        HRESULT hr_ = (call);                                                                                \
        if (FAILED(hr_)) raise((message), hr_, __LINE__);                                                    \
    } while (0)

// Holds one reference to a surface and lets it go however the refresh ends.
struct surface_ref {
    IDirect3DSurface9* p = nullptr;
    surface_ref() = default;
    surface_ref(const surface_ref&) = delete;
    surface_ref& operator=(const surface_ref&) = delete;
    ~surface_ref() {
        if (p) p->Release();
    }
};

} // namespace

// ---- refresh

namespace {

struct minimap_geometry {
    int width;  // W: the map's pixel width
    int height; // Hm - Y: the rows without the last row's overhang, which falls outside
};

// Maps the map pixels (0..W, 0..Hm - Y) onto the whole render target, y downwards.
void set_minimap_projection(IDirect3DDevice9* device, const minimap_geometry& g) {
    D3DXMATRIX translation, scaling, projection;
    D3DXMatrixTranslation(&translation, -g.width / 2.0f, -g.height / 2.0f, 0.0f);
    D3DXMatrixScaling(&scaling, 1.0f / static_cast<float>(g.width / 2),
                      -1.0f / static_cast<float>(g.height / 2), 0.001f);
    D3DXMatrixMultiply(&projection, &translation, &scaling);
    MINIMAP_CHECK(device->SetTransform(D3DTS_PROJECTION, &projection),
                  "Unable to set the projection matrix.");
}

// A map-pixel rectangle as the texels it covers, one more at the right and bottom so that a
// rectangle narrower than a texel still reaches one.
RECT texel_rect(const RECT& r, const minimap_geometry& g) {
    auto scale = [](LONG v, int size) { return static_cast<LONG>(std::int64_t(v) * minimap_size / size); };
    return RECT{scale(r.left, g.width), scale(r.top, g.height), scale(r.right, g.width) + 1,
                scale(r.bottom, g.height) + 1};
}

void redraw_rect(IDirect3DDevice9* device, const RECT& r, const minimap_geometry& g) {
    const RECT t = texel_rect(r, g);
    if (!g_gfx->clip(t.left, t.top, t.right, t.bottom)) return;
    // The scissor test is on, so the clear stays inside the clip.
    MINIMAP_CHECK(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, minimap_clear_color, 1.0f, 0),
                  "Unable to clear the minimap drawing area.");
    g_map->draw_minimap(r.left, r.top, r.right, r.bottom);
    g_gfx->unclip();
}

} // namespace

void refresh_minimap() {
    if (g_minimap_dirty.empty()) return;
    const minimap_geometry g{map_pixel_width(),
                             map_pixel_height() - (g_map ? g_map->get_placement_yoffset() : 0)};
    // Without a battle (or with a map too small to scale) there is nothing the texels could show;
    // the rectangles are dropped so that the list does not grow.
    if (!g_map || !g_gfx || !g_minimap_texture || !g_minimap_depth || g.width / 2 < 1 || g.height / 2 < 1) {
        g_minimap_dirty.clear();
        return;
    }
    IDirect3DDevice9* device = g_gfx->get_device();
    surface_ref saved_target, saved_depth, level;
    D3DVIEWPORT9 saved_viewport{};
    MINIMAP_CHECK(device->GetRenderTarget(0, &saved_target.p), "Unable to get the render target.");
    MINIMAP_CHECK(device->GetDepthStencilSurface(&saved_depth.p), "Unable to get the depth buffer.");
    MINIMAP_CHECK(device->GetViewport(&saved_viewport), "Unable to get the viewport.");
    MINIMAP_CHECK(g_minimap_texture->GetSurfaceLevel(0, &level.p),
                  "Unable to get the minimap surface level.");

    MINIMAP_CHECK(device->SetRenderTarget(0, level.p), "Unable to set the render target.");
    MINIMAP_CHECK(device->SetDepthStencilSurface(g_minimap_depth), "Unable to set the depth buffer.");
    const D3DVIEWPORT9 viewport{0, 0, minimap_size, minimap_size, 0.0f, 1.0f};
    MINIMAP_CHECK(device->SetViewport(&viewport), "Unable to set the viewport.");
    set_minimap_projection(device, g);

    for (const RECT& r : g_minimap_dirty)
        redraw_rect(device, r, g);

    MINIMAP_CHECK(device->SetRenderTarget(0, saved_target.p), "Unable to set the render target.");
    MINIMAP_CHECK(device->SetDepthStencilSurface(saved_depth.p), "Unable to set the depth buffer.");
    MINIMAP_CHECK(device->SetViewport(&saved_viewport), "Unable to set the viewport.");
    g_minimap_dirty.clear();
}

void minimap_mark_all_dirty() {
    if (g_map) g_minimap_dirty.push_back(RECT{0, 0, map_pixel_width(), map_pixel_height()});
}

// ---- drawing

void draw_minimap_widget(const RECT& content_rect, int widget_state) {
    if (!g_gfx || !g_map || !g_minimap_texture) return;
    const RECT& c = content_rect;
    g_gfx->draw_quad_tra(c.left, c.top, c.right, c.bottom, 0.0f, 0.0f, g_minimap_texture, 0, 1, 0, 1,
                         0xFFFFFFFF);

    const screen_info screen = get_screen();
    const int map_w = map_pixel_width(), map_h = map_pixel_height();
    if (screen.width >= map_w && screen.height >= map_h + 32) return;
    if (!g_gfx->clip(c.left, c.top, c.right, c.bottom)) return;
    const float fx = static_cast<float>(c.right - c.left) / map_w;
    const float fy = static_cast<float>(c.bottom - c.top) / map_h;
    const int left = static_cast<int>(scroll_ix * fx + c.left);
    const int top = static_cast<int>(scroll_iy * fy + c.top);
    const int right = static_cast<int>((scroll_ix + screen.width) * fx + c.left);
    const int bottom = static_cast<int>((scroll_iy + screen.height) * fy + c.top);
    const D3DCOLOR color = widget_state == 1   ? minimap_view_color_hover
                           : widget_state == 2 ? minimap_view_color_pressed
                                               : minimap_view_color_normal;
    g_gfx->draw_quad_tra(left, top, right, bottom, 0.0f, 0.0f, nullptr, 0, 1, 0, 1, color);
    g_gfx->unclip();
}

// ---- device hooks

namespace {

// Whether the reset in progress took a battle's surfaces away, so that only they come back.
bool surfaces_released = false;

void release_for_reset() {
    if (!g_minimap_texture && !g_minimap_depth) return;
    release_minimap_surfaces();
    surfaces_released = true;
}

void restore_after_reset() {
    if (!surfaces_released) return;
    surfaces_released = false;
    if (!g_gfx) return;
    create_minimap_surfaces(g_gfx->get_device(), "gs_gameplay");
    // The new render target holds nothing yet.
    minimap_mark_all_dirty();
}

} // namespace

void install_minimap_device_hooks() {
    static const int id = add_device_hooks(release_for_reset, restore_after_reset);
    (void)id;
}
