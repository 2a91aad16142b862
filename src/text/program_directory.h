#pragma once

// The program's directory: where the program's own files live (the exclusion file, the
// saved lists) and what the window makes the current directory at start-up. File names
// on disk are UTF-8.
//
// Run from a build folder it is the folder that holds the executable. Installed (a folder
// "../share/siteharvest" beside the executable's folder, as an install lays it out) that
// folder belongs to the system and a normal user cannot write to it, so the program's
// directory is the user's data folder instead: $XDG_DATA_HOME/siteharvest, by default
// ~/.local/share/siteharvest.

#include <filesystem>
#include <optional>
#include <string>

namespace sh {

// Determined on first use from /proc/self/exe and the environment, then kept (never with
// a trailing separator). The current directory when the executable's path cannot be read.
// Creates nothing: see makeProgramDirectory().
std::filesystem::path programDirectory();

// Points programDirectory() elsewhere; for tests.
void setProgramDirectory(const std::filesystem::path& dir);

// What programDirectory() is decided from, so that the rule can be tried on any layout.
struct DirectoryContext {
    std::filesystem::path executableDirectory;
    std::optional<std::string> xdgDataHome;  // the variable's value; nullopt when unset
    std::filesystem::path home;              // the user's home; empty when unknown
};

// True when the executable's folder has a sibling folder share/siteharvest, the sign of an
// installed layout (<prefix>/bin and <prefix>/share/siteharvest). False on any error.
bool isInstalledLayout(const std::filesystem::path& executableDirectory);

// The rule itself. Installed: XDG_DATA_HOME/siteharvest when the variable holds an
// absolute path (a relative one is ignored, as the XDG base directory rules say), else
// home/.local/share/siteharvest; the executable's directory when neither is known. Not
// installed: the executable's directory. Looks only at the file system, never changes it.
std::filesystem::path programDirectoryFor(const DirectoryContext& context);

// Creates programDirectory() with its missing parents (new folders readable by the user
// alone) when it does not exist. Returns the reason when it cannot be created or is not a
// folder, empty on success. The window calls it at start-up; the command line only reads
// from the folder and leaves it alone.
std::string makeProgramDirectory();

}  // namespace sh
