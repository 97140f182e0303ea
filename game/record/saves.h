// The folder of battle records as the "Load a battle" screen lists it: every file in it, newest
// battle first, each with what the list shows (when it began, the map, the turns played, the
// players still in, finished or not) or why it cannot be played.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "game/record/record.h"

struct record_entry {
    std::string path;
    std::string file_name;
    int status = RECORD_OK; // record_status
    std::string reason;     // why it is damaged or refused ("" when it can be played)
    std::int64_t started = 0;
    std::int64_t modified = 0; // the file's time, for ordering what has no start time
    int cols = 0, rows = 0;
    int turns = 0; // turns played: turns begun after the first
    int alive = 0; // players still owning units when the record was last written
    bool finished = false;
    size_t orders = 0;
};

// More files than this in the folder are not listed (the oldest are left out).
constexpr size_t max_listed_records = 1000;

// Every regular file in `folder`, newest first. A record whose rules fingerprint differs from
// `rules` is refused. A missing folder is an empty list. Never raises.
std::vector<record_entry> list_records(const std::string& folder, std::uint64_t rules);
// The summary of one record's contents (status, reason and fields) as the list shows it.
record_entry summarize_record(const record_read& read, std::uint64_t rules);

// Labels of the list's line; empty ones fall back to English.
struct entry_labels {
    std::string turns = "turns", player = "player in", players = "players in", finished = "finished",
                playing = "in play";
};
// One line of the list: "2024-06-10 14:03   24 x 17   5 turns   3 players in   in play", or the
// file name and the reason for a damaged file.
std::string describe_entry(const record_entry& entry, const entry_labels& labels);

// Removes the file; false when it could not be removed.
bool delete_record(const std::string& path);
