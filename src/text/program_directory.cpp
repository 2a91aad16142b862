#include "text/program_directory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

namespace sh {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderName = "siteharvest";

std::mutex g_mutex;
fs::path g_dir;
bool g_known = false;

fs::path executableDirectory() {
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path())
        return fs::current_path(ec);
    return exe.parent_path();
}

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

// $HOME, or the password database's entry when HOME is unset or empty (a service or a
// sudo session may start the program so).
fs::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

}  // namespace

bool isInstalledLayout(const fs::path& executableDirectory) {
    std::error_code ec;
    return !executableDirectory.empty() &&
           fs::is_directory(executableDirectory.parent_path() / "share" / kFolderName, ec);
}

fs::path programDirectoryFor(const DirectoryContext& context) {
    if (!isInstalledLayout(context.executableDirectory))
        return context.executableDirectory;
    // lexically_normal() drops the doubled separator of an XDG_DATA_HOME ending in one.
    if (context.xdgDataHome && fs::path(*context.xdgDataHome).is_absolute())
        return (fs::path(*context.xdgDataHome) / kFolderName).lexically_normal();
    if (context.home.is_absolute())
        return (context.home / ".local" / "share" / kFolderName).lexically_normal();
    return context.executableDirectory;
}

fs::path programDirectory() {
    std::lock_guard lock(g_mutex);
    if (!g_known) {
        g_dir = programDirectoryFor(
            {executableDirectory(), environmentValue("XDG_DATA_HOME"), homeDirectory()});
        g_known = true;
    }
    return g_dir;
}

void setProgramDirectory(const fs::path& dir) {
    std::lock_guard lock(g_mutex);
    g_dir = dir;
    g_known = true;
}

std::string makeProgramDirectory() {
    const fs::path dir = programDirectory();
    std::error_code ec;
    if (fs::is_directory(dir, ec))
        return {};
    // Folder by folder, so that each new one is the user's alone (as the XDG rules ask of
    // the data home) without touching the process-wide umask.
    fs::path partial;
    for (const fs::path& part : dir) {
        partial /= part;
        if (fs::is_directory(partial, ec))
            continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return std::strerror(errno);
    }
    if (!fs::is_directory(dir, ec))
        return std::strerror(ENOTDIR);
    return {};
}

}  // namespace sh
