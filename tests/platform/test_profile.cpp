#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/win32.h"
#include "tests/test_util.h"

namespace {
std::string get(const std::string& file, const char* section, const char* key, const char* def = "dflt",
                DWORD size = 1024) {
    std::vector<char> buf(size + 1, 'Z');
    DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file.c_str());
    EXPECT_EQ(buf[n], '\0');
    return std::string(buf.data(), n);
}

bool flush(const std::string& file) {
    return WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()) != FALSE;
}

// The pid of a process that has ended.
pid_t ended_process() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}
} // namespace

TEST(Profile, NamesAreCaseInsensitiveAndTheFirstMatchWins) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f, "[Tiles]\nWidth = 64\nwidth=99\n[tiles]\nheight=5\n[ Other ]\n  key  =  spaced value  \n");
    EXPECT_EQ(get(f, "TILES", "WIDTH"), "64");
    // Only the first section of a name is searched.
    EXPECT_EQ(get(f, "tiles", "height"), "dflt");
    EXPECT_EQ(get(f, "other", "KEY"), "spaced value");
    EXPECT_EQ(get(f, "", "key"), "dflt");
    EXPECT_EQ(get(f, "other", ""), "dflt");
    EXPECT_EQ(get(f, "other", "nothing", "trailing   "), "trailing");
}

TEST(Profile, QuotesCommentsAndLinesWithoutEquals) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f,
               "[s]\n;k1=commented\nk1=\"quoted\"\nk2='single'\nk3=\"mixed'\nk4=\"\nno equals here\nk5==x\n");
    EXPECT_EQ(get(f, "s", "k1"), "quoted");
    EXPECT_EQ(get(f, "s", "k2"), "single");
    EXPECT_EQ(get(f, "s", "k3"), "\"mixed'");
    EXPECT_EQ(get(f, "s", "k4"), "\"");
    EXPECT_EQ(get(f, "s", "no equals here"), "dflt");
    EXPECT_EQ(get(f, "s", "k5"), "=x");
}

TEST(Profile, ByteOrderMarkCrlfAndNoFinalLineBreak) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f, "\xEF\xBB\xBF[main]\r\ncaption=Harnvale\r\nlast=end");
    EXPECT_EQ(get(f, "main", "caption"), "Harnvale");
    EXPECT_EQ(get(f, "main", "last"), "end");
}

TEST(Profile, BrokenFilesGiveDefaultsWithoutCrashing) {
    scratch_dir d;
    EXPECT_EQ(get(d.file("missing.ini"), "s", "k"), "dflt");
    std::string f = d.file("a.ini");
    write_file(f, "");
    EXPECT_EQ(get(f, "s", "k"), "dflt");
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    write_file(f, garbage);
    EXPECT_EQ(get(f, "s", "k"), "dflt");
    write_file(f, "[unclosed\nk=v\n");
    EXPECT_EQ(get(f, "unclosed", "k"), "v");
    write_file(f, "k=before any section\n");
    EXPECT_EQ(get(f, "s", "k"), "dflt");
}

TEST(Profile, LongValuesAreCutToTheBuffer) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f, "[s]\nk=" + std::string(5000, 'x') + "\n" + std::string(3000, 'y') + "=long key\n");
    EXPECT_EQ(get(f, "s", "k"), std::string(1023, 'x'));
    EXPECT_EQ(get(f, "s", "k", "", 10), std::string(9, 'x'));
    EXPECT_EQ(get(f, "s", std::string(3000, 'y').c_str()), "long key");
}

TEST(Profile, ReReadsAFileThatChangedOnDisk) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f, "[s]\nk=1\n");
    EXPECT_EQ(get(f, "s", "k"), "1");
    write_file(f, "[s]\nk=22\n");
    EXPECT_EQ(get(f, "s", "k"), "22");
    unlink(f.c_str());
    EXPECT_EQ(get(f, "s", "k"), "dflt");
}

TEST(Profile, WritesAddKeysAtTheEndOfTheirSectionAndKeepEverythingElse) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f, "; top\n[A]\nx = 1 ; not a comment\n\n[B]\ny=2");
    ASSERT_TRUE(WritePrivateProfileStringA("a", "z", "3", f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("b", "Y", "20", f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("b", "w", "4", f.c_str()));
    ASSERT_TRUE(flush(f));
    EXPECT_EQ(read_file(f), "; top\n[A]\nx = 1 ; not a comment\nz=3\n\n[B]\nY=20\nw=4\n");
    ASSERT_TRUE(WritePrivateProfileStringA("a", "x", nullptr, f.c_str()));
    EXPECT_EQ(get(f, "a", "x"), "dflt");
    EXPECT_EQ(get(f, "a", "z"), "3");
}

// A writer killed at any moment leaves the old or the new file, never a mixture or a stub.
TEST(Profile, AnInterruptedWriteLeavesTheOldOrTheNewFile) {
    scratch_dir d;
    std::string f = d.file("settings.ini");
    std::string big_a(200000, 'a'), big_b(200000, 'b');
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", big_a.c_str(), f.c_str()));
    ASSERT_TRUE(flush(f));
    std::string version_a = read_file(f);
    std::string version_b = "[s]\r\nk=" + big_b + "\r\n";
    for (int round = 0; round < 20; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                WritePrivateProfileStringA("s", "k", (i % 2 ? big_a : big_b).c_str(), f.c_str());
                flush(f);
            }
        }
        usleep(1000 + round * 700);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::string now = read_file(f);
        ASSERT_TRUE(now == version_a || now == version_b)
            << "round " << round << ": " << now.size() << " bytes";
    }
}

