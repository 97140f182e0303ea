// The widget model: states, hit testing, layout, nine-piece frames; panels, pictures, buttons.
//
// Index: shared drawing helpers; c_widget; c_container; calc_state / layout_rect / draw_frame;
// c_panel; c_picture; c_repeat_timer; c_button.
#include "framework/gui/gui.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "framework/gui/gui_internal.h"
#include "framework/misc.h"

using namespace gui_detail;

DWORD (*g_gui_clock)() = GetTickCount;

// ---- shared drawing helpers ------------------------------------------------------------------------

namespace gui_detail {

void flush(const c_gui_settings& settings) {
    if (settings.gfx) settings.gfx->flush();
}

void quad(const c_gui_settings& settings, const RECT& rect, c_image* image, D3DCOLOR colour) {
    if (!settings.gfx || empty_rect(rect)) return;
    settings.gfx->add_quad_tra(rect.left, rect.top, rect.right, rect.bottom, 0.0f, 0.0f, image, 0.0f, 1.0f,
                               0.0f, 1.0f, colour);
}

c_text* make_label(const c_gui_settings& settings, const std::string& text, const RECT& rect, int state) {
    state = clamp_state(state);
    c_font* font = settings.text_fonts[state];
    if (!settings.gfx || !font || text.empty() || empty_rect(rect)) return nullptr;
    return new c_text(settings.gfx, font, text, rect.left, rect.top, rect.right, rect.bottom, 0.0f,
                      settings.text_colours[state], settings.text_backgrounds[state],
                      settings.text_scale_x[state], settings.text_scale_y[state], settings.text_flags[state]);
}

void draw_label(const c_gui_settings& settings, c_text* label, const RECT& clip) {
    if (!label || !settings.gfx || label->get_quad_count() == 0) return;
    c_gfx* gfx = settings.gfx;
    gfx->flush();
    if (!gfx->clip(clip.left, clip.top, clip.right, clip.bottom)) return;
    label->draw();
    gfx->unclip();
}

} // namespace gui_detail

// ---- c_widget ------------------------------------------------------------------------------------------

c_widget::c_widget(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
                   unsigned flags)
    : settings_(settings), design_{left, top, right, bottom}, flags_(flags), mode_(mode) {}

c_widget::~c_widget() {
    if (parent_) parent_->remove_child(this);
}

std::string c_widget::get_details() const {
    return format_string(
        "widget design (%d, %d, %d, %d), screen (%d, %d, %d, %d), flags 0x%X, mode %d, state %d",
        static_cast<int>(design_.left), static_cast<int>(design_.top), static_cast<int>(design_.right),
        static_cast<int>(design_.bottom), static_cast<int>(outer_.left), static_cast<int>(outer_.top),
        static_cast<int>(outer_.right), static_cast<int>(outer_.bottom), flags_, mode_, state_);
}

void c_widget::set_parent(c_container* parent) {
    parent_ = parent;
    needs_layout_ = true;
}

void c_widget::set_rect(int left, int top, int right, int bottom) {
    design_ = RECT{left, top, right, bottom};
    needs_layout_ = true;
}

void c_widget::set_mode(int mode) {
    mode_ = mode;
}

void c_widget::set_flags(unsigned flags) {
    flags_ = flags;
    needs_layout_ = true;
}

void c_widget::layout_frame() {
    outer_ = layout_rect(*settings_, design_, parent_, flags_);
    content_ = inset_rect(*settings_, outer_, flags_);
}

void c_widget::set_widget_state(int state) {
    prev_state_ = state_;
    state_ = state;
    if (state_ != prev_state_ && settings_->state_hook) settings_->state_hook(this, prev_state_, state_);
}

// ---- c_container ---------------------------------------------------------------------------------------

c_container::~c_container() {
    std::vector<c_widget*> left = children_;
    children_.clear();
    for (c_widget* child : left)
        child->set_parent(nullptr);
}

int c_container::child_state() const {
    const c_widget* owner = get_widget();
    if (taken_) return owner->get_mode() == MODE_INACTIVE ? STATE_INACTIVE : STATE_NORMAL;
    return owner->get_state();
}

void c_container::get_rect(RECT& out) const {
    get_widget()->get_content_rect(out);
}

// Actions run inside updates may add or remove children; the walk goes over a copy and skips
// the ones that have left meanwhile.
void c_container::update_children(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    taken_ = 0;
    snapshot_ = children_;
    std::vector<c_widget*> walk;
    walk.swap(snapshot_);
    for (c_widget* child : walk)
        if (index_of(child) >= 0) child->update(mouse_x, mouse_y, left_button, keys);
    walk.swap(snapshot_);
}

