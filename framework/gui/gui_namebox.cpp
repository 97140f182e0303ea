// Name boxes: one-line text entry with a caret, a selection, the clipboard and the keyboard
// focus that keeps typed letters away from the buttons' hot keys.
//
// Index: the focus and hot keys; the clipboard; characters; c_namebox: construction and text,
// measuring, mouse, keys, drawing.
#include <bitset>
#include <cmath>
#include <cstring>
#include <typeinfo>

#include "framework/gui/gui.h"
#include "framework/gui/gui_internal.h"

using namespace gui_detail;

// ---- the focus and hot keys ----------------------------------------------------------------------

namespace {
c_namebox* g_focus = nullptr;
int g_boxes = 0; // name boxes alive
// Keys held while a box had the focus: they stay away from hot keys until released, so the
// Escape that ends typing does not also press the screen's Escape button.
std::bitset<256> g_swallowed;

bool ctrl_down(const BYTE* keys) {
    return key_down(keys, DIK_LCONTROL) || key_down(keys, DIK_RCONTROL);
}
bool shift_down(const BYTE* keys) {
    return key_down(keys, DIK_LSHIFT) || key_down(keys, DIK_RSHIFT);
}
} // namespace

bool gui_text_focus() {
    return g_focus != nullptr;
}

bool gui_text_key(int code) {
    if (code >= 0x01 && code <= 0x1C) return true; // Escape, digits, Backspace, Tab, letters, Enter
    if (code >= 0x1E && code <= 0x29) return true;
    if (code >= 0x2B && code <= 0x35) return true;
    if (code >= 0x47 && code <= 0x53) return true; // the keypad
    switch (code) {
    case DIK_MULTIPLY:
    case DIK_SPACE:
    case DIK_OEM_102:
    case DIK_YEN:
    case DIK_NUMPADEQUALS:
    case DIK_NUMPADENTER:
    case DIK_NUMPADCOMMA:
    case DIK_DIVIDE:
    case DIK_HOME:
    case DIK_LEFT:
    case DIK_RIGHT:
    case DIK_END:
    case DIK_INSERT:
    case DIK_DELETE:
        return true;
    default:
        return false;
    }
}

namespace gui_detail {
bool hot_key_down(const BYTE* keys, int code) {
    if (!key_down(keys, code)) {
        if (code > 0 && code < 256) g_swallowed.reset(static_cast<size_t>(code));
        return false;
    }
    if (!gui_text_key(code)) return true;
    return !gui_text_focus() && !g_swallowed.test(static_cast<size_t>(code));
}
} // namespace gui_detail

// ---- the clipboard ---------------------------------------------------------------------------------

namespace {
HWND clipboard_owner() {
    return g_core ? g_core->window : nullptr;
}

std::string win32_clipboard_get() {
    std::string text;
    if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(clipboard_owner())) return text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void win32_clipboard_set(const std::string& text) {
    if (!OpenClipboard(clipboard_owner())) return;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    char* p = block ? static_cast<char*>(GlobalLock(block)) : nullptr;
    if (p) {
        std::memcpy(p, text.c_str(), text.size() + 1);
        GlobalUnlock(block);
        if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block); // still ours when refused
    } else if (block) {
        GlobalFree(block);
    }
    CloseClipboard();
}
} // namespace

std::string (*g_gui_clipboard_get)() = win32_clipboard_get;
void (*g_gui_clipboard_set)(const std::string& text) = win32_clipboard_set;

// ---- characters --------------------------------------------------------------------------------------

