// Result extraction over whole pages, as the harvest run does it: UTF-8 page -> GBK,
// then the result pattern, titles, addresses and rows (lines_given_up counts the lines
// the matcher gave up as too costly); and the reader of the service's current markup
// over a page of 1.5 MB on one line, mostly script.

#include <benchmark/benchmark.h>

#include <string>

#include "harvest/current_markup.h"
#include "harvest/harvest_run.h"
#include "harvest/result_extraction.h"
#include "text/codepage.h"

namespace {

using sh::harvest::ExclusionList;
using sh::harvest::PatternMatcher;
using sh::harvest::ResultList;
using sh::harvest::SeenSet;
using sh::text::Text;

// About 120 KB in the shape of a mobile result page: head with style and a long inline
// script line, ten results with Chinese abstracts, scattered '>' and "&#160;" elsewhere.
std::string realisticPage() {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>网站建设_百度搜索</title>\n"
        "<style>\n";
    for (int i = 0; i < 400; ++i)
        page += ".c-rule" + std::to_string(i) + ">span{margin:0 " + std::to_string(i % 9) +
                "px;color:#333;font-size:14px}\n";
    page += "</style>\n<script>var conf={";
    for (int i = 0; i < 900; ++i)
        page += "\"k" + std::to_string(i) + "\":\"v>" + std::to_string(i * 7) + "&#160;\",";
    page += "};</script>\n</head><body>\n<div id=\"results\">\n";
    for (int r = 1; r <= 10; ++r) {
        page += "<div class=\"c-result\" data-log=\"{'order':" + std::to_string(r) + "}\">\n";
        page += "<div class=\"c-container\"><a href=\"https://m.baidu.com/from=844b/link?url=";
        for (int k = 0; k < 40; ++k) page += "Ab9Xq";
        page += "\"><span class=\"c-num\">" + std::to_string(r) +
                "</span>&#160;北京<em>网站建设</em>公司第" + std::to_string(r) +
                "家官方网站</a><div class=\"abs\">";
        for (int k = 0; k < 60; ++k) page += "专业提供网站建设、网页设计与推广服务，";
        page += "<br /><span class=\"site\">www.site" + std::to_string(r) +
                ".example</span></div></div>\n";
        for (int k = 0; k < 40; ++k)
            page += "<div class=\"c-row\"><span class=\"c-gap\">相关&#160;推荐&#160;" +
                    std::to_string(k) + "</span><a href=\"/s?word=x" + std::to_string(k) +
                    "\">更多&gt;</a></div>\n";
        page += "</div>\n";
    }
    page +=
        "</div>\n<div id=\"page-controller\"><a href=\"/s?pn=10\">下一页&gt;</a></div>\n"
        "</body></html>\n";
    return page;
}

// One 1 MB line that makes the lazy groups backtrack without ever completing a match.
std::string adversarialPage(int variant) {
    const char* unit =
        variant == 0   ? ">x&#160;y</a><div class=\"abs\">z<br /><span class=\"site\">w"
        : variant == 1 ? ">&#160;>&#160;</a><div class=\"abs\">>&#160;<br /><span class=\"site\">"
                       : ">&#160;";
    std::string page;
    while (page.size() < (1u << 20)) page += unit;
    return page;
}

// A page in the service's current markup as it comes today: one line of about 1.5 MB,
// most of it inline script (data of the page's own widgets, JSON with its slashes
// escaped, as a server's JSON encoder writes it), ten results with JSON data-log
// attributes written with &quot;, titles with <em> and entities, and cards around them.
std::string currentMarkupPage() {
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>网站建设_百度搜索</title>"
        "<style>";
    for (int i = 0; i < 300; ++i)
        page += ".c-rule" + std::to_string(i) + ">span{margin:0 " + std::to_string(i % 9) +
                "px;color:#333}";
    page += "</style><script>window.__data={\"list\":[";
    for (int i = 0; page.size() < 1'150'000; ++i)
        page += "{\"id\":" + std::to_string(i) +
                ",\"t\":\"相关推荐<b>网站建设<\\/b>公司 &amp; 报价\",\"u\":\"\\/s?word=x" +
                std::to_string(i) + "&pn=10\",\"html\":\"<div class=\\\"c-row\\\">" +
                std::to_string(i * 7) + "<\\/div>\"},";
    page += "{}]};</script></head><body><div id=\"page\"><div id=\"results\">";
    for (int r = 1; r <= 10; ++r) {
        page += "<div class=\"c-result result\" srcid=\"1599\" new_srcid=\"1599\" order=\"" +
                std::to_string(r) +
                "\" tpl=\"www_normal\" data-log=\"{&quot;ensrcid&quot;:&quot;www_normal&quot;,"
                "&quot;order&quot;:" +
                std::to_string(r) +
                ",&quot;mu&quot;:&quot;https:\\/\\/www.site" + std::to_string(r) +
                ".example\\/about\\/index.html?from=bench&quot;}\"><div class=\"c-result-content\">"
                "<article><h3 class=\"c-title c-gap-top-small\"><span class=\"c-title-text\">北京"
                "<em>网站建设</em>公司第" +
                std::to_string(r) + "家 &amp; 官方网站</span></h3><div class=\"c-abstract\">";
        for (int k = 0; k < 40; ++k) page += "专业提供<em>网站建设</em>、网页设计与推广服务，";
        page += "</div></article></div></div>";
        for (int k = 0; k < 30; ++k)
            page += "<div class=\"c-row c-gap-top\"><span class=\"c-color-gray\">相关&nbsp;推荐" +
                    std::to_string(k) + "</span><a href=\"/s?word=x" + std::to_string(k) +
                    "\">更多&gt;</a></div>";
    }
    page += "</div></div><script>var tail=\"";
    while (page.size() < 1'500'000) page += "abcdefghij中文字符0123456789";
    page += "\";</script></body></html>";
    return page;
}

// About 10 MB: lines of 65 KB that each run the matcher into its effort limit (1,000 ×
// the same broken result), each followed by a line with a valid result of its own.
std::string hostileLinesPage(int& results) {
    std::string hostileLine;
    for (int i = 0; i < 1000; ++i)
        hostileLine += "<i>a&#160;b</a><div class=\"abs\">c<br /><span class=\"site\">d</spa>";
    std::string page;
    results = 0;
    while (page.size() < 10u << 20) {
        page += hostileLine + "\n<a>" + std::to_string(results) +
                "&#160;t</a><div class=\"abs\">x<br /><span class=\"site\">s" +
                std::to_string(results) + ".example</span>\n";
        ++results;
    }
    return page;
}

void run(benchmark::State& state, const std::string& utf8Page, int expectedRows) {
    PatternMatcher matcher;
    ResultList list;
    const ExclusionList exclusions = {"spam", "ads.example"};
    for (auto _ : state) {
        SeenSet seen;
        list.deleteAllRows();
        const Text page = sh::text::utf8ToGbk(Text(utf8Page));
        sh::harvest::extractResults(page, matcher, seen, exclusions, list);
        benchmark::DoNotOptimize(list.rowCount());
    }
    if (list.rowCount() != expectedRows)
        state.SkipWithError("unexpected number of rows");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(utf8Page.size()));
    state.counters["page_bytes"] = static_cast<double>(utf8Page.size());
    state.counters["lines_given_up"] = matcher.linesGivenUp();
}

