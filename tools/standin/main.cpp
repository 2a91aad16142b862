// siteharvest-standin: the local stand-in for the search and suggestion services,
// for the offline demo. Runs until SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>

#include <pthread.h>

#include "standin/standin_server.h"

namespace {

constexpr int kDefaultPort = 8765;

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: siteharvest-standin [--port N] [--delay MS] [--markup described|current]\n"
                 "                           [--block-after N]\n"
                 "  --port N           listen on 127.0.0.1:N (default %d; 0 picks a free port)\n"
                 "  --delay MS         answer every request MS milliseconds late (default 0)\n"
                 "  --markup M         result pages in the markup the result pattern reads\n"
                 "                     (described, the default) or in the service's current\n"
                 "                     markup (current)\n"
                 "  --block-after N    answer the first N search requests, then every later one\n"
                 "                     as a blocked client is answered: a redirect to a\n"
                 "                     verification page\n",
                 kDefaultPort);
}

// A whole decimal number in [low, high], or -1.
long parseNumber(std::string_view text, long low, long high) {
    if (text.empty() || text.size() > 9)
        return -1;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high ? value : -1;
}

}  // namespace

int main(int argc, char** argv) {
    long port = kDefaultPort;
    long delay = 0;
    long blockAfter = -1;
    sh::standin::Markup markup = sh::standin::Markup::Described;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        }
        const bool known = arg == "--port" || arg == "--delay" || arg == "--block-after" ||
                           arg == "--markup";
        if (known && i + 1 < argc) {
            const std::string_view value = argv[++i];
            bool ok = true;
            if (arg == "--markup") {
                ok = value == "described" || value == "current";
                markup = value == "current" ? sh::standin::Markup::Current
                                            : sh::standin::Markup::Described;
            } else {
                long& target = arg == "--port" ? port : arg == "--delay" ? delay : blockAfter;
                target = parseNumber(value, 0, arg == "--port" ? 65535 : 3600000);
                ok = target >= 0;
            }
            if (ok)
                continue;
            std::fprintf(stderr, "siteharvest-standin: bad value for %s: %s\n", argv[i - 1],
                         argv[i]);
            return 2;
        }
        std::fprintf(stderr, "siteharvest-standin: unknown argument: %s\n", argv[i]);
        usage(stderr);
        return 2;
    }

    // Block the stop signals before any thread exists, so that every server thread
    // inherits the mask and only sigwait() below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sh::standin::StandinServer server;
    server.setDelay(std::chrono::milliseconds(delay));
    server.setMarkup(markup);
    if (blockAfter >= 0)
        server.setBlockAfter(static_cast<int>(blockAfter));
    std::mutex outputMutex;
    server.setObserver([&outputMutex](const sh::standin::StandinServer::Request& request) {
        std::lock_guard lock(outputMutex);
        std::printf("%s %s", sh::standin::kindName(request.kind), request.method.c_str());
        if (request.kind == sh::standin::ServiceKind::Search)
            std::printf(" pn=%d", request.pn);
        std::printf(" word=\"%s\" -> %d%s%s\n", request.wordDecoded.c_str(), request.status,
                    request.problem.empty() ? "" : " ", request.problem.c_str());
        std::fflush(stdout);
    });
    if (!server.start(static_cast<int>(port))) {
        std::fprintf(stderr, "siteharvest-standin: cannot listen on 127.0.0.1:%ld\n", port);
        return 1;
    }
    {
        std::lock_guard lock(outputMutex);
        std::printf("listening on %s\n", server.hostPort().c_str());
        std::printf(
            "point the window at it:\n"
            "  SITEHARVEST_SEARCH_HOST=%s SITEHARVEST_SUGGEST_HOST=%s build/bin/siteharvest\n",
            server.hostPort().c_str(), server.hostPort().c_str());
        std::printf("stop with Ctrl+C\n");
        std::fflush(stdout);
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    std::printf("stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}
