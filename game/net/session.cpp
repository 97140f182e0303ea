// Lockstep sessions: what both sides share, the host, the guest.
//
// Index: 1. the session; 2. the host; 3. the guest.
#include "game/net/session.h"

#include <cstdio>

#include "framework/misc.h"

std::unique_ptr<c_net_session> g_net;

// ---- 1. the session

c_net_session::c_net_session(std::unique_ptr<c_net_battle> battle, std::unique_ptr<c_net_link> link)
    : battle_(std::move(battle)), link_(std::move(link)) {}

void c_net_session::note(const std::string& line) {
    log_.push_back(line);
    std::fprintf(stderr, "harnvale: network: %s\n", line.c_str());
}

void c_net_session::stop(int status, const std::string& sentence) {
    if (status_ == NET_STOPPED || status_ == NET_ENDED) return;
    status_ = status;
    sentence_ = sentence;
    note(sentence);
}

void c_net_session::poll() {
    frame_begins();
    net_event e;
    // A frame handles what has arrived, not what keeps arriving while it does.
    for (int n = 0; n < 10000 && link_ && link_->poll(e); ++n)
        handle(e);
}

bool c_net_session::plays(int seat) const {
    if (seat < 0 || seat >= net_seats) return false;
    return is_host() ? holders_[seat] == SEAT_HOST : seat == my_seat_;
}

bool c_net_session::may_step() const {
    if (status_ != NET_PLAYING) return false;
    for (int holder : holders_)
        if (holder == SEAT_MISSING) return false;
    return is_host() || battle_->step() < horizon_;
}

std::uint32_t c_net_session::steps_behind() const {
    if (is_host() || status_ != NET_PLAYING || battle_->step() >= horizon_) return 0;
    return horizon_ - battle_->step();
}

bool c_net_session::order_in_reach() const {
    return !is_host() && status_ == NET_PLAYING && !due_.empty() && due_.front().step <= horizon_ &&
           due_.front().step > battle_->step();
}

void c_net_session::begin_battle(std::uint32_t seed) {
    battle_->build(seed);
    due_.clear();
    next_number_ = 1;
    horizon_ = 0;
    waiting_ = false;
    applied_ = 0;
    turns_seen_ = battle_->turns();
    last_turn_ = -1;
    last_hash_ = 0;
    status_ = NET_PLAYING;
}

void c_net_session::check_turn() {
    const int turns = battle_->turns();
    if (turns == turns_seen_) return;
    turns_seen_ = turns;
    last_turn_ = turns;
    last_hash_ = battle_->hash();
    turn_ended(turns, last_hash_);
}

void c_net_session::before_step() {
    while (status_ == NET_PLAYING && !due_.empty() && due_.front().step <= battle_->step()) {
        const net_message m = due_.front();
        due_.pop_front();
        // Every machine refuses the same orders at the same moment, so a refusal here keeps
        // the battles equal; it is only worth a line in the log.
        const std::string why = battle_->refusal(m.order);
        if (why.empty())
            battle_->apply(m.order);
        else
            note(format_string("order %u was not carried out: it %s", m.number, why.c_str()));
        ++applied_;
        if (plays(m.order.player)) waiting_ = false;
        check_turn();
    }
}

void c_net_session::after_step() {
    if (status_ == NET_PLAYING) check_turn();
}

void c_net_session::catch_up(std::uint32_t max_steps) {
    for (std::uint32_t n = 0; n < max_steps && may_step(); ++n) {
        before_step();
        if (!may_step()) return;
        const std::uint32_t to = due_.empty() ? horizon_ : std::min(horizon_, due_.front().step);
        if (battle_->quiet() && to > battle_->step()) {
            battle_->skip_to(to);
            continue;
        }
        battle_->run_step(true);
        after_step();
    }
}

bool c_net_session::takes_input() const {
    if (status_ != NET_PLAYING || waiting_ || !due_.empty() || !plays(battle_->current())) return false;
    for (int holder : holders_)
        if (holder == SEAT_MISSING) return false;
    // A guest a step or two behind its horizon sees the host's battle: no order lies between
    // (none is due), and a quiet battle stays as it is from step to step.
    return battle_->quiet();
}

std::string c_net_session::notice() const {
    if (status_ == NET_STOPPED || status_ == NET_ENDED) return sentence_;
    if (status_ != NET_PLAYING) return "";
    for (int seat = 0; seat < net_seats; ++seat)
        if (holders_[seat] == SEAT_MISSING)
            return format_string(
                is_host() ? "%s has dropped: waiting for the player to rejoin (T takes the seat over)"
                          : "%s has dropped: waiting for the player to rejoin",
                battle_->player_name(seat).c_str());
    return "";
}

// ---- 2. the host

