#pragma once

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. A NUL is an
// ordinary character here; callers that cannot take one look for it themselves.

#include <cstddef>
#include <string_view>

namespace sh::text {

// The length (1 to 4) of the well-formed sequence that begins at bytes[at]; 0 when none
// does there, or when at is past the end.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at);

// The offset of the first byte that does not begin a well-formed sequence; bytes.size()
// when all of it is well-formed UTF-8. Runs of ASCII are stepped over eight bytes at a time.
std::size_t firstIllFormedUtf8(std::string_view bytes);

}  // namespace sh::text
