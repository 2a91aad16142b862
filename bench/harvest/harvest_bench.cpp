// Result extraction over whole pages, as the harvest run does it: UTF-8 page -> GBK,
// then the result pattern, titles, addresses and rows.

#include <benchmark/benchmark.h>

#include <string>

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

}  // namespace
