// The game font checked as the program makes it.
#pragma once
#include <string>

#include "framework/ini.h"

// Makes the game font from interface.ini with the program's own start-up code and paints its
// atlas with the program's own font code (on a recording device, so no window is needed).
// Returns "" when the program could use the font, or the sentence the program would end with.
std::string game_font_refusal(const c_ini& interface);
