#include <cmath>
#include <gtest/gtest.h>

#include "framework/chance.h"
#include "framework/misc.h"
#include "platform/crt.h"
#include "tests/test_util.h"

TEST(Random, KnownSeedGivesTheLinearCongruenceSequence) {
    crt::srand(1);
    EXPECT_EQ(crt::rand(), 41);
    EXPECT_EQ(crt::rand(), 18467);
    EXPECT_EQ(crt::rand(), 6334);
    crt::srand(12345);
    unsigned seed = 12345;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 214013u + 2531011u;
        ASSERT_EQ(crt::rand(), static_cast<int>((seed >> 16) & 0x7FFF));
    }
}

TEST(Chance, ThresholdsAndPicks) {
    c_chance c;
    c.add_chance(70);
    c.add_chance(30);
    EXPECT_EQ(c.get_thresholds(), (std::vector<std::uint32_t>{70, 100}));
    EXPECT_EQ(c.pick(69), 0);
    EXPECT_EQ(c.pick(70), 1);
    EXPECT_EQ(c.pick(99), 1);
    EXPECT_RAISES(c.pick(100), "No chance was found.");
}

TEST(Chance, ZeroWeightIsNeverRolled) {
    c_chance c;
    c.add_chance(0);
    c.add_chance(5);
    crt::srand(7);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(c.roll(), 1);
}

TEST(Chance, RollsFollowTheWeights) {
    c_chance c;
    c.add_chance(1);
    c.add_chance(3);
    crt::srand(99);
    int counts[2] = {0, 0};
    for (int i = 0; i < 4000; ++i)
        ++counts[c.roll()];
    EXPECT_NEAR(counts[1] / 4000.0, 0.75, 0.03);
}

TEST(Chance, EmptyAndNegativeListsRaise) {
    c_chance empty;
    EXPECT_RAISES(empty.roll(), "There are no chances in the chance list.");
    c_chance zeros;
    zeros.add_chance(0);
    EXPECT_RAISES(zeros.roll(), "There are no chances in the chance list.");
    c_chance negative;
    EXPECT_RAISES(negative.add_chance(-5), "A chance weight is negative.");
}

TEST(Angle, EveryCaseOfTheTable) {
    const float pi = 3.1415927f;
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, 0, 3), 0.0f);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, 0, -5), pi);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, 2, 0), pi / 2);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, -2, 0), 3 * pi / 2);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, 1, 1), pi / 4);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, 1, -1), 3 * pi / 4);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, -1, -1), 5 * pi / 4);
    EXPECT_FLOAT_EQ(points_to_angle(0, 0, -1, 1), -pi / 4);
    EXPECT_FLOAT_EQ(points_to_angle(10, 10, 10 + std::sqrt(3.0f), 11), pi / 3);
    EXPECT_RAISES(points_to_angle(0, 0, NAN, 1), "Unable to calculate angle.");
}

TEST(Strings, FormattingIsCutAt1023) {
    EXPECT_EQ(format_string("%s", std::string(2000, 'q').c_str()), std::string(1023, 'q'));
    EXPECT_EQ(format_string("core_window_class_%d", 5), "core_window_class_5");
    EXPECT_EQ(to_string(true), "true");
    EXPECT_EQ(to_string(false), "false");
    EXPECT_EQ(to_string(-3), "-3");
    EXPECT_EQ(to_string(4000000000u), "4000000000");
    EXPECT_EQ(to_string(static_cast<std::int64_t>(1) << 40), "1099511627776");
    EXPECT_EQ(to_string('x'), "x");
}

TEST(Strings, SingleIntFormatCheck) {
    EXPECT_TRUE(is_single_int_format("tile_%d"));
    EXPECT_TRUE(is_single_int_format("%03d units ready (100%%)"));
    EXPECT_FALSE(is_single_int_format("tile"));
    EXPECT_FALSE(is_single_int_format("%d and %d"));
    EXPECT_FALSE(is_single_int_format("%s"));
    EXPECT_FALSE(is_single_int_format("%n%d"));
    EXPECT_FALSE(is_single_int_format("%ld"));
    EXPECT_FALSE(is_single_int_format("trailing %"));
    // A width or precision beyond what the 1023-character result can hold: padding to hundreds
    // of millions of characters would stall the screen that formats it.
    EXPECT_TRUE(is_single_int_format("%1023d"));
    EXPECT_TRUE(is_single_int_format("%.1023d"));
    EXPECT_FALSE(is_single_int_format("%1024d"));
    EXPECT_FALSE(is_single_int_format("34%00675844761.d"));
    EXPECT_FALSE(is_single_int_format("%.99999999999999999999d"));
}
