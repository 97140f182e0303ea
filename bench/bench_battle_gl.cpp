// A 32 x 32 battle from the game's DATA on the real OpenGL device at 1024 x 768, presented
// without pacing: how long a new battle takes to set up (and its first frame, which draws the
// whole minimap), and frames per second with 1000 live particles, each frame drawn the way the
// battle screen draws it (minimap refresh, selection, map with flags and names, effects, the
// minimap with its view rectangle, the banner). Draw calls per frame are counted by running the
// same frame on the recording device. Then frames of the battle standing still under a fading
// turn banner (each frame changes the banner, so its part of the screen is drawn again), and of
// the fading banner alone over a cleared screen, each drawn from the font's scaled atlas and, in
// alternating blocks of frames, from its own atlas magnified (as before scaled atlases). Prints
// "key=value" lines; needs a display:
//   bash scripts/with_display.sh build/release/bench/bench_battle_gl [seconds] [minute|watch|idle]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interpolator.h"
#include "game/battle/battle_turns.h"
#include "game/battle/explosion.h"
#include "game/battle/gameplay.h"
#include "game/battle/hexmap.h"
#include "game/battle/player.h"
#include "game/battle/unit.h"
#include "game/main.h"
#include "game/record/battle_record.h"
#include "game/record/record.h"
#include "game/record/watch.h"
#include "game/screens/minimap.h"
#include "platform/crt.h"
// The bench also builds on a tree from before the device kept a frame record, to measure
// that tree the same way.
#if __has_include("platform/d3d9/d3d9_gl_frame.h")
#include "platform/d3d9/d3d9_gl_frame.h"
#define HV_FRAME_RECORD 1
#endif
#include "platform/wingdi.h"
#include "tests/fakes/recording_device.h"
#include "tests/game/record/random_orders.h"

namespace {

using bench_clock = std::chrono::steady_clock;

double ms_since(bench_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(bench_clock::now() - t0).count();
}

// CPU time of the whole process (the renderer's threads included), in milliseconds.
double process_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1.0e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The minimap widget's content rectangle on a 768-pixel screen (the widget's frame taken off).
constexpr RECT minimap_content{8, 768 - 88, 120, 768 - 8};
constexpr int live_particles = 1000;

// A seed whose first two draws give 32 columns and 32 rows.
unsigned seed_for_32x32() {
    for (unsigned seed = 1;; ++seed) {
        crt::srand(seed);
        const int cols = 10 + crt::rand() % 23, rows = 10 + crt::rand() % 23;
        if (cols == 32 && rows == 32) return seed;
    }
}

void new_battle(unsigned seed) {
    gameplay_load_static();
    crt::srand(seed);
    gameplay_new_game();
}

// The ini files, the game font and the particle pool; the device's wrapper must be g_gfx.
void load_world() {
    g_rules = new c_ini("rules.ini");
    g_stringtable = new c_ini("stringtable.ini");
    g_interface = new c_ini("interface.ini");
    g_font = new c_font(g_gfx, CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0,
                                           0, 0, 0, 0, g_interface->get_raw("misc", "font_name").c_str()));
    g_particle_pool = new c_particle_pool(live_particles);
    g_show_moves = g_show_names = true;
}

void unload_world() {
    gameplay_unload_static();
    delete g_particle_pool;
    delete g_font;
    delete g_interface;
    delete g_stringtable;
    delete g_rules;
    g_particle_pool = nullptr;
    g_font = nullptr;
    g_interface = g_stringtable = g_rules = nullptr;
}

// Spawns blasts inside the view until `live_particles` particles are in the effect list.
void top_up_particles(c_explosion& blast) {
    while (static_cast<int>(g_effects.size()) < live_particles) {
        const float x = static_cast<float>(scroll_ix + 64 + crt::rand() % 896);
        const float y = static_cast<float>(scroll_iy + 64 + crt::rand() % 640);
        blast.explode(x, x + 48, y, y + 48);
    }
    // An explosion spawns whole: trim the last one's surplus so the count is exact.
    while (static_cast<int>(g_effects.size()) > live_particles) {
        g_effects.back()->release();
        g_effects.pop_back();
    }
}

void update_step(c_interpolator& ip, c_explosion& blast) {
    ip.prev_update_time = ip.update_time;
    ip.update_time += 33;
    update_effects(g_effects);
    update_effects(g_overlays);
    g_map->update_blinks();
    g_unitmanager->update();
    gameplay_turn_step();
    update_banner();
    top_up_particles(blast);
}

