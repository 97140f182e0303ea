// A battle shared over the network, in lockstep.
//
// The host numbers every order and fixes the update step at which all machines carry it out.
// Before each step a machine carries out the orders due at it; the host also sends, once a
// frame, its horizon: the step it has reached. No guest runs a step at or past the horizon it
// has received, so every order reaches every machine before its step, and all machines go
// through the same steps with the same orders: the same battle, the same animations.
//
// An order is given only by the machine of the player whose turn it is, only when its battle has
// no order due, is quiet (nothing in action) and has no order of its own still on the way. As no
// order lies between its step and the horizon, and a quiet battle stays as it is from step to
// step, the host's battle is then exactly what the guest saw, so the host judges a request by
// the same rules as local input, and a request those rules refuse is not a slow peer but a
// hostile or broken one: it is dropped.
//
// At each turn's end every guest sends the host the hash of its battle; one that differs stops
// the battle with a sentence naming the turn. A guest that drops pauses the battle until it
// rejoins (the host sends it the seed and every order so far, and it catches up) or the host
// takes its seat over. A host that disappears ends the battle for its guests.
//
// Index: 1. what a session needs of a battle; 2. the session; 3. the host; 4. the guest.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "game/net/link.h"
#include "game/net/protocol.h"

// ---- 1. what a session needs of a battle

class c_net_battle {
  public:
    virtual ~c_net_battle() = default;
    // Builds the battle of `seed` at step 0, with its record.
    virtual void build(std::uint32_t seed) = 0;
    // The fingerprint of this machine's rules: machines with other rules make other battles.
    virtual std::uint64_t rules() const = 0;
    virtual std::uint32_t step() const = 0;
    virtual int current() const = 0; // whose turn, -1 for nobody's
    virtual int turns() const = 0;
    // Nothing in action: a step now would change nothing but pictures.
    virtual bool quiet() const = 0;
    virtual std::uint64_t hash() const = 0;
    // Why the battle would not take the order now ("" when it would).
    virtual std::string refusal(const battle_order& o) const = 0;
    // Carries the order out (false when refused).
    virtual bool apply(const battle_order& o) = 0;
    // One update step; `fast` keeps no pictures (catching up).
    virtual void run_step(bool fast) = 0;
    // Moves the clock over quiet steps to `step`.
    virtual void skip_to(std::uint32_t step) = 0;
    virtual std::string player_name(int seat) const = 0;
};

// The battle of the program (the globals start_battle builds), recorded as it is played.
std::unique_ptr<c_net_battle> make_game_net_battle();

// ---- 2. the session

enum net_status : int {
    NET_CONNECTING = 0, // a guest reaching its host
    NET_LOBBY = 1,      // seats being taken
    NET_PLAYING = 2,
    NET_STOPPED = 3, // the battles went apart, or a peer broke the rules of play: sentence() says
    NET_ENDED = 4,   // the host left or could not be reached, or the join was refused: sentence()
};

class c_net_session {
  public:
    virtual ~c_net_session() = default;
    c_net_session(const c_net_session&) = delete;
    c_net_session& operator=(const c_net_session&) = delete;

    virtual bool is_host() const = 0;
    // Once a frame, before the update steps: what arrived is handled (a battle may be built);
    // the host sends its horizon.
    void poll();
    // Whether an update step may run now: a battle is played, no seat is missing, and a guest
    // is behind its horizon.
    bool may_step() const;
    // Before each update step: the orders due at it. After it: a turn that ended is reported.
    void before_step();
    void after_step();
    // A guest that is far behind (it rejoined) runs what it missed without pictures, at most
    // `max_steps` steps.
    void catch_up(std::uint32_t max_steps);
    std::uint32_t steps_behind() const;
    // A guest has an order it may reach now (its step lies within the horizon): running up to it
    // at once, rather than at the pace of the clock, shows it a step or two sooner.
    bool order_in_reach() const;

    // Whether this machine's mouse and keys give the orders now (its player's turn, no order
    // due, quiet, no order of its own on the way).
    bool takes_input() const;
    // An order of this machine's player: sent to the host (the host takes it at once). False
    // when it is not taken.
    virtual bool request(const battle_order& o) = 0;
    // Leaves: the others are told, the connections closed.
    virtual void leave() = 0;

    int status() const { return status_; }
    const std::string& sentence() const { return sentence_; }
    int holder(int seat) const { return holders_[seat]; }
    // The seats played at this machine.
    bool plays(int seat) const;
    // "" or the sentence a banner shows: a missing player waited for, the battle stopped.
    std::string notice() const;
    // The last turn that ended and the state hash of the battle then.
    int last_turn() const { return last_turn_; }
    std::uint64_t last_turn_hash() const { return last_hash_; }
    std::uint32_t horizon() const { return horizon_; }
    size_t orders_applied() const { return applied_; }
    // What happened: joins, drops and why, refused orders.
    const std::vector<std::string>& log() const { return log_; }
    c_net_battle& battle() { return *battle_; }

