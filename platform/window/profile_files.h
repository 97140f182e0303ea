// Inside the platform layer: what the profile functions need from the file system, one
// implementation for each kind of system.
#pragma once
#include <cstdint>
#include <string>

// What tells a changed file from the one parsed: its size, time stamp and (where the system
// has one) its file number.
struct file_stamp {
    bool exists = false;
    std::uint64_t size = 0;
    long long mtime_ns = 0;
    std::uint64_t identity = 0;
    bool operator==(const file_stamp&) const = default;
};

file_stamp profile_stamp_of(const std::string& path);
// A write replaces the file through "<file>.tmp-<process id>"; one whose process no longer
// exists was left by a run that was killed and is removed, once per file and process.
void profile_remove_stale_temporaries(const std::string& path);
// Where a write goes: empty when the file must not be written (made read-only on purpose, or a
// link that leads nowhere).
std::string profile_write_target(const std::string& file_name);
// Replaces the file by `text` in one step: it is always the old or the new version.
bool profile_write_atomically(const std::string& file_name, const std::string& text);
