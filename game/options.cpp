// The options screen and its state loop.
#include "game/options.h"

#include <cstring>

#include "framework/cursor.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/main.h"
#include "game/screen.h"
#include "game/states.h"
#include "platform/dinput.h"

namespace {
void to_mainmenu(c_button*) {
    g_game_state = GS_MAINMENU;
}

// Fields framed all round; an open list is only as tall as its items.
constexpr unsigned dropper_flags = FRAME_ALL;
constexpr unsigned list_flags = FRAME_ALL | FRAME_FIT;
constexpr unsigned label_flags = 0x1F;
constexpr unsigned caption_flags = 0x1C;

bool same_mode(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}
} // namespace

c_options_screen::c_options_screen(const options_target& target, IDirect3D9* d3d)
    : target_(target), entry_debug_level_(*target.debug_level) {
    build(d3d);
    set_initial_values();
    before_update();
}

c_options_screen::~c_options_screen() {
    // The items leave their lists while the lists still exist.
    items_.clear();
    screen_.reset();
}

void c_options_screen::build(IDirect3D9* d3d) {
    const c_gui_settings* look = &g_gui_settings;
    const c_gui_settings* box_look = &g_checkbox_gui_settings;
    if (g_stringtable) g_stringtable->set_section("options");
    screen_ = std::make_unique<c_screen>(look);
    c_screen& s = *screen_;
    s.add<c_picture>(look, g_options_background);
    ok = s.add<c_button>(look, 5, 0, 400, 70, screen_label("ok"), DIK_A, to_mainmenu, MODE_ACTIVE, 0x19u);
    cancel = s.add<c_button>(look, 400, 0, 795, 70, screen_label("cancel"), DIK_C, to_mainmenu, MODE_ACTIVE,
                             0x1Au);
    s.add<c_button>(look, 0, 75, 800, 105, screen_label("cg"), 0, nullptr, MODE_INACTIVE, caption_flags);
    s.add<c_button>(look, 5, 110, 300, 140, screen_label("vc"), 0, nullptr, MODE_INACTIVE, label_flags);
    s.add<c_button>(look, 5, 145, 300, 175, screen_label("rc"), 0, nullptr, MODE_INACTIVE, label_flags);
    vsync =
        s.add<c_checkbox>(box_look, 35, 180, 795, 210, screen_label("vscb"), DIK_V, false, MODE_ACTIVE, 0u);
    s.add<c_button>(look, 5, 215, 300, 245, screen_label("dmc"), 0, nullptr, MODE_INACTIVE, label_flags);
    s.add<c_button>(look, 0, 250, 800, 280, screen_label("cp"), 0, nullptr, MODE_INACTIVE, caption_flags);
    show_moves =
        s.add<c_checkbox>(box_look, 35, 285, 795, 315, screen_label("smcb"), DIK_M, false, MODE_ACTIVE, 0u);
    show_names =
        s.add<c_checkbox>(box_look, 35, 320, 795, 350, screen_label("sncb"), DIK_N, false, MODE_ACTIVE, 0u);

    // The lists lie on top of everything once the fields are made: a list opens over the fields
    // below it, and the upper fields' lists lie over the lower ones.
    debug_list = s.add<c_listbox>(look, 305, 245, 795, 595, DIK_UP, DIK_DOWN, list_flags, FRAME_ALL);
    modes = s.add<c_modebox>(look, 305, 175, 795, 595, DIK_UP, DIK_DOWN, list_flags, FRAME_ALL,
                             *target_.record, d3d);
    window_list = s.add<c_listbox>(look, 305, 140, 795, 595, DIK_UP, DIK_DOWN, list_flags, FRAME_ALL);
    debug_dropper = s.add<c_listdropper>(look, 305, 215, 795, 245, debug_list, 0, MODE_ACTIVE, dropper_flags);
    mode_dropper = s.add<c_listdropper>(look, 305, 145, 795, 175, modes, 0, MODE_ACTIVE, dropper_flags);
    window_dropper =
        s.add<c_listdropper>(look, 305, 110, 795, 140, window_list, 0, MODE_ACTIVE, dropper_flags);
    s.root()->bring_to_front(debug_list);
    s.root()->bring_to_front(modes);
    s.root()->bring_to_front(window_list);

    auto item = [&](c_listbox* list, const char* key) {
        items_.push_back(std::make_unique<c_listitem>(screen_label(key)));
        list->add_item(items_.back().get());
        return items_.back().get();
    };
    windowed_item = item(window_list, "witem");
    fullscreen_item = item(window_list, "fitem");
    const char* debug_keys[num_debug_levels] = {"dmli0", "dmli1", "dmli2", "dmli3"};
    for (int i = 0; i < num_debug_levels; ++i)
        debug_items[i] = item(debug_list, debug_keys[i]);
}

