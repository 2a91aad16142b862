#include "standin/service_address.h"

#include <gtest/gtest.h>

#include <string>

namespace sh::standin {
namespace {

// The addresses as the program must send them, written out whole on purpose: the
// constants of the stand-in are checked against this text, not against themselves.
const std::string kBeijingPage2 =
    "/ssid=0/from=0/bd_page_type=1/uid=0/baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/"
    "pu=sz%40224_220%2Cta%40middle____/baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/s"
    "?ref=www_colorful&lid=10920360957018508356&word=%E5%8C%97%E4%BA%AC%E5%85%AC%E5%8F%B8"
    "&pn=20&rn=10&tn=middle&prest=111041&st=111081&usm=0&sa=np";
const std::string kSuggestAb =
    "/su?wd=%61%62&sugmode=2&json=1&p=3&sid=8835_1461_8234_8674_8489_8057_8504_8593_8580_8783_"
    "7799_7963_8447_8736_8435_8457&req=2&bs=&cb=jQuery110202664442080056231_1410524308400"
    "&_=1410524308402";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(ServiceAddress, BuildsTheAddressesByteForByte) {
    EXPECT_EQ(searchTarget("%E5%8C%97%E4%BA%AC%E5%85%AC%E5%8F%B8", 20), kBeijingPage2);
    EXPECT_EQ(suggestTarget("%61%62"), kSuggestAb);
}

TEST(ServiceAddress, AcceptsTheExactSearchAddress) {
    const auto check = checkTarget(kBeijingPage2);
    EXPECT_EQ(check.kind, ServiceKind::Search);
    EXPECT_TRUE(check.fixedPartsOk) << check.problem;
    EXPECT_EQ(check.pn, 20);
    EXPECT_EQ(check.word, "%E5%8C%97%E4%BA%AC%E5%85%AC%E5%8F%B8");
    EXPECT_EQ(check.wordDecoded, "北京公司");
    EXPECT_TRUE(check.wordFullyEncoded);
}

TEST(ServiceAddress, AcceptsAnEmptyKeyword) {
    const auto check = checkTarget(searchTarget("", 10));
    EXPECT_TRUE(check.fixedPartsOk) << check.problem;
    EXPECT_EQ(check.word, "");
    EXPECT_TRUE(check.wordFullyEncoded);
}

TEST(ServiceAddress, NotesAKeywordThatIsNotFullyEncoded) {
    const auto check = checkTarget(searchTarget("ab%20c", 10));
    EXPECT_TRUE(check.fixedPartsOk);  // the keyword is not a fixed part
    EXPECT_EQ(check.wordDecoded, "ab c");
    EXPECT_FALSE(check.wordFullyEncoded);
}

TEST(ServiceAddress, RejectsAChangedSearchAddress) {
    struct Case {
        const char* name;
        std::string target;
    };
    const Case cases[] = {
        {"decoded @ in path", replaced(kBeijingPage2, "pu=sz%40224", "pu=sz@224")},
        {"lower-case %2c", replaced(kBeijingPage2, "%2Cta", "%2cta")},
        {"other baiduid", replaced(kBeijingPage2, "F570/s?", "F571/s?")},
        {"path without ssid", replaced(kBeijingPage2, "/ssid=0/", "/")},
        {"no ref", replaced(kBeijingPage2, "ref=www_colorful&", "")},
        {"other lid", replaced(kBeijingPage2, "lid=1092", "lid=1093")},
        {"rn=20", replaced(kBeijingPage2, "rn=10", "rn=20")},
        {"no sa at the end", replaced(kBeijingPage2, "&sa=np", "")},
        {"extra parameter", kBeijingPage2 + "&x=1"},
        {"pn not a number", replaced(kBeijingPage2, "pn=20", "pn=2x")},
        {"pn empty", replaced(kBeijingPage2, "pn=20", "pn=")},
        {"no pn", replaced(kBeijingPage2, "&pn=20", "")},
        {"no query", kBeijingPage2.substr(0, kBeijingPage2.find('?'))},
        {"bare /s", "/s?" + kBeijingPage2.substr(kBeijingPage2.find('?') + 1)},
    };
    for (const auto& c : cases) {
        const auto check = checkTarget(c.target);
        EXPECT_EQ(check.kind, ServiceKind::Search) << c.name;
        EXPECT_FALSE(check.fixedPartsOk) << c.name;
        EXPECT_FALSE(check.problem.empty()) << c.name;
    }
}

TEST(ServiceAddress, GuessesTheWordOfARejectedSearch) {
    const auto check = checkTarget(replaced(kBeijingPage2, "rn=10", "rn=20"));
    EXPECT_EQ(check.word, "%E5%8C%97%E4%BA%AC%E5%85%AC%E5%8F%B8");
}

TEST(ServiceAddress, AcceptsTheExactSuggestionAddress) {
    const auto check = checkTarget(kSuggestAb);
    EXPECT_EQ(check.kind, ServiceKind::Suggest);
    EXPECT_TRUE(check.fixedPartsOk) << check.problem;
    EXPECT_EQ(check.word, "%61%62");
    EXPECT_EQ(check.wordDecoded, "ab");
    EXPECT_EQ(check.pn, -1);
}

TEST(ServiceAddress, RejectsAChangedSuggestionAddress) {
    struct Case {
        const char* name;
        std::string target;
    };
    const Case cases[] = {
        {"other callback", replaced(kSuggestAb, "_1410524308400", "_1410524308401")},
        {"other time stamp", replaced(kSuggestAb, "&_=1410524308402", "&_=1")},
        {"no bs", replaced(kSuggestAb, "&bs=", "")},
        {"json=0", replaced(kSuggestAb, "json=1", "json=0")},
        {"no wd", replaced(kSuggestAb, "wd=%61%62", "")},
        {"other path", replaced(kSuggestAb, "/su?", "/x/su?")},
        {"tail cut short", kSuggestAb.substr(0, kSuggestAb.size() - 1)},
    };
    for (const auto& c : cases) {
        const auto check = checkTarget(c.target);
        EXPECT_EQ(check.kind, ServiceKind::Suggest) << c.name;
        EXPECT_FALSE(check.fixedPartsOk) << c.name;
    }
}

TEST(ServiceAddress, OtherPathsAreNeitherService) {
    for (const char* target : {"/", "/favicon.ico", "/s/x?word=a", "/sug?wd=a"})
        EXPECT_EQ(checkTarget(target).kind, ServiceKind::Other) << target;
}

TEST(ServiceAddress, PercentDecodeLeavesBrokenTripletsAlone) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"%41%62", "Ab"}, {"%4", "%4"}, {"%zz1", "%zz1"},
        {"a+b", "a+b"},   {"%", "%"},   {"%e4%B8%AD", "中"},
    };
    for (const auto& c : cases) EXPECT_EQ(percentDecode(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace sh::standin
