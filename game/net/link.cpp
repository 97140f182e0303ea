// The connections on asio's thread.
//
// Index: 1. the shared state; 2. a connection; 3. listening and connecting; 4. the main thread's
// side.
#include "game/net/link.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#ifndef ASIO_STANDALONE
#define ASIO_STANDALONE
#endif
#ifndef ASIO_NO_DEPRECATED
#define ASIO_NO_DEPRECATED
#endif
#include <asio.hpp>

using asio::ip::tcp;

namespace {
// Events not yet taken by the main thread; a peer that makes more than this wait is dropped,
// so no peer can fill the memory by sending faster than the game reads.
constexpr size_t max_waiting_events = 4096;
// Connections at once; more are closed as soon as they are made.
constexpr size_t max_peers = 32;
// Bytes queued for one peer; a peer that reads slower than this falls behind is dropped.
constexpr size_t max_queued_bytes = 4u << 20;
} // namespace

// ---- 1. the shared state

struct c_net_link::impl : std::enable_shared_from_this<c_net_link::impl> {
    struct connection;

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{asio::make_work_guard(io)};
    std::unique_ptr<tcp::acceptor> acceptor;
    // A guest's connection while it is being made, so that leaving does not wait for it.
    std::shared_ptr<tcp::resolver> resolver;
    std::shared_ptr<tcp::socket> connecting;
    std::uint16_t port = 0;
    std::map<int, std::shared_ptr<connection>> peers; // asio's thread only
    int next_peer = 1;
    std::thread thread;

    std::mutex mutex; // guards what follows
    std::deque<net_event> inbox;

    void push(net_event e) {
        std::lock_guard<std::mutex> lock(mutex);
        inbox.push_back(std::move(e));
    }
    bool crowded() {
        std::lock_guard<std::mutex> lock(mutex);
        return inbox.size() > max_waiting_events;
    }
    void accept();
    void start(int id, tcp::socket socket);
    void drop(int id, std::string reason, bool fault, bool tell);
};

// ---- 2. a connection

struct c_net_link::impl::connection : std::enable_shared_from_this<connection> {
    connection(std::shared_ptr<impl> o, int i, tcp::socket s)
        : owner(std::move(o)), id(i), socket(std::move(s)) {}
    std::weak_ptr<impl> owner;
    int id;
    tcp::socket socket;
    c_message_reader reader;
    std::array<char, 2048> buffer{};
    std::deque<std::string> queue;
    size_t queued = 0;
    bool writing = false, closing = false, closed = false;

    void read() {
        auto self = shared_from_this();
        socket.async_read_some(asio::buffer(buffer), [self](const asio::error_code& ec, size_t n) {
            if (self->closed || self->closing) return;
            auto o = self->owner.lock();
            if (!o) return;
            if (ec) {
                o->drop(self->id, ec == asio::error::eof ? "the connection was closed" : ec.message(), false,
                        !self->closing);
                return;
            }
            self->reader.append(self->buffer.data(), n);
            net_message m;
            int r;
            while ((r = self->reader.next(m)) == c_message_reader::MESSAGE) {
                net_event e;
                e.kind = net_event::MESSAGE, e.peer = self->id, e.message = m;
                o->push(std::move(e));
            }
            if (r == c_message_reader::BROKEN) {
                o->drop(self->id, "sent " + self->reader.error(), true, true);
                return;
            }
            if (o->crowded()) {
                o->drop(self->id, "sent more than could be read", true, true);
                return;
            }
            self->read();
        });
    }

    void write(std::string bytes) {
        if (closed || closing) return;
        queued += bytes.size();
        if (queued > max_queued_bytes) {
            if (auto o = owner.lock()) o->drop(id, "fell too far behind", false, true);
            return;
        }
        queue.push_back(std::move(bytes));
        if (!writing) write_next();
    }

