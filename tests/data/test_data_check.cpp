// The data checker: the shipped DATA passes, and each kind of fault a player's edit can bring in
// makes it fail with a message naming the fault. Each case copies DATA to a scratch folder,
// breaks one thing there and runs the checker on the copy.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "framework/ini.h"
#include "tests/data/data_check.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

const std::string k_data = std::string(HV_SOURCE_DIR) + "/DATA";

std::string joined(const std::vector<std::string>& faults) {
    std::string out;
    for (const std::string& f : faults)
        out += "\n  " + f;
    return out.empty() ? " (none)" : out;
}

// ---- ways to break a copy of DATA ---------------------------------------------------------------

using mutation = std::function<void(const std::string& data)>;

// Sets a key (or, with no value, removes it) through the program's own profile writer.
mutation ini(const std::string& file, const std::string& section, const std::string& key,
             std::optional<std::string> value) {
    return [=](const std::string& data) {
        std::string path = data + "/" + file;
        ASSERT_TRUE(WritePrivateProfileStringA(section.c_str(), key.c_str(), value ? value->c_str() : nullptr,
                                               path.c_str()));
        ASSERT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str()));
    };
}

mutation replace_text(const std::string& file, const std::string& old_text, const std::string& new_text) {
    return [=](const std::string& data) {
        std::string path = data + "/" + file, body = read_file(path);
        size_t at = body.find(old_text);
        ASSERT_NE(at, std::string::npos) << old_text;
        write_file(path, body.replace(at, old_text.size(), new_text));
    };
}

mutation append_text(const std::string& file, const std::string& text) {
    return
        [=](const std::string& data) { write_file(data + "/" + file, read_file(data + "/" + file) + text); };
}

mutation remove_file(const std::string& rel) {
    return [=](const std::string& data) { ASSERT_TRUE(fs::remove(data + "/" + rel)); };
}

mutation garble(const std::string& rel) {
    return [=](const std::string& data) {
        write_file(data + "/" + rel, std::string("\x89PNG\r\n\x1a\nnot really a picture"));
    };
}

mutation write_bytes(const std::string& rel, const std::string& bytes) {
    return [=](const std::string& data) { write_file(data + "/" + rel, bytes); };
}

// An uncompressed 24-bit TGA header claiming 29500 x 26486 pixels, in 21 bytes.
const std::string k_crafted_tga("\0\0\2\0\0\0\0\0\0\0\0\0\x3c\x73\x76\x67\x18\0\0\0\0", 21);

mutation both(std::vector<mutation> steps) {
    return [=](const std::string& data) {
        for (const mutation& m : steps)
            m(data);
    };
}

// Loads a picture as RGBA bytes, lets `edit` change them, and saves it back as PNG.
void edit_picture(const std::string& path, const std::function<void(SDL_Surface*)>& edit) {
    SDL_Surface* loaded = IMG_Load(path.c_str());
    ASSERT_NE(loaded, nullptr) << IMG_GetError();
    SDL_Surface* s = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    ASSERT_NE(s, nullptr);
    edit(s);
    EXPECT_EQ(IMG_SavePNG(s, path.c_str()), 0) << IMG_GetError();
    SDL_FreeSurface(s);
}

Uint8* pixel(SDL_Surface* s, int x, int y) {
    return static_cast<Uint8*>(s->pixels) + y * s->pitch + x * 4;
}

mutation set_pixel(const std::string& rel, int x, int y, std::array<Uint8, 4> colour) {
    return [=](const std::string& data) {
        edit_picture(data + "/" + rel,
                     [&](SDL_Surface* s) { std::memcpy(pixel(s, x, y), colour.data(), 4); });
    };
}

// Red and magenta exchanged: still only the five colours, yet every point of a top corner now
// picks the wrong neighbour.
void swap_mousemap_corners(const std::string& data) {
    edit_picture(data + "/tiles/mousemap.png", [](SDL_Surface* s) {
        const Uint8 red[4] = {255, 0, 0, 255}, magenta[4] = {255, 0, 255, 255};
        for (int y = 0; y < s->h; ++y)
            for (int x = 0; x < s->w; ++x) {
                Uint8* p = pixel(s, x, y);
                if (std::memcmp(p, red, 4) == 0)
                    std::memcpy(p, magenta, 4);
                else if (std::memcmp(p, magenta, 4) == 0)
                    std::memcpy(p, red, 4);
            }
    });
}

