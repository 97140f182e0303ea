// List droppers (a field that opens its list below it) and the mode box (a list of the
// adapter's display modes).
#include <algorithm>
#include <memory>
#include <tuple>
#include <typeinfo>

#include "framework/gui/gui.h"
#include "framework/gui/gui_internal.h"
#include "framework/misc.h"

using namespace gui_detail;

// ---- c_listdropper ---------------------------------------------------------------------------------------

c_listdropper::c_listdropper(const c_gui_settings* settings, int left, int top, int right, int bottom,
                             c_listbox* list, int hot_key, int mode, unsigned flags)
    : c_widget(settings, left, top, right, bottom, mode, flags), hot_key_(hot_key), list_(list) {
    if (list_) {
        if (list_->dropper_) list_->dropper_->list_ = nullptr;
        list_->dropper_ = this;
        list_->set_shown(false);
    }
}

c_listdropper::~c_listdropper() {
    if (list_) {
        list_->dropper_ = nullptr;
        list_->set_shown(true);
    }
    release_labels();
}

int c_listdropper::effective_mode() const {
    if (mode_ != MODE_ACTIVE) return mode_;
    return list_ && list_->get_mode() != MODE_ACTIVE ? MODE_INACTIVE : MODE_ACTIVE;
}

void c_listdropper::set_mode(int mode) {
    c_widget::set_mode(mode);
    if (mode != MODE_ACTIVE) close();
}

void c_listdropper::open() {
    if (!list_ || open_) return;
    open_ = true;
    list_->set_shown(true);
    // The list opens over whatever was added after it.
    if (list_->get_parent()) list_->get_parent()->bring_to_front(list_);
    list_->show_selected();
}

void c_listdropper::close() {
    opened_by_press_ = false;
    if (!open_) return;
    open_ = false;
    if (list_) list_->set_shown(false);
}

bool c_listdropper::outside_both(int mouse_x, int mouse_y) const {
    return !point_in(outer_, mouse_x, mouse_y) &&
           !(list_ && point_in(list_->get_outer_rect(), mouse_x, mouse_y));
}

void c_listdropper::update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    if (needs_layout_ || (flags_ & FRAME_RELAYOUT)) layout();
    const int mode = effective_mode();
    set_widget_state(
        calc_state(mode, parent_, flags_, state_, mouse_x, mouse_y, left_button, keys, outer_, hot_key_));
    const bool down = button_down(left_button);
    const bool pressed_now = down && !button_was_down_;
    // A list with no parent of its own is run by the dropper.
    if (open_ && list_ && !list_->get_parent()) list_->update(mouse_x, mouse_y, left_button, keys);
    if (!list_ || mode != MODE_ACTIVE)
        close();
    else if (flags_ & FRAME_REPEAT)
        update_press(mouse_x, mouse_y, left_button, keys);
    else
        update_click(mouse_x, mouse_y, left_button, keys, pressed_now);
    hot_key_was_down_ = hot_key_down(keys, hot_key_);
    button_was_down_ = down;
    if (list_ &&
        (!labels_built_ || (list_->get_selected() ? list_->get_selected()->get_text() : "") != shown_text_))
        build_labels();
}

void c_listdropper::update_click(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys,
                                 bool pressed_now) {
    const bool fired = (prev_state_ == STATE_PRESSED && state_ == STATE_HOVER) ||
                       (state_ == STATE_NORMAL && hot_key_was_down_ && !key_down(keys, hot_key_));
    if (fired) {
        if (open_) {
            close();
        } else {
            open();
            list_->update(mouse_x, mouse_y, left_button, keys);
        }
        return;
    }
    if (!open_) return;
    if (list_->was_chosen()) {
        close();
        return;
    }
    if (state_ == STATE_PRESSED || list_->get_state() == STATE_PRESSED) return;
    if (pressed_now && outside_both(mouse_x, mouse_y)) close();
}

// Press to open: the list opens as the button goes down over the field (or the hot key goes
// down) and the item under the mouse is chosen as the button comes up.
void c_listdropper::update_press(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    const bool down = button_down(left_button);
    const bool hot = hot_key_down(keys, hot_key_);
    if (!open_) {
        if (state_ == STATE_PRESSED && prev_state_ != STATE_PRESSED) {
            open();
            opened_by_press_ = true;
            list_->update(mouse_x, mouse_y, left_button, keys);
        }
        return;
    }
    if (opened_by_press_) {
        if (down || hot) return;
        opened_by_press_ = false;
        const int index = list_->item_at(mouse_x, mouse_y);
        if (index >= 0) {
            list_->select(list_->item_indextoptr(index));
            close();
        } else if (!point_in(outer_, mouse_x, mouse_y)) {
            close();
        }
        return;
    }
    // Released over the field: the list stays open and works by clicks until it closes.
    if (list_->was_chosen() || (down && !button_was_down_ && outside_both(mouse_x, mouse_y)) ||
        (state_ == STATE_PRESSED && prev_state_ != STATE_PRESSED))
        close();
}

int c_listdropper::look_state() const {
    return clamp_state((flags_ & FRAME_NORMAL_LOOK) && state_ != STATE_INACTIVE ? STATE_NORMAL : state_);
}

RECT c_listdropper::get_button_rect() const {
    const LONG width =
        std::clamp<LONG>(settings_->listdropper_bdown_width, 0, content_.right - content_.left);
    return RECT{content_.right - width, content_.top, content_.right, content_.bottom};
}

