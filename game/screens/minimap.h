// The minimap in the lower left corner of the battle screen: the whole battlefield in its
// minimap colours, kept in a 128 x 128 render target (g_minimap_texture, gameplay.h) that is
// redrawn only where something changed, shown stretched over the minimap widget with the part
// the view shows marked by a translucent rectangle.
//
// Whoever changes what the minimap shows appends the map-pixel rectangle to g_minimap_dirty;
// refresh_minimap redraws just those texels once per frame.
//
// The render target and its depth surface live in the default pool, so a device reset loses
// them. The battle gives them up and makes them again through the device hooks
// (framework/device_hooks.h) that recover_device runs around every reset, on whatever screen
// the reset happens; a state loop only calls recover_device when the core's check fails.
#pragma once
#include "platform/d3d9.h"

// Redraws the texels of every rectangle of g_minimap_dirty into g_minimap_texture, then empties
// the list. Saves and restores the render target, the depth surface and the viewport, so call
// it once per frame before the drawing pass (outside a clip). With an empty list or no battle
// it does nothing at all, not even a device call. Leaves the projection set for the minimap.
// Every failing device call raises (function "refresh_minimap", file "gameplay").
void refresh_minimap();

// Draws the minimap over the widget's content rectangle (screen pixels) at once, then the view
// rectangle in the colour of the widget's state (1 hover, 2 pressed, else normal). No view
// rectangle while the whole map fits on the screen. Call after the widgets are drawn.
void draw_minimap_widget(const RECT& content_rect, int widget_state);

// The colours of the view rectangle per widget state.
constexpr D3DCOLOR minimap_view_color_hover = 0xC8FFFFFF;
constexpr D3DCOLOR minimap_view_color_pressed = 0xC8FF7F7F;
constexpr D3DCOLOR minimap_view_color_normal = 0xA0FFFFFF;
// Where nothing of the map is drawn inside the minimap.
constexpr D3DCOLOR minimap_clear_color = 0xFF00FF00;

// Appends the whole map (0, 0, map width, map height) to g_minimap_dirty: the next refresh
// redraws every texel. Nothing without a map.
void minimap_mark_all_dirty();

// Installs the battle's device hooks once (idempotent): before a reset the minimap surfaces are
// released when they exist; after it they are made again and the whole map is marked dirty.
// Made a part of the battle set-up; harmless when no battle is loaded.
void install_minimap_device_hooks();
