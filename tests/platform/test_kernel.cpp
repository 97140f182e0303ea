#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/win32.h"
#include "platform/wingdi.h"
#include "tests/test_util.h"

// MoveFileExA as Windows has it: only MOVEFILE_REPLACE_EXISTING replaces a file that exists
// (the state report and the settings depend on it), and a refused move changes nothing.
TEST(Kernel, MoveFileExReplacesOnlyWhenAskedAndAFailedMoveChangesNothing) {
    struct move_case {
        const char* what;
        bool source_exists, target_exists;
        DWORD flags;
        BOOL result;
    };
    const move_case cases[] = {
        {"onto a new name", true, false, 0, TRUE},
        {"onto an existing file, replacing", true, true, MOVEFILE_REPLACE_EXISTING, TRUE},
        {"onto an existing file, written through", true, true,
         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, TRUE},
        {"onto an existing file without replacing", true, true, 0, FALSE},
        {"from a missing file", false, true, MOVEFILE_REPLACE_EXISTING, FALSE},
    };
    for (const move_case& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir d;
        const std::string from = d.file("state.txt.tmp"), to = d.file("state.txt");
        if (c.source_exists) write_file(from, "new");
        if (c.target_exists) write_file(to, "old");
        EXPECT_EQ(MoveFileExA(from.c_str(), to.c_str(), c.flags), c.result);
        if (c.result) {
            EXPECT_EQ(read_file(to), "new");
            EXPECT_FALSE(std::filesystem::exists(from));
        } else {
            EXPECT_EQ(std::filesystem::exists(to), c.target_exists);
            if (c.target_exists) {
                EXPECT_EQ(read_file(to), "old");
            }
            EXPECT_EQ(std::filesystem::exists(from), c.source_exists);
        }
    }
    EXPECT_FALSE(MoveFileExA(nullptr, "x", 0));
}

TEST(Kernel, EqualRectComparesAllFourSides) {
    const RECT r{1, 2, 3, 4};
    const RECT others[] = {{0, 2, 3, 4}, {1, 0, 3, 4}, {1, 2, 0, 4}, {1, 2, 3, 0}};
    EXPECT_TRUE(EqualRect(&r, &r));
    for (const RECT& o : others)
        EXPECT_FALSE(EqualRect(&r, &o));
    EXPECT_FALSE(EqualRect(&r, nullptr));
}

// A font file is made known to this process only when asked for privately; files that hold no
// font add none, and the face stays usable by name afterwards.
TEST(Kernel, AddFontResourceExAddsFontFilesPrivatelyOnly) {
    scratch_dir d;
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    const std::string not_a_font = d.file("notes.ttf");
    write_file(not_a_font, "these are no glyphs");
    struct font_case {
        const char* what;
        std::string file;
        DWORD flags;
        bool adds;
    };
    const font_case cases[] = {
        {"for every process", font, 0, false},
        {"a missing file", d.file("missing.ttf"), FR_PRIVATE, false},
        {"a file that holds no font", not_a_font, FR_PRIVATE, false},
        {"a font file", font, FR_PRIVATE, true},
    };
    for (const font_case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AddFontResourceExA(c.file.c_str(), c.flags, nullptr) > 0, c.adds);
    }
    EXPECT_EQ(AddFontResourceExA(nullptr, FR_PRIVATE, nullptr), 0);
    HFONT face = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans");
    ASSERT_NE(face, nullptr);
    DeleteObject(face);
}
