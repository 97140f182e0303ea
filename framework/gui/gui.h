// The widget toolkit: rectangular widgets in a tree, updated once a frame with the mouse and
// keyboard and drawn through the image batches of c_gfx. Every screen is a root c_panel with
// children; the builder of a screen owns all of its widgets (a parent does not own its children).
//
// Index: frame flags; c_gui_settings (the look); c_widget and c_container (the model, states,
// hit testing, layout); free helpers calc_state / layout_rect / draw_frame; c_panel, c_picture,
// c_repeat_timer, c_button, c_checkbox; c_listitem, c_listbox, c_vscroll, c_listdropper, c_modebox;
// c_namebox and the keyboard focus.
//
// Coordinates: widgets are placed in an 800 x 600 design space scaled to their parent's content
// rectangle, or with FRAME_PIXELS in pixels from the parent's content origin. Rectangles are
// left, top, right, bottom with right and bottom exclusive.
//
// Widget states: 0 normal, 1 hover, 2 pressed, 3 inactive. Widget modes: 0 active, 1 inactive
// (state-3 look, still takes the mouse so that nothing beneath reacts), 2 hidden (not drawn,
// takes nothing).
#pragma once
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"

// ---- frame flags ---------------------------------------------------------------------------------

constexpr unsigned FRAME_LEFT = 0x001;        // pieces 0, 3, 6; content inset by the left border
constexpr unsigned FRAME_RIGHT = 0x002;       // pieces 2, 5, 8; inset by the right border
constexpr unsigned FRAME_TOP = 0x004;         // pieces 0, 1, 2; inset by the top border
constexpr unsigned FRAME_BOTTOM = 0x008;      // pieces 6, 7, 8; inset by the bottom border
constexpr unsigned FRAME_MIDDLE = 0x010;      // piece 4
constexpr unsigned FRAME_PIXELS = 0x020;      // rectangle in pixels from the parent's content origin
constexpr unsigned FRAME_RELAYOUT = 0x040;    // lay out again at every update
constexpr unsigned FRAME_NORMAL_LOOK = 0x080; // always the state-0 look unless inactive
constexpr unsigned FRAME_REPEAT = 0x100;      // auto-repeat (buttons, list keys); press-to-open droppers
constexpr unsigned FRAME_NO_MOUSE = 0x400;    // never takes the mouse: widgets beneath still see it
constexpr unsigned FRAME_FIT = 0x800;         // size to the label (buttons) or to the items (lists)
constexpr unsigned FRAME_BIG_CHANGE = 0x1000; // scroll bar buttons move by vscroll_bigchange
constexpr unsigned FRAME_EDGES = 0x00F;       // all four edges
constexpr unsigned FRAME_ALL = 0x01F;         // four edges and the middle

// Widget states and modes.
constexpr int STATE_NORMAL = 0;
constexpr int STATE_HOVER = 1;
constexpr int STATE_PRESSED = 2;
constexpr int STATE_INACTIVE = 3;
constexpr int MODE_ACTIVE = 0;
constexpr int MODE_INACTIVE = 1;
constexpr int MODE_HIDDEN = 2;

class c_widget;
class c_container;
class c_button;
class c_listbox;
class c_listitem;
class c_listdropper;

// Called when a widget's state changes (never set by the game; there for tools and tests).
using gui_state_hook = void (*)(c_widget* widget, int old_state, int new_state);

// ---- the look of a family of widgets ------------------------------------------------------------

// Filled by load_interface from interface.ini; held by value in the g_*_gui_settings globals.
// Widgets keep a pointer to their record, so a record must outlive its widgets, and a change of
// screen size (after a device reset) reaches every widget at its next layout. Index [4] is the
// widget state 0..3; [9] the frame piece: 0 top-left, 1 top, 2 top-right, 3 left, 4 middle,
// 5 right, 6 bottom-left, 7 bottom, 8 bottom-right. A null image draws untextured.
struct c_gui_settings {
    c_gfx* gfx = nullptr;
    gui_state_hook state_hook = nullptr;
    int design_width = 800, design_height = 600;
    int screen_width = 800, screen_height = 600;
    int repeat_interval_init = 0, repeat_interval_norm = 0; // ms

