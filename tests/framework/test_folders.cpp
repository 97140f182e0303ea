// Where the game keeps its files: the rule that picks the folders from the start directory, the
// installation and the environment, and the preparation of a player's own folders.
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

#include "framework/folders.h"
#include "platform/win32.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

namespace {

folder_facts installed_linux() {
    folder_facts f;
    f.start = "/home/ann/work";
    f.exe_dir = "/opt/hv/bin";
    f.installed_data = true;
    f.home = "/home/ann";
    return f;
}

struct choice_case {
    const char* name;
    folder_facts facts;
    game_folders want;
};

game_folders start_dir(const std::string& start) {
    return {start, start + "/settings.ini", "", start + "/saves", "", false};
}

} // namespace

TEST(Folders, TheRuleFollowsTheStartDirectoryTheInstallationAndTheEnvironment) {
    auto with = [](auto change) {
        folder_facts f = installed_linux();
        change(f);
        return f;
    };
    const game_folders xdg_defaults{"/opt/hv/share/harnvale",
                                    "/home/ann/.config/harnvale/settings.ini",
                                    "/opt/hv/share/harnvale/default_settings.ini",
                                    "/home/ann/.local/share/harnvale/saves",
                                    "/home/ann/.local/state/harnvale/error.txt",
                                    true};
    const choice_case cases[] = {
        {"installed, no XDG variables", installed_linux(), xdg_defaults},
        {"a DATA folder in the start directory wins", with([](folder_facts& f) { f.start_has_data = true; }),
         start_dir("/home/ann/work")},
        {"neither: the start directory, where DATA is reported missing",
         with([](folder_facts& f) { f.installed_data = false; }), start_dir("/home/ann/work")},
        {"XDG variables with full paths",
         with([](folder_facts& f) {
             f.xdg_config_home = "/cfg";
             f.xdg_data_home = "/dat";
             f.xdg_state_home = "/st";
         }),
         {"/opt/hv/share/harnvale", "/cfg/harnvale/settings.ini",
          "/opt/hv/share/harnvale/default_settings.ini", "/dat/harnvale/saves", "/st/harnvale/error.txt",
          true}},
        {"relative XDG variables count as unset", with([](folder_facts& f) {
             f.xdg_config_home = "cfg";
             f.xdg_data_home = "./dat";
             f.xdg_state_home = "st/";
         }),
         xdg_defaults},
        {"full XDG variables need no home",
         with([](folder_facts& f) {
             f.home.clear();
             f.xdg_config_home = "/c";
             f.xdg_data_home = "/d";
             f.xdg_state_home = "/s";
         }),
         {"/opt/hv/share/harnvale", "/c/harnvale/settings.ini", "/opt/hv/share/harnvale/default_settings.ini",
          "/d/harnvale/saves", "/s/harnvale/error.txt", true}},
        {"Windows, a writable folder beside the executable",
         with([](folder_facts& f) {
             f.windows = true;
             f.exe_dir = "/games/hv";
             f.exe_dir_writable = true;
             f.appdata = "/roaming";
         }),
         {"/games/hv", "/games/hv/settings.ini", "/games/hv/default_settings.ini", "/games/hv/saves",
          "/games/hv/error.txt", true}},
        {"Windows, started in its own read-only folder, which holds DATA",
         with([](folder_facts& f) {
             f.windows = true;
             f.start = f.exe_dir = "/games/hv";
             f.start_has_data = f.start_is_exe_dir = true;
             f.appdata = "/roaming";
         }),
         {"/games/hv", "/roaming/Harnvale/settings.ini", "/games/hv/default_settings.ini",
          "/roaming/Harnvale/saves", "/roaming/Harnvale/error.txt", true}},
        {"Windows, a read-only folder: the application-data folder",
         with([](folder_facts& f) {
             f.windows = true;
             f.exe_dir = "/games/hv";
             f.appdata = "/roaming";
         }),
         {"/games/hv", "/roaming/Harnvale/settings.ini", "/games/hv/default_settings.ini",
          "/roaming/Harnvale/saves", "/roaming/Harnvale/error.txt", true}},
    };
    for (const choice_case& c : cases) {
        SCOPED_TRACE(c.name);
        game_folders g = choose_folders(c.facts);
        EXPECT_EQ(g.share, c.want.share);
        EXPECT_EQ(g.settings, c.want.settings);
        EXPECT_EQ(g.defaults, c.want.defaults);
        EXPECT_EQ(g.saves, c.want.saves);
        EXPECT_EQ(g.report, c.want.report);
        EXPECT_EQ(g.per_user, c.want.per_user);
    }
}

