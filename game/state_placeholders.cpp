// Screens that are not built yet lead straight back to the main menu.
#include "game/states.h"

void gs_options() {
    g_game_state = GS_MAINMENU;
}

void gs_credits() {
    g_game_state = GS_MAINMENU;
}
