#include "game/record/saves.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "framework/misc.h"

namespace fs = std::filesystem;

record_entry summarize_record(const record_read& read, std::uint64_t rules) {
    record_entry e;
    e.status = read.status;
    e.reason = read.reason;
    if (read.status != RECORD_OK) return e;
    const record_file& r = read.record;
    e.started = r.header.started;
    e.cols = r.header.cols;
    e.rows = r.header.rows;
    int turn_marks = 0;
    for (const record_event& ev : r.events) {
        switch (ev.what) {
        case EVENT_ORDER:
            ++e.orders;
            break;
        case EVENT_TURN:
            ++turn_marks;
            e.alive = ev.alive;
            break;
        case EVENT_WON:
            e.finished = true;
            e.alive = ev.player >= 0 ? 1 : 0;
            break;
        default:
            break;
        }
    }
    e.turns = std::max(turn_marks - 1, 0);
    if (r.header.rules != rules) {
        e.status = RECORD_REFUSED;
        e.reason = "refused: made with other rules (DATA/rules.ini has changed since)";
    }
    return e;
}

std::vector<record_entry> list_records(const std::string& folder, std::uint64_t rules) {
    std::vector<record_entry> list;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return list;
    struct found {
        fs::path path;
        std::int64_t modified;
    };
    std::vector<found> files;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code e2;
        if (!it->is_regular_file(e2) || e2) continue;
        const auto time = it->last_write_time(e2);
        files.push_back({it->path(), e2 ? 0 : static_cast<std::int64_t>(time.time_since_epoch().count())});
    }
    // A folder stuffed with files must not stall the screen: the newest files are listed.
    if (files.size() > max_listed_records) {
        std::partial_sort(files.begin(), files.begin() + max_listed_records, files.end(),
                          [](const found& a, const found& b) { return a.modified > b.modified; });
        files.resize(max_listed_records);
    }
    list.reserve(files.size());
    for (const found& f : files) {
        record_entry e = summarize_record(read_record(f.path.string()), rules);
        e.path = f.path.string();
        e.file_name = f.path.filename().string();
        e.modified = f.modified;
        list.push_back(std::move(e));
    }
    // Newest battle first; files without a start time after the battles, newest file first.
    std::sort(list.begin(), list.end(), [](const record_entry& a, const record_entry& b) {
        const bool ha = a.started > 0, hb = b.started > 0;
        if (ha != hb) return ha;
        if (a.started != b.started) return a.started > b.started;
        if (a.modified != b.modified) return a.modified > b.modified;
        return a.file_name > b.file_name;
    });
    return list;
}

std::string describe_entry(const record_entry& e, const entry_labels& labels) {
    // Without a header read there is nothing to say but which file it is.
    if (e.status == RECORD_DAMAGED || e.started <= 0) return e.file_name + "   " + e.reason;
    char when[32] = "?";
    const std::time_t t = static_cast<std::time_t>(e.started);
    std::tm tm{};
#ifdef _WIN32
    const bool have = localtime_s(&tm, &t) == 0;
#else
    const bool have = localtime_r(&t, &tm) != nullptr;
#endif
    if (have) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tm);
    std::string line = format_string("%s   %d x %d   ", when, e.cols, e.rows);
    if (e.status == RECORD_REFUSED) return line + e.reason;
    line += format_string("%d %s   %d %s   ", e.turns, labels.turns.c_str(), e.alive,
                          (e.alive == 1 ? labels.player : labels.players).c_str());
    return line + (e.finished ? labels.finished : labels.playing);
}

bool delete_record(const std::string& path) {
    std::error_code ec;
    return fs::remove(path, ec) && !ec;
}
