// Saving the result list to files and clearing it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "export/list_file.h"
#include "support/fake_window.h"
#include "text/codepage.h"
#include "text/primitives.h"
#include "text/program_directory.h"

namespace {

namespace fs = std::filesystem;
using sh::harvest::EditBox;
using sh::testing::FakeWindow;
using sh::text::gbk;
using sh::text::Text;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

mode_t permissionsOf(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

// Whatever is waiting on a descriptor that is never written to again, without blocking.
std::string drain(int fd) {
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
    return bytes;
}

// Sets the process's umask for one scope.
class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_previous(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

class ListFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sh-export-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        sh::setProgramDirectory(dir);
        window.edits[EditBox::编辑框5] = Text("qrc:/help/save.html");
        window.edits[EditBox::编辑框6] = Text("qrc:/help/save-titles.html");
        window.edits[EditBox::编辑框7] = Text("qrc:/help/clear.html");
    }
    void TearDown() override { fs::remove_all(dir); }

    void addRow(const std::string& siteUtf8, const std::string& titleUtf8) {
        auto& list = window.list;
        const int row = list.appendRow();
        list.setCellText(row, 0, sh::text::toText(row));
        list.setCellText(row, 1, gbk(siteUtf8));
        list.setCellText(row, 2, gbk(titleUtf8));
    }
    std::vector<std::string> filesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    FakeWindow window;
    fs::path dir;
};

TEST_F(ListFileTest, SavesAddressesOrAddressesWithTitlesAsGbkWithCrLf) {
    addRow("http://a.example/", "北京公司");
    addRow("http://b.example/", "");

    sh::exporting::onSaveUrlsClicked(window);
    sh::exporting::onSaveUrlsAndTitlesClicked(window);

    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集标题+网址3.txt", "已采集网址3.txt"}));
    EXPECT_EQ(readFile(dir / "已采集网址3.txt"), "http://a.example/\r\nhttp://b.example/\r\n");
    EXPECT_EQ(readFile(dir / "已采集标题+网址3.txt"),
              "http://a.example/\r\n" + gbk("北京公司").bytes() + "\r\nhttp://b.example/\r\n\r\n");
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].text, gbk("保存成功"));
    EXPECT_EQ(window.messages[0].caption, gbk("信息："));
    EXPECT_EQ(window.browserAddresses,
              (std::vector<Text>{Text("qrc:/help/save.html"), Text("qrc:/help/save-titles.html")}));
}

TEST_F(ListFileTest, FileNumberIsRowsPlusOneAndAResaveReplacesTheFile) {
    for (int i = 0; i < 10; ++i) addRow("http://s" + std::to_string(i) + ".example/", "t");
    sh::exporting::onSaveUrlsClicked(window);
    window.list.setCellText(0, 1, Text("http://changed.example/"));
    sh::exporting::onSaveUrlsClicked(window);
    addRow("http://new.example/", "t");
    sh::exporting::onSaveUrlsClicked(window);

    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集网址11.txt", "已采集网址12.txt"}));
    EXPECT_EQ(readFile(dir / "已采集网址11.txt").rfind("http://changed.example/\r\n", 0), 0u);
}

TEST_F(ListFileTest, AnEmptyListWritesNothingAndSaysNothingButShowsThePage) {
    sh::exporting::onSaveUrlsClicked(window);
    sh::exporting::onSaveUrlsAndTitlesClicked(window);
    EXPECT_TRUE(filesInDir().empty());
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(window.warnings.empty());
    EXPECT_EQ(window.browserAddresses.size(), 2u);
}

TEST_F(ListFileTest, AFailedSaveWarnsNamesTheFileAndLeavesNoTemporaryFile) {
    addRow("http://a.example/", "t");
    // A directory in the way of the file: the rename over it fails.
    fs::create_directory(dir / "已采集网址2.txt");

    sh::exporting::onSaveUrlsClicked(window);

    EXPECT_TRUE(window.messages.empty());
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(sh::text::utf8(window.warnings[0].text).find("已采集网址2.txt"), std::string::npos);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集网址2.txt"}));
    EXPECT_TRUE(fs::is_directory(dir / "已采集网址2.txt"));
}

TEST_F(ListFileTest, AMissingProgramDirectoryWarnsInsteadOfClaimingSuccess) {
    addRow("http://a.example/", "t");
    sh::setProgramDirectory(dir / "gone");
    sh::exporting::onSaveUrlsAndTitlesClicked(window);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.warnings.size(), 1u);
}

