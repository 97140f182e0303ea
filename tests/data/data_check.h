// The data checker: reads a DATA folder the way the program does (through c_ini and SDL_image)
// and lists every fault a player's or artist's edit can bring in, one clear message each.
//
// What counts as a fault:
// - a key the program reads that is missing (or empty, which the program cannot tell apart),
//   or a value in the wrong form;
// - a picture that does not exist, does not load or is not PNG, BMP or TGA; an icon without a
//   32 x 32 BMP entry;
// - a mousemap with any colour but opaque white, red, magenta, green and blue, or one whose
//   picking disagrees with how the tiles are drawn;
// - a negative chance weight, or a list the program rolls whose weights sum to 0;
// - a printf format read from data that does not hold exactly the one int conversion it is
//   used with (the section name formats, the credit format and the ready-units label);
// - a cursor section that does not hold exactly the 26 cursors;
// - numbers that would make the program divide by zero, take a random number modulo zero,
//   never finish a movement or flight, or fail on explosion colours it cannot resolve.
#pragma once
#include <string>
#include <vector>

struct data_check_report {
    std::vector<std::string> faults;
    // What a sound folder holds, for the summary line.
    int tile_types = 0;
    int unit_types = 0;
    int explosions = 0;
    int fragmentations = 0;
    int pictures = 0;
    // Pictures with partial alpha: drawn in the sorted translucent pass, worth knowing.
    std::vector<std::string> translucent;
};

data_check_report run_data_check(const std::string& data_dir);

// The faults alone; empty when the folder is sound.
std::vector<std::string> check_data(const std::string& data_dir);
