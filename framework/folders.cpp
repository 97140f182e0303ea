#include "framework/folders.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/err.h"
#include "framework/ini.h"
#include "platform/win32.h"

#ifdef _WIN32
#include <shlobj.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string join(const std::string& folder, const char* name) {
    return (fs::path(folder) / name).string();
}

std::string parent_of(const std::string& path) {
    return fs::path(path).parent_path().string();
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool is_full_path(const std::string& path) {
    return fs::path(path).is_absolute();
}

// An XDG variable is used only when it names a full path (a relative one would depend on where
// the game was started); otherwise its default below the home folder.
std::string xdg_folder(const std::string& value, const char* variable, const std::string& home,
                       const char* below_home) {
    if (is_full_path(value)) return value;
    if (!is_full_path(home))
        HV_RAISE(std::string("Unable to find the home folder for the player's files: HOME is not set and ") +
                     variable + " names no full path.",
                 "choose_folders", 0, nullptr);
    return join(home, below_home);
}

game_folders start_directory_folders(const std::string& start) {
    game_folders g;
    g.share = start;
    g.settings = join(start, "settings.ini");
    g.saves = join(start, "saves");
    return g;
}

game_folders linux_installed_folders(const folder_facts& f) {
    game_folders g;
    g.share = installed_share(f.exe_dir, false);
    g.defaults = join(g.share, "default_settings.ini");
    std::string config =
        join(xdg_folder(f.xdg_config_home, "XDG_CONFIG_HOME", f.home, ".config"), "harnvale");
    std::string data = join(xdg_folder(f.xdg_data_home, "XDG_DATA_HOME", f.home, ".local/share"), "harnvale");
    std::string state =
        join(xdg_folder(f.xdg_state_home, "XDG_STATE_HOME", f.home, ".local/state"), "harnvale");
    g.settings = join(config, "settings.ini");
    g.saves = join(data, "saves");
    g.report = join(state, "error.txt");
    g.per_user = true;
    return g;
}

game_folders windows_installed_folders(const folder_facts& f) {
    game_folders g;
    g.share = installed_share(f.exe_dir, true);
    g.defaults = join(g.share, "default_settings.ini");
    std::string base = f.exe_dir;
    if (!f.exe_dir_writable) {
        if (f.appdata.empty())
            HV_RAISE("Unable to find the application-data folder for the player's files.", "choose_folders",
                     0, nullptr);
        base = join(f.appdata, "Harnvale");
    }
    g.settings = join(base, "settings.ini");
    g.saves = join(base, "saves");
    g.report = join(base, "error.txt");
    g.per_user = true;
    return g;
}

bool is_folder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string errno_text() {
    return std::error_code(errno, std::generic_category()).message();
}

// A folder is writable when a file can be made in it: permission bits do not tell for the
// superuser, a read-only mount or a Windows folder guarded by its access list.
bool folder_is_writable(const std::string& folder, std::string& why) {
    auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string probe = join(folder, (".write-check-" + std::to_string(tick)).c_str());
    // The name is new each time, so nothing of the player's is overwritten ("x" is not known to
    // every C library the Windows build may use).
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) {
        why = errno_text();
        return false;
    }
    std::fclose(f);
    std::error_code ec;
    fs::remove(probe, ec);
    return true;
}

void make_player_folder(const std::string& folder, const char* what) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::string why;
    if (ec)
        why = ec.message();
    else if (!is_folder(folder))
        why = "it is not a folder";
    else if (folder_is_writable(folder, why))
        return;
    HV_RAISE("Unable to keep " + std::string(what) + " in the folder \"" + folder + "\": " + why + ".",
             "prepare_player_files", 0, nullptr);
}

std::string read_whole(const std::string& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    ok = static_cast<bool>(in) || in.eof();
    return text.str();
}