// An icon whose only entry is a PNG, which the icon loader cannot read everywhere.
void png_icon(const std::string& data) {
    std::string png_path = data + "/icon.png";
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 32, 32, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(s, nullptr);
    SDL_FillRect(s, nullptr, SDL_MapRGBA(s->format, 255, 0, 0, 255));
    ASSERT_EQ(IMG_SavePNG(s, png_path.c_str()), 0);
    SDL_FreeSurface(s);
    std::string png = read_file(png_path);
    fs::remove(png_path);
    auto le = [](std::uint32_t v, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    std::string ico = le(0, 2) + le(1, 2) + le(1, 2) + std::string{32, 32, 0, 0} + le(1, 2) + le(32, 2) +
                      le(static_cast<std::uint32_t>(png.size()), 4) + le(22, 4) + png;
    write_file(data + "/harnvale.ico", ico);
}

// ---- running the cases --------------------------------------------------------------------------

struct data_case {
    std::string name;
    mutation mutate;
    std::string expect; // a fault must match this; empty: the checker must pass
};

void run_cases(const std::vector<data_case>& cases) {
    for (const data_case& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_dir scratch;
        std::string data = scratch.file("DATA");
        fs::copy(k_data, data, fs::copy_options::recursive);
        c.mutate(data);
        if (::testing::Test::HasFatalFailure()) return;
        std::vector<std::string> faults = check_data(data);
        if (c.expect.empty()) {
            EXPECT_TRUE(faults.empty()) << "faults on sound data:" << joined(faults);
            continue;
        }
        std::regex expect(c.expect);
        bool named = std::any_of(faults.begin(), faults.end(),
                                 [&](const std::string& f) { return std::regex_search(f, expect); });
        EXPECT_TRUE(named) << "expected a fault matching " << c.expect << ", got:" << joined(faults);
    }
}

} // namespace

TEST(data_check, shipped_data_is_sound) {
    data_check_report report = run_data_check(k_data);
    EXPECT_TRUE(report.faults.empty()) << joined(report.faults);
    // The checker actually walked the data: every tile and unit type, and their pictures.
    EXPECT_GE(report.tile_types, 6);
    EXPECT_GE(report.unit_types, 5);
    EXPECT_GE(report.explosions, 1);
    EXPECT_GE(report.fragmentations, 1);
    EXPECT_GE(report.pictures, 26 + 6 + 5);
}

TEST(data_check, folder_or_file_missing) {
    scratch_dir scratch;
    std::vector<std::string> faults = check_data(scratch.file("nowhere"));
    ASSERT_EQ(faults.size(), 1u) << joined(faults);
    EXPECT_NE(faults[0].find("is not a folder"), std::string::npos);

    run_cases({
        {"rules.ini missing", remove_file("rules.ini"), R"(^rules\.ini: file is missing)"},
        {"icon missing", remove_file("harnvale.ico"), R"(^harnvale\.ico: file is missing)"},
    });
}

