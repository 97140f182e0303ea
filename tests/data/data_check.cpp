// The data checker's rules, one section per kind of value it reads from a DATA folder.
//
// Index: 1. number scanning; 2. printf formats; 3. pictures; 4. picking through the mousemap;
// 5. the checker.
#include "tests/data/data_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "framework/cursor_index.h"
#include "framework/ini.h"
#include "framework/misc.h"
#include "platform/image/image_file.h"
#include "tests/data/data_check_font.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> k_cursors(cursor_names.begin(), cursor_names.end());

const std::vector<std::pair<std::string, std::vector<std::string>>> k_strings = {
    {"main", {"caption"}},
    {"mainmenu", {"welcome", "newgame", "loadgame", "multigame", "editor", "options", "credits", "exitgame"}},
    {"exitscreen", {"ask", "no", "yes"}},
    {"options",
     {"ok", "cancel", "cg", "vc", "witem", "fitem", "rc", "vscb", "dmc", "dmli0", "dmli1", "dmli2", "dmli3",
      "cp", "smcb", "sncb"}},
    {"gameplay",
     {"mnub", "aub", "etb", "hit", "block", "kill", "miss", "bounce", "boom", "backfire", "selfdestruct",
      "sploosh", "victory"}},
};

const std::vector<std::string> k_result_colours = {
    "block_text_color",    "kill_text_color",    "hit_text_color",
    "miss_text_color",     "sploosh_text_color", "selfdestruct_text_color",
    "backfire_text_color", "boom_text_color",    "bounce_text_color"};

const std::vector<std::string> k_gui_images = {"vscroll_up",       "vscroll_down",      "vscroll_paddle",
                                               "listdropper_bup",  "listdropper_bdown", "namebox_caret",
                                               "checkbox_checked", "checkbox_unchecked"};

const std::vector<std::string> k_gui_numbers = {"vscroll_bigchange",   "listbox_vscroll_width",
                                                "listitem_height",     "listdropper_bdown_width",
                                                "namebox_caret_width", "namebox_caret_interval"};

const std::vector<std::string> k_particle_ranges = {"_velocity_low",     "_velocity_high",
                                                    "_acceleration_low", "_acceleration_high",
                                                    "_friction_low",     "_friction_high"};

const std::vector<std::string> k_frag_ranges = {"velocity_low",      "velocity_high", "acceleration_low",
                                                "acceleration_high", "friction_low",  "friction_high"};

const std::vector<std::string> k_flag_vectors = {"flag_velocity_low",     "flag_velocity_high",
                                                 "flag_acceleration_low", "flag_acceleration_high",
                                                 "flag_friction_low",     "flag_friction_high"};

// ---- 1. number scanning, as sscanf("%d %d ...") and atof see the text ---------------------------

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// One integer at pos (blanks first); advances pos past it. Huge values are clamped, which keeps
// them out of every range the checks allow.
std::optional<long long> scan_int(const std::string& s, size_t& pos) {
    size_t i = pos;
    while (i < s.size() && is_space(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || !is_digit(s[i])) return std::nullopt;
    long long v = 0;
    for (; i < s.size() && is_digit(s[i]); ++i)
        v = std::min(v * 10 + (s[i] - '0'), 1'000'000'000'000LL);
    pos = i;
    return negative ? -v : v;
}

std::optional<double> scan_float(const std::string& s, size_t& pos) {
    size_t i = pos;
    while (i < s.size() && is_space(s[i]))
        ++i;
    size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && is_digit(s[i]))
        ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i]))
            ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && is_digit(s[j])) {
            while (j < s.size() && is_digit(s[j]))
                ++j;
            i = j;
        }
    }
    pos = i;
    return std::strtod(s.substr(start, i - start).c_str(), nullptr);
}

std::vector<long long> scan_ints(const std::string& s, int count, size_t* end = nullptr) {
    std::vector<long long> out;
    size_t pos = 0;
    for (int k = 0; k < count; ++k) {
        auto v = scan_int(s, pos);
        if (!v) break;
        out.push_back(*v);
    }
    if (end) *end = pos;
    return out;
}

std::vector<double> scan_floats(const std::string& s, int count) {
    std::vector<double> out;
    size_t pos = 0;
    for (int k = 0; k < count; ++k) {
        auto v = scan_float(s, pos);
        if (!v) break;
        out.push_back(*v);
    }
    return out;
}

std::string in_quotes(const std::string& s) {
    return "'" + s + "'";
}

std::string join(const std::vector<std::string>& items, const std::string& sep) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i)
        out += (i ? sep : "") + items[i];
    return out;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---- 2. printf formats ---------------------------------------------------------------------------

// Why a format that is_single_int_format refuses cannot take the one int: the number of
// conversions, or the one conversion that is not a plain %d or %i.
std::string format_refusal(const std::string& f) {
    std::vector<std::string> conversions;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        size_t start = i++;
        bool decorated = false;
        while (i < f.size() && std::strchr("-+ #0", f[i]))
            ++i, decorated = true;
        if (i < f.size() && f[i] == '*') ++i, decorated = true;
        while (i < f.size() && is_digit(f[i]))
            ++i, decorated = true;
        if (i < f.size() && f[i] == '.') {
            ++i, decorated = true;
            if (i < f.size() && f[i] == '*') ++i;
            while (i < f.size() && is_digit(f[i]))
                ++i;
        }
        for (const char* length : {"hh", "h", "ll", "l", "j", "z", "t", "L", "I64", "I32", "I"})
            if (f.compare(i, std::strlen(length), length) == 0) {
                i += std::strlen(length);
                decorated = true;
                break;
            }
        if (i < f.size() && f[i] == '%' && !decorated) continue; // "%%" is text
        conversions.push_back(f.substr(start, i < f.size() ? i + 1 - start : std::string::npos));
    }
    if (conversions.size() != 1)
        return "holds " + std::to_string(conversions.size()) + " conversions, needs exactly one %d";
    return "conversion " + in_quotes(conversions[0]) + " does not take one int (use %d)";
}

// ---- 3. pictures -----------------------------------------------------------------------------------

