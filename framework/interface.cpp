// The interface assets: cursors, full-screen pictures and the widget looks of interface.ini,
// and the recovery after a lost device.
//
// Value formats: a quoted file name followed by numbers ("file" 1 2 3), a plain file name for
// pictures, a colour as a r g b (each cut to 8 bits) and numbers read with get_int.
#include "framework/interface.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/device_hooks.h"
#include "framework/font.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "framework/misc.h"
#include "platform/image/image_file.h"

c_gui_settings g_gui_settings;
c_gui_settings g_minimap_gui_settings;
c_gui_settings g_aub_gui_settings;
c_gui_settings g_etb_gui_settings;
c_gui_settings g_checkbox_gui_settings;
c_image* g_mainmenu_background = nullptr;
c_image* g_exitscreen_background = nullptr;
c_image* g_options_background = nullptr;
c_image* g_logo = nullptr;

namespace {

// Every image reference the loader took, each given back once by release_interface.
std::vector<c_image*> g_held_images;
// prefetch_interface ran for the next load_interface.
bool g_prefetched = false;
// The logo has had its fade: it is not loaded again.
bool g_logo_done = false;
// The program has shown its first frame: background decoding need not wait any longer.
bool g_first_frame_shown = false;

const char* const cursor_names[26] = {
    "arrow",     "hand",      "scroll_left", "scroll_right", "scroll_up", "scroll_down", "scroll_ul",
    "scroll_ur", "scroll_dl", "scroll_dr",   "select",       "move_nw",   "move_ne",     "move_w",
    "move_e",    "move_sw",   "move_se",     "nomove",       "attack_nw", "attack_ne",   "attack_w",
    "attack_e",  "attack_sw", "attack_se",   "target",       "notarget"};

// A value split into its quoted file name and the text after the closing quote. Without a
// quote (the profile reader drops a pair that encloses the whole value) the name runs to the
// first blank.
struct quoted_value {
    std::string file;
    std::string rest;
};

quoted_value split_quoted(const std::string& value) {
    quoted_value out;
    const size_t open = value.find('"');
    if (open == std::string::npos) {
        const size_t start = value.find_first_not_of(" \t");
        if (start == std::string::npos) return out;
        const size_t end = value.find_first_of(" \t", start);
        out.file = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end != std::string::npos) out.rest = value.substr(end);
        return out;
    }
    const size_t close = value.find('"', open + 1);
    out.file = value.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    if (close != std::string::npos) out.rest = value.substr(close + 1);
    return out;
}

// Reads up to `count` ints from the text; numbers that are missing keep what `out` held.
void read_ints(const std::string& text, int* out, int count) {
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        int value = 0, used = 0;
        if (std::sscanf(p, " %d%n", &value, &used) != 1) return;
        out[i] = value;
        p += used;
    }
}

D3DCOLOR pack_colour(const int argb[4]) {
    return (static_cast<D3DCOLOR>(argb[0] & 255) << 24) | (static_cast<D3DCOLOR>(argb[1] & 255) << 16) |
           (static_cast<D3DCOLOR>(argb[2] & 255) << 8) | static_cast<D3DCOLOR>(argb[3] & 255);
}

c_image* take_image(const std::string& file) {
    c_image* image = g_gfx->get_image(file, 0.0f);
    g_held_images.push_back(image);
    return image;
}

void read_cursors(c_ini& ini) {
    g_cursors = new c_cursor(g_gfx);
    for (const char* name : cursor_names) {
        quoted_value v = split_quoted(ini.get_raw("cursors", name));
        int numbers[4] = {0, 0, 0, 0}; // hot x, hot y, width, height
        read_ints(v.rest, numbers, 4);
        g_cursors->add_cursor(v.file, numbers[0], numbers[1], numbers[2], numbers[3]);
    }
    g_cursors->set_cursor(0);
}

c_image* read_picture(c_ini& ini, const char* key) {
    return take_image(ini.get_raw("misc", key));
}