    void write_next() {
        if (queue.empty()) {
            writing = false;
            if (closing) shut();
            return;
        }
        writing = true;
        auto self = shared_from_this();
        asio::async_write(socket, asio::buffer(queue.front()), [self](const asio::error_code& ec, size_t) {
            if (self->closed) return;
            self->queued -= self->queue.front().size();
            self->queue.pop_front();
            if (ec) {
                if (auto o = self->owner.lock()) o->drop(self->id, ec.message(), false, !self->closing);
                return;
            }
            self->write_next();
        });
    }

    void shut() {
        if (closed) return;
        closed = true;
        asio::error_code ignored;
        socket.shutdown(tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
    }
};

void c_net_link::impl::start(int id, tcp::socket socket) {
    asio::error_code ignored;
    // Orders are a few dozen bytes: they leave at once rather than wait to fill a packet.
    socket.set_option(tcp::no_delay(true), ignored);
    auto c = std::make_shared<connection>(shared_from_this(), id, std::move(socket));
    peers[id] = c;
    net_event e;
    e.kind = net_event::CONNECTED, e.peer = id;
    push(std::move(e));
    c->read();
}

void c_net_link::impl::drop(int id, std::string reason, bool fault, bool tell) {
    auto it = peers.find(id);
    if (it == peers.end()) return;
    it->second->shut();
    peers.erase(it);
    if (!tell) return;
    net_event e;
    e.kind = net_event::CLOSED, e.peer = id, e.reason = std::move(reason), e.fault = fault;
    push(std::move(e));
}

// ---- 3. listening and connecting

void c_net_link::impl::accept() {
    auto self = shared_from_this();
    acceptor->async_accept([self](const asio::error_code& ec, tcp::socket socket) {
        if (!self->acceptor || !self->acceptor->is_open()) return;
        if (!ec && self->peers.size() < max_peers) self->start(self->next_peer++, std::move(socket));
        self->accept();
    });
}

c_net_link::c_net_link(std::shared_ptr<impl> i) : impl_(std::move(i)) {
    impl_->thread = std::thread([i = impl_.get()] { i->io.run(); });
}

c_net_link::~c_net_link() {
    // The connections close on asio's thread, then the thread ends.
    asio::post(impl_->io, [i = impl_] {
        asio::error_code ignored;
        if (i->acceptor) i->acceptor->close(ignored);
        if (i->resolver) i->resolver->cancel();
        if (i->connecting) i->connecting->close(ignored);
        for (auto& [id, c] : i->peers)
            c->shut();
        i->peers.clear();
        i->work.reset();
    });
    if (impl_->thread.joinable()) impl_->thread.join();
}

std::unique_ptr<c_net_link> c_net_link::listen(const std::string& address, std::uint16_t port,
                                               std::string& error) {
    auto i = std::make_shared<impl>();
    asio::error_code ec;
    const asio::ip::address a = asio::ip::make_address(address, ec);
    if (ec) {
        error = "Unable to listen on \"" + address + "\": it is no IP address.";
        return nullptr;
    }
    const tcp::endpoint at(a, port);
    i->acceptor = std::make_unique<tcp::acceptor>(i->io);
    i->acceptor->open(at.protocol(), ec);
    if (!ec) i->acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) i->acceptor->bind(at, ec);
    if (!ec) i->acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (!ec) i->port = i->acceptor->local_endpoint(ec).port();
    if (ec) {
        error =
            "Unable to listen on " + address + " port " + std::to_string(port) + ": " + ec.message() + ".";
        return nullptr;
    }
    i->accept();
    return std::unique_ptr<c_net_link>(new c_net_link(i));
}