    c_image* frame_images[4][9] = {};
    D3DCOLOR frame_colours[4][9] = {};
    SIZE frame_sizes[4][9] = {}; // a piece's texture repeats every cx x cy pixels (0: stretched)

    int border_left = 0, border_right = 0, border_top = 0, border_bottom = 0;

    // Label text styles, one per state: the arguments of a c_text.
    c_font* text_fonts[4] = {};
    D3DCOLOR text_colours[4] = {};
    D3DCOLOR text_backgrounds[4] = {};
    float text_scale_x[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float text_scale_y[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    int text_flags[4] = {};

    c_image* vscroll_up_images[4] = {};
    c_image* vscroll_down_images[4] = {};
    c_image* vscroll_paddle_images[4] = {};
    D3DCOLOR vscroll_up_colours[4] = {};
    D3DCOLOR vscroll_down_colours[4] = {};
    D3DCOLOR vscroll_paddle_colours[4] = {};

    int vscroll_bigchange = 0;
    int listbox_vscroll_width = 0;
    int listitem_height = 0; // at least 1 once loaded (load_interface refuses less)
    int listdropper_bdown_width = 0;

    c_image* listdropper_bdown_images[4] = {};
    c_image* listdropper_bup_images[4] = {};
    D3DCOLOR listdropper_bdown_colours[4] = {};
    D3DCOLOR listdropper_bup_colours[4] = {};

    c_image* namebox_caret_images[4] = {};
    D3DCOLOR namebox_caret_colours[4] = {};
    int namebox_caret_width = 0;
    int namebox_caret_interval = 0;

    c_image* checkbox_checked_images[4] = {};
    D3DCOLOR checkbox_checked_colours[4] = {};
    c_image* checkbox_unchecked_images[4] = {};
    D3DCOLOR checkbox_unchecked_colours[4] = {};
};

// ---- the widget model ---------------------------------------------------------------------------

// Mouse and keyboard of one frame, as every update receives them: the mouse position in client
// pixels, a pointer to the left button's byte of the mouse state (bit 7 while held) and the
// 256-byte keyboard array indexed by DirectInput scan codes.
class c_widget : public c_reportable {
  public:
    // `settings` (not owned) must outlive the widget. The rectangle is in design space (or in
    // pixels with FRAME_PIXELS).
    c_widget(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
             unsigned flags);
    // Leaves its parent, so a builder may delete widgets in any order.
    ~c_widget() override;
    c_widget(const c_widget&) = delete;
    c_widget& operator=(const c_widget&) = delete;

    std::string get_details() const override;

    // Once a frame, front to back through the tree: recomputes the state and reacts.
    virtual void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) = 0;
    // Once a frame inside the drawing phase; lays out first when needed.
    virtual void draw() = 0;
    // Recomputes the screen rectangles (and label texts); call on the root after a device reset.
    virtual void layout() = 0;
    // Called by a container's add_child / remove_child (null); marks the widget for layout.
    virtual void set_parent(c_container* parent);

    // Drawing in two halves, so that siblings that do not overlap share their batches: a
    // container draws the back halves of such a group, then the front halves. draw_back queues
    // what lies under the label (frame, pictures), draw_front draws the label over it. Widgets
    // that cannot be split (those with children of their own) are drawn whole, and so is a
    // class derived from a splittable one unless it overrides can_split too: its own draw runs.
    virtual bool can_split() const { return false; }
    // False when draw would draw nothing (a hidden widget): its siblings draw on as if it were not there.
    virtual bool is_drawn() const { return mode_ != MODE_HIDDEN; }
    virtual void draw_back() {}
    virtual void draw_front() {}

    // The design rectangle; the widget is laid out again before its next update or draw.
    virtual void set_rect(int left, int top, int right, int bottom);
    virtual void set_mode(int mode);
    virtual int get_state() const { return state_; }
    // Screen pixels, as of the last layout.
    virtual void get_content_rect(RECT& out) const { out = content_; }

    int get_mode() const { return mode_; }
    int get_prev_state() const { return prev_state_; }
    unsigned get_flags() const { return flags_; }
    void set_flags(unsigned flags);
    c_container* get_parent() const { return parent_; }
    const c_gui_settings* get_settings() const { return settings_; }
    const RECT& get_design_rect() const { return design_; }
    const RECT& get_outer_rect() const { return outer_; }
    const RECT& get_content() const { return content_; }
    bool needs_layout() const { return needs_layout_; }
    void invalidate_layout() { needs_layout_ = true; }

  protected:
    // Outer rectangle by layout_rect, content rectangle inset by the flagged borders.
    void layout_frame();
    // previous state = state; state = new state; calls the settings' hook on a change.
    void set_widget_state(int state);

    const c_gui_settings* settings_;
    c_container* parent_ = nullptr;
    RECT design_;
    RECT outer_{};
    RECT content_{};
    unsigned flags_;
    int mode_;
    int state_ = 0;
    int prev_state_ = 0;
    bool needs_layout_ = true;
};

// The second interface of widgets that hold children (panels, list boxes, scroll bars). Children
// are not owned. The front of the list is the top: updates run front to back, drawing back to
// front, and the first child under the mouse takes it ("taken") so siblings beneath see none.
class c_container {
  public:
    c_container() = default;
    // The children left are told they have no parent any more.
    virtual ~c_container();
    c_container(const c_container&) = delete;
    c_container& operator=(const c_container&) = delete;

