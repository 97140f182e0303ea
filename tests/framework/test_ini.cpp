#include <filesystem>
#include <gtest/gtest.h>

#include "framework/ini.h"
#include "tests/test_util.h"

class IniTest : public testing::Test {
  protected:
    scratch_dir dir;
    std::string path = dir.file("t.ini");
    c_ini open(const std::string& text) {
        write_file(path, text);
        cwd_guard in(dir.path());
        return c_ini("t.ini");
    }
};

TEST_F(IniTest, BoolTakesOnlyTheExactWords) {
    c_ini ini = open("[s]\na=1\nb=True\nc=YES\nd=on\ne=yes please\nf=TRUE\n");
    ini.set_section("s");
    EXPECT_TRUE(ini.get_bool("a"));
    EXPECT_FALSE(ini.get_bool("b"));
    EXPECT_TRUE(ini.get_bool("c"));
    EXPECT_TRUE(ini.get_bool("d"));
    EXPECT_FALSE(ini.get_bool("e"));
    EXPECT_TRUE(ini.get_bool("f"));
    EXPECT_FALSE(ini.get_bool("missing"));
}

TEST_F(IniTest, StringEscapesAndClosingQuote) {
    c_ini ini = open("[s]\n"
                     "lone=\"\n"
                     "quoted=a\\\"b\"c\n"
                     "tab=x\\ty\n"
                     "unknown=p\\qr\n"
                     "trailing=abc\\\n"
                     "blanks=hello   \"\n"
                     "all=\\a\\b\\f\\n\\r\\v\\\\\n"
                     "wrapped=\"inner\"\n");
    ini.set_section("s");
    EXPECT_EQ(ini.get_string("lone"), "");
    EXPECT_EQ(ini.get_string("quoted"), "a\"b");
    EXPECT_EQ(ini.get_string("tab"), "x\ty");
    EXPECT_EQ(ini.get_string("unknown"), "pr");
    EXPECT_EQ(ini.get_string("trailing"), "abc");
    EXPECT_EQ(ini.get_string("blanks"), "hello   ");
    EXPECT_EQ(ini.get_string("all"), "\a\b\f\n\r\v\\");
    // The platform strips the enclosing pair first; what is left has no quote.
    EXPECT_EQ(ini.get_string("wrapped"), "inner");
    EXPECT_EQ(ini.get_raw("blanks"), "hello   \"");
}

TEST_F(IniTest, ColorPacksAlphaRedGreenBlue) {
    c_ini ini = open("[c]\nblue=255 0 0 255\nred=255, 255, 0, 0\nwrap=256 -1 0 0\nshort=255 10\nbad=x\n");
    EXPECT_EQ(ini.get_color("c", "blue"), 0xFF0000FFu);
    EXPECT_EQ(ini.get_color("c", "wrap"), 0x00FF0000u);
    // Missing components are 0.
    EXPECT_EQ(ini.get_color("c", "short"), 0xFF0A0000u);
    EXPECT_EQ(ini.get_color("c", "bad"), 0u);
    EXPECT_EQ(ini.get_color("c", "none"), 0u);
    EXPECT_EQ(ini.get_color("c", "red"), 0xFF000000u); // "%d %d" stops at the comma
}

TEST_F(IniTest, NumbersFollowAtoiAndAtof) {
    c_ini ini = open("[n]\ni=  -42xyz\nj=abc\nf=2.5e1q\nbig=99999999999\n");
    ini.set_section("n");
    EXPECT_EQ(ini.get_int("i"), -42);
    EXPECT_EQ(ini.get_int("j"), 0);
    EXPECT_FLOAT_EQ(ini.get_float("f"), 25.0f);
    EXPECT_EQ(ini.get_int("missing"), 0);
    EXPECT_FLOAT_EQ(ini.get_float("missing"), 0.0f);
}

TEST_F(IniTest, SectionFormsReadWhereTheySay) {
    c_ini ini = open("[a]\nv=1\n[b]\nv=2\n");
    ini.set_section("a");
    EXPECT_EQ(ini.get_int("v"), 1);
    EXPECT_EQ(ini.get_int("b", "v"), 2);
    EXPECT_EQ(ini.get_section(), "a");
    EXPECT_EQ(ini.get_int("v"), 1);
}

