#include "standin/search_page.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace sh::standin {
namespace {

// The program's result pattern. std::regex (ECMAScript, icase) stands in for the
// program's matcher: lazy groups, letter case ignored, '.' stops at a line feed.
const std::regex kResultPattern(
    ">(.*?)&#160;(.*?)</a><div class=\"abs\">(.*?)<br /><span class=\"site\">(.*?)</span>",
    std::regex::ECMAScript | std::regex::icase);

struct Match {
    std::string title;
    std::string site;
};

std::vector<Match> matchAll(const std::string& page) {
    std::vector<Match> matches;
    for (std::sregex_iterator it(page.begin(), page.end(), kResultPattern), end; it != end; ++it)
        matches.push_back({(*it)[2].str(), (*it)[4].str()});
    return matches;
}

// GBK length of UTF-8 text that holds only ASCII and BMP characters.
std::size_t gbkLength(const std::string& utf8) {
    std::size_t length = 0;
    for (unsigned char c : utf8) length += c < 0x80 ? 1 : (c >= 0xC0 ? 2 : 0);
    return length;
}

TEST(SearchPage, ThePatternFindsExactlyTheIntendedTitlesAndSites) {
    struct Case {
        std::string keyword;
        int pn;
    };
    const Case cases[] = {
        {"seo", 10},
        {"北京公司", 20},
        {"", 30},
        {"seo", 0},
        {"北京", 500},
        {"a&b <c> \"d\"\nnext line", 60},                  // escaped, stays on one line
        {"x&#160;y</a><div class=\"abs\">z</span>", 120},  // markup in the keyword
    };
    for (const auto& c : cases) {
        const auto results = resultsFor(c.keyword, c.pn);
        const auto matches = matchAll(searchPage(c.keyword, c.pn));
        ASSERT_EQ(matches.size(), results.size()) << c.keyword << " pn=" << c.pn;
        for (std::size_t k = 0; k < results.size(); ++k) {
            EXPECT_EQ(matches[k].title, results[k].titleHtml)
                << c.keyword << " pn=" << c.pn << " k=" << k;
            EXPECT_EQ(matches[k].site, results[k].site)
                << c.keyword << " pn=" << c.pn << " k=" << k;
        }
    }
}

TEST(SearchPage, EveryResultIsOneLineAndThePageHasNoCarriageReturn) {
    const auto page = searchPage("seo", 10);
    EXPECT_EQ(page.find('\r'), std::string::npos);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = page.find("<span class=\"site\">", at)) != std::string::npos;
         ++at) {
        const auto lineStart = page.rfind('\n', at) + 1;
        EXPECT_NE(page.find("&#160;", lineStart), std::string::npos);
        EXPECT_LT(page.find("&#160;", lineStart), at);  // title and site share the line
        ++lines;
    }
    EXPECT_EQ(lines, 10u);
}

TEST(SearchPage, TitleUtf8IsTheTitleWithoutEmTags) {
    const auto results = resultsFor("北京", 10);
    EXPECT_EQ(results[0].titleHtml, "<em>北京</em>_官方网站 [1.0]");
    EXPECT_EQ(results[0].titleUtf8, "北京_官方网站 [1.0]");
    EXPECT_EQ(results[3].titleUtf8, "北京哪家好？北京上海深圳全国服务热线 [1.3]");  // from <EM>
    EXPECT_EQ(results[5].titleUtf8, "A&amp;B 网络科技有限公司 [1.5]");              // entity kept
    EXPECT_EQ(results[6].titleUtf8, "网站建设 | 北京 | 第1页 [1.6]");  // <Em> ... </eM>
}

TEST(SearchPage, ConsecutivePagesShareSites) {
    for (int pn = 10; pn <= 200; pn += 10) {
        const auto page = resultsFor("k", pn);
        const auto next = resultsFor("k", pn + 10);
        std::set<std::string> sites;
        for (const auto& r : page) sites.insert(r.site);
        int shared = 0;
        for (const auto& r : next) shared += sites.count(r.site) > 0 ? 1 : 0;
        EXPECT_GE(shared, 2) << "pn=" << pn;
    }
}

TEST(SearchPage, TheFirstPagesHoldEveryPlannedOddity) {
    // A run of 12 pages must meet each of these at least once, so that an end-to-end
    // run shows them.
    struct Oddity {
        const char* name;
        std::function<bool(const std::vector<StandinResult>&, std::size_t)> holds;
    };
    const Oddity oddities[] = {
        {"empty site", [](const auto& page, std::size_t k) { return page[k].site.empty(); }},
        {"site repeated on its page",
         [](const auto& page, std::size_t k) {
             for (std::size_t j = 0; j < k; ++j)
                 if (page[j].site == page[k].site)
                     return true;
             return false;
         }},
        {"site differing only in case",
         [](const auto& page, std::size_t k) {
             for (std::size_t j = 0; j < page.size(); ++j)
                 if (j != k && page[j].site != page[k].site &&
                     std::equal(page[j].site.begin(), page[j].site.end(), page[k].site.begin(),
                                page[k].site.end(),
                                [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
                     return true;
             return false;
         }},
        {"<em> in the title",
         [](const auto& page, std::size_t k) {
             return page[k].titleHtml.find("<em>") != std::string::npos;
         }},
        {"<EM> in the title",
         [](const auto& page, std::size_t k) {
             return page[k].titleHtml.find("<EM>") != std::string::npos;
         }},
        {"empty title", [](const auto& page, std::size_t k) { return page[k].titleHtml.empty(); }},
        {"title over 30 GBK bytes",
         [](const auto& page, std::size_t k) { return gbkLength(page[k].titleUtf8) > 30; }},
        {"41-byte title",
         [](const auto& page, std::size_t k) { return gbkLength(page[k].titleUtf8) == 41; }},
    };
    for (const auto& oddity : oddities) {
        bool met = false;
        for (int pn = 10; pn <= 120 && !met; pn += 10) {
            const auto page = resultsFor("北京", pn);
            for (std::size_t k = 0; k < page.size() && !met; ++k) met = oddity.holds(page, k);
        }
        EXPECT_TRUE(met) << oddity.name;
    }
}

TEST(SearchPage, SitesUseOnlyReservedNames) {
    for (int pn = 0; pn <= 500; pn += 10) {
        for (const auto& r : resultsFor("k", pn)) {
            std::string lower = r.site;
            for (auto& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const bool reserved =
                lower.empty() || lower.ends_with(".example") || lower.ends_with(".test");
            EXPECT_TRUE(reserved) << r.site;
        }
    }
}

}  // namespace
}  // namespace sh::standin
