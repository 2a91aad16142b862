#pragma once

// Keywords from the command line and from a keyword file, turned into the GBK text that
// the harvest works with.

#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace sh::cli {

using sh::text::Text;

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF). Plain ASCII is UTF-8.
bool isValidUtf8(std::string_view bytes);

// A keyword as the terminal gave it: UTF-8 is converted to GBK; bytes that are not
// UTF-8 are taken to be GBK already (a terminal set to GBK). Characters GBK lacks
// become '?'; `lossy`, when given, says whether that happened.
Text keywordFromArgument(std::string_view bytes, bool* lossy = nullptr);

// The Unicode form a keyword file is written in: told by its byte-order mark or, without
// one, by its NUL bytes. Text in UTF-8 or GBK holds no NUL. UTF-16 holds one in the
// unit of every ASCII character, in every other byte: it is the byte order in which the
// content reads as UTF-16 text (no zero unit, no control but tab, CR and LF) with more
// ASCII characters. UTF-32 is content that is whole UTF-32 code points. Utf8OrGbk when
// none of these fits. A UTF-16 file of nothing but Chinese on one line holds no NUL and
// cannot be told from GBK.
enum class UnicodeForm { Utf8OrGbk, Utf16Le, Utf16Be, Utf32Le, Utf32Be };
UnicodeForm unicodeFormOf(std::string_view content);

// The keywords of a keyword file's content, one per line, in file order. UTF-16 (LE or
// BE, with or without a byte-order mark) is read as such; UTF-32 gives no keyword
// (readKeywordFile refuses it by name). Otherwise a UTF-8 byte-order mark is dropped and
// the content read as UTF-8; content that is valid UTF-8 is UTF-8; anything else is GBK.
// Lines end at LF, a CR before it is dropped, and blank lines (nothing but spaces and
// tabs) are skipped; other lines are kept as they stand. A NUL byte (a zero unit in
// UTF-16) ends the line it is in.
std::vector<Text> keywordsFromFileContent(std::string_view content);

// Larger keyword files are refused rather than read into memory.
inline constexpr std::size_t kMaxKeywordFileBytes = 64u * 1024 * 1024;

struct KeywordFile {
    std::vector<Text> keywords;
    // Why the file could not be used (unreadable, too large, UTF-32); empty when read.
    std::string error;
};

// Reads a keyword file; "-" reads standard input.
KeywordFile readKeywordFile(const std::string& path);

}  // namespace sh::cli
