#include "framework/gui.h"

// Placeholder bodies: the toolkit's behaviour follows in the next commits.

DWORD (*g_gui_clock)() = GetTickCount;

c_widget::c_widget(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
                   unsigned flags)
    : settings_(settings), design_{left, top, right, bottom}, flags_(flags), mode_(mode) {}
c_widget::~c_widget() {}
std::string c_widget::get_details() const {
    return c_reportable::get_details();
}
void c_widget::set_parent(c_container* parent) {
    parent_ = parent;
}
void c_widget::set_rect(int left, int top, int right, int bottom) {
    design_ = RECT{left, top, right, bottom};
}
void c_widget::set_mode(int mode) {
    mode_ = mode;
}
void c_widget::set_flags(unsigned flags) {
    flags_ = flags;
}
void c_widget::layout_frame() {}
void c_widget::set_widget_state(int state) {
    state_ = state;
}

c_container::~c_container() {}
int c_container::child_state() const {
    return 0;
}
void c_container::get_rect(RECT& out) const {
    out = RECT{};
}
void c_container::update_children(int, int, const BYTE*, const BYTE*) {}
void c_container::draw_children() {}
void c_container::layout_children() {}
void c_container::add_child(c_widget* child) {
    children_.insert(children_.begin(), child);
}
void c_container::remove_child(c_widget*) {}
c_widget* c_container::child_at(int) const {
    return nullptr;
}
int c_container::index_of(const c_widget*) const {
    return -1;
}
void c_container::bring_to_front(c_widget*) {}
void c_container::send_to_back(c_widget*) {}

int calc_state(int, c_container*, unsigned, int, int, int, const BYTE*, const BYTE*, const RECT&, int) {
    return 0;
}
RECT layout_rect(const c_gui_settings&, const RECT& design, const c_container*, unsigned) {
    return design;
}
RECT inset_rect(const c_gui_settings&, const RECT& outer, unsigned) {
    return outer;
}
bool draw_frame(const c_gui_settings&, int, int, unsigned, const RECT&, const RECT&) {
    return false;
}

c_panel::c_panel(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
                 unsigned flags)
    : c_widget(settings, left, top, right, bottom, mode, flags) {}
c_panel::~c_panel() {}
void c_panel::update(int, int, const BYTE*, const BYTE*) {}
void c_panel::draw() {}
void c_panel::layout() {}

c_picture::c_picture(const c_gui_settings* settings, c_image* image, D3DCOLOR colour)
    : c_widget(settings, 0, 0, 800, 600, 0, 0), colour(colour), image_(image) {}
c_picture::~c_picture() {}
void c_picture::update(int, int, const BYTE*, const BYTE*) {}
void c_picture::draw() {}
void c_picture::layout() {}

bool c_repeat_timer::tick(int init, int norm) {
    return tick(init, norm, g_gui_clock());
}
bool c_repeat_timer::tick(int, int, DWORD) {
    return false;
}
void c_repeat_timer::reset() {}

c_button::c_button(const c_gui_settings* settings, int left, int top, int right, int bottom,
                   const std::string& label, int hot_key, button_action action, int mode, unsigned flags)
    : c_widget(settings, left, top, right, bottom, mode, flags), label_(label), hot_key_(hot_key),
      action_(action) {}
c_button::~c_button() {}
void c_button::update(int, int, const BYTE*, const BYTE*) {}
void c_button::draw() {}
void c_button::layout() {}
void c_button::set_text(const std::string& label) {
    label_ = label;
}
void c_button::click() {}
const c_text* c_button::get_label(int) const {
    return nullptr;
}
int c_button::look_state() const {
    return state_;
}
void c_button::build_labels() {}
void c_button::release_labels() {}

c_checkbox::c_checkbox(const c_gui_settings* settings, int left, int top, int right, int bottom,
                       const std::string& label, int hot_key, bool checked, int mode, unsigned flags)
    : c_button(settings, left, top, right, bottom, label, hot_key, nullptr, mode, flags), checked_(checked) {}
c_checkbox::~c_checkbox() {}
void c_checkbox::draw() {}
void c_checkbox::layout() {}
void c_checkbox::click() {}
RECT c_checkbox::get_box_rect() const {
    return RECT{};
}

