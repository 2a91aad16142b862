#pragma once

// The text, byte-buffer and number operations that every other part of the program
// uses. All are pure functions of their arguments: they never fail, they clamp what is
// out of range, and they report "nothing" as an empty Text/Bytes, -1 or 0.
//
// Scanning operations (findText, replaceText, splitText, toLower, trimText) step
// through GBK characters: a byte 80..FF begins a two-byte character. A text that ends
// in such a lead byte with nothing after it is treated as one incomplete character;
// nothing ever reads past the end of a text.
//
// Optional arguments are std::optional where leaving them out differs from any value
// that could be given (replaceText's count: left out = all, 0 = none).

#include <cstdint>
#include <optional>

#include "text/text.h"

namespace sh::text {

int textLength(const Text& text);
int bytesLength(const Bytes& bytes);

// Byte cutting: may split a two-byte character.
Text leftText(const Text& text, int n);
Text rightText(const Text& text, int n);
Text midText(const Text& text, int start, int n);

// One-byte text holding the low 8 bits of code; empty when they are 0.
Text charFromCode(int code);

// 1-based position of the first occurrence of sub at or after start, or -1.
// An empty sub is found at 1 whenever the searched part is not empty.
int findText(const Text& text, const Text& sub, std::optional<int> start = {},
             bool ignoreCase = false);

// A..Z to a..z in one-byte characters only.
Text toLower(const Text& text);

// The leading number of the text (full-width digits and signs accepted, exponent
// letters e/E/d/D); 0 when there is none. Too large for a double gives +-infinity, too
// small gives 0 (as strtod). Never depends on the process locale.
double toNumber(const Text& text);

// Truncation toward zero; values outside int32 saturate, NaN gives 0.
int toInteger(double number);

// Removes leading and trailing spaces and full-width spaces (A1 A1), nothing else.
Text trimText(const Text& text);

// Removes length bytes at start (clamped) and inserts the replacement there.
Text replaceAt(const Text& text, int start, int length,
               const std::optional<Text>& replacement = {});

// Replaces non-overlapping occurrences of sub from start on; count left out or
// negative = all, 0 = none. Case is ignored (ASCII only) unless caseSensitive.
Text replaceText(const Text& text, const Text& sub, const Text& replacement = {},
                 std::optional<int> start = {}, std::optional<int> count = {},
                 bool caseSensitive = false);

// Splits at every exact occurrence of delimiter; keeps empty items but not an empty
// remainder after the last delimiter. maxItems left out = no limit.
TextList splitText(const Text& text, const Text& delimiter = ",",
                   std::optional<int> maxItems = {});

Bytes toBytes(const Text& text);
Text blankText(int n);
Bytes blankBytes(int n);

// 0 when equal, otherwise the sign of the first differing character; a two-byte
// character is greater than any one-byte character. Ignoring case, A..Z compare as a..z.
int compareText(const Text& a, const Text& b, bool caseSensitive);

Bytes leftBytes(const Bytes& bytes, int n);

Text toText(std::int32_t value);       // "%d"
Text toText(double value);             // "%.13g" with a three-digit exponent: "1e+013"
Text toText(bool value);               // "真" / "假" in GBK
Text toText(const Bytes& value);       // up to the first NUL byte
Text toText(const Text& value);        // a copy
Text toText(const char*) = delete;     // would silently pick the bool overload

// "%X" of a 32-bit integer: "FF", "FFFFFFFF" for -1.
Text hexText(std::int32_t value);

template <class... Parts>
Text concatText(const Parts&... parts) {
    std::string joined;
    (joined.append(Text(parts).view()), ...);
    return Text(std::move(joined));
}

template <class... Parts>
Bytes concatBytes(const Parts&... parts) {
    std::string joined;
    (joined.append(parts.view()), ...);
    return Bytes(std::move(joined));
}

int itemCount(const TextList& list);

// The text between the first startMarker at or after start and the next endMarker after
// it; empty when either is missing. "#引号" in a marker stands for a double quote.
// Case is ignored unless caseSensitive is given as true.
Text textBetween(const Text& text, const Text& startMarker, const Text& endMarker,
                 std::optional<int> start = {}, std::optional<bool> caseSensitive = {});

// Everything from position 1 up to the first marker found at or after start; empty
// when the marker is missing.
Text textBefore(const Text& text, const Text& marker, std::optional<int> start = {},
                bool ignoreCase = false);

// Applies up to five find/replace pairs in order, each with replaceText. A pair with an
// empty find text changes nothing.
Text replaceSeveral(const Text& text, std::optional<int> count, std::optional<int> start,
                    std::optional<bool> caseSensitive, const Text& find1,
                    const Text& replace1 = {}, const Text& find2 = {},
                    const Text& replace2 = {}, const Text& find3 = {},
                    const Text& replace3 = {}, const Text& find4 = {},
                    const Text& replace4 = {}, const Text& find5 = {},
                    const Text& replace5 = {});

}  // namespace sh::text
