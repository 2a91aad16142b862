#include "harvest/exclusion_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "text/primitives.h"
#include "text/program_directory.h"

namespace sh::harvest {

namespace {

// Owns a file descriptor.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

enum class ReadEnd { Whole, Cut, Failed };

// Reads the bytes before the first NUL, at most `limit` of them, into `bytes`. Cut when
// the limit was reached and more (other than a NUL) follows; Failed (errno set) when a
// read fails part-way.
ReadEnd readUpToNul(int fd, std::size_t limit, std::string& bytes) {
    char buffer[64 * 1024];
    while (bytes.size() < limit) {
        const std::size_t want = std::min(sizeof buffer, limit - bytes.size());
        const ssize_t got = ::read(fd, buffer, want);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ReadEnd::Failed;
        }
        if (got == 0)
            return ReadEnd::Whole;
        const auto count = static_cast<std::size_t>(got);
        if (const void* nul = std::memchr(buffer, '\0', count)) {
            bytes.append(buffer, static_cast<const char*>(nul) - buffer);
            return ReadEnd::Whole;
        }
        bytes.append(buffer, count);
    }
    // The limit was reached: anything left (other than a NUL) means the file is longer.
    for (;;) {
        char next;
        const ssize_t got = ::read(fd, &next, 1);
        if (got < 0 && errno == EINTR)
            continue;
        return got == 1 && next != '\0' ? ReadEnd::Cut : ReadEnd::Whole;
    }
}

}  // namespace

std::filesystem::path exclusionFilePath() {
    return sh::programDirectory() / std::filesystem::path(u8"排除网址.txt");
}

ExclusionFile readExclusionFile(const std::filesystem::path& file, FileKinds kinds,
                                std::size_t limit) {
    using State = ExclusionFile::State;
    ExclusionFile result;
    // Without a writer, a non-blocking open of a FIFO returns at once, and it is then
    // refused below; reading a regular file does not notice the flag.
    const int nonBlocking = kinds == FileKinds::RegularOnly ? O_NONBLOCK : 0;
    Fd fd(::open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | nonBlocking));
    if (fd.get() < 0) {
        result.error = errno;
        result.state = errno == ENOENT ? State::Missing : State::Unreadable;
        return result;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        result.error = errno;
        result.state = State::Unreadable;
        return result;
    }
    if (S_ISREG(st.st_mode)) {
        result.size = static_cast<std::uintmax_t>(st.st_size);
    } else if (kinds == FileKinds::RegularOnly) {
        result.state = State::NotRegular;
        return result;
    }

    std::string bytes;
    const ReadEnd end = readUpToNul(fd.get(), limit, bytes);
    if (end == ReadEnd::Failed) {
        // An unreadable file excludes nothing (a directory opens but fails here).
        result.error = errno;
        result.state = State::Unreadable;
        return result;
    }
    result.state = State::Read;
    if (end == ReadEnd::Cut) {
        result.state = State::Cut;
        // Keep whole lines only, so a cut never leaves a short fragment that excludes
        // more than the line it came from.
        const std::size_t lastBreak = bytes.rfind("\r\n");
        bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 2);
    }
    if (!bytes.empty())
        result.lines = sh::text::splitText(Text(std::move(bytes)), "\r\n");
    return result;
}

ExclusionList loadExclusionList() {
    return readExclusionFile(exclusionFilePath(), FileKinds::RegularOnly).lines;
}

ExclusionList loadExclusionList(const std::filesystem::path& file) {
    return readExclusionFile(file, FileKinds::Any).lines;
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