std::unique_ptr<c_net_host> c_net_host::create(std::unique_ptr<c_net_battle> battle,
                                               const std::string& address, std::uint16_t port,
                                               const std::string& code, std::string& error) {
    auto link = c_net_link::listen(address, port, error);
    if (!link) return nullptr;
    std::unique_ptr<c_net_host> h(new c_net_host(std::move(battle), std::move(link)));
    h->code_ = code;
    for (int& holder : h->holders_)
        holder = SEAT_HOST;
    h->note(format_string("hosting on %s port %u", address.c_str(), static_cast<unsigned>(h->port())));
    return h;
}

std::string c_net_host::peer_name(int peer) const {
    const auto it = peer_seat_.find(peer);
    if (it == peer_seat_.end()) return format_string("peer %d", peer);
    return format_string("peer %d (%s)", peer, battle_->player_name(it->second).c_str());
}

void c_net_host::send_all(const net_message& m) {
    for (const auto& [peer, seat] : peer_seat_)
        link_->send(peer, m);
}

void c_net_host::send_seats() {
    net_message m;
    m.type = MSG_SEATS;
    for (int s = 0; s < net_seats; ++s)
        m.holders[s] = holders_[s];
    send_all(m);
}

void c_net_host::drop(int peer, const std::string& why) {
    note("dropped " + peer_name(peer) + ": it " + why);
    net_message bye;
    bye.type = MSG_BYE;
    bye.text = "The host dropped this machine: it " + why + ".";
    link_->send(peer, bye);
    link_->close(peer);
    peer_gone(peer, "");
}

void c_net_host::peer_gone(int peer, const std::string& why) {
    const auto it = peer_seat_.find(peer);
    if (!why.empty()) note(peer_name(peer) + " left: " + why);
    if (it == peer_seat_.end()) return;
    const int seat = it->second;
    peer_seat_.erase(it);
    if (seat >= 0) holders_[seat] = status_ == NET_PLAYING ? SEAT_MISSING : SEAT_OPEN;
    send_seats();
}

void c_net_host::handle(const net_event& e) {
    if (e.kind == net_event::CONNECTED) {
        note(format_string("peer %d connected", e.peer));
        ungreeted_[e.peer] = std::chrono::steady_clock::now();
        return;
    }
    if (e.kind == net_event::CLOSED) ungreeted_.erase(e.peer);
    if (e.kind == net_event::CLOSED) {
        if (e.fault) note("dropped " + peer_name(e.peer) + ": it " + e.reason);
        peer_gone(e.peer, e.fault ? "" : e.reason);
        return;
    }
    const net_message& m = e.message;
    switch (m.type) {
    case MSG_HELLO:
        greet(e.peer, m);
        break;
    case MSG_REQUEST:
        take_request(e.peer, m);
        break;
    case MSG_TURN:
        compare_turn(e.peer, m);
        break;
    case MSG_BYE:
        link_->close(e.peer);
        peer_gone(e.peer, m.text.empty() ? "it left" : m.text);
        break;
    default:
        drop(e.peer, "sent a message only a host sends");
        break;
    }
}

void c_net_host::greet(int peer, const net_message& m) {
    if (peer_seat_.count(peer)) return drop(peer, "greeted twice");
    ungreeted_.erase(peer);
    auto refuse = [&](const std::string& why) {
        note(format_string("peer %d refused: %s", peer, why.c_str()));
        net_message r;
        r.type = MSG_REFUSE;
        r.text = why;
        link_->send(peer, r);
        link_->close(peer);
    };
    if (m.version != net_protocol_version)
        return refuse("The host plays another version of the network game.");
    if (m.text != code_) return refuse("The join code is wrong.");
    if (status_ != NET_LOBBY && status_ != NET_PLAYING) return refuse("The battle is over.");
    const int wanted = status_ == NET_PLAYING ? SEAT_MISSING : SEAT_OPEN;
    int seat = -1;
    for (int s = 0; s < net_seats && seat < 0; ++s)
        if (holders_[s] == wanted) seat = s;
    if (seat < 0) return refuse("The battle has no free seat.");
    holders_[seat] = SEAT_GUEST;
    peer_seat_[peer] = seat;
    note(format_string("peer %d joined at seat %d", peer, seat + 1));
    net_message w;
    w.type = MSG_WELCOME;
    w.seat = seat;
    link_->send(peer, w);
    send_seats();
    if (status_ != NET_PLAYING) return;
    // A player rejoining gets the battle from its start and catches up.
    net_message s;
    s.type = MSG_START;
    s.seed = seed_;
    s.rules = battle_->rules();
    link_->send(peer, s);
    for (const net_message& o : history_)
        link_->send(peer, o);
    net_message h;
    h.type = MSG_HORIZON;
    h.step = battle_->step();
    link_->send(peer, h);
}

