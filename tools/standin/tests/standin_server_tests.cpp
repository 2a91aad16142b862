#include "standin/standin_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace sh::standin {
namespace {

using namespace std::chrono_literals;

const std::string kBeijing = "%E5%8C%97%E4%BA%AC";  // 北京

class StandinServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.start()); }

    // A plain client that sends the target exactly as given.
    httplib::Client client(std::chrono::milliseconds readTimeout = 10s) const {
        httplib::Client c("127.0.0.1", m_server.port());
        c.set_url_encode(false);
        c.set_keep_alive(false);
        c.set_read_timeout(readTimeout);
        return c;
    }

    StandinServer m_server;
};

TEST_F(StandinServerTest, ListensOnLoopback) {
    EXPECT_GT(m_server.port(), 0);
    EXPECT_EQ(m_server.hostPort(), "127.0.0.1:" + std::to_string(m_server.port()));
}

TEST_F(StandinServerTest, ServesTheSearchPageForTheExactAddress) {
    auto c = client();
    const auto res =
        c.Get(searchTarget(kBeijing, 20), {{"Referer", "http://x/"}, {"Accept-Language", "zh-cn"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, searchPage("北京", 20));
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");

    const auto log = m_server.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, ServiceKind::Search);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].target, searchTarget(kBeijing, 20));
    EXPECT_EQ(log[0].word, kBeijing);
    EXPECT_EQ(log[0].wordDecoded, "北京");
    EXPECT_EQ(log[0].pn, 20);
    EXPECT_TRUE(log[0].fixedPartsOk);
    EXPECT_EQ(log[0].status, 200);
    EXPECT_EQ(log[0].header("referer"), "http://x/");
    EXPECT_EQ(log[0].header("Accept-Language"), "zh-cn");
    EXPECT_EQ(log[0].header("REMOTE_ADDR"), "");  // cpp-httplib's own entries are left out
}

TEST_F(StandinServerTest, RejectsAndLogsAChangedAddress) {
    std::string changed = searchTarget(kBeijing, 10);
    changed.replace(changed.find("rn=10"), 5, "rn=20");
    auto c = client();
    const auto res = c.Get(changed);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    const auto log = m_server.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, ServiceKind::Search);
    EXPECT_FALSE(log[0].fixedPartsOk);
    EXPECT_FALSE(log[0].problem.empty());
    EXPECT_EQ(log[0].status, 400);
}

TEST_F(StandinServerTest, OtherPathsAndMethodsAreRefusedButLogged) {
    auto c = client();
    const auto notFound = c.Get("/favicon.ico");
    ASSERT_TRUE(notFound);
    EXPECT_EQ(notFound->status, 404);
    const auto post = c.Post(searchTarget("", 10), "x", "text/plain");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 405);
    const auto log = m_server.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].kind, ServiceKind::Other);
    EXPECT_EQ(log[1].method, "POST");
}

TEST_F(StandinServerTest, ServesSuggestionsInGbk) {
    auto c = client();
    auto res = c.Get(suggestTarget(kBeijing));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, suggestReply("\xb1\xb1\xbe\xa9", suggestionsFor("北京")));

    m_server.setSuggestions({"x", "", "y"});
    res = c.Get(suggestTarget(kBeijing));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, suggestReply("\xb1\xb1\xbe\xa9", {"x", "", "y"}));

    m_server.setSuggestReplyRaw("cb({\"S\":[\"a\\u4e2d\"]});");
    res = c.Get(suggestTarget(kBeijing));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "cb({\"S\":[\"a\\u4e2d\"]});");

    m_server.resetSuggestions();
    res = c.Get(suggestTarget("%61"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, suggestReply("a", suggestionsFor("a")));

    const auto log = m_server.requests();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].kind, ServiceKind::Suggest);
    EXPECT_TRUE(log[0].fixedPartsOk);
    EXPECT_EQ(log[0].word, kBeijing);
}

TEST_F(StandinServerTest, FailsTheChosenPageOnly) {
    struct Case {
        Failure failure;
        int loggedStatus;
        bool replyArrives;
    };
    const Case cases[] = {
        {Failure::Status500, 500, true},
        {Failure::Drop, 0, false},
    };
    for (const auto& c : cases) {
        m_server.clearRequests();
        m_server.setPageFailure(20, c.failure);
        auto cl = client();
        const auto failed = cl.Get(searchTarget("%61", 20));
        EXPECT_EQ(static_cast<bool>(failed), c.replyArrives);
        if (failed) {
            EXPECT_EQ(failed->status, 500);
        }
        const auto other = cl.Get(searchTarget("%61", 30));
        ASSERT_TRUE(other);
        EXPECT_EQ(other->status, 200);
        const auto log = m_server.requests();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].status, c.loggedStatus);
        EXPECT_EQ(log[1].status, 200);
    }
    m_server.setPageFailure(20, Failure::None);
    const auto healed = client().Get(searchTarget("%61", 20));
    ASSERT_TRUE(healed);
    EXPECT_EQ(healed->status, 200);
}

