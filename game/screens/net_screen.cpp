// The host/join screen and its state loop.
//
// Index: 1. the session's set-up; 2. the widgets; 3. one frame; 4. the report.
#include "game/screens/net_screen.h"

#include <random>

#include "framework/core.h"
#include "framework/cursor.h"
#include "framework/cursor_index.h"
#include "framework/gfx.h"
#include "framework/ini.h"
#include "framework/interface.h"
#include "framework/interpolator.h"
#include "framework/misc.h"
#include "game/battle/gameplay.h"
#include "game/net/session.h"
#include "game/record/orders.h"
#include "game/record/record.h"
#include "game/screens/screen.h"
#include "game/screens/states.h"
#include "platform/crt.h"
#include "platform/dinput.h"

// ---- 1. the session's set-up

std::string make_join_code() {
    static const char letters[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::random_device device;
    std::string code;
    for (int i = 0; i < 6; ++i)
        code += letters[device() % (sizeof letters - 1)];
    return code;
}

void net_leave() {
    if (g_net) g_net->leave();
    g_net.reset();
    g_order_input = nullptr;
}

namespace {

// The battle offered by the list of records, as its seed and orders.
struct offered_battle {
    bool set = false;
    std::uint32_t seed = 0;
    std::vector<c_net_host::past_order> past;
};
offered_battle g_offered;

} // namespace

void offer_record_to_host(const record_file& record) {
    g_offered = offered_battle{};
    g_offered.set = true;
    g_offered.seed = record.header.seed;
    for (const record_event& e : record.events)
        if (e.what == EVENT_ORDER) g_offered.past.push_back({e.step, e.order});
}

namespace {

std::string network_setting(const char* key, const std::string& fallback) {
    const std::string v = g_settings ? g_settings->get_string("network", key) : std::string();
    return v.empty() ? fallback : v;
}

std::uint16_t network_port() {
    const int port = g_settings ? g_settings->get_int("network", "port") : 0;
    return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : default_net_port;
}

std::string text(const char* key, const char* fallback) {
    const std::string t = g_stringtable ? g_stringtable->get_string("network", key) : std::string();
    return t.empty() ? fallback : t;
}

// The orders of this machine's players go to the session from the battle screen.
void hook_orders() {
    g_order_input = [](const battle_order& o) { return g_net && g_net->request(o); };
}

// ---- 2. the widgets

// What the screen's status line says, for the report.
std::string g_status_shown;

struct net_screen {
    c_screen screen{&g_gui_settings};
    c_button* host_button = nullptr;
    c_button* seat[net_seats] = {};
    c_button* start_button = nullptr;
    c_button* give_line = nullptr; // address, port and code for the others
    c_namebox* address = nullptr;
    c_namebox* code = nullptr;
    c_button* join_button = nullptr;
    c_button* status_line = nullptr;
    c_button* back_button = nullptr;
    std::string problem; // a sentence of this screen (a host that cannot listen, a bad address)
    std::string give;    // what the host gives the others
    bool leave_wanted = false;

    net_screen() {
        const c_gui_settings* look = &g_gui_settings;
        screen.add<c_picture>(look, g_options_background);
        screen.add<c_button>(look, 0, 5, 800, 45, text("caption", "Play over the network"), 0, nullptr,
                             MODE_INACTIVE, 0x1Cu);
        host_button = screen.add<c_button>(look, 5, 55, 395, 105, text("host", "Host a battle (H)"), DIK_H,
                                           press_host, MODE_ACTIVE, 0x19u);
        for (int s = 0; s < net_seats; ++s)
            seat[s] = screen.add<c_button>(look, 5, 110 + 45 * s, 395, 150 + 45 * s, "", DIK_1 + s,
                                           press_seat, MODE_HIDDEN, 0x18u);
        start_button = screen.add<c_button>(look, 5, 250, 395, 300, text("start", "Start the battle (S)"),
                                            DIK_S, press_start, MODE_HIDDEN, 0x19u);
        screen.add<c_button>(look, 405, 55, 795, 85, text("address", "Host address (and :port)"), 0, nullptr,
                             MODE_INACTIVE, 0x1Cu);
        address = screen.add<c_namebox>(look, 405, 90, 795, 125, MODE_ACTIVE, 0x18u, size_t{100});
        screen.add<c_button>(look, 405, 135, 795, 165, text("code", "Join code"), 0, nullptr, MODE_INACTIVE,
                             0x1Cu);
        code = screen.add<c_namebox>(look, 405, 170, 795, 205, MODE_ACTIVE, 0x18u, max_join_code);
        join_button = screen.add<c_button>(look, 405, 215, 795, 265, text("join", "Join (J)"), DIK_J,
                                           press_join, MODE_ACTIVE, 0x19u);
        give_line = screen.add<c_button>(look, 5, 405, 795, 450, "", 0, nullptr, MODE_HIDDEN, 0x1Cu);
        status_line = screen.add<c_button>(look, 5, 455, 795, 495, "", 0, nullptr, MODE_INACTIVE, 0x1Cu);
        back_button = screen.add<c_button>(look, 600, 505, 795, 575, text("back", "Back (B)"), DIK_B,
                                           press_back, MODE_ACTIVE, 0x1Au);
        address->set_text(network_setting("last_host", ""));
        shown = this;
        if (g_offered.set) host();
    }
    ~net_screen() { shown = nullptr; }

    static net_screen* shown;

    static void press_host(c_button*) {
        if (shown) shown->host();
    }
    static void press_seat(c_button* b) {
        if (!shown || !g_net || !g_net->is_host()) return;
        for (int s = 0; s < net_seats; ++s)
            if (shown->seat[s] == b) static_cast<c_net_host&>(*g_net).toggle_seat(s);
    }
    static void press_start(c_button*) {
        if (!shown || !g_net || !g_net->is_host()) return;
        // The battle is made from where the random stream stands, as a battle at one table is,
        // unless a recorded one is continued.
        auto& host = static_cast<c_net_host&>(*g_net);
        if (g_offered.set)
            host.start(g_offered.seed, g_offered.past);
        else
            host.start(crt::get_seed());
        g_offered = offered_battle{};
    }
    static void press_join(c_button*) {
        if (shown) shown->join();
    }
    static void press_back(c_button*) {
        if (shown) shown->leave_wanted = true;
    }

    void host() {
        if (g_net) return;
        problem.clear();
        const std::string listen = network_setting("listen", "0.0.0.0");
        const std::uint16_t port = network_port();
        auto h = c_net_host::create(make_game_net_battle(), listen, port, make_join_code(), problem);
        if (!h) return;
        // Most battles are one player here and two elsewhere; a seat is taken back with its key.
        h->toggle_seat(1);
        h->toggle_seat(2);
        std::string where;
        for (const std::string& a : local_addresses())
            where += (where.empty() ? "" : ", ") + a;
        if (listen != "0.0.0.0" && listen != "::") where = listen;
        give = format_string("Give the others: %s, port %u, code %s", where.c_str(),
                             static_cast<unsigned>(h->port()), h->code().c_str());
        g_net = std::move(h);
        hook_orders();
    }

    void join() {
        if (g_net) return;
        problem.clear();
        std::string host_name;
        std::uint16_t port = network_port();
        if (!split_address(address->get_text(), host_name, port, problem)) return;
        if (code->get_text().empty()) {
            problem = "Type the join code the host gave you.";
            return;
        }
        // The address is offered again next time (settings.ini is written when the game ends).
        if (g_settings) {
            g_settings->set_section("network");
            g_settings->write_string("last_host", address->get_text());
        }
        g_net = c_net_guest::create(make_game_net_battle(), host_name, port, code->get_text());
        hook_orders();
    }

    std::string seat_label(int s) const {
        static const char* holders[] = {"open: waiting for a player", "played here", "played by a guest",
                                        "dropped"};
        const int h = g_net->holder(s);
        return format_string("%d: %s, %s", s + 1, g_net->battle().player_name(s).c_str(), holders[h]);
    }

    std::string status_text() const {
        if (!problem.empty()) return problem;
        if (!g_net) return text("hint", "Host a battle, or type a host's address and code and join it.");
        if (g_net->status() == NET_ENDED || g_net->status() == NET_STOPPED) return g_net->sentence();
        if (g_net->status() == NET_CONNECTING) return "Reaching the host...";
        if (g_net->is_host()) {
            const std::string continued =
                g_offered.set ? format_string("A recorded battle of %llu orders. ",
                                              static_cast<unsigned long long>(g_offered.past.size()))
                              : "";
            for (int s = 0; s < net_seats; ++s)
                if (g_net->holder(s) == SEAT_OPEN)
                    return continued + "Waiting for players to join (1, 2, 3 take a seat back).";
            return continued + "Every seat is held: S starts the battle.";
        }
        const int s = static_cast<c_net_guest&>(*g_net).seat();
        return s < 0 ? "Asking for a seat..."
                     : format_string("You play seat %d (%s). Waiting for the host to start.", s + 1,
                                     g_net->battle().player_name(s).c_str());
    }

    void set(c_widget* w, int mode) {
        if (w->get_mode() != mode) w->set_mode(mode);
    }
    void set_text(c_button* b, const std::string& t) {
        if (b->get_text() != t) b->set_text(t);
    }

    // Every frame before the widgets' update: what can be pressed now.
    void refresh() {
        const bool hosting = g_net && g_net->is_host() && g_net->status() == NET_LOBBY;
        const bool idle = !g_net || g_net->status() == NET_ENDED || g_net->status() == NET_STOPPED;
        set(host_button, idle ? MODE_ACTIVE : MODE_INACTIVE);
        set(join_button, idle ? MODE_ACTIVE : MODE_INACTIVE);
        // What was typed stays readable while a session is on, but cannot change under it.
        set(address, idle ? MODE_ACTIVE : MODE_INACTIVE);
        set(code, idle ? MODE_ACTIVE : MODE_INACTIVE);
        for (int s = 0; s < net_seats; ++s) {
            set(seat[s], hosting ? MODE_ACTIVE : MODE_HIDDEN);
            if (hosting) set_text(seat[s], seat_label(s));
        }
        bool open = false;
        for (int s = 0; hosting && s < net_seats; ++s)
            open = open || g_net->holder(s) == SEAT_OPEN;
        set(start_button, hosting ? (open ? MODE_INACTIVE : MODE_ACTIVE) : MODE_HIDDEN);
        set(give_line, hosting ? MODE_INACTIVE : MODE_HIDDEN);
        set_text(give_line, give);
        g_status_shown = status_text();
        set_text(status_line, g_status_shown);
    }
};

net_screen* net_screen::shown = nullptr;

// ---- 3. one frame

void enter_battle_screen() {
    gameplay_initial_view(get_screen());
    g_game_state = GS_GAMEPLAY;
}

// `typing`: a box had the focus before this frame's update (Escape then only leaves the box).
void after_update(net_screen& s, bool typing) {
    if ((s.address->was_entered() || s.code->was_entered()) && !g_net) s.join();
    if (key_pressed(DIK_ESCAPE) && !typing) s.leave_wanted = true;
    if (s.leave_wanted) {
        g_offered = offered_battle{};
        net_leave();
        g_game_state = GS_MAINMENU;
        return;
    }
    // A guest's battle is built when the host starts it; a host's when it presses start.
    if (g_net && g_net->status() == NET_PLAYING) enter_battle_screen();
    // A session that ended leaves its sentence on the screen and makes way for another.
    if (g_net && (g_net->status() == NET_ENDED || g_net->status() == NET_STOPPED)) {
        s.problem = g_net->sentence();
        net_leave();
    }
}

} // namespace

void gs_network() {
    net_screen s;
    if (g_cursors) g_cursors->set_cursor(CURSOR_ARROW);
    restart_interpolator();
    while (g_game_state == GS_NETWORK) {
        check_device();
        if (s.screen.reset_since_last_check()) s.screen.root()->layout();
        g_core->frame_begin(0xFF000000);
        read_frame_input();
        if (g_net) g_net->poll();
        s.refresh();
        const bool typing = gui_text_focus();
        s.screen.update();
        g_interpolator->drawing = true;
        s.screen.root()->draw();
        g_gfx->flush();
        if (g_cursors) g_cursors->draw();
        g_gfx->flush();
        g_interpolator->drawing = false;
        while (g_interpolator->sync(33, static_cast<int>(state_time()))) {
        }
        if (g_frame_hook) g_frame_hook();
        g_core->frame_end();
        after_update(s, typing);
        handle_close_request();
    }
}

// ---- 4. the report

std::string net_report() {
    std::string screen_line;
    if (g_game_state == GS_NETWORK) screen_line = "network_status=" + g_status_shown + "\n";
    if (!g_net) return screen_line;
    static const char* statuses[] = {"connecting", "lobby", "playing", "stopped", "ended"};
    std::string seats;
    static const char* holders[] = {"open", "host", "guest", "missing"};
    for (int s = 0; s < net_seats; ++s)
        seats += std::string(s ? "," : "") + holders[g_net->holder(s)];
    std::string r =
        format_string("net=%s\nnet_status=%s\nnet_seats=%s\n", g_net->is_host() ? "host" : "guest",
                      statuses[g_net->status()], seats.c_str());
    if (g_net->is_host()) {
        const auto& h = static_cast<const c_net_host&>(*g_net);
        r += format_string("net_port=%u\nnet_code=%s\n", static_cast<unsigned>(h.port()), h.code().c_str());
    } else {
        r += format_string("net_seat=%d\n", static_cast<const c_net_guest&>(*g_net).seat());
    }
    r += format_string("net_turn=%d\nnet_hash=%016llx\nnet_orders=%llu\nnet_input=%d\nnet_notice=%s\n",
                       g_net->last_turn(), static_cast<unsigned long long>(g_net->last_turn_hash()),
                       static_cast<unsigned long long>(g_net->orders_applied()), g_net->takes_input() ? 1 : 0,
                       g_net->notice().c_str());
    return screen_line + r;
}