// Widgets are drawn at one depth and cover each other by drawing order. Siblings that do not
// overlap may share batches: their back halves (frames) are drawn in one flush, then their
// front halves (labels); an overlap, or a widget that cannot be split, starts a new group.
void c_container::draw_children() {
    const c_gui_settings* settings = nullptr;
    auto draw_group = [&] {
        if (group_.empty()) return;
        for (c_widget* w : group_)
            w->draw_back();
        if (settings) flush(*settings);
        for (c_widget* w : group_)
            w->draw_front();
        group_.clear();
    };
    group_.clear();
    for (int i = child_count() - 1; i >= 0; --i) {
        c_widget* w = children_[static_cast<size_t>(i)];
        if (!w->is_drawn()) continue;
        if (!w->can_split()) {
            draw_group();
            w->draw();
            continue;
        }
        if (w->needs_layout()) w->layout();
        const RECT& r = w->get_outer_rect();
        for (c_widget* other : group_) {
            const RECT& o = other->get_outer_rect();
            if (r.left < o.right && o.left < r.right && r.top < o.bottom && o.top < r.bottom) {
                draw_group();
                break;
            }
        }
        settings = w->get_settings();
        group_.push_back(w);
    }
    draw_group();
}

void c_container::layout_children() {
    for (c_widget* child : children_)
        child->layout();
}

void c_container::add_child(c_widget* child) {
    if (!child) return;
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it != children_.end())
        children_.erase(it);
    else if (child->get_parent() && child->get_parent() != this)
        child->get_parent()->remove_child(child);
    children_.insert(children_.begin(), child);
    child->set_parent(this);
}

void c_container::remove_child(c_widget* child) {
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end()) return;
    children_.erase(it);
    child->set_parent(nullptr);
}

c_widget* c_container::child_at(int index) const {
    return index >= 0 && index < child_count() ? children_[static_cast<size_t>(index)] : nullptr;
}

int c_container::index_of(const c_widget* child) const {
    auto it = std::find(children_.begin(), children_.end(), child);
    return it == children_.end() ? -1 : static_cast<int>(it - children_.begin());
}

void c_container::bring_to_front(c_widget* child) {
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it != children_.end()) std::rotate(children_.begin(), it, it + 1);
}

void c_container::send_to_back(c_widget* child) {
    auto it = std::find(children_.begin(), children_.end(), child);
    if (it != children_.end()) std::rotate(it, it + 1, children_.end());
}

// ---- state, layout and frames ----------------------------------------------------------------------------

int calc_state(int mode, c_container* parent, unsigned flags, int prev_state, int mouse_x, int mouse_y,
               const BYTE* left_button, const BYTE* keys, const RECT& rect, int hot_key) {
    const bool inside = point_in(rect, mouse_x, mouse_y);
    auto take = [&] {
        if (inside && parent && !(flags & FRAME_NO_MOUSE)) parent->claim();
    };
    if (mode == MODE_INACTIVE) {
        take();
        return STATE_INACTIVE;
    }
    if (mode == MODE_HIDDEN) return STATE_INACTIVE;
    if (hot_key_down(keys, hot_key)) {
        take();
        return STATE_PRESSED;
    }
    if (parent) {
        int s = parent->child_state();
        if (s == STATE_NORMAL) return STATE_NORMAL;
        if (s == STATE_INACTIVE) return STATE_INACTIVE;
    }
    if (!inside) return STATE_NORMAL;
    take();
    if (!button_down(left_button)) return STATE_HOVER;
    return prev_state == STATE_HOVER || prev_state == STATE_PRESSED ? STATE_PRESSED : STATE_NORMAL;
}

RECT layout_rect(const c_gui_settings& settings, const RECT& design, const c_container* parent,
                 unsigned flags) {
    RECT base{0, 0, settings.screen_width, settings.screen_height};
    if (parent) parent->get_rect(base);
    if (flags & FRAME_PIXELS) {
        if (!parent) return design;
        return RECT{design.left + base.left, design.top + base.top, design.right + base.left,
                    design.bottom + base.top};
    }
    const float sx =
        static_cast<float>(base.right - base.left) / static_cast<float>(std::max(1, settings.design_width));
    const float sy =
        static_cast<float>(base.bottom - base.top) / static_cast<float>(std::max(1, settings.design_height));
    auto scale = [](LONG v, float s, LONG origin) {
        return static_cast<LONG>(std::trunc(static_cast<float>(v) * s)) + origin;
    };
    return RECT{scale(design.left, sx, base.left), scale(design.top, sy, base.top),
                scale(design.right, sx, base.left), scale(design.bottom, sy, base.top)};
}

