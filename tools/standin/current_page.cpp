#include "standin/current_page.h"

#include <algorithm>
#include <cctype>

#include "standin/search_page.h"

namespace sh::standin {

namespace {

std::string upperAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Runs of white space as one space, trimmed: what the program makes of a title's text.
// U+00A0 (&#160;) counts as white space too.
std::string foldSpaces(std::string_view text) {
    std::string out;
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool isSpace = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' ||
                             c == '\v';
        const bool isNbsp = c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0';
        if (isSpace || isNbsp) {
            space = true;
            i += isNbsp ? 1 : 0;
            continue;
        }
        if (space && !out.empty())
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// JSON writes '/' as "\/" and '"' as "\"", as the service's pages do.
std::string jsonEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '/' || c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

// The address in a result's "mu": scheme, port and letter case depend on the host's
// number only, so a site that comes again on the next page is the same site there.
struct Address {
    std::string mu;
    std::string site;
};

Address addressFor(int number, int p, int k) {
    const bool secure = number % 3 == 1;
    std::string scheme = secure ? "https" : "http";
    std::string host = hostFor(number);
    std::string port;
    std::string sitePort;
    if (number % 5 == 2) {
        port = secure ? ":8443" : ":8080";
        sitePort = port;
    } else if (number % 5 == 4) {
        port = secure ? ":443" : ":80";  // the scheme's default: not listed
    }
    const std::string site = scheme + "://" + host + sitePort + "/";
    if (number % 7 == 3) {
        scheme = upperAscii(scheme);
        host = upperAscii(host);
    }
    const std::string path = "/p" + std::to_string(p) + "/r" + std::to_string(k) +
                             ".html?from=standin&order=" + std::to_string(k + 1);
    return {scheme + "://" + host + port + path, site};
}

struct Title {
    std::string html;
    std::string text;
};

// kwHtml is the keyword as written into markup, kw as the program reads it back.
Title titleFor(const std::string& kwHtml, const std::string& kw, int p, int k) {
    const std::string tag = " [" + std::to_string(p) + "." + std::to_string(k) + "]";
    switch (k) {
        case 0:
            return {"<em>" + kwHtml + "</em>_官方网站" + tag, kw + "_官方网站" + tag};
        case 1:
            return {kwHtml + "价格&amp;报价 - 本地商城" + tag, kw + "价格&报价 - 本地商城" + tag};
        case 2:
            return {"Example&#160;Shop\n   Online" + tag, "Example Shop Online" + tag};
        case 3:
            return {"&lt;EM&gt;" + kwHtml + "&lt;/EM&gt; 哪家好？" + tag,
                    "<EM>" + kw + "</EM> 哪家好？" + tag};
        case 4:
            return {"&quot;" + kwHtml + "&quot;的问答 &#x4E2D;&#25991;" + tag,
                    "\"" + kw + "\"的问答 中文" + tag};
        case 5:
            return {"A&amp;B 网络科技有限公司" + tag, "A&B 网络科技有限公司" + tag};
        case 6:
            return {"网站建设 | <b>" + kwHtml + "</b> | 第" + std::to_string(p) + "页" + tag,
                    "网站建设 | " + kw + " | 第" + std::to_string(p) + "页" + tag};
        case 7:
            return {"  \n" + kwHtml + "\t\t ", kw};
        // Twenty double-byte characters and one letter: 41 bytes in GBK, so a cut to the
        // last 30 bytes falls inside a character.
        case 8:
            return {"专业网站建设网站优化网站推广全站服务平台A", "专业网站建设网站优化网站推广全站服务平台A"};
        default:
            return {"<span>" + kwHtml + "</span><span> </span><em>" + kwHtml + "</em>" + tag,
                    kw + " " + kw + tag};
    }
}

// The title element of result k: c-title-text inside c-title (the inner one wins), or
// only cu-title, only c-title, or only an h3.
std::string titleElement(int k, const std::string& html) {
    switch (k) {
        case 1:
            return "<div class=\"cu-title c-line-clamp2\">" + html + "</div>";
        case 2:
            return "<h3 class=\"c-title c-gap-top-small\">" + html + "</h3>";
        case 3:
            return "<h3>" + html + "</h3>";
        default:
            return "<h3 class=\"c-title c-gap-top-small\"><span class=\"c-title-text\">" + html +
                   "</span></h3>";
    }
}

std::string dataLog(int p, int k, const CurrentResult& result) {
    const std::string order = std::to_string(k + 1);
    if (p % 2 == 0) {
        // The older form: single quotes, not JSON.
        std::string log = "{'fm':'alop','order':'" + order + "'";
        if (result.hasAddress)
            log += ",'mu':'" + result.address + "'";
        return escapeHtml(log + ",'srcid':'1599'}");
    }
    std::string log = "{\"ensrcid\":\"www_normal\",\"order\":" + order +
                      ",\"extra\":{\"mu\":\"http:\\/\\/nested.decoy.example\\/\"}";
    if (result.hasAddress)
        log += ",\"mu\":\"" + jsonEscaped(result.address) + "\"";
    return escapeHtml(log + "}");
}

void appendScript(std::string& page, std::string_view kwHtml, std::size_t bytes) {
    page += "<script>var pageConf={\"word\":\"" + std::string(kwHtml) + "\",\"items\":[";
    const std::size_t end = page.size() + bytes;
    for (int i = 0; page.size() < end; ++i) {
        page += "{\"id\":" + std::to_string(i) +
                ",\"text\":\"推荐内容 related item <b>" + std::to_string(i) +
                "</b> &amp; more\",\"link\":\"\\/s?word=x" + std::to_string(i) + "&pn=10\"},";
    }
    // Markup inside a script is text, not a result.
    page += "{\"tpl\":\"<div class=\\\"c-result result\\\" data-log=\\\"{'mu':"
            "'http:\\/\\/in-script.decoy.example\\/'}\\\"><h3>decoy</h3></div>\"}]};</script>";
}

}  // namespace

std::vector<CurrentResult> currentResultsFor(std::string_view keyword, int pn) {
    const int p = std::max(0, pn / 10);
    const std::string kwHtml = escapeHtml(keyword);
    const std::string kw(keyword);
    std::vector<CurrentResult> results;
    results.reserve(kResultsPerPage);
    for (int k = 0; k < kResultsPerPage; ++k) {
        CurrentResult result;
        const Address address = addressFor(7 * p + k, p, k);
        result.address = address.mu;
        result.site = address.site;
        if (p % 3 == 0 && k == 9) {
            // The fifth result's site again, through another page of it.
            result.address = results[4].address + "&again=1";
            result.site = results[4].site;
        } else if (p % 2 == 0 && k == 6) {
            result.address = "http://nourl.ubs.baidu.com/" + std::to_string(40000 + pn);
            result.site.clear();
        } else if (p % 3 == 1 && k == 8) {
            result.address = "https://a" + std::to_string(p) + ".recommend_list.baidu.com/card";
            result.site.clear();
        } else if (p % 3 == 2 && k == 8) {
            result.address = "http://x" + std::to_string(p) + ".sigma.baidu.com/card?id=1";
            result.site.clear();
        } else if (p % 4 == 1 && k == 5) {
            result.hasAddress = false;
            result.address.clear();
            result.site.clear();
        } else if (p % 4 == 3 && k == 7) {
            result.address = "/sf?pd=realtime&word=x";  // not an absolute address
            result.site.clear();
        }
        const Title title = titleFor(kwHtml, kw, p, k);
        result.titleHtml = title.html;
        result.titleText = foldSpaces(title.text);
        if (p % 4 == 3 && k == 5) {
            result.hasTitle = false;
            result.titleHtml.clear();
            result.titleText.clear();
        }
        results.push_back(std::move(result));
    }
    return results;
}

std::string currentSearchPage(std::string_view keyword, int pn, std::size_t scriptBytes) {
    const int p = std::max(0, pn / 10);
    const std::string kwHtml = escapeHtml(keyword);
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
        "content=\"width=device-width,minimum-scale=1.0,maximum-scale=1.0,user-scalable=no\">"
        "<title>" +
        kwHtml + " - 本地搜索替身</title>";
    appendScript(page, kwHtml, scriptBytes);
    page += "</head><body><div id=\"page\"><header><form action=\"/s\"><input name=\"word\" "
            "value=\"" +
            kwHtml + "\"></form></header><div id=\"results\" class=\"results\">";
    // Looks like a result to a careless reader: one class of the two, or a class that
    // only begins like one.
    page += "<div class=\"c-result-content\" data-log=\"{'mu':'http://content.decoy.example/'}"
            "\"><h3 class=\"c-title\">不是结果</h3></div>";
    const auto results = currentResultsFor(keyword, pn);
    for (std::size_t k = 0; k < results.size(); ++k) {
        const CurrentResult& r = results[k];
        const int order = static_cast<int>(k) + 1;
        page += "<div class=\"c-result result\" srcid=\"1599\" new_srcid=\"1599\" order=\"" +
                std::to_string(order) + "\" tpl=\"www_normal\" data-log=\"" +
                dataLog(p, static_cast<int>(k), r) +
                "\"><div class=\"c-result-content\"><article class=\"c-container\">";
        if (r.hasTitle)
            page += titleElement(static_cast<int>(k), r.titleHtml);
        page += "<div class=\"c-abstract\"><em>" + kwHtml + "</em>的相关介绍：第" +
                std::to_string(p) + "页第" + std::to_string(order) +
                "条结果，只供本地测试。</div><div class=\"c-gap-top-small\">"
                "<span class=\"c-color-gray\">" +
                escapeHtml(r.address) + "</span>";
        if (k == 0)  // a later c-title-text: the first one in the result is the title
            page += "<span class=\"c-title-text\">相关推荐</span>";
        page += "</div></article></div></div>";
    }
    page += "<div class=\"result\" data-log=\"{'mu':'http://only-result.decoy.example/'}\">"
            "<h3>只有一个类</h3></div>";
    page += "<div class=\"c-result\" data-log=\"{'mu':'http://only-c-result.decoy.example/'}\">"
            "<h3>只有另一个类</h3></div>";
    page += "</div><div id=\"page-controller\"><a href=\"/s?pn=" + std::to_string((p + 1) * 10) +
            "\">下一页&gt;</a></div></div>";
    appendScript(page, kwHtml, scriptBytes / 4);
    page += "</body></html>";
    return page;
}

std::string verificationLocation(std::string_view blockedTarget) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string backurl;
    for (const unsigned char c : std::string("http://m.baidu.com") + std::string(blockedTarget)) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            backurl += static_cast<char>(c);
        } else {
            backurl += '%';
            backurl += kHex[c >> 4];
            backurl += kHex[c & 15];
        }
    }
    return std::string(kVerificationPath) + "?&ak=c27bbc89afca0463650ac9bde68ebe06&backurl=" +
           backurl +
           "&logid=8349601238762937415&signature=3e4f7b9a1d0c2e5f6a8b9c0d1e2f3a4b"
           "&timestamp=1418000000";
}

