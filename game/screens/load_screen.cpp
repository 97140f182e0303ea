// The "Load a battle" screen and its state loop.
//
// Index: 1. the screen; 2. carrying out a choice; 3. the state loop.
#include "game/screens/load_screen.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/cursor_index.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "game/battle/gameplay.h"
#include "game/record/battle_record.h"
#include "game/record/watch.h"
#include "game/screens/net_screen.h"
#include "game/screens/screen.h"
#include "game/screens/states.h"
#include "platform/dinput.h"

// ---- 1. the screen

namespace {
c_load_screen* g_shown = nullptr; // the screen whose buttons are being pressed

void press_continue(c_button*);
void press_watch(c_button*);
void press_host(c_button*);
void press_delete(c_button*);
void press_back(c_button*);
void press_yes(c_button*);
void press_no(c_button*);

constexpr unsigned label_flags = 0x1F;
constexpr unsigned caption_flags = 0x1C;
} // namespace

c_load_screen::c_load_screen(const std::string& folder, std::uint64_t rules)
    : folder_(folder), rules_(rules) {
    if (g_stringtable) {
        auto text = [](const char* key, const std::string& fallback) {
            const std::string t = g_stringtable->get_string("loadgame", key);
            return t.empty() ? fallback : t;
        };
        labels_.turns = text("turns", labels_.turns);
        labels_.player = text("player", labels_.player);
        labels_.players = text("players", labels_.players);
        labels_.finished = text("finished", labels_.finished);
        labels_.playing = text("playing", labels_.playing);
    }
    build();
    refresh();
}

c_load_screen::~c_load_screen() {
    if (g_shown == this) g_shown = nullptr;
    // The items leave their list while it still exists.
    items_.clear();
    screen_.reset();
}

void c_load_screen::build() {
    const c_gui_settings* look = &g_gui_settings;
    if (g_stringtable) g_stringtable->set_section("loadgame");
    screen_ = std::make_unique<c_screen>(look);
    c_screen& s = *screen_;
    s.add<c_picture>(look, g_options_background);
    s.add<c_button>(look, 0, 5, 800, 45, screen_label("caption"), 0, nullptr, MODE_INACTIVE, caption_flags);
    list = s.add<c_listbox>(look, 5, 50, 795, 450, DIK_UP, DIK_DOWN, FRAME_ALL | FRAME_REPEAT, FRAME_ALL);
    detail = s.add<c_button>(look, 5, 455, 795, 495, "", 0, nullptr, MODE_INACTIVE, label_flags);
    continue_button = s.add<c_button>(look, 5, 505, 163, 575, screen_label("continue"), DIK_C, press_continue,
                                      MODE_ACTIVE, 0x19u);
    watch_button = s.add<c_button>(look, 163, 505, 321, 575, screen_label("watch"), DIK_W, press_watch,
                                   MODE_ACTIVE, 0x18u);
    host_button = s.add<c_button>(look, 321, 505, 479, 575, screen_label("host"), DIK_H, press_host,
                                  MODE_ACTIVE, 0x18u);
    delete_button = s.add<c_button>(look, 479, 505, 637, 575, screen_label("delete"), DIK_D, press_delete,
                                    MODE_ACTIVE, 0x18u);
    back_button = s.add<c_button>(look, 637, 505, 795, 575, screen_label("back"), DIK_B, press_back,
                                  MODE_ACTIVE, 0x1Au);
    // The question takes the place of the detail line and the buttons while it is asked.
    question =
        s.add<c_button>(look, 5, 455, 795, 495, screen_label("ask"), 0, nullptr, MODE_HIDDEN, label_flags);
    yes_button =
        s.add<c_button>(look, 5, 505, 400, 575, screen_label("yes"), DIK_Y, press_yes, MODE_HIDDEN, 0x19u);
    no_button =
        s.add<c_button>(look, 400, 505, 795, 575, screen_label("no"), DIK_N, press_no, MODE_HIDDEN, 0x1Au);
}

void c_load_screen::fill_list(const std::string& keep_path) {
    list->select(nullptr);
    items_.clear();
    entries_ = list_records(folder_, rules_);
    for (const record_entry& e : entries_) {
        items_.push_back(std::make_unique<c_listitem>(describe_entry(e, labels_)));
        list->add_item(items_.back().get());
    }
    int keep = entries_.empty() ? -1 : 0;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].path == keep_path) keep = static_cast<int>(i);
    list->select(keep >= 0 ? items_[static_cast<size_t>(keep)].get() : nullptr);
    list->show_selected();
}

