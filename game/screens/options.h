// The options screen: the display settings (window or full screen, the display mode, vertical
// sync), the diagnostics level and the two battle display switches. Its state loop is
// gs_options (game/screens/states.h); the screen itself is a class so that it can be driven without a
// core or a window.
#pragma once
#include <memory>

#include "framework/core.h"
#include "framework/gui/gui.h"

class c_screen;

// What the screen edits: the core's display settings and its settings-changed flag (a set flag
// makes the next frame rebuild the device from the settings), the core's diagnostics level and
// the battle's show switches.
struct options_target {
    settings_record* record;
    bool* settings_changed;
    int* debug_level;
    bool* show_moves;
    bool* show_names;
};

// The number of diagnostics levels the debug list offers (0 none .. 3 everything).
constexpr int num_debug_levels = 4;

class c_options_screen {
  public:
    // Builds the widgets (labels from the current string-table section, g_stringtable's) and
    // sets them from the target. `d3d` lists the display modes (null: g_d3d).
    c_options_screen(const options_target& target, IDirect3D9* d3d = nullptr);
    ~c_options_screen();
    c_options_screen(const c_options_screen&) = delete;
    c_options_screen& operator=(const c_options_screen&) = delete;

    // Every frame before the widgets' update: the mode list can only be used while full screen
    // is chosen, and a chosen diagnostics level takes effect at once.
    void before_update();
    // After the widgets' update: "cancel" puts the diagnostics level of entry back; "ok" stores
    // the chosen settings.
    void after_update();

    // The display settings "ok" would store: the chosen window mode, the selected display mode
    // (the record's own when none is selected) and the sync interval. Full screen is only kept
    // with a display mode the adapter lists, so a start in full screen never fails on it.
    settings_record chosen_settings() const;
    // "ok": stores the chosen settings and raises the settings-changed flag only when they
    // differ from the record; then the show switches.
    void apply_ok();
    // "cancel": the diagnostics level of entry, nothing else.
    void apply_cancel();

    c_screen& screen() { return *screen_; }
    int get_entry_debug_level() const { return entry_debug_level_; }

    c_button* ok = nullptr;
    c_button* cancel = nullptr;
    c_listbox* window_list = nullptr;
    c_listdropper* window_dropper = nullptr;
    c_listitem* windowed_item = nullptr;
    c_listitem* fullscreen_item = nullptr;
    c_modebox* modes = nullptr;
    c_listdropper* mode_dropper = nullptr;
    c_checkbox* vsync = nullptr;
    c_listbox* debug_list = nullptr;
    c_listdropper* debug_dropper = nullptr;
    c_listitem* debug_items[num_debug_levels] = {};
    c_checkbox* show_moves = nullptr;
    c_checkbox* show_names = nullptr;

  private:
    void build(IDirect3D9* d3d);
    void set_initial_values();
    bool mode_listed(const D3DDISPLAYMODE& mode) const;

    options_target target_;
    int entry_debug_level_;
    std::unique_ptr<c_screen> screen_;
    std::vector<std::unique_ptr<c_listitem>> items_;
};