std::unique_ptr<c_net_link> c_net_link::connect(const std::string& host, std::uint16_t port) {
    auto i = std::make_shared<impl>();
    auto resolver = std::make_shared<tcp::resolver>(i->io);
    auto socket = std::make_shared<tcp::socket>(i->io);
    i->resolver = resolver;
    i->connecting = socket;
    std::weak_ptr<impl> weak = i;
    resolver->async_resolve(
        host, std::to_string(port), [weak, resolver, socket, host](const asio::error_code& ec, auto results) {
            auto o = weak.lock();
            if (!o) return;
            if (ec) {
                net_event e;
                e.kind = net_event::CLOSED, e.peer = 0, e.reason = "\"" + host + "\" cannot be found";
                o->push(std::move(e));
                return;
            }
            asio::async_connect(*socket, results,
                                [weak, socket](const asio::error_code& ec2, const tcp::endpoint&) {
                                    auto o2 = weak.lock();
                                    if (!o2) return;
                                    if (ec2) {
                                        net_event e;
                                        e.kind = net_event::CLOSED, e.peer = 0, e.reason = ec2.message();
                                        o2->push(std::move(e));
                                        return;
                                    }
                                    o2->connecting.reset();
                                    o2->start(0, std::move(*socket));
                                });
        });
    return std::unique_ptr<c_net_link>(new c_net_link(i));
}

// ---- 4. the main thread's side

void c_net_link::send(int peer, const net_message& m) {
    send_bytes(peer, encode_message(m));
}

void c_net_link::send_bytes(int peer, std::string bytes) {
    asio::post(impl_->io, [i = impl_, peer, b = std::move(bytes)]() mutable {
        auto it = i->peers.find(peer);
        if (it != i->peers.end()) it->second->write(std::move(b));
    });
}

void c_net_link::close(int peer) {
    asio::post(impl_->io, [i = impl_, peer] {
        auto it = i->peers.find(peer);
        if (it == i->peers.end()) return;
        auto c = it->second;
        i->peers.erase(it);
        c->closing = true;
        if (!c->writing) c->shut();
    });
}

bool c_net_link::poll(net_event& e) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->inbox.empty()) return false;
    e = std::move(impl_->inbox.front());
    impl_->inbox.pop_front();
    return true;
}

std::uint16_t c_net_link::port() const {
    return impl_->port;
}

std::vector<std::string> local_addresses() {
    std::vector<std::string> out;
    asio::error_code ec;
    const std::string name = asio::ip::host_name(ec);
    if (ec || name.empty()) return {"this machine's name"};
    out.push_back(name);
    asio::io_context io;
    tcp::resolver resolver(io);
    const auto results = resolver.resolve(name, "", ec);
    if (ec) return out;
    for (const auto& r : results) {
        const asio::ip::address a = r.endpoint().address();
        if (a.is_loopback()) continue;
        const std::string text = a.to_string();
        if (std::find(out.begin(), out.end(), text) == out.end()) out.push_back(text);
    }
    return out;
}

bool split_address(const std::string& text, std::string& host, std::uint16_t& port, std::string& error) {
    std::string h = text, p;
    if (!h.empty() && h.front() == '[') {
        const size_t close = h.find(']');
        if (close == std::string::npos) {
            error = "The address \"" + text + "\" opens a bracket it does not close.";
            return false;
        }
        if (close + 1 < h.size()) {
            if (h[close + 1] != ':') {
                error = "The address \"" + text + "\" has something after its bracket that is no port.";
                return false;
            }
            p = h.substr(close + 2);
        }
        h = h.substr(1, close - 1);
    } else if (std::count(h.begin(), h.end(), ':') == 1) {
        // One colon: a name or IPv4 address and a port. More: an IPv6 address without a port.
        p = h.substr(h.find(':') + 1);
        h = h.substr(0, h.find(':'));
    }
    if (h.empty()) {
        error = "Type the host's address (a name, an IPv4 or IPv6 address, a port after a colon).";
        return false;
    }
    if (!p.empty() || text.back() == ':') {
        unsigned long v = 0;
        bool digits = !p.empty() && p.size() <= 5;
        for (char c : p)
            digits = digits && c >= '0' && c <= '9';
        if (digits) v = std::stoul(p);
        if (!digits || v < 1 || v > 65535) {
            error = "The port \"" + p + "\" is no number from 1 to 65535.";
            return false;
        }
        port = static_cast<std::uint16_t>(v);
    }
    host = h;
    return true;
}
