#pragma once

// Fragments that keep an address out of the result list: the lines of the exclusion
// file "排除网址.txt" in the program directory. The file content is GBK, lines end in
// CR LF, and every line is used as it stands (nothing trimmed, a byte-order mark stays
// part of the first line).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;
using sh::text::TextList;

using ExclusionList = TextList;

// The file's name on disk (UTF-8), in programDirectory().
std::filesystem::path exclusionFilePath();

inline constexpr std::size_t kMaxExclusionFileBytes = 128u * 1024 * 1024;

// Which kinds of file a read accepts.
enum class FileKinds {
    // Regular files only; anything else (a FIFO, a device, a socket) counts as missing.
    // Opening never blocks, so the window cannot hang on a FIFO that nobody writes.
    RegularOnly,
    // Whatever can be read: a FIFO or a pipe is read to its end. Named by the user.
    Any,
};

// What became of an exclusion file; the lines are usable in every case.
struct ExclusionFile {
    enum class State {
        Read,        // read to its end, or to its first NUL
        Missing,     // no such file (error is ENOENT): no lines
        NotRegular,  // not a regular file, with FileKinds::RegularOnly: no lines
        Unreadable,  // could not be opened or read (error says why): no lines
        Cut,         // longer than the bound: the whole lines within it
    };
    ExclusionList lines;
    State state = State::Missing;
    int error = 0;
    // The file's size in bytes where the file system knows it (regular files).
    std::optional<std::uintmax_t> size;
};

// Reads the given file: the bytes up to the first NUL, split at every CR LF; a final CR
// LF adds no line. At most `limit` bytes are read; a longer file is cut back to its last
// whole line within that size. The file is opened once and read once, so a pipe's bytes
// are all used.
ExclusionFile readExclusionFile(const std::filesystem::path& file, FileKinds kinds,
                                std::size_t limit = kMaxExclusionFileBytes);

// Reads exclusionFilePath(), regular files only. A missing, unreadable, empty or
// non-regular file gives no lines.
ExclusionList loadExclusionList();

// The lines of readExclusionFile(file, FileKinds::Any); no lines when it cannot be read.
ExclusionList loadExclusionList(const std::filesystem::path& file);

// True when some non-empty line occurs in the address (exact bytes, stepping over
// two-byte characters). An empty line excludes nothing: a stray blank line in the file
// must not empty a whole run.
bool isExcluded(const Text& address, const ExclusionList& exclusions);

}  // namespace sh::harvest