void BM_ExtractRealisticPage(benchmark::State& state) {
    static const std::string page = realisticPage();
    run(state, page, 10);
}
BENCHMARK(BM_ExtractRealisticPage)->Unit(benchmark::kMicrosecond);

// The two halves of the above, to see where the time goes.
void BM_DecodeRealisticPage(benchmark::State& state) {
    static const std::string page = realisticPage();
    for (auto _ : state) benchmark::DoNotOptimize(sh::text::utf8ToGbk(Text(page)));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_DecodeRealisticPage)->Unit(benchmark::kMicrosecond);

void BM_MatchRealisticGbkPage(benchmark::State& state) {
    static const std::string utf8Page = realisticPage();
    const Text page = sh::text::utf8ToGbk(Text(utf8Page));
    PatternMatcher matcher;
    ResultList list;
    for (auto _ : state) {
        SeenSet seen;
        list.deleteAllRows();
        sh::harvest::extractResults(page, matcher, seen, {}, list);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(utf8Page.size()));
}
BENCHMARK(BM_MatchRealisticGbkPage)->Unit(benchmark::kMicrosecond);

void BM_ExtractAdversarialLine(benchmark::State& state) {
    const std::string page = adversarialPage(static_cast<int>(state.range(0)));
    run(state, page, 0);
}
BENCHMARK(BM_ExtractAdversarialLine)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The reader of the current markup alone: UTF-8 check, the HTML parse with its decoding,
// the data-log addresses and the titles converted to GBK.
void BM_ReadCurrentMarkup(benchmark::State& state) {
    static const std::string page = currentMarkupPage();
    std::size_t results = 0;
    for (auto _ : state) {
        const auto read = sh::harvest::readCurrentMarkup(page);
        results = read.size();
        benchmark::DoNotOptimize(read.data());
    }
    if (results != 10)
        state.SkipWithError("unexpected number of results");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
    state.counters["page_bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_ReadCurrentMarkup)->Unit(benchmark::kMillisecond);

// A whole page in the current markup as the harvest run reads it: decoded to GBK, the
// result pattern finds nothing, then the current-markup reader lists its rows.
void BM_ReadCurrentMarkupPage(benchmark::State& state) {
    static const Text page(currentMarkupPage());
    PatternMatcher matcher;
    ResultList list;
    int givenUp = 0;
    for (auto _ : state) {
        SeenSet seen;
        list.deleteAllRows();
        givenUp = sh::harvest::readResultPage(page, matcher, seen, {}, list).linesGivenUp;
    }
    if (list.rowCount() != 10)
        state.SkipWithError("unexpected number of rows");
    state.counters["lines_given_up"] = givenUp;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_ReadCurrentMarkupPage)->Unit(benchmark::kMillisecond);

// Every hostile line costs the matcher its effort limit once, and only that line.
void BM_ExtractHostileLinesPage(benchmark::State& state) {
    int results = 0;
    const std::string page = hostileLinesPage(results);
    run(state, page, results);
}
BENCHMARK(BM_ExtractHostileLinesPage)->Unit(benchmark::kMillisecond);

}  // namespace
