// Start-up checks of the start directory: a missing DATA folder and a path too long to use are
// reported with the directory, and nothing is changed when they fail.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "game/startup.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

TEST(Startup, TheDataFolderIsEnteredOrReportedWithTheDirectory) {
    scratch_dir dir;
    cwd_guard in(dir.path());
    EXPECT_RAISES(enter_data_directory(), "Unable to find the DATA folder in \"" + dir.path() + "\".");
    write_file(dir.file("DATA"), "a file");
    EXPECT_RAISES(enter_data_directory(), "Unable to find the DATA folder in \"" + dir.path() + "\".");
    EXPECT_EQ(fs::current_path(), dir.path());
    fs::remove(dir.file("DATA"));
    fs::create_directory(dir.file("DATA"));
    enter_data_directory();
    EXPECT_EQ(fs::current_path(), dir.file("DATA"));
}

// Made one folder at a time, as a path this long cannot be handed to the system whole.
TEST(Startup, AStartDirectoryTooLongForItsFilesIsNamed) {
    scratch_dir dir;
    cwd_guard in(dir.path());
    // 4080 bytes: below the system's limit for the directory itself, above it for DATA's files.
    std::string deep = dir.path();
    while (deep.size() < 4080) {
        std::string part(std::min<size_t>(250, 4080 - deep.size() - 1), 'p');
        ASSERT_EQ(mkdir(part.c_str(), 0755), 0);
        ASSERT_EQ(chdir(part.c_str()), 0);
        deep += "/" + part;
    }
    ASSERT_EQ(mkdir("DATA", 0755), 0);
    try {
        enter_data_directory();
        ADD_FAILURE() << "a start directory of " << deep.size() << " bytes was accepted";
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, "Unable to use the start directory, its path of " + std::to_string(deep.size()) +
                                 " bytes is too long: \"" + deep + "\".");
    }
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
}
