// The messages machines of a network battle exchange, and their bytes on the wire.
//
// A message is a frame: two bytes of length (big-endian, the body's size, 1 to max_message_body),
// then the body: one byte of type and the type's fields, numbers big-endian, texts as one length
// byte and that many printable ASCII characters. Every field is checked against what it may hold;
// a frame that is too long, too short, of an unknown type, with a field out of range or bytes
// left over is refused with a reason, and the peer that sent it is dropped.
//
// Index: 1. limits and types; 2. the message; 3. encoding; 4. decoding a stream.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "game/record/orders.h"

// ---- 1. limits and types

constexpr std::uint16_t net_protocol_version = 1;
constexpr size_t max_message_body = 256;
constexpr size_t max_message_text = 200;
constexpr size_t max_join_code = 16;
constexpr int net_seats = 3;

enum net_message_type : int {
    MSG_HELLO = 1,   // guest -> host: protocol version, join code
    MSG_WELCOME = 2, // host -> guest: the seat given
    MSG_REFUSE = 3,  // host -> guest: why the join is refused (the connection closes)
    MSG_SEATS = 4,   // host -> guests: who holds each seat
    MSG_START = 5,   // host -> guests: the battle's seed and rules fingerprint
    MSG_REQUEST = 6, // guest -> host: an order of one of its seats
    MSG_ORDER = 7,   // host -> guests: an order numbered, with the step it is carried out at
    MSG_HORIZON = 8, // host -> guests: the steps every machine may run
    MSG_TURN = 9,    // guest -> host: the state hash at a turn's end
    MSG_STOP = 10,   // host -> guests: the battle is stopped, and why
    MSG_BYE = 11,    // either way: leaving, and why
};
constexpr int first_message_type = MSG_HELLO, last_message_type = MSG_BYE;

// Who holds a seat.
enum seat_holder : int {
    SEAT_OPEN = 0,    // waiting for a guest
    SEAT_HOST = 1,    // played at the host's machine
    SEAT_GUEST = 2,   // played at a guest's machine
    SEAT_MISSING = 3, // its guest dropped during the battle; it may rejoin or the host take it
};

// ---- 2. the message

struct net_message {
    int type = MSG_BYE;
    std::uint16_t version = net_protocol_version; // HELLO
    std::string text;                             // HELLO: join code; REFUSE, STOP, BYE: the sentence
    int seat = -1;                                // WELCOME
    int holders[net_seats] = {};                  // SEATS: a seat_holder each
    std::uint32_t seed = 0;                       // START
    std::uint64_t rules = 0;                      // START
    battle_order order;                           // REQUEST, ORDER
    std::uint32_t number = 0;                     // ORDER: 1, 2, 3 ... in the battle
    std::uint32_t step = 0;                       // ORDER, HORIZON, TURN
    std::uint32_t turn = 0;                       // TURN: the turn count that began
    std::uint64_t hash = 0;                       // TURN
};

// ---- 3. encoding

// The frame of a message: length prefix and body. A text longer than its limit is cut, and
// characters outside printable ASCII become '?', so what is sent always decodes.
std::string encode_message(const net_message& m);

// ---- 4. decoding a stream

// Checks a body and fills `m`; returns "" or why the body is refused ("an order of unknown
// kind", "bytes after the message" ...).
std::string decode_body(std::string_view body, net_message& m);

// Cuts a byte stream into messages. Bytes arrive in pieces of any size; next() answers whether
// a whole message is ready, and once a frame is refused the reader stays broken (the peer is
// dropped; nothing after it is trusted).
class c_message_reader {
  public:
    enum result : int { NEED_MORE = 0, MESSAGE = 1, BROKEN = 2 };
    void append(const char* bytes, size_t size);
    int next(net_message& m);
    // Why the stream was refused ("" while it is sound).
    const std::string& error() const { return error_; }
    size_t buffered() const { return buffer_.size() - at_; }

  private:
    std::string buffer_;
    size_t at_ = 0;
    std::string error_;
};

// The checks every order of a message obeys whatever the battle: a known kind, a seat, a unit
// for the orders to a unit and none for a player's, a tile only for "act", on a map's largest
// extent, an aim within what a screen gives. "" or the reason.
std::string order_shape_refusal(const battle_order& o);
