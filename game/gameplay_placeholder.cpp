// Until the battle screen exists a new battle leads straight back to the main menu.
#include "game/gameplay.h"
#include "game/states.h"

void gs_gameplay() {
    gameplay_unload_static();
    g_game_state = GS_MAINMENU;
}
