#include "standin/suggest_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sh::standin {
namespace {

// What the program takes from a reply: the text between the first "\"s\":[\"" and the
// next "\"]});", cut at "\",\"" (an empty remainder after the last cut is no item).
std::vector<std::string> itemsOf(const std::string& reply) {
    const std::string start = "\"s\":[\"";
    const auto from = reply.find(start);
    if (from == std::string::npos)
        return {};
    const auto to = reply.find("\"]});", from + start.size());
    if (to == std::string::npos)
        return {};
    const std::string list = reply.substr(from + start.size(), to - from - start.size());
    std::vector<std::string> items;
    std::size_t at = 0;
    for (std::size_t cut; (cut = list.find("\",\"", at)) != std::string::npos; at = cut + 3)
        items.push_back(list.substr(at, cut - at));
    if (at < list.size())
        items.push_back(list.substr(at));
    return items;
}

TEST(SuggestReply, TableGivesGbkBytes) {
    struct Case {
        const char* utf8;
        std::string gbk;
    };
    const Case cases[] = {
        {"北京公司", "\xb1\xb1\xbe\xa9\xb9\xab\xcb\xbe"},
        {"seo 优化", "seo \xd3\xc5\xbb\xaf"},
        {"官网是什么怎么样", "\xb9\xd9\xcd\xf8\xca\xc7\xca\xb2\xc3\xb4\xd4\xf5\xc3\xb4\xd1\xf9"},
        {"猫a", "?a"},    // not in the table
        {"\x80x", "?x"},  // a stray continuation byte
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(gbkFromTable(c.utf8), c.gbk) << c.utf8;
}

TEST(SuggestReply, WritesTheReplyWithoutSpaces) {
    EXPECT_EQ(suggestReply("kw", {"a", "b", "c"}),
              "jQuery110202664442080056231_1410524308400({\"q\":\"kw\",\"p\":false,\"s\":[\"a\","
              "\"b\",\"c\"]});");
}

TEST(SuggestReply, TheMarkersYieldTheDefaultItems) {
    const auto items = suggestionsFor("北京");
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], "\xb1\xb1\xbe\xa9");
    EXPECT_EQ(items[1], "\xb1\xb1\xbe\xa9\xb9\xd9\xcd\xf8");  // 北京官网
    EXPECT_EQ(itemsOf(suggestReply(gbkFromTable("北京"), items)), items);
}

TEST(SuggestReply, NoItemsGiveNoStartMarker) {
    EXPECT_TRUE(suggestionsFor("").empty());
    const auto reply = suggestReply("", {});
    EXPECT_EQ(reply.find("\"s\":[\""), std::string::npos);
    EXPECT_NE(reply.find("\"s\":[]});"), std::string::npos);
}

TEST(SuggestReply, EscapesQuotesButNotTrailBytes) {
    // 0x81 0x5C is one GBK character whose second byte looks like a backslash.
    EXPECT_EQ(suggestReply("q", {"a\"b\\", "\x81\x5c"}),
              "jQuery110202664442080056231_1410524308400({\"q\":\"q\",\"p\":false,"
              "\"s\":[\"a\\\"b\\\\\",\"\x81\x5c\"]});");
}

}  // namespace
}  // namespace sh::standin
