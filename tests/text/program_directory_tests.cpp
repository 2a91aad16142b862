#include "text/program_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace sh {
namespace {

namespace fs = std::filesystem;

// A scratch prefix with <prefix>/bin; the installed layout adds <prefix>/share/siteharvest.
class Prefix {
public:
    enum class Layout { Build, Installed, ShareIsAFile };

    explicit Prefix(Layout layout) {
        m_root = fs::temp_directory_path() /
                 ("sh_progdir_" + std::to_string(::getpid()) + "_" + std::to_string(s_counter++));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "usr" / "bin");
        if (layout == Layout::Installed)
            fs::create_directories(m_root / "usr" / "share" / "siteharvest");
        if (layout == Layout::ShareIsAFile) {
            fs::create_directories(m_root / "usr" / "share");
            std::ofstream(m_root / "usr" / "share" / "siteharvest") << "not a folder";
        }
    }
    ~Prefix() {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    Prefix(const Prefix&) = delete;
    Prefix& operator=(const Prefix&) = delete;

    fs::path root() const { return m_root; }
    fs::path bin() const { return m_root / "usr" / "bin"; }

private:
    static inline int s_counter = 0;
    fs::path m_root;
};

TEST(ProgramDirectoryTest, InstalledLayoutMovesTheDirectoryToTheUsersDataFolder) {
    using L = Prefix::Layout;
    struct Case {
        const char* name;
        L layout;
        std::optional<std::string> xdgDataHome;
        const char* home;      // "" for unknown
        const char* expected;  // "BIN" stands for the executable's folder
    };
    const Case cases[] = {
        {"build folder: the executable's folder", L::Build, "/x/data", "/home/u", "BIN"},
        {"build folder, no environment", L::Build, std::nullopt, "", "BIN"},
        {"share/siteharvest a file: not installed", L::ShareIsAFile, "/x/data", "/home/u", "BIN"},
        {"installed, XDG_DATA_HOME set", L::Installed, "/x/data", "/home/u", "/x/data/siteharvest"},
        {"installed, XDG_DATA_HOME with trailing slashes", L::Installed, "/x/data//", "/home/u",
         "/x/data/siteharvest"},
        {"installed, XDG_DATA_HOME unset", L::Installed, std::nullopt, "/home/u",
         "/home/u/.local/share/siteharvest"},
        {"installed, XDG_DATA_HOME empty", L::Installed, "", "/home/u",
         "/home/u/.local/share/siteharvest"},
        {"installed, XDG_DATA_HOME relative: ignored", L::Installed, "data", "/home/u",
         "/home/u/.local/share/siteharvest"},
        {"installed, home is the root", L::Installed, std::nullopt, "/",
         "/.local/share/siteharvest"},
        {"installed, no home known", L::Installed, std::nullopt, "", "BIN"},
        {"installed, relative home: unusable", L::Installed, std::nullopt, "home", "BIN"},
    };
    for (const Case& c : cases) {
        Prefix prefix(c.layout);
        const fs::path expected =
            std::string(c.expected) == "BIN" ? prefix.bin() : fs::path(c.expected);
        EXPECT_EQ(programDirectoryFor({prefix.bin(), c.xdgDataHome, c.home}), expected) << c.name;
        EXPECT_EQ(isInstalledLayout(prefix.bin()), c.layout == L::Installed) << c.name;
    }
}

TEST(ProgramDirectoryTest, MakeCreatesMissingFoldersForTheUserAlone) {
    Prefix prefix(Prefix::Layout::Build);
    const fs::path previous = programDirectory();
    const fs::path data = prefix.root() / "home" / ".local" / "share" / "siteharvest";
    fs::create_directories(prefix.root() / "home");
    ::chmod((prefix.root() / "home").c_str(), 0755);

    setProgramDirectory(data);
    EXPECT_EQ(makeProgramDirectory(), "");
    EXPECT_TRUE(fs::is_directory(data));
    for (const fs::path& created : {data, data.parent_path(), data.parent_path().parent_path()})
        EXPECT_EQ(fs::status(created).permissions() & fs::perms::all, fs::perms::owner_all)
            << created;
    // A folder that was already there keeps its permissions.
    EXPECT_EQ(fs::status(prefix.root() / "home").permissions() & fs::perms::all, fs::perms(0755));

    // A second start finds it and changes nothing.
    std::ofstream(data / "kept.txt") << "x";
    EXPECT_EQ(makeProgramDirectory(), "");
    EXPECT_TRUE(fs::exists(data / "kept.txt"));
    setProgramDirectory(previous);
}

TEST(ProgramDirectoryTest, MakeReportsAFileInTheWay) {
    Prefix prefix(Prefix::Layout::Build);
    const fs::path previous = programDirectory();
    for (const fs::path& blocked : {prefix.root() / "taken", prefix.root() / "taken" / "below"}) {
        std::ofstream(prefix.root() / "taken") << "a file, not a folder";
        setProgramDirectory(blocked);
        EXPECT_NE(makeProgramDirectory(), "") << blocked;
        EXPECT_TRUE(fs::is_regular_file(prefix.root() / "taken")) << blocked;
    }
    setProgramDirectory(previous);
}

}  // namespace
}  // namespace sh