namespace {
// The Windows-1252 code of a typed UTF-16 code unit; 0 for what the code page has no byte for.
unsigned char cp1252_of(char16_t unit) {
    static constexpr char16_t k_80_to_9f[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<unsigned char>(unit);
    for (int i = 0; i < 32; ++i)
        if (k_80_to_9f[i] == unit) return static_cast<unsigned char>(0x80 + i);
    return 0;
}

bool is_control(unsigned char code) {
    return code < 0x20 || code == 0x7F;
}
} // namespace

// ---- c_namebox: construction and text -------------------------------------------------------------------

c_namebox::c_namebox(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
                     unsigned flags, size_t max_length)
    : c_widget(settings, left, top, right, bottom, mode, flags), max_length_(max_length) {
    ++g_boxes;
}

c_namebox::~c_namebox() {
    if (g_focus == this) g_focus = nullptr;
    release_label();
    // With no box left nobody is typing: a key held from then must not stay kept from hot keys.
    if (--g_boxes == 0) g_swallowed.reset();
}

void c_namebox::set_text(const std::string& text) {
    text_ = filtered(text).substr(0, max_length_);
    caret_ = anchor_ = text_.size();
    keep_caret_in_view();
}

bool c_namebox::has_focus() const {
    return g_focus == this;
}

void c_namebox::set_focus(bool focus) {
    if (focus && mode_ == MODE_ACTIVE) {
        if (g_focus != this) restart_blink();
        g_focus = this;
    } else if (g_focus == this) {
        g_focus = nullptr;
        dragging_ = false;
        repeat_key_ = 0;
    }
}

void c_namebox::set_mode(int mode) {
    c_widget::set_mode(mode);
    if (mode != MODE_ACTIVE) set_focus(false);
}

bool c_namebox::can_show(unsigned char code) const {
    if (is_control(code)) return false;
    // Bytes that Windows-1252 leaves undefined.
    if (code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D) return false;
    const c_font* font = settings_->text_fonts[0];
    // A cell one pixel wide is a glyph GDI gave no extent: nothing the atlas could show.
    return !font || font->glyph_width(code) > 1;
}

std::string c_namebox::filtered(const std::string& text) const {
    std::string out;
    for (char c : text)
        if (can_show(static_cast<unsigned char>(c))) out += c;
    return out;
}

void c_namebox::replace_selection(const std::string& with) {
    const size_t from = get_selection_start(), to = get_selection_end();
    const size_t room = max_length_ - std::min(max_length_, text_.size() - (to - from));
    const std::string insert = with.substr(0, room);
    if (from == to && insert.empty()) return;
    text_.replace(from, to - from, insert);
    caret_ = anchor_ = from + insert.size();
    changed_ = true;
    restart_blink();
    keep_caret_in_view();
}

void c_namebox::move_caret(size_t to, bool extend) {
    caret_ = std::min(to, text_.size());
    if (!extend) anchor_ = caret_;
    restart_blink();
    keep_caret_in_view();
}

void c_namebox::copy_selection() const {
    if (get_selection_end() > get_selection_start())
        g_gui_clipboard_set(text_.substr(get_selection_start(), get_selection_end() - get_selection_start()));
}

void c_namebox::restart_blink() {
    blink_start_ = g_gui_clock();
}

// ---- c_namebox: measuring ----------------------------------------------------------------------------

int c_namebox::look_state() const {
    if (mode_ != MODE_ACTIVE) return STATE_INACTIVE;
    if (has_focus()) return STATE_PRESSED;
    return clamp_state((flags_ & FRAME_NORMAL_LOOK) ? STATE_NORMAL : state_);
}

// Widths as the text layout makes them, so the caret sits exactly between drawn characters.
int c_namebox::char_px(unsigned char code) const {
    const int look = look_state();
    const c_font* font = settings_->text_fonts[look];
    if (!font) return 0;
    const double w = double(font->glyph_width(code)) * settings_->text_scale_x[look];
    return std::isfinite(w) ? static_cast<int>(std::clamp(w, 0.0, 65536.0)) : 0;
}

int c_namebox::text_px(size_t count) const {
    int x = 0;
    for (size_t i = 0; i < count && i < text_.size(); ++i)
        x += char_px(static_cast<unsigned char>(text_[i]));
    return x;
}

// The content less a small margin at both ends, so the text and the caret keep off the frame.
RECT c_namebox::text_area() const {
    const LONG pad = std::clamp<LONG>((content_.right - content_.left) / 4, 0, 4);
    return RECT{content_.left + pad, content_.top, content_.right - pad, content_.bottom};
}

// The character boundary nearest to a screen x.
size_t c_namebox::index_at(int x) const {
    const int rel = x - (text_area().left - scroll_);
    int at = 0;
    for (size_t i = 0; i < text_.size(); ++i) {
        const int w = char_px(static_cast<unsigned char>(text_[i]));
        if (rel < at + w / 2) return i;
        at += w;
    }
    return text_.size();
}

// The caret and the selection are drawn where the text is; when the text is wider than the box
// it is scrolled by whole pixels, never further than shows its end with the caret after it.
void c_namebox::keep_caret_in_view() {
    const RECT area = text_area();
    const int view = std::max<int>(0, area.right - area.left);
    const int caret_w = std::max(1, settings_->namebox_caret_width);
    const int caret_x = text_px(caret_);
    if (caret_x < scroll_) scroll_ = caret_x;
    if (caret_x + caret_w - scroll_ > view) scroll_ = caret_x + caret_w - view;
    scroll_ = std::clamp(scroll_, 0, std::max(0, text_px(text_.size()) + caret_w - view));
}

RECT c_namebox::get_caret_rect() const {
    const int look = look_state();
    const c_font* font = settings_->text_fonts[look];
    const int h = font ? static_cast<int>(font->get_height() * settings_->text_scale_y[look])
                       : static_cast<int>(content_.bottom - content_.top);
    const int top = static_cast<int>(content_.top + content_.bottom - h) / 2;
    const LONG x = text_area().left - scroll_ + text_px(caret_);
    return RECT{x, std::max<LONG>(top, content_.top), x + std::max(1, settings_->namebox_caret_width),
                std::min<LONG>(top + h, content_.bottom)};
}

bool c_namebox::is_caret_shown() const {
    if (!has_focus()) return false;
    const int interval = settings_->namebox_caret_interval;
    return interval <= 0 || ((g_gui_clock() - blink_start_) / static_cast<DWORD>(interval)) % 2 == 0;
}

// ---- c_namebox: mouse and keys ------------------------------------------------------------------------

void c_namebox::update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) {
    if (needs_layout_ || (flags_ & FRAME_RELAYOUT)) layout();
    set_widget_state(
        calc_state(mode_, parent_, flags_, state_, mouse_x, mouse_y, left_button, keys, outer_, 0));
    entered_ = changed_ = false;
    if (mode_ != MODE_ACTIVE) set_focus(false);
    update_mouse(mouse_x, left_button, keys);
    if (has_focus()) {
        for (int code = 1; code < 256; ++code)
            if (key_down(keys, code) && gui_text_key(code)) g_swallowed.set(static_cast<size_t>(code));
        take_typed_chars();
        update_keys(keys);
    }
    for (int code = 1; code < 256; ++code) {
        const bool down = key_down(keys, code);
        if (!down) g_swallowed.reset(static_cast<size_t>(code));
        keys_before_[code] = down ? 0x80 : 0;
    }
}

