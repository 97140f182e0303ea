// The connections of a network battle: a host listening for guests, or a guest connected to its
// host. The sockets live on a thread of their own (an asio io_context runs there); whatever
// arrives is decoded there and waits in a queue until the main thread polls it, once a frame.
// Nothing here touches the battle: the sessions on the main thread do.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/net/protocol.h"

struct net_event {
    enum kind_t : int { CONNECTED = 0, MESSAGE = 1, CLOSED = 2 };
    int kind = CLOSED;
    int peer = -1; // the host is peer 0 of a guest's link
    net_message message;
    // CLOSED: what happened ("the connection was closed", "sent an order of unknown kind" ...)
    std::string reason;
    bool fault = false; // CLOSED because the peer broke the protocol
};

class c_net_link {
  public:
    ~c_net_link();
    c_net_link(const c_net_link&) = delete;
    c_net_link& operator=(const c_net_link&) = delete;

    // Listens on `address` ("127.0.0.1", "::", "0.0.0.0" ...) at `port` (0: any free port). Null
    // with `error` set to a sentence when it cannot.
    static std::unique_ptr<c_net_link> listen(const std::string& address, std::uint16_t port,
                                              std::string& error);
    // Connects to `host` (a name, an IPv4 or IPv6 address) at `port` in the background: peer 0
    // becomes CONNECTED, or CLOSED with the reason.
    static std::unique_ptr<c_net_link> connect(const std::string& host, std::uint16_t port);

    // Queues a message for a peer (nothing for a peer that is gone).
    void send(int peer, const net_message& m);
    // Queues bytes as they stand (tests send garbage with it).
    void send_bytes(int peer, std::string bytes);
    // Sends what is queued for the peer, then closes its connection. No event follows for it.
    void close(int peer);
    // The next event, false when none waits. Main thread only.
    bool poll(net_event& e);
    // The port listened on (0 for a guest's link).
    std::uint16_t port() const;

    struct impl;

  private:
    explicit c_net_link(std::shared_ptr<impl> i);
    std::shared_ptr<impl> impl_;
};

// The addresses others may reach this machine at (its name first, then its IPv4 and IPv6
// addresses as its name resolves, loopback left out), for the host to give its guests. Never
// raises; at least the machine's name.
std::vector<std::string> local_addresses();

// Splits "host", "host:port", "[v6 address]:port" or a bare IPv6 address into host and port
// (`port` keeps its value when none is given). False, with a sentence in `error`, for a port
// that is no number in 1..65535 or an empty host.
bool split_address(const std::string& text, std::string& host, std::uint16_t& port, std::string& error);
