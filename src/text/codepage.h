#pragma once

// Code-page conversion between GBK (936), Big5 (950) and UTF-8 (65001) through UTF-16,
// traditional-to-simplified mapping, and percent-encoding.
//
// Conversions go through ICU with the Windows tables ("windows-936-2000",
// "windows-950-2000"). Code page 0, the system ANSI code page, means 936.
// Nothing here fails loudly: invalid input and characters the target lacks become
// the replacement character ('?' in GBK); an empty argument gives an empty result.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace sh::text {

// Percent-encodes the UTF-8 form of a GBK text: every byte as "%XX" (upper-case hex),
// or, with keepPlainChars, all but ',' '-' '.' '/' digits and ASCII letters.
// Lets the calling thread's EventPump process pending events after every byte.
Text urlEncode(const Text& text, std::optional<bool> keepPlainChars = {});

// GBK -> UTF-8 bytes (held in a Text), and back.
Text gbkToUtf8(const Text& gbk);
Text utf8ToGbk(const Text& utf8);

// Text in a code page -> UTF-16LE units followed by a zero unit ("wide text");
// codePage left out means 65001 (UTF-8). Code pages other than 0, 936, 950 and 65001
// are ICU's "windows-<n>" tables; one that ICU lacks, or a UTF-16/32 one, gives an
// empty result. The whole text is converted, whatever its size.
Bytes ansiToWide(const Text& text, std::optional<std::int32_t> codePage = {});

// Wide text (up to its first zero unit; an odd last byte is ignored) -> text in a code
// page; left out means 0 (GBK). Unpaired surrogates count as characters the code page
// lacks. Code pages as for ansiToWide.
Text wideToAnsi(const Bytes& wide, std::optional<std::int32_t> codePage = {});

// Big5 -> GBK keeping traditional characters; a character that GBK lacks becomes '?'
// like in every other conversion here (it does not cut the text short).
Text big5ToGbk(const Text& big5);

// Big5 -> GBK with traditional characters mapped to simplified ones.
Text big5ToSimplifiedGbk(const Text& big5);

// GBK -> GBK with traditional characters replaced by simplified ones; a text without
// traditional characters comes back byte for byte. When something is mapped, invalid
// GBK sequences in the same text become '?'. Should ICU's mapping be unavailable, the
// text comes back unchanged.
Text toSimplifiedChinese(const Text& gbk);

// For our own literals and file names, which are UTF-8 in the source and on disk.
inline Text gbk(std::string_view utf8) {
    return utf8ToGbk(Text(utf8));
}
inline std::string utf8(const Text& gbk) {
    return gbkToUtf8(gbk).bytes();
}

}  // namespace sh::text