TEST(Folders, PlayerFoldersThatCannotBeNamedAreReported) {
    folder_facts f = installed_linux();
    f.home.clear();
    f.xdg_config_home = "relative";
    EXPECT_RAISES(choose_folders(f), "Unable to find the home folder for the player's files: HOME is not set "
                                     "and XDG_CONFIG_HOME names no full path.");
    f = installed_linux();
    f.windows = true;
    EXPECT_RAISES(choose_folders(f), "Unable to find the application-data folder for the player's files.");
}

TEST(Folders, TheInstallationIsFoundBesideTheExecutable) {
    EXPECT_EQ(installed_share("/usr/bin", false), "/usr/share/harnvale");
    EXPECT_EQ(installed_share("/home/ann/.local/bin", false), "/home/ann/.local/share/harnvale");
    EXPECT_EQ(installed_share("/games/hv", true), "/games/hv");
    // This test program's own path, however it was started, and a buffer too small for it.
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    char buffer[4096];
    ASSERT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), exe.size());
    EXPECT_EQ(std::string(buffer), exe);
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(std::string(small), exe.substr(0, 7));
    folder_facts facts = read_folder_facts();
    EXPECT_EQ(facts.exe_dir, fs::path(exe).parent_path().string());
    EXPECT_EQ(facts.start, fs::current_path().string());
}

namespace {
struct prepare_case {
    const char* name;
    const char* damage; // shell command run in the scratch folder before the preparation
    const char* raised; // the sentence, with {} for the scratch folder; empty: prepared
};
} // namespace

// A player's files as an installed game finds them: missing, damaged, or in folders it cannot use.
// The superuser writes anywhere, so the unwritable folders are made of files, not of permissions.
TEST(Folders, APlayersFilesArePreparedOrTheProblemNamesThePath) {
    const std::string defaults = "[screen]\nwidth=1024\nheight=768\n[misc]\nshow_names=true\n";
    const prepare_case cases[] = {
        {"first start: made from the defaults", "", ""},
        {"a settings file of the player's is kept", "printf '[screen]\\nwidth=640\\n' >cfg/settings.ini", ""},
        {"settings.ini is a folder", "mkdir cfg/settings.ini",
         "Unable to use the settings file \"{}/cfg/settings.ini\": it is not a file."},
        {"settings.ini links to nothing", "ln -s nowhere cfg/settings.ini",
         "Unable to use the settings file \"{}/cfg/settings.ini\": it is not a file."},
        {"settings.ini is garbage", "head -c 3000 /dev/urandom | tr -d '[' >cfg/settings.ini",
         "Unable to use the settings file \"{}/cfg/settings.ini\": it holds no display settings; remove it "
         "and the game makes a new one from the defaults."},
        {"settings.ini is empty", ": >cfg/settings.ini",
         "Unable to use the settings file \"{}/cfg/settings.ini\": it holds no display settings; remove it "
         "and the game makes a new one from the defaults."},
        {"the settings folder is a file", "rmdir cfg && touch cfg",
         "Unable to keep the settings in the folder \"{}/cfg\": Not a directory."},
        {"the records' folder lies below a file", "touch data",
         "Unable to keep the battle records in the folder \"{}/data/saves\": Not a directory."},
        {"no defaults to make settings.ini from", "rm share/default_settings.ini",
         "Unable to read the default settings \"{}/share/default_settings.ini\"."},
    };
    for (const prepare_case& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_dir dir;
        fs::create_directories(dir.file("share"));
        fs::create_directories(dir.file("cfg"));
        write_file(dir.file("share/default_settings.ini"), defaults);
        ASSERT_EQ(std::system(("cd " + dir.path() + " && " + (*c.damage ? c.damage : "true")).c_str()), 0);
        std::string before = read_file(dir.file("cfg/settings.ini"));
        game_folders g{
            dir.file("share"),      dir.file("cfg/settings.ini"), dir.file("share/default_settings.ini"),
            dir.file("data/saves"), dir.file("state/error.txt"),  true};
        std::string want = c.raised;
        if (auto at = want.find("{}"); at != std::string::npos) want.replace(at, 2, dir.path());
        if (!want.empty()) {
            EXPECT_RAISES(prepare_player_files(g), want);
            continue;
        }
        prepare_player_files(g);
        EXPECT_EQ(read_file(dir.file("cfg/settings.ini")), before.empty() ? defaults : before);
        EXPECT_TRUE(fs::is_directory(dir.file("data/saves")));
        // The report's folder is made only when there is a report to keep.
        EXPECT_FALSE(fs::exists(dir.file("state")));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("cfg")), fs::directory_iterator()), 1)
            << "the write check left a file behind";
    }
}

TEST(Folders, ARunFromTheStartDirectoryMakesNothing) {
    scratch_dir dir;
    folder_facts f = installed_linux();
    f.start = dir.path();
    f.start_has_data = true;
    prepare_player_files(choose_folders(f));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}
