#include "standin/search_page.h"

#include <algorithm>
#include <cctype>

namespace sh::standin {

std::string hostFor(int number) {
    if (number % 2 == 0)
        return "www.shop" + std::to_string(number) + ".example";
    return "m.site" + std::to_string(number) + ".test";
}

namespace {

std::string upperAscii(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lower) {
    return std::equal(text.begin(), text.end(), lower.begin(), lower.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// Removes every occurrence of `lower` (ASCII, lower case), ignoring letter case, in one
// left-to-right pass.
std::string removeAll(std::string_view text, std::string_view lower) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (equalsIgnoringCase(text.substr(i, lower.size()), lower)) {
            i += lower.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

// First all "<em>", then all "</em>", as the program cleans a title.
std::string removeEmTags(std::string_view html) {
    return removeAll(removeAll(html, "<em>"), "</em>");
}

// Title of result k on page p; kw is already escaped.
std::string titleFor(const std::string& kw, int p, int k) {
    const std::string tag = " [" + std::to_string(p) + "." + std::to_string(k) + "]";
    switch (k) {
        case 0:
            return "<em>" + kw + "</em>_官方网站" + tag;
        case 1:
            return kw + "价格_" + kw + "报价大全 - 本地商城" + tag;
        case 2:
            return "Example Shop Online" + tag;
        case 3:
            return "<EM>" + kw + "</EM>哪家好？北京上海深圳全国服务热线" + tag;
        case 4:
            return "关于<em>" + kw + "</em>的问答" + tag;
        case 5:
            return "A&amp;B 网络科技有限公司" + tag;
        case 6:
            return "网站建设 | <Em>" + kw + "</eM> | 第" + std::to_string(p) + "页" + tag;
        case 7:
            return kw + tag;
        // Twenty double-byte characters and one letter: 41 bytes in GBK, so a cut to the
        // last 30 bytes falls inside a character.
        case 8:
            return "专业网站建设网站优化网站推广全站服务平台A";
        default:
            return p % 2 == 0 ? std::string()
                              : "<em>" + kw + "</em>" + kw + "<em>" + kw + "</em>" + tag;
    }
}

}  // namespace

std::string escapeHtml(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\r':
            case '\n':
                out += ' ';
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::vector<StandinResult> resultsFor(std::string_view keyword, int pn) {
    const int p = std::max(0, pn / 10);
    const std::string kw = escapeHtml(keyword);
    std::vector<StandinResult> results;
    results.reserve(kResultsPerPage);
    for (int k = 0; k < kResultsPerPage; ++k) {
        StandinResult result;
        result.site = hostFor(7 * p + k);
        if (p % 3 == 0 && k == 9)
            result.site = results[4].site;
        if (p % 4 == 2 && k == 5)
            result.site.clear();
        if (p % 5 == 1 && k == 6)
            result.site = upperAscii(results[0].site);
        result.titleHtml = titleFor(kw, p, k);
        result.titleUtf8 = removeEmTags(result.titleHtml);
        results.push_back(std::move(result));
    }
    return results;
}

std::string searchPage(std::string_view keyword, int pn) {
    const int p = std::max(0, pn / 10);
    const std::string kw = escapeHtml(keyword);
    std::string page;
    page += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<title>" + kw + " - 本地搜索替身</title>\n</head>\n<body>\n";
    page += "<div class=\"header\"><form action=\"s\"><input name=\"word\" value=\"" + kw +
            "\"></form></div>\n";
    page += "<div class=\"results\">\n";
    const auto results = resultsFor(keyword, pn);
    const int firstRank = std::max(0, pn - 10) + 1;
    for (std::size_t k = 0; k < results.size(); ++k) {
        const auto& r = results[k];
        const std::string rank = std::to_string(firstRank + static_cast<int>(k));
        page += "<div class=\"result\" data-rank=\"" + rank +
                "\"><a class=\"title\" href=\"http://" + r.site + "/\"><span class=\"num\">" +
                rank + "</span>&#160;" + r.titleHtml + "</a><div class=\"abs\"><em>" + kw +
                "</em>的相关介绍：第" + std::to_string(p) + "页第" + std::to_string(k + 1) +
                "条结果，只供本地测试。<br /><span class=\"site\">" + r.site +
                "</span> <span class=\"date\">2014-09-11</span></div></div>\n";
    }
    page += "</div>\n";
    // A line with '>', "&#160;" and "</a>" but no abstract: must not count as a result.
    page += "<div class=\"pager\">第" + std::to_string(p) +
            "页&#160;<a href=\"?pn=" + std::to_string((p + 1) * 10) + "\">下一页</a></div>\n";
    page += "<div class=\"footer\">SiteHarvest 本地替身，只供测试与演示</div>\n</body>\n</html>\n";
    return page;
}

}  // namespace sh::standin
