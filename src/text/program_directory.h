#pragma once

// The directory that holds the program's executable. The program's own files (the
// exclusion file, the saved lists) live there. File names on disk are UTF-8.

#include <filesystem>

namespace sh {

// Determined on first use from /proc/self/exe (the directory, never with a trailing
// separator); the current directory when that cannot be read.
std::filesystem::path programDirectory();

// Points programDirectory() elsewhere; for tests and the command line's --exclude.
void setProgramDirectory(const std::filesystem::path& dir);

}  // namespace sh
