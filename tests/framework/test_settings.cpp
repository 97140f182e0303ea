#include <gtest/gtest.h>

#include "framework/core.h"
#include "framework/ini.h"
#include "tests/rect_equal.h"
#include "tests/test_util.h"

namespace {
settings_record round_trip(const std::string& text, std::string* written = nullptr) {
    scratch_dir d;
    write_file(d.file("settings.ini"), text);
    cwd_guard in(d.path());
    c_ini ini("settings.ini");
    settings_record s = read_screen_settings(ini);
    write_screen_settings(ini, s);
    ini.flush();
    if (written) *written = read_file(d.file("settings.ini"));
    return s;
}
} // namespace

TEST(Settings, ReadsTheElevenScreenKeys) {
    settings_record s =
        round_trip("[screen]\nis_windowed=true\nleft=10\nright=810\ntop=20\nbottom=620\n"
                   "width=800\nheight=600\ndepth=16\nrefresh_rate=75\nadapter=1\npresent_immediate=true\n");
    EXPECT_TRUE(s.is_windowed);
    EXPECT_EQ(s.window_rect, (RECT{10, 20, 810, 620}));
    EXPECT_EQ(s.mode.Width, 800u);
    EXPECT_EQ(s.mode.Height, 600u);
    EXPECT_EQ(s.mode.Format, D3DFMT_R5G6B5);
    EXPECT_EQ(s.mode.RefreshRate, 75u);
    EXPECT_EQ(s.adapter, 1u);
    EXPECT_EQ(s.present_interval, D3DPRESENT_INTERVAL_IMMEDIATE);
}

TEST(Settings, DepthTableBothWays) {
    for (int depth : {8, 15, 16, 24, 32, 33, 64})
        EXPECT_EQ(format_to_depth(depth_to_format(depth)), depth);
    EXPECT_EQ(format_to_depth(D3DFMT_A8R8G8B8), 32);
    EXPECT_EQ(format_to_depth(D3DFMT_A1R5G5B5), 15);
    EXPECT_EQ(depth_to_format(12), D3DFMT_UNKNOWN);
    EXPECT_EQ(format_to_depth(D3DFMT_D16), 0);
}

TEST(Settings, RoundTripsKeepTheirMeaning) {
    std::string out;
    settings_record s = round_trip("[screen]\ndepth=12\npresent_immediate=true\n", &out);
    EXPECT_EQ(s.mode.Format, D3DFMT_UNKNOWN);
    EXPECT_NE(out.find("depth=0\n"), std::string::npos);
    EXPECT_NE(out.find("present_immediate=true\n"), std::string::npos);
    // On a first exit every key is written, in the order they are read.
    round_trip("", &out);
    const char* order[] = {
        "is_windowed=", "left=",  "right=",        "top=",     "bottom=",           "width=",
        "height=",      "depth=", "refresh_rate=", "adapter=", "present_immediate="};
    size_t at = 0;
    for (const char* key : order) {
        size_t found = out.find(key, at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
}

TEST(Settings, WindowModeIsWrittenAsANumberAndReadEitherWay) {
    std::string out;
    EXPECT_TRUE(round_trip("[screen]\nis_windowed=true\n", &out).is_windowed);
    EXPECT_NE(out.find("is_windowed=1\n"), std::string::npos) << out;
    EXPECT_TRUE(round_trip("[screen]\nis_windowed=1\n", &out).is_windowed);
    EXPECT_NE(out.find("is_windowed=1\n"), std::string::npos) << out;
    EXPECT_FALSE(round_trip("[screen]\nis_windowed=false\n", &out).is_windowed);
    EXPECT_NE(out.find("is_windowed=0\n"), std::string::npos) << out;
    EXPECT_FALSE(round_trip("[screen]\nis_windowed=0\n", &out).is_windowed);
    EXPECT_NE(out.find("is_windowed=0\n"), std::string::npos) << out;
}

TEST(Settings, AlphaVariantsOfThirtyTwoBitsWriteThirtyTwo) {
    scratch_dir d;
    cwd_guard in(d.path());
    c_ini ini("settings.ini");
    settings_record s{};
    s.mode.Format = D3DFMT_A8R8G8B8;
    s.present_interval = 7;
    write_screen_settings(ini, s);
    EXPECT_EQ(ini.get_int("screen", "depth"), 32);
    EXPECT_EQ(ini.get_raw("screen", "present_immediate"), "false");
    s.mode.Format = D3DFMT_X8R8G8B8;
    write_screen_settings(ini, s);
    EXPECT_EQ(ini.get_int("screen", "depth"), 32);
}
