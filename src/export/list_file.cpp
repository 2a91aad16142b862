#include "export/list_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>

#include "text/codepage.h"
#include "text/primitives.h"
#include "text/program_directory.h"

namespace sh::exporting {

using namespace sh::text;
using sh::harvest::EditBox;

namespace {

namespace fs = std::filesystem;

std::string errnoText(int error) { return std::strerror(error); }

// Owns a file descriptor; closes it unless released.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// Where the bytes for a path end up once its symbolic links have been followed.
struct Destination {
    enum class Kind {
        File,        // a regular file, or nothing yet: replaced through a temporary file
        Descriptor,  // one of the process's own open descriptors
        Special,     // a device or a FIFO: written in place
        Socket,      // a Unix socket: connected to and written
    };
    Kind kind = Kind::File;
    fs::path path;        // File, Special, Socket: the final path
    int descriptor = -1;  // Descriptor
    bool exists = false;  // File: a regular file is there now
    mode_t mode = 0;      // File: its permission bits, when it exists
    int error = 0;        // non-zero: nothing can be written there (errno)
};

// The Linux kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

// /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N and /proc/<our pid>/fd/N name our
// own descriptor N. Their links lead to names like "pipe:[1234]" that are no path, so
// they are taken for what they are rather than followed.
std::optional<int> ownDescriptor(const fs::path& path) {
    const std::string text = path.lexically_normal().string();
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/",
                                    "/proc/" + std::to_string(::getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (!text.starts_with(prefix))
            continue;
        const char* first = text.data() + prefix.size();
        const char* last = text.data() + text.size();
        int fd = -1;
        const auto [end, error] = std::from_chars(first, last, fd);
        if (error != std::errc() || end != last || first == last || fd < 0)
            return std::nullopt;
        return fd;
    }
    return std::nullopt;
}

// The target of a symbolic link, resolved against the link's own directory.
std::optional<fs::path> linkTarget(const fs::path& link) {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n < 0)
        return std::nullopt;
    if (static_cast<std::size_t>(n) == sizeof buffer) {
        errno = ENAMETOOLONG;
        return std::nullopt;
    }
    const fs::path target(std::string(buffer, static_cast<std::size_t>(n)));
    return target.is_absolute() ? target : link.parent_path() / target;
}

// Where a write to `file` lands, links followed; EINVAL for a path without a file name.
Destination resolve(const fs::path& file) {
    Destination d;
    if (file.empty() || !file.has_filename()) {
        d.error = EINVAL;
        return d;
    }
    fs::path path = file;
    for (int links = 0;; ++links) {
        if (const std::optional<int> fd = ownDescriptor(path)) {
            d.kind = Destination::Kind::Descriptor;
            d.descriptor = *fd;
            return d;
        }
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            // Nothing there yet: a new file (a missing directory shows when it is made).
            if (errno != ENOENT)
                d.error = errno;
            d.path = path;
            return d;
        }
        if (S_ISLNK(st.st_mode)) {
            std::optional<fs::path> target;
            if (links == kMaxLinks)
                errno = ELOOP;
            else
                target = linkTarget(path);
            if (!target) {
                d.error = errno;
                return d;
            }
            path = *target;
            continue;
        }
        d.path = path;
        if (S_ISREG(st.st_mode)) {
            d.exists = true;
            d.mode = st.st_mode & 0777;
        } else if (S_ISDIR(st.st_mode)) {
            d.error = EISDIR;
        } else if (S_ISSOCK(st.st_mode)) {
            d.kind = Destination::Kind::Socket;
        } else {
            d.kind = Destination::Kind::Special;
        }
        return d;
    }
}

// Creates a new, empty file with a short random name in `dir`, so the name stays valid
// however long the target's own name is. O_EXCL lets the kernel apply the umask (and a
// directory's default ACL) to `mode`. Returns the descriptor, or -1 with errno set.
int createTemporary(const fs::path& dir, mode_t mode, fs::path& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint32_t random = 0;
        if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
            random = static_cast<std::uint32_t>(std::time(nullptr)) ^
                     static_cast<std::uint32_t>(::getpid() * 2654435761u) ^
                     static_cast<std::uint32_t>(attempt * 40503u);
        char base[32];
        std::snprintf(base, sizeof base, ".siteharvest-%08x", random);
        name = dir / base;
        const int fd = ::open(
            name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

fs::path directoryOf(const fs::path& path) {
    const fs::path dir = path.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// Writes every byte; 0 on success, errno otherwise. A descriptor set non-blocking by
// someone else is waited on rather than given up.
int writeAll(int fd, std::string_view data) {
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR)
            return errno;
    }
    return 0;
}

// The regular-file case: a temporary file beside the target, renamed over it.
std::string replaceFile(const Destination& d, std::string_view data) {
    fs::path temp;
    // A replaced file's bits are set below, exactly; until then nobody else may read it.
    Fd fd(createTemporary(directoryOf(d.path), d.exists ? 0600 : 0644, temp));
    if (fd.get() < 0)
        return errnoText(errno);
    auto fail = [&](int error) {
        ::unlink(temp.c_str());
        return errnoText(error);
    };
    if (const int error = writeAll(fd.get(), data))
        return fail(error);
    // Best effort: some file systems (FAT) cannot hold the bits and refuse; the content
    // matters more than its mode.
    if (d.exists)
        (void)::fchmod(fd.get(), d.mode);
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    if (::rename(temp.c_str(), d.path.c_str()) != 0)
        return fail(errno);
    return {};
}

std::string writeToDescriptor(int descriptor, std::string_view data) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags < 0)
        return errnoText(errno);
    if ((flags & O_ACCMODE) == O_RDONLY)
        return errnoText(EBADF);
    if (const int error = writeAll(descriptor, data))
        return errnoText(error);
    return {};
}