// Borders wider than the widget meet in the middle instead of turning the content inside out.
RECT inset_rect(const c_gui_settings& settings, const RECT& outer, unsigned flags) {
    RECT c = outer;
    if (flags & FRAME_LEFT) c.left += std::max(0, settings.border_left);
    if (flags & FRAME_RIGHT) c.right -= std::max(0, settings.border_right);
    if (flags & FRAME_TOP) c.top += std::max(0, settings.border_top);
    if (flags & FRAME_BOTTOM) c.bottom -= std::max(0, settings.border_bottom);
    if (c.left > c.right)
        c.left = c.right = std::clamp((c.left + c.right) / 2, outer.left, std::max(outer.left, outer.right));
    if (c.top > c.bottom)
        c.top = c.bottom = std::clamp((c.top + c.bottom) / 2, outer.top, std::max(outer.top, outer.bottom));
    return c;
}

bool draw_frame(const c_gui_settings& settings, int mode, int state, unsigned flags, const RECT& outer,
                const RECT& content) {
    if (mode == MODE_HIDDEN) return false;
    if (!settings.gfx) return true;
    const int look =
        clamp_state((flags & FRAME_NORMAL_LOOK) && state != STATE_INACTIVE ? STATE_NORMAL : state);
    const LONG l = outer.left, t = outer.top, r = outer.right, b = outer.bottom;
    const LONG cl = content.left, ct = content.top, cr = content.right, cb = content.bottom;
    struct piece {
        RECT rect;
        unsigned needs;
    };
    const piece pieces[9] = {
        {{l, t, cl, ct}, FRAME_LEFT | FRAME_TOP},
        {{cl, t, cr, ct}, FRAME_TOP},
        {{cr, t, r, ct}, FRAME_RIGHT | FRAME_TOP},
        {{l, ct, cl, cb}, FRAME_LEFT},
        {{cl, ct, cr, cb}, FRAME_MIDDLE},
        {{cr, ct, r, cb}, FRAME_RIGHT},
        {{l, cb, cl, b}, FRAME_LEFT | FRAME_BOTTOM},
        {{cl, cb, cr, b}, FRAME_BOTTOM},
        {{cr, cb, r, b}, FRAME_RIGHT | FRAME_BOTTOM},
    };
    for (int j = 0; j < 9; ++j) {
        const piece& p = pieces[j];
        if ((flags & p.needs) != p.needs || empty_rect(p.rect)) continue;
        // The piece's picture repeats every size pixels (a size of 0 or less stretches it once).
        const SIZE size = settings.frame_sizes[look][j];
        const float w = static_cast<float>(p.rect.right - p.rect.left);
        const float h = static_cast<float>(p.rect.bottom - p.rect.top);
        const float u = size.cx > 0 ? w / static_cast<float>(size.cx) : 1.0f;
        const float v = size.cy > 0 ? h / static_cast<float>(size.cy) : 1.0f;
        settings.gfx->add_quad_tra(p.rect.left, p.rect.top, p.rect.right, p.rect.bottom, 0.0f, 0.0f,
                                   settings.frame_images[look][j], 0.0f, u, 0.0f, v,
                                   settings.frame_colours[look][j]);
    }
    return true;
}

// ---- c_panel --------------------------------------------------------------------------------------------

c_panel::c_panel(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
                 unsigned flags)
    : c_widget(settings, left, top, right, bottom, mode, flags) {}

c_panel::~c_panel() = default;

void c_panel::update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    if (needs_layout_ || (flags_ & FRAME_RELAYOUT)) layout();
    set_widget_state(
        calc_state(mode_, parent_, flags_, state_, mouse_x, mouse_y, left_button, keys, outer_, 0));
    update_children(mouse_x, mouse_y, left_button, keys);
}

void c_panel::draw() {
    if (needs_layout_) layout();
    if (!draw_frame(*settings_, mode_, state_, flags_, outer_, content_)) return;
    c_gfx* gfx = settings_->gfx;
    if (!gfx) return;
    // The scissor applies when batches are drawn: what is queued must be drawn before it changes.
    gfx->flush();
    if (!gfx->clip(content_.left, content_.top, content_.right, content_.bottom)) return;
    draw_children();
    gfx->flush();
    gfx->unclip();
}

void c_panel::layout() {
    layout_frame();
    needs_layout_ = false;
    layout_children();
}

// ---- c_picture ------------------------------------------------------------------------------------------

c_picture::c_picture(const c_gui_settings* settings, c_image* image, D3DCOLOR colour)
    : c_widget(settings, 0, 0, 800, 600, MODE_ACTIVE, 0), colour(colour), image_(image) {
    if (image_) ++image_->refcount;
}

c_picture::~c_picture() {
    if (image_) image_->release();
}

void c_picture::update(int, int, const BYTE*, const BYTE*) {}

void c_picture::draw() {
    draw_back();
    flush(*settings_);
}

bool c_picture::can_split() const {
    return typeid(*this) == typeid(c_picture);
}

