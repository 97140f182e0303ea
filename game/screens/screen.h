// What the menu-like screens share: a root panel with the widgets one run of a state loop owns,
// and the frame of the menu-like states.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/gui/gui.h"

// The widgets of one screen: a root panel over the whole screen and its children, all made by
// the state loop on entry and destroyed with this object when the loop ends.
class c_screen {
  public:
    c_screen(const c_gui_settings* settings, unsigned root_flags = 0);
    ~c_screen();
    c_screen(const c_screen&) = delete;
    c_screen& operator=(const c_screen&) = delete;

    // Makes a widget, adds it to the root (the latest added lies on top) and keeps it.
    template <class W, class... A> W* add(A&&... args) {
        auto widget = std::make_unique<W>(std::forward<A>(args)...);
        W* raw = widget.get();
        root_->add_child(raw);
        widgets_.push_back(std::move(widget));
        return raw;
    }
    c_panel* root() const { return root_.get(); }
    // One update of the whole tree with this frame's input (button actions run here).
    void update();
    // True once after every device reset since the last call (also one this screen did not see
    // happen): the caller lays the widgets out again for the new screen.
    bool reset_since_last_check();

  private:
    std::unique_ptr<c_panel> root_;
    std::vector<std::unique_ptr<c_widget>> widgets_;
    int resets_seen_;
};

// A label of the string table's current section ("" when the section or key is missing: the
// widget then shows no text rather than the program failing).
std::string screen_label(const std::string& key);

// One frame of a menu-like state: device check (the root laid out again after a reset), frame
// begin on black, the frame's input, the widgets' update, drawing (widgets, cursor, then
// `overlay`), the update steps of `step_ms` calling `step` (none when `step` is empty), frame end
// and the close request.
void run_menu_frame(c_screen& screen, const std::function<void()>& overlay, int step_ms,
                    const std::function<void()>& step);
