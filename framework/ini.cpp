#include "framework/ini.h"

#include <cstdio>
#include <cstdlib>

#include "framework/misc.h"

c_ini* g_settings = nullptr;
c_ini* g_rules = nullptr;
c_ini* g_stringtable = nullptr;
c_ini* g_interface = nullptr;

namespace {
// One buffer serves every read, as every value is copied out before the next one.
char g_ini_buffer[1024];
} // namespace

std::string get_current_directory() {
    // Asked for its length first: a directory longer than the shared buffer is still a directory.
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    while (needed > 0) {
        std::string dir(needed, '\0');
        DWORD n = GetCurrentDirectoryA(needed, dir.data());
        if (n < needed) return dir.substr(0, n);
        needed = n; // the directory changed in between and grew
    }
    return "";
}

c_ini::c_ini(const std::string& file_name) {
    // A full path is used as it stands, as the profile functions use one: joined to the
    // directory it would name a file that does not exist, and every read would quietly give
    // the defaults.
    if (!PathIsRelativeA(file_name.c_str()))
        path_ = file_name;
    else
        path_ = get_current_directory() + PATH_SEPARATOR + file_name;
}

std::string c_ini::read(const std::string& section, const std::string& key,
                        const std::string& fallback) const {
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), g_ini_buffer,
                                       sizeof g_ini_buffer, path_.c_str());
    return std::string(g_ini_buffer, n);
}

std::string c_ini::get_raw(const std::string& section, const std::string& key) const {
    return read(section, key, default_text_);
}

std::string unescape_ini_text(const std::string& v) {
    std::string out;
    if (!v.empty() && v[0] == '"') return out;
    for (size_t i = 0; i < v.size(); ++i) {
        char c = v[i];
        if (c == '"') break;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= v.size()) break;
        switch (v[++i]) {
        case '"':
            out += '"';
            break;
        case '\\':
            out += '\\';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'v':
            out += '\v';
            break;
        default:
            break; // an unknown escape drops both characters
        }
    }
    return out;
}

std::string c_ini::get_string(const std::string& section, const std::string& key) const {
    return unescape_ini_text(read(section, key, default_text_));
}

int c_ini::get_int(const std::string& section, const std::string& key) const {
    return std::atoi(read(section, key, default_int_).c_str());
}

float c_ini::get_float(const std::string& section, const std::string& key) const {
    return static_cast<float>(std::atof(read(section, key, default_float_).c_str()));
}

bool c_ini::get_bool(const std::string& section, const std::string& key) const {
    std::string v = read(section, key, default_bool_);
    return v == "true" || v == "TRUE" || v == "yes" || v == "YES" || v == "on" || v == "ON" || v == "1";
}

std::uint32_t c_ini::get_color(const std::string& section, const std::string& key) const {
    int a = 0, r = 0, g = 0, b = 0;
    std::sscanf(read(section, key, default_text_).c_str(), "%d %d %d %d", &a, &r, &g, &b);
    return (static_cast<std::uint32_t>(a & 255) << 24) | (static_cast<std::uint32_t>(r & 255) << 16) |
           (static_cast<std::uint32_t>(g & 255) << 8) | static_cast<std::uint32_t>(b & 255);
}

void c_ini::write_string(const std::string& key, const std::string& text) {
    WritePrivateProfileStringA(section_.c_str(), key.c_str(), text.c_str(), path_.c_str());
}

void c_ini::write_int(const std::string& key, int value) {
    write_string(key, format_string("%d", value));
}

void c_ini::write_bool(const std::string& key, bool value) {
    write_string(key, value ? "true" : "false");
}

void c_ini::flush() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
}