// The picture of a screen the program does not open with, made a texture when first drawn
// (its pixels are decoded in the background meanwhile). A file that is missing or no picture
// at all is reported now, as every other picture is; one that only fails to decode, when its
// screen first opens.
c_image* read_picture_when_drawn(c_ini& ini, const char* key) {
    const std::string file = ini.get_raw("misc", key);
    if (file.empty() || !read_image_header(file.c_str(), nullptr, nullptr)) return take_image(file);
    for (c_image* image : g_gfx->get_images())
        if (image->get_file_name() == file && image->get_order() == 0.0f) return take_image(file);
    c_image* image = new c_image(g_gfx, file, 0.0f, true);
    g_held_images.push_back(image);
    return image;
}

// The full-screen pictures, and whether the menu's first frame can do without them.
struct screen_picture {
    const char* key;
    c_image** global;
    bool when_drawn;
};
const screen_picture screen_pictures[4] = {
    {"mainmenu_background", &g_mainmenu_background, false},
    {"exitscreen_background", &g_exitscreen_background, true},
    {"options_background", &g_options_background, true},
    {"logo", &g_logo, false},
};

// The widget pictures of each state: "<key><state>" = "file" a r g b.
struct widget_picture {
    const char* key;
    c_image* (c_gui_settings::*images)[4];
    D3DCOLOR (c_gui_settings::*colours)[4];
};
const widget_picture widget_pictures[8] = {
    {"vscroll_up", &c_gui_settings::vscroll_up_images, &c_gui_settings::vscroll_up_colours},
    {"vscroll_down", &c_gui_settings::vscroll_down_images, &c_gui_settings::vscroll_down_colours},
    {"vscroll_paddle", &c_gui_settings::vscroll_paddle_images, &c_gui_settings::vscroll_paddle_colours},
    {"listdropper_bup", &c_gui_settings::listdropper_bup_images, &c_gui_settings::listdropper_bup_colours},
    {"listdropper_bdown", &c_gui_settings::listdropper_bdown_images,
     &c_gui_settings::listdropper_bdown_colours},
    {"namebox_caret", &c_gui_settings::namebox_caret_images, &c_gui_settings::namebox_caret_colours},
    {"checkbox_checked", &c_gui_settings::checkbox_checked_images, &c_gui_settings::checkbox_checked_colours},
    {"checkbox_unchecked", &c_gui_settings::checkbox_unchecked_images,
     &c_gui_settings::checkbox_unchecked_colours},
};

// "file" width height a r g b
void read_frame_piece(c_ini& ini, const std::string& section, c_gui_settings& s, int state, int piece) {
    quoted_value v = split_quoted(ini.get_raw(section, format_string("%d%d", state, piece)));
    int numbers[6] = {0, 0, 0, 0, 0, 0};
    read_ints(v.rest, numbers, 6);
    s.frame_images[state][piece] = take_image(v.file);
    s.frame_sizes[state][piece] = SIZE{numbers[0], numbers[1]};
    s.frame_colours[state][piece] = pack_colour(numbers + 2);
}

// "file" a r g b
void read_image_colour(c_ini& ini, const std::string& section, const std::string& key, c_image*& image,
                       D3DCOLOR& colour) {
    quoted_value v = split_quoted(ini.get_raw(section, key));
    int argb[4] = {0, 0, 0, 0};
    read_ints(v.rest, argb, 4);
    image = take_image(v.file);
    colour = pack_colour(argb);
}

// a r g b scale_x scale_y; numbers that are missing keep the style's values (a variant keeps
// what it copied).
void read_text_styles(c_ini& ini, const std::string& section, c_gui_settings& s, int flags) {
    for (int i = 0; i < 4; ++i) {
        const std::string value = ini.get_raw(section, format_string("text%d", i));
        const D3DCOLOR c = s.text_colours[i];
        int argb[4] = {static_cast<int>(c >> 24), static_cast<int>((c >> 16) & 255),
                       static_cast<int>((c >> 8) & 255), static_cast<int>(c & 255)};
        float scale[2] = {s.text_scale_x[i], s.text_scale_y[i]};
        const char* p = value.c_str();
        int used = 0;
        for (int k = 0; k < 4 && std::sscanf(p, " %d%n", &argb[k], &used) == 1; ++k)
            p += used;
        for (int k = 0; k < 2 && std::sscanf(p, " %f%n", &scale[k], &used) == 1; ++k)
            p += used;
        s.text_fonts[i] = g_font;
        s.text_colours[i] = pack_colour(argb);
        s.text_backgrounds[i] = 0;
        s.text_scale_x[i] = scale[0];
        s.text_scale_y[i] = scale[1];
        s.text_flags[i] = flags;
    }
}

