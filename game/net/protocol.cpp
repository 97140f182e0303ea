// The wire format of network messages.
//
// Index: 1. the order's shape; 2. writing fields; 3. encode_message; 4. reading fields;
// 5. decode_body; 6. the stream reader.
#include "game/net/protocol.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int max_map_extent = 32;
constexpr int max_unit_id = 1 << 16;
constexpr int max_aim = 65536;
constexpr std::uint32_t max_step = 0x7FFFFFFF;

bool is_unit_order(int kind) {
    return kind == ORDER_SELECT || kind == ORDER_SHOW_MOVES || kind == ORDER_ACT || kind == ORDER_DESELECT ||
           kind == ORDER_DISBAND;
}

} // namespace

// ---- 1. the order's shape

std::string order_shape_refusal(const battle_order& o) {
    if (o.kind < 0 || o.kind >= num_order_kinds) return "an order of unknown kind";
    if (o.player < 0 || o.player >= net_seats) return "an order for no seat";
    if (!is_unit_order(o.kind)) {
        if (o.unit != -1 || o.col != -1 || o.row != -1 || o.aim_x != 0 || o.aim_y != 0)
            return "a player's order given to a unit";
        return "";
    }
    if (o.unit < 0 || o.unit > max_unit_id) return "an order to no unit";
    if (o.kind != ORDER_ACT) {
        if (o.col != -1 || o.row != -1 || o.aim_x != 0 || o.aim_y != 0) return "an order with a stray tile";
        return "";
    }
    if (o.col < 0 || o.row < 0 || o.col >= max_map_extent || o.row >= max_map_extent)
        return "an order to a tile off any map";
    if (o.aim_x < -max_aim || o.aim_x > max_aim || o.aim_y < -max_aim || o.aim_y > max_aim)
        return "an order aimed too far";
    return "";
}

