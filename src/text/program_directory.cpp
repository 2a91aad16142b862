#include "text/program_directory.h"

#include <mutex>
#include <system_error>

namespace sh {

namespace {

std::mutex g_mutex;
std::filesystem::path g_dir;
bool g_known = false;

std::filesystem::path executableDirectory() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

}  // namespace

std::filesystem::path programDirectory() {
    std::lock_guard lock(g_mutex);
    if (!g_known) {
        g_dir = executableDirectory();
        g_known = true;
    }
    return g_dir;
}

void setProgramDirectory(const std::filesystem::path& dir) {
    std::lock_guard lock(g_mutex);
    g_dir = dir;
    g_known = true;
}

}  // namespace sh