TEST_F(StandinServerTest, FailsTheChosenSuggestion) {
    m_server.setSuggestFailure("a", Failure::Status500);
    const auto res = client().Get(suggestTarget("%61"));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);
    const auto other = client().Get(suggestTarget("%62"));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->status, 200);
}

// The delays are far longer than the client's patience, so these hold on any machine.
TEST_F(StandinServerTest, DelaysOutlastAnImpatientClient) {
    m_server.setPageDelay(20, 60s);
    EXPECT_FALSE(client(300ms).Get(searchTarget("%61", 20)));
    EXPECT_TRUE(client().Get(searchTarget("%61", 30)));  // other pages are not delayed

    m_server.setDelay(60s);
    EXPECT_FALSE(client(300ms).Get(suggestTarget("%61")));
    m_server.setDelay(0ms);
    EXPECT_TRUE(client().Get(suggestTarget("%61")));

    m_server.setSuggestDelay("a", 60s);
    EXPECT_FALSE(client(300ms).Get(suggestTarget("%61")));
    EXPECT_EQ(m_server.requestCount(), 5u);  // a delayed request is logged on arrival
}

TEST_F(StandinServerTest, ServesTheCurrentMarkupAndBlocksAfterNSearches) {
    m_server.setMarkup(Markup::Current);
    m_server.setBlockAfter(1);
    auto c = client();
    const auto first = c.Get(searchTarget(kBeijing, 10));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    EXPECT_EQ(first->body, currentSearchPage("北京", 10));

    // Every later search: a redirect to the verification page, which answers 200.
    for (int pn : {20, 20}) {
        const auto blocked = c.Get(searchTarget(kBeijing, pn));
        ASSERT_TRUE(blocked);
        EXPECT_EQ(blocked->status, 302);
        // cpp-httplib's client hands the Location header over percent-decoded.
        const std::string location = blocked->get_header_value("Location");
        EXPECT_EQ(location.rfind(std::string(kVerificationPath) + "?&ak=", 0), 0u) << location;
        const auto page = c.Get(std::string(kVerificationPath) + "?&ak=1&backurl=x");
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_EQ(page->body, verificationPage());
    }
    // Suggestions are not blocked; a new setting starts counting again.
    const auto suggest = c.Get(suggestTarget(kBeijing));
    ASSERT_TRUE(suggest);
    EXPECT_EQ(suggest->status, 200);
    m_server.setBlockAfter(std::nullopt);
    EXPECT_EQ(c.Get(searchTarget(kBeijing, 30))->status, 200);

    std::vector<int> statuses;
    for (const auto& request : m_server.requests()) statuses.push_back(request.status);
    EXPECT_EQ(statuses, (std::vector<int>{200, 302, 200, 302, 200, 200, 200}));
}

TEST(StandinServerLifetime, StopEndsPendingDelays) {
    StandinServer server;
    ASSERT_TRUE(server.start());
    server.setDelay(600s);
    std::atomic<bool> answered{false};
    std::thread caller([&] {
        httplib::Client c("127.0.0.1", server.port());
        c.set_url_encode(false);
        c.set_read_timeout(900s);
        const auto res = c.Get(searchTarget("%61", 10));
        answered = static_cast<bool>(res) && res->status == 200;
    });
    ASSERT_TRUE(server.waitForRequests(1, 60s));
    server.stop();  // would hang for ten minutes if the delay were not cut short
    caller.join();
    EXPECT_FALSE(answered);
}

TEST(StandinServerLifetime, StartsOnceAndStopsRightAway) {
    StandinServer server;
    ASSERT_TRUE(server.start());
    EXPECT_FALSE(server.start());
    server.stop();
    server.stop();
}

TEST(StandinServerLifetime, RefusesABusyPort) {
    StandinServer first;
    ASSERT_TRUE(first.start());
    StandinServer second;
    EXPECT_FALSE(second.start(first.port()));
}

TEST_F(StandinServerTest, LogCanBeClearedAndObserved) {
    std::atomic<int> seen{0};
    m_server.setObserver([&](const StandinServer::Request&) { ++seen; });
    EXPECT_TRUE(client().Get(searchTarget("", 10)));
    EXPECT_TRUE(client().Get(searchTarget("", 20)));
    EXPECT_TRUE(m_server.waitForRequests(2, 10s));
    EXPECT_EQ(seen, 2);
    m_server.clearRequests();
    EXPECT_EQ(m_server.requestCount(), 0u);
    EXPECT_TRUE(m_server.requests().empty());
    m_server.setObserver(nullptr);  // the lambda's captures go before the server does
}

}  // namespace
}  // namespace sh::standin