TEST_F(ListFileTest, WriteFileReplacesWholeContentAndRejectsAnEmptyName) {
    const fs::path file = dir / "名单.txt";
    std::ofstream(file) << "an older and much longer content";
    EXPECT_TRUE(sh::exporting::writeFile(gbk(file.string()), sh::text::Bytes(std::string_view("new"))));
    EXPECT_EQ(readFile(file), "new");
    EXPECT_FALSE(sh::exporting::writeFile(Text(), sh::text::Bytes(std::string_view("x"))));
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"名单.txt"}));
}

TEST_F(ListFileTest, ClearEmptiesTheListAfterShowingItsPage) {
    addRow("http://a.example/", "t");
    sh::exporting::onClearClicked(window);
    EXPECT_EQ(window.list.rowCount(), 0);
    EXPECT_EQ(window.browserAddresses, (std::vector<Text>{Text("qrc:/help/clear.html")}));
    sh::exporting::onClearClicked(window);  // an empty list: only the page changes
    EXPECT_EQ(window.browserAddresses.size(), 2u);
}

// What a path leads to, made in the test's directory, and how to tell afterwards that the
// bytes went there and the path itself was left as it was.
struct WriteTarget {
    const char* name;
    // Makes the thing at `path`; returns the check, given the bytes that were written.
    std::function<std::function<void(const std::string&)>(const fs::path& path)> make;
};

TEST_F(ListFileTest, WritesThroughWhatThePathNamesInsteadOfReplacingIt) {
    const std::string data = "http://a.example/\r\nhttp://b.example/\r\n";
    const WriteTarget targets[] = {
        {"symbolic link to a file elsewhere: the file is replaced, the link stays",
         [&](const fs::path& path) {
             fs::create_directory(dir / "real");
             std::ofstream(dir / "real" / "list.txt") << "older content";
             ::chmod((dir / "real" / "list.txt").c_str(), 0640);
             fs::create_symlink("real/list.txt", path);
             return [=, this](const std::string& written) {
                 EXPECT_TRUE(fs::is_symlink(path));
                 std::error_code notALink;
                 EXPECT_EQ(fs::read_symlink(path, notALink), "real/list.txt");
                 EXPECT_EQ(readFile(dir / "real" / "list.txt"), written);
                 EXPECT_EQ(permissionsOf(dir / "real" / "list.txt"), 0640u);
             };
         }},
        {"chain of links, one absolute",
         [&](const fs::path& path) {
             std::ofstream(dir / "list.txt") << "older content";
             fs::create_symlink(dir / "list.txt", dir / "second");
             fs::create_symlink("second", path);
             return [=, this](const std::string& written) {
                 EXPECT_TRUE(fs::is_symlink(path));
                 EXPECT_TRUE(fs::is_symlink(dir / "second"));
                 EXPECT_EQ(readFile(dir / "list.txt"), written);
             };
         }},
        {"dangling link: its target is created",
         [&](const fs::path& path) {
             fs::create_symlink("new.txt", path);
             return [=, this](const std::string& written) {
                 EXPECT_TRUE(fs::is_symlink(path));
                 EXPECT_EQ(readFile(dir / "new.txt"), written);
             };
         }},
        {"FIFO with a reader",
         [&](const fs::path& path) {
             EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
             const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
             return [=](const std::string& written) {
                 EXPECT_EQ(drain(reader), written);
                 EXPECT_TRUE(fs::is_fifo(path));
                 ::close(reader);
             };
         }},
        {"listening Unix socket",
         [&](const fs::path& path) {
             const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
             EXPECT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             EXPECT_EQ(::listen(server, 1), 0);
             return [=](const std::string& written) {
                 const int peer = ::accept4(server, nullptr, nullptr, SOCK_NONBLOCK);
                 EXPECT_GE(peer, 0);
                 EXPECT_EQ(drain(peer), written);
                 EXPECT_TRUE(fs::is_socket(path));
                 ::close(peer);
                 ::close(server);
             };
         }},
        {"character device (made only when allowed to)",
         [&](const fs::path& path) -> std::function<void(const std::string&)> {
             // The null device's numbers: a broken write can only replace this copy.
             if (::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0)
                 return [](const std::string&) {};
             return [=](const std::string&) { EXPECT_TRUE(fs::is_character_file(path)); };
         }},
    };
    for (const WriteTarget& target : targets) {
        SCOPED_TRACE(target.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path path = dir / "out.txt";
        const auto check = target.make(path);
        EXPECT_EQ(sh::exporting::writeFileAtomically(path, data), "");
        check(data);
        // Nothing but what the case made: no temporary file is left.
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.path().filename().string().find(".siteharvest-"), std::string::npos);
    }
}

TEST_F(ListFileTest, TheProcessesOwnDescriptorsAreWrittenTo) {
    for (const std::string prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
        EXPECT_EQ(sh::exporting::writeFileAtomically(prefix + std::to_string(ends[1]), "abc"), "")
            << prefix;
        ::close(ends[1]);
        EXPECT_EQ(drain(ends[0]), "abc") << prefix;
        ::close(ends[0]);
    }
}