std::string writeToSpecial(const fs::path& path, std::string_view data, FifoWait fifoWait) {
    // Without a reader, a non-blocking open of a FIFO fails at once (ENXIO) instead of
    // waiting; once open, the writes may block as usual.
    const int nonBlocking = fifoWait == FifoWait::No ? O_NONBLOCK : 0;
    Fd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | nonBlocking));
    if (fd.get() < 0)
        return errnoText(errno);
    if (nonBlocking != 0)
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (const int error = writeAll(fd.get(), data))
        return errnoText(error);
    if (::close(fd.release()) != 0)
        return errnoText(errno);
    return {};
}

std::string writeToSocket(const fs::path& path, std::string_view data) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.native().size() >= sizeof address.sun_path)
        return errnoText(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.c_str(), path.native().size());
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        return errnoText(errno);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return errnoText(errno);
    // A reader that has gone must give an error here, not a SIGPIPE that ends the program.
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::send(fd.get(), data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errnoText(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

std::filesystem::path listFilePath(const char* stemUtf8, int rowCount) {
    const std::string number = toText(static_cast<double>(rowCount) + 1).bytes();
    return programDirectory() / (std::string(stemUtf8) + number + ".txt");
}

void saveList(Window& window, EditBox promotionBox,
              std::filesystem::path (*filePath)(int rowCount),
              Text (*content)(const ResultList&)) {
    harvest::showPromotionPage(window, promotionBox);
    const ResultList& list = window.resultList();
    if (list.rowCount() == 0) return;
    const std::filesystem::path file = filePath(list.rowCount());

    const std::string error = writeFileAtomically(file, content(list).view(), FifoWait::No);
    if (error.empty()) {
        window.messageBox(gbk("保存成功"), gbk("信息："));
    } else {
        window.warningBox(gbk("保存失败：" + file.string() + "\n" + error), gbk("警告："));
    }
}

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& file, std::string_view data,
                                FifoWait fifoWait) {
    const Destination d = resolve(file);
    if (d.error != 0)
        return errnoText(d.error);
    switch (d.kind) {
        case Destination::Kind::File:
            return replaceFile(d, data);
        case Destination::Kind::Descriptor:
            return writeToDescriptor(d.descriptor, data);
        case Destination::Kind::Special:
            return writeToSpecial(d.path, data, fifoWait);
        case Destination::Kind::Socket:
            return writeToSocket(d.path, data);
    }
    return errnoText(EINVAL);
}

std::string writeProblem(const std::filesystem::path& file) {
    const Destination d = resolve(file);
    if (d.error != 0)
        return errnoText(d.error);
    switch (d.kind) {
        case Destination::Kind::File: {
            // Making the temporary file is the first step of the real write, and the one
            // that meets a missing or read-only directory.
            fs::path temp;
            Fd fd(createTemporary(directoryOf(d.path), 0600, temp));
            if (fd.get() < 0)
                return errnoText(errno);
            ::unlink(temp.c_str());
            return {};
        }
        case Destination::Kind::Descriptor: {
            const int flags = ::fcntl(d.descriptor, F_GETFL);
            if (flags < 0)
                return errnoText(errno);
            return (flags & O_ACCMODE) == O_RDONLY ? errnoText(EBADF) : std::string();
        }
        case Destination::Kind::Special:
        case Destination::Kind::Socket:
            return ::access(d.path.c_str(), W_OK) == 0 ? std::string() : errnoText(errno);
    }
    return errnoText(EINVAL);
}

bool writeFile(const Text& fileName, const Bytes& data) {
    if (fileName.empty()) return false;
    return writeFileAtomically(std::filesystem::path(utf8(fileName)), data.view(), FifoWait::No)
        .empty();
}

Text urlsFileText(const ResultList& list) {
    std::string text;
    for (const auto& row : list.rows()) {
        text.append(row.cells[1].view()).append("\r\n");
    }
    return Text(std::move(text));
}

Text urlsAndTitlesFileText(const ResultList& list) {
    std::string text;
    for (const auto& row : list.rows()) {
        text.append(row.cells[1].view()).append("\r\n");
        text.append(row.cells[2].view()).append("\r\n");
    }
    return Text(std::move(text));
}

std::filesystem::path urlsFilePath(int rowCount) { return listFilePath("已采集网址", rowCount); }

std::filesystem::path urlsAndTitlesFilePath(int rowCount) {
    return listFilePath("已采集标题+网址", rowCount);
}

void onSaveUrlsClicked(Window& window) {
    saveList(window, EditBox::编辑框5, urlsFilePath, urlsFileText);
}

void onSaveUrlsAndTitlesClicked(Window& window) {
    saveList(window, EditBox::编辑框6, urlsAndTitlesFilePath, urlsAndTitlesFileText);
}

void onClearClicked(Window& window) {
    harvest::showPromotionPage(window, EditBox::编辑框7);
    window.resultList().deleteAllRows();
}

}  // namespace sh::exporting