  protected:
    c_net_session(std::unique_ptr<c_net_battle> battle, std::unique_ptr<c_net_link> link);
    virtual void handle(const net_event& e) = 0;
    virtual void turn_ended(int turn, std::uint64_t hash) = 0;
    virtual void frame_begins() {}
    void note(const std::string& line);
    void stop(int status, const std::string& sentence);
    // Builds the battle; the order queue starts empty.
    void begin_battle(std::uint32_t seed);
    void check_turn();

    std::unique_ptr<c_net_battle> battle_;
    std::unique_ptr<c_net_link> link_;
    int status_ = NET_LOBBY;
    std::string sentence_;
    int holders_[net_seats] = {SEAT_OPEN, SEAT_OPEN, SEAT_OPEN};
    int my_seat_ = -1;            // a guest's seat
    std::deque<net_message> due_; // orders not yet carried out, in their order
    std::uint32_t horizon_ = 0;
    std::uint32_t next_number_ = 1;
    bool waiting_ = false; // an order of this machine is on the way
    int turns_seen_ = 0;
    int last_turn_ = -1;
    std::uint64_t last_hash_ = 0;
    size_t applied_ = 0;
    std::vector<std::string> log_;
};

// The network session of the battle being played (null in a battle at one table).
extern std::unique_ptr<c_net_session> g_net;

// ---- 3. the host

class c_net_host : public c_net_session {
  public:
    // Listens at `address`:`port` (0: a free port). Null with `error` set when it cannot.
    // `code` is the join code guests must give.
    static std::unique_ptr<c_net_host> create(std::unique_ptr<c_net_battle> battle,
                                              const std::string& address, std::uint16_t port,
                                              const std::string& code, std::string& error);
    bool is_host() const override { return true; }
    std::uint16_t port() const { return link_->port(); }
    const std::string& code() const { return code_; }

    // Before the battle: a seat of this machine is opened, an open one taken back. During it: a
    // missing guest's seat is taken over by this machine. False when the seat cannot change so.
    bool toggle_seat(int seat);
    // Every seat is held: the seed is made (or given) and sent, the battle built. False when a
    // seat is still open or the battle began already. A battle continued (from its record) gives
    // the orders it was played with: the host carries them out at their steps first, and the
    // guests catch up with them as a guest that rejoins does.
    struct past_order {
        std::uint32_t step = 0;
        battle_order order;
    };
    bool start(std::uint32_t seed, const std::vector<past_order>& past = {});
    bool request(const battle_order& o) override;
    void leave() override;

    // A connection that has not greeted (asked for a seat) this long after it was made is dropped,
    // so idle connections cannot pile up.
    void set_greeting_limit(int ms) { greeting_limit_ms_ = ms; }

    // Why the host would refuse this order from `seat` now, or "": a battle being played, the
    // seat's own player, its turn, no order of it still due, and the battle's own rules.
    std::string request_refusal(int seat, const battle_order& o) const;

  protected:
    using c_net_session::c_net_session;
    void handle(const net_event& e) override;
    void turn_ended(int turn, std::uint64_t hash) override;
    void frame_begins() override;

  private:
    void greet(int peer, const net_message& m);
    void take_request(int peer, const net_message& m);
    void compare_turn(int peer, const net_message& m);
    void drop(int peer, const std::string& why);
    void peer_gone(int peer, const std::string& why);
    void send_all(const net_message& m);
    void send_seats();
    void number_order(const battle_order& o);
    void replay();
    std::string peer_name(int peer) const;

    std::string code_;
    std::map<int, int> peer_seat_;                                   // peers greeted, with their seat
    std::map<int, std::chrono::steady_clock::time_point> ungreeted_; // connected, not greeted yet
    int greeting_limit_ms_ = 10000;
    std::vector<net_message> history_;
    std::map<int, std::uint64_t> turn_hashes_;
    std::uint32_t seed_ = 0;
    std::uint32_t horizon_sent_ = 0;
    bool horizon_ever_sent_ = false;
};

// ---- 4. the guest

class c_net_guest : public c_net_session {
  public:
    // Connects to `host`:`port` in the background and asks for a seat with `code`.
    static std::unique_ptr<c_net_guest> create(std::unique_ptr<c_net_battle> battle, const std::string& host,
                                               std::uint16_t port, const std::string& code);
    bool is_host() const override { return false; }
    int seat() const { return my_seat_; }
    bool request(const battle_order& o) override;
    void leave() override;

  protected:
    using c_net_session::c_net_session;
    void handle(const net_event& e) override;
    void turn_ended(int turn, std::uint64_t hash) override;

  private:
    void take(const net_message& m);
    void fault(const std::string& what);
    std::string code_;
};
