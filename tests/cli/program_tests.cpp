// The program itself: exit statuses and what reaches standard output and standard error
// when it runs as a child process, its services pointed at the in-process stand-in.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "cli/command_line.h"
#include "cli_test_support.h"
#include "standin/standin_server.h"

namespace {

using sh::clitest::readBytes;

struct Outcome {
    int status;
    std::string out, err;
};

// Runs the program with `arguments` (already quoted for the shell); stdin is empty, or a
// pipe that carries `input`.
Outcome runProgram(const std::filesystem::path& dir, const std::string& arguments,
                   const std::optional<std::string>& input = std::nullopt) {
    const auto out = dir / "stdout", err = dir / "stderr", in = dir / "stdin";
    std::string command = std::string("'") + SH_CLI_PROGRAM + "' " + arguments + " >'" +
                          out.string() + "' 2>'" + err.string() + "'";
    if (input) {
        std::ofstream(in, std::ios::binary) << *input;
        command = "cat '" + in.string() + "' | " + command;
    } else {
        command += " </dev/null";
    }
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readBytes(out), readBytes(err)};
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        setenv("SITEHARVEST_SEARCH_HOST", server.hostPort().c_str(), 1);
        setenv("SITEHARVEST_SUGGEST_HOST", server.hostPort().c_str(), 1);
        dir = sh::clitest::scratchDirectory();
    }
    void TearDown() override {
        unsetenv("SITEHARVEST_SEARCH_HOST");
        unsetenv("SITEHARVEST_SUGGEST_HOST");
        std::filesystem::remove_all(dir);
    }

    sh::standin::StandinServer server;
    std::filesystem::path dir;
};

TEST_F(ProgramTest, HelpAndVersionGoToStandardOutput) {
    for (const char* args : {"--help", "search --help", "suggest -h"}) {
        const Outcome o = runProgram(dir, args);
        EXPECT_EQ(o.status, 0) << args;
        EXPECT_TRUE(o.out.starts_with("Usage: siteharvest-cli ")) << args;
        EXPECT_EQ(o.err, "") << args;
    }
    const Outcome version = runProgram(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("siteharvest-cli ")) << version.out;
}

TEST_F(ProgramTest, BadUsageExitsWithTwoAndSaysWhy) {
    const Outcome none = runProgram(dir, "");
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err,
              "siteharvest-cli: no command given\n"
              "Try 'siteharvest-cli --help' for more information.\n");

    const Outcome pages = runProgram(dir, "search --pages lots x");
    EXPECT_EQ(pages.status, 2);
    EXPECT_EQ(pages.err,
              "siteharvest-cli: --pages: 'lots' is not a whole number from 1 to 100000\n"
              "Try 'siteharvest-cli --help' for more information.\n");
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ProgramTest, SearchWritesWhatTheLibraryGivesAndIsQuietWhenNotOnATerminal) {
    std::ostringstream expected, ignored;
    ASSERT_EQ(sh::cli::runCommandLine(
                  {"search", "-p", "3", "-x", "/dev/null", "-f", "titled", "北京公司"}, expected,
                  ignored, false),
              0);
    server.clearRequests();

    const Outcome o = runProgram(dir, "search -p 3 -x /dev/null -f titled '北京公司'");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, expected.str());
    EXPECT_EQ(server.requestCount(), 3u);
}

// The exclusion list can come down a pipe: its bytes are read once, and all of them used.
TEST_F(ProgramTest, AnExclusionListFromStandardInputIsUsed) {
    std::ostringstream expected, ignored;
    sh::clitest::writeBytes(dir / "list.txt", "shop1\r\nsite2\r\n");
    ASSERT_EQ(sh::cli::runCommandLine({"search", "-p", "2", "-x", (dir / "list.txt").string(), "x"},
                                      expected, ignored, false),
              0);
    const Outcome o = runProgram(dir, "search -p 2 -x /dev/stdin x", "shop1\r\nsite2\r\n");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, expected.str());
}

TEST_F(ProgramTest, NothingFetchedExitsWithOne) {
    server.stop();
    const Outcome o = runProgram(dir, "search -p 2 -x /dev/null x");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.starts_with("siteharvest-cli: nothing could be fetched: all 2 requests"))
        << o.err;
}

}  // namespace