void read_gui_settings(c_ini& ini, int screen_width, int screen_height) {
    const std::string section = "gui_settings";
    c_gui_settings& s = g_gui_settings;
    s = c_gui_settings{};
    s.gfx = g_gfx;
    s.state_hook = nullptr;
    s.design_width = 800;
    s.design_height = 600;
    s.screen_width = screen_width;
    s.screen_height = screen_height;
    s.repeat_interval_init = ini.get_int(section, "repeat_interval_init");
    s.repeat_interval_norm = ini.get_int(section, "repeat_interval_norm");
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 9; ++j)
            read_frame_piece(ini, section, s, i, j);
    s.border_left = ini.get_int(section, "sl");
    s.border_right = ini.get_int(section, "sr");
    s.border_top = ini.get_int(section, "st");
    s.border_bottom = ini.get_int(section, "sb");
    read_text_styles(ini, section, s, TEXT_CENTER | TEXT_VCENTER | TEXT_WRAP);
    for (int i = 0; i < 4; ++i)
        for (const widget_picture& w : widget_pictures)
            read_image_colour(ini, section, format_string("%s%d", w.key, i), (s.*w.images)[i],
                              (s.*w.colours)[i]);
    s.vscroll_bigchange = ini.get_int(section, "vscroll_bigchange");
    s.listbox_vscroll_width = ini.get_int(section, "listbox_vscroll_width");
    s.listitem_height = ini.get_int(section, "listitem_height");
    s.listdropper_bdown_width = ini.get_int(section, "listdropper_bdown_width");
    s.namebox_caret_width = ini.get_int(section, "namebox_caret_width");
    s.namebox_caret_interval = ini.get_int(section, "namebox_caret_interval");
    // Rows are found by dividing by the item height. A missing or unreadable interface.ini gives
    // no height at all, which the sentence tells apart from a height that is too small.
    if (s.listitem_height < 1) {
        if (ini.get_raw(section, "listitem_height").empty())
            HV_RAISE("Unable to lay out lists: interface.ini gives no listitem_height in [gui_settings].",
                     "load_interface", 0, &ini);
        HV_RAISE(
            "Unable to lay out lists: listitem_height in [gui_settings] of interface.ini must be at least 1.",
            "load_interface", 0, &ini);
    }
}

void read_variants(c_ini& ini) {
    g_minimap_gui_settings = g_gui_settings;
    // Both intervals are replaced even when missing: a missing number reads 0.
    g_minimap_gui_settings.repeat_interval_init = ini.get_int("minimap_gui_settings", "repeat_interval_init");
    g_minimap_gui_settings.repeat_interval_norm = ini.get_int("minimap_gui_settings", "repeat_interval_norm");
    g_aub_gui_settings = g_gui_settings;
    read_text_styles(ini, "aub_gui_settings", g_aub_gui_settings, TEXT_CENTER | TEXT_BOTTOM | TEXT_WRAP);
    g_etb_gui_settings = g_gui_settings;
    read_text_styles(ini, "etb_gui_settings", g_etb_gui_settings, TEXT_CENTER | TEXT_VCENTER);
    g_checkbox_gui_settings = g_gui_settings;
    read_text_styles(ini, "checkbox_gui_settings", g_checkbox_gui_settings, TEXT_VCENTER | TEXT_WRAP);
}

