// Reading and writing battle record files.
//
// Index: 1. fingerprint; 2. numbers and lines; 3. the header; 4. events; 5. parse_record and
// read_record; 6. formatting; 7. the writer.
#include "game/record/record.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "framework/misc.h"

// ---- 1. fingerprint

std::uint64_t fingerprint(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

namespace {

// ---- 2. numbers and lines

// The words of a line split at single spaces; false for empty words (two spaces, a space at
// either end) or more than `max` words.
bool split_words(std::string_view line, std::vector<std::string_view>& words, size_t max) {
    words.clear();
    size_t at = 0;
    while (true) {
        const size_t space = line.find(' ', at);
        const std::string_view word =
            line.substr(at, space == std::string_view::npos ? line.size() - at : space - at);
        if (word.empty() || words.size() == max) return false;
        words.push_back(word);
        if (space == std::string_view::npos) return true;
        at = space + 1;
    }
}

// A decimal number filling the whole word, in low..high; no sign but a leading '-'.
template <class T> bool number(std::string_view word, T low, T high, T& out) {
    if (word.empty() || word.size() > 20 || word[0] == '+') return false;
    T v{};
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc() || end != word.data() + word.size() || v < low || v > high) return false;
    out = v;
    return true;
}

bool hex64(std::string_view word, std::uint64_t& out) {
    if (word.size() != 16) return false;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), out, 16);
    return ec == std::errc() && end == word.data() + word.size();
}

std::string line_reason(size_t line_number, const char* what) {
    return format_string("damaged: line %llu %s", static_cast<unsigned long long>(line_number), what);
}

// ---- 3. the header

constexpr std::string_view magic = "harnvale battle record ";
constexpr int header_lines = 5;

// Line 1: what the file is and which format. Returns "" when it is this format.
std::string check_magic(std::string_view line, int& version, int& status) {
    status = RECORD_DAMAGED;
    if (line.substr(0, magic.size()) != magic) return "damaged: not a battle record";
    if (!number(line.substr(magic.size()), 1, 1000000, version)) return "damaged: not a battle record";
    if (version > record_format_version) {
        status = RECORD_REFUSED;
        return format_string("refused: made by a newer Harnvale (record format %d; this one reads %d)",
                             version, record_format_version);
    }
    status = RECORD_OK;
    return "";
}

bool header_line(size_t index, const std::vector<std::string_view>& w, record_header& h) {
    switch (index) {
    case 1:
        return w.size() == 2 && w[0] == "seed" && number<std::uint32_t>(w[1], 0, 0xFFFFFFFFu, h.seed);
    case 2:
        return w.size() == 2 && w[0] == "rules" && hex64(w[1], h.rules);
    case 3:
        return w.size() == 2 && w[0] == "started" &&
               number<std::int64_t>(w[1], 0, 253402300799LL /* the year 9999 */, h.started);
    case 4:
        // A battle's map is 10 to 32 tiles each way.
        return w.size() == 3 && w[0] == "map" && number(w[1], 10, 32, h.cols) && number(w[2], 10, 32, h.rows);
    default:
        return false;
    }
}

// ---- 4. events

constexpr int max_players = 16;
constexpr int max_unit_id = 1 << 16;
constexpr int max_aim = 65536;

bool parse_order(const std::vector<std::string_view>& w, const record_header& h, battle_order& o) {
    if (w.size() < 4 || !number(w[2], 0, max_players - 1, o.player)) return false;
    o.kind = order_kind_of(std::string(w[3]));
    switch (o.kind) {
    case ORDER_ACT:
        return w.size() == 9 && number(w[4], 0, max_unit_id, o.unit) && number(w[5], 0, h.cols - 1, o.col) &&
               number(w[6], 0, h.rows - 1, o.row) && number(w[7], -max_aim, max_aim, o.aim_x) &&
               number(w[8], -max_aim, max_aim, o.aim_y);
    case ORDER_SELECT:
    case ORDER_SHOW_MOVES:
    case ORDER_DESELECT:
    case ORDER_DISBAND:
        return w.size() == 5 && number(w[4], 0, max_unit_id, o.unit);
    case ORDER_GIVE_UP:
    case ORDER_END_TURN:
    case ORDER_NEXT_UNIT:
        return w.size() == 4;
    default:
        return false;
    }
}

