// The network message reader under arbitrary bytes, fed in pieces of every size. It must never
// fault; every message it accepts must encode to exactly the bytes it was read from (nothing is
// read loosely), and once it refuses a frame it stays refused.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "game/net/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses how the stream is cut: the rest arrives in pieces of that size.
    const size_t piece = 1 + data[0] % 64;
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    c_message_reader reader;
    std::string accepted;
    bool broken = false;
    for (size_t at = 0; at < stream.size(); at += piece) {
        reader.append(stream.data() + at, std::min(piece, stream.size() - at));
        net_message m;
        int r;
        while ((r = reader.next(m)) == c_message_reader::MESSAGE) {
            const std::string frame = encode_message(m);
            if (stream.compare(accepted.size(), frame.size(), frame) != 0) std::abort();
            accepted += frame;
        }
        if (r == c_message_reader::BROKEN) {
            if (reader.error().empty()) std::abort();
            broken = true;
            break;
        }
    }
    if (broken) {
        net_message m;
        if (reader.next(m) != c_message_reader::BROKEN) std::abort();
    } else if (stream.size() - accepted.size() != reader.buffered()) {
        std::abort();
    }
    return 0;
}
