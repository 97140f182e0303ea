// Profile files on Windows: time stamps, the atomic replacement and its left-overs. Paths go to
// the system's wide functions as "\\?\" paths, so that no path is too long.
#include <algorithm>
#include <set>
#include <string>

#include "platform/win32.h"
#include "platform/window/profile_files.h"
#include "platform/windows/long_path.h"

namespace {

std::string temporary_prefix(const std::string& path) {
    return path + ".tmp-";
}

bool process_exists(DWORD id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER; // access denied: it exists
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

} // namespace

file_stamp profile_stamp_of(const std::string& path) {
    file_stamp s;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(long_path(path).c_str(), GetFileExInfoStandard, &data)) return s;
    s.exists = true;
    s.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                data.ftLastWriteTime.dwLowDateTime;
    s.mtime_ns = static_cast<long long>(ticks) * 100;
    return s;
}

void profile_remove_stale_temporaries(const std::string& path) {
    static std::set<std::string> done;
    if (!done.insert(path).second) return;
    const size_t slash = path.find_last_of("\\/");
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string prefix = temporary_prefix(slash == std::string::npos ? path : path.substr(slash + 1));
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(
        long_path(dir + (slash == std::string::npos ? "\\" : "") + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = narrow_path(found.cFileName);
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const DWORD id = static_cast<DWORD>(std::stoul(digits));
        if (id == GetCurrentProcessId() || process_exists(id)) continue; // its writer may be alive
        DeleteFileW(long_path((slash == std::string::npos ? std::string() : dir) + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A file the player made read-only is not replaced (MoveFileEx would replace it all the same).
std::string profile_write_target(const std::string& file_name) {
    const DWORD attributes = GetFileAttributesW(long_path(file_name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return std::string();
    return file_name;
}

bool profile_write_atomically(const std::string& file_name, const std::string& text) {
    const std::string path = profile_write_target(file_name);
    if (path.empty()) return false;
    const std::wstring target = long_path(path);
    const std::wstring temporary = long_path(temporary_prefix(path) + std::to_string(GetCurrentProcessId()));
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
        ok = WriteFile(file, text.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    if (!ok ||
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}
