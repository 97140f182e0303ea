// The profile-string engine under arbitrary file contents: every typed reader on every section
// and key the file holds and on the keys the program reads from settings.ini, then the writers,
// which must change exactly the one key they write and keep every other value readable as
// before.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "framework/ini.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Names as the reader compares them: trimmed, ASCII letters folded.
std::string folded(const std::string& s) {
    std::string t = trimmed(s);
    for (char& c : t)
        if (static_cast<unsigned char>(c) < 128)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

using name_pair = std::pair<std::string, std::string>;

// Section and key names that appear in the text, found independently of the reader; names that
// cannot be passed through a C string or that hold a line break are left out.
std::vector<name_pair> names_in(const std::string& text) {
    std::vector<name_pair> out;
    std::string section;
    bool in_section = false;
    size_t pos = 0;
    while (pos < text.size() && out.size() < 3) {
        size_t nl = text.find('\n', pos);
        std::string line = trimmed(text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line[0] == '[') {
            size_t close = line.find(']');
            section = trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            in_section = true;
            continue;
        }
        size_t eq = line.find('=');
        if (!in_section || eq == std::string::npos || line[0] == ';') continue;
        std::string key = trimmed(line.substr(0, eq));
        if (section.empty() || key.empty() || section.find('\0') != std::string::npos ||
            key.find('\0') != std::string::npos || section.find('\r') != std::string::npos ||
            key.find('\r') != std::string::npos)
            continue;
        out.emplace_back(section, key);
    }
    return out;
}

// What the program reads from settings.ini, with the types it reads them as.
const std::vector<name_pair>& settings_keys() {
    static const std::vector<name_pair> keys = {{"screen", "is_windowed"},
                                                {"screen", "left"},
                                                {"screen", "right"},
                                                {"screen", "top"},
                                                {"screen", "bottom"},
                                                {"screen", "width"},
                                                {"screen", "height"},
                                                {"screen", "depth"},
                                                {"screen", "refresh_rate"},
                                                {"screen", "adapter"},
                                                {"screen", "present_immediate"},
                                                {"misc", "debug"},
                                                {"misc", "show_moves"},
                                                {"misc", "show_names"},
                                                {"main", "caption"},
                                                {"misc", "font_name"},
                                                {"misc", "font_size"},
                                                {"credits", "credit_format"},
                                                {"gameplay", "aub"},
                                                {"tiles", "tile_name_format"},
                                                {"units", "unit_name_format"}};
    return keys;
}

volatile std::uint64_t g_sink;

// One typed reader per name (which one follows from the input), so that each input stays cheap:
// every read checks the file's stamp.
void read_typed(c_ini& ini, const name_pair& p, size_t which) {
    std::uint64_t h = 0;
    switch (which % 7) {
    case 0:
        h = ini.get_string(p.first, p.second).size();
        break;
    case 1:
        h = static_cast<std::uint64_t>(ini.get_int(p.first, p.second));
        break;
    case 2: {
        float f = ini.get_float(p.first, p.second);
        h = f == f ? 1 : 0;
        break;
    }
    case 3:
        h = ini.get_bool(p.first, p.second);
        break;
    case 4:
        h = ini.get_color(p.first, p.second);
        break;
    default:
        // The key-alone forms read the current section and leave it as it was.
        ini.set_section(p.first);
        h = which % 7 == 5 ? static_cast<std::uint64_t>(ini.get_int(p.second)) + ini.get_color(p.second)
                           : ini.get_string(p.second).size();
        FUZZ_CHECK(ini.get_section() == p.first, "a key-alone read changed the current section");
        break;
    }
    g_sink = g_sink + h;
}

} // namespace

void check_after_write(c_ini& ini, const std::vector<name_pair>& names,
                       const std::vector<std::string>& before, const name_pair& target,
                       const std::string& expected) {
    FUZZ_CHECK(ini.get_raw(target.first, target.second) == expected,
               "the key written does not read back: [" + target.first + "] " + target.second + " = \"" +
                   ini.get_raw(target.first, target.second) + "\", wanted \"" + expected + "\"");
    for (size_t i = 0; i < names.size(); ++i) {
        const name_pair& p = names[i];
        if (folded(p.first) == folded(target.first) && folded(p.second) == folded(target.second)) continue;
        const std::string after = ini.get_raw(p.first, p.second);
        FUZZ_CHECK(after == before[i], "writing [" + target.first + "] " + target.second + " changed [" +
                                           p.first + "] " + p.second + " from \"" + before[i] + "\" to \"" +
                                           after + "\"");
    }
}

// An INI object on the scratch folder's settings.ini (c_ini takes the folder current when it is
// made).
c_ini& scratch_ini() {
    static c_ini* ini = [] {
        std::filesystem::path old = std::filesystem::current_path();
        std::filesystem::current_path(fuzz_dir());
        c_ini* made = new c_ini("settings.ini");
        std::filesystem::current_path(old);
        return made;
    }();
    return *ini;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    c_ini& ini = scratch_ini();
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz_replace_file(ini.get_path(), text.data(), text.size());

    // Every read costs a file-stamp check, so one input reads a few of the file's own names and
    // one of the program's keys (which one follows from the bytes); the corpus covers the rest.
    std::vector<name_pair> names = names_in(text);
    const std::vector<name_pair>& keys = settings_keys();
    size_t pick = 0;
    for (size_t i = 0; i < size; i += 7)
        pick = pick * 31 + data[i];
    names.push_back(keys[pick % keys.size()]);
    std::vector<std::string> before;
    for (size_t i = 0; i < names.size(); ++i) {
        const name_pair& p = names[i];
        read_typed(ini, p, pick + i);
        before.push_back(ini.get_raw(p.first, p.second));
    }

    // Write one key: one of the file's own (chosen by the input's length) or a new one. The
    // value is plain text that the reader gives back unchanged.
    name_pair target = names[size % names.size()];
    if (size % 3 == 0) target = {"misc", "fuzz_new_key"};
    const std::string value = "v" + std::to_string(size);
    ini.set_section(target.first);
    switch (size % 4) {
    case 0:
        ini.write_string(target.second, value);
        break;
    case 1:
        ini.write_int(target.second, static_cast<int>(size) - 7);
        break;
    default:
        ini.write_bool(target.second, size % 2 == 0);
        break;
    }
    const std::string expected = size % 4 == 0   ? value
                                 : size % 4 == 1 ? std::to_string(static_cast<int>(size) - 7)
                                                 : (size % 2 == 0 ? "true" : "false");
    // Once while the write is buffered, once from the file the flush wrote.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            ini.flush();
            const std::string written = fuzz_read_file(ini.get_path());
            fuzz_replace_file(ini.get_path(), written.data(), written.size());
        }
        check_after_write(ini, names, before, target, expected);
    }
    return 0;
}