void c_namebox::update_mouse(int mouse_x, const BYTE* left_button, const BYTE* keys) {
    const bool down = button_down(left_button);
    const bool pressed_now = down && !button_was_down_;
    button_was_down_ = down;
    if (mode_ != MODE_ACTIVE) return;
    if (pressed_now) {
        // The box is pressed only when the press is its own (nothing on top of it took the mouse).
        if (state_ != STATE_PRESSED) {
            set_focus(false);
            return;
        }
        set_focus(true);
        move_caret(index_at(mouse_x), shift_down(keys) && has_focus());
        dragging_ = true;
        return;
    }
    if (!down) dragging_ = false;
    if (dragging_ && has_focus()) {
        const size_t at = index_at(mouse_x);
        if (at != caret_) move_caret(at, true);
    }
}

void c_namebox::take_typed_chars() {
    std::string typed;
    for (char16_t unit : get_typed_chars()) {
        const unsigned char code = cp1252_of(unit);
        if (code && can_show(code)) typed += static_cast<char>(code);
    }
    // Taken, so that a second update in the same frame does not type them again.
    clear_typed_chars();
    // One replacement: a selection typed over goes, and what does not fit is left out.
    if (!typed.empty()) replace_selection(typed);
}

void c_namebox::update_keys(const BYTE* keys) {
    auto pressed = [&](int code) { return key_down(keys, code) && !(keys_before_[code] & 0x80); };
    if (pressed(DIK_ESCAPE) || pressed(DIK_TAB)) {
        set_focus(false);
        return;
    }
    if (pressed(DIK_RETURN) || pressed(DIK_NUMPADENTER)) entered_ = true;
    const bool shift = shift_down(keys);
    if (ctrl_down(keys)) {
        if (pressed(DIK_A)) {
            anchor_ = 0;
            move_caret(text_.size(), true);
        }
        if (pressed(DIK_C)) copy_selection();
        if (pressed(DIK_X) && get_selection_end() > get_selection_start()) {
            copy_selection();
            replace_selection("");
        }
        if (pressed(DIK_V)) replace_selection(filtered(g_gui_clipboard_get()));
    }
    if (pressed(DIK_HOME)) move_caret(0, shift);
    if (pressed(DIK_END)) move_caret(text_.size(), shift);
    // Backspace, Delete and the arrows repeat while held, at the repeat intervals of the look.
    if (repeat_key_ && !key_down(keys, repeat_key_)) repeat_key_ = 0;
    for (int code : {DIK_BACK, DIK_DELETE, DIK_LEFT, DIK_RIGHT})
        if (pressed(code)) {
            repeat_key_ = code;
            timer_.reset();
        }
    if (repeat_key_ && timer_.tick(settings_->repeat_interval_init, settings_->repeat_interval_norm))
        act_on_key(repeat_key_, shift);
}

