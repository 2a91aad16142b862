#include <benchmark/benchmark.h>

#include <string>

#include "text/codepage.h"

namespace {

using sh::text::Text;

// About 1 MB of a result page: markup and ASCII mixed with Chinese text, in UTF-8.
const Text& utf8Page() {
    static const Text page = [] {
        const std::string block =
            "<div class=\"result c-container\" data-log=\"{'order':3}\">\n"
            "  <h3 class=\"title\"><a "
            "href=\"/link?url=abc123\">北京公司网站建设与推广优化</a></h3>\n"
            "  <p class=\"abstract\">专业的网站设计制作，提供关键词排名、搜索引擎优化服务。"
            "联系电话 010-12345678</p>\n"
            "  <span class=\"source\">网站地址 2024-06-01</span>\n"
            "</div>\n";
        std::string page;
        while (page.size() < (1u << 20)) page += block;
        return Text(std::move(page));
    }();
    return page;
}

const Text& gbkPage() {
    static const Text page = sh::text::utf8ToGbk(utf8Page());
    return page;
}

void BM_utf8ToGbk(benchmark::State& state) {
    const Text& page = utf8Page();
    for (auto _ : state) benchmark::DoNotOptimize(sh::text::utf8ToGbk(page));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_utf8ToGbk);

void BM_gbkToUtf8(benchmark::State& state) {
    const Text& page = gbkPage();
    for (auto _ : state) benchmark::DoNotOptimize(sh::text::gbkToUtf8(page));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_gbkToUtf8);

void BM_toSimplifiedChinese(benchmark::State& state) {
    const Text& page = gbkPage();
    for (auto _ : state) benchmark::DoNotOptimize(sh::text::toSimplifiedChinese(page));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_toSimplifiedChinese);

}  // namespace
