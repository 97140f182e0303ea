// The widget toolkit on the recording device: one update and one draw of the options screen's
// fifteen widgets (root, picture, two buttons, four labels, two droppers with their lists, the
// mode box with its field, three check boxes) built from DATA's interface.ini and string table.
//   build/release/bench/bench_gui
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/gui/gui.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "platform/wingdi.h"
#include "tests/fakes/recording_device.h"

namespace {

struct options_screen {
    std::filesystem::path old_cwd = std::filesystem::current_path();
    recording_device dev;
    recording_d3d d3d;
    std::unique_ptr<c_gfx> gfx;
    std::vector<std::unique_ptr<c_widget>> widgets;
    std::vector<std::unique_ptr<c_listitem>> items;
    c_panel* root = nullptr;
    c_listdropper* mode_field = nullptr;
    BYTE keys[256] = {};
    BYTE left = 0;

    options_screen() {
        std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
        dev.keep_log = false; // a log that grows every frame would measure the fake, not us
        gfx = std::make_unique<c_gfx>(&dev, 2.0e-5f);
        g_gfx = gfx.get();
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_font = new c_font(gfx.get(),
                            CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
        load_interface(1024, 768);
        d3d.modes.clear();
        for (UINT w : {640u, 800u, 1024u, 1280u})
            for (UINT rate : {60u, 75u})
                d3d.modes.push_back(D3DDISPLAYMODE{w, w * 3 / 4, rate, D3DFMT_X8R8G8B8});
        build();
    }
    ~options_screen() {
        widgets.clear();
        items.clear();
        release_interface();
        delete g_font;
        delete g_interface;
        delete g_stringtable;
        g_font = nullptr;
        g_interface = g_stringtable = nullptr;
        g_gfx = nullptr;
        gfx.reset();
        std::filesystem::current_path(old_cwd);
    }

    template <class T> T* add(T* w) {
        widgets.emplace_back(w);
        if (root) root->add_child(w);
        return w;
    }
    std::string text(const char* key) { return g_stringtable->get_string("options", key); }
    c_listbox* list_of(int l, int t, int r, int b, std::initializer_list<const char*> keys_) {
        auto* list = new c_listbox(&g_gui_settings, l, t, r, b, 0xC8, 0xD0, FRAME_ALL | FRAME_FIT, 0);
        for (const char* k : keys_) {
            items.push_back(std::make_unique<c_listitem>(text(k)));
            list->add_item(items.back().get());
        }
        return list;
    }
    void label(const char* key, int l, int t, int r, int b, unsigned flags) {
        add(new c_button(&g_gui_settings, l, t, r, b, text(key), 0, nullptr, MODE_INACTIVE, flags));
    }

    void build() {
        c_gui_settings* g = &g_gui_settings;
        root = add(new c_panel(g, 0, 0, 800, 600, MODE_ACTIVE, 0));
        add(new c_picture(g, g_options_background));
        add(new c_button(g, 5, 0, 400, 70, text("ok"), 0x1E, nullptr, MODE_ACTIVE, 0x19));
        add(new c_button(g, 400, 0, 795, 70, text("cancel"), 0x2E, nullptr, MODE_ACTIVE, 0x1A));
        label("cg", 0, 75, 800, 105, 0x1C);
        label("vc", 5, 110, 300, 140, 0x1F);
        c_listbox* window_list = list_of(305, 140, 795, 595, {"witem", "fitem"});
        add(new c_listdropper(g, 305, 110, 795, 140, window_list, 0, MODE_ACTIVE, FRAME_ALL));
        add(window_list);
        label("rc", 5, 145, 300, 175, 0x1F);
        auto* modes = new c_modebox(g, 305, 175, 795, 595, 0xC8, 0xD0, FRAME_ALL | FRAME_FIT, 0,
                                    settings_record{}, &d3d);
        mode_field = add(new c_listdropper(g, 305, 145, 795, 175, modes, 0, MODE_ACTIVE, FRAME_ALL));
        add(modes);
        add(new c_checkbox(&g_checkbox_gui_settings, 35, 180, 795, 210, text("vscb"), 0x2F, true));
        label("dmc", 5, 215, 300, 245, 0x1F);
        c_listbox* debug_list = list_of(305, 245, 795, 595, {"dmli0", "dmli1", "dmli2", "dmli3"});
        add(new c_listdropper(g, 305, 215, 795, 245, debug_list, 0, MODE_ACTIVE, FRAME_ALL));
        add(debug_list);
        label("cp", 0, 250, 800, 280, 0x1C);
        add(new c_checkbox(&g_checkbox_gui_settings, 35, 285, 795, 315, text("smcb"), 0x32, true));
        add(new c_checkbox(&g_checkbox_gui_settings, 35, 320, 795, 350, text("sncb"), 0x31, false));
        root->layout();
    }
};

// The mouse over the "ok" button, nothing pressed: the steady state of a frame.
void BM_options_update(benchmark::State& state) {
    options_screen s;
    for (auto _ : state)
        s.root->update(200, 35, &s.left, s.keys);
    state.counters["widgets"] =
        static_cast<double>(s.widgets.size() - 3); // the lists count with their fields
}
BENCHMARK(BM_options_update)->Unit(benchmark::kMicrosecond);

void draw_screen(benchmark::State& state, options_screen& s) {
    s.root->update(200, 35, &s.left, s.keys);
    s.dev.clear_log();
    for (auto _ : state) {
        s.gfx->depth = 0.0f;
        s.root->draw();
        s.gfx->flush();
    }
    state.counters["draw_calls"] = benchmark::Counter(
        static_cast<double>(s.dev.count("DrawPrimitive") + s.dev.count("DrawPrimitiveUP")) /
        static_cast<double>(state.iterations()));
}

void BM_options_draw(benchmark::State& state) {
    options_screen s;
    draw_screen(state, s);
}
BENCHMARK(BM_options_draw)->Unit(benchmark::kMicrosecond);

// The same with the mode box's list open over the lower half of the screen.
void BM_options_draw_mode_list_open(benchmark::State& state) {
    options_screen s;
    s.mode_field->open();
    draw_screen(state, s);
}
BENCHMARK(BM_options_draw_mode_list_open)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
