// Shared pieces of the fuzz targets: a private scratch folder, files replaced whole (so every
// input is a new file to the INI cache and the image loader), and the checks that end a run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The process's scratch folder (on /dev/shm when it exists), made on first use and removed at
// exit.
const std::string& fuzz_dir();
// Writes `bytes` to a temporary file and renames it over `path`: the file is new (another inode)
// each time, as a player's editor would leave it.
void fuzz_replace_file(const std::string& path, const void* bytes, size_t size);
std::string fuzz_read_file(const std::string& path);
// A broken expectation: prints what was expected and aborts, which libFuzzer reports as a crash
// with the input that caused it.
[[noreturn]] void fuzz_fail(const std::string& what);
#define FUZZ_CHECK(condition, what)                                                                          \
    do {                                                                                                     \
        if (!(condition)) fuzz_fail(what);                                                                   \
    } while (0)