void make_settings_from_defaults(const game_folders& g) {
    bool ok = false;
    std::string defaults = read_whole(g.defaults, ok);
    if (!ok || defaults.empty())
        HV_RAISE("Unable to read the default settings \"" + g.defaults + "\".", "prepare_player_files", 0,
                 nullptr);
    std::ofstream out(g.settings, std::ios::binary);
    out << defaults;
    out.close();
    if (!out)
        HV_RAISE("Unable to make the settings file \"" + g.settings +
                     "\" from the defaults: " + errno_text() + ".",
                 "prepare_player_files", 0, nullptr);
}

void check_settings_file(const std::string& path) {
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (!fs::is_regular_file(st))
        HV_RAISE("Unable to use the settings file \"" + path + "\": it is not a file.",
                 "prepare_player_files", 0, nullptr);
    if (std::FILE* f = std::fopen(path.c_str(), "rb"))
        std::fclose(f);
    else
        HV_RAISE("Unable to read the settings file \"" + path + "\": " + errno_text() + ".",
                 "prepare_player_files", 0, nullptr);
    // The game writes the display settings every time it ends; a file without them was cut short
    // or overwritten, and would start the game in a display mode of zeros.
    char width[16];
    if (GetPrivateProfileStringA("screen", "width", "", width, sizeof width, path.c_str()) == 0)
        HV_RAISE(
            "Unable to use the settings file \"" + path +
                "\": it holds no display settings; remove it and the game makes a new one from the defaults.",
            "prepare_player_files", 0, nullptr);
}

std::string executable_folder() {
    std::vector<char> path(1024);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return "";
        if (n < path.size()) return parent_of(std::string(path.data(), n));
        path.resize(path.size() * 2);
    }
}

std::string home_folder() {
    std::string home = env("HOME");
#ifndef _WIN32
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
#endif
    return home;
}

std::string appdata_folder() {
#ifdef _WIN32
    char path[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return path;
    return env("APPDATA");
#else
    return "";
#endif
}

} // namespace

std::string installed_share(const std::string& exe_dir, bool windows) {
    if (windows) return exe_dir;
    return (fs::path(exe_dir).parent_path() / "share" / "harnvale").string();
}

game_folders choose_folders(const folder_facts& f) {
    if (f.windows && f.installed_data && f.start_is_exe_dir) return windows_installed_folders(f);
    if (f.start_has_data || !f.installed_data) return start_directory_folders(f.start);
    return f.windows ? windows_installed_folders(f) : linux_installed_folders(f);
}

folder_facts read_folder_facts() {
    folder_facts f;
#ifdef _WIN32
    f.windows = true;
#endif
    f.start = get_current_directory();
    f.start_has_data = !f.start.empty() && is_folder(join(f.start, "DATA"));
    f.exe_dir = executable_folder();
    f.installed_data = !f.exe_dir.empty() && is_folder(join(installed_share(f.exe_dir, f.windows), "DATA"));
    std::string why;
    f.exe_dir_writable = f.windows && f.installed_data && folder_is_writable(f.exe_dir, why);
    std::error_code ec;
    f.start_is_exe_dir =
        f.windows && !f.start.empty() && !f.exe_dir.empty() && fs::equivalent(f.start, f.exe_dir, ec);
    f.home = home_folder();
    f.xdg_config_home = env("XDG_CONFIG_HOME");
    f.xdg_data_home = env("XDG_DATA_HOME");
    f.xdg_state_home = env("XDG_STATE_HOME");
    f.appdata = appdata_folder();
    return f;
}

void prepare_player_files(const game_folders& g) {
    if (!g.per_user) return;
    make_player_folder(parent_of(g.settings), "the settings");
    make_player_folder(g.saves, "the battle records");
    std::error_code ec;
    // A link that leads nowhere exists but has no file behind it: it is not made anew through the link.
    if (!fs::exists(fs::symlink_status(g.settings, ec))) make_settings_from_defaults(g);
    check_settings_file(g.settings);
}
