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

// The keywords of a keyword file's content, one per line, in file order. A UTF-8
// byte-order mark is dropped and the content read as UTF-8; content that is valid UTF-8
// is UTF-8; anything else is GBK. Lines end at LF, a CR before it is dropped, and blank
// lines (nothing but spaces and tabs) are skipped; other lines are kept as they stand.
// A NUL byte ends the line it is in.
std::vector<Text> keywordsFromFileContent(std::string_view content);

// Larger keyword files are refused rather than read into memory.
inline constexpr std::size_t kMaxKeywordFileBytes = 64u * 1024 * 1024;

struct KeywordFile {
    std::vector<Text> keywords;
    // Why the file could not be used (unreadable, too large, UTF-16); empty when read.
    std::string error;
};

// Reads a keyword file; "-" reads standard input.
KeywordFile readKeywordFile(const std::string& path);

}  // namespace sh::cli
