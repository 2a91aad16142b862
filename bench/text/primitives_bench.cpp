#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "text/primitives.h"

namespace {

using namespace sh::text;

// About 1 MB of GBK text in the shape of a decoded result page: runs of Chinese
// characters, ASCII words and markup, commas and CR LF line ends. The needles sit at
// the very end, so every search walks the whole text.
const Text& mixedText() {
    static const Text text = [] {
        std::mt19937 rng(7);
        std::string s;
        s.reserve(1 << 20);
        static const char* const words[] = {"http://", "www.",  "example", ".com",
                                            "<em>",    "</em>", "title",   "class=\"c-result\"",
                                            " ",       ","};
        while (s.size() < (1 << 20) - 64) {
            switch (rng() % 4) {
                case 0:
                case 1:
                    for (unsigned n = 2 + rng() % 12; n > 0; --n) {
                        s += static_cast<char>(0xB0 + rng() % 0x48);  // B0..F7
                        s += static_cast<char>(0xA1 + rng() % 0x5E);  // A1..FE
                    }
                    break;
                case 2:
                    s += words[rng() % (sizeof words / sizeof *words)];
                    break;
                default:
                    s += (rng() % 3 == 0) ? "\r\n" : ",";
                    break;
            }
        }
        s += "needle\xD5\xE6\xBC\xD9";
        return Text(std::move(s));
    }();
    return text;
}

void setThroughput(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(mixedText().size()));
}

void BM_FindTextAscii(benchmark::State& state) {
    const Text& text = mixedText();
    const Text sub("needle");
    for (auto _ : state) benchmark::DoNotOptimize(findText(text, sub));
    setThroughput(state);
}
BENCHMARK(BM_FindTextAscii);

void BM_FindTextChinese(benchmark::State& state) {
    const Text& text = mixedText();
    const Text sub("\xD5\xE6\xBC\xD9");  // 真假
    for (auto _ : state) benchmark::DoNotOptimize(findText(text, sub));
    setThroughput(state);
}
BENCHMARK(BM_FindTextChinese);

void BM_FindTextIgnoreCase(benchmark::State& state) {
    const Text& text = mixedText();
    const Text sub("NEEDLE");
    for (auto _ : state) benchmark::DoNotOptimize(findText(text, sub, {}, true));
    setThroughput(state);
}
BENCHMARK(BM_FindTextIgnoreCase);

void BM_SplitTextComma(benchmark::State& state) {
    const Text& text = mixedText();
    for (auto _ : state) benchmark::DoNotOptimize(splitText(text));
    setThroughput(state);
}
BENCHMARK(BM_SplitTextComma);

void BM_SplitTextLines(benchmark::State& state) {
    const Text& text = mixedText();
    const Text crlf("\r\n");
    for (auto _ : state) benchmark::DoNotOptimize(splitText(text, crlf));
    setThroughput(state);
}
BENCHMARK(BM_SplitTextLines);

}  // namespace
