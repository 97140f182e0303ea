// Check boxes: buttons that keep a checked flag and show it in a box left of their label.
#include <algorithm>
#include <typeinfo>

#include "framework/gui/gui.h"
#include "framework/gui/gui_internal.h"

using namespace gui_detail;

c_checkbox::c_checkbox(const c_gui_settings* settings, int left, int top, int right, int bottom,
                       const std::string& label, int hot_key, bool checked, int mode, unsigned flags)
    : c_button(settings, left, top, right, bottom, label, hot_key, nullptr, mode, flags), checked_(checked) {}

c_checkbox::~c_checkbox() = default;

// A check box only toggles: its owner reads the flag when it applies its settings.
void c_checkbox::click() {
    checked_ = !checked_;
}

// The square for the box is taken from the content before the label is laid out, so the label
// starts after the box instead of under it.
void c_checkbox::layout() {
    layout_frame();
    const LONG side = std::max<LONG>(0, content_.bottom - content_.top);
    content_.left = std::min(content_.left + side, content_.right);
    build_labels();
    if (flags_ & FRAME_FIT) {
        fit_to_label();
        outer_.left -= content_.bottom - content_.top;
    }
    needs_layout_ = false;
}

RECT c_checkbox::get_box_rect() const {
    const LONG side = content_.bottom - content_.top;
    return RECT{content_.left - side, content_.top, content_.left, content_.bottom};
}

bool c_checkbox::can_split() const {
    return typeid(*this) == typeid(c_checkbox);
}

// The box lies beside the label, so it goes with the frame under it.
void c_checkbox::draw_back() {
    if (needs_layout_) layout();
    if (mode_ == MODE_HIDDEN) return;
    const int look = look_state();
    draw_frame(*settings_, mode_, state_, flags_, outer_, content_);
    if (checked_)
        quad(*settings_, get_box_rect(), settings_->checkbox_checked_images[look],
             settings_->checkbox_checked_colours[look]);
    else
        quad(*settings_, get_box_rect(), settings_->checkbox_unchecked_images[look],
             settings_->checkbox_unchecked_colours[look]);
}
