#include "harvest/exclusion_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "text/primitives.h"
#include "text/program_directory.h"

namespace sh::harvest {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The bytes before the first NUL, at most `limit` of them; empty when the file cannot
// be opened or a read fails part-way (an unreadable file excludes nothing).
std::string readUpToNul(const std::filesystem::path& file, std::size_t limit, bool& cut) {
    cut = false;
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
    if (!in)
        return {};
    std::string bytes;
    char buffer[64 * 1024];
    while (bytes.size() < limit) {
        const std::size_t want = std::min(sizeof buffer, limit - bytes.size());
        const std::size_t got = std::fread(buffer, 1, want, in.get());
        if (got > 0) {
            if (const void* nul = std::memchr(buffer, '\0', got)) {
                bytes.append(buffer, static_cast<const char*>(nul) - buffer);
                return bytes;
            }
            bytes.append(buffer, got);
        }
        if (got < want) {
            if (std::ferror(in.get()))
                return {};
            return bytes;  // end of file
        }
    }
    // The limit was reached: anything left (other than a NUL) means the file is longer.
    const int next = std::fgetc(in.get());
    cut = next != EOF && next != 0;
    return bytes;
}

}  // namespace

std::filesystem::path exclusionFilePath() {
    return sh::programDirectory() / std::filesystem::path(u8"排除网址.txt");
}

ExclusionList loadExclusionList() {
    return loadExclusionList(exclusionFilePath());
}

ExclusionList loadExclusionList(const std::filesystem::path& file) {
    bool cut = false;
    std::string bytes = readUpToNul(file, kMaxExclusionFileBytes, cut);
    if (cut) {
        // Keep whole lines only, so a cut never leaves a short fragment that excludes
        // more than the line it came from.
        const std::size_t lastBreak = bytes.rfind("\r\n");
        bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 2);
    }
    if (bytes.empty())
        return {};
    return sh::text::splitText(Text(std::move(bytes)), "\r\n");
}

bool isExcluded(const Text& address, const ExclusionList& exclusions) {
    for (const Text& line : exclusions) {
        if (line.empty() || line.size() > address.size())
            continue;
        if (sh::text::findText(address, line) != -1)
            return true;
    }
    return false;
}

}  // namespace sh::harvest
