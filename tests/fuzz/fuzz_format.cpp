// printf formats from data files: the ready-units label of [gameplay] in stringtable.ini, the
// credits' credit_format, and the section-name formats of the tiles and unit types all pass
// is_single_int_format before format_string gets them. A format it accepts must read exactly one
// int: formatting with extra arguments after that int must give the same text (a second
// conversion would pick one of them up). The label is also read through the string table the
// way the battle screen reads it, escapes and all.
#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/ini.h"
#include "framework/misc.h"
#include "game/battle/gameplay.h"
#include "tests/fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static c_ini* table = [] {
        std::filesystem::path old = std::filesystem::current_path();
        std::filesystem::current_path(fuzz_dir());
        c_ini* made = new c_ini("stringtable.ini");
        std::filesystem::current_path(old);
        return made;
    }();
    const std::string format(reinterpret_cast<const char*>(data), size);
    const int value = static_cast<int>(size * 2654435761u);

    if (is_single_int_format(format)) {
        const std::string once = format_string(format.c_str(), value);
        const std::string with_extra =
            format_string(format.c_str(), value, 0x5A5A5A5A, -777777777, 0x13572468, 424242, 999999999);
        FUZZ_CHECK(once == with_extra, "an accepted format reads more than one int: \"" + format + "\"");
        FUZZ_CHECK(once.size() <= 1023, "a formatted text longer than its buffer");
    }

    // Through the string table: a line "aub=<input>" as a player might write it.
    std::string line;
    for (char c : format)
        if (c != '\n' && c != '\r') line += c;
    const std::string file = "[gameplay]\naub=" + line + "\n";
    fuzz_replace_file(table->get_path(), file.data(), file.size());
    c_ini* saved = g_stringtable;
    g_stringtable = table;
    try {
        const std::string label = ready_units_label(value);
        FUZZ_CHECK(label.size() <= 1023, "a label longer than its buffer");
    } catch (const c_err& e) {
        FUZZ_CHECK(e.details.rfind("Unable to", 0) == 0, "a raise that is not a sentence: " + e.details);
    }
    g_stringtable = saved;
    return 0;
}