TEST(data_check, keys_the_program_reads) {
    run_cases({
        {"missing rules key", ini("rules.ini", "unit_3", "arrow_velocity", std::nullopt),
         R"(^rules\.ini \[unit_3\] arrow_velocity: missing$)"},
        {"empty value counts as missing", ini("rules.ini", "unit_3", "arrow_velocity", ""),
         R"(\[unit_3\] arrow_velocity: missing)"},
        {"missing string-table label", ini("stringtable.ini", "gameplay", "victory", std::nullopt),
         R"(^stringtable\.ini \[gameplay\] victory: missing$)"},
        {"missing gui frame piece", ini("interface.ini", "gui_settings", "27", std::nullopt),
         R"(\[gui_settings\] 27: missing)"},
        {"missing result colour", ini("interface.ini", "gameplay", "boom_text_color", std::nullopt),
         R"(boom_text_color: missing)"},
        {"missing credit entry", ini("credits.ini", "credits", "num_credits", "8"),
         R"(\[credit_7\] text: missing)"},
        {"missing explosion section", ini("rules.ini", "unit_4", "explosion_fire", "no_such_section"),
         R"(\[no_such_section\]: explosion section is missing)"},
        {"missing fragmentation section", ini("rules.ini", "unit_0", "fragmentation", "no_such_section"),
         R"(\[no_such_section\]: fragmentation section is missing)"},
        {"key in the wrong section does not count",
         both({ini("rules.ini", "misc", "unit_speed_y", std::nullopt),
               ini("rules.ini", "tiles", "unit_speed_y", "6")}),
         R"(\[misc\] unit_speed_y: missing)"},
        {"number that is not one", ini("rules.ini", "unit_1", "hp", "lots"),
         R"(\[unit_1\] hp: 'lots' is not a number)"},
        {"colour of three numbers", ini("rules.ini", "tile_2", "color", "255 10 10"),
         R"(\[tile_2\] color: '255 10 10' is not four numbers 0\.\.255)"},
        {"colour channel above 255", ini("interface.ini", "gameplay", "hit_text_color", "255 300 0 0"),
         R"(hit_text_color: '255 300 0 0' is not four numbers)"},
        {"flag vector of three numbers", ini("rules.ini", "misc", "flag_velocity_low", "1 2 3"),
         R"(\[misc\] flag_velocity_low: '1 2 3' is not four numbers)"},
        {"text style without scale", ini("interface.ini", "gui_settings", "text1", "0 0 0"),
         R"(\[gui_settings\] text1: '0 0 0' is not a r g b scale_x scale_y)"},
        {"boolean the game reads as false", ini("rules.ini", "tile_5", "moveable", "True"),
         R"(\[tile_5\] moveable: 'True' is neither)"},
        {"frame piece without its numbers", ini("interface.ini", "gui_settings", "05", "\"gui/x.png\" 1 2"),
         R"(\[gui_settings\] 05: .* needs 6 numbers after the file name)"},
    });
}

