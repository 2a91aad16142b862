#pragma once

// Readable failure messages for Text and Bytes: printable ASCII as is, other bytes as \xNN.

#include <cstddef>
#include <iterator>
#include <ostream>
#include <string_view>

#include "text/text.h"
#include "web/request_details.h"

namespace sh::text {

inline void printEscaped(std::string_view bytes, std::ostream* os) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    *os << '"';
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '\\') {
            *os << c;
        } else {
            *os << "\\x" << kHex[u >> 4] << kHex[u & 0xF];
        }
    }
    *os << '"';
}
inline void PrintTo(const Text& text, std::ostream* os) {
    printEscaped(text.view(), os);
}
inline void PrintTo(const Bytes& bytes, std::ostream* os) {
    printEscaped(bytes.view(), os);
}

}  // namespace sh::text

namespace sh::web {

inline void PrintTo(RequestDetails::Outcome outcome, std::ostream* os) {
    static constexpr const char* kNames[] = {
        "Completed", "TimedOut", "NotSent", "RequestTooLarge", "HeadersTooLarge", "TransferFailed"};
    const auto index = static_cast<std::size_t>(outcome);
    if (index < std::size(kNames))
        *os << kNames[index];
    else
        *os << index;
}

}  // namespace sh::web