void c_picture::draw_back() {
    if (needs_layout_) layout();
    if (mode_ != MODE_HIDDEN) quad(*settings_, outer_, image_, colour);
}

void c_picture::layout() {
    const RECT whole{0, 0, settings_->design_width, settings_->design_height};
    outer_ = layout_rect(*settings_, whole, parent_, 0);
    content_ = outer_;
    needs_layout_ = false;
}

// ---- c_repeat_timer -------------------------------------------------------------------------------------

bool c_repeat_timer::tick(int interval_init, int interval_norm) {
    return tick(interval_init, interval_norm, g_gui_clock());
}

// The clock wraps after 49.7 days: compare elapsed time, which unsigned subtraction keeps right
// across the wrap, never the sum last + interval.
bool c_repeat_timer::tick(int interval_init, int interval_norm, DWORD now) {
    if (first) {
        first = false;
        last = now;
        return true;
    }
    const DWORD interval = static_cast<DWORD>(std::max(0, initial_wait ? interval_init : interval_norm));
    if (now - last < interval) return false;
    last = now;
    initial_wait = false;
    return true;
}

void c_repeat_timer::reset() {
    first = true;
    initial_wait = true;
}

// ---- c_button -------------------------------------------------------------------------------------------

c_button::c_button(const c_gui_settings* settings, int left, int top, int right, int bottom,
                   const std::string& label, int hot_key, button_action action, int mode, unsigned flags)
    : c_widget(settings, left, top, right, bottom, mode, flags), label_(label), hot_key_(hot_key),
      action_(action) {}

c_button::~c_button() {
    release_labels();
}

void c_button::update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    if (needs_layout_ || (flags_ & FRAME_RELAYOUT)) layout();
    set_widget_state(
        calc_state(mode_, parent_, flags_, state_, mouse_x, mouse_y, left_button, keys, outer_, hot_key_));
    clicked_ = false;
    const bool hot_down = hot_key_down(keys, hot_key_);
    if (!(flags_ & FRAME_REPEAT)) {
        const bool released_over = prev_state_ == STATE_PRESSED && state_ == STATE_HOVER;
        // Released for real: a key that a name box took the focus under is still held.
        const bool hot_key_released =
            state_ == STATE_NORMAL && hot_key_was_down_ && !key_down(keys, hot_key_);
        if (released_over || hot_key_released) click();
    } else if (state_ == STATE_PRESSED) {
        if (timer_.tick(settings_->repeat_interval_init, settings_->repeat_interval_norm)) click();
    } else {
        timer_.reset();
    }
    hot_key_was_down_ = hot_down;
}

void c_button::draw() {
    draw_back();
    draw_front();
}

bool c_button::can_split() const {
    return typeid(*this) == typeid(c_button);
}

void c_button::draw_back() {
    if (needs_layout_) layout();
    draw_frame(*settings_, mode_, state_, flags_, outer_, content_);
}

void c_button::draw_front() {
    if (needs_layout_) layout();
    if (mode_ != MODE_HIDDEN) draw_label(*settings_, labels_[look_state()], outer_);
}

void c_button::layout() {
    layout_frame();
    build_labels();
    if (flags_ & FRAME_FIT) fit_to_label();
    needs_layout_ = false;
}

// An empty label leaves an empty box that takes no mouse.
void c_button::fit_to_label() {
    const c_text* text = labels_[0];
    if (text && text->get_quad_count() > 0)
        content_ = text->get_bounding_box();
    else
        content_ = RECT{content_.left, content_.top, content_.left, content_.top};
    outer_ = content_;
    if (flags_ & FRAME_LEFT) outer_.left -= std::max(0, settings_->border_left);
    if (flags_ & FRAME_RIGHT) outer_.right += std::max(0, settings_->border_right);
    if (flags_ & FRAME_TOP) outer_.top -= std::max(0, settings_->border_top);
    if (flags_ & FRAME_BOTTOM) outer_.bottom += std::max(0, settings_->border_bottom);
}

void c_button::set_text(const std::string& label) {
    label_ = label;
    needs_layout_ = true;
}

void c_button::click() {
    clicked_ = true;
    if (action_) action_(this);
}

const c_text* c_button::get_label(int state) const {
    return labels_[clamp_state(state)];
}

int c_button::look_state() const {
    return clamp_state((flags_ & FRAME_NORMAL_LOOK) && state_ != STATE_INACTIVE ? STATE_NORMAL : state_);
}

void c_button::build_labels() {
    release_labels();
    for (int s = 0; s < 4; ++s)
        labels_[s] = make_label(*settings_, label_, content_, s);
}

void c_button::release_labels() {
    for (c_text*& label : labels_) {
        delete label;
        label = nullptr;
    }
}
