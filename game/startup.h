// Start-up steps of the main routine that check what the player's machine hands the program:
// the start directory with its DATA folder, and the game font named in interface.ini.
#pragma once
#include <string>

#include "framework/ini.h"
#include "platform/win32.h"

// Makes the DATA folder in `folder` current: the start directory, or an installation's share
// folder. Raises, naming the folder it looked in, when there is no DATA folder there (or DATA is
// a file), or when that folder's path is too long for the files below it to be opened.
void enter_data_directory(const std::string& folder);
// The same in the current directory.
void enter_data_directory();

// The game font: interface.ini's [misc] font_name at the height font_size. Raises "Unable to
// create the game font." when the platform gives no font.
HFONT create_game_font(const c_ini& looks);