std::string c_net_host::request_refusal(int seat, const battle_order& o) const {
    if (status_ != NET_PLAYING) return "gave an order while no battle was played";
    if (o.player != seat) return "gave an order for a seat it does not hold";
    const std::string shape = order_shape_refusal(o);
    if (!shape.empty()) return "sent " + shape;
    if (battle_->current() != seat) return "gave an order out of its turn";
    for (const net_message& m : due_)
        if (m.order.player == seat) return "gave an order before its last one was carried out";
    const std::string why = battle_->refusal(o);
    if (!why.empty()) return "gave an order that " + why;
    return "";
}

void c_net_host::number_order(const battle_order& o) {
    net_message m;
    m.type = MSG_ORDER;
    m.number = next_number_++;
    // Carried out before the next step the host runs: no guest has run that step yet, as the
    // horizon it has been sent is the host's own step.
    m.step = battle_->step();
    m.order = o;
    history_.push_back(m);
    due_.push_back(m);
    send_all(m);
}

void c_net_host::take_request(int peer, const net_message& m) {
    const auto it = peer_seat_.find(peer);
    if (it == peer_seat_.end()) return drop(peer, "gave an order before it had a seat");
    const std::string why = request_refusal(it->second, m.order);
    if (!why.empty()) return drop(peer, why);
    number_order(m.order);
}

bool c_net_host::request(const battle_order& o) {
    if (!plays(o.player) || !takes_input() || !request_refusal(o.player, o).empty()) return false;
    waiting_ = true;
    number_order(o);
    return true;
}

void c_net_host::turn_ended(int turn, std::uint64_t hash) {
    turn_hashes_[turn] = hash;
}

void c_net_host::compare_turn(int peer, const net_message& m) {
    if (!peer_seat_.count(peer)) return drop(peer, "reported a turn before it had a seat");
    const auto it = turn_hashes_.find(static_cast<int>(m.turn));
    if (status_ != NET_PLAYING || it == turn_hashes_.end())
        return drop(peer, format_string("reported the end of turn %u, which was not played", m.turn));
    if (it->second == m.hash) return;
    const std::string sentence = format_string(
        "The battles went apart at the end of turn %u: %s no longer sees the battle this machine sees. "
        "The battle is stopped.",
        m.turn, battle_->player_name(peer_seat_[peer]).c_str());
    net_message s;
    s.type = MSG_STOP;
    s.text = sentence;
    send_all(s);
    stop(NET_STOPPED, sentence);
}

void c_net_host::frame_begins() {
    const auto now = std::chrono::steady_clock::now();
    for (auto it = ungreeted_.begin(); it != ungreeted_.end();) {
        const int peer = it->first;
        const bool late = now - it->second > std::chrono::milliseconds(greeting_limit_ms_);
        it = late ? ungreeted_.erase(it) : std::next(it);
        if (late) drop(peer, "did not greet in time");
    }
    if (status_ != NET_PLAYING) return;
    const std::uint32_t step = battle_->step();
    if (horizon_ever_sent_ && step == horizon_sent_) return;
    horizon_ever_sent_ = true;
    horizon_sent_ = step;
    horizon_ = step;
    net_message h;
    h.type = MSG_HORIZON;
    h.step = step;
    send_all(h);
}

bool c_net_host::toggle_seat(int seat) {
    if (seat < 0 || seat >= net_seats) return false;
    int& holder = holders_[seat];
    if (status_ == NET_LOBBY && (holder == SEAT_HOST || holder == SEAT_OPEN)) {
        holder = holder == SEAT_HOST ? SEAT_OPEN : SEAT_HOST;
    } else if (status_ == NET_PLAYING && holder == SEAT_MISSING) {
        holder = SEAT_HOST;
        note(format_string("this machine took over seat %d", seat + 1));
    } else {
        return false;
    }
    send_seats();
    return true;
}

bool c_net_host::start(std::uint32_t seed, const std::vector<past_order>& past) {
    if (status_ != NET_LOBBY) return false;
    for (int holder : holders_)
        if (holder == SEAT_OPEN) return false;
    seed_ = seed;
    history_.clear();
    turn_hashes_.clear();
    begin_battle(seed);
    for (const past_order& p : past) {
        net_message m;
        m.type = MSG_ORDER;
        m.number = next_number_++;
        m.step = p.step;
        m.order = p.order;
        history_.push_back(m);
        due_.push_back(m);
    }
    replay();
    horizon_ever_sent_ = false;
    net_message s;
    s.type = MSG_START;
    s.seed = seed;
    s.rules = battle_->rules();
    send_all(s);
    for (const net_message& o : history_)
        send_all(o);
    note(format_string("the battle of seed %u began (%llu orders played before)", seed,
                       static_cast<unsigned long long>(past.size())));
    return true;
}