void c_load_screen::refresh() {
    const record_entry* was = selected();
    fill_list(was ? was->path : std::string());
}

const record_entry* c_load_screen::selected() const {
    const int i = list ? list->get_selected_index() : -1;
    return i >= 0 && i < static_cast<int>(entries_.size()) ? &entries_[static_cast<size_t>(i)] : nullptr;
}

std::string c_load_screen::detail_text() const {
    if (!detail_override_.empty()) return detail_override_;
    if (entries_.empty())
        return g_stringtable ? g_stringtable->get_string("loadgame", "none") : std::string();
    const record_entry* e = selected();
    if (!e || e->status == RECORD_OK) return "";
    // The list's short reason, said as a sentence.
    auto without = [](const std::string& reason, const std::string& prefix) {
        return reason.rfind(prefix, 0) == 0 ? reason.substr(prefix.size()) : reason;
    };
    if (e->status == RECORD_REFUSED)
        return "Refused: this battle was " + without(e->reason, "refused: ") + ".";
    return "This file is damaged (" + without(e->reason, "damaged: ") + ") and can only be deleted.";
}

void c_load_screen::set_mode(c_widget* b, int mode) {
    if (b->get_mode() != mode) b->set_mode(mode);
}

void c_load_screen::before_update(bool escape_pressed) {
    g_shown = this;
    if (escape_pressed) {
        if (asking_)
            asking_ = false;
        else
            choice_ = CHOICE_BACK;
    }
    const record_entry* e = selected();
    const int playable = e && e->status == RECORD_OK ? MODE_ACTIVE : MODE_INACTIVE;
    const int ask = asking_ ? MODE_ACTIVE : MODE_HIDDEN, others = asking_ ? MODE_HIDDEN : MODE_ACTIVE;
    set_mode(continue_button, asking_ ? MODE_HIDDEN : playable);
    set_mode(watch_button, asking_ ? MODE_HIDDEN : playable);
    set_mode(host_button, asking_ ? MODE_HIDDEN : playable);
    set_mode(delete_button, asking_ ? MODE_HIDDEN : (e ? MODE_ACTIVE : MODE_INACTIVE));
    set_mode(back_button, others);
    set_mode(detail, asking_ ? MODE_HIDDEN : MODE_INACTIVE);
    set_mode(question, asking_ ? MODE_INACTIVE : MODE_HIDDEN);
    set_mode(yes_button, ask);
    set_mode(no_button, ask);
    set_mode(list, asking_ ? MODE_INACTIVE : MODE_ACTIVE);
    const std::string text = detail_text();
    if (detail->get_text() != text) detail->set_text(text);
}

void c_load_screen::after_update() {
    // A new selection forgets what the last one's loading said.
    if (list->was_chosen()) detail_override_.clear();
}

c_load_screen::choice_kind c_load_screen::take_choice() {
    const choice_kind c = choice_;
    choice_ = CHOICE_NONE;
    return c;
}

void c_load_screen::ask_delete() {
    if (selected()) asking_ = true;
}

void c_load_screen::answer(bool yes) {
    if (!asking_) return;
    asking_ = false;
    const record_entry* e = selected();
    if (!yes || !e) return;
    const int index = list->get_selected_index();
    if (!delete_record(e->path)) {
        detail_override_ = "Unable to delete \"" + e->file_name + "\".";
        return;
    }
    detail_override_.clear();
    fill_list("");
    // The selection stays where the deleted record was (the next older one).
    if (!items_.empty()) {
        const int keep = std::min(index, static_cast<int>(items_.size()) - 1);
        list->select(items_[static_cast<size_t>(keep)].get());
        list->show_selected();
    }
}

namespace {

void press_continue(c_button*) {
    if (g_shown) g_shown->choose(c_load_screen::CHOICE_CONTINUE);
}
void press_watch(c_button*) {
    if (g_shown) g_shown->choose(c_load_screen::CHOICE_WATCH);
}
void press_host(c_button*) {
    if (g_shown) g_shown->choose(c_load_screen::CHOICE_HOST);
}
void press_delete(c_button*) {
    if (g_shown) g_shown->ask_delete();
}
void press_back(c_button*) {
    if (g_shown) g_shown->choose(c_load_screen::CHOICE_BACK);
}
void press_yes(c_button*) {
    if (g_shown) g_shown->answer(true);
}
void press_no(c_button*) {
    if (g_shown) g_shown->answer(false);
}

} // namespace