    // What the children take as their parent's state: once a child has taken the mouse this
    // frame, 3 when the owner is inactive, else 0; otherwise the owner's own state.
    virtual int child_state() const;
    // The owner's content rectangle in screen pixels.
    virtual void get_rect(RECT& out) const;
    // The widget this container belongs to.
    virtual c_widget* get_widget() = 0;
    virtual const c_widget* get_widget() const = 0;
    // A child takes the mouse for this frame.
    virtual void claim() { taken_ = 1; }
    bool is_taken() const { return taken_ != 0; }

    // Clears "taken", then updates the children front to back.
    virtual void update_children(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys);
    virtual void draw_children();   // back to front
    virtual void layout_children(); // every child's layout

    // Inserts at the front (the top) and sets the child's parent; a child already here moves.
    virtual void add_child(c_widget* child);
    // Removes the child if present and clears its parent.
    virtual void remove_child(c_widget* child);
    int child_count() const { return static_cast<int>(children_.size()); }
    c_widget* child_at(int index) const;       // null when out of range
    int index_of(const c_widget* child) const; // -1 when absent
    void bring_to_front(c_widget* child);
    void send_to_back(c_widget* child);

  protected:
    std::vector<c_widget*> children_; // front (top) first
    BYTE taken_ = 0;

  private:
    std::vector<c_widget*> snapshot_; // children as they were when an update began
    std::vector<c_widget*> group_;    // siblings being drawn together
};

// ---- helpers every widget uses --------------------------------------------------------------------

// The widget state for this frame. Mode 1 takes the mouse (when inside) and gives 3; mode 2
// gives 3; a held hot key gives 2 wherever the mouse is; a parent whose child_state is 0 or 3
// passes it on; inside the rectangle: 1 with the button up, 2 with it down only if the previous
// state was 1 or 2 (a press that began outside never presses); else 0. "Take" means claim() on
// the parent, unless FRAME_NO_MOUSE is set.
int calc_state(int mode, c_container* parent, unsigned flags, int prev_state, int mouse_x, int mouse_y,
               const BYTE* left_button, const BYTE* keys, const RECT& rect, int hot_key);

// The screen rectangle of a design rectangle under a parent (null: the whole screen of the
// settings, origin 0, 0).
RECT layout_rect(const c_gui_settings& settings, const RECT& design, const c_container* parent,
                 unsigned flags);
// The outer rectangle inset by the border sizes on the sides whose edge bits are set.
RECT inset_rect(const c_gui_settings& settings, const RECT& outer, unsigned flags);

// Queues the nine-piece frame at depth 0; the look is state 0 under FRAME_NORMAL_LOOK unless the
// state is 3. Returns false (drawing nothing) when the mode is 2.
bool draw_frame(const c_gui_settings& settings, int mode, int state, unsigned flags, const RECT& outer,
                const RECT& content);

// ---- panel and picture ----------------------------------------------------------------------------

// A framed area holding children; children are drawn clipped to its content rectangle.
class c_panel : public c_widget, public c_container {
  public:
    c_panel(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
            unsigned flags);
    ~c_panel() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    void layout() override;

