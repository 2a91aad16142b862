#include "harvest/verification_page.h"

#include <algorithm>
#include <array>

namespace sh::harvest {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `needle` (lower case) occurs in `text`, ASCII letters compared in any case.
bool containsFolded(std::string_view text, std::string_view needle) {
    const auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                [](char a, char b) { return lowerAscii(a) == b; });
    return it != text.end();
}

}  // namespace

bool isVerificationPage(std::string_view utf8Body) {
    static constexpr std::array<std::string_view, 3> kMarkers = {
        "<title>\xE7\x99\xBE\xE5\xBA\xA6\xE5\xAE\x89\xE5\x85\xA8\xE9\xAA\x8C\xE8\xAF\x81</title>",
        "wappass.baidu.com/static/captcha/",
        "wappass.baidu.com\\/static\\/captcha\\/",
    };
    return std::any_of(kMarkers.begin(), kMarkers.end(), [&](std::string_view marker) {
        return containsFolded(utf8Body, marker);
    });
}

}  // namespace sh::harvest