TEST_F(IniTest, PathIsFixedAtConstruction) {
    write_file(path, "[s]\nk=here\n");
    scratch_dir other;
    write_file(other.file("t.ini"), "[s]\nk=elsewhere\n");
    c_ini ini = [&] {
        cwd_guard in(dir.path());
        return c_ini("t.ini");
    }();
    cwd_guard moved(other.path());
    EXPECT_EQ(ini.get_raw("s", "k"), "here");
}

TEST_F(IniTest, RelativeNamesJoinTheWorkingDirectoryAndFullPathsStandAsTheyAre) {
    std::filesystem::create_directories(dir.file("sub"));
    scratch_dir other;
    write_file(path, "[s]\nk=here\n");
    write_file(dir.file("sub/t.ini"), "[s]\nk=below\n");
    write_file(other.file("t.ini"), "[s]\nk=elsewhere\n");
    const std::string dotted = dir.path() + "/sub/../sub/t.ini";
    struct {
        std::string name, path, value;
    } const cases[] = {
        {"t.ini", path, "here"},
        {"sub/t.ini", dir.file("sub/t.ini"), "below"},
        {other.file("t.ini"), other.file("t.ini"), "elsewhere"},
        {dotted, dotted, "below"},
        {dir.file("missing.ini"), dir.file("missing.ini"), ""},
    };
    cwd_guard in(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c_ini ini(c.name);
        EXPECT_EQ(ini.get_path(), c.path);
        EXPECT_EQ(ini.get_raw("s", "k"), c.value);
    }
    // Writes through a full path land in that file, not in one below the working directory.
    c_ini full(other.file("w.ini"));
    full.set_section("s");
    full.write_int("k", 7);
    full.flush();
    EXPECT_EQ(read_file(other.file("w.ini")), "[s]\r\nk=7\r\n");
}

TEST_F(IniTest, WritersUseTheCurrentSectionAndKeepOtherLines) {
    c_ini ini = open("; settings\r\n[screen]\r\nwidth=800\r\n\r\n[misc]\r\ndebug=1\r\n");
    ini.set_section("screen");
    ini.write_int("width", 1024);
    ini.write_int("height", 768);
    ini.set_section("misc");
    ini.write_bool("show_names", true);
    ini.set_section("new");
    ini.write_string("k", "v");
    // Nothing reaches the disk before the flush; reads see the writes all the same.
    EXPECT_EQ(read_file(path), "; settings\r\n[screen]\r\nwidth=800\r\n\r\n[misc]\r\ndebug=1\r\n");
    EXPECT_EQ(ini.get_int("screen", "width"), 1024);
    ini.flush();
    EXPECT_EQ(read_file(path),
              "; settings\r\n[screen]\r\nwidth=1024\r\nheight=768\r\n\r\n[misc]\r\ndebug=1\r\n"
              "show_names=true\r\n[new]\r\nk=v\r\n");
    EXPECT_EQ(ini.get_int("screen", "height"), 768);
    EXPECT_TRUE(ini.get_bool("misc", "show_names"));
}

TEST_F(IniTest, WriteCreatesAMissingFile) {
    c_ini ini = [&] {
        cwd_guard in(dir.path());
        return c_ini("fresh.ini");
    }();
    ini.set_section("misc");
    ini.write_int("debug", 3);
    ini.flush();
    EXPECT_EQ(read_file(dir.file("fresh.ini")), "[misc]\r\ndebug=3\r\n");
}

// A working directory longer than the shared read buffer still gives the file's full path.
TEST_F(IniTest, AStartDirectoryOfAnyLengthWorks) {
    std::string deep = dir.path();
    while (deep.size() < 1500)
        deep += "/" + std::string(200, 'd');
    std::filesystem::create_directories(deep);
    write_file(deep + "/settings.ini", "[screen]\nwidth=1024\n");
    cwd_guard in(deep);
    EXPECT_EQ(get_current_directory(), deep);
    c_ini ini("settings.ini");
    EXPECT_EQ(ini.get_path(), deep + "/settings.ini");
    EXPECT_EQ(ini.get_int("screen", "width"), 1024);
}