    c_widget* get_widget() override { return this; }
    const c_widget* get_widget() const override { return this; }
};

// A picture over its parent's whole content rectangle (screen backgrounds). Holds a reference to
// its image while it lives (null: an untextured quad).
class c_picture : public c_widget {
  public:
    c_picture(const c_gui_settings* settings, c_image* image, D3DCOLOR colour = 0xFFFFFFFF);
    ~c_picture() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    bool can_split() const override;
    void draw_back() override;
    void layout() override;

    c_image* get_image() const { return image_; }
    D3DCOLOR colour;

  private:
    c_image* image_;
};

// ---- buttons ---------------------------------------------------------------------------------------

// The clock of repeat timers: GetTickCount, replaceable by tests.
extern DWORD (*g_gui_clock)();

// Fires at once, once more after the initial interval, then at every normal interval while it is
// ticked; reset starts over. Works across the 32-bit wrap of the millisecond clock.
class c_repeat_timer {
  public:
    bool tick(int interval_init, int interval_norm); // on g_gui_clock
    bool tick(int interval_init, int interval_norm, DWORD now);
    void reset();

    bool first = true;
    bool initial_wait = true;
    DWORD last = 0;
};

using button_action = void (*)(c_button* button);

// A framed label that hovers, presses and fires: on release over it, or when its hot key (a
// DirectInput scan code, 0 = none) is released wherever the mouse is. With FRAME_REPEAT it fires
// while held instead, at the repeat intervals of its settings. An inactive button (mode 1) with
// no action is how screens show a label.
class c_button : public c_widget {
  public:
    c_button(const c_gui_settings* settings, int left, int top, int right, int bottom,
             const std::string& label, int hot_key, button_action action, int mode, unsigned flags);
    ~c_button() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    void layout() override;
    bool can_split() const override;
    void draw_back() override;
    void draw_front() override;

    virtual void set_text(const std::string& label);
    // True only after the update in which the button fired.
    virtual bool was_clicked() const { return clicked_; }
    // Fires: sets the clicked flag and calls the action (if any).
    virtual void click();

    const std::string& get_text() const { return label_; }
    int get_hot_key() const { return hot_key_; }
    // The laid-out label of a state (null before the first layout).
    const c_text* get_label(int state) const;
    c_repeat_timer& get_timer() { return timer_; }

  protected:
    // The state whose look is drawn: 0 under FRAME_NORMAL_LOOK unless inactive.
    int look_state() const;
    void build_labels();
    void release_labels();
    // FRAME_FIT: the content becomes the state-0 label's bounds, the outer rectangle that grown
    // by the flagged borders.
    void fit_to_label();

    std::string label_;
    int hot_key_;
    button_action action_;
    bool clicked_ = false;
    bool hot_key_was_down_ = false;
    c_text* labels_[4] = {};
    c_repeat_timer timer_;
};

// A button with a checked flag, toggled by each click (no action is called), drawn with its box
// image in a square at the left of the content rectangle; the label starts after the box.
class c_checkbox : public c_button {
  public:
    c_checkbox(const c_gui_settings* settings, int left, int top, int right, int bottom,
               const std::string& label, int hot_key, bool checked, int mode = 0, unsigned flags = 0);
    ~c_checkbox() override;

    bool can_split() const override;
    void draw_back() override;
    void layout() override;
    void click() override;

    virtual bool is_checked() const { return checked_; }
    virtual void set_checked(bool checked) { checked_ = checked; }
    // The square the box image is drawn in (screen pixels).
    RECT get_box_rect() const;

  private:
    bool checked_;
};

// ---- lists -----------------------------------------------------------------------------------------

// One entry of a list box; laid out and drawn by its list with the list's settings.
class c_listitem : public c_reportable {
  public:
    explicit c_listitem(const std::string& label);
    // Leaves its list.
    ~c_listitem() override;
    c_listitem(const c_listitem&) = delete;
    c_listitem& operator=(const c_listitem&) = delete;

    virtual void draw();
    // The two halves of draw: the list queues every row's frame, draws them at once, then the
    // labels (rows never overlap, so their frames can share the batches).
    void draw_frame_part();
    void draw_label_part();
    virtual void set_state(int state);
    // The row the list gives it (screen pixels); rebuilds the label texts.
    virtual void layout(const RECT& rect);
    virtual void set_list(c_listbox* list);
    virtual std::string get_text() const { return label_; }
    virtual bool is_selected() const;