// The battle screen's drawing pass, without the buttons (their frames are a few more quads).
void draw_battle(IDirect3DDevice9* device, c_interpolator& ip, c_font* banner_font = nullptr) {
    refresh_minimap();
    ip.drawing = true;
    g_gfx->depth = 0.0f;
    if (c_player* player = current_player()) player->draw_selection();
    g_map->draw(1024, 768);
    g_gfx->flush();
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    draw_effects(g_effects);
    g_gfx->flush();
    draw_effects(g_overlays);
    g_gfx->flush();
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    draw_minimap_widget(minimap_content, 1);
    draw_banner(banner_font ? banner_font : g_font, screen_info{});
    g_gfx->flush();
    ip.drawing = false;
}

// Frames the device has found unchanged so far: not drawn, they wait for the display's next
// frame instead.
uint64_t unchanged_frames() {
#ifdef HV_FRAME_RECORD
    return d3dgl::device_frame_stats().elided;
#else
    return 0;
#endif
}

// How late the system woke the last frame's wait for the display (0 where the device cannot tell).
double last_wake_late_ms() {
#ifdef HV_FRAME_RECORD
    return d3dgl::device_frame_stats().last_wake_late_ms;
#else
    return 0.0;
#endif
}

// A battle in the middle of the map with a selected unit, blinking moves and 1000 particles.
void prepare_scene(c_interpolator& ip, c_explosion& blast) {
    scroll_x = 500;
    scroll_y = 400;
    truncate_scroll();
    if (c_player* player = current_player()) player->select_next();
    g_minimap_dirty.clear();
    minimap_mark_all_dirty();
    top_up_particles(blast);
    ip.draw_time = ip.update_time;
}

// The same battle without effects, as it stands while a player thinks: units with moves left,
// flags bobbing, the selection's moves blinking. Each frame is one update step further, so every
// frame shows something new and none is skipped as unchanged: what is measured is what a changed
// frame costs.
void measure_idle(c_core* core, c_interpolator& ip, double seconds) {
    for (c_effect* e : g_effects)
        e->release();
    g_effects.clear();
    std::vector<double> frame_ms;
#ifdef HV_FRAME_RECORD
    d3dgl::reset_device_frame_stats();
#endif
    const double cpu0 = process_cpu_ms();
    const auto t0 = bench_clock::now();
    double shown_ms = 0.0;
    int shown = 0;
    for (double elapsed = 0.0; elapsed < seconds * 1000.0; elapsed = ms_since(t0)) {
        const auto f0 = bench_clock::now();
        const uint64_t unchanged = unchanged_frames();
        core->frame_begin(0xFF806000);
        draw_battle(core->device, ip);
        ip.prev_update_time = ip.update_time;
        ip.update_time += 33;
        g_map->update_blinks();
        g_unitmanager->update();
        gameplay_turn_step();
        update_banner();
        ip.draw_time = ip.update_time;
        core->frame_end();
        frame_ms.push_back(ms_since(f0));
        if (unchanged_frames() == unchanged) {
            shown_ms += frame_ms.back();
            ++shown;
        }
    }
    // A frame the device finds unchanged is not drawn and waits for the display's next frame
    // instead: the rate is that of the frames that were drawn, over the time they took.
    std::printf("idle_battle_fps=%.1f\n", shown ? shown * 1000.0 / shown_ms : 0.0);
    std::printf("idle_battle_cpu_ms_per_frame=%.3f\n", (process_cpu_ms() - cpu0) / frame_ms.size());
    std::printf("idle_battle_frame_ms_longest=%.3f\n", *std::max_element(frame_ms.begin(), frame_ms.end()));
#ifdef HV_FRAME_RECORD
    const d3dgl::frame_stats& st = d3dgl::device_frame_stats();
    std::printf(
        "idle_battle_frames_partial=%llu\nidle_battle_frames_whole=%llu\nidle_battle_frames_unchanged=%llu\n",
        static_cast<unsigned long long>(st.partial), static_cast<unsigned long long>(st.whole),
        static_cast<unsigned long long>(st.elided));
    if (st.partial + st.whole > 0)
        std::printf("idle_battle_pixels_per_frame=%.0f\n",
                    static_cast<double>(st.damaged_pixels) / static_cast<double>(st.partial + st.whole));
#endif
}

// A GDI that cannot describe its fonts: a font on it has no scaled atlas, and draws scaled text
// from its own atlas magnified.
class no_description_gdi : public c_font_gdi {
  public:
    BOOL get_description(HFONT, LOGFONTA*) override { return FALSE; }
};

