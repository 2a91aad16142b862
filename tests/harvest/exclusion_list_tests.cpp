#include "harvest/exclusion_list.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "harvest/result_extraction.h"
#include "support/fifo_writer.h"
#include "test_support.h"
#include "text/program_directory.h"

namespace sh::harvest {
namespace {

using testing::TempDir;
using testing::writeFile;

std::vector<std::string> bytesOf(const ExclusionList& list) {
    std::vector<std::string> lines;
    for (const Text& line : list) lines.push_back(line.bytes());
    return lines;
}

TEST(ExclusionListTest, FileContentBecomesLines) {
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"two lines", "a\r\nb", {"a", "b"}},
        {"final CR LF adds nothing", "a\r\nb\r\n", {"a", "b"}},
        {"leading CR LF is an empty line", "\r\na", {"", "a"}},
        {"double CR LF is an empty line", "a\r\n\r\nb", {"a", "", "b"}},
        {"lone LF and CR stay in the line", "a\nb\rc", {"a\nb\rc"}},
        {"NUL ends the content", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        {"NUL first", std::string("\0abc", 4), {}},
        {"byte-order mark stays",
         "\xEF\xBB\xBF"
         "a\r\nb",
         {"\xEF\xBB\xBF"
          "a",
          "b"}},
        {"GBK kept as bytes", "\xD6\xD0\xCE\xC4\r\n", {"\xD6\xD0\xCE\xC4"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir.path() / "list.txt";
        writeFile(file, c.content);
        EXPECT_EQ(bytesOf(loadExclusionList(file)), c.lines);
    }
}

TEST(ExclusionListTest, MissingFileOrDirectoryGivesNoLines) {
    TempDir dir;
    EXPECT_TRUE(loadExclusionList(dir.path() / "absent.txt").empty());
    EXPECT_TRUE(loadExclusionList(dir.path()).empty());
}

TEST(ExclusionListTest, DefaultFileIsTheUtf8NamedFileInTheProgramDirectory) {
    const auto previous = sh::programDirectory();
    TempDir dir;
    sh::setProgramDirectory(dir.path());
    writeFile(dir.path() / u8"排除网址.txt", "spam\r\nads\r\n");
    EXPECT_EQ(bytesOf(loadExclusionList()), (std::vector<std::string>{"spam", "ads"}));
    sh::setProgramDirectory(previous);
}

// The window reads the file beside the program at every search, on its own thread: a
// FIFO there must not hold it (nobody may ever write into it), so anything but a regular
// file counts as missing.
TEST(ExclusionListTest, TheDefaultFileCountsOnlyWhenItIsARegularFile) {
    using namespace std::chrono_literals;
    const auto previous = sh::programDirectory();
    TempDir dir;
    sh::setProgramDirectory(dir.path());
    ASSERT_EQ(::mkfifo(exclusionFilePath().c_str(), 0600), 0);
    {
        sh::testing::FifoWriter rescuer(exclusionFilePath(), "blocked\r\n", 3s);
        EXPECT_TRUE(loadExclusionList().empty());
        EXPECT_FALSE(rescuer.rescued()) << "the read waited for a writer";
    }
    {
        sh::testing::FifoWriter rescuer(exclusionFilePath(), "blocked\r\n", 3s);
        EXPECT_EQ(readExclusionFile(exclusionFilePath(), FileKinds::RegularOnly).state,
                  ExclusionFile::State::NotRegular);
        EXPECT_FALSE(rescuer.rescued());
    }
    std::filesystem::remove(exclusionFilePath());
    std::filesystem::create_directory(exclusionFilePath());
    EXPECT_TRUE(loadExclusionList().empty());
    sh::setProgramDirectory(previous);
}

// A file named by the user may be a FIFO or a pipe: it is read once, to its end.
TEST(ExclusionListTest, ANamedFifoOrPipeIsReadToItsEnd) {
    TempDir dir;
    const auto fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        sh::testing::FifoWriter writer(fifo, "a\r\nb\r\n");
        const ExclusionFile read = readExclusionFile(fifo, FileKinds::Any);
        EXPECT_EQ(read.state, ExclusionFile::State::Read);
        EXPECT_EQ(bytesOf(read.lines), (std::vector<std::string>{"a", "b"}));
        EXPECT_FALSE(read.size);
    }
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "c\r\nd", 4), 4);
    ::close(ends[1]);
    EXPECT_EQ(bytesOf(loadExclusionList("/dev/fd/" + std::to_string(ends[0]))),
              (std::vector<std::string>{"c", "d"}));
    ::close(ends[0]);
}

TEST(ExclusionListTest, TheCallerLearnsWhatBecameOfTheFile) {
    using State = ExclusionFile::State;
    TempDir dir;
    const auto list = dir.path() / "list.txt";
    writeFile(list, "one\r\ntwo\r\nthree");
    const struct {
        const char* name;
        std::filesystem::path file;
        std::size_t limit;
        State state;
        int error;
        std::vector<std::string> lines;
    } cases[] = {
        {"read", list, 100, State::Read, 0, {"one", "two", "three"}},
        {"missing", dir.path() / "absent.txt", 100, State::Missing, ENOENT, {}},
        {"directory", dir.path(), 100, State::Unreadable, EISDIR, {}},
        // Cut within "two": only the whole lines before the bound stay.
        {"over the bound", list, 7, State::Cut, 0, {"one"}},
        {"exactly the bound", list, 15, State::Read, 0, {"one", "two", "three"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ExclusionFile read = readExclusionFile(c.file, FileKinds::Any, c.limit);
        EXPECT_EQ(read.state, c.state);
        EXPECT_EQ(read.error, c.error);
        EXPECT_EQ(bytesOf(read.lines), c.lines);
    }
    // The size is there for the caller's message.
    EXPECT_EQ(readExclusionFile(list, FileKinds::Any, 7).size, 15u);
}

TEST(ExclusionListTest, EmptyLinesExcludeNothing) {
    EXPECT_FALSE(isExcluded("http://a.example/", {"", "zzz"}));
    EXPECT_TRUE(isExcluded("http://a.example/", {"", "a.ex"}));
    EXPECT_FALSE(isExcluded("http://a.example/", {"A.EX"}));
}

// A 50 MB file of short lines: read completely, and every address is still checked
// against every line. Sanitizer builds check every byte access and run this tens of
// times slower, so they use a smaller file.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kLargeFileBytes = 8u << 20;
#else
constexpr std::size_t kLargeFileBytes = 50u << 20;
#endif

TEST(ExclusionListTest, LargeFileIsReadWhole) {
    TempDir dir;
    std::string content;
    content.reserve(kLargeFileBytes + 64);
    for (int i = 0; content.size() < kLargeFileBytes; ++i)
        content += "fragment" + std::to_string(i) + "\r\n";
    content += "gamma";
    writeFile(dir.path() / "big.txt", content);
    const ExclusionList list = loadExclusionList(dir.path() / "big.txt");
    ASSERT_GT(list.size(), kLargeFileBytes / 20);
    EXPECT_EQ(list.back(), Text("gamma"));
    EXPECT_TRUE(isExcluded("http://www.gamma.example/", list));
    EXPECT_FALSE(isExcluded("http://www.beta.example/", list));
}

}  // namespace
}  // namespace sh::harvest