    int get_state() const { return state_; }
    int get_prev_state() const { return prev_state_; }
    const RECT& get_rect() const { return outer_; }
    c_listbox* get_list() const { return list_; }
    const c_text* get_label(int state) const;

  private:
    void release_labels();
    int look_state() const;

    std::string label_;
    RECT outer_{}, content_{};
    RECT label_rects_[4] = {}; // where each label was laid out (built when first drawn there)
    int state_ = 0, prev_state_ = 0;
    c_listbox* list_ = nullptr;
    c_text* labels_[4] = {};
};

class c_vscroll;

// A list of text items selected by mouse or by its two hot keys, with a vertical scroll bar that
// shows only when the items do not fit. Items are not owned. FRAME_REPEAT: the keys repeat while
// held; FRAME_FIT: the list is only as tall as its items.
class c_listbox : public c_widget, public c_container {
  public:
    c_listbox(const c_gui_settings* settings, int left, int top, int right, int bottom, int hot_key_up,
              int hot_key_down, unsigned flags, unsigned vscroll_flags, int mode = 0);
    ~c_listbox() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    void layout() override;

    c_widget* get_widget() override { return this; }
    const c_widget* get_widget() const override { return this; }

    void get_item_area(RECT& out) const { out = item_area_; }
    // Appends; the first item added becomes the selection.
    void add_item(c_listitem* item);
    void remove_item(c_listitem* item);
    // Raises "Index out of bounds." outside 0 .. count - 1.
    c_listitem* item_indextoptr(int index) const;
    int item_count() const { return static_cast<int>(items_.size()); }
    // Scrolls so that the selected item is visible.
    void show_selected();

    // The selected index becomes the item's position; an item not in the list clears it (-1).
    void select(c_listitem* item);
    c_listitem* get_selected() const;
    int get_selected_index() const { return selected_; }
    int get_hovered_index() const { return hovered_; }
    bool is_vscroll_shown() const { return vscroll_shown_; }
    c_vscroll* get_vscroll() const { return vscroll_; }
    int get_scroll_position() const;
    // The index of the item row under a point of the item area; -1 elsewhere and past the items.
    int item_at(int x, int y) const;
    // True only after the update in which a click chose an item.
    bool was_chosen() const { return chosen_; }
    void set_mode(int mode) override;

    // A list attached to a dropper is shown only while the dropper is open; a list that is not
    // shown is neither updated nor drawn and takes nothing.
    void set_shown(bool shown);
    bool is_shown() const { return shown_; }
    bool is_drawn() const override { return shown_ && mode_ != MODE_HIDDEN; }

  protected:
    // Moves the selection by one step (keyboard) and keeps it in view; nothing on an empty list.
    void step_selection(int delta);
    void update_keys(const BYTE* keys);
    void update_mouse(int mouse_x, int mouse_y, const BYTE* left_button);

    RECT item_area_{};
    int hot_key_up_, hot_key_down_;
    c_repeat_timer timer_;
    std::vector<c_listitem*> items_;
    int selected_ = -1;
    int hovered_ = -1;
    int prev_hovered_ = -1;
    c_vscroll* vscroll_;
    bool vscroll_shown_ = false;
    int last_scroll_ = 0;
    bool up_was_down_ = false, down_was_down_ = false;
    bool chosen_ = false;
    bool shown_ = true;

  private:
    friend class c_listdropper;
    c_listdropper* dropper_ = nullptr; // the dropper showing this list, told when the list goes
};

// A vertical scroll bar: up and down buttons and a paddle that can be dragged. The position runs
// from 0 to the range less one page, so the last page ends at the last pixel of the content.
class c_vscroll : public c_widget, public c_container {
  public:
    // Placed by its owner in screen pixels (place). FRAME_BIG_CHANGE: the buttons move by
    // vscroll_bigchange instead of 1.
    c_vscroll(const c_gui_settings* settings, unsigned flags, c_listbox* owner);
    ~c_vscroll() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    void layout() override;

    c_widget* get_widget() override { return this; }
    const c_widget* get_widget() const override { return this; }