void c_namebox::act_on_key(int code, bool shift) {
    const bool selected = get_selection_end() > get_selection_start();
    switch (code) {
    case DIK_BACK:
    case DIK_DELETE:
        if (!selected) {
            if (code == DIK_BACK && caret_ == 0) return;
            if (code == DIK_DELETE && caret_ == text_.size()) return;
            anchor_ = code == DIK_BACK ? caret_ - 1 : caret_ + 1;
        }
        replace_selection("");
        return;
    case DIK_LEFT:
        if (selected && !shift)
            move_caret(get_selection_start(), false);
        else
            move_caret(caret_ > 0 ? caret_ - 1 : 0, shift);
        return;
    case DIK_RIGHT:
        if (selected && !shift)
            move_caret(get_selection_end(), false);
        else
            move_caret(caret_ + 1, shift);
        return;
    default:
        return;
    }
}

// ---- c_namebox: drawing ----------------------------------------------------------------------------------

void c_namebox::layout() {
    layout_frame();
    needs_layout_ = false;
    keep_caret_in_view();
}

bool c_namebox::can_split() const {
    return typeid(*this) == typeid(c_namebox);
}

void c_namebox::draw() {
    draw_back();
    draw_front();
}

void c_namebox::draw_back() {
    if (needs_layout_) layout();
    draw_frame(*settings_, mode_, look_state(), flags_ & ~FRAME_NORMAL_LOOK, outer_, content_);
}

void c_namebox::release_label() {
    delete label_;
    label_ = nullptr;
    label_look_ = -1;
}

// The selection lies under the text and the caret over it, all clipped to the text area.
void c_namebox::draw_front() {
    if (needs_layout_) layout();
    c_gfx* gfx = settings_->gfx;
    if (mode_ == MODE_HIDDEN || !gfx) return;
    keep_caret_in_view();
    const int look = look_state();
    const RECT area = text_area();
    const RECT text_rect{area.left - scroll_, area.top, area.left - scroll_ + text_px(text_.size()) + 1,
                         area.bottom};
    if (look != label_look_ || text_ != label_text_ || !EqualRect(&text_rect, &label_rect_)) {
        release_label();
        if (c_font* font = settings_->text_fonts[look]; font && !text_.empty())
            label_ =
                new c_text(gfx, font, text_, text_rect.left, text_rect.top, text_rect.right, text_rect.bottom,
                           0.0f, settings_->text_colours[look], settings_->text_backgrounds[look],
                           settings_->text_scale_x[look], settings_->text_scale_y[look], TEXT_VCENTER);
        label_look_ = look;
        label_text_ = text_;
        label_rect_ = text_rect;
    }
    gfx->flush();
    if (!gfx->clip(area.left, area.top, area.right, area.bottom)) return;
    const RECT caret = get_caret_rect();
    if (has_focus() && get_selection_end() > get_selection_start()) {
        const LONG from = text_rect.left + text_px(get_selection_start());
        const LONG to = text_rect.left + text_px(get_selection_end());
        // The caret's colour, faint, so the text stays readable over it.
        const D3DCOLOR c = settings_->namebox_caret_colours[look];
        quad(*settings_, RECT{from, caret.top, to, caret.bottom}, settings_->namebox_caret_images[look],
             (c & 0x00FFFFFFu) | (((c >> 24) * 3 / 8) << 24));
        gfx->flush();
    }
    if (label_ && label_->get_quad_count() > 0) label_->draw();
    if (is_caret_shown()) {
        quad(*settings_, caret, settings_->namebox_caret_images[look],
             settings_->namebox_caret_colours[look]);
        gfx->flush();
    }
    gfx->unclip();
}