TEST(Profile, AReadOnlyFileIsLeftAsItIs) {
    scratch_dir d;
    std::string f = d.file("settings.ini");
    write_file(f, "[misc]\ndebug=1\n");
    chmod(f.c_str(), 0444);
    EXPECT_FALSE(WritePrivateProfileStringA("misc", "debug", "3", f.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("misc", "new_key", "x", f.c_str()));
    EXPECT_EQ(read_file(f), "[misc]\ndebug=1\n");
    struct stat st {};
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(get(f, "misc", "debug"), "1");
}

TEST(Profile, WritesThroughALinkKeepTheLinkAndThePermissions) {
    scratch_dir d;
    std::filesystem::create_directory(d.file("real"));
    std::string real = d.file("real/settings.ini"), link = d.file("settings.ini");
    write_file(real, "[misc]\ndebug=1\n");
    chmod(real.c_str(), 0600);
    std::filesystem::create_symlink("real/settings.ini", link);
    EXPECT_TRUE(WritePrivateProfileStringA("misc", "debug", "2", link.c_str()));
    ASSERT_TRUE(flush(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(read_file(real), "[misc]\ndebug=2\n");
    EXPECT_EQ(get(link, "misc", "debug"), "2");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A link that leads nowhere is not replaced by a file.
    std::filesystem::remove(real);
    EXPECT_FALSE(WritePrivateProfileStringA("misc", "debug", "3", link.c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

// A lone CR ends a line for the writer as for the reader: a key written after it is a key of
// its own, and the line before it keeps its value.
TEST(Profile, ALoneCarriageReturnEndsALine) {
    scratch_dir d;
    std::string f = d.file("a.ini");
    write_file(f, "[misc]\r");
    ASSERT_TRUE(WritePrivateProfileStringA("misc", "k", "v", f.c_str()));
    ASSERT_TRUE(flush(f));
    EXPECT_EQ(read_file(f), "[misc]\rk=v\r");
    EXPECT_EQ(get(f, "misc", "k"), "v");

    std::string g = d.file("settings.ini");
    write_file(g, "[screen]\r\nwidth=800\r\nis_windowed=true\r");
    ASSERT_TRUE(WritePrivateProfileStringA("screen", "present_immediate", "false", g.c_str()));
    ASSERT_TRUE(flush(g));
    EXPECT_EQ(get(g, "screen", "is_windowed"), "true");
    EXPECT_EQ(get(g, "screen", "present_immediate"), "false");
    EXPECT_EQ(read_file(g), "[screen]\r\nwidth=800\r\nis_windowed=true\rpresent_immediate=false\r\n");

    std::string h = d.file("mixed.ini");
    write_file(h, "[s]\ra=1\rb=2\r\n[t]\nc=3");
    EXPECT_EQ(get(h, "s", "a"), "1");
    EXPECT_EQ(get(h, "s", "b"), "2");
    EXPECT_EQ(get(h, "t", "c"), "3");
}

// A run of writes is one replacement of the file: none of it is on disk before the flush, all
// of it after, and reads see it throughout. Flushing with no file name flushes every file.
TEST(Profile, WritesReachTheDiskWhenFlushed) {
    scratch_dir d;
    std::string f = d.file("settings.ini"), g = d.file("other.ini");
    write_file(f, "[screen]\nleft=1\n");
    ASSERT_TRUE(WritePrivateProfileStringA("screen", "left", "10", f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("screen", "right", "20", f.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("misc", "debug", "3", g.c_str()));
    EXPECT_EQ(read_file(f), "[screen]\nleft=1\n");
    EXPECT_FALSE(std::filesystem::exists(g));
    EXPECT_EQ(get(f, "screen", "left"), "10");
    EXPECT_EQ(get(g, "misc", "debug"), "3");
    ASSERT_TRUE(flush(f));
    EXPECT_EQ(read_file(f), "[screen]\nleft=10\nright=20\n");
    EXPECT_FALSE(std::filesystem::exists(g));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(read_file(g), "[misc]\r\ndebug=3\r\n");
    // Only the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.path()), {}), 2);
}

// Writes still buffered when the process ends normally are not lost.
TEST(Profile, BufferedWritesAreFlushedAtTheEndOfTheProcess) {
    scratch_dir d;
    std::string f = d.file("settings.ini");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WritePrivateProfileStringA("misc", "show_names", "true", f.c_str());
        std::exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(read_file(f), "[misc]\r\nshow_names=true\r\n");
}

// A temporary file left by a killed writer goes the first time its file is used again; one of a
// live process, and other files, stay.
TEST(Profile, TemporaryFilesOfEndedProcessesAreRemoved) {
    scratch_dir d;
    std::string f = d.file("settings.ini");
    write_file(f, "[s]\nk=1\n");
    std::string dead = f + ".tmp-" + std::to_string(ended_process());
    std::string alive = f + ".tmp-" + std::to_string(getppid());
    std::string other = d.file("rules.ini.tmp-1");
    for (const std::string& p : {dead, alive, other})
        write_file(p, "[s]\nk=half");
    EXPECT_EQ(get(f, "s", "k"), "1");
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_TRUE(std::filesystem::exists(alive));
    EXPECT_TRUE(std::filesystem::exists(other));
}