    void place(const RECT& rect);
    // The scrolled extent and the visible part of it (pixels); the position is clamped again.
    void set_range(int range, int page);
    void set_position(int position);
    void set_mode(int mode) override;
    int get_position() const { return position_; }
    int get_range() const { return range_; }
    int get_page() const { return page_; }
    int max_position() const;
    int get_paddle_state() const { return paddle_state_; }
    const RECT& get_paddle_rect() const { return paddle_; }
    c_button* get_up_button() const { return up_; }
    c_button* get_down_button() const { return down_; }

  private:
    void clamp_position();
    void place_paddle();
    void update_paddle(int mouse_x, int mouse_y, const BYTE* left_button);

    c_listbox* owner_;
    c_button* up_;
    c_button* down_;
    int position_ = 0, range_ = 0, page_ = 0;
    RECT paddle_{};
    int paddle_state_ = 0;
    int drag_offset_ = 0; // mouse y less paddle top when the drag began
    bool button_was_down_ = false;
};

// A one-line field showing a list's selected item that opens the list below it. The list is
// hidden (mode 2) while closed. Add both the dropper and the list to the screen's panel, the list
// after the dropper so that it lies on top; a list without a parent is updated and drawn by the
// dropper itself. FRAME_REPEAT: the list opens on press and an item is chosen on release.
class c_listdropper : public c_widget {
  public:
    c_listdropper(const c_gui_settings* settings, int left, int top, int right, int bottom, c_listbox* list,
                  int hot_key, int mode, unsigned flags);
    ~c_listdropper() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    void layout() override;
    bool can_split() const override;
    void draw_back() override;
    void draw_front() override;
    void set_mode(int mode) override;

    bool is_open() const { return open_; }
    void open();
    void close();
    c_listbox* get_list() const { return list_; }
    // The part of the field the drop button covers (screen pixels).
    RECT get_button_rect() const;
    const c_text* get_label(int state) const;

    // The mode the dropper acts in: inactive also while its list is made inactive.
    int effective_mode() const;

  private:
    friend class c_listbox;
    void build_labels();
    void release_labels();
    int look_state() const;
    void update_click(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys, bool pressed_now);
    void update_press(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys);
    bool outside_both(int mouse_x, int mouse_y) const;

    int hot_key_;
    c_listbox* list_;
    bool open_ = false;
    bool opened_by_press_ = false; // the list was opened by the press still held
    bool hot_key_was_down_ = false;
    bool button_was_down_ = false;
    std::string shown_text_; // the selected item's text the labels were built from
    bool labels_built_ = false;
    c_text* labels_[4] = {};
};

// A list item holding a display mode.
class c_modeitem : public c_listitem {
  public:
    c_modeitem(const std::string& label, const D3DDISPLAYMODE& mode) : c_listitem(label), mode(mode) {}
    D3DDISPLAYMODE mode;
};

// Bits per pixel shown for a display format (A2R10G10B10 shows 33 so that it differs from the
// 32-bit formats); 0 for formats without a count.
int mode_bits_per_pixel(D3DFORMAT format);

// A list box of the display modes of the adapter in `display` (d3d null: g_d3d), sorted by
// width, height, bits, refresh rate. Owns its items. Raises "Unable to enumerate the display
// mode." when the adapter refuses one.
class c_modebox : public c_listbox {
  public:
    c_modebox(const c_gui_settings* settings, int left, int top, int right, int bottom, int hot_key_up,
              int hot_key_down, unsigned flags, unsigned vscroll_flags, const settings_record& display,
              IDirect3D9* d3d = nullptr);
    ~c_modebox() override;

    // The selected mode, all zeros when none is selected.
    void get_selected_mode(D3DDISPLAYMODE& out) const;
    // Selects the first item whose mode equals `mode` in all four values; the selection stays
    // as it was when none does.
    void select_mode(const D3DDISPLAYMODE& mode);
    const std::vector<c_modeitem*>& get_mode_items() const { return mode_items_; }

