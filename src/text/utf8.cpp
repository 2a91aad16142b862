#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace sh::text {

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    if (at >= size)
        return 0;
    const unsigned c = bytes[at];
    if (c < 0x80)
        return 1;
    auto trail = [&](std::size_t k) { return at + k < size && (bytes[at + k] & 0xC0) == 0x80; };
    if (c < 0xC2)
        return 0;
    if (c < 0xE0)
        return trail(1) ? 2 : 0;
    if (c < 0xF0) {
        if (!trail(1) || !trail(2))
            return 0;
        const unsigned c1 = bytes[at + 1];
        if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0))  // overlong, surrogate
            return 0;
        return 3;
    }
    if (c < 0xF5) {
        if (!trail(1) || !trail(2) || !trail(3))
            return 0;
        const unsigned c1 = bytes[at + 1];
        if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))  // overlong, too high
            return 0;
        return 4;
    }
    return 0;
}

std::size_t firstIllFormedUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t at = 0;
    while (at < size) {
        if (at + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, bytes + at, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                at += 8;
                continue;
            }
        }
        // Chinese text is three bytes a character: checked here without a call.
        const unsigned c = bytes[at];
        if (c >= 0xE1 && c <= 0xEC && at + 2 < size && (bytes[at + 1] & 0xC0) == 0x80 &&
            (bytes[at + 2] & 0xC0) == 0x80) {
            at += 3;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0)
            return at;
        at += length;
    }
    return size;
}

}  // namespace sh::text
