// data_check [DATA_DIR]: lists every fault in a data folder (default: DATA in the current
// directory) and exits 1, or prints what the folder holds and exits 0. For players and artists
// who edit the data: run it before starting the game.
#include <cstdio>
#include <string>

#include "framework/cursor_index.h"
#include "tests/data/data_check.h"

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
        std::printf(
            "usage: %s [DATA_DIR]\nChecks the game's data folder (default: DATA) and lists every fault.\n",
            argv[0]);
        return argc > 2 ? 2 : 0;
    }
    std::string data = argc == 2 ? argv[1] : "DATA";
    data_check_report report = run_data_check(data);
    if (!report.faults.empty()) {
        for (const std::string& f : report.faults)
            std::printf("FAULT %s\n", f.c_str());
        std::printf("%zu fault(s) in %s\n", report.faults.size(), data.c_str());
        return 1;
    }
    std::printf("%s is sound: %d tile types, %d unit types, %d explosions, %d fragmentations, %d cursors, "
                "%d pictures loaded; picking agrees with the tiles\n",
                data.c_str(), report.tile_types, report.unit_types, report.explosions, report.fragmentations,
                static_cast<int>(CURSOR_COUNT), report.pictures);
    if (!report.translucent.empty()) {
        std::string list;
        for (const std::string& p : report.translucent)
            list += (list.empty() ? "" : ", ") + p;
        std::printf("pictures with partial alpha (drawn in the sorted translucent pass): %s\n", list.c_str());
    }
    return 0;
}