struct timed_frames {
    std::vector<double> frame_ms;
    double cpu_ms = 0.0;
    void print(const char* name) const {
        std::printf("%s_frame_ms_median=%.3f\n", name, median(frame_ms));
        std::printf("%s_cpu_ms_per_frame=%.3f\n", name, cpu_ms / static_cast<double>(frame_ms.size()));
    }
};

// Frames drawn by `draw(font)` for `seconds` each, the two fonts taking turns in blocks of 25
// frames after a warm-up, so that a machine busy with other work weighs on both alike. Every
// frame the banner fades a step (from full strength to half, then again), as a turn's banner
// does: it differs from the frame before, and the device draws its part of the screen again.
template <class F>
std::pair<timed_frames, timed_frames> time_ab(c_core* core, double seconds, c_font* a, c_font* b, F&& draw) {
    int step = 0;
    auto frame = [&](c_font* font) {
        g_banner.fade.value = g_banner.fade.prev_value = 255 - step++ % 128;
        core->frame_begin(0xFF806000);
        draw(font);
        core->frame_end();
    };
    for (int i = 0; i < 10; ++i)
        frame(a), frame(b);
    timed_frames out[2];
    const auto t0 = bench_clock::now();
    while (ms_since(t0) < 2 * seconds * 1000.0)
        for (int which = 0; which < 2; ++which) {
            const double cpu0 = process_cpu_ms();
            for (int i = 0; i < 25; ++i) {
                const auto f0 = bench_clock::now();
                frame(which == 0 ? a : b);
                out[which].frame_ms.push_back(ms_since(f0));
            }
            out[which].cpu_ms += process_cpu_ms() - cpu0;
        }
    return {out[0], out[1]};
}

// The turn banner of the current player, over the battle (without effects, nothing else
// moving) and alone.
void measure_banner(c_core* core, c_interpolator& ip, double seconds) {
    const c_player* player = current_player();
    show_banner(player ? player->get_name() : "Victory!", player ? player->get_color() : 0xFFFFFFFF);
    ip.draw_time = ip.update_time;
    no_description_gdi gdi;
    c_font magnified(g_gfx,
                     CreateFontA(g_interface->get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, g_interface->get_raw("misc", "font_name").c_str()),
                     &gdi);
    const auto battle = time_ab(core, seconds, g_font, &magnified,
                                [&](c_font* font) { draw_battle(core->device, ip, font); });
    const auto alone = time_ab(core, seconds, g_font, &magnified, [&](c_font* font) {
        ip.drawing = true;
        draw_banner(font, screen_info{});
        g_gfx->flush();
        ip.drawing = false;
    });
    std::printf("banner_text=%s\n", g_banner.text.c_str());
    battle.first.print("banner_battle");
    battle.second.print("banner_battle_magnified");
    alone.first.print("banner_alone");
    alone.second.print("banner_alone_magnified");
}