struct rgba {
    std::uint8_t r, g, b, a;
    bool operator==(const rgba&) const = default;
    auto operator<=>(const rgba&) const = default;
};

struct picture {
    int w = 0, h = 0;
    std::vector<rgba> px; // row 0 at the top
    const rgba& at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

// Decodes with the program's own picture reader: the same formats, found by content, and the
// same bounds. Sets format to PNG, BMP, TGA or ICO.
std::optional<picture> load_picture(const std::string& path, std::string& error, std::string& format) {
    image_pixels img;
    if (FAILED(load_image_file(path.c_str(), &img, &error))) return std::nullopt;
    format = image_format_name(img.format);
    picture p;
    p.w = static_cast<int>(img.width);
    p.h = static_cast<int>(img.height);
    p.px.reserve(img.pixels.size());
    for (std::uint32_t argb : img.pixels)
        p.px.push_back(rgba{static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                            static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24)});
    return p;
}

// Point sampling, for tile pictures of another size than the grid's cells.
picture scaled(const picture& src, int w, int h) {
    picture out;
    out.w = w;
    out.h = h;
    out.px.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sx = std::min(src.w - 1, static_cast<int>((x + 0.5) * src.w / w));
            int sy = std::min(src.h - 1, static_cast<int>((y + 0.5) * src.h / h));
            out.px[static_cast<size_t>(y) * w + x] = src.at(sx, sy);
        }
    return out;
}

const rgba k_white{255, 255, 255, 255}, k_red{255, 0, 0, 255}, k_magenta{255, 0, 255, 255},
    k_green{0, 255, 0, 255}, k_blue{0, 0, 255, 255};

// ---- 4. picking through the mousemap ---------------------------------------------------------------

// The field the picking is checked on, laid out by the tile-rectangle rule of the battle screen.
constexpr int k_cols = 12, k_rows = 10;

struct cell {
    int c, r;
    bool operator==(const cell&) const = default;
    auto operator<=>(const cell&) const = default;
};

std::string describe(const std::optional<cell>& c) {
    return c ? "(" + std::to_string(c->c) + ", " + std::to_string(c->r) + ")" : std::string("none");
}

