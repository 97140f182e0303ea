// The record file: damaged, truncated, empty, hostile and foreign files, records of a newer
// format or other rules, and orders that do not fit the battle, each listed with its reason
// (and refused when loaded); the list's order and lines; the writer.
#include <filesystem>

#include "game/record/battle_record.h"
#include "game/record/saves.h"
#include "tests/game/data_battle_fixture.h"
#include "tests/game/record/random_orders.h"

namespace {

class record_files : public data_battle_test {
  protected:
    record_files() {
        dev.keep_log = false;
        g_saves_folder = saves.path();
    }
    ~record_files() override {
        record_close();
        g_saves_folder.clear();
    }
    // A real record of a short battle: its bytes.
    std::string played(std::uint32_t seed, int orders) {
        std::mt19937 rng(seed);
        cwd_guard cwd(data_dir());
        start_battle(seed);
        record_begin(seed);
        for (int k = 0; k < orders; ++k) {
            run_until_quiet(nullptr, k, false);
            give_order(random_order(rng, 0));
        }
        run_until_quiet(nullptr, orders, false);
        const std::string path = record_path();
        record_close();
        const std::string bytes = read_file(path);
        std::filesystem::remove(path);
        return bytes;
    }
    scratch_dir saves;
};

std::string replace_line(const std::string& bytes, size_t index, const std::string& line) {
    size_t at = 0;
    for (size_t i = 0; i < index; ++i)
        at = bytes.find('\n', at) + 1;
    const size_t end = bytes.find('\n', at);
    return bytes.substr(0, at) + line + bytes.substr(end);
}

} // namespace

TEST_F(record_files, DamagedForeignAndRefusedRecordsAreListedWithTheirReasonAndNeverLoaded) {
    const std::string good = played(321, 30);
    ASSERT_EQ(parse_record(good).status, RECORD_OK) << parse_record(good).reason;
    const std::string header = good.substr(0, good.find("turn "));
    // The battle's own first turn, so that the cases below reach what they damage.
    const std::string turn0 = good.substr(header.size(), good.find('\n', header.size()) + 1 - header.size());
    const int current = turn0[7] - '0'; // "turn 0 P A"
    const std::string me = std::to_string(current), other = std::to_string((current + 1) % 3);
    const std::string first_order = good.substr(good.find("order "));
    struct damage {
        const char* name;
        std::string bytes;
        int status;
        const char* reason; // part of the list's reason, or of the loader's for a record that parses
    };
    std::string png = "\x89PNG\r\n\x1a\n";
    png += std::string(40, '\0');
    const damage cases[] = {
        {"empty", "", RECORD_DAMAGED, "empty"},
        {"foreign picture", png, RECORD_DAMAGED, "not a battle record"},
        {"text file", "shopping list\nbread\n", RECORD_DAMAGED, "not a battle record"},
        {"magic only", "harnvale battle record 1\n", RECORD_DAMAGED, "ends inside its header"},
        {"header cut in a line", header.substr(0, header.size() - 4), RECORD_DAMAGED,
         "ends inside its header"},
        {"newer format", replace_line(good, 0, "harnvale battle record 7"), RECORD_REFUSED, "newer Harnvale"},
        {"other rules", replace_line(good, 2, "rules 0123456789abcdef"), RECORD_REFUSED, "other rules"},
        {"seed not a number", replace_line(good, 1, "seed twelve"), RECORD_DAMAGED, "line 2"},
        {"seed out of range", replace_line(good, 1, "seed 99999999999"), RECORD_DAMAGED, "line 2"},
        {"map too large", replace_line(good, 4, "map 200 17"), RECORD_DAMAGED, "line 5"},
        {"unknown order", header + turn0 + "order 5 0 fly 3\n", RECORD_DAMAGED, "line 7"},
        {"two spaces", header + turn0 + "order 5  0 endturn\n", RECORD_DAMAGED, "line 7"},
        {"crlf line end", header + "turn 0 0 3\r\n", RECORD_DAMAGED, "line 6"},
        {"nul bytes", header + std::string("turn 0\0 0 3\n", 12), RECORD_DAMAGED, "line 6"},
        {"negative step", header + "turn -1 0 3\n", RECORD_DAMAGED, "line 6"},
        {"time goes back", header + "turn 9 0 3\nleft 2\n", RECORD_DAMAGED, "back in time"},
        {"line too long", header + std::string(500, '7') + "\n", RECORD_DAMAGED, "too long"},
        {"aim far outside", header + turn0 + "order 1 0 act 1 2 3 99999999 0\n", RECORD_DAMAGED, "line 7"},
        {"tile off the map", header + turn0 + "order 1 0 act 1 40 3 0 0\n", RECORD_DAMAGED, "line 7"},
        // Sound lines that do not fit the battle: found when it is built.
        {"unit not in the battle", header + turn0 + "order 1 " + me + " select 60000\n", RECORD_OK,
         "not in the battle"},
        {"another player's turn", header + turn0 + "order 1 " + other + " endturn\n", RECORD_OK,
         "another player's turn"},
        {"turn that did not happen", header + "turn 0 2 3\n", RECORD_OK, "turn at step 0"},
        {"victory that did not happen", header + turn0 + "won 5 1\n", RECORD_OK, "victory"},
        {"seed of another map", replace_line(good, 4, "map 32 32"), RECORD_OK, "the seed makes a map"},
        {"order in flight cut off (sound)", good + first_order.substr(0, 9), RECORD_OK, ""},
    };
    const std::uint64_t rules = rules_fingerprint();
    for (const damage& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = saves.file("case.hvr");
        write_file(file, c.bytes);
        const std::vector<record_entry> list = list_records(saves.path(), rules);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].status, c.status) << list[0].reason;
        const std::string line = describe_entry(list[0], entry_labels{});
        if (c.status != RECORD_OK) {
            EXPECT_NE(list[0].reason.find(c.reason), std::string::npos) << list[0].reason;
            EXPECT_NE(line.find(list[0].reason), std::string::npos) << line;
        } else {
            const record_read read = read_record(file);
            cwd_guard cwd(data_dir());
            c_record_player player(read.record);
            const bool loaded = player.run_all(SIZE_MAX, true);
            EXPECT_EQ(loaded, std::string(c.reason).empty()) << player.reason();
            EXPECT_NE(player.reason().find(c.reason), std::string::npos) << player.reason();
        }
        EXPECT_TRUE(delete_record(file));
    }
    // A file too large to be a record is refused before it is read.
    const std::string huge = saves.file("huge.hvr");
    write_file(huge, "harnvale battle record 1\n");
    std::filesystem::resize_file(huge, max_record_bytes + 1);
    EXPECT_NE(read_record(huge).reason.find("too large"), std::string::npos);
}