std::string load_screen_report() {
    if (!g_shown) return "";
    const c_load_screen& s = *g_shown;
    const record_entry* e = s.selected();
    std::string r = "records=" + std::to_string(s.entries().size()) + "\n";
    r += "record_index=" + std::to_string(s.list->get_selected_index()) + "\n";
    r += "record_line=" + (e ? describe_entry(*e, entry_labels{}) : std::string()) + "\n";
    r += "record_file=" + (e ? e->file_name : std::string()) + "\n";
    r += "detail=" + s.detail_text() + "\n";
    r += std::string("asking=") + (s.asking() ? "true" : "false") + "\n";
    return r;
}

// ---- 2. carrying out a choice

namespace {

// Builds the selected record's battle as it was left and goes on recording into the same file.
// "" on success, else why not (the battle is released again).
std::string continue_battle(const record_entry& entry) {
    record_read read = read_record(entry.path);
    const record_entry now = summarize_record(read, rules_fingerprint());
    if (now.status != RECORD_OK) return now.reason;
    c_record_player player(read.record);
    if (!player.run_all(SIZE_MAX, true)) {
        const std::string why = player.reason();
        gameplay_unload_static();
        return why;
    }
    // New orders come after everything the file holds, idle steps of the last session included.
    g_battle_step = std::max(g_battle_step, player.last_step());
    record_continue(entry.path, read.record);
    gameplay_initial_view(get_screen());
    return "";
}

std::string watch_battle(const record_entry& entry) {
    record_read read = read_record(entry.path);
    const record_entry now = summarize_record(read, rules_fingerprint());
    if (now.status != RECORD_OK) return now.reason;
    g_watch = std::make_unique<c_battle_watch>(std::move(read.record));
    if (!g_watch->reason().empty()) {
        const std::string why = g_watch->reason();
        g_watch.reset();
        gameplay_unload_static();
        return why;
    }
    gameplay_initial_view(get_screen());
    return "";
}

// Checks the selected record by building its battle as it was left, then hands its seed and
// orders to the network screen, which hosts it. "" on success, else why not.
std::string host_battle(const record_entry& entry) {
    record_read read = read_record(entry.path);
    const record_entry now = summarize_record(read, rules_fingerprint());
    if (now.status != RECORD_OK) return now.reason;
    {
        c_record_player player(read.record);
        const bool sound = player.run_all(SIZE_MAX, true);
        gameplay_unload_static();
        if (!sound) return player.reason();
    }
    offer_record_to_host(read.record);
    return "";
}

void carry_out(c_load_screen& screen) {
    const c_load_screen::choice_kind choice = screen.take_choice();
    if (choice == c_load_screen::CHOICE_BACK) {
        g_game_state = GS_MAINMENU;
        return;
    }
    const record_entry* e = screen.selected();
    if (choice == c_load_screen::CHOICE_NONE || !e || e->status != RECORD_OK) return;
    const std::string why = choice == c_load_screen::CHOICE_CONTINUE ? continue_battle(*e)
                            : choice == c_load_screen::CHOICE_HOST   ? host_battle(*e)
                                                                     : watch_battle(*e);
    if (why.empty()) {
        g_game_state = choice == c_load_screen::CHOICE_HOST ? GS_NETWORK : GS_GAMEPLAY;
        return;
    }
    screen.set_detail(why);
    screen.refresh();
}

} // namespace

// ---- 3. the state loop

void gs_loadgame() {
    c_load_screen screen(g_saves_folder, rules_fingerprint());
    if (g_cursors) g_cursors->set_cursor(CURSOR_ARROW);
    restart_interpolator();
    while (g_game_state == GS_LOADGAME) {
        check_device();
        if (screen.screen().reset_since_last_check()) screen.screen().root()->layout();
        g_core->frame_begin(0xFF000000);
        read_frame_input();
        screen.before_update(key_pressed(DIK_ESCAPE));
        screen.screen().update();
        screen.after_update();
        g_interpolator->drawing = true;
        screen.screen().root()->draw();
        g_gfx->flush();
        if (g_cursors) g_cursors->draw();
        g_gfx->flush();
        g_interpolator->drawing = false;
        while (g_interpolator->sync(33, static_cast<int>(state_time()))) {
        }
        if (g_frame_hook) g_frame_hook();
        g_core->frame_end();
        carry_out(screen);
        handle_close_request();
    }
}
