// The interface assets loader against the recording device, on interface.ini files written by
// the tests: shared images, value formats, the variants and what bad entries lead to.
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

#include "framework/ini.h"
#include "framework/interface.h"
#include "tests/framework/gui_fixture.h"
#include "tests/test_util.h"

namespace {

class Interface : public GuiFixture {
  protected:
    Interface() {
        std::filesystem::copy_file(std::string(HV_SOURCE_DIR) + "/DATA/gui/frame0_m.png",
                                   dir.file("wood.png"));
        std::filesystem::copy_file(std::string(HV_SOURCE_DIR) + "/DATA/cursors/arrow.png",
                                   dir.file("arrow.png"));
        old_gfx_ = g_gfx;
        old_font_ = g_font;
        old_ini_ = g_interface;
        g_gfx = &gfx;
        g_font = &font;
    }
    ~Interface() override {
        release_interface();
        delete g_interface;
        g_gfx = old_gfx_;
        g_font = old_font_;
        g_interface = old_ini_;
    }
    void load(const std::string& text) {
        write_file(dir.file("interface.ini"), text);
        cwd_guard in(dir.path());
        delete g_interface;
        g_interface = new c_ini("interface.ini");
        load_interface(1024, 768);
    }
    int images_named(const std::string& name) {
        int n = 0;
        for (c_image* image : gfx.get_images())
            n += image->get_file_name() == name;
        return n;
    }
    scratch_dir dir;