std::string verificationPage() {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
           "content=\"width=device-width,initial-scale=1.0,minimum-scale=1.0,maximum-scale=1.0,"
           "user-scalable=no\"><title>百度安全验证</title>"
           "<link rel=\"stylesheet\" "
           "href=\"https://wappass.baidu.com/static/machine/css/api/mkd.css\">"
           "<script src=\"https://wappass.baidu.com/static/machine/js/api/mkd.js\"></script>"
           "<script src=\"https://wappass.baidu.com/static/touch/js/mkdjump_0c6a8f1.js\">"
           "</script></head><body>"
           "<div class=\"timeout hide-callback\"><div class=\"timeout-img\"></div>"
           "<div class=\"timeout-title\">网络不给力，请稍后重试</div>"
           "<button type=\"button\" class=\"timeout-button\">返回首页</button></div>"
           "<div class=\"timeout-feedback hide-callback\"><div class=\"timeout-feedback-icon\">"
           "</div><p class=\"timeout-feedback-title\">问题反馈</p></div>"
           "<script>var bdSafeVerify={\"ak\":\"c27bbc89afca0463650ac9bde68ebe06\","
           "\"captchaUrl\":\"https:\\/\\/wappass.baidu.com\\/static\\/captcha\\/tuxing.html\","
           "\"type\":\"spin\",\"backurl\":\"\"};"
           "(function(){var s=document.createElement('script');"
           "s.src='https://wappass.baidu.com/static/machine/js/api/mkd.js';"
           "document.head.appendChild(s);})();</script></body></html>";
}

}  // namespace sh::standin
