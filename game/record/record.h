// The battle record file: what made a battle and every order given in it, one line each, so
// that a battle can be continued after the program was stopped (or killed) and watched again.
//
//   harnvale battle record 1          format version
//   seed 3141592653                   the battle's random stream at its start
//   rules 9c1185a5c5e9fc54            fingerprint of DATA/rules.ini (FNV-1a, 64 bits)
//   started 1718049600                when (seconds since 1970, UTC)
//   map 24 17                         columns and rows, as the seed makes them
//   turn 0 0 3                        after 0 update steps: player 0's turn, 3 players in
//   order 12 0 select 7               step, player, order, unit id ...
//   order 15 0 act 7 5 9 30 21        ... and for "act": column, row, aim x, aim y
//   order 190 0 endturn
//   turn 190 1 3
//   won 4410 2                        only player 2 is left (-1: nobody)
//   left 4500                         the battle was left (more may follow when continued)
//
// Steps never go down. A last line without its line end is the order that was being written
// when the program was stopped: it is left out, and the record is whole without it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "game/record/orders.h"

constexpr int record_format_version = 1;
// Bounds of what a record may hold; anything past them is damage, not a battle.
constexpr std::uint64_t max_record_bytes = 64ull << 20;
constexpr size_t max_record_line = 128;
constexpr std::uint32_t max_record_step = 0x7FFFFFFF;

struct record_header {
    int version = record_format_version;
    std::uint32_t seed = 0;
    std::uint64_t rules = 0;
    std::int64_t started = 0;
    int cols = 0, rows = 0;
};

enum record_event_kind : int { EVENT_ORDER = 0, EVENT_TURN = 1, EVENT_WON = 2, EVENT_LEFT = 3 };

struct record_event {
    int what = EVENT_ORDER;
    std::uint32_t step = 0; // update steps run before it
    battle_order order;     // EVENT_ORDER
    int player = -1;        // EVENT_TURN: whose turn it is now; EVENT_WON: the one left (-1 none)
    int alive = 0;          // EVENT_TURN: players still owning units
};

struct record_file {
    record_header header;
    std::vector<record_event> events;
    bool cut_tail = false;        // a last line without its end was left out
    std::uint64_t whole_size = 0; // bytes up to the end of the last whole line
};

enum record_status : int {
    RECORD_OK = 0,
    RECORD_DAMAGED = 1, // not a record, or broken: it can only be deleted
    RECORD_REFUSED = 2, // a sound record this program will not play (newer format, other rules)
};

struct record_read {
    int status = RECORD_OK;
    std::string reason; // a short phrase for the list ("damaged: line 7 is no order")
    record_file record;
};

// Parses a record's bytes strictly: the header lines in their order, then events, every number
// in its range, steps never going down, at most max_record_bytes. Never raises.
record_read parse_record(std::string_view bytes);
// Reads and parses a file; a file that cannot be read or is too large is damaged.
record_read read_record(const std::string& path);

std::string format_header(const record_header& header);
std::string format_event(const record_event& event);

// FNV-1a over the bytes (64 bits).
std::uint64_t fingerprint(std::string_view bytes);

// A record file being written. Each line reaches the operating system when it is written
// (nothing waits in the program's buffers); sync asks the system to put it on the disk.
class c_record_writer {
  public:
    ~c_record_writer();
    c_record_writer(const c_record_writer&) = delete;
    c_record_writer& operator=(const c_record_writer&) = delete;

    // A new file in `folder` (made when missing), named after the time and seed, holding the
    // header; synced, with the folder entry. Null with `error` set when it cannot be made.
    static std::unique_ptr<c_record_writer> create(const std::string& folder, const record_header& header,
                                                   std::string& error);
    // An existing record continued: the file is cut back to `whole_size` bytes (a half-written
    // last line goes) and opened for appending.
    static std::unique_ptr<c_record_writer> append(const std::string& path, std::uint64_t whole_size,
                                                   std::string& error);

    // False once a write has failed (the disk is full, the file went away); later writes are
    // skipped, so a failing disk costs one message, not one per order.
    bool write_line(const std::string& line);
    bool sync();
    bool failed() const { return failed_; }
    const std::string& path() const { return path_; }

  private:
    c_record_writer(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
    std::FILE* file_;
    std::string path_;
    bool failed_ = false;
};