  private:
    std::vector<c_modeitem*> mode_items_;
};

// ---- text entry ------------------------------------------------------------------------------------

// A one-line text field of single-byte (Windows-1252) characters. A click gives it the keyboard
// focus, which one box at a time holds; a click anywhere else, Escape or Tab take it away. While
// it has the focus it takes the characters typed this frame (get_typed_chars) that its font can
// draw, up to max_length, and edits with Backspace, Delete, Left, Right, Home and End (Shift
// selects), Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+V and the mouse (a click places the caret, a drag
// selects). The text scrolls sideways so the caret stays in view. Drawn with the frame pieces
// (the pressed look while it has the focus), the text left aligned in the label style of its
// state, the selection under it and a blinking caret (the namebox_caret_* settings). A screen
// that stops updating a box while it may have the focus (leaving it alive) calls set_focus(false),
// or the other screens' hot keys stay quiet.
class c_namebox : public c_widget {
  public:
    c_namebox(const c_gui_settings* settings, int left, int top, int right, int bottom, int mode,
              unsigned flags, size_t max_length);
    // Gives up the focus.
    ~c_namebox() override;

    void update(int mouse_x, int mouse_y, const BYTE* left_button, const BYTE* keys) override;
    void draw() override;
    void layout() override;
    bool can_split() const override;
    void draw_back() override;
    void draw_front() override;
    // An inactive or hidden box gives up the focus.
    void set_mode(int mode) override;

    virtual const std::string& get_text() const { return text_; }
    // Control characters and what the font cannot draw are left out, the rest cut to max_length;
    // the caret goes to the end. Not a change the player made: was_changed stays as it is.
    virtual void set_text(const std::string& text);
    virtual bool has_focus() const;
    // Taking the focus takes it from any other box; only an active box takes it.
    virtual void set_focus(bool focus);
    // True only after the update in which Enter was pressed while the box had the focus.
    virtual bool was_entered() const { return entered_; }
    // True only after an update in which the player's typing, deleting, cutting or pasting
    // changed the text.
    virtual bool was_changed() const { return changed_; }

    size_t get_max_length() const { return max_length_; }
    size_t get_caret() const { return caret_; }
    // The selection runs from start to end (exclusive); empty when they are equal.
    size_t get_selection_start() const { return std::min(caret_, anchor_); }
    size_t get_selection_end() const { return std::max(caret_, anchor_); }
    // Pixels of text scrolled out at the left of the text area (the content less a small margin).
    int get_scroll() const { return scroll_; }
    // True when the box takes the single-byte code: no control character, and the font of its
    // normal look has a glyph of some width for it.
    bool can_show(unsigned char code) const;
    // Where the caret is drawn (screen pixels), and whether the blink shows it now.
    RECT get_caret_rect() const;
    bool is_caret_shown() const;

  private:
    int look_state() const;
    RECT text_area() const;
    int char_px(unsigned char code) const;
    int text_px(size_t count) const;
    size_t index_at(int x) const;
    void keep_caret_in_view();
    void restart_blink();
    void move_caret(size_t to, bool extend);
    void replace_selection(const std::string& with);
    std::string filtered(const std::string& text) const;
    void copy_selection() const;
    void update_mouse(int mouse_x, const BYTE* left_button, const BYTE* keys);
    void update_keys(const BYTE* keys);
    void take_typed_chars();
    void act_on_key(int code, bool shift);
    void release_label();

    std::string text_;
    size_t max_length_;
    size_t caret_ = 0, anchor_ = 0;
    int scroll_ = 0;
    bool entered_ = false, changed_ = false;
    bool dragging_ = false, button_was_down_ = false;
    BYTE keys_before_[256] = {};
    int repeat_key_ = 0;
    c_repeat_timer timer_;
    DWORD blink_start_ = 0;
    c_text* label_ = nullptr;
    std::string label_text_; // what the label was built from
    RECT label_rect_{};
    int label_look_ = -1;
};

// True while any name box has the keyboard focus: screens skip their letter hot keys then.
bool gui_text_focus();
// The keys a name box reads while it has the focus (characters, editing and caret keys, Enter,
// Escape, Tab): hot keys on them do nothing then, nor while one held then is still down.
bool gui_text_key(int scan_code);

// The clipboard the name boxes copy to and paste from, as CF_TEXT through the Win32 clipboard with
// the core's window as owner; tests put their own here.
extern std::string (*g_gui_clipboard_get)();
extern void (*g_gui_clipboard_set)(const std::string& text);