namespace {

// ---- 2. writing fields

class writer {
  public:
    void u8(unsigned v) { body_ += static_cast<char>(v & 0xFF); }
    void u16(unsigned v) { u8(v >> 8), u8(v); }
    void u32(std::uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
    void u64(std::uint64_t v) {
        u32(static_cast<std::uint32_t>(v >> 32)), u32(static_cast<std::uint32_t>(v));
    }
    void i16(int v) { u16(static_cast<unsigned>(v) & 0xFFFF); }
    void i32(int v) { u32(static_cast<std::uint32_t>(v)); }
    void text(const std::string& s, size_t limit) {
        const size_t n = std::min(s.size(), limit);
        u8(static_cast<unsigned>(n));
        for (size_t i = 0; i < n; ++i)
            body_ += (s[i] >= 0x20 && s[i] <= 0x7E) ? s[i] : '?';
    }
    void order(const battle_order& o) {
        u8(static_cast<unsigned>(o.kind)), u8(static_cast<unsigned>(o.player));
        i32(o.unit), i16(o.col), i16(o.row), i32(o.aim_x), i32(o.aim_y);
    }
    std::string& body() { return body_; }

  private:
    std::string body_;
};

} // namespace

// ---- 3. encode_message

std::string encode_message(const net_message& m) {
    writer w;
    w.u8(static_cast<unsigned>(m.type));
    switch (m.type) {
    case MSG_HELLO:
        w.u16(m.version);
        w.text(m.text, max_join_code);
        break;
    case MSG_WELCOME:
        w.u8(static_cast<unsigned>(m.seat));
        break;
    case MSG_SEATS:
        for (int holder : m.holders)
            w.u8(static_cast<unsigned>(holder));
        break;
    case MSG_START:
        w.u32(m.seed);
        w.u64(m.rules);
        break;
    case MSG_REQUEST:
        w.order(m.order);
        break;
    case MSG_ORDER:
        w.u32(m.number);
        w.u32(m.step);
        w.order(m.order);
        break;
    case MSG_HORIZON:
        w.u32(m.step);
        break;
    case MSG_TURN:
        w.u32(m.turn);
        w.u32(m.step);
        w.u64(m.hash);
        break;
    default: // REFUSE, STOP, BYE
        w.text(m.text, max_message_text);
        break;
    }
    const std::string& body = w.body();
    std::string frame;
    frame += static_cast<char>((body.size() >> 8) & 0xFF);
    frame += static_cast<char>(body.size() & 0xFF);
    frame += body;
    return frame;
}

namespace {

// ---- 4. reading fields

class reader {
  public:
    explicit reader(std::string_view b) : b_(b) {}
    bool u8(unsigned& v) {
        if (at_ >= b_.size()) return false;
        v = static_cast<unsigned char>(b_[at_++]);
        return true;
    }
    bool u16(unsigned& v) {
        unsigned hi = 0, lo = 0;
        if (!u8(hi) || !u8(lo)) return false;
        v = hi << 8 | lo;
        return true;
    }
    bool u32(std::uint32_t& v) {
        unsigned hi = 0, lo = 0;
        if (!u16(hi) || !u16(lo)) return false;
        v = static_cast<std::uint32_t>(hi) << 16 | lo;
        return true;
    }
    bool u64(std::uint64_t& v) {
        std::uint32_t hi = 0, lo = 0;
        if (!u32(hi) || !u32(lo)) return false;
        v = static_cast<std::uint64_t>(hi) << 32 | lo;
        return true;
    }
    bool i16(int& v) {
        unsigned u = 0;
        if (!u16(u)) return false;
        v = static_cast<std::int16_t>(static_cast<std::uint16_t>(u));
        return true;
    }
    bool i32(int& v) {
        std::uint32_t u = 0;
        if (!u32(u)) return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    // False for a text longer than `limit` or holding anything but printable ASCII.
    bool text(std::string& s, size_t limit) {
        unsigned n = 0;
        if (!u8(n) || n > limit || b_.size() - at_ < n) return false;
        s.assign(b_.substr(at_, n));
        at_ += n;
        for (char c : s)
            if (c < 0x20 || c > 0x7E) return false;
        return true;
    }
    bool order(battle_order& o) {
        unsigned kind = 0, player = 0;
        if (!u8(kind) || !u8(player)) return false;
        o.kind = static_cast<int>(kind), o.player = static_cast<int>(player);
        return i32(o.unit) && i16(o.col) && i16(o.row) && i32(o.aim_x) && i32(o.aim_y);
    }
    bool done() const { return at_ == b_.size(); }

  private:
    std::string_view b_;
    size_t at_ = 0;
};

std::string decode_fields(reader& r, net_message& m) {
    unsigned u = 0;
    switch (m.type) {
    case MSG_HELLO:
        if (!r.u16(u)) return "a greeting cut short";
        m.version = static_cast<std::uint16_t>(u);
        if (!r.text(m.text, max_join_code)) return "a join code that is no short printable text";
        return "";
    case MSG_WELCOME:
        if (!r.u8(u)) return "a welcome cut short";
        if (u >= net_seats) return "a welcome to no seat";
        m.seat = static_cast<int>(u);
        return "";
    case MSG_SEATS:
        for (int& holder : m.holders) {
            if (!r.u8(u)) return "a seat list cut short";
            if (u > SEAT_MISSING) return "a seat held by nobody known";
            holder = static_cast<int>(u);
        }
        return "";
    case MSG_START:
        return r.u32(m.seed) && r.u64(m.rules) ? "" : "a start cut short";
    case MSG_REQUEST:
    case MSG_ORDER:
        if (m.type == MSG_ORDER && (!r.u32(m.number) || !r.u32(m.step))) return "an order cut short";
        if (m.type == MSG_ORDER && (m.number == 0 || m.step > max_step)) return "an order out of sequence";
        if (!r.order(m.order)) return "an order cut short";
        return order_shape_refusal(m.order);
    case MSG_HORIZON:
        if (!r.u32(m.step)) return "a horizon cut short";
        return m.step > max_step ? "a horizon past any battle" : "";
    case MSG_TURN:
        if (!r.u32(m.turn) || !r.u32(m.step) || !r.u64(m.hash)) return "a turn's end cut short";
        return m.step > max_step ? "a turn's end past any battle" : "";
    default: // REFUSE, STOP, BYE
        return r.text(m.text, max_message_text) ? "" : "a sentence that is no printable text";
    }
}

} // namespace

// ---- 5. decode_body

std::string decode_body(std::string_view body, net_message& m) {
    m = net_message{};
    if (body.empty()) return "an empty message";
    if (body.size() > max_message_body) return "a message too long";
    reader r(body);
    unsigned type = 0;
    r.u8(type);
    if (type < first_message_type || type > last_message_type) return "a message of unknown type";
    m.type = static_cast<int>(type);
    std::string why = decode_fields(r, m);
    if (why.empty() && !r.done()) why = "bytes after the message";
    return why;
}

// ---- 6. the stream reader

void c_message_reader::append(const char* bytes, size_t size) {
    if (!error_.empty()) return;
    // What was read is dropped now and then, so the buffer holds a frame or two at most.
    if (at_ > 0 && at_ == buffer_.size()) {
        buffer_.clear();
        at_ = 0;
    } else if (at_ > 4096) {
        buffer_.erase(0, at_);
        at_ = 0;
    }
    buffer_.append(bytes, size);
}

int c_message_reader::next(net_message& m) {
    if (!error_.empty()) return BROKEN;
    if (buffer_.size() - at_ < 2) return NEED_MORE;
    const size_t length = static_cast<size_t>(static_cast<unsigned char>(buffer_[at_])) << 8 |
                          static_cast<unsigned char>(buffer_[at_ + 1]);
    if (length == 0 || length > max_message_body) {
        error_ = length == 0 ? "an empty message" : "a message too long";
        return BROKEN;
    }
    if (buffer_.size() - at_ - 2 < length) return NEED_MORE;
    error_ = decode_body(std::string_view(buffer_).substr(at_ + 2, length), m);
    if (!error_.empty()) return BROKEN;
    at_ += 2 + length;
    return MESSAGE;
}
