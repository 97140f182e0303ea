// The root panel of a screen and the frame of the menu-like states.
#include "game/screens/screen.h"

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/gameplay.h"
#include "game/screens/states.h"

c_screen::c_screen(const c_gui_settings* settings, unsigned root_flags)
    : root_(std::make_unique<c_panel>(settings, 0, 0, 800, 600, MODE_ACTIVE, root_flags)),
      resets_seen_(g_device_resets) {}

c_screen::~c_screen() {
    // Children first: each leaves the root as it goes.
    widgets_.clear();
    root_.reset();
}

void c_screen::update() {
    root_->update(g_mouse_x, g_mouse_y, &g_mouse_buttons[0], g_kb_state);
}

bool c_screen::reset_since_last_check() {
    if (resets_seen_ == g_device_resets) return false;
    resets_seen_ = g_device_resets;
    return true;
}

std::string screen_label(const std::string& key) {
    return g_stringtable ? g_stringtable->get_string(key) : std::string();
}

void run_menu_frame(c_screen& screen, const std::function<void()>& overlay, int step_ms,
                    const std::function<void()>& step) {
    check_device();
    if (screen.reset_since_last_check()) screen.root()->layout();
    g_core->frame_begin(0xFF000000);
    read_frame_input();
    screen.update();
    g_interpolator->drawing = true;
    screen.root()->draw();
    // The widgets are queued; drawn now, so that the overlay and the pointer lie over them.
    g_gfx->flush();
    if (overlay) overlay();
    if (g_cursors) g_cursors->draw();
    g_gfx->flush();
    g_interpolator->drawing = false;
    while (g_interpolator->sync(step_ms, static_cast<int>(state_time())))
        if (step) step();
    if (g_frame_hook) g_frame_hook();
    g_core->frame_end();
    handle_close_request();
}