// Gives up what load_interface made; prefetched pictures stay for the next load.
void release_assets() {
    delete g_cursors;
    g_cursors = nullptr;
    for (c_image* image : g_held_images)
        image->release();
    g_held_images.clear();
    for (const screen_picture& p : screen_pictures)
        *p.global = nullptr;
    for (c_gui_settings* s : {&g_gui_settings, &g_minimap_gui_settings, &g_aub_gui_settings,
                              &g_etb_gui_settings, &g_checkbox_gui_settings})
        *s = c_gui_settings{};
}

} // namespace

void prefetch_interface() {
    if (!g_first_frame_shown) hold_background_prefetch(true);
    c_ini& ini = *g_interface;
    // In the order load_interface takes them, so the worker keeps ahead of it.
    for (const char* name : cursor_names)
        prefetch_image_file(split_quoted(ini.get_raw("cursors", name)).file, false);
    for (const screen_picture& p : screen_pictures)
        if (!(p.global == &g_logo && g_logo_done))
            prefetch_image_file(ini.get_raw("misc", p.key), p.when_drawn);
    const std::string section = "gui_settings";
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 9; ++j)
            prefetch_image_file(split_quoted(ini.get_raw(section, format_string("%d%d", i, j))).file, false);
    for (int i = 0; i < 4; ++i)
        for (const widget_picture& w : widget_pictures)
            prefetch_image_file(split_quoted(ini.get_raw(section, format_string("%s%d", w.key, i))).file,
                                false);
    g_prefetched = true;
}

void load_interface() {
    int width = 0, height = 0;
    g_core->get_client_size(width, height);
    load_interface(width, height);
}

void load_interface(int screen_width, int screen_height) {
    release_assets();
    if (!g_prefetched) prefetch_interface();
    g_prefetched = false;
    c_ini& ini = *g_interface;
    read_cursors(ini);
    // The pictures needed at once first: one that names the same file as a later one is the
    // image both share, and so it has its texture from the start.
    for (const screen_picture& p : screen_pictures)
        if (!p.when_drawn && !(p.global == &g_logo && g_logo_done)) *p.global = read_picture(ini, p.key);
    for (const screen_picture& p : screen_pictures)
        if (p.when_drawn) *p.global = read_picture_when_drawn(ini, p.key);
    read_gui_settings(ini, screen_width, screen_height);
    read_variants(ini);
}

void release_interface() {
    release_assets();
    discard_prefetched_images();
    g_prefetched = false;
    g_logo_done = false; // a load after this is a start afresh
    hold_background_prefetch(false);
}

void first_frame_shown() {
    if (g_first_frame_shown) return;
    g_first_frame_shown = true;
    hold_background_prefetch(false);
}

void release_logo() {
    g_logo_done = true;
    if (!g_logo) return;
    auto held = std::find(g_held_images.begin(), g_held_images.end(), g_logo);
    if (held != g_held_images.end()) {
        g_held_images.erase(held);
        g_logo->release(); // another picture of the same file keeps the image
    }
    g_logo = nullptr;
}

void rest_menu_pictures() {
    if (!g_options_background) return;
    g_options_background->unload_until_drawn();
    discard_prefetched_image(g_options_background->get_file_name());
}

void prefetch_menu_pictures() {
    if (g_options_background && !g_options_background->get_texture())
        prefetch_image_file(g_options_background->get_file_name(), true);
}

// Every look takes the new display size, so a widget without a parent fills the new screen
// whichever look it wears.
void recover_device() {
    if (g_font) g_font->before_reset();
    run_device_release_hooks();
    g_core->reset();
    run_device_restore_hooks();
    if (g_font) g_font->after_reset();
    int width = 0, height = 0;
    g_core->get_client_size(width, height);
    for (c_gui_settings* s : {&g_gui_settings, &g_minimap_gui_settings, &g_aub_gui_settings,
                              &g_etb_gui_settings, &g_checkbox_gui_settings}) {
        s->screen_width = width;
        s->screen_height = height;
    }
    if (g_cursors) g_cursors->set_cursor(0);
    g_interpolator->restart(static_cast<int>(g_core->get_cur_time()));
}
