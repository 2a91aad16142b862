// A pattern (up to the first 0x01 byte, at most 64 bytes) and any subject; every query of
// the matcher, in and out of range, with positions.

#include <cstddef>
#include <cstdint>
#include <string>

#include "harvest/pattern_matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using sh::harvest::PatternMatcher;
    using sh::harvest::Text;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t split = bytes.find('\x01');
    if (split == std::string::npos || split > 64)
        split = 0;
    const Text pattern(bytes.substr(0, split));
    const std::string subjectBytes = bytes.substr(split == 0 ? 0 : split + 1);
    const Text subject(subjectBytes);
    const unsigned flags = size ? data[0] : 0;

    PatternMatcher matcher;
    matcher.execute(split ? pattern : Text(">(.*?)&#160;(.*?)</a>"), subject, (flags & 1) != 0,
                    (flags & 2) != 0, (flags & 4) != 0);
    const std::int32_t count = matcher.matchCount();
    const std::int32_t groups = matcher.subMatchCount();
    for (std::int32_t m = 0; m <= count + 1 && m < 200; ++m) {
        std::int32_t position = 0;
        const Text text = matcher.matchText(m, &position);
        if (text.size() > subject.size() || position < -2 ||
            position > static_cast<std::int32_t>(subject.size()))
            __builtin_trap();
        for (std::int32_t g = 0; g <= groups + 1 && g < 20; ++g)
            matcher.subMatchText(m, g, &position);
    }
    matcher.replace(Text("[$1|$&|$`|$'|$$|$10]"));
    PatternMatcher copy = matcher;
    copy.execute(Text("a*?"), subject);
    return 0;
}
