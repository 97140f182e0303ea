// The credits screen (its state loop is gs_credits, game/screens/states.h): the entries of credits.ini shown
// one at a time in the middle of the screen, each fading in, holding and fading out, over three layers of
// rising stars.
#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/err.h"
#include "framework/interpolator.h"
#include "platform/d3d9.h"

class c_font;
class c_gfx;
class c_ini;
class c_text;

struct credit_entry {
    std::string text;
    D3DCOLOR color = 0;
};

// Reads the entries from section "credits" of `ini`: "num_credits" of them, each from the
// section that "credit_format" makes of its index ("text" with escapes, "color"). A count of 0
// or less, or a missing file, gives no entries; a count above max_credits is cut there, since
// only a handful of sections can really exist. An entry whose section has no text is left out
// (the sections that exist are shown); one without a colour shows in opaque white. Raises
// "Unable to load the credits: ..." when entries are asked for and the format is not exactly
// one integer conversion.
std::vector<credit_entry> load_credits(const c_ini& ini);
constexpr int max_credits = 1000;

// Display phases of the current entry, and how many update steps each lasts before the next.
enum credit_phase { CREDIT_FADE_IN = 0, CREDIT_HOLD = 1, CREDIT_FADE_OUT = 2, CREDIT_PAUSE = 3 };

struct c_star {
    c_interp_int x, y;
};

// What the credits screen shows, advanced in update steps of credits_step ms and drawn in
// between. Needs the current interpolator (c_interpolator::current) for its tracks.
class c_credits : public c_reportable {
  public:
    static constexpr int credits_step = 100;
    static constexpr int num_layers = 3;
    static constexpr int stars_per_layer = 100;
    static constexpr std::array<int, num_layers> layer_rise = {15, 10, 5};
    static constexpr std::array<D3DCOLOR, num_layers> layer_color = {0xFFFFFFFF, 0xFFC4C400, 0xFF800000};

    // Places every star at random (the program's own rand) on a width x height screen, shown
    // there at once; starts at entry 0, fading in.
    c_credits(std::vector<credit_entry> entries, int width, int height);
    ~c_credits() override;

    // One update step: the stars rise (one that has passed above -15 starts again below the
    // screen at a random column), the phase counter counts and the phases advance.
    void update();
    // Queues the stars as point sprites of the default image (never letting its batch
    // overflow) and draws the current entry's text at once in `font`.
    void draw(c_gfx* gfx, c_font* font);

    // A new screen size (after a device reset): stars that restart and the text use it.
    void resize(int width, int height);

    // The alpha the current entry is drawn with now (counter read as the interpolator shows
    // it), 0..255; -1 when no text is drawn (the pause, or no entries at all).
    int text_alpha() const;

    int get_entry() const { return entry_; }
    int get_phase() const { return phase_; }
    c_interp_float& get_counter() { return counter_; }
    const std::vector<credit_entry>& get_entries() const { return entries_; }
    std::array<std::vector<c_star>, num_layers>& get_layers() { return layers_; }

    std::string get_details() const override;

  private:
    void restart_star(c_star& star, int y);
    void next_phase(int phase);
    void draw_text(c_gfx* gfx, c_font* font);

    std::vector<credit_entry> entries_;
    int width_, height_;
    std::array<std::vector<c_star>, num_layers> layers_;
    int entry_ = 0;
    int phase_ = CREDIT_FADE_IN;
    c_interp_float counter_;
    // The entry's text as last laid out: made again only when the entry or its alpha changes.
    std::unique_ptr<c_text> text_;
    int text_entry_ = -1;
    int text_alpha_ = -1;
};