// A recorded battle of random orders watched at x16 with every animation, paced at 60 Hz as the
// game paces it: frames per second while the record plays (x16 runs about eight update steps
// a frame).
void measure_watch(c_core* core, c_interpolator& ip) {
    const std::filesystem::path saves = std::filesystem::temp_directory_path() / "harnvale-bench-watch";
    std::filesystem::remove_all(saves);
    std::filesystem::create_directories(saves);
    g_saves_folder = saves.string();
    std::mt19937 rng(11);
    start_battle(11);
    record_begin(11);
    const int orders = 300;
    for (int k = 0; k < orders; ++k) {
        run_until_quiet(nullptr, k, false);
        g_battle_step += 30 + rng() % 120;
        give_order(random_order(rng, 1));
    }
    run_until_quiet(nullptr, orders, false);
    std::ifstream in(record_path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    record_close();
    const record_read read = parse_record(bytes);
    if (read.status != RECORD_OK) {
        std::printf("watch_error=%s\n", read.reason.c_str());
        return;
    }
    c_battle_watch watch(read.record);
    watch.cycle_speed();
    watch.cycle_speed();
    minimap_mark_all_dirty();
    std::vector<double> frame_ms;
    const auto t0 = bench_clock::now();
    double next_step = 0.0;
    while (!(watch.over() && battle_is_quiet()) && ms_since(t0) < 60000.0) {
        const auto f0 = bench_clock::now();
        core->frame_begin(0xFF806000);
        draw_battle(core->device, ip);
        for (const double elapsed = ms_since(t0); elapsed >= next_step; next_step += watch.step_length()) {
            watch.before_step();
            battle_update_step();
            ip.prev_update_time = ip.update_time;
            ip.update_time += watch.step_length();
        }
        ip.draw_time = ip.update_time;
        core->frame_end();
        frame_ms.push_back(ms_since(f0));
    }
    const double total = ms_since(t0);
    std::printf("watch_x16_orders=%zu\n", watch.events_played());
    std::printf("watch_x16_seconds=%.1f\n", total / 1000.0);
    std::printf("watch_x16_fps=%.1f\n", frame_ms.size() * 1000.0 / total);
    std::printf("watch_x16_frame_ms_longest=%.3f\n", *std::max_element(frame_ms.begin(), frame_ms.end()));
    g_saves_folder.clear();
    std::filesystem::remove_all(saves);
}

bool g_idle_only = false;

void measure_gl(double seconds, unsigned seed, bool minute, bool watch) {
    settings_record s{};
    s.is_windowed = TRUE;
    s.window_rect = RECT{0, 0, 1024, 768};
    s.mode = D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8};
    // A battle minute is paced as the game paces it; the rest runs as fast as it can.
    s.present_interval = minute || watch ? D3DPRESENT_INTERVAL_DEFAULT : D3DPRESENT_INTERVAL_IMMEDIATE;
    c_core* core = new c_core("Harnvale battle bench", "", s, 0, 0x1C);
    g_core = core;
    g_gfx = core->gfx;
    c_interpolator ip(static_cast<int>(core->get_cur_time()));
    load_world();
    std::printf("gl_renderer=%s\n", core->adapter_description.c_str());
    if (watch) {
        gameplay_load_static();
        measure_watch(core, ip);
        unload_world();
        g_gfx = nullptr;
        g_core = nullptr;
        delete core;
        return;
    }

    // A new battle: its set-up, and its first frame with the whole minimap drawn.
    std::vector<double> setup, first_frame;
    for (int i = 0; i < 11; ++i) {
        gameplay_unload_static();
        auto t0 = bench_clock::now();
        new_battle(seed);
        setup.push_back(ms_since(t0));
        minimap_mark_all_dirty();
        t0 = bench_clock::now();
        core->frame_begin(0xFF806000);
        draw_battle(core->device, ip);
        core->frame_end();
        first_frame.push_back(ms_since(t0));
    }
    if (!minute) {
        std::printf("new_battle_setup_ms=%.2f\n", median(setup));
        std::printf("new_battle_first_frame_ms=%.2f\n", median(first_frame));
    }

    c_explosion blast("explosion_blast", 50);
    prepare_scene(ip, blast);
    // Warm-up: textures uploaded, shaders compiled.
    for (int i = 0; i < 20; ++i) {
        core->frame_begin(0xFF806000);
        draw_battle(core->device, ip);
        core->frame_end();
    }
    if (g_idle_only) {
        measure_idle(core, ip, seconds);
        unload_world();
        g_gfx = nullptr;
        g_core = nullptr;
        delete core;
        return;
    }
    int frames = 0;
    double next_step = 33.0;
    const double cpu0 = process_cpu_ms();
    const auto t0 = bench_clock::now();
    std::vector<double> frame_ms;
    std::vector<double> own_ms; // without the time the system took to wake the wait for the display
    double drawn_ms = 0.0;
    int drawn = 0;
    for (double elapsed = 0.0; elapsed < seconds * 1000.0; elapsed = ms_since(t0)) {
        const auto f0 = bench_clock::now();
        const uint64_t unchanged = unchanged_frames();
        core->frame_begin(0xFF806000);
        draw_battle(core->device, ip);
        // The world moves on in 33-ms steps of real time, as the interpolator schedules them.
        for (; elapsed >= next_step; next_step += 33.0)
            update_step(ip, blast);
        ip.draw_time = ip.update_time;
        core->frame_end();
        frame_ms.push_back(ms_since(f0));
        own_ms.push_back(frame_ms.back() - last_wake_late_ms());
        ++frames;
        if (unchanged_frames() == unchanged) {
            drawn_ms += frame_ms.back();
            ++drawn;
        }
    }
    const double total = ms_since(t0);
    const double cpu = process_cpu_ms() - cpu0;
    if (minute) {
        std::sort(frame_ms.begin(), frame_ms.end());
        std::printf("battle_minute_frames=%d\n", frames);
        std::printf("battle_minute_frame_ms_longest=%.3f\n", frame_ms.back());
        std::printf("battle_minute_frame_ms_p99=%.3f\n", frame_ms[frame_ms.size() * 99 / 100]);
        // A paced frame ends when the system wakes the program for the display's next frame; on a
        // busy machine that wake-up can come milliseconds late, which is not the frame's work.
        std::sort(own_ms.begin(), own_ms.end());
        std::printf("battle_minute_frame_ms_longest_woken_on_time=%.3f\n", own_ms.back());
        unload_world();
        g_gfx = nullptr;
        g_core = nullptr;
        delete core;
        return;
    }
    std::printf("battle_fps=%.1f\n", frames * 1000.0 / total);
    // Between two steps of the world a frame is the same as the one before: the device does not
    // draw it and waits for the display's next frame. The drawn frames' own rate is apart.
    std::printf("battle_drawn_fps=%.1f\n", drawn ? drawn * 1000.0 / drawn_ms : 0.0);
    // On a loaded machine the frame rate shows the share of the cores the bench got; the CPU
    // time per frame (renderer threads included) is what a frame costs.
    std::printf("battle_cpu_ms_per_frame=%.3f\n", cpu / frames);
    std::printf("battle_frame_ms_median=%.3f\n", median(frame_ms));
    std::printf("battle_frame_ms_longest=%.3f\n", *std::max_element(frame_ms.begin(), frame_ms.end()));
    std::printf("live_particles=%d\n", static_cast<int>(g_effects.size()));
    measure_idle(core, ip, seconds);
    measure_banner(core, ip, seconds);
    unload_world();
    g_gfx = nullptr;
    g_core = nullptr;
    delete core;
}

