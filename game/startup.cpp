#include "game/startup.h"

#include <climits>

#include "platform/wingdi.h"

namespace {
// The longest name opened below the start directory: DATA's "stringtable.ini".
constexpr size_t k_longest_relative_path = sizeof "/DATA/stringtable.ini" - 1;
} // namespace

void enter_data_directory() {
    enter_data_directory(get_current_directory());
}

void enter_data_directory(const std::string& start) {
    const char* fn = "enter_data_directory";
    if (start.empty()) HV_RAISE("Unable to read the start directory.", fn, 0, nullptr);
    // Absolute paths of the data files must stay below the system's limit to be opened at all.
    if (start.size() + k_longest_relative_path >= PATH_MAX)
        HV_RAISE("Unable to use the start directory, its path of " + std::to_string(start.size()) +
                     " bytes is too long: \"" + start + "\".",
                 fn, 0, nullptr);
    if (!SetCurrentDirectoryA((start + PATH_SEPARATOR + "DATA").c_str()))
        HV_RAISE("Unable to find the DATA folder in \"" + start + "\".", fn, 0, nullptr);
}

HFONT create_game_font(const c_ini& looks) {
    // The game's own copy of its font (a player's system may have none of that name), for this
    // process only. Without the file, the system's face of that name is used, or a fallback.
    const std::string file = looks.get_raw("misc", "font_file");
    if (!file.empty()) AddFontResourceExA(file.c_str(), FR_PRIVATE, nullptr);
    HFONT font = CreateFontA(looks.get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             looks.get_raw("misc", "font_name").c_str());
    if (!font) HV_RAISE("Unable to create the game font.", "main_routine", 0, nullptr);
    return font;
}
