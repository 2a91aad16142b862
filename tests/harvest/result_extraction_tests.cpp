#include "harvest/result_extraction.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"
#include "text/codepage.h"
#include "text/primitives.h"

namespace sh::harvest {
namespace {

using sh::text::gbk;
using sh::text::utf8;
using testing::gbkPage;

// The list as UTF-8 "rank|site|title" lines, for readable comparisons.
std::vector<std::string> rowsOf(const ResultList& list) {
    std::vector<std::string> rows;
    for (int r = 0; r < list.rowCount(); ++r)
        rows.push_back(utf8(list.cellText(r, 0)) + "|" + utf8(list.cellText(r, 1)) + "|" +
                       utf8(list.cellText(r, 2)));
    return rows;
}

std::vector<std::string> extract(const Text& page, const ExclusionList& exclusions = {}) {
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    extractResults(page, matcher, seen, exclusions, list);
    return rowsOf(list);
}

TEST(ResultExtractionTest, FirstPageGivesOneRowPerNewSite) {
    // Repeat of www.alpha dropped; <em>/<EM> removed; the 41-byte title keeps its last
    // whole characters (29 bytes, not the 30 that would begin with half of 六); an empty
    // host gives http:///; a title broken by a line feed is no result; two results on
    // one line are both found.
    const std::vector<std::string> expected = {
        "0|http://www.alpha.example/|北京网站建设公司",
        "1|http://www.beta.example/|北京公司",
        "2|http://www.gamma.example/|七八九十甲乙丙丁戊己庚辛壬癸A",
        "3|http:///|没有站点的结果",
        "4|http://WWW.Alpha.example/|大写标签的结果",
        "5|http://one.line.example/|同一行第一个",
        "6|http://two.line.example/|同一行第二个",
    };
    EXPECT_EQ(extract(gbkPage("results_page1.html")), expected);
}

TEST(ResultExtractionTest, SecondPageOfARunContinuesRanksAndSkipsSitesSeenBefore) {
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    const ExclusionList exclusions = {"spam"};
    extractResults(gbkPage("results_page1.html"), matcher, seen, exclusions, list);
    extractResults(gbkPage("results_page2.html"), matcher, seen, exclusions, list);
    ASSERT_EQ(list.rowCount(), 8);
    EXPECT_EQ(rowsOf(list).back(), "7|http://www.delta.example/|第二页新站点");
}

TEST(ResultExtractionTest, ClearedListRanksFromZeroWhileSeenSitesStayDropped) {
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    extractResults(gbkPage("results_page1.html"), matcher, seen, {}, list);
    list.deleteAllRows();
    extractResults(gbkPage("results_page2.html"), matcher, seen, {}, list);
    const std::vector<std::string> expected = {"0|http://www.delta.example/|第二页新站点",
                                               "1|http://spam.epsilon.example/|垃圾站点"};
    EXPECT_EQ(rowsOf(list), expected);
}

TEST(ResultExtractionTest, ExcludedSiteIsStillRecordedAsSeen) {
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    extractResults(gbkPage("results_page2.html"), matcher, seen, {"delta"}, list);
    list.deleteAllRows();
    extractResults(gbkPage("results_page2.html"), matcher, seen, {}, list);
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(ResultExtractionTest, ExclusionLinesMatchExactBytesAnywhereInTheAddress) {
    struct Case {
        const char* name;
        ExclusionList lines;
        std::vector<std::string> sites;  // what stays listed
    };
    const std::vector<std::string> all = {"http://www.alpha.example/", "http://www.beta.example/",
                                          "http://www.gamma.example/", "http:///",
                                          "http://WWW.Alpha.example/", "http://one.line.example/",
                                          "http://two.line.example/"};
    const Case cases[] = {
        {"none", {}, all},
        {"prefix excludes everything", {"http"}, {}},
        {"case matters", {"Alpha"}, {all[0], all[1], all[2], all[3], all[5], all[6]}},
        {"first matching line wins",
         {"zzz", "line.example", "gamma"},
         {all[0], all[1], all[3], all[4]}},
        {"empty host", {"http:///"}, {all[0], all[1], all[2], all[4], all[5], all[6]}},
        {"an empty line excludes nothing", {"", ""}, all},
        {"a line holding a line feed matches nothing", {"beta\nalpha"}, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> sites;
        PatternMatcher matcher;
        SeenSet seen;
        ResultList list;
        extractResults(gbkPage("results_page1.html"), matcher, seen, c.lines, list);
        for (int r = 0; r < list.rowCount(); ++r) sites.push_back(utf8(list.cellText(r, 1)));
        EXPECT_EQ(sites, c.sites);
    }
}

TEST(ResultExtractionTest, TitlesLoseHighlightTagsAndKeepWholeCharactersOfTheirTail) {
    struct Case {
        Text raw;
        Text listed;
    };
    const Text twenty = gbk("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸");
    const Case cases[] = {
        {gbk("<EM>北京</EM>公司"), gbk("北京公司")},
        {"<em>a</EM>b<Em>c</eM>", "abc"},
        {"<b>kept</b> &amp;", "<b>kept</b> &amp;"},  // other markup stays as it is
        {"<e<em>m>x", "<em>x"},                      // removal does not rescan its output
        // 41 bytes: the cut at byte 11 is inside 六, whose second byte is dropped.
        {sh::text::concatText(twenty, "A"),
         sh::text::concatText(gbk("七八九十甲乙丙丁戊己庚辛壬癸"), "A")},
        // 40 bytes: the cut at byte 10 is a character boundary: 30 bytes kept.
        {twenty, gbk("六七八九十甲乙丙丁戊己庚辛壬癸")},
        // The byte before the cut looks like a lead byte (D6) but is a second byte.
        {sh::text::concatText("x", twenty), gbk("六七八九十甲乙丙丁戊己庚辛壬癸")},
        {Text(std::string(35, 'a')), Text(std::string(30, 'a'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(c.raw));
        EXPECT_EQ(utf8(cleanTitle(c.raw)), utf8(c.listed));
    }
}

// Pages that are not what the pattern expects, or not even text.
TEST(ResultExtractionTest, DamagedPagesGiveSensibleRows) {
    const std::string result =
        "<a href=x>1&#160;好标题</a><div class=\"abs\">a<br /><span class=\"site\">ok.example"
        "</span>\n";
    struct Case {
        const char* name;
        std::string utf8Page;
        int minRows, maxRows;
    };
    std::string longLine = result;
    longLine.pop_back();
    while (longLine.size() < 10'000'000) longLine += "<p class=\"x\">filler &gt; text</p>";
    const Case cases[] = {
        {"empty", "", 0, 0},
        {"time-out text", "\xB3\xAC\xCA\xB1", 0, 0},
        {"invalid UTF-8 around a result", "\xC3\x28\xFF\xFE" + result + "\xE2\x82", 1, 1},
        {"NUL ends the page", result + std::string(1, '\0') + result, 1, 1},
        {"10 MB single line", longLine, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto rows = extract(sh::text::utf8ToGbk(Text(c.utf8Page)));
        EXPECT_GE(static_cast<int>(rows.size()), c.minRows);
        EXPECT_LE(static_cast<int>(rows.size()), c.maxRows);
        for (const auto& row : rows) EXPECT_EQ(row, "0|http://ok.example/|好标题");
    }
}

// GBK pages with lone lead bytes where the markup expects ASCII.
TEST(ResultExtractionTest, LoneLeadBytesInAGbkPageDoNotHideTheMarkup) {
    const Text page = sh::text::concatText(
        "\x81>1&#160;", gbk("标题"), "\xFE</a><div class=\"abs\">\x81<br /><span class=\"site\">",
        "h.example\x81</span>\x81");
    const auto rows = extract(page);
    ASSERT_EQ(rows.size(), 1u);
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    extractResults(page, matcher, seen, {}, list);
    EXPECT_EQ(list.cellText(0, 1), Text("http://h.example\x81/"));
    EXPECT_EQ(list.cellText(0, 2), sh::text::concatText(gbk("标题"), "\xFE"));
}

TEST(ResultExtractionTest, RandomMarkupKeepsRowsWellFormed) {
    std::uint32_t seed = 2024;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    const char* pieces[] = {">",
                            "&#160;",
                            "</a><div class=\"abs\">",
                            "<br /><span class=\"site\">",
                            "</span>",
                            "<EM>",
                            "</em>",
                            "\n",
                            "\xD6\xD0",
                            "\x81",
                            "a",
                            "http",
                            "\xB9\xAB\xCB\xBE\xC3\xFB\xB3\xC6\xB9\xAB\xCB\xBE"};
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    for (int round = 0; round < 300; ++round) {
        std::string page;
        for (int i = next() % 80; i > 0; --i) page += pieces[next() % std::size(pieces)];
        extractResults(Text(page), matcher, seen, {"zz"}, list);
    }
    ASSERT_GT(list.rowCount(), 10);
    for (int r = 0; r < list.rowCount(); ++r) {
        EXPECT_EQ(list.cellText(r, 0), sh::text::toText(static_cast<std::int32_t>(r)));
        const std::string site = list.cellText(r, 1).bytes();
        EXPECT_EQ(site.rfind("http://", 0), 0u);
        EXPECT_EQ(site.back(), '/');
        EXPECT_LE(list.cellText(r, 2).size(), 30u);
    }
    EXPECT_EQ(seen.size() >= static_cast<std::size_t>(list.rowCount()), true);
}

}  // namespace
}  // namespace sh::harvest
