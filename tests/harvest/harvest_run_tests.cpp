// The search button's run against the loopback stand-in of the search service.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "export/list_file.h"
#include "harvest/harvest_run.h"
#include "harvest/result_extraction.h"
#include "harvest/services.h"
#include "harvest/suggestions.h"
#include "harvest/pattern_matcher.h"
#include "standin/standin_server.h"
#include "support/expected_listing.h"
#include "support/fake_window.h"
#include "text/codepage.h"
#include "text/event_pump.h"
#include "text/program_directory.h"

namespace {

using namespace std::chrono_literals;
using sh::harvest::Button;
using sh::harvest::EditBox;
using sh::standin::Failure;
using sh::standin::ServiceKind;
using sh::standin::StandinServer;
using sh::testing::FakeWindow;
using sh::text::gbk;
using sh::text::Text;

constexpr const char* kBeijingEncoded = "%E5%8C%97%E4%BA%AC%E5%85%AC%E5%8F%B8";

// The rows as the fake window shows them: "rank|site|title".
std::vector<std::string> expectedRows(const std::string& keyword, int pages,
                                      const std::vector<std::string>& exclusions = {},
                                      const std::set<int>& missingPages = {}) {
    return sh::testing::rowLines(
        sh::testing::expectedListing(keyword, pages, exclusions, missingPages));
}

// Runs `action` inside the n-th wait (1-based) of the calling thread, as the window's
// event loop would run a click that arrived meanwhile.
class NestingPump : public sh::EventPump {
public:
    NestingPump(int atWait, std::function<void()> action)
        : m_atWait(atWait), m_action(std::move(action)) {}
    void processPendingEvents() override {}
    void waitFor(sh::WorkSignal& signal, std::chrono::milliseconds limit) override {
        if (++m_waits == m_atWait && m_action)
            std::exchange(m_action, nullptr)();
        signal.waitFor(limit);
    }

private:
    int m_waits = 0;
    int m_atWait;
    std::function<void()> m_action;
};

class HarvestRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        setenv("SITEHARVEST_SEARCH_HOST", server.hostPort().c_str(), 1);
        setenv("SITEHARVEST_SUGGEST_HOST", server.hostPort().c_str(), 1);
        dir = std::filesystem::temp_directory_path() /
              ("sh-harvest-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        sh::setProgramDirectory(dir);
        window.edits[EditBox::编辑框1] = gbk("北京公司");
        window.edits[EditBox::编辑框3] = Text("3");
        window.edits[EditBox::编辑框4] = Text("qrc:/help/search.html");
        window.edits[EditBox::编辑框7] = Text("qrc:/help/clear.html");
    }
    void TearDown() override {
        sh::harvest::setRequestTimeout(std::nullopt);
        unsetenv("SITEHARVEST_SEARCH_HOST");
        unsetenv("SITEHARVEST_SUGGEST_HOST");
        std::filesystem::remove_all(dir);
    }
    void writeExclusionFile(const std::string& bytes) {
        std::ofstream(dir / "排除网址.txt", std::ios::binary) << bytes;
    }
    std::vector<int> searchOffsets() const {
        std::vector<int> pns;
        for (const auto& request : server.requests()) {
            if (request.kind == ServiceKind::Search)
                pns.push_back(request.pn);
        }
        return pns;
    }

    StandinServer server;
    FakeWindow window;
    std::filesystem::path dir;
};

TEST(SearchAddress, IsTheFixedAddressWithTheEncodedKeywordAndOffset) {
    unsetenv("SITEHARVEST_SEARCH_HOST");
    const std::string fixed =
        "http://m.baidu.com/ssid=0/from=0/bd_page_type=1/uid=0/"
        "baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/pu=sz%40224_220%2Cta%40middle____/"
        "baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/s?ref=www_colorful&lid=10920360957018508356"
        "&word=";
    const std::string tail = "&rn=10&tn=middle&prest=111041&st=111081&usm=0&sa=np";
    EXPECT_EQ(sh::harvest::searchAddress(gbk("北京公司"), 1).bytes(),
              fixed + kBeijingEncoded + "&pn=10" + tail);
    EXPECT_EQ(sh::harvest::searchAddress(Text(), 50).bytes(), fixed + "&pn=500" + tail);
    EXPECT_EQ(sh::harvest::searchAddress(Text("a b"), 2).bytes(), fixed + "%61%20%62&pn=20" + tail);
}

TEST(SearchAddress, HostComesFromTheEnvironment) {
    setenv("SITEHARVEST_SEARCH_HOST", "127.0.0.1:8765", 1);
    EXPECT_EQ(
        sh::harvest::searchAddress(Text("x"), 1).bytes().rfind("http://127.0.0.1:8765/ssid=0/", 0),
        0u);
    unsetenv("SITEHARVEST_SEARCH_HOST");
}

