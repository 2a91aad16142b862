// The process-wide cookie store: what the explicit store step keeps, and how a handle's
// cookies are merged back while other exchanges may have changed the store.

#include <gtest/gtest.h>

#include <algorithm>

#include "web/cookie_jar.h"

namespace sh::web {
namespace {

class CookieJarTest : public ::testing::Test {
protected:
    void SetUp() override { jar().clear(); }
    void TearDown() override { jar().clear(); }
    static CookieJar& jar() { return CookieJar::instance(); }
};

TEST_F(CookieJarTest, StoreKeepsWhatTheResponseSetForItsHost) {
    struct Case {
        const char* name;
        std::string cookieName;
        std::string data;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"plain", "a", "1; path=/", {"h.example.com\tFALSE\t/\tFALSE\t0\ta\t1"}},
        {"attributes",
         "b",
         "2; Path=/x; Secure; HttpOnly; Domain=.Example.com",
         {"#HttpOnly_.example.com\tTRUE\t/x\tTRUE\t0\tb\t2"}},
        {"far future expiry",
         "c",
         "3; expires=Fri, 01 Jan 2100 00:00:00 GMT",
         {"h.example.com\tFALSE\t/\tFALSE\t4102444800\tc\t3"}},
        {"domain not covering the host", "d", "4; domain=other.com", {}},
        {"domain that is only a suffix", "d", "4; domain=ample.com", {}},
        {"empty name", "", "5", {}},
        {"control character in value", "e", "a\tb", {}},
        {"oversized", "f", std::string(5000, 'v'), {}},
        {"already expired", "g", "7; max-age=0", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        jar().clear();
        jar().store("H.example.com", c.cookieName, c.data);
        EXPECT_EQ(jar().snapshot(), c.lines);
    }
}

TEST_F(CookieJarTest, ExpiryInThePastRemovesAStoredCookie) {
    jar().store("h.com", "a", "1");
    jar().store("h.com", "a", "x; expires=Thu, 01 Jan 1970 00:00:10 GMT");
    EXPECT_EQ(jar().size(), 0u);
}

TEST_F(CookieJarTest, TheStoreIsBounded) {
    for (std::size_t i = 0; i < CookieJar::kMaxCookies + 5; ++i)
        jar().store("h.com", "n" + std::to_string(i), "v");
    const auto lines = jar().snapshot();
    EXPECT_EQ(lines.size(), CookieJar::kMaxCookies);
    // the oldest went first
    for (const std::string& line : lines) EXPECT_EQ(line.find("\tn0\t"), std::string::npos);
}

TEST_F(CookieJarTest, MergeAppliesOnlyWhatTheExchangeChanged) {
    const std::string kept = "h.com\tFALSE\t/\tFALSE\t0\tkeep\t1";
    const std::string changed = "h.com\tFALSE\t/\tFALSE\t0\tchange\t1";
    const std::string dropped = "h.com\tFALSE\t/\tFALSE\t0\tdrop\t1";
    const std::string elsewhere = "h.com\tFALSE\t/\tFALSE\t0\tother\t1";
    jar().merge({}, {kept, changed, dropped, elsewhere});
    const auto seeded = jar().snapshot();

    // Meanwhile another exchange changed "other".
    const std::string otherNew = "h.com\tFALSE\t/\tFALSE\t0\tother\t2";
    jar().merge(seeded, {kept, changed, dropped, otherNew});

    // This exchange changed "change", dropped "drop" and "other", added "new".
    const std::string changedNew = "h.com\tFALSE\t/\tFALSE\t0\tchange\t2";
    const std::string added = "h.com\tFALSE\t/\tFALSE\t0\tnew\t1";
    jar().merge(seeded, {kept, changedNew, added});

    auto lines = jar().snapshot();
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected{changedNew, kept, added, otherNew};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace sh::web