int floor_div(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

struct rect {
    int left, top, right, bottom;
};

// Even rows are shifted half a tile to the right; rows overlap by placement_yoffset.
rect tile_rect(int col, int row, int tw, int th, int yoff) {
    int step = th - yoff;
    rect r{col * tw, row * step, (col + 1) * tw, (row + 1) * step + yoff};
    if (row % 2 == 0) {
        r.left += tw / 2;
        r.right += tw / 2;
    }
    return r;
}

// The program's neighbour lookups for the four corner colours.
std::optional<cell> neighbour(int col, int row, const rgba& colour) {
    bool even = row % 2 == 0;
    if (colour == k_red) return cell{even ? col : col - 1, row - 1};     // north-west
    if (colour == k_magenta) return cell{even ? col + 1 : col, row - 1}; // north-east
    if (colour == k_green) return cell{even ? col : col - 1, row + 1};   // south-west
    if (colour == k_blue) return cell{even ? col + 1 : col, row + 1};    // south-east
    return std::nullopt;
}

// The program's picking of field pixel (x, y): the cell's rectangle by division, then the
// mousemap colour under the point says whether it is this cell or a diagonal neighbour.
std::optional<cell> pick(int x, int y, const picture& mm, int tw, int th, int yoff) {
    if (x < 0 || y < 0) return std::nullopt;
    int step = th - yoff;
    int row = y / step, ry = y % step;
    int v = row % 2 == 0 ? x - tw / 2 : x;
    int col = floor_div(v, tw), rx = v - col * tw;
    const rgba& colour = mm.at(rx, ry);
    std::optional<cell> found =
        colour == k_white ? std::optional<cell>(cell{col, row}) : neighbour(col, row, colour);
    if (!found || found->c < 0 || found->c >= k_cols || found->r < 0 || found->r >= k_rows)
        return std::nullopt;
    return found;
}

std::string pixel_text(int x, int y) {
    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

// ---- 5. the checker ----------------------------------------------------------------------------

// Restores the working directory: c_ini fixes its path from the directory at construction.
class directory_change {
  public:
    explicit directory_change(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
    ~directory_change() {
        std::error_code ec;
        fs::current_path(old_, ec);
    }
    directory_change(const directory_change&) = delete;
    directory_change& operator=(const directory_change&) = delete;

  private:
    fs::path old_;
};

class checker {
  public:
    explicit checker(std::string data) : data_(std::move(data)) {}

    data_check_report run() {
        std::error_code ec;
        if (!fs::is_directory(data_, ec)) {
            fault(data_, "is not a folder");
            return report_;
        }
        check_strings();
        check_interface();
        check_credits();
        check_rules();
        check_icon();
        // Picking is only worth judging on otherwise sound data: the sizes and pictures it
        // needs have been checked above.
        if (report_.faults.empty())
            for (const std::string& f : check_picking())
                fault("rules.ini [tiles] mousemap", f);
        report_.pictures = static_cast<int>(images_.size());
        std::sort(report_.translucent.begin(), report_.translucent.end());
        return report_;
    }

  private:
    using explosion_map = std::map<std::string, bool>; // section -> used over a tile-sized rectangle

    std::string data_;
    data_check_report report_;
    std::set<std::string> images_;

    // Pictures are named by many keys (frame pieces, cursors, tiles): each is decoded once.
    struct loaded {
        std::optional<picture> pic;
        std::string error, format;
    };
    std::map<std::string, loaded> pictures_;

    const loaded& load(const std::string& path) {
        auto it = pictures_.find(path);
        if (it != pictures_.end()) return it->second;
        loaded l;
        l.pic = load_picture(path, l.error, l.format);
        return pictures_.emplace(path, std::move(l)).first->second;
    }

    void fault(const std::string& where, const std::string& message) {
        report_.faults.push_back(where + ": " + message);
    }

    static std::string at(const std::string& name, const std::string& sec, const std::string& key) {
        return name + " [" + sec + "] " + key;
    }

    std::unique_ptr<c_ini> open(const std::string& name) {
        std::error_code ec;
        if (!fs::is_regular_file(fs::path(data_) / name, ec)) {
            fault(name, "file is missing");
            return nullptr;
        }
        directory_change in(data_);
        return std::make_unique<c_ini>(name);
    }

    // The program reads a missing key as an empty text, so an empty value is as bad as none.
    static bool has(const c_ini& ini, const std::string& sec, const std::string& key) {
        return !ini.get_raw(sec, key).empty();
    }

    bool need(const c_ini& ini, const std::string& name, const std::string& sec, const std::string& key) {
        if (has(ini, sec, key)) return true;
        fault(at(name, sec, key), "missing");
        return false;
    }

    std::optional<int> int_key(const c_ini& ini, const std::string& name, const std::string& sec,
                               const std::string& key, std::optional<int> low = std::nullopt,
                               const std::string& why = "") {
        if (!need(ini, name, sec, key)) return std::nullopt;
        std::string raw = ini.get_raw(sec, key);
        size_t pos = 0;
        auto parsed = scan_int(raw, pos);
        if (!parsed) {
            fault(at(name, sec, key), in_quotes(raw) + " is not a number");
            return std::nullopt;
        }
        if (*parsed < -2147483648LL || *parsed > 2147483647LL) {
            fault(at(name, sec, key), raw + " does not fit an int");
            return std::nullopt;
        }
        int v = ini.get_int(sec, key);
        if (low && v < *low)
            fault(at(name, sec, key), std::to_string(v) + " is out of range (>= " + std::to_string(*low) +
                                          ")" + (why.empty() ? "" : ": " + why));
        return v;
    }

    void float_key(const c_ini& ini, const std::string& name, const std::string& sec,
                   const std::string& key) {
        if (!need(ini, name, sec, key)) return;
        std::string raw = ini.get_raw(sec, key);
        if (scan_floats(raw, 1).empty()) fault(at(name, sec, key), in_quotes(raw) + " is not a number");
    }

    void bool_key(const c_ini& ini, const std::string& name, const std::string& sec, const std::string& key) {
        if (!need(ini, name, sec, key)) return;
        static const std::set<std::string> words = {"true",  "TRUE",  "yes", "YES", "on",  "ON",  "1",
                                                    "false", "FALSE", "no",  "NO",  "off", "OFF", "0"};
        std::string raw = ini.get_raw(sec, key);
        if (!words.count(raw))
            fault(at(name, sec, key), in_quotes(raw) + " is neither true nor false to the game");
    }

    void colour_key(const c_ini& ini, const std::string& name, const std::string& sec,
                    const std::string& key) {
        if (!need(ini, name, sec, key)) return;
        std::string raw = ini.get_raw(sec, key);
        auto nums = scan_ints(raw, 4);
        bool ok = nums.size() == 4 &&
                  std::all_of(nums.begin(), nums.end(), [](long long n) { return n >= 0 && n <= 255; });
        if (!ok)
            fault(at(name, sec, key), in_quotes(raw) + " is not four numbers 0..255 (alpha red green blue)");
    }

    void vector_key(const c_ini& ini, const std::string& name, const std::string& sec,
                    const std::string& key) {
        if (!need(ini, name, sec, key)) return;
        std::string raw = ini.get_raw(sec, key);
        if (scan_floats(raw, 4).size() != 4)
            fault(at(name, sec, key), in_quotes(raw) + " is not four numbers");
    }

    std::optional<std::string> text_key(const c_ini& ini, const std::string& name, const std::string& sec,
                                        const std::string& key) {
        if (!need(ini, name, sec, key)) return std::nullopt;
        return ini.get_raw(sec, key);
    }

    bool format_ok(const std::string& where, const std::string& format) {
        if (is_single_int_format(format)) return true;
        fault(where, "format " + in_quotes(format) + " " + format_refusal(format));
        return false;
    }

    // The picture must exist and load; returns its pixels.
    const picture* image(const std::string& where, const std::string& rel,
                         std::optional<std::pair<int, int>> size = std::nullopt) {
        if (rel.empty()) {
            fault(where, "names no picture");
            return nullptr;
        }
        std::string path = data_ + "/" + rel;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) {
            fault(where, "picture " + rel + " does not exist");
            return nullptr;
        }
        const loaded& l = load(path);
        const std::optional<picture>& pic = l.pic;
        const std::string& format = l.format;
        if (!pic) {
            fault(where, "picture " + rel + " does not load: " + l.error);
            return nullptr;
        }
        if (format != "PNG" && format != "BMP" && format != "TGA")
            fault(where, "picture " + rel + " is " + (format.empty() ? "of another kind" : format) +
                             ", the game loads PNG, BMP or TGA");
        if (size && (pic->w != size->first || pic->h != size->second))
            fault(where, "picture " + rel + " is " + std::to_string(pic->w) + " x " + std::to_string(pic->h) +
                             ", must be " + std::to_string(size->first) + " x " +
                             std::to_string(size->second));
        if (images_.insert(rel).second) {
            const rgba* p = pic->px.data();
            const rgba* end = p + pic->px.size();
            while (p != end && (p->a == 0 || p->a == 255))
                ++p;
            if (p != end) report_.translucent.push_back(rel);
        }
        return &*pic;
    }

    void image_key(const c_ini& ini, const std::string& name, const std::string& sec,
                   const std::string& key) {
        if (need(ini, name, sec, key)) image(at(name, sec, key), ini.get_raw(sec, key));
    }

    // '"file" n n ...': the picture and `count` numbers after it, split as the interface
    // loader does (the name runs from the first double quote to the next one, or the end).
    std::optional<std::vector<long long>> quoted_image(const c_ini& ini, const std::string& name,
                                                       const std::string& sec, const std::string& key,
                                                       int count) {
        if (!need(ini, name, sec, key)) return std::nullopt;
        std::string raw = ini.get_raw(sec, key);
        size_t open = raw.find('"');
        if (open == std::string::npos) {
            fault(at(name, sec, key), in_quotes(raw) + " must start with the file name in double quotes");
            return std::nullopt;
        }
        size_t close = raw.find('"', open + 1);
        std::string rel =
            raw.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        std::string rest = close == std::string::npos ? "" : raw.substr(close + 1);
        auto nums = scan_ints(rest, count);
        if (static_cast<int>(nums.size()) != count) {
            fault(at(name, sec, key),
                  in_quotes(raw) + " needs " + std::to_string(count) + " numbers after the file name");
            return std::nullopt;
        }
        image(at(name, sec, key), rel);
        return nums;
    }

    void chance_list(const c_ini& ini, const std::string& name, const std::string& sec,
                     const std::vector<std::string>& keys, const std::string& why) {
        long long positive = 0;
        bool all_present = true;
        for (const std::string& key : keys) {
            all_present = all_present && has(ini, sec, key);
            auto v = int_key(ini, name, sec, key);
            if (v && *v < 0)
                fault(at(name, sec, key), "chance weight " + std::to_string(*v) + " is negative");
            if (v && *v > 0) positive += *v;
        }
        if (all_present && positive == 0)
            fault(at(name, sec, join(keys, "/")),
                  "weights sum to 0, but the game rolls this list (" + why + ")");
    }

    // Lists the keys of a section, for the one check that needs to know what else is there
    // (c_ini answers for named keys only). Follows the profile rules: names without regard
    // to case, only the first section of a name, ';' comments, the first of repeated keys.
    std::vector<std::string> keys_of(const std::string& file, const std::string& sec) {
        std::ifstream in(fs::path(data_) / file, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string text = ss.str();
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
        auto trim = [](const std::string& s) {
            size_t b = 0, e = s.size();
            while (b < e && is_space(s[b]))
                ++b;
            while (e > b && is_space(s[e - 1]))
                --e;
            return s.substr(b, e - b);
        };
        std::vector<std::string> keys;
        bool inside = false, seen = false;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            line = trim(line);
            if (!line.empty() && line[0] == '[') {
                size_t close = line.find(']');
                std::string n =
                    lower(trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
                inside = !seen && n == lower(sec);
                seen = seen || inside;
                continue;
            }
            if (!inside || line.empty() || line[0] == ';') continue;
            size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = lower(trim(line.substr(0, eq)));
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
        }
        return keys;
    }

    // -- the files ------------------------------------------------------------------------------

    void check_strings() {
        const std::string name = "stringtable.ini";
        auto st = open(name);
        if (!st) return;
        for (const auto& [sec, keys] : k_strings)
            for (const std::string& key : keys)
                need(*st, name, sec, key);
        if (has(*st, "gameplay", "aub"))
            format_ok(at(name, "gameplay", "aub"), st->get_string("gameplay", "aub"));
    }

    void check_interface() {
        const std::string name = "interface.ini";
        auto ui = open(name);
        if (!ui) return;
        std::vector<std::string> present = keys_of(name, "cursors"), missing, extra;
        for (const std::string& k : present)
            if (std::find(k_cursors.begin(), k_cursors.end(), k) == k_cursors.end()) extra.push_back(k);
        for (const std::string& k : k_cursors)
            if (std::find(present.begin(), present.end(), k) == present.end()) missing.push_back(k);
        if (!missing.empty() || !extra.empty())
            fault(name + " [cursors]", "holds " + std::to_string(present.size()) +
                                           " cursors, the game needs exactly these " +
                                           std::to_string(CURSOR_COUNT) + ": " + join(k_cursors, ", ") +
                                           (missing.empty() ? "" : "; missing: " + join(missing, ", ")) +
                                           (extra.empty() ? "" : "; unknown: " + join(extra, ", ")));
        for (const std::string& key : k_cursors) {
            if (std::find(present.begin(), present.end(), key) == present.end()) continue;
            auto nums = quoted_image(*ui, name, "cursors", key, 4);
            if (!nums) continue;
            long long hx = (*nums)[0], hy = (*nums)[1], w = (*nums)[2], h = (*nums)[3];
            if (w <= 0 || h <= 0 || hx < 0 || hx >= w || hy < 0 || hy >= h)
                fault(at(name, "cursors", key), "hot spot (" + std::to_string(hx) + ", " +
                                                    std::to_string(hy) + ") must lie inside the " +
                                                    std::to_string(w) + " x " + std::to_string(h) +
                                                    " picture");
        }
        for (const char* key : {"mainmenu_background", "exitscreen_background", "options_background", "logo"})
            image_key(*ui, name, "misc", key);
        need(*ui, name, "misc", "font_name");
        auto font_size = int_key(*ui, name, "misc", "font_size", 1, "the game font needs a height");
        // The atlas decides which heights fit, for the face that is installed: ask the font code.
        if (font_size && *font_size >= 1 && has(*ui, "misc", "font_name"))
            if (std::string refusal = game_font_refusal(*ui); !refusal.empty())
                fault(at(name, "misc", "font_size"), refusal);

        std::string sec = "gui_settings";
        for (const char* key : {"repeat_interval_init", "repeat_interval_norm"})
            int_key(*ui, name, sec, key, 0);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 9; ++j) {
                std::string key = std::to_string(i) + std::to_string(j);
                auto nums = quoted_image(*ui, name, sec, key, 6);
                if (!nums) continue;
                const auto& n = *nums;
                bool ok = n[0] >= 0 && n[1] >= 0 &&
                          std::all_of(n.begin() + 2, n.end(), [](long long c) { return c >= 0 && c <= 255; });
                if (!ok) fault(at(name, sec, key), "needs width, height >= 0 and a colour 0..255");
            }
        for (const char* key : {"sl", "sr", "st", "sb"})
            int_key(*ui, name, sec, key, 0);
        text_styles(*ui, name, sec);
        for (int i = 0; i < 4; ++i)
            for (const std::string& key : k_gui_images)
                quoted_image(*ui, name, sec, key + std::to_string(i), 4);
        for (const std::string& key : k_gui_numbers) {
            bool divisor = key == "listitem_height";
            int_key(*ui, name, sec, key, divisor || key == "vscroll_bigchange" ? 1 : 0,
                    divisor ? "list rows are found by dividing by it" : "");
        }
        for (const char* key : {"repeat_interval_init", "repeat_interval_norm"})
            int_key(*ui, name, "minimap_gui_settings", key, 0);
        for (const char* s : {"aub_gui_settings", "etb_gui_settings", "checkbox_gui_settings"})
            text_styles(*ui, name, s);
        for (const std::string& key : k_result_colours)
            colour_key(*ui, name, "gameplay", key);
    }

    // "r g b scale_x scale_y" for each of the four widget states.
    void text_styles(const c_ini& ui, const std::string& name, const std::string& sec) {
        for (int i = 0; i < 4; ++i) {
            std::string key = "text" + std::to_string(i);
            if (!need(ui, name, sec, key)) continue;
            std::string raw = ui.get_raw(sec, key);
            size_t end = 0;
            auto nums = scan_ints(raw, 4, &end);
            if (nums.size() != 4 || scan_floats(raw.substr(end), 2).size() != 2)
                fault(at(name, sec, key), in_quotes(raw) + " is not a r g b scale_x scale_y");
        }
    }

    void check_credits() {
        const std::string name = "credits.ini";
        auto cr = open(name);
        if (!cr) return;
        auto n = int_key(*cr, name, "credits", "num_credits", 0);
        auto format = text_key(*cr, name, "credits", "credit_format");
        if (!n || !format || !format_ok(at(name, "credits", "credit_format"), *format)) return;
        for (int i = 0; i < *n; ++i) {
            std::string sec = format_string(format->c_str(), i);
            need(*cr, name, sec, "text");
            colour_key(*cr, name, sec, "color");
        }
    }

    void check_rules() {
        const std::string name = "rules.ini";
        auto ru = open(name);
        if (!ru) return;
        const c_ini& r = *ru;
        std::string t = "tiles";
        auto n_types = int_key(r, name, t, "num_tiletypes", 1, "terrain is drawn modulo it");
        auto tw = int_key(r, name, t, "tile_width", 2);
        auto th = int_key(r, name, t, "tile_height", 2);
        auto yoff = int_key(r, name, t, "placement_yoffset", 0);
        if (th && yoff && *yoff >= *th)
            fault(at(name, t, "placement_yoffset"),
                  std::to_string(*yoff) + " leaves rows no height (tile_height " + std::to_string(*th) +
                      "): picking divides by the difference");
        auto format = text_key(r, name, t, "tile_name_format");
        bool geometry = tw && th && yoff && *yoff >= 0 && *yoff < *th;
        if (need(r, name, t, "mousemap")) {
            std::string rel = r.get_raw(t, "mousemap");
            auto mm = image(at(name, t, "mousemap"), rel,
                            geometry ? std::optional<std::pair<int, int>>({*tw, *th}) : std::nullopt);
            if (mm) check_mousemap(*mm, rel);
        }
        image_key(r, name, t, "blink_texture");
        if (n_types && *n_types > 0 && format && format_ok(at(name, t, "tile_name_format"), *format)) {
            int enterable = 0;
            for (int i = 0; i < *n_types; ++i) {
                std::string sec = format_string(format->c_str(), i);
                image_key(r, name, sec, "image");
                colour_key(r, name, sec, "color");
                colour_key(r, name, sec, "minimap_color");
                bool_key(r, name, sec, "moveable");
                bool_key(r, name, sec, "splooshable");
                enterable += r.get_bool(sec, "moveable");
            }
            if (enterable == 0)
                fault(name + " [tiles]", "no tile type is moveable: no battle can have units");
        }

        std::string u = "units";
        image_key(r, name, u, "flag_image");
        image_key(r, name, u, "selected_image");
        auto n_units = int_key(r, name, u, "num_unittypes", 1, "units are drawn modulo it");
        auto unit_format = text_key(r, name, u, "unit_name_format");
        explosion_map explosions;
        std::set<std::string> fragmentations;
        if (n_units && *n_units > 0 && unit_format &&
            format_ok(at(name, u, "unit_name_format"), *unit_format))
            for (int i = 0; i < *n_units; ++i)
                check_unit(r, name, format_string(unit_format->c_str(), i), explosions, fragmentations);
        for (const auto& [sec, over_tile] : explosions) {
            int w = tw.value_or(0), h = th.value_or(0);
            check_explosion(r, name, sec, w, over_tile ? h : 2 * h);
        }
        for (const std::string& sec : fragmentations)
            check_fragmentation(r, name, sec);

        std::string m = "misc";
        image_key(r, name, m, "particle_image");
        float_key(r, name, m, "hscroll_ratio");
        float_key(r, name, m, "vscroll_ratio");
        for (const std::string& key : k_flag_vectors)
            vector_key(r, name, m, key);
        for (const char* key : {"unit_speed_x1", "unit_speed_x2", "unit_speed_y"})
            int_key(r, name, m, key, 1, "a unit that moves 0 pixels never arrives");
        report_.tile_types = n_types.value_or(0);
        report_.unit_types = n_units.value_or(0);
        report_.explosions = static_cast<int>(explosions.size());
        report_.fragmentations = static_cast<int>(fragmentations.size());
    }

    void check_mousemap(const picture& mm, const std::string& rel) {
        std::map<rgba, int> others;
        for (const rgba& p : mm.px)
            if (p != k_white && p != k_red && p != k_magenta && p != k_green && p != k_blue) ++others[p];
        if (others.empty()) return;
        std::vector<std::pair<rgba, int>> worst(others.begin(), others.end());
        std::stable_sort(worst.begin(), worst.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        worst.resize(std::min<size_t>(worst.size(), 3));
        int total = 0;
        for (const auto& [colour, count] : others)
            total += count;
        std::vector<std::string> examples;
        for (const auto& [c, count] : worst)
            examples.push_back("RGBA(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " +
                               std::to_string(c.b) + ", " + std::to_string(c.a) + ") x" +
                               std::to_string(count));
        fault("rules.ini [tiles] mousemap",
              rel + " has " + std::to_string(total) +
                  " pixels in colours other than opaque white, red, magenta, green "
                  "and blue (e.g. " +
                  join(examples, ", ") + ")");
    }

    // A section burst over both a tile and a unit picture must fit the smaller, the tile.
    static void note_explosion(explosion_map& explosions, const std::string& sec, bool over_tile) {
        explosions[sec] = explosions[sec] || over_tile;
    }

    void check_unit(const c_ini& r, const std::string& name, const std::string& sec,
                    explosion_map& explosions, std::set<std::string>& fragmentations) {
        auto special = text_key(r, name, sec, "special");
        text_key(r, name, sec, "name");
        image_key(r, name, sec, "image");
        colour_key(r, name, sec, "color");
        int_key(r, name, sec, "combat", 0);
        int_key(r, name, sec, "damage", 0);
        int_key(r, name, sec, "hp", 1, "the flag's health bar divides by it");
        int_key(r, name, sec, "movement", 1, "a unit without moves can never act");
        bool_key(r, name, sec, "moveattack");
        chance_list(r, name, sec, {"chance_hit", "chance_nohit"}, "every strike");
        chance_list(r, name, sec, {"chance_block", "chance_noblock"}, "every block");
        for (const auto& [count, key] :
             {std::pair<const char*, const char*>{"num_explode_particles", "explosion_explode"},
              {"num_bleed_particles", "explosion_bleed"}}) {
            int_key(r, name, sec, count, 0);
            if (need(r, name, sec, key)) note_explosion(explosions, r.get_raw(sec, key), false);
        }
        if (need(r, name, sec, "fragmentation")) fragmentations.insert(r.get_raw(sec, "fragmentation"));
        if (special == "archer") {
            int_key(r, name, sec, "range", 1);
            for (const char* key : {"arrow_width", "arrow_height"})
                int_key(r, name, sec, key, 1);
            for (const char* key : {"arrow_xoff", "arrow_yoff"})
                int_key(r, name, sec, key);
            for (const char* key : {"arrow_image", "shadow_image"})
                image_key(r, name, sec, key);
            colour_key(r, name, sec, "arrow_color");
            colour_key(r, name, sec, "shadow_color");
            int_key(r, name, sec, "arrow_velocity", 1, "an arrow that does not move never lands");
            float_key(r, name, sec, "arrow_height_multiplier");
        } else if (special == "cannon") {
            int_key(r, name, sec, "range", 1);
            for (const char* key : {"bounce_damage", "backfire_damage"})
                int_key(r, name, sec, key, 0);
            for (const char* key : {"cannonball_width", "cannonball_height"})
                int_key(r, name, sec, key, 1);
            for (const char* key : {"cannonball_xoff", "cannonball_yoff"})
                int_key(r, name, sec, key);
            for (const char* key : {"shadow_image", "cannonball_image"})
                image_key(r, name, sec, key);
            colour_key(r, name, sec, "shadow_color");
            colour_key(r, name, sec, "cannonball_color");
            chance_list(r, name, sec, {"chance_cannonball_land", "chance_cannonball_noland"},
                        "at every hex a ball passes");
            chance_list(r, name, sec, {"chance_cannonball_explode", "chance_cannonball_noexplode"},
                        "at every landing");
            chance_list(r, name, sec,
                        {"chance_backfire_damage", "chance_backfire_explode", "chance_backfire_none"},
                        "on point-blank shots");
            int_key(r, name, sec, "cannonball_velocity", 1, "a ball that does not move never lands");
            float_key(r, name, sec, "cannonball_height_multiplier");
            float_key(r, name, sec, "cannonball_rot_velocity");
            bool_key(r, name, sec, "splooshable");
            struct burst {
                const char* count;
                const char* key;
                bool over_tile;
            };
            for (const burst& b : {burst{"num_blast_particles", "explosion_blast", false},
                                   burst{"num_bounce_particles", "explosion_bounce", true},
                                   burst{"num_sploosh_particles", "explosion_sploosh", true},
                                   burst{"num_fire_particles", "explosion_fire", true}}) {
                int_key(r, name, sec, b.count, 0);
                if (need(r, name, sec, b.key)) note_explosion(explosions, r.get_raw(sec, b.key), b.over_tile);
            }
            if (need(r, name, sec, "fragmentation_shrapnel"))
                fragmentations.insert(r.get_raw(sec, "fragmentation_shrapnel"));
            int_key(r, name, sec, "num_shrapnel_repeats", 0);
        }
    }

    // c_ini cannot tell a missing section from an empty one; a section none of whose
    // leading keys are there is reported once instead of key by key.
    static bool section_absent(const c_ini& r, const std::string& sec,
                               std::initializer_list<const char*> keys) {
        return std::none_of(keys.begin(), keys.end(), [&](const char* k) { return has(r, sec, k); });
    }

    void check_explosion(const c_ini& r, const std::string& name, const std::string& sec, int w, int h) {
        if (section_absent(r, sec, {"num_particletypes", "particle_width", "particle_height"})) {
            fault(name + " [" + sec + "]", "explosion section is missing");
            return;
        }
        auto n = int_key(r, name, sec, "num_particletypes", 0);
        auto pw = int_key(r, name, sec, "particle_width", 1);
        auto ph = int_key(r, name, sec, "particle_height", 1);
        if (pw && ph && w && h && (*pw >= w || *ph >= h))
            fault(name + " [" + sec + "]",
                  "particles of " + std::to_string(*pw) + " x " + std::to_string(*ph) +
                      " must be smaller than the " + std::to_string(w) + " x " + std::to_string(h) +
                      " rectangle they burst over (the game places them modulo the difference)");
        if (!n || *n <= 0) return;
        std::vector<std::string> chances;
        for (int i = 0; i < *n; ++i)
            chances.push_back(std::to_string(i) + "_chance");
        chance_list(r, name, sec, chances, "for every particle");
        for (int i = 0; i < *n; ++i) {
            std::string p = std::to_string(i);
            auto lo = colour_range(r, name, sec, p + "_color_low");
            auto hi = colour_range(r, name, sec, p + "_color_high");
            if (lo && hi) check_channels(name, sec, i, *lo, *hi);
            for (const std::string& suffix : k_particle_ranges)
                vector_key(r, name, sec, p + suffix);
        }
    }

    std::optional<std::vector<long long>> colour_range(const c_ini& r, const std::string& name,
                                                       const std::string& sec, const std::string& key) {
        if (!need(r, name, sec, key)) return std::nullopt;
        std::string raw = r.get_raw(sec, key);
        auto nums = scan_ints(raw, 4);
        if (nums.size() != 4) {
            fault(at(name, sec, key), in_quotes(raw) + " is not four numbers (a r g b)");
            return std::nullopt;
        }
        return nums;
    }

    // A channel of -1..-4 takes the value of channel 1..4; references must end in a number.
    void check_channels(const std::string& name, const std::string& sec, int i,
                        const std::vector<long long>& lo, const std::vector<long long>& hi) {
        std::string where = name + " [" + sec + "] " + std::to_string(i) + "_color_low/high";
        std::map<int, int> refs;
        for (int ch = 0; ch < 4; ++ch) {
            long long a = lo[ch], b = hi[ch];
            if (a < 0 || b < 0) {
                if (a != b || a < -4) {
                    fault(where, "channel " + std::to_string(ch + 1) +
                                     ": a reference (-1..-4) must stand in both low and high, otherwise the "
                                     "random range can be empty");
                    return;
                }
                refs[ch] = static_cast<int>(-a - 1);
            } else if (!(a <= b && b <= 255)) {
                fault(where, "channel " + std::to_string(ch + 1) + ": " + std::to_string(a) + ".." +
                                 std::to_string(b) + " is not a range within 0..255");
                return;
            }
        }
        std::set<int> resolved;
        for (int ch = 0; ch < 4; ++ch)
            if (!refs.count(ch)) resolved.insert(ch);
        for (bool grew = true; grew;) {
            grew = false;
            for (const auto& [ch, target] : refs)
                if (!resolved.count(ch) && resolved.count(target)) grew = resolved.insert(ch).second;
        }
        if (resolved.size() == 4) return;
        std::vector<std::string> stuck;
        for (int ch = 0; ch < 4; ++ch)
            if (!resolved.count(ch)) stuck.push_back(std::to_string(ch + 1));
        fault(where,
              "channels [" + join(stuck, ", ") +
                  "] refer to themselves or to each other in a circle: the game cannot resolve the colour");
    }

    void check_fragmentation(const c_ini& r, const std::string& name, const std::string& sec) {
        if (section_absent(r, sec,
                           {"num_columns_low", "num_columns_high", "num_rows_low", "num_rows_high"})) {
            fault(name + " [" + sec + "]", "fragmentation section is missing");
            return;
        }
        for (const std::string what : {"columns", "rows"}) {
            auto lo = int_key(r, name, sec, "num_" + what + "_low", 1, "the picture is divided by it");
            auto hi = int_key(r, name, sec, "num_" + what + "_high", 1);
            if (lo && hi && *hi < *lo)
                fault(name + " [" + sec + "] num_" + what + "_low/high",
                      std::to_string(*lo) + ".." + std::to_string(*hi) +
                          " is empty: the game draws a random count modulo its size");
        }
        for (const std::string& key : k_frag_ranges)
            vector_key(r, name, sec, key);
    }

    // The window icon: an icon directory whose entries are BMPs (with their AND mask), one of
    // them 32 x 32.
    void check_icon() {
        const std::string name = "harnvale.ico";
        std::string path = data_ + "/" + name;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) {
            fault(name, "file is missing");
            return;
        }
        std::ifstream in(path, std::ios::binary);
        std::string blob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto u8 = [&](size_t at) -> std::uint32_t {
            if (at >= blob.size()) throw std::runtime_error("the file is cut short");
            return static_cast<std::uint8_t>(blob[at]);
        };
        auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
        auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        try {
            if (u16(0) != 0 || u16(2) != 1 || u16(4) < 1) throw std::runtime_error("not an icon directory");
            std::vector<std::string> sizes;
            bool has_32 = false;
            for (std::uint32_t k = 0; k < u16(4); ++k) {
                size_t entry = 6 + 16 * static_cast<size_t>(k);
                std::uint32_t length = u32(entry + 8), offset = u32(entry + 12);
                std::string ks = std::to_string(k);
                if (offset + static_cast<size_t>(length) > blob.size())
                    throw std::runtime_error("entry " + ks + " runs past the end of the file");
                if (length >= 8 && blob.compare(offset, 8, "\x89PNG\r\n\x1a\n", 8) == 0)
                    throw std::runtime_error("entry " + ks + " is a PNG; only BMP entries load everywhere");
                if (length < 12)
                    throw std::runtime_error("entry " + ks + " lacks a BMP header with its AND mask");
                auto header = u32(offset);
                auto bw = static_cast<std::int32_t>(u32(offset + 4)),
                     bh = static_cast<std::int32_t>(u32(offset + 8));
                if (header != 40 || static_cast<long long>(bh) != 2LL * bw)
                    throw std::runtime_error("entry " + ks + " lacks a BMP header with its AND mask");
                sizes.push_back(std::to_string(bw));
                has_32 = has_32 || bw == 32;
            }
            if (!has_32) throw std::runtime_error("no 32 x 32 entry (has " + join(sizes, ", ") + ")");
            std::string error, format;
            if (!load_picture(path, error, format)) throw std::runtime_error("does not load: " + error);
        } catch (const std::runtime_error& e) {
            fault(name, e.what());
        }
    }

    // Picking through the mousemap must agree with the drawn tiles and with the nearest
    // tile centre on a field laid out as the battle screen lays it out.
    std::vector<std::string> check_picking() {
        std::vector<std::string> faults;
        directory_change in(data_);
        c_ini rules("rules.ini");
        int tw = rules.get_int("tiles", "tile_width"), th = rules.get_int("tiles", "tile_height");
        int yoff = rules.get_int("tiles", "placement_yoffset");
        if (tw <= 0 || th <= 0 || yoff < 0 || yoff >= th || 2 * yoff > th)
            return {"[tiles] sizes " + std::to_string(tw) + " x " + std::to_string(th) + " with overlap " +
                    std::to_string(yoff) + " do not make a hex grid"};
        const loaded& mm_loaded = load(data_ + "/" + rules.get_raw("tiles", "mousemap"));
        if (!mm_loaded.pic) return {"mousemap does not load: " + mm_loaded.error};
        const picture* mm = &*mm_loaded.pic;
        if (mm->w != tw || mm->h != th)
            return {"mousemap is " + std::to_string(mm->w) + " x " + std::to_string(mm->h) +
                    ", the tiles are " + std::to_string(tw) + " x " + std::to_string(th)};
        int step = th - yoff;
        int width = tw * k_cols + tw / 2, height = step * k_rows + yoff;

        // Every tile picture as the whole field: the picture on top at each pixel (lower rows
        // are drawn later and cover the overlap) must be the tile picked there.
        std::string tile_format = rules.get_raw("tiles", "tile_name_format");
        int n = rules.get_int("tiles", "num_tiletypes");
        std::set<std::vector<bool>> outlines;
        for (int i = 0; i < n; ++i) {
            std::string sec = format_string(tile_format.c_str(), i), rel = rules.get_raw(sec, "image");
            const loaded& l = load(data_ + "/" + rel);
            if (!l.pic) continue; // reported with the tile's keys
            picture img = l.pic->w != tw || l.pic->h != th ? scaled(*l.pic, tw, th) : *l.pic;
            std::vector<bool> mask(img.px.size());
            for (size_t k = 0; k < mask.size(); ++k)
                mask[k] = img.px[k].a != 0;
            if (!outlines.insert(mask).second) continue; // same outline as a tile type already checked
            // The cell drawn on top at each pixel, as row * k_cols + col + 1; 0 where none is.
            std::vector<short> top(static_cast<size_t>(width) * height);
            for (int row = 0; row < k_rows; ++row)
                for (int col = 0; col < k_cols; ++col) {
                    rect rc = tile_rect(col, row, tw, th, yoff);
                    for (int y = rc.top; y < std::min(rc.bottom, height); ++y)
                        for (int x = rc.left; x < std::min(rc.right, width); ++x)
                            if (mask[static_cast<size_t>(y - rc.top) * tw + (x - rc.left)])
                                top[static_cast<size_t>(y) * width + x] =
                                    static_cast<short>(row * k_cols + col + 1);
                }
            int bad = 0, gaps = 0;
            std::string first_gap, first_bad;
            // The field's ragged rim (half tiles at the row ends, the top and bottom points)
            // has no neighbour to fill it: look inside it.
            for (int y = th; y < height - th; ++y)
                for (int x = tw; x < width - tw; ++x) {
                    int index = top[static_cast<size_t>(y) * width + x];
                    if (index == 0) {
                        if (gaps++ == 0) first_gap = pixel_text(x, y);
                        continue;
                    }
                    cell drawn{(index - 1) % k_cols, (index - 1) / k_cols};
                    auto picked = pick(x, y, *mm, tw, th, yoff);
                    if (picked != drawn && bad++ == 0)
                        first_bad = "pixel " + pixel_text(x, y) + ", drawn " + describe(drawn) + ", picked " +
                                    describe(picked);
                }
            if (gaps)
                faults.push_back("[" + sec + "] " + rel + " leaves " + std::to_string(gaps) +
                                 " pixels of the field uncovered (first at " + first_gap + ")");
            if (bad)
                faults.push_back("[" + sec + "] picking disagrees with the drawn " + rel + " at " +
                                 std::to_string(bad) + " pixels (first: " + first_bad + ")");
        }

        // The field is seen at a slant, so distances are measured on the ground: a vertical
        // pixel counts sqrt(W^2 / (4 Y (H - Y))) horizontal ones. With that measure the drawn
        // hex is exactly the set of points nearest its centre.
        double s2 = yoff > 0 ? static_cast<double>(tw) * tw / (4.0 * yoff * (th - yoff)) : 1.0;
        double yscale = std::sqrt(s2);
        std::vector<rect> rects;
        for (int r = 0; r < k_rows; ++r)
            for (int c = 0; c < k_cols; ++c)
                rects.push_back(tile_rect(c, r, tw, th, yoff));
        int wrong = 0;
        std::string first_wrong;
        for (int y = th; y < height - th; ++y)
            for (int x = tw; x < width - tw; x += y % 3 == 0 ? 1 : 3) {
                double px = x + 0.5, py = y + 0.5;
                int near_row = y / step, near_col = x / tw;
                // The nearest and second-nearest centres among the cells around the point.
                double best = 1e300, second = 1e300;
                cell nearest{-1, -1};
                for (int r = std::max(0, near_row - 2); r <= std::min(k_rows - 1, near_row + 2); ++r)
                    for (int c = std::max(0, near_col - 2); c <= std::min(k_cols - 1, near_col + 2); ++c) {
                        const rect& rc = rects[static_cast<size_t>(r) * k_cols + c];
                        double dx = px - (rc.left + rc.right) / 2.0,
                               dy = (py - (rc.top + rc.bottom) / 2.0) * yscale;
                        double d = std::sqrt(dx * dx + dy * dy);
                        if (d < best) {
                            second = best;
                            best = d;
                            nearest = cell{c, r};
                        } else if (d < second) {
                            second = d;
                        }
                    }
                if (second - best < 1.0) continue; // within a pixel of the border between two tiles
                auto picked = pick(x, y, *mm, tw, th, yoff);
                if (picked != nearest && wrong++ == 0)
                    first_wrong = "pixel " + pixel_text(x, y) + ", nearest " + describe(nearest) +
                                  ", picked " + describe(picked);
            }
        if (wrong)
            faults.push_back("mousemap picks a tile other than the nearest at " + std::to_string(wrong) +
                             " sample points (first: " + first_wrong + ")");
        return faults;
    }
};

} // namespace

data_check_report run_data_check(const std::string& data_dir) {
    // Absolute, as the checker changes the working directory to open each INI through c_ini.
    std::error_code ec;
    fs::path dir = fs::absolute(data_dir, ec).lexically_normal();
    std::string text = dir.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return checker(text).run();
}

std::vector<std::string> check_data(const std::string& data_dir) {
    return run_data_check(data_dir).faults;
}
