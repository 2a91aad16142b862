// Keywords from the terminal and from keyword files in either encoding.

#include <gtest/gtest.h>

#include "cli/keyword_input.h"
#include "cli_test_support.h"
#include "text/codepage.h"

namespace {

using namespace sh::cli;
using sh::text::gbk;
using sh::text::Text;

TEST(IsValidUtf8, AcceptsWellFormedAndRejectsEverythingElse) {
    struct Case {
        const char* name;
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"ascii", "seo tools", true},
        {"chinese", "北京公司", true},
        {"four-byte", "\xF0\x9F\x98\x80", true},
        {"gbk", "\xB1\xB1\xBE\xA9", false},  // 北京 in GBK
        {"lone trail byte", "\x80", false},
        {"cut short at the end", "\xE5\x8C", false},
        {"overlong slash", "\xC0\xAF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"F5 lead", "\xF5\x80\x80\x80", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.name;
}

TEST(KeywordFromArgument, Utf8IsConvertedAndGbkKeptAsItIs) {
    bool lossy = true;
    EXPECT_EQ(keywordFromArgument("北京公司", &lossy), gbk("北京公司"));
    EXPECT_FALSE(lossy);
    EXPECT_EQ(keywordFromArgument("\xB1\xB1\xBE\xA9", &lossy), Text("\xB1\xB1\xBE\xA9"));
    EXPECT_FALSE(lossy);
    // GBK has no emoji: it goes out as '?', and the caller is told so.
    EXPECT_EQ(keywordFromArgument("seo\xF0\x9F\x98\x80", &lossy), Text("seo?"));
    EXPECT_TRUE(lossy);
}

TEST(KeywordsFromFileContent, GbkUtf8AndUtf8WithBomGiveTheSameKeywords) {
    const std::vector<Text> expected = {gbk("北京公司"), gbk("网站 建设"), Text("seo")};
    const std::string lines = "北京公司\r\n\r\n网站 建设\n  \t \nseo";
    const struct {
        const char* name;
        std::string content;
    } files[] = {
        {"utf-8", lines},
        {"utf-8 with BOM", "\xEF\xBB\xBF" + lines + "\r\n"},
        {"gbk", gbk(lines).bytes()},
        {"gbk, LF only", gbk("北京公司\n网站 建设\n\nseo\n").bytes()},
    };
    for (const auto& file : files) {
        EXPECT_EQ(keywordsFromFileContent(file.content), expected) << file.name;
    }
}

TEST(KeywordsFromFileContent, LinesAreKeptAsTheyStand) {
    // Only blank lines go; spaces inside or around a keyword stay, and a lone CR that
    // is not before the LF stays too.
    EXPECT_EQ(keywordsFromFileContent(" a b \na\rb\r\n"),
              (std::vector<Text>{Text(" a b "), Text("a\rb")}));
    EXPECT_TRUE(keywordsFromFileContent("").empty());
    EXPECT_TRUE(keywordsFromFileContent("\xEF\xBB\xBF\r\n\r\n").empty());
}

TEST(ReadKeywordFile, ReadsAFileAndExplainsOneThatCannotBeUsed) {
    const auto dir = sh::clitest::scratchDirectory();
    sh::clitest::writeBytes(dir / "gbk.txt", gbk("北京公司\r\nseo\r\n").bytes());
    sh::clitest::writeBytes(dir / "utf16.txt", std::string("\xFF\xFE"
                                                           "a\0\n\0",
                                                           6));

    const KeywordFile good = readKeywordFile((dir / "gbk.txt").string());
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(good.keywords, (std::vector<Text>{gbk("北京公司"), Text("seo")}));

    EXPECT_EQ(readKeywordFile((dir / "missing.txt").string()).error, "No such file or directory");
    EXPECT_EQ(readKeywordFile(dir.string()).error, "Is a directory");
    EXPECT_NE(readKeywordFile((dir / "utf16.txt").string()).error.find("UTF-16"),
              std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
