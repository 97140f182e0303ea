// The "Load a battle" screen: the recorded battles in saves/, newest first, and what can be done
// with the one selected (continue it, watch it from its start, delete it after asking). Its
// state loop is gs_loadgame (game/screens/states.h); the screen is a class so that it can be driven
// without a core or a window.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/gui/gui.h"
#include "game/record/saves.h"

class c_screen;

class c_load_screen {
  public:
    // Builds the widgets (labels from [loadgame] of g_stringtable) and lists `folder`, whose
    // records are checked against `rules` (the fingerprint of the rules in use).
    c_load_screen(const std::string& folder, std::uint64_t rules);
    ~c_load_screen();
    c_load_screen(const c_load_screen&) = delete;
    c_load_screen& operator=(const c_load_screen&) = delete;

    // Lists the folder again and keeps the selection on the same file where it can.
    void refresh();
    // Every frame before the widgets' update: the buttons that fit the selected record and the
    // question (when asking) are the active ones; the detail line says why a record cannot be
    // played. Escape backs out of the question, or off the screen.
    void before_update(bool escape_pressed);
    // After the widgets' update: what a button asked for (continue, watch, delete, back).
    void after_update();

    // What the player chose, carried out by the state loop (it needs the battle's machinery).
    // CHOICE_HOST: the battle continued over the network, this machine its host.
    enum choice_kind { CHOICE_NONE, CHOICE_CONTINUE, CHOICE_WATCH, CHOICE_HOST, CHOICE_BACK };
    choice_kind take_choice();
    // The buttons' actions (also for tests): a choice for the state loop; the question asked,
    // answered yes (the file is deleted and the list read again) or no.
    void choose(choice_kind choice) { choice_ = choice; }
    void ask_delete();
    void answer(bool yes);
    // The selected record (null when the list is empty).
    const record_entry* selected() const;
    // Shows a sentence in the detail line (a record that failed to load says why).
    void set_detail(const std::string& text) { detail_override_ = text; }

    c_screen& screen() { return *screen_; }
    const std::vector<record_entry>& entries() const { return entries_; }
    bool asking() const { return asking_; }
    std::string detail_text() const;

    c_listbox* list = nullptr;
    c_button* detail = nullptr;
    c_button* continue_button = nullptr;
    c_button* watch_button = nullptr;
    c_button* delete_button = nullptr;
    c_button* host_button = nullptr;
    c_button* back_button = nullptr;
    c_button* question = nullptr;
    c_button* yes_button = nullptr;
    c_button* no_button = nullptr;

  private:
    void build();
    void fill_list(const std::string& keep_path);
    void set_mode(c_widget* w, int mode);

    std::string folder_;
    std::uint64_t rules_;
    std::unique_ptr<c_screen> screen_;
    std::vector<record_entry> entries_;
    std::vector<std::unique_ptr<c_listitem>> items_;
    entry_labels labels_;
    bool asking_ = false;
    choice_kind choice_ = CHOICE_NONE;
    std::string detail_override_;
};

// The automated-run report's lines for the screen shown now ("" when none): the number of
// records, the selected one's index and line, the detail line, whether it asks.
std::string load_screen_report();
