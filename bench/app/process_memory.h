#pragma once

// Memory of the window process and of the WebEngine helper processes it started, read
// from /proc, for the window benchmarks.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace sh::bench {

// A field of /proc/<pid>/status in KiB (VmHWM: peak resident set), 0 if missing.
inline long statusKiB(const std::string& pid, const char* key) {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size() + 1));
    return 0;
}

inline long parentOf(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    std::getline(stat, line);
    if (line.empty())
        return 0;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string state;
    long ppid = 0;
    rest >> state >> ppid;
    return ppid;
}

struct ProcessMemory {
    double peakMiB = 0;         // this process, peak resident set
    double nowMiB = 0;          // this process, resident now
    double helpersPeakMiB = 0;  // the sum of the helpers' (and their children's) peaks
};

inline ProcessMemory processMemory() {
    long helpers = 0;
    const long me = getpid();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        for (long p = parentOf(pid), depth = 0; p > 1 && depth < 4;
             p = parentOf(std::to_string(p)), ++depth)
            if (p == me) {
                helpers += statusKiB(pid, "VmHWM:");
                break;
            }
    }
    return {statusKiB("self", "VmHWM:") / 1024.0, statusKiB("self", "VmRSS:") / 1024.0,
            helpers / 1024.0};
}

}  // namespace sh::bench
