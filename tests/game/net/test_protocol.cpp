// The network message format: messages survive the trip through bytes, and every malformed body
// or frame is refused with its reason, whole or arriving byte by byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/net/link.h"
#include "game/net/protocol.h"

namespace {

using namespace std::string_literals;

battle_order order_of(int kind, int player, int unit = -1, int col = -1, int row = -1, int ax = 0,
                      int ay = 0) {
    battle_order o;
    o.kind = kind, o.player = player, o.unit = unit, o.col = col, o.row = row, o.aim_x = ax, o.aim_y = ay;
    return o;
}

std::string body_of(const net_message& m) {
    return encode_message(m).substr(2);
}

// Big-endian bytes of a number.
std::string be(std::uint64_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string raw_order(int kind, int player, int unit, int col, int row, int ax, int ay) {
    return be(static_cast<unsigned>(kind), 1) + be(static_cast<unsigned>(player), 1) +
           be(static_cast<std::uint32_t>(unit), 4) + be(static_cast<std::uint16_t>(col), 2) +
           be(static_cast<std::uint16_t>(row), 2) + be(static_cast<std::uint32_t>(ax), 4) +
           be(static_cast<std::uint32_t>(ay), 4);
}

TEST(net_protocol, messages_read_back_as_sent) {
    std::vector<net_message> all;
    net_message m;
    m.type = MSG_HELLO, m.text = "K7Q2P9";
    all.push_back(m);
    m = {}, m.type = MSG_WELCOME, m.seat = 2;
    all.push_back(m);
    m = {}, m.type = MSG_SEATS, m.holders[0] = SEAT_HOST, m.holders[1] = SEAT_MISSING,
    m.holders[2] = SEAT_GUEST;
    all.push_back(m);
    m = {}, m.type = MSG_START, m.seed = 0xFFFFFFFFu, m.rules = 0x9c1185a5c5e9fc54ull;
    all.push_back(m);
    m = {}, m.type = MSG_REQUEST, m.order = order_of(ORDER_ACT, 1, 65536, 31, 0, -65536, 65536);
    all.push_back(m);
    m = {}, m.type = MSG_ORDER, m.number = 7, m.step = 0x7FFFFFFF, m.order = order_of(ORDER_END_TURN, 2);
    all.push_back(m);
    m = {}, m.type = MSG_HORIZON, m.step = 4410;
    all.push_back(m);
    m = {}, m.type = MSG_TURN, m.turn = 12, m.step = 190, m.hash = 0x0123456789ABCDEFull;
    all.push_back(m);
    m = {}, m.type = MSG_STOP, m.text = "The battles went apart at the end of turn 3.";
    all.push_back(m);
    m = {}, m.type = MSG_BYE, m.text = "";
    all.push_back(m);

    std::string stream;
    for (const net_message& sent : all)
        stream += encode_message(sent);
    // Whole, and one byte at a time: the reader must not care how the bytes arrive.
    for (size_t piece : {stream.size(), size_t{1}, size_t{5}}) {
        c_message_reader reader;
        std::vector<net_message> got;
        for (size_t at = 0; at < stream.size(); at += piece) {
            reader.append(stream.data() + at, std::min(piece, stream.size() - at));
            net_message r;
            while (reader.next(r) == c_message_reader::MESSAGE)
                got.push_back(r);
        }
        ASSERT_EQ(reader.error(), "");
        ASSERT_EQ(got.size(), all.size()) << "piece " << piece;
        for (size_t i = 0; i < all.size(); ++i)
            EXPECT_EQ(encode_message(got[i]), encode_message(all[i])) << "message " << i;
        EXPECT_EQ(got[4].order, all[4].order);
        EXPECT_EQ(got[7].hash, all[7].hash);
        EXPECT_EQ(got[0].text, "K7Q2P9");
    }
}

TEST(net_protocol, sent_texts_always_decode) {
    net_message m;
    m.type = MSG_STOP;
    m.text = std::string(500, 'x') + "\n\x80";
    net_message r;
    ASSERT_EQ(decode_body(body_of(m), r), "");
    EXPECT_EQ(r.text.size(), max_message_text);
    m.text = "a\tb";
    ASSERT_EQ(decode_body(body_of(m), r), "");
    EXPECT_EQ(r.text, "a?b");
}

TEST(net_protocol, malformed_bodies_are_refused_with_their_reason) {
    const std::string ok_order = raw_order(ORDER_ACT, 0, 7, 5, 9, 30, 21);
    struct bad {
        std::string body;
        const char* reason;
    };
    const bad cases[] = {
        {"", "an empty message"},
        {std::string(max_message_body + 1, '\x0b'), "a message too long"},
        {"\x00"s, "a message of unknown type"},
        {"\x0c", "a message of unknown type"},
        {"\x01\x00"s, "a greeting cut short"},
        {"\x01\x00\x01\x03"s + "AB", "a join code that is no short printable text"},
        {"\x01\x00\x01\x11"s + std::string(17, 'A'), "a join code that is no short printable text"},
        {"\x01\x00\x01\x02"s + "A\n", "a join code that is no short printable text"},
        {"\x01\x00\x01\x01"s + "AB", "bytes after the message"},
        {"\x02\x03", "a welcome to no seat"},
        {"\x04\x01\x02", "a seat list cut short"},
        {"\x04\x01\x02\x04", "a seat held by nobody known"},
        {"\x05" + be(1, 4) + be(1, 7), "a start cut short"},
        {"\x06" + ok_order.substr(0, 17), "an order cut short"},
        {"\x06" + ok_order + "x", "bytes after the message"},
        {"\x06" + raw_order(8, 0, -1, -1, -1, 0, 0), "an order of unknown kind"},
        {"\x06" + raw_order(ORDER_END_TURN, 3, -1, -1, -1, 0, 0), "an order for no seat"},
        {"\x06" + raw_order(ORDER_END_TURN, 0, 4, -1, -1, 0, 0), "a player's order given to a unit"},
        {"\x06" + raw_order(ORDER_GIVE_UP, 0, -1, -1, -1, 1, 0), "a player's order given to a unit"},
        {"\x06" + raw_order(ORDER_SELECT, 0, -1, -1, -1, 0, 0), "an order to no unit"},
        {"\x06" + raw_order(ORDER_SELECT, 0, 65537, -1, -1, 0, 0), "an order to no unit"},
        {"\x06" + raw_order(ORDER_DISBAND, 0, 3, 2, -1, 0, 0), "an order with a stray tile"},
        {"\x06" + raw_order(ORDER_ACT, 0, 3, 32, 0, 0, 0), "an order to a tile off any map"},
        {"\x06" + raw_order(ORDER_ACT, 0, 3, 0, -1, 0, 0), "an order to a tile off any map"},
        {"\x06" + raw_order(ORDER_ACT, 0, 3, 0, 0, 65537, 0), "an order aimed too far"},
        {"\x06" + raw_order(ORDER_ACT, 0, 3, 0, 0, 0, -65537), "an order aimed too far"},
        {"\x07" + be(0, 4) + be(5, 4) + ok_order, "an order out of sequence"},
        {"\x07" + be(1, 4) + be(0x80000000u, 4) + ok_order, "an order out of sequence"},
        {"\x07" + be(1, 4), "an order cut short"},
        {"\x08" + be(0x80000000u, 4), "a horizon past any battle"},
        {"\x08" + be(1, 3), "a horizon cut short"},
        {"\x09" + be(1, 4) + be(1, 4) + be(1, 7), "a turn's end cut short"},
        {"\x03", "a sentence that is no printable text"},
        {std::string("\x0a\x02") + "A", "a sentence that is no printable text"},
        {std::string("\x0b\x01") + "\x7f", "a sentence that is no printable text"},
    };
    for (const bad& c : cases) {
        net_message m;
        EXPECT_EQ(decode_body(c.body, m), c.reason)
            << "body of " << c.body.size() << " bytes, type " << (c.body.empty() ? -1 : int(c.body[0]));
        // The same body in a frame breaks the stream, and the stream stays broken.
        if (c.body.empty() || c.body.size() > max_message_body) continue;
        c_message_reader reader;
        const std::string frame = be(c.body.size(), 2) + c.body + encode_message(net_message{});
        reader.append(frame.data(), frame.size());
        EXPECT_EQ(reader.next(m), c_message_reader::BROKEN);
        EXPECT_EQ(reader.error(), c.reason);
        EXPECT_EQ(reader.next(m), c_message_reader::BROKEN);
    }
}

TEST(net_protocol, frames_of_impossible_length_break_the_stream_at_once) {
    for (const std::string& prefix :
         {std::string("\x00\x00", 2), std::string("\x01\x01"), std::string("\xff\xff")}) {
        c_message_reader reader;
        reader.append(prefix.data(), prefix.size());
        net_message m;
        // Refused on the length alone: the reader never waits for 65535 bytes that a hostile
        // peer would not send.
        EXPECT_EQ(reader.next(m), c_message_reader::BROKEN);
        EXPECT_NE(reader.error(), "");
    }
    c_message_reader reader;
    const std::string half = encode_message(net_message{}).substr(0, 1);
    reader.append(half.data(), half.size());
    net_message m;
    EXPECT_EQ(reader.next(m), c_message_reader::NEED_MORE);
}

} // namespace

namespace {

TEST(net_address, typed_addresses_split_into_host_and_port) {
    struct address_case {
        const char* typed;
        const char* host; // null: refused
        std::uint16_t port;
    };
    const address_case cases[] = {
        {"example.org", "example.org", 47810},
        {"127.0.0.1", "127.0.0.1", 47810},
        {"127.0.0.1:5000", "127.0.0.1", 5000},
        {"localhost:65535", "localhost", 65535},
        {"::1", "::1", 47810},
        {"fe80::1:2", "fe80::1:2", 47810},
        {"[::1]", "::1", 47810},
        {"[::1]:6000", "::1", 6000},
        {"", nullptr, 0},
        {":5000", nullptr, 0},
        {"host:", nullptr, 0},
        {"host:0", nullptr, 0},
        {"host:65536", nullptr, 0},
        {"host:12ab", nullptr, 0},
        {"host:-1", nullptr, 0},
        {"[::1", nullptr, 0},
        {"[::1]6000", nullptr, 0},
        {"[]:6000", nullptr, 0},
    };
    for (const address_case& c : cases) {
        std::string host, error;
        std::uint16_t port = 47810;
        const bool ok = split_address(c.typed, host, port, error);
        EXPECT_EQ(ok, c.host != nullptr) << c.typed << ": " << error;
        if (!c.host) {
            EXPECT_NE(error, "") << c.typed;
            continue;
        }
        EXPECT_EQ(host, c.host) << c.typed;
        EXPECT_EQ(port, c.port) << c.typed;
    }
}

} // namespace