c_listitem::c_listitem(const std::string& label) : label_(label) {}
c_listitem::~c_listitem() {}
void c_listitem::draw() {}
void c_listitem::set_state(int state) {
    state_ = state;
}
void c_listitem::layout(const RECT& rect) {
    outer_ = rect;
}
void c_listitem::set_list(c_listbox* list) {
    list_ = list;
}
bool c_listitem::is_selected() const {
    return false;
}
const c_text* c_listitem::get_label(int) const {
    return nullptr;
}
void c_listitem::release_labels() {}

c_listbox::c_listbox(const c_gui_settings* settings, int left, int top, int right, int bottom, int hot_key_up,
                     int hot_key_down, unsigned flags, unsigned vscroll_flags, int mode)
    : c_widget(settings, left, top, right, bottom, mode, flags), hot_key_up_(hot_key_up),
      hot_key_down_(hot_key_down), vscroll_(new c_vscroll(settings, vscroll_flags, this)) {}
c_listbox::~c_listbox() {
    delete vscroll_;
}
void c_listbox::update(int, int, const BYTE*, const BYTE*) {}
void c_listbox::draw() {}
void c_listbox::layout() {}
void c_listbox::add_item(c_listitem* item) {
    items_.push_back(item);
}
void c_listbox::remove_item(c_listitem*) {}
c_listitem* c_listbox::item_indextoptr(int) const {
    return nullptr;
}
void c_listbox::show_selected() {}
void c_listbox::select(c_listitem*) {}
c_listitem* c_listbox::get_selected() const {
    return nullptr;
}
int c_listbox::get_scroll_position() const {
    return 0;
}
void c_listbox::step_selection(int) {}
void c_listbox::update_keys(const BYTE*) {}
void c_listbox::update_mouse(int, int, const BYTE*) {}

c_vscroll::c_vscroll(const c_gui_settings* settings, unsigned flags, c_listbox* owner)
    : c_widget(settings, 0, 0, 0, 0, 0, flags), owner_(owner), up_(nullptr), down_(nullptr) {}
c_vscroll::~c_vscroll() {}
void c_vscroll::update(int, int, const BYTE*, const BYTE*) {}
void c_vscroll::draw() {}
void c_vscroll::layout() {}
void c_vscroll::place(const RECT& rect) {
    outer_ = rect;
}
void c_vscroll::set_range(int range, int page) {
    range_ = range;
    page_ = page;
}
void c_vscroll::set_position(int position) {
    position_ = position;
}
int c_vscroll::max_position() const {
    return 0;
}
void c_vscroll::clamp_position() {}
void c_vscroll::place_paddle() {}
void c_vscroll::update_paddle(int, int, const BYTE*) {}

c_listdropper::c_listdropper(const c_gui_settings* settings, int left, int top, int right, int bottom,
                             c_listbox* list, int hot_key, int mode, unsigned flags)
    : c_widget(settings, left, top, right, bottom, mode, flags), hot_key_(hot_key), list_(list) {}
c_listdropper::~c_listdropper() {}
void c_listdropper::update(int, int, const BYTE*, const BYTE*) {}
void c_listdropper::draw() {}
void c_listdropper::layout() {}
void c_listdropper::set_mode(int mode) {
    mode_ = mode;
}
void c_listdropper::open() {
    open_ = true;
}
void c_listdropper::close() {
    open_ = false;
}
RECT c_listdropper::get_button_rect() const {
    return RECT{};
}
const c_text* c_listdropper::get_label(int) const {
    return nullptr;
}
void c_listdropper::build_labels() {}
void c_listdropper::release_labels() {}
int c_listdropper::look_state() const {
    return state_;
}
bool c_listdropper::mouse_over(const RECT&, int, int) const {
    return false;
}

int mode_bits_per_pixel(D3DFORMAT) {
    return 0;
}

c_modebox::c_modebox(const c_gui_settings* settings, int left, int top, int right, int bottom, int hot_key_up,
                     int hot_key_down, unsigned flags, unsigned vscroll_flags, const settings_record&,
                     IDirect3D9*)
    : c_listbox(settings, left, top, right, bottom, hot_key_up, hot_key_down, flags, vscroll_flags) {}
c_modebox::~c_modebox() {}
void c_modebox::get_selected_mode(D3DDISPLAYMODE& out) const {
    out = D3DDISPLAYMODE{};
}
void c_modebox::select_mode(const D3DDISPLAYMODE&) {}
