// Text layout of arbitrary bytes with the game font (the face and size of DATA/interface.ini,
// painted by the real GDI layer onto the recording device). The first byte picks one of the
// rectangles, flags and scales the screens use; the rest is the text. Every layout must draw
// without a raise, hold no more quads than the text can give, and, when wrapping in a
// rectangle wide enough for any character, keep every line inside the rectangle.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "framework/font.h"
#include "framework/ini.h"
#include "tests/fakes/recording_device.h"
#include "tests/fuzz/fuzz_util.h"

namespace {

struct layout {
    RECT rect;
    float scale_x, scale_y;
    int flags;
};

// Button labels, battle buttons, check boxes, the credits, names over the map, and a few
// deliberately hostile ones (empty, inverted, huge scale).
const layout k_layouts[] = {
    {{340, 200, 460, 230}, 1.0f, 1.0f, 0x25}, {{0, 560, 120, 600}, 1.0f, 1.0f, 0x29},
    {{680, 560, 800, 600}, 1.0f, 1.0f, 0x05}, {{100, 100, 300, 120}, 1.0f, 1.0f, 0x24},
    {{0, 0, 1024, 768}, 2.0f, 2.0f, 0x25},    {{50, 50, 250, 90}, 0.5f, 1.5f, 0x3A},
    {{10, 10, 10, 10}, 1.0f, 1.0f, 0x3F},     {{300, 300, 100, 100}, 1.0f, 1.0f, 0x25},
    {{0, 0, 64, 32}, 40.0f, 0.1f, 0x21},      {{-5000, -5000, 5000, 5000}, 1.0f, 1.0f, 0x06},
};

c_font& game_font(c_gfx* gfx) {
    static c_font* font = [gfx] {
        std::filesystem::path old = std::filesystem::current_path();
        std::filesystem::current_path(std::string(HV_SOURCE_DIR) + "/DATA");
        c_ini interface_ini("interface.ini");
        std::filesystem::current_path(old);
        HFONT handle = CreateFontA(interface_ini.get_int("misc", "font_size"), 10, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                   0, 0, interface_ini.get_raw("misc", "font_name").c_str());
        if (!handle) fuzz_fail("the game font cannot be made");
        return new c_font(gfx, handle);
    }();
    return *font;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static recording_device* dev = [] {
        auto* d = new recording_device();
        d->keep_log = false;
        return d;
    }();
    static c_gfx* gfx = new c_gfx(dev, 2.0e-5f);
    c_font& font = game_font(gfx);
    if (size == 0) return 0;
    const layout& l = k_layouts[data[0] % (sizeof k_layouts / sizeof k_layouts[0])];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    try {
        c_text t(gfx, &font, text, l.rect.left, l.rect.top, l.rect.right, l.rect.bottom, 0.5f, 0xFFFFFFFF,
                 data[0] & 0x80 ? 0x80000000u : 0u, l.scale_x, l.scale_y, l.flags);
        FUZZ_CHECK(t.get_quad_count() <= 4 * static_cast<int>(text.size()), "more quads than the text gives");
        FUZZ_CHECK(t.get_char_rects().size() <= text.size(), "more character rectangles than characters");
        int widest = 0;
        for (int c = 0; c < 256; ++c)
            widest = std::max(widest, font.glyph_width(static_cast<unsigned char>(c)));
        const long room = static_cast<long>(l.rect.right) - l.rect.left;
        if ((l.flags & TEXT_WRAP) && room >= static_cast<long>(widest * 4 * l.scale_x) + 1)
            for (int w : t.get_line_widths())
                FUZZ_CHECK(w <= room, "a wrapped line is wider than its rectangle");
        const int draws_before = dev->count("DrawPrimitive");
        t.draw();
        FUZZ_CHECK(dev->count("DrawPrimitive") - draws_before <= 2, "more than two draw calls for a text");
    } catch (const c_err& e) {
        fuzz_fail("laying out or drawing a text raised: " + e.details);
    }
    try {
        font.draw_fast(text, 0, 0, 0.0f, 0xFFFFFFFF, data[0] & 0x40 ? 0xFF000000u : 0u, l.scale_x, l.scale_y);
    } catch (const c_err& e) {
        fuzz_fail("draw_fast raised: " + e.details);
    }
    dev->clear_log();
    return 0;
}
