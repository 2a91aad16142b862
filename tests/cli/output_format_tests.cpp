// The four output formats over hand-made rows, including text that a format cannot
// hold as it stands.

#include <gtest/gtest.h>

#include "cli/output_format.h"
#include "text/codepage.h"

namespace {

using namespace sh::cli;
using sh::text::gbk;
using sh::text::Text;

KeywordHarvest harvestOf(const std::string& keywordUtf8,
                         const std::vector<std::tuple<std::string, std::string, int>>& rows) {
    KeywordHarvest harvest;
    harvest.keyword = gbk(keywordUtf8);
    for (const auto& [site, titleUtf8, page] : rows) {
        const int r = harvest.rows.appendRow();
        harvest.rows.setCellText(r, 0, Text(std::to_string(r)));
        harvest.rows.setCellText(r, 1, Text(site));
        harvest.rows.setCellText(r, 2, gbk(titleUtf8));
        harvest.pageOfRow.push_back(page);
    }
    return harvest;
}

const std::vector<KeywordHarvest> kTwoKeywords = {
    harvestOf("北京", {{"http://a.example/", "北京<b>\"公司\"", 1},
                       {"http://b.example/", "tab\there\\", 2}}),
    harvestOf("seo", {{"http://a.example/", "", 1}}),
};

TEST(FormatHarvests, ListFormatsAreEachKeywordsFileInTurn) {
    EXPECT_EQ(formatHarvests(kTwoKeywords, Format::Urls, Encoding::Gbk),
              "http://a.example/\r\nhttp://b.example/\r\nhttp://a.example/\r\n");
    EXPECT_EQ(formatHarvests(kTwoKeywords, Format::Titled, Encoding::Gbk),
              "http://a.example/\r\n" + gbk("北京<b>\"公司\"").bytes() +
                  "\r\nhttp://b.example/\r\ntab\there\\\r\nhttp://a.example/\r\n\r\n");
    EXPECT_EQ(formatHarvests(kTwoKeywords, Format::Titled, Encoding::Utf8),
              "http://a.example/\r\n北京<b>\"公司\"\r\nhttp://b.example/\r\ntab\there\\\r\n"
              "http://a.example/\r\n\r\n");
}

TEST(FormatHarvests, TsvHasAHeaderAndNoTabOrLineBreakInsideAField) {
    EXPECT_EQ(formatHarvests(kTwoKeywords, Format::Tsv, Encoding::Utf8),
              "rank\tsite\ttitle\tkeyword\tpage\n"
              "0\thttp://a.example/\t北京<b>\"公司\"\t北京\t1\n"
              "1\thttp://b.example/\ttab here\\\t北京\t2\n"
              "0\thttp://a.example/\t\tseo\t1\n");
}

TEST(FormatHarvests, JsonIsAnArrayOfOneObjectPerLine) {
    EXPECT_EQ(formatHarvests(kTwoKeywords, Format::Json, Encoding::Utf8),
              "[\n"
              "{\"rank\": 0, \"site\": \"http://a.example/\", \"title\": "
              "\"北京<b>\\\"公司\\\"\", \"keyword\": \"北京\", \"page\": 1},\n"
              "{\"rank\": 1, \"site\": \"http://b.example/\", \"title\": \"tab\\there\\\\\", "
              "\"keyword\": \"北京\", \"page\": 2},\n"
              "{\"rank\": 0, \"site\": \"http://a.example/\", \"title\": \"\", "
              "\"keyword\": \"seo\", \"page\": 1}\n"
              "]\n");
}

TEST(FormatHarvests, NoRowsGiveEmptyListsAnEmptyArrayAndABareHeader) {
    const std::vector<KeywordHarvest> none = {harvestOf("x", {})};
    EXPECT_EQ(formatHarvests(none, Format::Urls, Encoding::Gbk), "");
    EXPECT_EQ(formatHarvests(none, Format::Json, Encoding::Utf8), "[]\n");
    EXPECT_EQ(formatHarvests(none, Format::Tsv, Encoding::Utf8),
              "rank\tsite\ttitle\tkeyword\tpage\n");
}

TEST(JsonString, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString("\r\n\t\x01\x1f"), "\"\\r\\n\\t\\u0001\\u001f\"");
    EXPECT_EQ(jsonString("北京 </script>"), "\"北京 </script>\"");
}

TEST(EffectiveEncoding, ListFormatsDefaultToGbkTheOthersAreUtf8) {
    EXPECT_EQ(effectiveEncoding(Format::Urls, std::nullopt), Encoding::Gbk);
    EXPECT_EQ(effectiveEncoding(Format::Titled, Encoding::Utf8), Encoding::Utf8);
    EXPECT_EQ(effectiveEncoding(Format::Json, std::nullopt), Encoding::Utf8);
    EXPECT_EQ(effectiveEncoding(Format::Tsv, Encoding::Utf8), Encoding::Utf8);
}

}  // namespace
