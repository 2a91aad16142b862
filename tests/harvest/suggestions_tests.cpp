// Keyword suggestions against the loopback stand-in of the suggestion service.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "harvest/services.h"
#include "harvest/suggestions.h"
#include "standin/standin_server.h"
#include "support/fake_window.h"
#include "text/codepage.h"
#include "text/event_pump.h"

namespace {

using sh::harvest::EditBox;
using sh::standin::ServiceKind;
using sh::standin::StandinServer;
using sh::testing::FakeWindow;
using sh::text::gbk;
using sh::text::Text;

std::string joined(const sh::text::TextList& items) {
    std::string line;
    for (const auto& item : items) line += item.bytes() + "|";
    return line;
}

TEST(SuggestionItems, AreCutFromBetweenTheMarkers) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(cb({"q":"k","p":false,"s":["x","y"]});)", "x|y|"},
        {R"(cb({"q":"k","p":false,"s":[]});)", ""},
        {R"(cb({"s":["a","","b"]});)", "a||b|"},
        // "s" followed by another member: no end marker right after the list.
        {R"(cb({"s":["a","b"],"t":1});)", ""},
        // ...unless the end marker turns up later: everything up to it is taken.
        {R"(cb({"s":["a","b"],"t":["c"]});)", "a|b\"],\"t\":[\"c|"},
        {R"(cb({"S":["a"]});)", "a|"},
        {R"(cb({"s":["\u5317"]});)", "\\u5317|"},
        {R"(cb({"s": ["a"]});)", ""},  // a space: no start marker
        {"", ""},
    };
    for (const auto& [reply, line] : cases) {
        SCOPED_TRACE(reply);
        EXPECT_EQ(joined(sh::harvest::suggestionItems(Text(reply))), line);
    }
}

TEST(SuggestionAddress, IsTheFixedAddressWithTheEncodedKeyword) {
    unsetenv("SITEHARVEST_SUGGEST_HOST");
    const std::string tail =
        "&sugmode=2&json=1&p=3&sid=8835_1461_8234_8674_8489_8057_8504_8593_8580_8783_7799_7963_"
        "8447_8736_8435_8457&req=2&bs=&cb=jQuery110202664442080056231_1410524308400&_="
        "1410524308402";
    EXPECT_EQ(sh::harvest::suggestionAddress(gbk("北京")).bytes(),
              "http://suggestion.baidu.com/su?wd=%E5%8C%97%E4%BA%AC" + tail);
    EXPECT_EQ(sh::harvest::suggestionAddress(Text()).bytes(),
              "http://suggestion.baidu.com/su?wd=" + tail);
}

class SuggestionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        setenv("SITEHARVEST_SUGGEST_HOST", server.hostPort().c_str(), 1);
        window.edits[EditBox::编辑框2] = Text("initial line");
    }
    void TearDown() override {
        sh::harvest::setRequestTimeout(std::nullopt);
        unsetenv("SITEHARVEST_SUGGEST_HOST");
    }
    std::string line() { return sh::text::utf8(window.edits[EditBox::编辑框2]); }

    StandinServer server;
    FakeWindow window;
};

TEST_F(SuggestionsTest, ShowsTheItemsOfTheReplyEachFollowedByABar) {
    window.edits[EditBox::编辑框1] = gbk("北京");
    sh::harvest::onKeywordChanged(window);
    EXPECT_EQ(line(), "北京|北京官网|北京是什么|北京怎么样|");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_TRUE(server.requests()[0].fixedPartsOk) << server.requests()[0].problem;
}

TEST_F(SuggestionsTest, AnEmptyKeywordIsSentAndAnEmptyListShowsNothing) {
    server.setSuggestions({});
    sh::harvest::onKeywordChanged(window);
    EXPECT_EQ(line(), "");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_NE(server.requests()[0].target.find("/su?wd=&sugmode=2"), std::string::npos);
}

TEST_F(SuggestionsTest, FailuresAndTimeOutsLeaveTheLineEmpty) {
    sh::harvest::setRequestTimeout(1);
    window.edits[EditBox::编辑框1] = gbk("上海");
    for (auto failure : {sh::standin::Failure::Status500, sh::standin::Failure::Drop}) {
        server.setSuggestFailure("上海", failure);
        sh::harvest::onKeywordChanged(window);
        EXPECT_EQ(line(), "");
    }
    server.setSuggestFailure("上海", sh::standin::Failure::None);
    server.setSuggestDelay("上海", std::chrono::milliseconds(2500));
    sh::harvest::onKeywordChanged(window);
    EXPECT_EQ(line(), "");
}

// Typing while a reply is outstanding: the newer keyword's handler runs inside the
// older one's wait and shows its items; the older reply, arriving after, is dropped.
TEST_F(SuggestionsTest, AnOlderReplyArrivingAfterANewerOneIsNotShown) {
    class NestOnce : public sh::EventPump {
    public:
        std::function<void()> action;
        void processPendingEvents() override {}
        void waitFor(sh::WorkSignal& signal, std::chrono::milliseconds limit) override {
            if (action)
                std::exchange(action, nullptr)();
            signal.waitFor(limit);
        }
    } pump;
    pump.action = [&] {
        window.edits[EditBox::编辑框1] = gbk("北京");
        sh::harvest::onKeywordChanged(window);
    };
    sh::ScopedPump scoped(pump);
    window.edits[EditBox::编辑框1] = gbk("北");

    sh::harvest::onKeywordChanged(window);

    EXPECT_EQ(line(), "北京|北京官网|北京是什么|北京怎么样|");
    EXPECT_EQ(server.requestCount(), 2u);
}

}  // namespace