// The same frame on the recording device, which counts the calls.
void count_draw_calls(unsigned seed) {
    recording_device dev;
    dev.keep_log = false;
    auto gfx = std::make_unique<c_gfx>(&dev, 2.0e-5f);
    g_gfx = gfx.get();
    c_interpolator ip(1000);
    load_world();
    new_battle(seed);
    c_explosion blast("explosion_blast", 50);
    prepare_scene(ip, blast);
    draw_battle(&dev, ip); // the whole minimap, once
    for (int i = 0; i < 3; ++i)
        update_step(ip, blast); // a few units' marks changed, as in play
    dev.clear_log();
    const int frames = 10;
    for (int i = 0; i < frames; ++i)
        draw_battle(&dev, ip);
    const int calls =
        dev.count("DrawPrimitive") + dev.count("DrawPrimitiveUP") + dev.count("DrawIndexedPrimitiveUP");
    std::printf("draw_calls_per_frame=%.1f\n", static_cast<double>(calls) / frames);
    // The program's own CPU time per frame, without any rendering: the same frame on a device
    // that only records.
    std::vector<double> own;
    for (int i = 0; i < 200; ++i) {
        const auto t0 = bench_clock::now();
        draw_battle(&dev, ip);
        own.push_back(ms_since(t0));
    }
    std::printf("frame_cpu_outside_gl_ms=%.3f\n", median(own));
    if (std::getenv("HV_BENCH_BREAKDOWN")) {
        dev.keep_log = true;
        dev.clear_log();
        draw_battle(&dev, ip);
        std::map<std::string, int> kinds;
        for (const recorded_call& c : dev.log())
            if (c.draw_index >= 0) {
                const draw_record& d = dev.draws()[c.draw_index];
                kinds[c.name + " fvf " + std::to_string(d.fvf) + " type " + std::to_string(d.type) + " tex " +
                      rec_arg(d.texture)]++;
            }
        for (auto& [k, n] : kinds)
            std::printf("  %5d %s\n", n, k.c_str());
    }
    std::printf("units=%d\n", static_cast<int>(g_unitmanager->get_all().size()));
    unload_world();
    g_gfx = nullptr;
}

} // namespace

int main(int argc, char** argv) {
    setenv("HARNVALE_NONINTERACTIVE", "1", 1);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    // "minute": one paced battle minute with 1000 particles, for its longest frame; "watch": a
    // recorded battle watched at x16.
    const bool minute = argc > 2 && std::string(argv[2]) == "minute";
    const bool watch = argc > 2 && std::string(argv[2]) == "watch";
    // "idle": the idle battle alone, for a profiler.
    g_idle_only = argc > 2 && std::string(argv[2]) == "idle";
    const auto old_cwd = std::filesystem::current_path();
    std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
    const unsigned seed = seed_for_32x32();
    try {
        measure_gl(minute ? 60.0 : seconds, seed, minute, watch);
        if (!minute && !watch && !g_idle_only) count_draw_calls(seed);
    } catch (const c_err& e) {
        std::fprintf(stderr, "%s\n", e.get_report().c_str());
        return 1;
    }
    std::filesystem::current_path(old_cwd);
    return 0;
}
