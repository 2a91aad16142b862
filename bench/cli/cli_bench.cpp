// A whole search command, 50 pages of one keyword, fetched from the loopback stand-in:
// requests, extraction and formatting, as `siteharvest-cli search KEYWORD` does them.
// Reports the wall time of a run and the process's peak resident memory.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <sstream>

#include "cli/command_line.h"
#include "standin/standin_server.h"
#include "text/program_directory.h"

namespace {

void runSearch(benchmark::State& state, const char* format) {
    sh::standin::StandinServer server;
    if (!server.start()) {
        state.SkipWithError("the stand-in could not start");
        return;
    }
    setenv("SITEHARVEST_SEARCH_HOST", server.hostPort().c_str(), 1);
    const std::vector<std::string> args = {"search",    "-p", "50",   "-x",
                                           "/dev/null", "-f", format, "北京公司"};
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::ostringstream out, err;
        if (sh::cli::runCommandLine(args, out, err, false) != 0) {
            state.SkipWithError(err.str().c_str());
            break;
        }
        bytes += out.str().size();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["pages_per_s"] = benchmark::Counter(
        50.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["output_bytes"] =
        static_cast<double>(bytes) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    unsetenv("SITEHARVEST_SEARCH_HOST");
}

void BM_Search50Pages_Urls(benchmark::State& state) {
    runSearch(state, "urls");
}
void BM_Search50Pages_Json(benchmark::State& state) {
    runSearch(state, "json");
}

BENCHMARK(BM_Search50Pages_Urls)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Search50Pages_Json)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