TEST_F(ListFileTest, AReplacedFileKeepsItsBitsAndANewOneFollowsTheUmask) {
    UmaskScope mask(027);
    const fs::path kept = dir / "kept.txt", created = dir / "created.txt";
    std::ofstream(kept) << "old";
    ::chmod(kept.c_str(), 0604);
    EXPECT_EQ(sh::exporting::writeFileAtomically(kept, "new"), "");
    EXPECT_EQ(sh::exporting::writeFileAtomically(created, "new"), "");
    EXPECT_EQ(permissionsOf(kept), 0604u);
    EXPECT_EQ(permissionsOf(created), 0640u);
}

// The umask belongs to the whole process: a save that set it to 0 for a moment would give
// a file another thread creates meanwhile the wrong mode.
TEST_F(ListFileTest, SavingNeverChangesTheUmaskThatOtherThreadsSee) {
    UmaskScope mask(022);
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::thread watcher([&] {
        while (!done) {
            std::ifstream status("/proc/self/status");
            for (std::string line; std::getline(status, line);) {
                if (line.starts_with("Umask:") && line != "Umask:\t0022")
                    ++wrong;
            }
        }
    });
    for (int i = 0; i < 300 && wrong == 0; ++i)
        sh::exporting::writeFileAtomically(dir / "list.txt", "x");
    done = true;
    watcher.join();
    EXPECT_EQ(wrong, 0);
}

TEST_F(ListFileTest, ANameOfTheFullLengthIsSaved) {
    // 255 bytes is the longest name a Linux file system takes; a temporary name made
    // by adding to it would be too long.
    const fs::path file = dir / (std::string(251, 'n') + ".txt");
    EXPECT_EQ(sh::exporting::writeProblem(file), "");
    EXPECT_EQ(sh::exporting::writeFileAtomically(file, "abc"), "");
    EXPECT_EQ(readFile(file), "abc");
}

TEST_F(ListFileTest, WriteProblemGivesTheReasonWithoutTouchingTheTarget) {
    std::ofstream(dir / "file") << "content";
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("loop", dir / "loop");
    const struct {
        fs::path path;
        std::string reason;
    } cases[] = {
        {dir / "new.txt", ""},
        {dir / "file", ""},
        {dir / "fifo", ""},  // nobody reads it: a check that opened it would hang here
        {dir / "file" / "x.txt", "Not a directory"},
        {dir / (std::string(256, 'n')), "File name too long"},
        {dir / "missing" / "x.txt", "No such file or directory"},
        {dir, "Is a directory"},
        {dir / "loop", "Too many levels of symbolic links"},
        {fs::path("/dev/fd/987"), "Bad file descriptor"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sh::exporting::writeProblem(c.path), c.reason) << c.path;
    }
    EXPECT_EQ(readFile(dir / "file"), "content");
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"fifo", "file", "loop"}));
}

TEST_F(ListFileTest, TheWindowNeverWaitsForAFifosReader) {
    addRow("http://a.example/", "t");
    ASSERT_EQ(::mkfifo((dir / "已采集网址2.txt").c_str(), 0600), 0);
    sh::exporting::onSaveUrlsClicked(window);
    EXPECT_TRUE(window.messages.empty());
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_TRUE(fs::is_fifo(dir / "已采集网址2.txt"));
}

// A save that runs out of room part-way: the file-size limit lets the first bytes through
// and refuses the rest (EFBIG; SIGXFSZ ignored, as a full disk gives ENOSPC). The earlier
// file of the same name must come through byte for byte, and the user must hear of it.
TEST_F(ListFileTest, ASaveThatFailsPartWayLeavesTheEarlierFileAsItWas) {
    for (int i = 0; i < 1000; ++i) addRow("http://site" + std::to_string(i) + ".example/", "t");
    const fs::path file = dir / "已采集网址1001.txt";
    const std::string earlier = "http://earlier.example/\r\n";
    std::ofstream(file, std::ios::binary) << earlier;

    struct sigaction ignore = {};
    struct sigaction previousAction = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previousAction);
    rlimit previousLimit{};
    ::getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit limit = previousLimit;
    limit.rlim_cur = 4096;  // the list is about 25 KB
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    sh::exporting::onSaveUrlsClicked(window);

    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    ::sigaction(SIGXFSZ, &previousAction, nullptr);
    EXPECT_EQ(readFile(file), earlier);
    EXPECT_TRUE(window.messages.empty());
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(sh::text::utf8(window.warnings[0].text).find("File too large"), std::string::npos);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"已采集网址1001.txt"}));
}

}  // namespace
