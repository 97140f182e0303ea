// List items, list boxes and their vertical scroll bar.
//
// Index: c_listitem; c_listbox (layout, selection, update, draw); c_vscroll.
#include <algorithm>

#include "framework/gui/gui.h"
#include "framework/gui/gui_internal.h"

using namespace gui_detail;

namespace {
// A list item height below 1 would divide by zero; the loader refuses it, code-made settings
// are kept safe here.
int item_height(const c_gui_settings& settings) {
    return std::max(1, settings.listitem_height);
}

// The scroll bar's arrows: buttons that show a picture per state instead of a frame and label.
class c_vscroll_button : public c_button {
  public:
    c_vscroll_button(const c_gui_settings* settings, c_image* const* images, const D3DCOLOR* colours)
        : c_button(settings, 0, 0, 0, 0, "", 0, nullptr, MODE_ACTIVE, FRAME_PIXELS | FRAME_REPEAT),
          images_(images), colours_(colours) {}

    void draw() override {
        if (needs_layout_) layout();
        if (mode_ == MODE_HIDDEN) return;
        const int look = look_state();
        quad(*settings_, outer_, images_[look], colours_[look]);
    }

  private:
    c_image* const* images_;
    const D3DCOLOR* colours_;
};
} // namespace

// ---- c_listitem ------------------------------------------------------------------------------------------

c_listitem::c_listitem(const std::string& label) : label_(label) {}

c_listitem::~c_listitem() {
    if (list_) list_->remove_item(this);
    release_labels();
}

void c_listitem::set_state(int state) {
    prev_state_ = state_;
    state_ = clamp_state(state);
    // Released over the item: a click chooses it.
    if (prev_state_ == STATE_PRESSED && state_ == STATE_HOVER && list_) list_->select(this);
}

void c_listitem::layout(const RECT& rect) {
    outer_ = rect;
    if (list_)
        content_ = inset_rect(*list_->get_settings(), rect, FRAME_EDGES);
    else
        content_ = rect;
}

void c_listitem::set_list(c_listbox* list) {
    list_ = list;
    release_labels();
}

bool c_listitem::is_selected() const {
    return list_ && list_->get_selected() == this;
}

const c_text* c_listitem::get_label(int state) const {
    return labels_[clamp_state(state)];
}

void c_listitem::release_labels() {
    for (int s = 0; s < 4; ++s) {
        delete labels_[s];
        labels_[s] = nullptr;
        label_rects_[s] = RECT{};
    }
}

// An inactive list looks it from the start, before its first update has worked out its state.
int c_listitem::look_state() const {
    if (list_->get_state() == STATE_INACTIVE || list_->get_mode() == MODE_INACTIVE) return STATE_INACTIVE;
    return is_selected() ? STATE_PRESSED : state_;
}

void c_listitem::draw() {
    draw_frame_part();
    draw_label_part();
}

void c_listitem::draw_frame_part() {
    if (list_) draw_frame(*list_->get_settings(), MODE_ACTIVE, look_state(), FRAME_ALL, outer_, content_);
}

// Labels are built when first drawn in a place, so scrolling a long list lays out only the
// rows that are seen.
void c_listitem::draw_label_part() {
    if (!list_) return;
    const c_gui_settings& settings = *list_->get_settings();
    const int look = look_state();
    const RECT& placed = label_rects_[look];
    if (!labels_[look] || placed.left != content_.left || placed.top != content_.top ||
        placed.right != content_.right || placed.bottom != content_.bottom) {
        delete labels_[look];
        labels_[look] = make_label(settings, label_, content_, look);
        label_rects_[look] = content_;
    }
    draw_label(settings, labels_[look], outer_);
}

// ---- c_listbox: items and selection -------------------------------------------------------------------

c_listbox::c_listbox(const c_gui_settings* settings, int left, int top, int right, int bottom, int hot_key_up,
                     int hot_key_down, unsigned flags, unsigned vscroll_flags, int mode)
    : c_widget(settings, left, top, right, bottom, mode, flags), hot_key_up_(hot_key_up),
      hot_key_down_(hot_key_down), vscroll_(new c_vscroll(settings, vscroll_flags, this)) {
    add_child(vscroll_);
    vscroll_->set_mode(mode);
}

c_listbox::~c_listbox() {
    if (dropper_) dropper_->list_ = nullptr;
    for (c_listitem* item : items_)
        item->set_list(nullptr);
    items_.clear();
    delete vscroll_;
}

