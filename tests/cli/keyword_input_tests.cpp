// Keywords from the terminal and from keyword files in either encoding.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

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

// The bytes of a text in UTF-16 or UTF-32, in either byte order.
template <class String>
std::string unicodeBytes(const String& text, bool bigEndian) {
    using Char = typename String::value_type;
    std::string bytes;
    for (const Char c : text) {
        for (std::size_t k = 0; k < sizeof(Char); ++k) {
            const std::size_t shift = 8 * (bigEndian ? sizeof(Char) - 1 - k : k);
            bytes += static_cast<char>((static_cast<std::uint32_t>(c) >> shift) & 0xFF);
        }
    }
    return bytes;
}

TEST(KeywordsFromFileContent, Utf16IsReadWithOrWithoutAByteOrderMark) {
    // 一 (U+4E00) and 最 (U+6700) hold a NUL on the other side of their unit from the NUL
    // of an ASCII character; 𠀀 is a surrogate pair.
    const std::u16string_view lines = u"北京公司\r\n\r\n最好的一家 seo\n𠀀\nseo";
    const std::vector<Text> expected = {gbk("北京公司"), gbk("最好的一家 seo"), Text("?"),
                                        Text("seo")};
    const struct {
        const char* name;
        std::string content;
    } files[] = {
        {"LE", unicodeBytes(lines, false)},
        {"BE", unicodeBytes(lines, true)},
        {"LE with BOM", unicodeBytes(u"\uFEFF" + std::u16string(lines), false)},
        {"BE with BOM", unicodeBytes(u"\uFEFF" + std::u16string(lines), true)},
    };
    for (const auto& file : files) {
        EXPECT_EQ(keywordsFromFileContent(file.content), expected) << file.name;
    }
    // A zero unit ends its line as a NUL does.
    EXPECT_EQ(keywordsFromFileContent(
                  unicodeBytes(std::u16string_view(u"\uFEFFab\ncd\0ef\ng", 11), false)),
              (std::vector<Text>{Text("ab"), Text("cd"), Text("g")}));
}

TEST(UnicodeFormOf, TellsTheFormByTheMarkOrByWhereTheNulsAre) {
    const struct {
        const char* name;
        std::string content;
        UnicodeForm form;
    } cases[] = {
        {"GBK", gbk("北京公司\r\n").bytes(), UnicodeForm::Utf8OrGbk},
        {"UTF-8", "北京公司\r\n", UnicodeForm::Utf8OrGbk},
        {"UTF-16LE", unicodeBytes(std::u16string_view(u"seo\r\n"), false), UnicodeForm::Utf16Le},
        {"UTF-16BE", unicodeBytes(std::u16string_view(u"seo\r\n"), true), UnicodeForm::Utf16Be},
        {"UTF-32LE", unicodeBytes(std::u32string_view(U"seo\r\n"), false), UnicodeForm::Utf32Le},
        {"UTF-32BE", unicodeBytes(std::u32string_view(U"seo\r\n"), true), UnicodeForm::Utf32Be},
        {"UTF-32LE with BOM", unicodeBytes(std::u32string_view(U"\uFEFFseo"), false),
         UnicodeForm::Utf32Le},
        {"UTF-32BE with BOM", unicodeBytes(std::u32string_view(U"\uFEFFseo"), true),
         UnicodeForm::Utf32Be},
        {"odd size", std::string("a\0b\0c", 5), UnicodeForm::Utf8OrGbk},
        {"control characters", std::string("\x01\0\x02\0\x03\0", 6), UnicodeForm::Utf8OrGbk},
        {"zero unit", std::string("a\0\0\0b\0", 6), UnicodeForm::Utf8OrGbk},
    };
    for (const auto& c : cases) EXPECT_EQ(unicodeFormOf(c.content), c.form) << c.name;
}

TEST(ReadKeywordFile, ReadsAFileAndExplainsOneThatCannotBeUsed) {
    const auto dir = sh::clitest::scratchDirectory();
    sh::clitest::writeBytes(dir / "gbk.txt", gbk("北京公司\r\nseo\r\n").bytes());
    sh::clitest::writeBytes(dir / "utf16.txt", std::string("\xFF\xFE"
                                                           "a\0\n\0",
                                                           6));
    sh::clitest::writeBytes(dir / "utf32.txt",
                            unicodeBytes(std::u32string_view(U"北京\r\n"), false));

    const KeywordFile good = readKeywordFile((dir / "gbk.txt").string());
    EXPECT_EQ(good.error, "");
    EXPECT_EQ(good.keywords, (std::vector<Text>{gbk("北京公司"), Text("seo")}));

    EXPECT_EQ(readKeywordFile((dir / "missing.txt").string()).error, "No such file or directory");
    EXPECT_EQ(readKeywordFile(dir.string()).error, "Is a directory");
    // UTF-16 is read; UTF-32 is refused under its own name.
    const KeywordFile utf16 = readKeywordFile((dir / "utf16.txt").string());
    EXPECT_EQ(utf16.error, "");
    EXPECT_EQ(utf16.keywords, (std::vector<Text>{Text("a")}));
    EXPECT_EQ(readKeywordFile((dir / "utf32.txt").string()).error,
              "the file is UTF-32; save it as UTF-8, UTF-16 or GBK");
    std::filesystem::remove_all(dir);
}

}  // namespace
