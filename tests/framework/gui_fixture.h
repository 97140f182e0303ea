// Widget trees over the recording device, driven by scripted mouse and keyboard: a look with
// known sizes, a font whose characters are all 8 x 14 pixels, and one frame of input at a time.
#pragma once
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "framework/gui/gui.h"
#include "tests/fakes/fixed_gdi.h"
#include "tests/fakes/recording_device.h"

// The clock of repeat timers, set by the test.
inline DWORD g_test_clock_now = 0;
inline DWORD test_clock() {
    return g_test_clock_now;
}

class GuiFixture : public ::testing::Test {
  protected:
    GuiFixture() : gfx(&dev, 2.0e-5f), font(&gfx, nullptr, &gdi) {
        s.gfx = &gfx;
        s.screen_width = 800;
        s.screen_height = 600;
        s.repeat_interval_init = 400;
        s.repeat_interval_norm = 80;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 9; ++j) {
                s.frame_colours[i][j] = 0xFF000000u | static_cast<D3DCOLOR>(i * 16 + j);
                s.frame_sizes[i][j] = SIZE{4, 4};
            }
            s.text_fonts[i] = &font;
            s.text_colours[i] = 0xFFFFFFF0u | static_cast<D3DCOLOR>(i);
            s.text_flags[i] = TEXT_CENTER | TEXT_VCENTER | TEXT_WRAP;
            s.checkbox_checked_colours[i] = 0xFF00FF00u | static_cast<D3DCOLOR>(i);
            s.checkbox_unchecked_colours[i] = 0xFFFF0000u | static_cast<D3DCOLOR>(i);
        }
        s.border_left = s.border_right = s.border_top = s.border_bottom = 4;
        s.vscroll_bigchange = 30;
        s.listbox_vscroll_width = 20;
        s.listitem_height = 20;
        s.listdropper_bdown_width = 24;
        std::memset(keys, 0, sizeof keys);
        old_clock_ = g_gui_clock;
        g_gui_clock = test_clock;
        g_test_clock_now = 1000;
    }
    ~GuiFixture() override { g_gui_clock = old_clock_; }

    // One frame of input: the mouse at (x, y) with the left button down or up.
    void frame(c_widget& root, int x, int y, bool down) {
        mouse_x = x;
        mouse_y = y;
        left = down ? 0x80 : 0;
        root.update(x, y, &left, keys);
    }
    void frame(c_widget& root) { root.update(mouse_x, mouse_y, &left, keys); }
    // Move, press, release at one point: a click.
    void click(c_widget& root, int x, int y) {
        frame(root, x, y, false);
        frame(root, x, y, true);
        frame(root, x, y, false);
    }
    void key(int code, bool down) { keys[code] = down ? 0x80 : 0; }
    void tap(c_widget& root, int code) {
        key(code, true);
        frame(root);
        key(code, false);
        frame(root);
    }

    recording_device dev;
    c_gfx gfx;
    fixed_gdi gdi;
    c_font font;
    c_gui_settings s;
    BYTE keys[256];
    BYTE left = 0;
    int mouse_x = 0, mouse_y = 0;

  private:
    DWORD (*old_clock_)() = nullptr;
};
