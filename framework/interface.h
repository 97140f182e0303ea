// The interface side of the program: the assets read from interface.ini (cursors, full-screen
// pictures, widget looks) and what a game state calls when the core's device check fails.
#pragma once
#include "framework/cursor.h"
#include "framework/gfx.h"
#include "framework/gui/gui.h"

// The looks of the widgets: the common one and its variants (whole copies of it with their own
// section of interface.ini read over them).
extern c_gui_settings g_gui_settings;
extern c_gui_settings g_minimap_gui_settings;
extern c_gui_settings g_aub_gui_settings;
extern c_gui_settings g_etb_gui_settings;
extern c_gui_settings g_checkbox_gui_settings;

// Full-screen pictures (shared images; null before load_interface).
extern c_image* g_mainmenu_background;
extern c_image* g_exitscreen_background;
extern c_image* g_options_background;
extern c_image* g_logo;

// Starts decoding every picture g_interface names on worker threads, so that load_interface
// finds them decoded; the exit screen's and the options' backgrounds, which the menu does not
// open with, at a lower priority and only once first_frame_shown was called. Call as soon as g_interface
// exists: making the device takes long enough to decode the rest meanwhile. load_interface calls it when
// nobody did.
void prefetch_interface();
// Reads g_interface once at start-up, after g_gfx and the game font g_font exist: the 26
// cursors into a new g_cursors (then cursor 0 is current), the four pictures, and the five gui
// settings records with the screen size of the core's display. Raises "Unable to create
// texture." / "Unable to create cursor texture." for image files that cannot be loaded, and
// refuses a listitem_height below 1. The exit screen's and the options' backgrounds become
// textures when first drawn: a file of theirs that is missing or no picture is reported here,
// one that only fails to decode when the screen first opens.
void load_interface();
// The same with a given screen size (for tests and tools without a core).
void load_interface(int screen_width, int screen_height);
// Gives up every asset load_interface made (cursors, pictures, the settings' images) and every
// picture decoded ahead and not taken, and clears the globals. Safe to call when nothing was
// loaded, and a later load_interface makes the logo again. Call before the graphics wrapper
// goes.
void release_interface();

// The logo opens the program once: after its fade its picture is let go of, and a later
// load_interface (a change of display) neither decodes nor loads it again; g_logo is null then.
void release_logo();
// The program's first frame is on the screen: the pictures decoded in the background, held
// until now so that they do not slow the start, go ahead. Only the first call does anything.
void first_frame_shown();
// The options' background (also behind the records list and the network screen) shows only on
// screens the main menu opens. While a battle is on it is let go of, its texture and any pixels
// decoded ahead; prefetch_menu_pictures decodes it again in the background once the menu is
// back, and it becomes a texture when those screens first draw it, as at start-up.
void rest_menu_pictures();
void prefetch_menu_pictures();

// After a failed device check: releases the game font's per-frame buffers, lets the core wait
// for and reset the device (the core rebuilds its own and the graphics wrapper's resources),
// rebuilds the game font's buffers, takes the display size into g_gui_settings, makes cursor 0
// current and restarts the interpolator so the time spent waiting is not caught up. The caller
// lays out its widgets again afterwards.
void recover_device();
