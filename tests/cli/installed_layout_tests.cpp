// The program copied into an installed layout (<prefix>/bin beside <prefix>/share/siteharvest)
// reads its default exclusion file from the user's data folder, not from beside itself;
// run from a build folder it keeps reading the file beside the executable.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "cli_test_support.h"
#include "standin/standin_server.h"
#include "support/expected_listing.h"

namespace {

namespace fs = std::filesystem;
using sh::clitest::readBytes;
using sh::clitest::writeBytes;

class InstalledLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        dir = sh::clitest::scratchDirectory();
    }
    void TearDown() override { fs::remove_all(dir); }

    // A copy of the program in dir/<layout>/bin, with share/siteharvest when installed.
    fs::path placeProgram(bool installed) {
        const fs::path prefix = dir / (installed ? "usr" : "build");
        fs::create_directories(prefix / "bin");
        if (installed)
            fs::create_directories(prefix / "share" / "siteharvest");
        fs::copy_file(SH_CLI_PROGRAM, prefix / "bin" / "siteharvest-cli");
        return prefix / "bin" / "siteharvest-cli";
    }

    // One page for the keyword "k" as a list of sites; `environment` is prefixed to the
    // command (shell syntax), which has no other variables from the test.
    std::string search(const fs::path& program, const std::string& environment) {
        const fs::path out = dir / "stdout";
        const std::string command = "env -i SITEHARVEST_SEARCH_HOST=" + server.hostPort() + " " +
                                    environment + " '" + program.string() +
                                    "' search -p 1 k </dev/null >'" + out.string() + "'";
        const int raw = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << command;
        return readBytes(out);
    }

    sh::standin::StandinServer server;
    fs::path dir;
};

std::string sitesExcluding(const std::string& fragment) {
    std::string text;
    for (const auto& row : sh::testing::expectedListing("k", 1, {fragment}))
        text += row.site + "\r\n";
    return text;
}

TEST_F(InstalledLayoutTest, DefaultExclusionFileFollowsTheProgramDirectory) {
    const std::string fragment = ".example";
    const std::string all = sitesExcluding(""), filtered = sitesExcluding(fragment);
    ASSERT_NE(all, filtered);

    struct Case {
        const char* name;
        bool installed;
        const char* environment;  // with DIR for the scratch folder
        const char* fileFolder;   // where 排除网址.txt is put: DIR/..., or BIN
        bool excluded;
    };
    const Case cases[] = {
        {"installed: XDG_DATA_HOME/siteharvest", true, "XDG_DATA_HOME=DIR/data HOME=DIR/home",
         "DIR/data/siteharvest", true},
        {"installed: ~/.local/share/siteharvest", true, "HOME=DIR/home",
         "DIR/home/.local/share/siteharvest", true},
        {"installed: a file beside the executable is not read", true,
         "XDG_DATA_HOME=DIR/data HOME=DIR/home", "BIN", false},
        {"build folder: the file beside the executable", false,
         "XDG_DATA_HOME=DIR/data HOME=DIR/home", "BIN", true},
        {"build folder: the data folder is not read", false, "XDG_DATA_HOME=DIR/data HOME=DIR/home",
         "DIR/data/siteharvest", false},
    };
    auto expand = [&](std::string text, const fs::path& bin) {
        for (auto [token, value] : {std::pair{"DIR", dir.string()}, {"BIN", bin.string()}}) {
            for (std::size_t at; (at = text.find(token)) != std::string::npos;)
                text.replace(at, 3, value);
        }
        return text;
    };
    for (const Case& c : cases) {
        fs::remove_all(dir / "usr");
        fs::remove_all(dir / "build");
        fs::remove_all(dir / "data");
        fs::remove_all(dir / "home");
        const fs::path program = placeProgram(c.installed);
        const fs::path folder = expand(c.fileFolder, program.parent_path());
        fs::create_directories(folder);
        writeBytes(folder / u8"排除网址.txt", fragment + "\r\n");

        EXPECT_EQ(search(program, expand(c.environment, program.parent_path())),
                  c.excluded ? filtered : all)
            << c.name;
    }
}

}  // namespace