TEST(ReadResultPage, TheResultPatternFirstThenTheCurrentMarkupThenTheBlockTest) {
    const std::string described =
        "<div><a href=\"#\"><span>1</span>&#160;旧标题</a><div class=\"abs\">摘要<br />"
        "<span class=\"site\">www.d.example</span></div></div>\n";
    const std::string current =
        "<div class=\"c-result result\" data-log=\"{'mu':'https://c.example/x'}\">"
        "<h3 class=\"c-title\">新标题</h3></div>";
    const std::string verification = sh::standin::verificationPage();
    struct Case {
        const char* name;
        std::string page;
        std::vector<std::string> seenBefore;
        std::vector<std::string> rows;
        bool blocked;
    };
    const std::vector<Case> cases = {
        {"a match of the pattern: the current markup is not read", described + current, {},
         {"0|http://www.d.example/|旧标题"}, false},
        {"a match that lists nothing still keeps the current markup unread", described + current,
         {"http://www.d.example/"}, {}, false},
        {"no match: the current markup", current, {}, {"0|https://c.example/|新标题"}, false},
        {"the verification page", verification, {}, {}, true},
        {"results beside the verification markers are no block", verification + current, {},
         {"0|https://c.example/|新标题"}, false},
        {"a result already seen is no block either", verification + current,
         {"https://c.example/"}, {}, false},
        {"an empty page", "", {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sh::harvest::PatternMatcher matcher;
        sh::harvest::SeenSet seen;
        for (const std::string& site : c.seenBefore) seen.add(Text(site));
        FakeWindow window;
        const sh::harvest::PageOutcome outcome = sh::harvest::readResultPage(
            Text(c.page), matcher, seen, {}, window.resultList());
        EXPECT_EQ(window.rowsUtf8(), c.rows);
        EXPECT_EQ(outcome.rows, static_cast<int>(c.rows.size()));
        EXPECT_EQ(outcome.blocked, c.blocked);
    }
}

TEST(ReadResultPage, APageTooLargeToKeepInUtf8IsReadFromItsGbkForm) {
    const std::string page = sh::standin::currentSearchPage("北京", 10, 17u << 20);
    ASSERT_GT(page.size(), sh::harvest::kKeptUtf8PageBytes);
    sh::harvest::PatternMatcher matcher;
    sh::harvest::SeenSet seen;
    FakeWindow window;
    const auto outcome =
        sh::harvest::readResultPage(Text(page), matcher, seen, {}, window.resultList());
    EXPECT_EQ(window.rowsUtf8(),
              sh::testing::rowLines(sh::testing::expectedCurrentListing("北京", 1)));
    EXPECT_FALSE(outcome.blocked);
}

TEST_F(HarvestRunTest, ListsEveryNewSiteOfEveryPageInPageOrder) {
    window.list.setCellText(window.list.appendRow(), 1, Text("http://old.example/"));

    sh::harvest::onSearchClicked(window);

    EXPECT_EQ(window.rowsUtf8(), expectedRows("北京公司", 3));
    EXPECT_EQ(searchOffsets(), (std::vector<int>{10, 20, 30}));
    for (const auto& request : server.requests()) {
        EXPECT_TRUE(request.fixedPartsOk) << request.problem;
        EXPECT_EQ(request.word, kBeijingEncoded);
    }
    // The promotional page first, then the button disabled, showing progress, restored.
    EXPECT_EQ(window.log,
              (std::vector<std::string>{"browser qrc:/help/search.html", "disabled 1", "text 1/3",
                                        "text 2/3", "text 3/3", "text 搜索", "enabled 1"}));
}

TEST_F(HarvestRunTest, PageCountIsTheBoxTextTruncatedTowardZero) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"0", 0}, {"abc", 0}, {"-2", 0}, {"", 0}, {"3.9", 3}, {"2abc", 2}, {"１", 1}};
    for (const auto& [box, pages] : cases) {
        SCOPED_TRACE(box);
        server.clearRequests();
        window = FakeWindow();
        window.edits[EditBox::编辑框1] = gbk("北京公司");
        window.edits[EditBox::编辑框3] = gbk(box);
        window.list.appendRow();

        sh::harvest::onSearchClicked(window);

        EXPECT_EQ(static_cast<int>(searchOffsets().size()), pages);
        EXPECT_EQ(window.rowsUtf8(), expectedRows("北京公司", pages));
        EXPECT_EQ(window.browserAddresses.size(), 1u);
        EXPECT_FALSE(window.disabled[Button::按钮1]);
    }
}

TEST_F(HarvestRunTest, ExclusionFileLinesDropSitesButABlankLineDropsNothing) {
    // A CR LF at the start and two in a row: blank lines, which must not exclude all.
    writeExclusionFile("\r\nshop3.\r\n\r\nSHOP9\r\n");
    sh::harvest::onSearchClicked(window);
    const auto rows = window.rowsUtf8();
    EXPECT_EQ(rows, expectedRows("北京公司", 3, {"shop3.", "SHOP9"}));
    EXPECT_FALSE(rows.empty());
}