void c_listdropper::build_labels() {
    release_labels();
    c_listitem* selected = list_ ? list_->get_selected() : nullptr;
    shown_text_ = selected ? selected->get_text() : std::string();
    RECT field = content_;
    field.right = get_button_rect().left;
    for (int s = 0; s < 4; ++s)
        labels_[s] = make_label(*settings_, shown_text_, field, s);
    labels_built_ = true;
}

void c_listdropper::release_labels() {
    for (c_text*& label : labels_) {
        delete label;
        label = nullptr;
    }
    labels_built_ = false;
}

const c_text* c_listdropper::get_label(int state) const {
    return labels_[clamp_state(state)];
}

void c_listdropper::layout() {
    layout_frame();
    build_labels();
    needs_layout_ = false;
}

// A list without a parent is drawn by the dropper itself, over everything it has drawn.
bool c_listdropper::can_split() const {
    return typeid(*this) == typeid(c_listdropper) && !(open_ && list_ && !list_->get_parent());
}

void c_listdropper::draw() {
    draw_back();
    flush(*settings_);
    draw_front();
    if (open_ && list_ && !list_->get_parent()) list_->draw();
}

void c_listdropper::draw_back() {
    if (needs_layout_) layout();
    const int mode = effective_mode();
    // Before the first update the state has not been worked out: an inactive field looks it.
    const int state = mode == MODE_INACTIVE ? STATE_INACTIVE : state_;
    if (!draw_frame(*settings_, mode, state, flags_, outer_, content_)) return;
    const int look = mode == MODE_INACTIVE ? STATE_INACTIVE : look_state();
    if (open_)
        quad(*settings_, get_button_rect(), settings_->listdropper_bup_images[look],
             settings_->listdropper_bup_colours[look]);
    else
        quad(*settings_, get_button_rect(), settings_->listdropper_bdown_images[look],
             settings_->listdropper_bdown_colours[look]);
}

void c_listdropper::draw_front() {
    const int mode = effective_mode();
    if (mode == MODE_HIDDEN) return;
    if (list_ && (list_->get_selected() ? list_->get_selected()->get_text() : "") != shown_text_)
        build_labels();
    const int look = mode == MODE_INACTIVE ? STATE_INACTIVE : look_state();
    draw_label(*settings_, labels_[look], outer_);
}

// ---- c_modebox --------------------------------------------------------------------------------------------

int mode_bits_per_pixel(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_R8G8B8:
        return 24;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        return 32;
    case D3DFMT_R5G6B5:
        return 16;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 15;
    case D3DFMT_R3G3B2:
        return 8;
    case D3DFMT_A2R10G10B10:
        return 33;
    case D3DFMT_A16B16G16R16:
        return 64;
    default:
        return 0;
    }
}

c_modebox::c_modebox(const c_gui_settings* settings, int left, int top, int right, int bottom, int hot_key_up,
                     int hot_key_down, unsigned flags, unsigned vscroll_flags, const settings_record& display,
                     IDirect3D9* d3d)
    : c_listbox(settings, left, top, right, bottom, hot_key_up, hot_key_down, flags, vscroll_flags) {
    static const char* fn = "c_modebox::c_modebox";
    static const D3DFORMAT formats[] = {D3DFMT_R3G3B2,      D3DFMT_X1R5G5B5, D3DFMT_R5G6B5,
                                        D3DFMT_R8G8B8,      D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10,
                                        D3DFMT_A16B16G16R16};
    if (!d3d) d3d = g_d3d;
    if (!d3d) HV_RAISE("Unable to enumerate the display mode.", fn, D3DERR_INVALIDCALL, this);
    std::vector<D3DDISPLAYMODE> modes;
    for (D3DFORMAT format : formats) {
        const UINT count = d3d->GetAdapterModeCount(display.adapter, format);
        for (UINT i = 0; i < count; ++i) {
            D3DDISPLAYMODE mode{};
            HRESULT hr = d3d->EnumAdapterModes(display.adapter, format, i, &mode);
            if (FAILED(hr)) HV_RAISE("Unable to enumerate the display mode.", fn, hr, this);
            modes.push_back(mode);
        }
    }
    auto key = [](const D3DDISPLAYMODE& m) {
        return std::make_tuple(m.Width, m.Height, mode_bits_per_pixel(m.Format), m.RefreshRate);
    };
    std::stable_sort(modes.begin(), modes.end(),
                     [&](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return key(a) < key(b); });
    for (const D3DDISPLAYMODE& m : modes) {
        auto item = std::make_unique<c_modeitem>(
            format_string("%d x %d x %d (%d hertz)", static_cast<int>(m.Width), static_cast<int>(m.Height),
                          mode_bits_per_pixel(m.Format), static_cast<int>(m.RefreshRate)),
            m);
        mode_items_.push_back(item.get());
        add_item(item.release());
    }
}

c_modebox::~c_modebox() {
    for (c_modeitem* item : mode_items_)
        delete item;
}

void c_modebox::get_selected_mode(D3DDISPLAYMODE& out) const {
    out = D3DDISPLAYMODE{};
    c_listitem* selected = get_selected();
    for (c_modeitem* item : mode_items_)
        if (item == selected) out = item->mode;
}

void c_modebox::select_mode(const D3DDISPLAYMODE& mode) {
    for (c_modeitem* item : mode_items_) {
        const D3DDISPLAYMODE& m = item->mode;
        if (m.Width == mode.Width && m.Height == mode.Height && m.RefreshRate == mode.RefreshRate &&
            m.Format == mode.Format) {
            select(item);
            return;
        }
    }
}