// The orders of a continued battle at their steps, quiet steps skipped and no pictures kept,
// then the steps that finish what the last one began.
void c_net_host::replay() {
    constexpr std::uint32_t max_steps = 50000000;
    for (std::uint32_t n = 0; n < max_steps && status_ == NET_PLAYING; ++n) {
        before_step();
        const std::uint32_t step = battle_->step();
        if (due_.empty() && battle_->quiet()) return;
        const std::uint32_t to = due_.empty() ? step : due_.front().step;
        if (battle_->quiet() && to > step) {
            battle_->skip_to(to);
            continue;
        }
        battle_->run_step(true);
        after_step();
    }
}

void c_net_host::leave() {
    net_message bye;
    bye.type = MSG_BYE;
    bye.text = "The host has left.";
    for (const auto& [peer, seat] : peer_seat_) {
        link_->send(peer, bye);
        link_->close(peer);
    }
    peer_seat_.clear();
    status_ = NET_ENDED;
}

// ---- 3. the guest

std::unique_ptr<c_net_guest> c_net_guest::create(std::unique_ptr<c_net_battle> battle,
                                                 const std::string& host, std::uint16_t port,
                                                 const std::string& code) {
    std::unique_ptr<c_net_guest> g(new c_net_guest(std::move(battle), c_net_link::connect(host, port)));
    g->code_ = code;
    g->status_ = NET_CONNECTING;
    return g;
}

void c_net_guest::fault(const std::string& what) {
    link_->close(0);
    stop(NET_STOPPED, "The host " + what + "; this machine left the battle. Its record is kept.");
}

void c_net_guest::handle(const net_event& e) {
    if (e.kind == net_event::CONNECTED) {
        net_message hello;
        hello.type = MSG_HELLO;
        hello.text = code_;
        link_->send(0, hello);
        return;
    }
    if (e.kind == net_event::CLOSED) {
        if (e.fault) return fault(e.reason);
        if (status_ == NET_CONNECTING)
            stop(NET_ENDED, "Unable to reach the host: " + e.reason + ".");
        else if (status_ == NET_PLAYING)
            stop(NET_ENDED, "The host has gone; the battle is over for this machine. Its record is kept.");
        else
            stop(NET_ENDED, "The host has gone.");
        return;
    }
    take(e.message);
}

void c_net_guest::take(const net_message& m) {
    switch (m.type) {
    case MSG_WELCOME:
        my_seat_ = m.seat;
        if (status_ == NET_CONNECTING) status_ = NET_LOBBY;
        return;
    case MSG_REFUSE:
        link_->close(0);
        return stop(NET_ENDED, m.text.empty() ? std::string("The host refused this machine.") : m.text);
    case MSG_SEATS:
        for (int s = 0; s < net_seats; ++s)
            holders_[s] = m.holders[s];
        return;
    case MSG_START:
        if (my_seat_ < 0) return fault("began a battle before giving this machine a seat");
        if (m.rules != battle_->rules()) {
            link_->close(0);
            return stop(NET_ENDED,
                        "The host plays by other rules (its DATA/rules.ini differs from this one's); "
                        "the battle cannot be shared.");
        }
        begin_battle(m.seed);
        return;
    case MSG_ORDER:
        if (status_ != NET_PLAYING) return fault("sent an order outside a battle");
        if (m.number != next_number_) return fault("sent the orders out of their sequence");
        if (m.step < battle_->step() || m.step < horizon_ || (!due_.empty() && m.step < due_.back().step))
            return fault("sent an order for a step already run");
        ++next_number_;
        due_.push_back(m);
        return;
    case MSG_HORIZON:
        if (status_ != NET_PLAYING) return fault("sent a horizon outside a battle");
        if (m.step < horizon_) return fault("moved its horizon back");
        horizon_ = m.step;
        return;
    case MSG_STOP:
        return stop(NET_STOPPED, m.text);
    case MSG_BYE:
        link_->close(0);
        return stop(NET_ENDED, (m.text.empty() ? std::string("The host has left.") : m.text) +
                                   " The battle is over for this machine; its record is kept.");
    default:
        return fault("sent a message only a guest sends");
    }
}

bool c_net_guest::request(const battle_order& o) {
    if (!plays(o.player) || !takes_input() || !battle_->refusal(o).empty()) return false;
    waiting_ = true;
    net_message m;
    m.type = MSG_REQUEST;
    m.order = o;
    link_->send(0, m);
    return true;
}

void c_net_guest::turn_ended(int turn, std::uint64_t hash) {
    net_message m;
    m.type = MSG_TURN;
    m.turn = static_cast<std::uint32_t>(turn);
    m.step = battle_->step();
    m.hash = hash;
    link_->send(0, m);
}

void c_net_guest::leave() {
    net_message bye;
    bye.type = MSG_BYE;
    bye.text = "The player left.";
    link_->send(0, bye);
    link_->close(0);
    status_ = NET_ENDED;
}