TEST_F(HarvestRunTest, AFailedOrTimedOutPageAddsNoRowAndTheRunGoesOn) {
    sh::harvest::setRequestTimeout(1);
    struct Case {
        const char* name;
        Failure failure;
        std::chrono::milliseconds delay;
    };
    for (const Case& c : {Case{"500", Failure::Status500, 0ms}, Case{"drop", Failure::Drop, 0ms},
                          Case{"timeout", Failure::None, 2500ms}}) {
        SCOPED_TRACE(c.name);
        server.setPageFailure(20, c.failure);
        server.setPageDelay(20, c.delay);
        window.list.deleteAllRows();

        sh::harvest::onSearchClicked(window);

        EXPECT_EQ(window.rowsUtf8(), expectedRows("北京公司", 3, {}, {2}));
        EXPECT_FALSE(window.disabled[Button::按钮1]);
    }
}

TEST_F(HarvestRunTest, TypingDuringTheRunAsksForSuggestionsButKeepsTheKeyword) {
    window.edits[EditBox::编辑框2] = Text("initial");
    NestingPump pump(1, [&] {
        window.edits[EditBox::编辑框1] = gbk("上海");
        sh::harvest::onKeywordChanged(window);
    });
    sh::ScopedPump scoped(pump);

    sh::harvest::onSearchClicked(window);

    EXPECT_EQ(window.rowsUtf8(), expectedRows("北京公司", 3));
    int suggestions = 0;
    for (const auto& request : server.requests()) {
        if (request.kind == ServiceKind::Search) {
            EXPECT_EQ(request.word, kBeijingEncoded);
        }
        if (request.kind == ServiceKind::Suggest) {
            ++suggestions;
            EXPECT_EQ(request.wordDecoded, "上海");
        }
    }
    EXPECT_EQ(suggestions, 1);
    EXPECT_EQ(sh::text::utf8(window.edits[EditBox::编辑框2]),
              "上海|上海官网|上海是什么|上海怎么样|");
}

TEST_F(HarvestRunTest, ClearDuringTheRunRestartsRanksAndKeepsSeenSites) {
    // The clear button clicked while page 2 is being fetched.
    NestingPump pump(2, [&] { sh::exporting::onClearClicked(window); });
    sh::ScopedPump scoped(pump);

    sh::harvest::onSearchClicked(window);

    const auto all = expectedRows("北京公司", 3);
    const auto page1 = expectedRows("北京公司", 1);
    ASSERT_FALSE(window.rowsUtf8().empty());
    std::vector<std::string> rest;
    for (std::size_t i = page1.size(); i < all.size(); ++i) {
        const std::string& row = all[i];
        rest.push_back(std::to_string(rest.size()) + row.substr(row.find('|')));
    }
    EXPECT_EQ(window.rowsUtf8(), rest);
}

TEST_F(HarvestRunTest, CurrentMarkupPagesListTheirSitesThroughTheSameChecks) {
    server.setMarkup(sh::standin::Markup::Current);
    writeExclusionFile("shop16\r\nhttps://m.site19\r\n");
    window.edits[EditBox::编辑框3] = Text("4");

    sh::harvest::onSearchClicked(window);

    const auto rows = window.rowsUtf8();
    EXPECT_EQ(rows, sh::testing::rowLines(sh::testing::expectedCurrentListing(
                        "北京公司", 4, {"shop16", "https://m.site19"})));
    EXPECT_GT(rows.size(), 20u);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(window.disabled[Button::按钮1]);
}

TEST_F(HarvestRunTest, ABlockStopsTheRunAtOnceAndKeepsTheRows) {
    server.setBlockAfter(2);
    window.edits[EditBox::编辑框3] = Text("5");

    sh::harvest::onSearchClicked(window);

    EXPECT_EQ(window.rowsUtf8(), expectedRows("北京公司", 2));
    // The blocked request, its redirect to the verification page, and nothing after.
    EXPECT_EQ(searchOffsets(), (std::vector<int>{10, 20, 30}));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].status, 302);
    EXPECT_EQ(requests[3].target.rfind(std::string(sh::standin::kVerificationPath), 0), 0u);
    EXPECT_EQ(window.log, (std::vector<std::string>{"browser qrc:/help/search.html", "disabled 1",
                                                    "text 1/5", "text 2/5", "text 3/5",
                                                    "text 搜索", "enabled 1"}));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(sh::text::utf8(window.messages[0].caption), "信息");
    const std::string text = sh::text::utf8(window.messages[0].text);
    EXPECT_NE(text.find("安全验证"), std::string::npos) << text;
    EXPECT_NE(text.find("第3页"), std::string::npos) << text;
    EXPECT_NE(text.find("共5页"), std::string::npos) << text;
}

TEST_F(HarvestRunTest, ClosingTheProgramStopsTheRunWithoutTouchingTheWindow) {
    class Closing : public sh::EventPump {
    public:
        void processPendingEvents() override {}
        void waitFor(sh::WorkSignal&, std::chrono::milliseconds) override { closing = true; }
        bool isClosing() const override { return closing; }
        bool closing = false;
    } pump;
    sh::ScopedPump scoped(pump);
    window.edits[EditBox::编辑框3] = Text("50");

    sh::harvest::onSearchClicked(window);

    EXPECT_LE(searchOffsets().size(), 1u);
    EXPECT_EQ(window.log.back(), "text 1/50");
}

}  // namespace
