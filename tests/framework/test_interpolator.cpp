#include <gtest/gtest.h>

#include "framework/interpolator.h"
#include "tests/test_util.h"

namespace {
// Runs one frame at `now`: counts the update steps sync asks for.
int frame(c_interpolator& ip, int step, int now) {
    int steps = 0;
    while (ip.sync(step, now))
        ++steps;
    return steps;
}
} // namespace

TEST(Interpolator, FirstInterpolatorBecomesCurrent) {
    c_interpolator a(100);
    EXPECT_EQ(c_interpolator::current(), &a);
    {
        c_interpolator b(200);
        EXPECT_EQ(c_interpolator::current(), &a);
    }
}

TEST(Interpolator, ConstantTenMsFramesWithAThirtyThreeMsStep) {
    c_interpolator ip(1000);
    int updates = 0;
    for (int f = 1; f <= 99; ++f) {
        int before = ip.draw_time;
        updates += frame(ip, 33, 1000 + 10 * f);
        EXPECT_EQ(ip.draw_time - before, 10);
        EXPECT_LE(ip.draw_time, ip.update_time);
    }
    // 990 ms of shown time need 30 steps of 33 ms: one frame in three updates.
    EXPECT_EQ(updates, 30);
}

TEST(Interpolator, SlowFirstFrameRunsThirtyOneSteps) {
    c_interpolator ip(0);
    ip.restart(5000);
    EXPECT_EQ(frame(ip, 33, 6000), 31);
    EXPECT_EQ(ip.draw_time, 6000);
    EXPECT_EQ(ip.update_time, 5000 + 31 * 33);
    EXPECT_EQ(ip.frame_times.size(), 1u);
}

TEST(Interpolator, ShownTimeIsTheAverageOfTheLastFiveFrames) {
    c_interpolator ip(0);
    int now = 0;
    for (int i = 0; i < 5; ++i)
        frame(ip, 33, now += 10);
    EXPECT_EQ(ip.draw_time, 50);
    frame(ip, 33, now += 60); // one slow frame moves the picture by the average only
    EXPECT_EQ(ip.frame_time_sum, 100);
    EXPECT_EQ(ip.draw_time, 70);
    EXPECT_FALSE(ip.sync(33, now)); // a clock that did not move records nothing
    EXPECT_EQ(ip.frame_times.size(), 5u);
}

TEST(Interpolator, TracksInterpolateBetweenTheirLastTwoSteps) {
    c_interpolator ip(0);
    ip.restart(0);
    c_interp_float x;
    c_interp_int n;
    ASSERT_TRUE(ip.sync(100, 1)); // step to 100
    x.set(10.0f);
    n.set(10);
    EXPECT_EQ(x.prev_value, 0.0f);
    EXPECT_EQ(x.prev_stamp, 0);
    ASSERT_TRUE(ip.sync(100, 150)); // step to 200
    x.set(20.0f);
    x.set(30.0f); // a second set in the same step keeps the previous value
    n.set(21);
    EXPECT_EQ(x.prev_value, 10.0f);
    EXPECT_EQ(x.prev_stamp, 100);
    ip.draw_time = 150;
    EXPECT_FLOAT_EQ(x.get(), 20.0f);
    EXPECT_EQ(n.get(), 15); // 10 + (int)(11 * 0.5)
    c_interp_float once;
    once.set(7.0f);
    EXPECT_FLOAT_EQ(once.get(), 7.0f);
    ASSERT_TRUE(ip.sync(100, 300)); // a value not set in the latest step reads its current value
    EXPECT_FLOAT_EQ(x.get(), 30.0f);
}

TEST(Interpolator, CompositeReadsInterpolateOnlyWhileDrawing) {
    c_interpolator ip(0);
    ip.restart(0);
    c_interp_float2 pos;
    ASSERT_TRUE(ip.sync(100, 1));
    pos.set({0.0f, 0.0f});
    ASSERT_TRUE(ip.sync(100, 150));
    pos.set({10.0f, -10.0f});
    ip.draw_time = 125;
    EXPECT_EQ(pos.get(), (std::array<float, 2>{10.0f, -10.0f}));
    ip.drawing = true;
    EXPECT_EQ(pos.get(), (std::array<float, 2>{2.5f, -2.5f}));
    ip.drawing = false;
}

TEST(Interpolator, AngleNormalisationShiftsWholeTurns) {
    c_interpolator ip(0);
    c_interp_float a;
    a.value = -0.5f;
    a.prev_value = -0.25f;
    normalize_angle(a);
    EXPECT_FLOAT_EQ(a.value, 6.2831855f - 0.5f);
    EXPECT_FLOAT_EQ(a.prev_value, 6.2831855f - 0.25f);
    a.value = 13.0f;
    normalize_angle(a);
    EXPECT_FLOAT_EQ(a.value, 13.0f - 2 * 6.2831855f);
}