bool parse_event(const std::vector<std::string_view>& w, const record_header& h, record_event& e) {
    if (w.size() < 2 || !number<std::uint32_t>(w[1], 0, max_record_step, e.step)) return false;
    if (w[0] == "order") {
        e.what = EVENT_ORDER;
        return parse_order(w, h, e.order);
    }
    if (w[0] == "turn") {
        e.what = EVENT_TURN;
        return w.size() == 4 && number(w[2], 0, max_players - 1, e.player) &&
               number(w[3], 0, max_players, e.alive);
    }
    if (w[0] == "won") {
        e.what = EVENT_WON;
        return w.size() == 3 && number(w[2], -1, max_players - 1, e.player);
    }
    if (w[0] == "left") {
        e.what = EVENT_LEFT;
        return w.size() == 2;
    }
    return false;
}

} // namespace

// ---- 5. parse_record and read_record

record_read parse_record(std::string_view bytes) {
    record_read r;
    auto fail = [&r](int status, std::string reason) {
        r.status = status;
        r.reason = std::move(reason);
        r.record.events.clear();
        return r;
    };
    if (bytes.empty()) return fail(RECORD_DAMAGED, "damaged: the file is empty");
    if (bytes.size() > max_record_bytes)
        return fail(RECORD_DAMAGED, "damaged: too large to be a battle record");
    std::vector<std::string_view> words;
    size_t at = 0, line_number = 0;
    std::uint32_t last_step = 0;
    while (at < bytes.size()) {
        const size_t end = bytes.find('\n', at);
        ++line_number;
        if (end == std::string_view::npos) {
            // The order in flight when the program stopped; the header must be whole, though.
            if (line_number <= header_lines)
                return fail(RECORD_DAMAGED, "damaged: the file ends inside its header");
            r.record.cut_tail = true;
            break;
        }
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (line.size() > max_record_line)
            return fail(RECORD_DAMAGED, line_reason(line_number, "is too long"));
        if (line_number == 1) {
            int status = RECORD_OK;
            std::string why = check_magic(line, r.record.header.version, status);
            if (!why.empty()) return fail(status, why);
            continue;
        }
        if (!split_words(line, words, 9))
            return fail(RECORD_DAMAGED, line_reason(line_number, "cannot be read"));
        if (line_number <= header_lines) {
            if (!header_line(line_number - 1, words, r.record.header))
                return fail(RECORD_DAMAGED, line_reason(line_number, "is not the header line it should be"));
            continue;
        }
        record_event e;
        if (!parse_event(words, r.record.header, e))
            return fail(RECORD_DAMAGED, line_reason(line_number, "is no order or mark"));
        if (e.step < last_step) return fail(RECORD_DAMAGED, line_reason(line_number, "goes back in time"));
        last_step = e.step;
        r.record.events.push_back(e);
    }
    if (line_number < header_lines) return fail(RECORD_DAMAGED, "damaged: the file ends inside its header");
    r.record.whole_size = r.record.cut_tail ? at : bytes.size();
    return r;
}

record_read read_record(const std::string& path) {
    record_read r;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        r.status = RECORD_DAMAGED;
        r.reason = "damaged: the file cannot be read";
        return r;
    }
    if (size > max_record_bytes) {
        r.status = RECORD_DAMAGED;
        r.reason = "damaged: too large to be a battle record";
        return r;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    const size_t got = f ? std::fread(bytes.data(), 1, bytes.size(), f) : 0;
    if (f) std::fclose(f);
    if (!f || got != bytes.size()) {
        r.status = RECORD_DAMAGED;
        r.reason = "damaged: the file cannot be read";
        return r;
    }
    return parse_record(bytes);
}

// ---- 6. formatting

