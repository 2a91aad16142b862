#pragma once

// Fragments that keep an address out of the result list: the lines of the exclusion
// file "排除网址.txt" in the program directory. The file content is GBK, lines end in
// CR LF, and every line is used as it stands (nothing trimmed, a byte-order mark stays
// part of the first line).

#include <cstddef>
#include <filesystem>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;
using sh::text::TextList;

using ExclusionList = TextList;

// The file's name on disk (UTF-8), in programDirectory().
std::filesystem::path exclusionFilePath();

// Reads exclusionFilePath(). A missing, unreadable or empty file gives no lines.
ExclusionList loadExclusionList();

// Reads the given file: the bytes up to the first NUL, split at every CR LF; a final CR
// LF adds no line. At most kMaxExclusionFileBytes are read; a longer file is cut back
// to its last whole line within that size.
ExclusionList loadExclusionList(const std::filesystem::path& file);

inline constexpr std::size_t kMaxExclusionFileBytes = 128u * 1024 * 1024;

// True when some non-empty line occurs in the address (exact bytes, stepping over
// two-byte characters). An empty line excludes nothing: a stray blank line in the file
// must not empty a whole run.
bool isExcluded(const Text& address, const ExclusionList& exclusions);

}  // namespace sh::harvest
