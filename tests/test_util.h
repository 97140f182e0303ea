// Helpers shared by the tests: a scratch folder that is removed afterwards, file reading and
// writing, and a check that a call raises a c_err with a given message.
#pragma once
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "framework/err.h"

class scratch_dir {
  public:
    scratch_dir() {
        char tmpl[] = "/tmp/harnvale-test-XXXXXX";
        path_ = mkdtemp(tmpl);
    }
    ~scratch_dir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Runs the test body with the current directory changed, restoring it afterwards.
class cwd_guard {
  public:
    explicit cwd_guard(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~cwd_guard() { std::filesystem::current_path(old_); }

  private:
    std::filesystem::path old_;
};

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

#define EXPECT_RAISES(statement, message)                                                                    \
    do {                                                                                                     \
        bool raised_ = false;                                                                                \
        try {                                                                                                \
            statement;                                                                                       \
        } catch (const c_err& e_) {                                                                          \
            raised_ = true;                                                                                  \
            EXPECT_EQ(e_.details, std::string(message));                                                     \
        }                                                                                                    \
        EXPECT_TRUE(raised_) << "expected a raise of: " << (message);                                        \
    } while (0)
