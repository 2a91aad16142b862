// The reader of the service's current result markup, and the test for its verification
// page.

#include "harvest/current_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harvest/verification_page.h"
#include "text/codepage.h"

namespace sh::harvest {
namespace {

using sh::text::utf8;

// A page around the given body markup, with a script in front as the service writes it.
std::string page(const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title>"
           "<script>var a={\"x\":\"<div class=\\\"c-result result\\\">\"};</script>"
           "</head><body>" +
           body + "</body></html>";
}

// A result element with a data-log value as written in the attribute.
std::string result(const std::string& dataLog, const std::string& inner,
                   const std::string& classes = "c-result result") {
    return "<div class=\"" + classes + "\" srcid=\"1599\" tpl=\"www_normal\" data-log=\"" +
           dataLog + "\">" + inner + "</div>";
}

std::string mu(const std::string& address) {
    return "{'fm':'alop','order':'1','mu':'" + address + "'}";
}

std::string titled(const std::string& title) {
    return "<h3 class=\"c-title\"><span class=\"c-title-text\">" + title + "</span></h3>";
}

// "site|title" in UTF-8 for each result read.
std::vector<std::string> read(const std::string& html) {
    std::vector<std::string> rows;
    for (const MarkupResult& r : readCurrentMarkup(html))
        rows.push_back(utf8(r.site) + "|" + utf8(r.title));
    return rows;
}

struct MarkupCase {
    const char* name;
    std::string body;
    std::vector<std::string> rows;
};

TEST(CurrentMarkupTest, ReadsSitesAndTitles) {
    const std::string a = mu("http://www.a.example/x.html");
    const std::vector<MarkupCase> cases = {
        {"single-quoted data-log, the 2019 form", result(a, titled("标题")),
         {"http://www.a.example/|标题"}},
        {"JSON data-log written with &quot;",
         result("{&quot;order&quot;:1,&quot;mu&quot;:&quot;https:\\/\\/b.example\\/p?q=1&quot;}",
                titled("B")),
         {"https://b.example/|B"}},
        {"a bare key", result("{mu:'http://c.example/'}", titled("C")), {"http://c.example/|C"}},
        {"a mu nested deeper is not the result's",
         result("{&quot;x&quot;:{&quot;mu&quot;:&quot;http://deep.example/&quot;},"
                "&quot;mu&quot;:&quot;http://top.example/&quot;}",
                titled("T")),
         {"http://top.example/|T"}},
        {"other classes beside the two", result(a, titled("A"), "c-gap result c-result xyz"),
         {"http://www.a.example/|A"}},
        {"one class of the two, or a longer class, is no result",
         result(a, titled("1"), "c-result-content") + result(a, titled("2"), "c-result") +
             result(a, titled("3"), "result c-results"),
         {}},
        {"results in document order, none dropped here",
         result(mu("http://1.example/"), titled("一")) + result(mu("http://2.example/"),
                                                                 titled("二")),
         {"http://1.example/|一", "http://2.example/|二"}},
        {"a result inside a result is read too, in order of their starts",
         result(mu("http://outer.example/"),
                titled("外") + result(mu("http://inner.example/"), titled("内"))),
         {"http://outer.example/|外", "http://inner.example/|内"}},
        {"c-title-text wins over the c-title around it",
         result(a, "<h3 class=\"c-title\">外<span class=\"c-title-text\">内</span></h3>"),
         {"http://www.a.example/|内"}},
        {"c-title-text wins over an earlier c-title and cu-title",
         result(a, "<div class=\"cu-title\">cu</div><h3 class=\"c-title\">c</h3><p><span "
                   "class=\"c-title-text\">text</span></p>"),
         {"http://www.a.example/|text"}},
        {"cu-title before c-title, c-title before h3",
         result(a, "<h3>h3</h3><div class=\"c-title\">c</div><div class=\"cu-title\">cu</div>") +
             result(mu("http://b.example/"), "<h3>h3</h3><div class=\"c-title\">c</div>"),
         {"http://www.a.example/|cu", "http://b.example/|c"}},
        {"the first h3, and the first c-title-text",
         result(a, "<h3>一</h3><h3>二</h3>") +
             result(mu("http://b.example/"), titled("一") + titled("二")),
         {"http://www.a.example/|一", "http://b.example/|一"}},
        {"no title element: an empty title", result(a, "<p>只有摘要</p>"),
         {"http://www.a.example/|"}},
        {"tags removed, entities decoded, white space folded and trimmed",
         result(a, titled("\n  <em>北京</em>&amp;<b>上海</b> &lt;网站&gt;\t&#x4E2D;&#25991;"
                          "&nbsp; &quot;x&quot;  ")),
         {"http://www.a.example/|北京&上海 <网站> 中文 \"x\""}},
        {"blank text between two inline elements is a space",
         result(a, titled("<em>a</em> <em>b</em>")), {"http://www.a.example/|a b"}},
        {"a long title keeps its last 30 GBK bytes, never half a character",
         result(a, titled("专业网站建设网站优化网站推广全站服务平台A")),
         {"http://www.a.example/|网站优化网站推广全站服务平台A"}},
        {"characters GBK lacks become '?'", result(a, titled("a😀b")),
         {"http://www.a.example/|a?b"}},
        {"the meta tag does not switch the page from UTF-8",
         "<meta charset=\"gbk\">" + result(a, titled("中文标题")),
         {"http://www.a.example/|中文标题"}},
        {"an invalid UTF-8 byte does not garble what follows",
         "<p>\xFF\xFE</p>" + result(a, titled("之后的标题")),
         {"http://www.a.example/|之后的标题"}},
        {"results without a usable address give no row",
         result("{'fm':'alop'}", titled("1")) + result(mu(""), titled("2")) +
             result(mu("/sf?word=x"), titled("3")) + result(mu("ftp://f.example/"), titled("4")) +
             result(mu("http://nourl.ubs.baidu.com/123"), titled("5")) +
             result(mu("https://ab.recommend_list.baidu.com/c"), titled("6")) +
             result(mu("http://X.SIGMA.BAIDU.COM/c"), titled("7")) +
             result("{'mu':'http://never-closed.example/}", titled("8")) +
             result(mu("http://ok.example/"), titled("9")),
         {"http://ok.example/|9"}},
        {"markup inside a script is no result",
         "<script>document.write('<div class=\"c-result result\" data-log=\"{mu:\\'http://s.example/\\'}\">"
         "');</script>",
         {}},
    };
    for (const MarkupCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(page(c.body)), c.rows);
    }
}

TEST(CurrentMarkupTest, SiteOfAddress) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://www.a.example/x/y.html?q=1#f", "http://www.a.example/"},
        {"https://a.example", "https://a.example/"},
        {"HTTPS://WWW.A.Example/X", "https://www.a.example/"},
        {"http://a.example:8080/", "http://a.example:8080/"},
        {"https://a.example:8443?x", "https://a.example:8443/"},
        {"http://a.example:80/", "http://a.example/"},
        {"https://a.example:443/", "https://a.example/"},
        {"http://a.example:0443/", "http://a.example:443/"},
        {"https://a.example:80/", "https://a.example:80/"},
        {"http://a.example:/", "http://a.example/"},
        {"http://user:pw@a.example:81/", "http://a.example:81/"},
        {"  http://a.example/  ", "http://a.example/"},
        {"http://a.example\\b", "http://a.example/"},
        {"http://[::1]:8080/", "http://[::1]:8080/"},
        {"http://中文.example/", "http://中文.example/"},
        {"http://nourl.ubs.baidu.com.", ""},
        {"http://ubs.baidu.com/", "http://ubs.baidu.com/"},
        {"http://recommend_list.baidu.com/", "http://recommend_list.baidu.com/"},
        {"http://a.example:99999/", ""},
        {"http://a.example:8a/", ""},
        {"http://a.example:0/", ""},
        {"http://a b.example/", ""},
        {"http://<a>.example/", ""},
        {"http://", ""},
        {"http:///x", ""},
        {"http:/a.example/", ""},
        {"//a.example/", ""},
        {"javascript:void(0)", ""},
        {"mailto:a@b.example", ""},
        {"http://[::1/", ""},
        {"http://[]/", ""},
        {"", ""},
    };
    for (const auto& [address, site] : cases)
        EXPECT_EQ(siteOfAddress(address), site) << address;
}