TEST_F(record_files, TheListIsNewestFirstAndSaysWhatEachBattleIs) {
    const std::string a = played(1, 10), b = played(2, 60);
    auto with_start = [](std::string bytes, const char* started) {
        return replace_line(bytes, 3, std::string("started ") + started);
    };
    write_file(saves.file("older.hvr"), with_start(a, "1700000000"));
    write_file(saves.file("newer.hvr"), with_start(b, "1800000000"));
    write_file(saves.file("junk.txt"), "not a battle");
    const std::vector<record_entry> list = list_records(saves.path(), rules_fingerprint());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].file_name, "newer.hvr");
    EXPECT_EQ(list[1].file_name, "older.hvr");
    EXPECT_EQ(list[2].file_name, "junk.txt");
    EXPECT_EQ(list[2].status, RECORD_DAMAGED);
    const record_read rb = parse_record(b);
    EXPECT_EQ(list[0].cols, rb.record.header.cols);
    EXPECT_EQ(list[0].orders, 60u);
    int turns = -1;
    for (const record_event& e : rb.record.events)
        turns += e.what == EVENT_TURN;
    EXPECT_EQ(list[0].turns, turns);
    const std::string line = describe_entry(list[0], entry_labels{});
    EXPECT_NE(line.find(std::to_string(list[0].cols) + " x " + std::to_string(list[0].rows)),
              std::string::npos);
    EXPECT_NE(line.find(list[0].finished ? "finished" : "in play"), std::string::npos) << line;
    EXPECT_TRUE(list_records(saves.file("missing"), 0).empty());
}

// Every order is in the file the moment it is given, ahead of its effect; a turn's end and a
// victory are synced marks; leaving writes "left".
TEST_F(record_files, OrdersReachTheFileBeforeTheyActAndTheEndsAreMarked) {
    cwd_guard cwd(data_dir());
    start_battle(8);
    record_begin(8);
    const std::string path = record_path();
    ASSERT_NE(path, "");
    EXPECT_EQ(path.rfind(saves.path(), 0), 0u);
    battle_order o;
    o.kind = ORDER_GIVE_UP;
    o.player = g_playermanager->get_current();
    const size_t before = read_file(path).size();
    ASSERT_TRUE(give_order(o));
    EXPECT_NE(read_file(path).find("order 0 " + std::to_string(o.player) + " giveup\n", before - 1),
              std::string::npos);
    run_until_quiet(nullptr, 1, false);
    o.player = g_playermanager->get_current();
    ASSERT_TRUE(give_order(o));
    run_until_quiet(nullptr, 2, false);
    const std::string bytes = read_file(path);
    EXPECT_NE(bytes.find("\nwon "), std::string::npos);
    record_close();
    const record_read read = read_record(path);
    ASSERT_EQ(read.status, RECORD_OK) << read.reason;
    EXPECT_EQ(read.record.events.back().what, EVENT_LEFT);
    EXPECT_TRUE(summarize_record(read, rules_fingerprint()).finished);
    // A folder that cannot be made leaves the battle playable, unrecorded, with the reason.
    g_saves_folder = "/proc/no-such-place/saves";
    record_begin(9);
    EXPECT_EQ(record_path(), "");
    EXPECT_NE(record_problem().find("Unable to make the folder"), std::string::npos);
}