std::string format_header(const record_header& h) {
    return format_string("harnvale battle record %d\nseed %u\nrules %016llx\nstarted %lld\nmap %d %d\n",
                         record_format_version, static_cast<unsigned>(h.seed),
                         static_cast<unsigned long long>(h.rules), static_cast<long long>(h.started), h.cols,
                         h.rows);
}

std::string format_event(const record_event& e) {
    const unsigned step = e.step;
    switch (e.what) {
    case EVENT_TURN:
        return format_string("turn %u %d %d\n", step, e.player, e.alive);
    case EVENT_WON:
        return format_string("won %u %d\n", step, e.player);
    case EVENT_LEFT:
        return format_string("left %u\n", step);
    default:
        break;
    }
    const battle_order& o = e.order;
    const char* name = order_name(o.kind);
    if (!name) return "";
    if (o.kind == ORDER_ACT)
        return format_string("order %u %d act %d %d %d %d %d\n", step, o.player, o.unit, o.col, o.row,
                             o.aim_x, o.aim_y);
    if (o.unit >= 0) return format_string("order %u %d %s %d\n", step, o.player, name, o.unit);
    return format_string("order %u %d %s\n", step, o.player, name);
}

// ---- 7. the writer

namespace {

bool sync_file(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

// The new name must reach the disk as well as the file's bytes.
void sync_folder(const std::string& folder) {
#ifndef _WIN32
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
#else
    (void)folder;
#endif
}

// A new file, never one that exists (errno EEXIST then). The C runtime of Windows knows no "x"
// in fopen's mode.
std::FILE* create_new_file(const std::string& path) {
#ifdef _WIN32
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) _close(fd);
    return f;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

std::string file_name(const record_header& h, int attempt) {
    const std::time_t t = static_cast<std::time_t>(h.started);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string name = format_string("battle-%s-%u", stamp, static_cast<unsigned>(h.seed));
    if (attempt > 0) name += format_string("-%d", attempt + 1);
    return name + ".hvr";
}

} // namespace

c_record_writer::~c_record_writer() {
    if (file_) {
        sync_file(file_);
        std::fclose(file_);
    }
}

std::unique_ptr<c_record_writer> c_record_writer::create(const std::string& folder,
                                                         const record_header& header, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "Unable to make the folder \"" + folder + "\": " + ec.message() + ".";
        return nullptr;
    }
    // Two battles begun in the same second from the same seed still get a file each.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + "/" + file_name(header, attempt);
        std::FILE* f = create_new_file(path);
        if (!f && errno == EEXIST) continue;
        if (!f) {
            error = "Unable to make the record \"" + path + "\": " + std::strerror(errno) + ".";
            return nullptr;
        }
        std::unique_ptr<c_record_writer> w(new c_record_writer(f, path));
        if (!w->write_line(format_header(header)) || !w->sync()) {
            error = "Unable to write the record \"" + path + "\".";
            return nullptr;
        }
        sync_folder(folder);
        return w;
    }
    error = "Unable to make a record in \"" + folder + "\": too many battles begun in this second.";
    return nullptr;
}

std::unique_ptr<c_record_writer> c_record_writer::append(const std::string& path, std::uint64_t whole_size,
                                                         std::string& error) {
    std::error_code ec;
    std::filesystem::resize_file(path, whole_size, ec);
    if (ec) {
        error = "Unable to continue the record \"" + path + "\": " + ec.message() + ".";
        return nullptr;
    }
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        error = "Unable to continue the record \"" + path + "\": " + std::strerror(errno) + ".";
        return nullptr;
    }
    return std::unique_ptr<c_record_writer>(new c_record_writer(f, path));
}

bool c_record_writer::write_line(const std::string& line) {
    if (failed_) return false;
    // Handed to the system at once: a killed process loses nothing written before it.
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
        failed_ = true;
    return !failed_;
}

bool c_record_writer::sync() {
    if (failed_) return false;
    if (!sync_file(file_)) failed_ = true;
    return !failed_;
}
