// The game states: one full-screen state at a time, each a loop of frames that runs until
// g_game_state names another one. The dispatcher calls the loop of the current state; this header
// also holds what every state loop shares: reading the frame's input once, the close request run
// as a modal exit screen, and the hooks automated runs and tests use.
//
// Index: state values; state loops; the dispatcher; the frame's input; the shared frame steps;
// hooks for tests and automated runs.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/d3d9.h"

// ---- state values
enum game_state_value : int {
    GS_QUIT = 0,     // no loop: the dispatcher stops and the program ends
    GS_MAINMENU = 1, // gs_mainmenu
    GS_EXITSCREEN,   // gs_exitscreen
    GS_OPTIONS,      // gs_options
    GS_GAMEPLAY,     // gs_gameplay
    GS_CREDITS,      // gs_credits
    GS_LOADGAME,     // gs_loadgame
    GS_NETWORK,      // gs_network
};
extern int g_game_state;

// ---- state loops: each returns once g_game_state is no longer its own value.
void gs_mainmenu();
// Also run modally by the close request (run_exit_screen_modal); returns after one decision.
void gs_exitscreen();
void gs_options();
// Needs a battle set up (gameplay_load_static, gameplay_new_game); releases it on leaving.
void gs_gameplay();
void gs_credits();
// The list of recorded battles: continue one, watch one from its start, delete one.
void gs_loadgame();
// Hosting or joining a battle over the network (game/screens/net_screen.h).
void gs_network();

// True until the main menu has passed its opening logo once in this run.
extern bool g_opening_logo;

// ---- the dispatcher
// Runs the loop of the current state; a value without a loop runs one idle frame so the window
// keeps answering (and a close request can still end the program).
void run_state(int state);
// Runs states until GS_QUIT.
void run_states();

// ---- the frame's input
// Read once per frame by read_frame_input: the mouse in client pixels (g_mouse_x / g_mouse_y of
// gameplay.h), its four button bytes and the keyboard array g_kb_state (with the previous frame's
// in g_kb_previous, gameplay.h). Every widget and the battle read these and nothing else.
extern BYTE g_mouse_buttons[4];
// Reads the mouse and keyboard of this frame into the globals above and moves the drawn
// cursor to the mouse.
void read_frame_input();

// ---- shared frame steps
// The state loops' clock in milliseconds (the core's, unless a test supplies its own).
std::uint32_t state_time();
// Restarts the interpolator at state_time() with an empty schedule.
void restart_interpolator();
// The device check at the top of each frame: true when the device was lost and has been
// reset (the interface assets and the battle's surfaces are rebuilt by then); the caller
// lays out what depends on the screen size.
bool check_device();
// Device resets so far: a screen that was not running when one happened (under the modal exit
// screen, say) compares this with the count it last saw and lays itself out again.
extern int g_device_resets;
// The close request at the bottom of each frame (and the automated runs' frame limit): runs the
// exit screen modally unless it is showing already, in which case the program quits at once.
// Returns true when it ran the exit screen (the caller restarts its clock).
bool handle_close_request();
// Sets GS_EXITSCREEN, runs gs_exitscreen and puts the asking state back unless the answer was
// to quit.
void run_exit_screen_modal();

// ---- hooks for tests and automated runs
// HARNVALE_QUIT_AFTER_FRAMES=N: the program ends normally once N frames have been presented.
bool frame_limit_reached();
// When set, replaces reading the devices in read_frame_input (tests script the input).
extern std::function<void()> g_input_source;
// When set, replaces the core's clock in state_time.
extern std::function<std::uint32_t()> g_clock_source;
// Called once in every frame of every state loop, after drawing and the update steps, just
// before the frame is presented (the back buffer holds the finished frame).
extern std::function<void()> g_frame_hook;

// HARNVALE_STATE_FILE=path: after every frame whose report changed, the program writes a few
// "key=value" lines on the state it shows (state, battle, selection, banner, the units' hit
// points, the battle's record, a watched record's pace, the list of recorded battles) to that file, so
// that whole-program tests can check each step. Returns the report text.
std::string state_report();
// What the report says is on screen besides the state: the logo's alpha in the last frame (0
// when none was drawn) and whether the main menu is in its logo phase.
extern int g_logo_shown;
extern bool g_in_logo_phase;
void write_state_report();
