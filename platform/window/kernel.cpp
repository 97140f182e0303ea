// kernel32 subset: clocks, sleeping, the current directory and the executable's path.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/win32.h"

namespace {
// The performance counter runs at 10 MHz like the usual Windows one, counted from the first
// query of the process so that the caller's (count * 1000) never overflows 64 bits.
constexpr LONGLONG COUNTER_FREQUENCY = 10'000'000;
const auto g_counter_origin = std::chrono::steady_clock::now();
} // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = COUNTER_FREQUENCY;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    auto elapsed = std::chrono::steady_clock::now() - g_counter_origin;
    count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() / 100;
    return TRUE;
}

DWORD GetTickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    // No fixed limit: a working directory may be longer than any buffer guessed in advance.
    std::vector<char> path(4096);
    while (!getcwd(path.data(), path.size())) {
        if (errno != ERANGE) return 0;
        path.resize(path.size() * 2);
    }
    DWORD length = static_cast<DWORD>(std::strlen(path.data()));
    // As on Windows: a buffer that is too small gets nothing and the size needed is returned.
    if (!buffer || length + 1 > size) return length + 1;
    std::memcpy(buffer, path.data(), length + 1);
    return length;
}

BOOL MoveFileExA(LPCSTR existing_name, LPCSTR new_name, DWORD flags) {
    if (!existing_name || !new_name) return FALSE;
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
        // link() fails on an existing name, so no other file is ever replaced.
        if (link(existing_name, new_name) != 0 || unlink(existing_name) != 0) return FALSE;
    } else if (std::rename(existing_name, new_name) != 0) {
        return FALSE;
    }
    if (flags & MOVEFILE_WRITE_THROUGH) {
        std::string folder = new_name;
        const size_t slash = folder.find_last_of('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
    return TRUE;
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    return path && chdir(path) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (module || !buffer || size == 0) return 0;
    // The kernel's link to the executable names it however the program was started: through a
    // link, from a relative path, or from any working directory.
    std::vector<char> path(4096);
    ssize_t n;
    while ((n = readlink("/proc/self/exe", path.data(), path.size())) == static_cast<ssize_t>(path.size()))
        path.resize(path.size() * 2);
    if (n <= 0) return 0;
    DWORD length = static_cast<DWORD>(n);
    DWORD copied = length < size ? length : size - 1;
    std::memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
    return length < size ? length : size;
}

BOOL PathIsRelativeA(LPCSTR path) {
    return path && path[0] == PATH_SEPARATOR ? FALSE : TRUE;
}
