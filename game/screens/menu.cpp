// The main menu with its opening logo, and the exit screen that asks before the program ends.
#include <algorithm>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/cursor_index.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/battle/gameplay.h"
#include "game/record/battle_record.h"
#include "game/screens/screen.h"
#include "game/screens/states.h"
#include "platform/crt.h"
#include "platform/dinput.h"

namespace {

// ---- the logo

// Over the whole client area, white tinted by nothing, `alpha` opaque.
void draw_logo(int alpha) {
    g_logo_shown = 0;
    if (!g_logo || alpha <= 0) return;
    g_logo_shown = std::min(alpha, 255);
    int w = 0, h = 0;
    g_core->get_client_size(w, h);
    const D3DCOLOR colour = (static_cast<D3DCOLOR>(std::min(alpha, 255)) << 24) | 0xFFFFFF;
    g_gfx->draw_quad_tra(0, 0, w, h, 0.0f, 0.0f, g_logo->get_texture(), 0.0f, 1.0f, 0.0f, 1.0f, colour);
}

// A click is a press, as everywhere else: the button goes down while the logo shows. One that
// is down already on the logo's first frame (still held from starting the game, say) must come
// up before it counts.
bool logo_skipped(bool& button_was_down) {
    const bool button_down = (g_mouse_buttons[0] & 0x80) != 0;
    const bool pressed = button_down && !button_was_down;
    button_was_down = button_down;
    return pressed || key_down(DIK_ESCAPE);
}

// The opening logo fades in over black by 3 per 33 ms step. A click or Escape skips it, and
// then no logo is shown over the menu either (the fade is set to 0).
void run_logo_phase(c_interp_int& fade) {
    bool button_was_down = true;
    while (fade.get() < 255 && g_game_state == GS_MAINMENU) {
        check_device();
        g_core->frame_begin(0xFF000000);
        read_frame_input();
        if (logo_skipped(button_was_down)) {
            fade = c_interp_int{};
            g_logo_shown = 0;
            if (g_frame_hook) g_frame_hook();
            g_core->frame_end();
            handle_close_request();
            return;
        }
        g_interpolator->drawing = true;
        draw_logo(fade.get());
        g_gfx->flush();
        g_interpolator->drawing = false;
        while (g_interpolator->sync(33, static_cast<int>(state_time())))
            fade.set(std::min(fade.value + 3, 255));
        if (g_frame_hook) g_frame_hook();
        g_core->frame_end();
        first_frame_shown();
        handle_close_request();
    }
}

// ---- button actions

void start_new_battle(c_button*) {
    // A battle is built whole before the state changes, so the battle screen's first frame
    // finds everything it needs.
    // The battle is made from where the random stream stands now; the record keeps that seed.
    const std::uint32_t seed = crt::get_seed();
    start_battle(seed);
    record_begin(seed);
    // The view belongs to the new battle from the start: whatever reads it before the battle
    // screen's first frame (the automated-run report does) must not see the last battle's.
    gameplay_initial_view(get_screen());
    g_game_state = GS_GAMEPLAY;
}
void to_options(c_button*) {
    g_game_state = GS_OPTIONS;
}
void to_loadgame(c_button*) {
    g_game_state = GS_LOADGAME;
}
void to_network(c_button*) {
    g_game_state = GS_NETWORK;
}
void to_credits(c_button*) {
    g_game_state = GS_CREDITS;
}
void to_exitscreen(c_button*) {
    g_game_state = GS_EXITSCREEN;
}
void to_mainmenu(c_button*) {
    g_game_state = GS_MAINMENU;
}
void to_quit(c_button*) {
    g_game_state = GS_QUIT;
}

void set_arrow_cursor() {
    if (g_cursors) g_cursors->set_cursor(CURSOR_ARROW);
}

// The ten widgets: a column of framed buttons along the right edge over the background.
void build_main_menu(c_screen& s) {
    const c_gui_settings* look = &g_gui_settings;
    if (g_stringtable) g_stringtable->set_section("mainmenu");
    s.add<c_picture>(look, g_mainmenu_background);
    s.add<c_button>(look, 405, 5, 800, 70, screen_label("welcome"), 0, nullptr, MODE_INACTIVE, 0x1Du);
    s.add<c_button>(look, 405, 75, 800, 145, screen_label("newgame"), DIK_S, start_new_battle, MODE_ACTIVE,
                    0x15u);
    s.add<c_button>(look, 405, 145, 800, 215, screen_label("loadgame"), DIK_L, to_loadgame, MODE_ACTIVE,
                    0x11u);
    s.add<c_button>(look, 405, 215, 800, 285, screen_label("multigame"), DIK_M, to_network, MODE_ACTIVE,
                    0x11u);
    // Shown and highlighted like the others, but there is nothing behind it yet.
    s.add<c_button>(look, 405, 285, 800, 355, screen_label("editor"), DIK_E, nullptr, MODE_ACTIVE, 0x11u);
    s.add<c_button>(look, 405, 355, 800, 425, screen_label("options"), DIK_O, to_options, MODE_ACTIVE, 0x11u);
    s.add<c_button>(look, 405, 425, 800, 495, screen_label("credits"), DIK_C, to_credits, MODE_ACTIVE, 0x11u);
    s.add<c_button>(look, 405, 495, 800, 565, screen_label("exitgame"), DIK_X, to_exitscreen, MODE_ACTIVE,
                    0x19u);
}

void build_exit_screen(c_screen& s) {
    const c_gui_settings* look = &g_gui_settings;
    if (g_stringtable) g_stringtable->set_section("exitscreen");
    s.add<c_picture>(look, g_exitscreen_background);
    s.add<c_button>(look, 405, 5, 800, 70, screen_label("ask"), 0, nullptr, MODE_INACTIVE, 0x1Du);
    s.add<c_button>(look, 405, 75, 800, 145, screen_label("no"), DIK_C, to_mainmenu, MODE_ACTIVE, 0x15u);
    s.add<c_button>(look, 405, 145, 800, 215, screen_label("yes"), DIK_X, to_quit, MODE_ACTIVE, 0x19u);
}

} // namespace

void gs_mainmenu() {
    restart_interpolator();
    c_interp_int fade;
    if (g_opening_logo) {
        g_in_logo_phase = true;
        run_logo_phase(fade);
        g_in_logo_phase = false;
    }
    g_opening_logo = false;
    set_arrow_cursor();
    prefetch_menu_pictures();
    {
        c_screen screen(&g_gui_settings);
        build_main_menu(screen);
        // The logo fades out over the menu only after it was shown in full.
        while (g_game_state == GS_MAINMENU)
            run_menu_frame(
                screen, [&] { draw_logo(fade.get()); }, 33,
                [&] {
                    first_frame_shown(); // when the menu opens without the logo
                    if (fade.value > 0)
                        fade.set(std::max(fade.value - 3, 0));
                    else if (g_logo)
                        release_logo();
                });
    }
    release_logo();
    g_logo_shown = 0;
    set_arrow_cursor();
}

void gs_exitscreen() {
    c_screen screen(&g_gui_settings);
    build_exit_screen(screen);
    while (g_game_state == GS_EXITSCREEN)
        run_menu_frame(screen, nullptr, 33, nullptr);
}
