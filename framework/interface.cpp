#include "framework/interface.h"

#include "framework/core.h"
#include "framework/font.h"
#include "framework/interpolator.h"

c_gui_settings g_gui_settings;
c_gui_settings g_minimap_gui_settings;
c_gui_settings g_aub_gui_settings;
c_gui_settings g_etb_gui_settings;
c_gui_settings g_checkbox_gui_settings;
c_image* g_mainmenu_background = nullptr;
c_image* g_exitscreen_background = nullptr;
c_image* g_options_background = nullptr;
c_image* g_logo = nullptr;

// Placeholder: the loader follows in the next commit.
void load_interface() {
    int w = 800, h = 600;
    if (g_core) g_core->get_client_size(w, h);
    load_interface(w, h);
}
void load_interface(int screen_width, int screen_height) {
    g_gui_settings.gfx = g_gfx;
    g_gui_settings.screen_width = screen_width;
    g_gui_settings.screen_height = screen_height;
}
void release_interface() {}

void recover_device() {
    if (g_font) g_font->before_reset();
    g_core->reset();
    if (g_font) g_font->after_reset();
    g_interpolator->restart(static_cast<int>(g_core->get_cur_time()));
}