void c_listbox::add_item(c_listitem* item) {
    if (!item || std::find(items_.begin(), items_.end(), item) != items_.end()) return;
    if (item->get_list()) item->get_list()->remove_item(item);
    items_.push_back(item);
    item->set_list(this);
    if (items_.size() == 1 && selected_ < 0) selected_ = 0;
    needs_layout_ = true;
}

void c_listbox::remove_item(c_listitem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    const int index = static_cast<int>(it - items_.begin());
    items_.erase(it);
    item->set_list(nullptr);
    if (selected_ == index)
        selected_ = -1;
    else if (selected_ > index)
        --selected_;
    hovered_ = prev_hovered_ = -1;
    needs_layout_ = true;
}

c_listitem* c_listbox::item_indextoptr(int index) const {
    if (index < 0 || index >= item_count())
        HV_RAISE("Index out of bounds.", "c_listbox::item_indextoptr", 0, this);
    return items_[static_cast<size_t>(index)];
}

void c_listbox::select(c_listitem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    selected_ = it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
    if (selected_ >= 0) chosen_ = true;
}

c_listitem* c_listbox::get_selected() const {
    return selected_ >= 0 && selected_ < item_count() ? items_[static_cast<size_t>(selected_)] : nullptr;
}

int c_listbox::get_scroll_position() const {
    return vscroll_->get_position();
}

// An empty list has nothing to select or show: the selection stays -1.
void c_listbox::show_selected() {
    if (items_.empty()) {
        selected_ = -1;
        return;
    }
    if (needs_layout_) layout();
    selected_ = std::clamp(selected_, 0, item_count() - 1);
    const int h = item_height(*settings_);
    const int area = item_area_.bottom - item_area_.top;
    const int pos = vscroll_->get_position();
    if (selected_ * h < pos)
        vscroll_->set_position(selected_ * h);
    else if ((selected_ + 1) * h > pos + area)
        vscroll_->set_position((selected_ + 1) * h - area);
    if (vscroll_->get_position() != pos) layout();
}

void c_listbox::step_selection(int delta) {
    if (items_.empty()) return;
    selected_ += delta;
    show_selected();
}

int c_listbox::item_at(int x, int y) const {
    if (items_.empty() || !point_in(item_area_, x, y)) return -1;
    const int index = (y - item_area_.top + vscroll_->get_position()) / item_height(*settings_);
    return index >= 0 && index < item_count() ? index : -1;
}

void c_listbox::set_mode(int mode) {
    c_widget::set_mode(mode);
    vscroll_->set_mode(mode);
}

void c_listbox::set_shown(bool shown) {
    if (shown == shown_) return;
    shown_ = shown;
    // A list that comes back starts from rest: no press or hover carried over from before.
    state_ = prev_state_ = STATE_NORMAL;
    if (hovered_ >= 0 && hovered_ < item_count())
        items_[static_cast<size_t>(hovered_)]->set_state(STATE_NORMAL);
    hovered_ = prev_hovered_ = -1;
    chosen_ = false;
    needs_layout_ = true;
}

// ---- c_listbox: layout --------------------------------------------------------------------------------

void c_listbox::layout() {
    layout_frame();
    const int h = item_height(*settings_);
    const int total = item_count() * h;
    const int content_height = content_.bottom - content_.top;
    if (total <= content_height) {
        item_area_ = RECT{content_.left, content_.top, content_.right, content_.top + total};
        vscroll_shown_ = false;
    } else {
        const LONG strip =
            std::clamp<LONG>(settings_->listbox_vscroll_width, 0, content_.right - content_.left);
        item_area_ = RECT{content_.left, content_.top, content_.right - strip, content_.bottom};
        vscroll_shown_ = true;
        vscroll_->place(RECT{content_.right - strip, content_.top, content_.right, content_.bottom});
    }
    vscroll_->set_range(total, item_area_.bottom - item_area_.top);
    if (flags_ & FRAME_FIT) {
        content_.bottom = item_area_.bottom;
        outer_.bottom =
            content_.bottom + ((flags_ & FRAME_BOTTOM) ? std::max(0, settings_->border_bottom) : 0);
    }
    const int pos = vscroll_->get_position();
    for (int i = 0; i < item_count(); ++i) {
        const LONG top = item_area_.top + i * h - pos;
        items_[static_cast<size_t>(i)]->layout(RECT{item_area_.left, top, item_area_.right, top + h});
    }
    last_scroll_ = pos;
    needs_layout_ = false;
}

