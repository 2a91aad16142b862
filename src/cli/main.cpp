// siteharvest-cli: the harvest and the keyword suggestions from the command line.

#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return sh::cli::runCommandLine(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
