// Battles made from the game's own DATA on the recording device: the INI files of DATA (rules.ini
// may be replaced by an edited copy), a settings.ini with a scroll speed, a particle pool, a
// font with fixed metrics as the game font, and the battle released after each test.
#pragma once
#include <string>

#include "framework/cursor.h"
#include "game/battle/gameplay.h"
#include "tests/game/battle_fixture.h"

inline std::string data_dir() {
    return std::string(HV_SOURCE_DIR) + "/DATA";
}

class data_battle_test : public battle_test {
  protected:
    data_battle_test() {
        write_file(dir.file("settings.ini"), "[misc]\nscroll_speed=10\n");
        {
            cwd_guard cwd(dir.path());
            g_settings = new c_ini("settings.ini");
        }
        cwd_guard cwd(data_dir());
        delete g_rules;
        g_rules = new c_ini("rules.ini");
        g_stringtable = new c_ini("stringtable.ini");
        g_interface = new c_ini("interface.ini");
        g_particle_pool = new c_particle_pool(100);
        g_font = &font();
    }
    ~data_battle_test() override {
        gameplay_unload_static();
        g_font = nullptr;
        delete g_settings;
        delete g_stringtable;
        delete g_interface;
        g_settings = g_stringtable = g_interface = nullptr;
    }
    // Replaces rules.ini by DATA's with every `from` replaced by `to`.
    void edit_rules(const std::string& from, const std::string& to) {
        std::string text = read_file(data_dir() + "/rules.ini");
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        write_file(dir.file("rules.ini"), text);
        cwd_guard cwd(dir.path());
        delete g_rules;
        g_rules = new c_ini("rules.ini");
    }
    void replace_stringtable(const std::string& text) {
        write_file(dir.file("stringtable.ini"), text);
        cwd_guard cwd(dir.path());
        delete g_stringtable;
        g_stringtable = new c_ini("stringtable.ini");
    }
    // A new battle from a seed, with DATA as the current folder while its pictures load.
    void new_battle(unsigned seed) {
        gameplay_unload_static();
        cwd_guard cwd(data_dir());
        crt::srand(seed);
        gameplay_load_static();
        gameplay_new_game();
    }
};