// ---- c_listbox: update and draw -----------------------------------------------------------------------

void c_listbox::update_keys(const BYTE* keys) {
    const bool up = hot_key_down(keys, hot_key_up_);
    const bool down = hot_key_down(keys, hot_key_down_);
    if (!(flags_ & FRAME_REPEAT)) {
        if (up && !up_was_down_) step_selection(-1);
        if (down && !down_was_down_) step_selection(1);
    } else if (up || down) {
        if (timer_.tick(settings_->repeat_interval_init, settings_->repeat_interval_norm))
            step_selection(up ? -1 : 1);
    } else {
        timer_.reset();
    }
    up_was_down_ = up;
    down_was_down_ = down;
}

void c_listbox::update_mouse(int mouse_x, int mouse_y, const BYTE* left_button) {
    int hovered = -1;
    if ((state_ == STATE_HOVER || state_ == STATE_PRESSED) && !taken_) hovered = item_at(mouse_x, mouse_y);
    prev_hovered_ = hovered_;
    hovered_ = hovered;
    if (prev_hovered_ != hovered_ && prev_hovered_ >= 0 && prev_hovered_ < item_count())
        items_[static_cast<size_t>(prev_hovered_)]->set_state(STATE_NORMAL);
    if (hovered_ >= 0) {
        claim();
        items_[static_cast<size_t>(hovered_)]->set_state(button_down(left_button) ? STATE_PRESSED
                                                                                  : STATE_HOVER);
    }
}

void c_listbox::update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    chosen_ = false;
    if (!shown_) return;
    if (needs_layout_ || (flags_ & FRAME_RELAYOUT)) layout();
    set_widget_state(
        calc_state(mode_, parent_, flags_, state_, mouse_x, mouse_y, left_button, keys, outer_, 0));
    if (mode_ == MODE_ACTIVE) update_keys(keys);
    taken_ = 0;
    if (vscroll_shown_) {
        update_children(mouse_x, mouse_y, left_button, keys);
        if (vscroll_->get_position() != last_scroll_) layout();
    }
    update_mouse(mouse_x, mouse_y, left_button);
}

void c_listbox::draw() {
    if (!shown_) return;
    if (needs_layout_) layout();
    if (!draw_frame(*settings_, mode_, state_, flags_, outer_, content_)) return;
    c_gfx* gfx = settings_->gfx;
    if (!gfx) return;
    gfx->flush();
    if (!empty_rect(item_area_) &&
        gfx->clip(item_area_.left, item_area_.top, item_area_.right, item_area_.bottom)) {
        auto visible = [this](const c_listitem* item) {
            const RECT& r = item->get_rect();
            return r.bottom > item_area_.top && r.top < item_area_.bottom;
        };
        for (c_listitem* item : items_)
            if (visible(item)) item->draw_frame_part();
        for (c_listitem* item : items_)
            if (visible(item)) item->draw_label_part();
        gfx->flush();
        gfx->unclip();
    }
    if (vscroll_shown_) vscroll_->draw();
}

// ---- c_vscroll
// ----------------------------------------------------------------------------------------------

c_vscroll::c_vscroll(const c_gui_settings* settings, unsigned flags, c_listbox* owner)
    : c_widget(settings, 0, 0, 0, 0, MODE_ACTIVE, flags), owner_(owner),
      up_(new c_vscroll_button(settings, settings->vscroll_up_images, settings->vscroll_up_colours)),
      down_(new c_vscroll_button(settings, settings->vscroll_down_images, settings->vscroll_down_colours)) {
    add_child(up_);
    add_child(down_);
}

c_vscroll::~c_vscroll() {
    delete up_;
    delete down_;
}

void c_vscroll::set_mode(int mode) {
    c_widget::set_mode(mode);
    up_->set_mode(mode);
    down_->set_mode(mode);
}

void c_vscroll::place(const RECT& rect) {
    outer_ = rect;
    layout();
}

