// Typed access to one INI file. Reads never fail: a missing file, section or key gives the
// type's default. The path is fixed at construction: a relative name is taken in the working
// directory of that moment, a full path as it stands.
#pragma once
#include <cstdint>
#include <string>

#include "framework/err.h"

class c_ini : public c_reportable {
  public:
    explicit c_ini(const std::string& file_name);

    void set_section(const std::string& section) { section_ = section; }
    const std::string& get_section() const { return section_; }
    const std::string& get_path() const { return path_; }

    std::string get_raw(const std::string& key) const { return get_raw(section_, key); }
    std::string get_string(const std::string& key) const { return get_string(section_, key); }
    int get_int(const std::string& key) const { return get_int(section_, key); }
    float get_float(const std::string& key) const { return get_float(section_, key); }
    bool get_bool(const std::string& key) const { return get_bool(section_, key); }
    std::uint32_t get_color(const std::string& key) const { return get_color(section_, key); }

    std::string get_raw(const std::string& section, const std::string& key) const;
    // Text with backslash escapes; an unescaped double quote ends it (so it may end in blanks).
    std::string get_string(const std::string& section, const std::string& key) const;
    int get_int(const std::string& section, const std::string& key) const;
    float get_float(const std::string& section, const std::string& key) const;
    // True only for "true", "TRUE", "yes", "YES", "on", "ON" and "1".
    bool get_bool(const std::string& section, const std::string& key) const;
    // Four numbers a r g b packed as 0xAARRGGBB, each cut to 8 bits; missing numbers are 0.
    std::uint32_t get_color(const std::string& section, const std::string& key) const;

    // Writers use the current section; the file, section and key are created as needed. Writes
    // are buffered (reads see them) until flush, which puts them on disk as one replacement of the
    // file: a run of writes lands whole or not at all.
    void write_string(const std::string& key, const std::string& text);
    void write_int(const std::string& key, int value);
    void write_bool(const std::string& key, bool value);
    void flush();

  private:
    std::string read(const std::string& section, const std::string& key, const std::string& fallback) const;

    std::string path_;
    std::string section_;
    const std::string default_text_ = "";
    const std::string default_int_ = "0";
    const std::string default_float_ = "0";
    const std::string default_bool_ = "false";
};

// The program's four INI files: settings.ini in the start directory, the rest in DATA.
extern c_ini* g_settings;
extern c_ini* g_rules;
extern c_ini* g_stringtable;
extern c_ini* g_interface;

// The current working directory, however long; "" when it cannot be read.
std::string get_current_directory();

// The escape walk behind get_string, on a value as the profile functions return it.
std::string unescape_ini_text(const std::string& value);
