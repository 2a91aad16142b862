#include "standin/current_page.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace sh::standin {
namespace {

TEST(CurrentPage, TheFirstPagesHoldEveryPlannedOddity) {
    // A run of four pages meets each of these, so that an end-to-end run shows them all.
    using Holds = std::function<bool(const CurrentResult&)>;
    auto addressHas = [](const char* part) {
        return Holds([part](const CurrentResult& r) {
            return r.address.find(part) != std::string::npos;
        });
    };
    const std::vector<std::pair<const char*, Holds>> oddities = {
        {"https site", [](const auto& r) { return r.site.starts_with("https://"); }},
        {"port kept", [](const auto& r) { return r.site.find(":8443/") != std::string::npos; }},
        {"default port dropped", addressHas(".example:80/")},
        {"upper-case scheme and host", addressHas("HTTP://")},
        {"placeholder nourl.ubs", addressHas("nourl.ubs.baidu.com")},
        {"placeholder recommend_list", addressHas(".recommend_list.baidu.com")},
        {"placeholder sigma", addressHas(".sigma.baidu.com")},
        {"relative address", [](const auto& r) { return r.address.starts_with("/"); }},
        {"no address", [](const auto& r) { return !r.hasAddress; }},
        {"no title element", [](const auto& r) { return !r.hasTitle; }},
        {"entity in the title", [](const auto& r) {
             return r.titleHtml.find("&amp;") != std::string::npos;
         }},
        {"line break in the title",
         [](const auto& r) { return r.titleHtml.find('\n') != std::string::npos; }},
    };
    for (const auto& [name, holds] : oddities) {
        bool met = false;
        for (int pn = 10; pn <= 40; pn += 10) {
            for (const CurrentResult& r : currentResultsFor("北京", pn)) met = met || holds(r);
        }
        EXPECT_TRUE(met) << name;
    }
}

TEST(CurrentPage, UsesOnlyReservedNamesAndIsNoVerificationPage) {
    for (int pn = 10; pn <= 200; pn += 10) {
        const std::string page = currentSearchPage("北京", pn);
        EXPECT_EQ(page.find("百度安全验证"), std::string::npos);
        EXPECT_EQ(page.find("captcha"), std::string::npos);
        for (const CurrentResult& r : currentResultsFor("北京", pn)) {
            const std::string host = r.site.substr(0, r.site.find('/', 8));
            const bool reserved = r.site.empty() || host.ends_with(".example") ||
                                  host.ends_with(".test") || host.find(".example:") != host.npos ||
                                  host.find(".test:") != host.npos;
            EXPECT_TRUE(reserved) << r.site;
        }
    }
}

TEST(VerificationPage, CarriesTheMarkersOfTheRealOne) {
    const std::string page = verificationPage();
    for (const char* marker :
         {"<title>百度安全验证</title>", "网络不给力，请稍后重试", "/static/machine/js/api/mkd.js",
          "/static/touch/js/mkdjump_", "wappass.baidu.com\\/static\\/captcha\\/"})
        EXPECT_NE(page.find(marker), std::string::npos) << marker;
    EXPECT_GT(page.size(), 1000u);
    EXPECT_EQ(verificationLocation("/s?x=1").rfind("/static/captcha/tuxing.html?&ak=", 0), 0u);
    EXPECT_NE(verificationLocation("/s?x=1").find("&backurl=http%3A%2F%2Fm.baidu.com%2Fs%3Fx%3D1&"),
              std::string::npos);
}

}  // namespace
}  // namespace sh::standin