TEST(data_check, pictures_that_do_not_load) {
    run_cases({
        {"picture missing", remove_file("tiles/sand.png"), R"(picture tiles/sand\.png does not exist)"},
        {"picture does not load", garble("units/flag.png"),
         R"(^rules\.ini \[units\] flag_image: picture units/flag\.png does not load)"},
        {"cursor picture missing", remove_file("cursors/target.png"),
         R"(\[cursors\] target: picture cursors/target\.png does not exist)"},
        {"picture named by a key that is gone", ini("rules.ini", "misc", "particle_image", "fx/none.png"),
         R"(\[misc\] particle_image: picture fx/none\.png does not exist)"},
        {"icon with a PNG entry", png_icon, R"(^harnvale\.ico: entry 0 is a PNG)"},
        {"icon that is no icon", garble("harnvale.ico"), R"(^harnvale\.ico: not an icon directory)"},
        {"cursor naming a crafted TGA",
         both({write_bytes("cursors/evil.tga", k_crafted_tga),
               ini("interface.ini", "cursors", "target", "\"cursors/evil.tga\" 16 16 32 32")}),
         R"(\[cursors\] target: picture cursors/evil\.tga does not load: .*29500 x 26486)"},
        {"GIF under a PNG name",
         write_bytes(
             "tiles/sand.png",
             std::string("GIF89a\1\0\1\0\x80\0\0\xFF\xFF\xFF\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35)),
         R"(picture tiles/sand\.png does not load: the file is no PNG, BMP, TGA or ICO picture)"},
    });
}

TEST(data_check, mousemap_colours_and_picking) {
    run_cases({
        {"mousemap pixel of a sixth colour", set_pixel("tiles/mousemap.png", 31, 30, {128, 128, 128, 255}),
         R"(mousemap\.png has 1 pixels in colours other than .*RGBA\(128, 128, 128, 255\) x1)"},
        {"mousemap pixel not opaque", set_pixel("tiles/mousemap.png", 0, 0, {255, 0, 0, 254}),
         R"(colours other than)"},
        {"mousemap corners swapped", swap_mousemap_corners, R"(picking disagrees with the drawn)"},
        {"mousemap white spilling into a corner", set_pixel("tiles/mousemap.png", 2, 2, {255, 255, 255, 255}),
         R"(picking disagrees)"},
        {"tile picture with a hole", set_pixel("tiles/hills.png", 32, 32, {0, 0, 0, 0}), R"(uncovered)"},
        {"mousemap of another size than the tiles", ini("rules.ini", "tiles", "mousemap", "units/flag.png"),
         R"(mousemap: picture units/flag\.png is 16 x 32, must be 64 x 64)"},
    });
}

TEST(data_check, chance_weights) {
    run_cases({
        {"negative chance weight", ini("rules.ini", "unit_0", "chance_nohit", "-5"),
         R"(\[unit_0\] chance_nohit: chance weight -5 is negative)"},
        {"negative particle weight", ini("rules.ini", "explosion_blast", "2_chance", "-1"),
         R"(2_chance: chance weight -1 is negative)"},
        {"rolled chance list summing to 0",
         both({ini("rules.ini", "unit_4", "chance_backfire_damage", "0"),
               ini("rules.ini", "unit_4", "chance_backfire_explode", "0"),
               ini("rules.ini", "unit_4", "chance_backfire_none", "0")}),
         R"(chance_backfire_damage/chance_backfire_explode/chance_backfire_none: weights sum to 0)"},
        {"a zero weight among others is fine", ini("rules.ini", "unit_0", "chance_nohit", "0"), ""},
    });
}

TEST(data_check, formats_read_from_data) {
    run_cases({
        {"tile section format with %s", ini("rules.ini", "tiles", "tile_name_format", "tile_%s"),
         R"(tile_name_format: format 'tile_%s' conversion)"},
        {"unit section format without conversion", ini("rules.ini", "units", "unit_name_format", "unit"),
         R"(unit_name_format: format 'unit' holds 0 conversions)"},
        {"ready label with two numbers", ini("stringtable.ini", "gameplay", "aub", "%d of %d ready"),
         R"(\[gameplay\] aub: format .* holds 2 conversions)"},
        {"ready label with a long int", ini("stringtable.ini", "gameplay", "aub", "%ld ready"),
         R"(aub: format '%ld ready' conversion '%ld')"},
        {"ready label with a width from the arguments",
         ini("stringtable.ini", "gameplay", "aub", "%*d ready"), R"(aub: format '%\*d ready')"},
        {"credit format with a trailing %", ini("credits.ini", "credits", "credit_format", "credit_%d%"),
         R"(credit_format: format 'credit_%d%' holds 2 conversions)"},
        {"%% and a width are fine",
         both({ini("stringtable.ini", "gameplay", "aub", "%3d%% ready"),
               ini("rules.ini", "tiles", "tile_name_format", "tile_%d")}),
         ""},
        {"%i with flags is fine", ini("stringtable.ini", "gameplay", "aub", "%-4i ready"), ""},
        {"the label ends at a bare quote, as the program reads it",
         ini("stringtable.ini", "gameplay", "aub", "%d ready\" %d"), ""},
    });
}

// The checker refuses a font size exactly where the program's own font code does.
TEST(data_check, game_font_fits_its_atlas) {
    run_cases({
        {"font of 36", ini("interface.ini", "misc", "font_size", "36"),
         R"(^interface\.ini \[misc\] font_size: Desired font is too big for texture\.$)"},
        {"font of 99999", ini("interface.ini", "misc", "font_size", "99999"),
         R"(^interface\.ini \[misc\] font_size: Desired font is too big for texture\.$)"},
        {"font of 24", ini("interface.ini", "misc", "font_size", "24"), ""},
    });
}

TEST(data_check, cursor_count_and_hot_spots) {
    run_cases({
        {"27 cursors", ini("interface.ini", "cursors", "pointer", "\"cursors/arrow.png\" 1 1 32 32"),
         R"(holds 27 cursors.*unknown: pointer)"},
        {"25 cursors", ini("interface.ini", "cursors", "notarget", std::nullopt),
         R"(holds 25 cursors.*missing: notarget)"},
        {"a cursor renamed",
         both({ini("interface.ini", "cursors", "hand", std::nullopt),
               ini("interface.ini", "cursors", "hand2", "\"cursors/hand.png\" 1 1 32 32")}),
         R"(holds 26 cursors.*missing: hand; unknown: hand2)"},
        {"hot spot outside the cursor",
         ini("interface.ini", "cursors", "hand", "\"cursors/hand.png\" 40 1 32 32"),
         R"(\[cursors\] hand: hot spot \(40, 1\) must lie inside the 32 x 32 picture)"},
        {"cursor without its file name in quotes",
         ini("interface.ini", "cursors", "select", "cursors/select.png 1 1 32 32"),
         R"(\[cursors\] select: .* must start with the file name in double quotes)"},
    });
}

TEST(data_check, numbers_the_game_divides_by) {
    run_cases({
        {"no tile types", ini("rules.ini", "tiles", "num_tiletypes", "0"),
         R"(num_tiletypes: 0 is out of range)"},
        {"rows without height", ini("rules.ini", "tiles", "placement_yoffset", "64"),
         R"(placement_yoffset: 64 leaves rows no height)"},
        {"no tile a unit can enter",
         [](const std::string& data) {
             for (int i = 0; i < 7; ++i)
                 ini("rules.ini", "tile_" + std::to_string(i), "moveable", "false")(data);
         },
         R"(no tile type is moveable)"},
        {"empty fragment range", ini("rules.ini", "fragmentation_unit", "num_rows_high", "2"),
         R"(num_rows_low/high: 4\.\.2 is empty)"},
        {"particles as big as a tile", ini("rules.ini", "explosion_bounce", "particle_width", "64"),
         R"(\[explosion_bounce\]: particles of 64 x 5)"},
        {"unit that never arrives", ini("rules.ini", "misc", "unit_speed_x1", "0"),
         R"(unit_speed_x1: 0 is out)"},
        {"unit without health", ini("rules.ini", "unit_2", "hp", "0"),
         R"(\[unit_2\] hp: 0 is out of range \(>= 1\))"},
        {"colour channel referring to itself",
         ini("rules.ini", "explosion_blood", "0_color_low", "-1 150 0 0"),
         R"(0_color_low/high: channel 1: a reference)"},
        {"colour channels in a circle",
         both({ini("rules.ini", "explosion_blood", "0_color_low", "255 -3 -2 0"),
               ini("rules.ini", "explosion_blood", "0_color_high", "255 -3 -2 20")}),
         R"(channels \[2, 3\] refer to themselves or to each other)"},
        {"a channel referring to a number is fine",
         both({ini("rules.ini", "explosion_blood", "0_color_low", "255 100 -2 -2"),
               ini("rules.ini", "explosion_blood", "0_color_high", "255 150 -2 -2")}),
         ""},
        {"colour range upside down", ini("rules.ini", "explosion_fire", "0_color_low", "255 255 250 40"),
         R"(channel 3: 250\.\.240)"},
        {"list rows of no height", ini("interface.ini", "gui_settings", "listitem_height", "0"),
         R"(listitem_height: 0 is out of range)"},
    });
}

// The checker sees what the program sees, because it reads through the program's reader.
TEST(data_check, reads_as_the_program_reads) {
    run_cases({
        {"first matching key wins",
         replace_text("rules.ini", "unit_speed_y=6", "unit_speed_y=6\nunit_speed_y=0"), ""},
        {"first matching key wins, also when it is the bad one",
         replace_text("rules.ini", "unit_speed_y=6", "unit_speed_y=0\nunit_speed_y=6"),
         R"(unit_speed_y: 0 is out of range)"},
        {"a repeated section later is ignored", append_text("rules.ini", "\n[misc]\nunit_speed_y=0\n"), ""},
        {"section names ignore case, quotes are removed",
         both({ini("rules.ini", "tiles", "mousemap", "\"tiles/mousemap.png\""),
               append_text("rules.ini", "\n[TILES]\nmousemap=x.png\n")}),
         ""},
        {"a cursor repeated in a later section is not counted",
         append_text("interface.ini", "\n[cursors]\npointer=\"cursors/arrow.png\" 1 1 32 32\n"), ""},
    });
}

// The command-line tool: faults and exit 1, or a summary and exit 0.
TEST(data_check, tool_reports_and_exits) {
    auto run = [](const std::string& data, std::string& out) {
        std::string cmd = std::string(HV_DATA_CHECK_TOOL) + " '" + data + "' 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return -1;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        int status = pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    EXPECT_EQ(run(k_data, out), 0) << out;
    EXPECT_NE(out.find("is sound"), std::string::npos) << out;

    scratch_dir scratch;
    std::string data = scratch.file("DATA");
    fs::copy(k_data, data, fs::copy_options::recursive);
    ini("stringtable.ini", "gameplay", "victory", std::nullopt)(data);
    ini("rules.ini", "unit_0", "chance_nohit", "-5")(data);
    out.clear();
    EXPECT_EQ(run(data, out), 1) << out;
    EXPECT_NE(out.find("FAULT stringtable.ini [gameplay] victory: missing\n"), std::string::npos) << out;
    EXPECT_NE(out.find("FAULT rules.ini [unit_0] chance_nohit: chance weight -5 is negative\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("2 fault(s) in " + data), std::string::npos) << out;
}