TEST(CurrentMarkupTest, DataLogMember) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"{'fm':'alop','mu':'http://a.example/'}", "http://a.example/"},
        {"{\"mu\":\"http:\\/\\/a.example\\/\"}", "http://a.example/"},
        {"{ \"fm\" : \"x\" , \"mu\" : \"a\\\"b\\u4e2d\\ud83d\\ude00\" }",
         "a\"b\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {"{\"mu\":\"\\ud800\"}", "\xEF\xBF\xBD"},
        {"{mu:'x'}", "x"},
        {"{\"mu\":null}", "null"},
        {"{\"fm\":\"mu\",\"x\":1}", std::nullopt},  // "mu" as a value is no key
        {"{\"a\":{\"mu\":\"deep\"}}", std::nullopt},
        {"{\"a\":[{\"mu\":\"deep\"}],\"mu\":\"top\"}", "top"},
        {"{\"mu\":\"first\",\"mu\":\"second\"}", "first"},
        {"{'mu':'never closed}", std::nullopt},
        {"{'fm':'open, 'mu':'x'}", std::nullopt},
        {"{\"mu\":\"a\\", std::nullopt},
        {"", std::nullopt},
        {"}}}]]{'mu':'x'}", "x"},
    };
    for (const auto& [log, value] : cases)
        EXPECT_EQ(dataLogMember(log, "mu"), value) << log;
}

