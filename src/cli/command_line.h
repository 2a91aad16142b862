#pragma once

// siteharvest-cli as a function, so that tests can run it in-process: parses the
// arguments, does the work and returns the exit status.
//
// Exit status: 0 success; 1 nothing could be fetched at all (every request failed or
// timed out) or the output could not be written; 2 bad usage, or a file named on the
// command line that cannot be used; 3 the search service answered with its verification
// page (a block): the run stopped there and what was harvested before it was written.

#include <iosfwd>
#include <string>
#include <vector>

namespace sh::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBlocked = 3;

inline constexpr const char* kProgramName = "siteharvest-cli";

// args: the arguments after the program name. Results go to `out`, messages to `err`;
// progress lines and a summary per keyword go to `err` too when showProgress is set
// (stderr is a terminal); --verbose adds the summaries and notes without progress.
int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool showProgress);

}  // namespace sh::cli
