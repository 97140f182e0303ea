// The credits screen: credits.ini, the star layers, the fading entries and the state loop.
#include "game/credits.h"

#include <algorithm>
#include <cmath>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/misc.h"
#include "game/gameplay.h"
#include "game/main.h"
#include "game/states.h"
#include "platform/crt.h"
#include "platform/dinput.h"

namespace {
// Shows a value at once instead of blending it in from the one it had.
template <typename T> void place(c_interp<T>& track, T v) {
    track.set(v);
    track.prev_value = v;
}

int positive_modulo_base(int v) {
    return v > 0 ? v : 1;
}
} // namespace

// ---- credits.ini -----------------------------------------------------------------------------

std::vector<credit_entry> load_credits(const c_ini& ini) {
    std::vector<credit_entry> entries;
    int count = std::min(ini.get_int("credits", "num_credits"), max_credits);
    if (count <= 0) return entries;
    std::string format = ini.get_raw("credits", "credit_format");
    if (!is_single_int_format(format))
        HV_RAISE("Unable to load the credits: credit_format must hold exactly one integer conversion.",
                 "load_credits", 0, &ini);
    for (int i = 0; i < count; ++i) {
        std::string section = format_string(format.c_str(), i);
        if (ini.get_raw(section, "text").empty()) continue;
        credit_entry e;
        e.text = ini.get_string(section, "text");
        e.color = ini.get_raw(section, "color").empty() ? 0xFFFFFFFFu : ini.get_color(section, "color");
        entries.push_back(std::move(e));
    }
    return entries;
}

// ---- the show --------------------------------------------------------------------------------

c_credits::c_credits(std::vector<credit_entry> entries, int width, int height)
    : entries_(std::move(entries)), width_(positive_modulo_base(width)),
      height_(positive_modulo_base(height)) {
    for (auto& layer : layers_) {
        layer.resize(stars_per_layer);
        for (c_star& s : layer) {
            place(s.x, crt::rand() % width_);
            place(s.y, crt::rand() % height_);
        }
    }
    place(counter_, 0.0f);
}

c_credits::~c_credits() = default;

void c_credits::resize(int width, int height) {
    width_ = positive_modulo_base(width);
    height_ = positive_modulo_base(height);
    text_.reset();
}

void c_credits::restart_star(c_star& star, int y) {
    place(star.x, crt::rand() % width_);
    place(star.y, y);
}

void c_credits::next_phase(int phase) {
    phase_ = phase;
    place(counter_, 0.0f);
}

void c_credits::update() {
    for (int l = 0; l < num_layers; ++l) {
        for (c_star& s : layers_[l]) {
            s.y.set(s.y.value - layer_rise[l]);
            // Strictly above -15: a star that lands exactly there rises once more first.
            if (s.y.value < -15) restart_star(s, height_ + 30);
        }
    }
    counter_.set(counter_.value + 1.0f);
    const float c = counter_.value;
    switch (phase_) {
    case CREDIT_FADE_IN:
        if (c > 10.0f) next_phase(CREDIT_HOLD);
        break;
    case CREDIT_HOLD:
        if (c > 15.0f) next_phase(CREDIT_FADE_OUT);
        break;
    case CREDIT_FADE_OUT:
        if (c > 10.0f) next_phase(CREDIT_PAUSE);
        break;
    default:
        if (c > 0.0f) {
            // With no entries there is nothing to move on to (and nothing to take a modulo by).
            if (!entries_.empty()) entry_ = (entry_ + 1) % static_cast<int>(entries_.size());
            next_phase(CREDIT_FADE_IN);
        }
        break;
    }
}

int c_credits::text_alpha() const {
    if (entries_.empty() || phase_ == CREDIT_PAUSE) return -1;
    const bool drawing = c_interpolator::current()->drawing;
    const float c = drawing ? counter_.get() : counter_.value;
    int alpha;
    switch (phase_) {
    case CREDIT_FADE_IN:
        alpha = static_cast<int>(c / 10.0f * 255.0f);
        break;
    case CREDIT_FADE_OUT:
        alpha = 255 - static_cast<int>(c / 10.0f * 255.0f);
        break;
    default:
        alpha = static_cast<int>(entries_[entry_].color >> 24);
        break;
    }
    // The counter runs one step past 10 before the phase turns, which would overflow the byte.
    return std::clamp(alpha, 0, 255);
}

void c_credits::draw_text(c_gfx* gfx, c_font* font) {
    int alpha = text_alpha();
    if (alpha < 0 || !font) return;
    if (!text_ || text_entry_ != entry_ || text_alpha_ != alpha) {
        const credit_entry& e = entries_[entry_];
        D3DCOLOR colour = (static_cast<D3DCOLOR>(alpha) << 24) | (e.color & 0x00FFFFFFu);
        text_.reset();
        text_ = std::make_unique<c_text>(gfx, font, e.text, 0, 0, width_, height_, 0.0f, colour, 0, 1.5f,
                                         1.5f, TEXT_CENTER | TEXT_VCENTER);
        text_entry_ = entry_;
        text_alpha_ = alpha;
    }
    text_->draw();
}

void c_credits::draw(c_gfx* gfx, c_font* font) {
    draw_text(gfx, font);
    c_image* image = gfx->get_default_image();
    for (int l = 0; l < num_layers; ++l) {
        for (const c_star& s : layers_[l]) {
            if (image->count_ps() >= c_image::ps_capacity) image->draw_ps_tra();
            vertex_ps v{static_cast<float>(s.x.get()),
                        static_cast<float>(s.y.get()),
                        0.0f,
                        1.0f,
                        1.0f,
                        layer_color[l]};
            image->add_pointsprite_tra(v, false);
        }
    }
}

std::string c_credits::get_details() const {
    return c_reportable::get_details() +
           format_string("CREDITS: %d entries, entry %d, phase %d, counter %.2f\n",
                         static_cast<int>(entries_.size()), entry_, phase_,
                         static_cast<double>(counter_.value));
}

// ---- the state loop --------------------------------------------------------------------------

namespace {
std::vector<credit_entry> read_credits_file() {
    c_ini ini("credits.ini");
    return load_credits(ini);
}
} // namespace

void gs_credits() {
    std::vector<credit_entry> entries = read_credits_file();
    int width = 0, height = 0;
    g_core->get_client_size(width, height);
    restart_interpolator();
    c_credits show(std::move(entries), width, height);
    int resets_seen = g_device_resets;
    while (g_game_state == GS_CREDITS) {
        check_device();
        // Also a reset under the modal exit screen: the screen may have another size now.
        if (resets_seen != g_device_resets) {
            resets_seen = g_device_resets;
            g_core->get_client_size(width, height);
            show.resize(width, height);
        }
        g_core->frame_begin(0xFF000000);
        read_frame_input();
        if (key_down(DIK_ESCAPE) || (g_mouse_buttons[0] & 0x80)) g_game_state = GS_MAINMENU;
        g_interpolator->drawing = true;
        show.draw(g_gfx, g_font);
        g_interpolator->drawing = false;
        g_gfx->flush();
        while (g_interpolator->sync(c_credits::credits_step, static_cast<int>(state_time())))
            show.update();
        if (g_frame_hook) g_frame_hook();
        g_core->frame_end();
        handle_close_request();
    }
}