  private:
    c_gfx* old_gfx_;
    c_font* old_font_;
    c_ini* old_ini_;
};

const char* const base_ini = "[cursors]\n"
                             "arrow=\"arrow.png\" 1 2 32 32\n"
                             "hand=\"arrow.png\" 11 1 32 32\n"
                             "[gui_settings]\n"
                             "repeat_interval_init=400\n"
                             "repeat_interval_norm=80\n"
                             "04=\"wood.png\" 64 32 255 1 2 3\n"
                             "14=\"wood.png\" 64 64 255 255 255 255\n"
                             "sl=4\nsr=5\nst=6\nsb=7\n"
                             "text0=255 240 224 180 1.0 1.0\n"
                             "text2=255 255 255 0 1.5 1.0\n"
                             "vscroll_paddle1=\"\" 128 1 2 3\n"
                             "checkbox_checked3=\"\" 511 256 257 -1\n"
                             "listbox_vscroll_width=20\n"
                             "listitem_height=30\n"
                             "[minimap_gui_settings]\n"
                             "repeat_interval_init=150\n"
                             "[aub_gui_settings]\n"
                             "text0=255 255 236 150 2.0 2.0\n"
                             "[etb_gui_settings]\n"
                             "text2=255 1 2\n";

TEST_F(Interface, OneFileNamedTwiceIsOneImageAndEveryValueLandsInItsField) {
    load(base_ini);
    const c_gui_settings& g = g_gui_settings;
    ASSERT_EQ(images_named("wood.png"), 1);
    c_image* wood = g.frame_images[0][4];
    EXPECT_EQ(wood, g.frame_images[1][4]);
    EXPECT_EQ(wood->refcount, 2);
    EXPECT_NE(wood->get_texture(), nullptr);
    EXPECT_EQ(g.frame_sizes[0][4].cx, 64);
    EXPECT_EQ(g.frame_sizes[0][4].cy, 32);
    EXPECT_EQ(g.frame_colours[0][4], 0xFF010203u);
    // A missing piece: an image without texture, size and colour 0.
    ASSERT_NE(g.frame_images[2][0], nullptr);
    EXPECT_EQ(g.frame_images[2][0]->get_texture(), nullptr);
    EXPECT_EQ(g.frame_sizes[2][0].cx, 0);
    EXPECT_EQ(g.frame_colours[2][0], 0u);

    EXPECT_EQ(g.gfx, &gfx);
    EXPECT_EQ(g.design_width, 800);
    EXPECT_EQ(g.screen_width, 1024);
    EXPECT_EQ(g.screen_height, 768);
    EXPECT_EQ(g.repeat_interval_init, 400);
    EXPECT_EQ(g.border_left, 4);
    EXPECT_EQ(g.border_right, 5);
    EXPECT_EQ(g.border_top, 6);
    EXPECT_EQ(g.border_bottom, 7);
    EXPECT_EQ(g.text_colours[2], 0xFFFFFF00u);
    EXPECT_FLOAT_EQ(g.text_scale_x[2], 1.5f);
    EXPECT_FLOAT_EQ(g.text_scale_y[2], 1.0f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(g.text_flags[i], 0x25);
        EXPECT_EQ(g.text_fonts[i], &font);
        EXPECT_EQ(g.text_backgrounds[i], 0u);
    }
    EXPECT_EQ(g.vscroll_paddle_colours[1], 0x80010203u);
    EXPECT_EQ(g.checkbox_checked_colours[3], 0xFF0001FFu); // each number cut to 8 bits
    EXPECT_EQ(g.listbox_vscroll_width, 20);
    EXPECT_EQ(g.listitem_height, 30);
    EXPECT_EQ(g.vscroll_bigchange, 0);

    // Cursors: all 26 in order, the first current; missing ones without texture.
    ASSERT_NE(g_cursors, nullptr);
    EXPECT_EQ(g_cursors->get_count(), 26);
    EXPECT_EQ(g_cursors->get_current(), 0);
    EXPECT_EQ(g_cursors->get_record(1).hot_x, 11);
    EXPECT_NE(g_cursors->get_record(0).texture, nullptr);
    EXPECT_EQ(g_cursors->get_record(25).texture, nullptr);
    EXPECT_EQ(g_logo->get_texture(), nullptr);
}

TEST_F(Interface, TheVariantsAreCopiesWithOnlyTheirOwnSectionReadOverThem) {
    load(base_ini);
    const c_gui_settings& g = g_gui_settings;
    auto same_except_text = [&](const c_gui_settings& v) {
        EXPECT_EQ(v.gfx, g.gfx);
        EXPECT_EQ(v.screen_width, g.screen_width);
        EXPECT_EQ(std::memcmp(v.frame_images, g.frame_images, sizeof g.frame_images), 0);
        EXPECT_EQ(std::memcmp(v.frame_colours, g.frame_colours, sizeof g.frame_colours), 0);
        EXPECT_EQ(std::memcmp(v.frame_sizes, g.frame_sizes, sizeof g.frame_sizes), 0);
        EXPECT_EQ(v.border_left + v.border_right + v.border_top + v.border_bottom, 22);
        EXPECT_EQ(
            std::memcmp(v.vscroll_paddle_colours, g.vscroll_paddle_colours, sizeof g.vscroll_paddle_colours),
            0);
        EXPECT_EQ(std::memcmp(v.checkbox_checked_images, g.checkbox_checked_images,
                              sizeof g.checkbox_checked_images),
                  0);
        EXPECT_EQ(v.listitem_height, g.listitem_height);
    };
    same_except_text(g_aub_gui_settings);
    EXPECT_EQ(g_aub_gui_settings.repeat_interval_init, 400);
    EXPECT_EQ(g_aub_gui_settings.text_colours[0], 0xFFFFEC96u);
    EXPECT_FLOAT_EQ(g_aub_gui_settings.text_scale_x[0], 2.0f);
    EXPECT_EQ(g_aub_gui_settings.text_colours[2], g.text_colours[2]); // missing: the copied style
    EXPECT_EQ(g_aub_gui_settings.text_flags[1], 0x29);

    same_except_text(g_etb_gui_settings);
    EXPECT_EQ(g_etb_gui_settings.text_flags[3], 0x05);
    // Numbers missing from a style keep the copied ones.
    EXPECT_EQ(g_etb_gui_settings.text_colours[2], 0xFF010200u);
    EXPECT_FLOAT_EQ(g_etb_gui_settings.text_scale_x[2], 1.5f);

    same_except_text(g_checkbox_gui_settings);
    EXPECT_EQ(g_checkbox_gui_settings.text_flags[0], 0x24);

    // The minimap's intervals are replaced, the missing one by 0.
    same_except_text(g_minimap_gui_settings);
    EXPECT_EQ(g_minimap_gui_settings.repeat_interval_init, 150);
    EXPECT_EQ(g_minimap_gui_settings.repeat_interval_norm, 0);
    EXPECT_EQ(g_minimap_gui_settings.text_flags[0], 0x25);
}

TEST_F(Interface, ReleaseGivesBackEveryImageAndCursor) {
    const size_t before = gfx.get_images().size();
    load(base_ini);
    EXPECT_GT(gfx.get_images().size(), before);
    release_interface();
    EXPECT_EQ(gfx.get_images().size(), before);
    EXPECT_EQ(g_cursors, nullptr);
    EXPECT_EQ(g_logo, nullptr);
    EXPECT_EQ(g_gui_settings.frame_images[0][4], nullptr);
    // Loading twice does not hold the first load's images.
    load(base_ini);
    load(base_ini);
    EXPECT_EQ(g_gui_settings.frame_images[0][4]->refcount, 2);
}

TEST_F(Interface, BadEntriesEndInASentenceNeverInACrash) {
    std::string ini = base_ini;
    ini.replace(ini.find("listitem_height=30"), 18, "listitem_height=0");
    EXPECT_RAISES(load(ini),
                  "Unable to lay out lists: listitem_height in [gui_settings] of interface.ini must be at "
                  "least 1.");
    release_interface();
    // A file without the height (missing, empty or cut short before it) says it gives none.
    ini.replace(ini.find("listitem_height=0"), 17, "");
    EXPECT_RAISES(load(ini),
                  "Unable to lay out lists: interface.ini gives no listitem_height in [gui_settings].");
    release_interface();
    EXPECT_RAISES(load(std::string(base_ini) + "[misc]\nlogo=missing.png\n"), "Unable to create texture.");
    release_interface();
    // An unclosed quote runs the name to the end of the value.
    std::string unclosed = base_ini;
    unclosed.replace(unclosed.find("14=\"wood.png\""), 13, "14=\"wood.png");
    EXPECT_RAISES(load(unclosed), "Unable to create texture.");
    release_interface();
    std::string cursor = base_ini;
    cursor.replace(cursor.find("hand=\"arrow.png\""), 16, "hand=\"nohand.png\"");
    EXPECT_RAISES(load(cursor), "Unable to create cursor texture.");
    release_interface();
    // Absurd numbers load as they are; the widgets keep them harmless.
    std::string absurd = base_ini;
    absurd.replace(absurd.find("sl=4"), 4, "sl=-3\n24=\"\" -5 99999999 255 255 255 255");
    load(absurd);
    EXPECT_EQ(g_gui_settings.frame_sizes[2][4].cx, -5);
    c_button b(&g_gui_settings, 0, 0, 100, 50, "x", 0, nullptr, MODE_ACTIVE, FRAME_ALL);
    frame(b, 10, 10, true);
    b.draw();
    gfx.flush();
    RECT c;
    b.get_content_rect(c);
    EXPECT_LE(c.left, c.right);
}

TEST_F(Interface, TheExitAndOptionsBackgroundsBecomeTexturesWhenFirstDrawn) {
    // A picture whose header is sound but whose data stops halfway.
    std::string whole = read_file(dir.file("wood.png"));
    write_file(dir.file("cut.png"), whole.substr(0, whole.size() / 2));
    load(std::string(base_ini) + "[misc]\nmainmenu_background=arrow.png\nexitscreen_background=wood.png\n"
                                 "options_background=cut.png\n");
    EXPECT_NE(g_mainmenu_background->get_texture(), nullptr);
    EXPECT_EQ(g_exitscreen_background->get_texture(), nullptr);
    EXPECT_EQ(g_options_background->get_texture(), nullptr);
    cwd_guard in(dir.path());
    c_picture exit_screen(&g_gui_settings, g_exitscreen_background);
    dev.clear_log();
    exit_screen.draw();
    EXPECT_NE(g_exitscreen_background->get_texture(), nullptr);
    EXPECT_EQ(dev.count("SetTexture"), 1);
    // The broken one is reported when its screen opens, and again should it be drawn again.
    c_picture options(&g_gui_settings, g_options_background);
    EXPECT_RAISES(options.draw(), "Unable to create texture.");
    EXPECT_RAISES(options.draw(), "Unable to create texture.");
    EXPECT_EQ(g_options_background->get_texture(), nullptr);
    // A picture the menu needs at once that names the same file is the same image, textured.
    load(std::string(base_ini) + "[misc]\nexitscreen_background=wood.png\nlogo=wood.png\n");
    EXPECT_EQ(g_logo, g_exitscreen_background);
    EXPECT_NE(g_logo->get_texture(), nullptr);
    // A file that is missing or no picture at all is reported by the load, as every other one.
    for (const char* file : {"missing.png", "interface.ini"}) {
        SCOPED_TRACE(file);
        EXPECT_RAISES(load(std::string(base_ini) + "[misc]\noptions_background=" + file + "\n"),
                      "Unable to create texture.");
    }
}

TEST_F(Interface, TheLogoAndTheOptionsBackgroundAreLetGoOfWhileTheyCannotShow) {
    const std::string ini =
        std::string(base_ini) +
        "[misc]\nexitscreen_background=wood.png\nlogo=wood.png\noptions_background=arrow.png\n";
    load(ini);
    c_image* exit_image = g_exitscreen_background;
    ASSERT_EQ(g_logo, exit_image);
    const int shared = exit_image->refcount;
    release_logo();
    EXPECT_EQ(g_logo, nullptr);
    EXPECT_EQ(exit_image->refcount, shared - 1); // the exit screen keeps the picture
    EXPECT_NE(exit_image->get_texture(), nullptr);
    release_logo(); // twice is harmless
    // A later load (a change of display) leaves the logo out; a load after a release is a new start.
    load(ini);
    EXPECT_EQ(g_logo, nullptr);
    EXPECT_NE(g_exitscreen_background, nullptr);
    release_interface();
    load(ini);
    EXPECT_NE(g_logo, nullptr);

    // The options' background goes while a battle is on and comes back when drawn again.
    cwd_guard in(dir.path());
    c_picture options(&g_gui_settings, g_options_background);
    options.draw();
    gfx.flush();
    ASSERT_NE(g_options_background->get_texture(), nullptr);
    const int live = dev.live_resources();
    rest_menu_pictures();
    EXPECT_EQ(g_options_background->get_texture(), nullptr);
    EXPECT_EQ(dev.live_resources(), live - 1);
    prefetch_menu_pictures();
    options.draw();
    gfx.flush();
    EXPECT_NE(g_options_background->get_texture(), nullptr);
    EXPECT_EQ(dev.live_resources(), live);
}

TEST_F(Interface, AQuotedNameWithoutNumbersAndAPlainNameAreBothFileNames) {
    // The profile reader drops quotes around a whole value: "arrow.png" alone reads as arrow.png.
    std::string ini = base_ini;
    ini.replace(ini.find("[cursors]\n"), 10, "[cursors]\nselect=\"arrow.png\"\ntarget=arrow.png 16 16 8 8\n");
    load(ini);
    EXPECT_NE(g_cursors->get_record(10).texture, nullptr);
    EXPECT_NE(g_cursors->get_record(24).texture, nullptr);
    EXPECT_EQ(g_cursors->get_record(24).hot_x, 16);
    EXPECT_EQ(g_cursors->get_record(24).width, 8);
}

} // namespace
