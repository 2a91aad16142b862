#include "text/primitives.h"

#include <string.h>  // memmem (glibc)
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace sh::text {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// A byte with its top bit set begins a two-byte character. The test is the top bit
// alone, so 80 and FF count as well.
inline bool isLeadByte(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}

// Bytes taken by the character that begins at index i; a lead byte at the very end of
// the text is an incomplete character of one byte, so stepping never passes the end.
inline std::size_t charWidth(std::string_view s, std::size_t i) {
    return (isLeadByte(s[i]) && i + 1 < s.size()) ? 2 : 1;
}

inline unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

bool equalFolded(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (foldAscii(static_cast<unsigned char>(a[i])) !=
            foldAscii(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// First index >= from where the (non-empty) sub's bytes occur, aligned or not; npos
// when none.
std::size_t findBytes(std::string_view hay, std::size_t from, std::string_view sub,
                      bool ignoreCase) {
    if (from > hay.size() || hay.size() - from < sub.size())
        return npos;
    if (!ignoreCase) {
        // memmem is searched window by window: the sanitizers' interceptors check the
        // whole range they are given on every call, which would make a caller that
        // searches again and again (splitText over a large file) quadratic.
        constexpr std::size_t kWindow = 64 * 1024;
        for (std::size_t pos = from;; pos += kWindow) {
            const std::size_t rest = hay.size() - pos;
            const std::size_t span = std::min(rest, kWindow + sub.size() - 1);
            const void* hit = memmem(hay.data() + pos, span, sub.data(), sub.size());
            if (hit)
                return static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
            if (span == rest)
                return npos;
        }
    }
    const unsigned char first = foldAscii(static_cast<unsigned char>(sub[0]));
    const std::size_t last = hay.size() - sub.size();
    for (std::size_t p = from; p <= last; ++p) {
        if (foldAscii(static_cast<unsigned char>(hay[p])) == first &&
            equalFolded(hay.data() + p + 1, sub.data() + 1, sub.size() - 1))
            return p;
    }
    return npos;
}

// The first occurrence of a non-empty sub that begins on a character boundary, stepping
// by characters from `from` (itself taken as a character start); npos when none.
//
// Rather than stepping through every character, candidates come from a plain byte
// search and are then checked for alignment. Any byte below 80 ends a character (it is
// a one-byte character or the second byte of a two-byte one), so a candidate is a
// character start exactly when the run of bytes 80..FF before it, back to the last
// byte below 80 or to `from`, has even length. A rejected candidate is the second byte
// of a character, so the next character starts one byte later; every byte is walked
// over at most once more, which keeps the whole search linear in the checks.
std::size_t findAligned(std::string_view hay, std::size_t from, std::string_view sub,
                        bool ignoreCase) {
    std::size_t boundary = from;
    for (;;) {
        const std::size_t hit = findBytes(hay, boundary, sub, ignoreCase);
        if (hit == npos)
            return npos;
        std::size_t runStart = hit;
        while (runStart > boundary && isLeadByte(hay[runStart - 1])) --runStart;
        if ((hit - runStart) % 2 == 0)
            return hit;
        boundary = hit + 1;
    }
}

// 0-based index for an optional 1-based start: left out, 0 or below mean the beginning.
// Computed in 64 bits so INT_MIN cannot overflow.
std::size_t startIndex(std::optional<int> start) {
    if (!start || *start <= 1)
        return 0;
    return static_cast<std::size_t>(*start) - 1;
}

int toPosition(std::size_t index) {
    return index >= static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(index + 1);
}

int toCount(std::size_t n) {
    return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// "#引号" (GBK 23 D2 FD BA C5) in a marker stands for a double quote.
constexpr const char* kQuoteName = "#\xD2\xFD\xBA\xC5";

bool isNumberByte(unsigned char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E' ||
           c == 'd' || c == 'D' || c == ' ' || (c >= '\t' && c <= '\r');
}

// Full-width forms to ASCII, as far as a number could reach: the first byte that can
// be no part of a number (nor of the white space before it) ends the copy.
std::string normaliseForNumber(std::string_view s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (isLeadByte(s[i])) {
            if (i + 1 >= s.size())
                break;  // an incomplete character fits no number
            const auto t = static_cast<unsigned char>(s[i + 1]);
            char mapped = 0;
            if (c == 0xA3 && t >= 0xA1 && t <= 0xFE) {
                mapped = static_cast<char>(t & 0x7F);
            } else if (c == 0xA1 && t == 0xA1) {
                mapped = ' ';
            } else if (c == 0xA1 && t == 0xAB) {
                mapped = '~';
            } else if (c == 0xA1 && (t == 0xEE || t == 0xEF)) {
                mapped = '*';
            }
            if (mapped == 0 || !isNumberByte(static_cast<unsigned char>(mapped)))
                break;
            out.push_back(mapped);
            i += 2;
        } else {
            if (!isNumberByte(c))
                break;
            out.push_back(static_cast<char>(c));
            ++i;
        }
    }
    return out;
}

inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

int textLength(const Text& text) {
    return toCount(text.size());
}

int bytesLength(const Bytes& bytes) {
    return toCount(bytes.size());
}

Text leftText(const Text& text, int n) {
    if (n <= 0)
        return {};
    return Text(text.view().substr(0, static_cast<std::size_t>(n)));
}

Text rightText(const Text& text, int n) {
    if (n <= 0)
        return {};
    const std::size_t keep = std::min(static_cast<std::size_t>(n), text.size());
    return Text(text.view().substr(text.size() - keep));
}

Text midText(const Text& text, int start, int n) {
    if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > text.size())
        return {};
    return Text(
        text.view().substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

Text charFromCode(int code) {
    const char c = static_cast<char>(static_cast<unsigned>(code) & 0xFFu);
    if (c == 0)
        return {};
    return Text(std::string(1, c));
}

int findText(const Text& text, const Text& sub, std::optional<int> start, bool ignoreCase) {
    const std::string_view hay = text.view();
    const std::size_t from = startIndex(start);
    if (from >= hay.size())
        return -1;
    // An empty sub is "found" at the very beginning, wherever the search began.
    if (sub.empty())
        return 1;
    const std::size_t hit = findAligned(hay, from, sub.view(), ignoreCase);
    return hit == npos ? -1 : toPosition(hit);
}

Text toLower(const Text& text) {
    std::string out = text.bytes();
    for (std::size_t i = 0; i < out.size();) {
        if (isLeadByte(out[i])) {
            i += charWidth(out, i);
        } else {
            out[i] = static_cast<char>(foldAscii(static_cast<unsigned char>(out[i])));
            ++i;
        }
    }
    return Text(std::move(out));
}

double toNumber(const Text& text) {
    const std::string s = normaliseForNumber(text.view());
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;

    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = (s[i++] == '-');
    const std::size_t mantissaStart = i;

    // The decimal magnitude of the mantissa (position of its first non-zero digit
    // relative to the point) decides overflow against underflow below.
    std::size_t digits = 0;
    bool seenPoint = false;
    bool seenNonZero = false;
    long long magnitude = 0;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i])) {
            ++digits;
            if (s[i] != '0')
                seenNonZero = true;
            if (!seenPoint && seenNonZero)
                ++magnitude;
            if (seenPoint && !seenNonZero)
                --magnitude;
        } else if (s[i] == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return 0.0;
    std::string number(s, mantissaStart, i - mantissaStart);

    // The exponent counts only when at least one digit follows its letter and sign.
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            expNegative = (s[j++] == '-');
        const std::size_t expDigits = j;
        long long exponent = 0;
        while (j < s.size() && isDigit(s[j])) {
            exponent = std::min(exponent * 10 + (s[j] - '0'), 1'000'000'000'000LL);
            ++j;
        }
        if (j > expDigits) {
            number += 'e';
            number.append(s, i + 1, j - i - 1);
            magnitude += expNegative ? -exponent : exponent;
        }
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small gives 0, as strtod does.
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

int toInteger(double number) {
    if (std::isnan(number))
        return 0;
    const double truncated = std::trunc(number);
    if (truncated >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (truncated <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(truncated);
}

Text trimText(const Text& text) {
    const std::string_view s = text.view();
    auto blankWidth = [&](std::size_t i) -> std::size_t {
        if (s[i] == ' ')
            return 1;
        if (s[i] == '\xA1' && i + 1 < s.size() && s[i + 1] == '\xA1')
            return 2;
        return 0;
    };
    std::size_t begin = 0;
    while (begin < s.size()) {
        const std::size_t w = blankWidth(begin);
        if (w == 0)
            break;
        begin += w;
    }
    // Walk forward, character by character, since a second byte may look like a space;
    // `end` stays just past the last character that is not blank.
    std::size_t end = begin;
    for (std::size_t i = begin; i < s.size();) {
        const std::size_t w = blankWidth(i);
        if (w != 0) {
            i += w;
        } else {
            i += charWidth(s, i);
            end = i;
        }
    }
    return Text(s.substr(begin, end - begin));
}

Text replaceAt(const Text& text, int start, int length, const std::optional<Text>& replacement) {
    const std::string_view s = text.view();
    const std::size_t pos = std::min(startIndex(start), s.size());
    const std::size_t removed =
        length <= 0 ? 0 : std::min(static_cast<std::size_t>(length), s.size() - pos);
    std::string out;
    out.reserve(s.size() - removed + (replacement ? replacement->size() : 0));
    out.append(s.substr(0, pos));
    if (replacement)
        out.append(replacement->view());
    out.append(s.substr(pos + removed));
    return Text(std::move(out));
}

Text replaceText(const Text& text, const Text& sub, const Text& replacement,
                 std::optional<int> start, std::optional<int> count, bool caseSensitive) {
    const std::string_view s = text.view();
    const std::size_t from = startIndex(start);
    if (s.empty() || sub.empty() || from >= s.size() || (count && *count == 0))
        return text;
    const bool unlimited = !count || *count < 0;
    const int limit = unlimited ? 0 : *count;

    std::string out;
    out.reserve(s.size());
    std::size_t i = from;
    int done = 0;
    out.append(s.substr(0, from));
    for (;;) {
        const std::size_t hit = findAligned(s, i, sub.view(), !caseSensitive);
        if (hit == npos)
            break;
        out.append(s.substr(i, hit - i));
        out.append(replacement.view());
        i = hit + sub.size();
        if (!unlimited && ++done == limit)
            break;
    }
    out.append(s.substr(i));
    return Text(std::move(out));
}

TextList splitText(const Text& text, const Text& delimiter, std::optional<int> maxItems) {
    TextList items;
    const std::string_view s = text.view();
    const bool limited = maxItems.has_value();
    const std::size_t limit = limited ? static_cast<std::size_t>(std::max(*maxItems, 0)) : 0;
    if (s.empty() || (limited && limit == 0))
        return items;
    if (delimiter.empty()) {
        items.push_back(text);
        return items;
    }
    std::size_t itemStart = 0;
    for (;;) {
        const std::size_t hit = findAligned(s, itemStart, delimiter.view(), false);
        if (hit == npos)
            break;
        items.emplace_back(s.substr(itemStart, hit - itemStart));
        itemStart = hit + delimiter.size();
        if (limited && items.size() == limit)
            return items;
    }
    if (itemStart < s.size())
        items.emplace_back(s.substr(itemStart));
    return items;
}

Bytes toBytes(const Text& text) {
    return Bytes(text.view());
}

Text blankText(int n) {
    if (n < 1)
        return {};
    return Text(std::string(static_cast<std::size_t>(n), ' '));
}

Bytes blankBytes(int n) {
    if (n <= 0)
        return {};
    return Bytes(std::string(static_cast<std::size_t>(n), '\0'));
}

int compareText(const Text& a, const Text& b, bool caseSensitive) {
    // A character's sort key: one-byte characters by their (folded) byte, two-byte
    // characters above all of them by their two bytes; an incomplete character at the
    // end sorts just below the complete ones that share its first byte.
    auto key = [caseSensitive](std::string_view s, std::size_t i, std::size_t& width) {
        const auto c = static_cast<unsigned char>(s[i]);
        width = charWidth(s, i);
        if (width == 2)
            return 0x10000u + (c << 8) + static_cast<unsigned char>(s[i + 1]);
        if (isLeadByte(s[i]))
            return 0x10000u + (c << 8);
        return static_cast<unsigned>(caseSensitive ? c : foldAscii(c));
    };
    const std::string_view x = a.view();
    const std::string_view y = b.view();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < x.size() && j < y.size()) {
        std::size_t wx = 0;
        std::size_t wy = 0;
        const unsigned kx = key(x, i, wx);
        const unsigned ky = key(y, j, wy);
        if (kx != ky)
            return kx < ky ? -1 : 1;
        i += wx;
        j += wy;
    }
    if (i < x.size())
        return 1;
    if (j < y.size())
        return -1;
    return 0;
}

Bytes leftBytes(const Bytes& bytes, int n) {
    if (n <= 0)
        return {};
    return Bytes(bytes.view().substr(0, static_cast<std::size_t>(n)));
}

Text toText(std::int32_t value) {
    char buf[16];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;  // 11 characters at most
    return Text(std::string_view(buf, static_cast<std::size_t>(end - buf)));
}

Text toText(double value) {
    // to_chars with precision is "%.*g" in the C locale, whatever locale the process
    // has set (Qt sets LC_ALL from the environment); only the exponent width differs:
    // it is written with at least three digits.
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 13);
    (void)ec;  // "-1.234567890123e-308" is far below 64 characters
    std::string out(buf, end);
    if (const std::size_t e = out.find('e'); e != std::string::npos && e + 2 <= out.size()) {
        const std::size_t digitsAt = e + 2;  // after the letter and its sign
        const std::size_t width = out.size() - digitsAt;
        if (width < 3)
            out.insert(digitsAt, 3 - width, '0');
    }
    return Text(std::move(out));
}

Text toText(bool value) {
    return value ? Text("\xD5\xE6") : Text("\xBC\xD9");
}

Text toText(const Bytes& value) {
    return Text(value.view());
}

Text toText(const Text& value) {
    return value;
}

Text hexText(std::int32_t value) {
    char buf[16];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, static_cast<std::uint32_t>(value), 16);
    (void)ec;
    std::string out(buf, end);
    for (char& c : out) {
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return Text(std::move(out));
}

int itemCount(const TextList& list) {
    return toCount(list.size());
}

Text textBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::optional<int> start, std::optional<bool> caseSensitive) {
    const Text opening = replaceText(startMarker, kQuoteName, "\"", {}, {}, true);
    const Text closing = replaceText(endMarker, kQuoteName, "\"", {}, {}, true);
    const bool ignoreCase = !caseSensitive.value_or(false);

    const int p = findText(text, opening, start, ignoreCase);
    if (p == -1)
        return {};
    const Text rest = rightText(text, textLength(text) - p - textLength(opening) + 1);
    const int q = findText(rest, closing, 1, ignoreCase);
    if (q == -1)
        return {};
    return leftText(rest, q - 1);
}

Text textBefore(const Text& text, const Text& marker, std::optional<int> start, bool ignoreCase) {
    const int from = (!start || *start <= 0) ? 1 : *start;
    const int p = findText(text, marker, from, ignoreCase);
    if (p == -1)
        return {};
    return leftText(text, p - 1);
}

Text replaceSeveral(const Text& text, std::optional<int> count, std::optional<int> start,
                    std::optional<bool> caseSensitive, const Text& find1, const Text& replace1,
                    const Text& find2, const Text& replace2, const Text& find3,
                    const Text& replace3, const Text& find4, const Text& replace4,
                    const Text& find5, const Text& replace5) {
    const int from = (!start || *start <= 0) ? 1 : *start;
    const bool exact = caseSensitive.value_or(false);
    const Text* pairs[5][2] = {{&find1, &replace1},
                               {&find2, &replace2},
                               {&find3, &replace3},
                               {&find4, &replace4},
                               {&find5, &replace5}};
    Text current = text;
    for (const auto& pair : pairs) {
        if (pair[0]->empty())
            continue;
        current = replaceText(current, *pair[0], *pair[1], from, count, exact);
    }
    return current;
}

}  // namespace sh::text