void c_options_screen::set_initial_values() {
    const settings_record& r = *target_.record;
    window_list->select(r.is_windowed ? windowed_item : fullscreen_item);
    // The saved mode, or nothing: picking some other mode here would replace it on "ok".
    modes->select_mode(r.mode);
    D3DDISPLAYMODE shown{};
    modes->get_selected_mode(shown);
    if (!modes->get_selected() || !same_mode(shown, r.mode)) modes->select(nullptr);
    vsync->set_checked(r.present_interval == D3DPRESENT_INTERVAL_DEFAULT);
    show_moves->set_checked(*target_.show_moves);
    show_names->set_checked(*target_.show_names);
    // A level the list does not offer (settings.ini may say anything) selects nothing and is
    // left alone until the player picks one.
    const int level = *target_.debug_level;
    debug_list->select(level >= 0 && level < num_debug_levels ? debug_items[level] : nullptr);
}

void c_options_screen::before_update() {
    const bool full_screen = window_list->get_selected() == fullscreen_item;
    const int mode = full_screen ? MODE_ACTIVE : MODE_INACTIVE;
    if (mode_dropper->get_mode() != mode) {
        if (mode == MODE_INACTIVE) mode_dropper->close();
        mode_dropper->set_mode(mode);
    }
    const int selected = debug_list->get_selected_index();
    if (selected >= 0 && selected < num_debug_levels) *target_.debug_level = selected;
}

void c_options_screen::after_update() {
    if (cancel->was_clicked())
        apply_cancel();
    else if (ok->was_clicked())
        apply_ok();
}

bool c_options_screen::mode_listed(const D3DDISPLAYMODE& mode) const {
    for (const c_modeitem* item : modes->get_mode_items())
        if (same_mode(item->mode, mode)) return true;
    return false;
}

settings_record c_options_screen::chosen_settings() const {
    settings_record r = *target_.record;
    if (window_list->get_selected() == windowed_item)
        r.is_windowed = TRUE;
    else if (window_list->get_selected() == fullscreen_item)
        r.is_windowed = FALSE;
    if (modes->get_selected()) modes->get_selected_mode(r.mode);
    if (!r.is_windowed && !mode_listed(r.mode)) r.is_windowed = TRUE;
    r.present_interval = vsync->is_checked() ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;
    return r;
}

void c_options_screen::apply_ok() {
    const settings_record r = chosen_settings();
    if (std::memcmp(&r, target_.record, sizeof r) != 0) {
        *target_.record = r;
        *target_.settings_changed = true;
    }
    *target_.show_moves = show_moves->is_checked();
    *target_.show_names = show_names->is_checked();
}

void c_options_screen::apply_cancel() {
    *target_.debug_level = entry_debug_level_;
}

// ---- the state loop --------------------------------------------------------------------------

void gs_options() {
    options_target target{&g_core->settings, &g_core->forced_reset, &g_core->diagnostics_mode, &g_show_moves,
                          &g_show_names};
    c_options_screen options(target);
    c_screen& screen = options.screen();
    restart_interpolator();
    while (g_game_state == GS_OPTIONS) {
        // A changed display (or a reset under the modal exit screen) comes back laid out for
        // its new size.
        check_device();
        if (screen.reset_since_last_check()) screen.root()->layout();
        g_core->frame_begin(0xFF000000);
        read_frame_input();
        options.before_update();
        screen.update();
        options.after_update();
        g_interpolator->drawing = true;
        screen.root()->draw();
        g_gfx->flush();
        if (g_cursors) g_cursors->draw();
        g_gfx->flush();
        g_interpolator->drawing = false;
        while (g_interpolator->sync(33, static_cast<int>(state_time()))) {
        }
        if (g_frame_hook) g_frame_hook();
        g_core->frame_end();
        handle_close_request();
    }
}