TEST(CurrentMarkupTest, HostileInputIsReadInBoundedWork) {
    const std::string a = mu("http://www.a.example/");
    const std::string good = result(a, titled("好"));
    struct Hostile {
        const char* name;
        std::string html;
        std::vector<std::string> rows;
    };
    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<div>";
    std::string deep;  // just within the depth that is read
    for (int i = 0; i < 400; ++i) deep += "<div>";
    std::string unmatchedEnds;  // every end tag makes the parser search its whole stack
    for (int i = 0; i < 2000000; ++i) unmatchedEnds += "</b>";
    std::string bodies;  // each extra <body> makes it search the stack for the first one
    for (int i = 0; i < 1000000; ++i) bodies += "<body>";
    std::string tenMegabytes = "<script>var x=\"";
    tenMegabytes.append(10u << 20, 'x');
    tenMegabytes += "\";</script>";
    std::string longTitle;
    for (int i = 0; i < 20000; ++i) longTitle += "标题 <em>a</em> ";
    longTitle += "结尾";

    const std::vector<Hostile> cases = {
        {"1 MB data-log", result("{'x':'" + std::string(1u << 20, 'y') + "','mu':'http://b.example/'}",
                                 titled("B")),
         {"http://b.example/|B"}},
        {"unterminated quotes", result("{'mu':'http://b.example/", titled("B")) + good,
         {"http://www.a.example/|好"}},
        {"NUL bytes", std::string("<p>\0\0</p>", 9) + good, {"http://www.a.example/|好"}},
        {"a 100 KB title", result(a, titled(longTitle)),
         {"http://www.a.example/|题 a 标题 a 标题 a 标题 a 结尾"}},
        {"100,000 levels of nesting", good + nested + result(a, titled("深")),
         {"http://www.a.example/|好"}},
        {"end tags that match nothing, deep down", good + deep + unmatchedEnds,
         {"http://www.a.example/|好"}},
        {"a million body tags, deep down", good + deep + bodies, {"http://www.a.example/|好"}},
        {"10 MB on one line", tenMegabytes + good, {"http://www.a.example/|好"}},
        {"invalid UTF-8 throughout", "\xC0\xAF\xE0\x80\x80\xED\xA0\x80\xF8\x88\x80\x80\x80" + good,
         {"http://www.a.example/|好"}},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(page(c.html)), c.rows);
    }
}

TEST(CurrentMarkupTest, ReadsAtMostOneHundredThousandResultsOfAPage) {
    std::string many;
    for (std::size_t i = 0; i <= kMaxMarkupResults; ++i)
        many += result("{mu:'http://a" + std::to_string(i % 7) + ".example/'}", "");
    bool cut = false;
    EXPECT_EQ(readCurrentMarkup(page(many), &cut).size(), kMaxMarkupResults);
    EXPECT_TRUE(cut);
    EXPECT_EQ(readCurrentMarkup(page(result(mu("http://a.example/"), "")), &cut).size(), 1u);
    EXPECT_FALSE(cut);
}

TEST(VerificationPageTest, ToldByItsMarkersOnly) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"<html><head><title>百度安全验证</title></head></html>", true},
        {"<TITLE>百度安全验证</Title>", true},
        {"<script src=\"https://wappass.baidu.com/static/captcha/tuxing.js\"></script>", true},
        {"{\"u\":\"https:\\/\\/WAPPASS.baidu.com\\/static\\/captcha\\/tuxing.html\"}", true},
        {"<title>北京公司_百度搜索</title>", false},
        {"<p>百度安全验证</p>", false},
        {"<a href=\"https://wappass.baidu.com/passport/login\">登录</a>", false},
        {"网络不给力，请稍后重试", false},
        {"", false},
    };
    for (const auto& [body, blocked] : cases)
        EXPECT_EQ(isVerificationPage(body), blocked) << body;
}

}  // namespace
}  // namespace sh::harvest
