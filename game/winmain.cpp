#include "framework/err.h"
#include "game/main.h"

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    return run_guarded(main_routine);
}