// The arrows are squares at both ends (halves of a bar shorter than two squares); the track
// between them holds the paddle.
void c_vscroll::layout() {
    content_ = inset_rect(*settings_, outer_, flags_);
    const int w = content_.right - content_.left;
    const int h = content_.bottom - content_.top;
    const int side = std::max(0, std::min(w, h / 2));
    up_->set_rect(0, 0, w, side);
    down_->set_rect(0, h - side, w, h);
    up_->layout();
    down_->layout();
    needs_layout_ = false;
    place_paddle();
}

void c_vscroll::set_range(int range, int page) {
    range_ = std::max(0, range);
    page_ = std::max(0, page);
    clamp_position();
    place_paddle();
}

void c_vscroll::set_position(int position) {
    position_ = position;
    clamp_position();
    place_paddle();
}

// The last page ends at the last pixel of the content: a position past range - page would show
// rows beyond the last item.
int c_vscroll::max_position() const {
    return page_ > 0 ? std::max(0, range_ - page_) : std::max(0, range_ - 1);
}

void c_vscroll::clamp_position() {
    position_ = std::clamp(position_, 0, max_position());
}

void c_vscroll::place_paddle() {
    const RECT up = up_->get_outer_rect(), down = down_->get_outer_rect();
    const LONG track_top = up.bottom, track_bottom = std::max(up.bottom, down.top);
    const int track = track_bottom - track_top;
    int height = track;
    if (range_ > 0 && page_ > 0 && page_ < range_) {
        const int width = content_.right - content_.left;
        height = std::clamp(static_cast<int>(static_cast<long long>(track) * page_ / range_),
                            std::min(width, track), track);
    }
    const int max_pos = max_position();
    const int top =
        max_pos > 0 ? static_cast<int>(static_cast<long long>(track - height) * position_ / max_pos) : 0;
    paddle_ = RECT{content_.left, track_top + top, content_.right, track_top + top + height};
}

void c_vscroll::update_paddle(int mouse_x, int mouse_y, const BYTE* left_button) {
    const bool down = button_down(left_button);
    const bool pressed_now = down && !button_was_down_;
    button_was_down_ = down;
    if (state_ == STATE_INACTIVE) {
        paddle_state_ = STATE_INACTIVE;
        return;
    }
    if (paddle_state_ == STATE_PRESSED && down) {
        const RECT up = up_->get_outer_rect(), dn = down_->get_outer_rect();
        const int free = (dn.top - up.bottom) - (paddle_.bottom - paddle_.top);
        if (free > 0)
            position_ = static_cast<int>(static_cast<long long>(mouse_y - drag_offset_ - up.bottom) *
                                         max_position() / free);
        return;
    }
    const bool over =
        !taken_ && (state_ == STATE_HOVER || state_ == STATE_PRESSED) && point_in(paddle_, mouse_x, mouse_y);
    if (over && pressed_now && state_ == STATE_PRESSED) {
        paddle_state_ = STATE_PRESSED;
        drag_offset_ = mouse_y - paddle_.top;
        return;
    }
    paddle_state_ = over ? STATE_HOVER : STATE_NORMAL;
    // A press on the track beside the paddle turns a page.
    if (!over && !taken_ && pressed_now && state_ == STATE_PRESSED && point_in(content_, mouse_x, mouse_y)) {
        const int page = std::max(1, page_);
        position_ += mouse_y < paddle_.top ? -page : page;
    }
}

void c_vscroll::update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    if (needs_layout_ || (flags_ & FRAME_RELAYOUT)) layout();
    set_widget_state(
        calc_state(mode_, parent_, flags_, state_, mouse_x, mouse_y, left_button, keys, outer_, 0));
    const int before = position_;
    update_children(mouse_x, mouse_y, left_button, keys);
    const int step = (flags_ & FRAME_BIG_CHANGE) ? settings_->vscroll_bigchange : 1;
    if (up_->was_clicked()) position_ -= step;
    if (down_->was_clicked()) position_ += step;
    update_paddle(mouse_x, mouse_y, left_button);
    clamp_position();
    if (position_ != before) {
        place_paddle();
        if (owner_) owner_->invalidate_layout();
    }
}

void c_vscroll::draw() {
    if (needs_layout_) layout();
    if (!draw_frame(*settings_, mode_, state_, flags_, outer_, content_)) return;
    up_->draw();
    down_->draw();
    const int look = clamp_state(paddle_state_);
    quad(*settings_, paddle_, settings_->vscroll_paddle_images[look],
         settings_->vscroll_paddle_colours[look]);
    flush(*settings_);
}
