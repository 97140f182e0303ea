#include "tests/fuzz/fuzz_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {
struct scratch {
    std::string path;
    scratch() {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string tmpl = base + "/harnvale-fuzz-XXXXXX";
        path = mkdtemp(tmpl.data()) ? tmpl : std::string();
        if (path.empty()) fuzz_fail("cannot make a scratch folder");
    }
    ~scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};
} // namespace

const std::string& fuzz_dir() {
    static scratch s;
    return s.path;
}

void fuzz_replace_file(const std::string& path, const void* bytes, size_t size) {
    const std::string tmp = path + ".new";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) fuzz_fail("cannot write " + tmp);
    if (size && std::fwrite(bytes, 1, size, f) != size) fuzz_fail("cannot write " + tmp);
    std::fclose(f);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) fuzz_fail("cannot rename " + tmp);
}

std::string fuzz_read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void fuzz_fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}
