// Where the game reads its data and keeps a player's files.
//
// Started in a folder that holds DATA (the source tree, an unpacked copy) the game keeps
// everything in that start directory: settings.ini beside DATA, the battle records in saves/ and
// the error report in the current directory. Installed, DATA is read-only and shared by every
// user, so the game reads it from its installation and keeps each player's settings, records and
// error report in that player's own folders. The whole choice is made here, in one place; the
// rest of the program only uses the paths.
#pragma once
#include <string>

struct game_folders {
    std::string share;     // the folder that holds DATA
    std::string settings;  // settings.ini, full path
    std::string defaults;  // what a missing settings.ini is made from; empty: a missing one stays so
    std::string saves;     // the folder of battle records
    std::string report;    // error.txt, full path; empty: error.txt in the current directory
    bool per_user = false; // the player's own folders, made as needed by prepare_player_files
};

// What the choice depends on. read_folder_facts gathers it from the system; tests make it up.
struct folder_facts {
    bool windows = false;
    std::string start;             // the current directory at start-up
    bool start_has_data = false;   // start holds a DATA folder
    std::string exe_dir;           // the folder of the executable
    bool installed_data = false;   // installed_share(exe_dir) holds a DATA folder
    bool exe_dir_writable = false; // files can be made beside the executable (asked on Windows only)
    bool start_is_exe_dir = false; // started in the executable's own folder (asked on Windows only)
    std::string home;              // the home folder: $HOME, else the user's account entry
    std::string xdg_config_home, xdg_data_home, xdg_state_home; // as the environment has them
    std::string appdata; // Windows: the user's roaming application-data folder
};

// The folder an installation keeps DATA in, for an executable in exe_dir: ../share/harnvale on
// Linux, whatever the prefix; the executable's own folder on Windows (the unpacked zip).
std::string installed_share(const std::string& exe_dir, bool windows);

// The rule. A DATA folder in the start directory wins and everything stays there, as it always
// has. Otherwise, when the installation holds DATA:
// - Linux: settings.ini in $XDG_CONFIG_HOME/harnvale, records in $XDG_DATA_HOME/harnvale/saves,
//   error.txt in $XDG_STATE_HOME/harnvale; a variable that is unset, empty or not a full path
//   stands for ~/.config, ~/.local/share and ~/.local/state. A missing settings.ini is made from
//   the installation's default_settings.ini.
// - Windows: all of them beside the executable when that folder is writable (a zip unpacked where
//   the player may write), else in %APPDATA%\Harnvale. This holds also when the game is started
//   in its own folder (a double click does that), although that folder holds DATA.
// With neither, the start directory is kept, and entering DATA reports what is missing there.
// Raises, naming the variable, when the player's folders cannot be found (no home folder, no
// application-data folder).
game_folders choose_folders(const folder_facts& facts);

// The facts of this process: its current directory, executable, environment and account.
folder_facts read_folder_facts();

// For the player's own folders: makes them, makes settings.ini from the defaults when it is
// missing, and checks that it is a settings file the game can use. Raises with a sentence that
// names the path when a folder cannot be made, or when settings.ini is not a readable file, cannot
// be made, or has no display settings (the game always writes them, so the file is damaged).
// Does nothing for a run from the start directory.
void prepare_player_files(const game_folders& folders);
