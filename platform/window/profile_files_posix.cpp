// Profile files on POSIX systems: time stamps, the atomic replacement and its left-overs.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/window/profile_files.h"

file_stamp profile_stamp_of(const std::string& path) {
    file_stamp s;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtime_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
    s.identity = static_cast<std::uint64_t>(st.st_ino);
    return s;
}

namespace {

std::string temporary_prefix(const std::string& path) {
    return path + ".tmp-";
}

} // namespace

void profile_remove_stale_temporaries(const std::string& path) {
    static std::set<std::string> done;
    if (!done.insert(path).second) return;
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string prefix = temporary_prefix(slash == std::string::npos ? path : path.substr(slash + 1));
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t pid = static_cast<pid_t>(std::stol(digits));
        if (pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) continue; // its writer may be alive
        unlink((dir + "/" + name).c_str());
    }
    closedir(d);
}

// Where a write goes: a link is followed to its file, so the link itself stays (the file is
// replaced beside its real place). Empty when the file must not be written: a link that leads
// nowhere, or a file without any write permission, which the player made read-only on purpose
// (a rename would otherwise replace it, whoever owns it).
std::string profile_write_target(const std::string& file_name) {
    std::string target = file_name;
    struct stat st {};
    if (lstat(file_name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = realpath(file_name.c_str(), nullptr);
        if (!real) return std::string();
        target = real;
        std::free(real);
    }
    if (stat(target.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return std::string();
    return target;
}

bool profile_write_atomically(const std::string& file_name, const std::string& text) {
    const std::string path = profile_write_target(file_name);
    if (path.empty()) return false;
    std::string tmp = temporary_prefix(path) + std::to_string(getpid());
    struct stat old {};
    const bool existed = stat(path.c_str(), &old) == 0;
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    if (existed) fchmod(fd, old.st_mode & 07777); // the new file keeps the old one's permissions
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w <= 0) {
            close(fd);
            unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(w);
    }
    bool ok = fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}
