// The drawn cursor against the recording device.
#include <gtest/gtest.h>

#include "framework/cursor.h"
#include "tests/fakes/recording_device.h"
#include "tests/test_util.h"

namespace {

class Cursor : public ::testing::Test {
  protected:
    Cursor() : gfx(&dev, 2.0e-5f), cursors(&gfx) {}
    recording_device dev;
    c_gfx gfx;
    c_cursor cursors;
};

TEST_F(Cursor, TheHotSpotLiesOnTheMousePosition) {
    EXPECT_EQ(cursors.add_cursor("", 0, 0, 8, 8), 0);
    EXPECT_EQ(cursors.add_cursor("", 16, 16, 32, 32), 1);
    cursors.set_cursor(1);
    cursors.x = 100;
    cursors.y = 50;
    dev.clear_log();
    cursors.draw();
    ASSERT_EQ(dev.draws().size(), 1u);
    const draw_record& d = dev.draws()[0];
    EXPECT_EQ(d.texture, nullptr); // no file: untextured
    auto v = d.as<vertex_tra>();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].x, 84.0f);
    EXPECT_EQ(v[0].y, 34.0f);
    EXPECT_EQ(v[3].x, 116.0f);
    EXPECT_EQ(v[3].y, 66.0f);
    for (const auto& c : v) {
        EXPECT_EQ(c.colour, 0xFFFFFFFFu);
        EXPECT_EQ(c.z, 0.0f);
    }
}

TEST_F(Cursor, IndicesOutsideTheSetRaise) {
    for (int i = 0; i < 26; ++i)
        cursors.add_cursor("", 0, 0, 32, 32);
    cursors.set_cursor(25);
    EXPECT_RAISES(cursors.set_cursor(26), "Cursor identifier out of range.");
    EXPECT_RAISES(cursors.set_cursor(-1), "Cursor identifier out of range.");
    EXPECT_EQ(cursors.get_current(), 25);
}

TEST_F(Cursor, NothingIsDrawnBeforeACursorIsChosen) {
    cursors.add_cursor("", 0, 0, 32, 32);
    dev.clear_log();
    cursors.draw();
    EXPECT_TRUE(dev.log().empty());
}

TEST_F(Cursor, AMissingPictureRaisesWithTheLoadersHresult) {
    scratch_dir dir;
    try {
        cursors.add_cursor(dir.file("missing.png"), 0, 0, 32, 32);
        ADD_FAILURE();
    } catch (const c_err& e) {
        EXPECT_EQ(e.details, "Unable to create cursor texture.");
        EXPECT_EQ(e.function, "c_cursor::add_cursor");
        EXPECT_LT(e.hresult, 0);
    }
    EXPECT_EQ(cursors.get_count(), 0);
}

} // namespace
