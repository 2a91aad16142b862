// A harvest through the real window (started as main() starts it), against the loopback
// stand-in: wall time of a 50-page run and what it costs per page beyond the stand-in's
// own time, peak memory, and how long the window thread goes without serving a 10 ms
// timer while a slow harvest runs. Prints figures; asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen build/bin/bench_harvest_window [runs]
//
// Per-page cost: the same 50 pages are also fetched by a minimal blocking client (one
// connection per page, as the program makes them, the reply read to its end and thrown
// away). That is the stand-in's own time plus the loopback; what the window run takes
// beyond it, divided by 50, is the program's cost per page: its worker thread, the
// nested wait, decoding, extraction and showing the rows. The command-line program's run
// over the same pages separates the window's share from the core's.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/main_window.h"
#include "bench/app/process_memory.h"
#include "app/startup.h"
#include "cli/command_line.h"
#include "harvest/harvest_run.h"
#include "standin/standin_server.h"
#include "text/codepage.h"
#include "text/program_directory.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPages = 50;
int g_runs = 7;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void printMemory(const char* when) {
    const auto memory = sh::bench::processMemory();
    std::printf(
        "peak memory %-26s window process %6.1f MiB (now %6.1f), WebEngine helpers "
        "%6.1f MiB\n",
        when, memory.peakMiB, memory.nowMiB, memory.helpersPeakMiB);
}

// One GET over a fresh connection, the reply read to its end; false on any failure.
bool fetch(int port, const std::string& target) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const std::string request = "GET " + target +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    ok = ok && ::send(fd, request.data(), request.size(), 0) == ssize_t(request.size());
    char buffer[65536];
    ssize_t n = 0;
    size_t total = 0;
    while (ok && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) total += size_t(n);
    ::close(fd);
    return ok && n == 0 && total > 0;
}

// Runs the event loop for `ms`, so that start-up work settles before measuring.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void measure(sh::app::MainWindow& window) {
    QTemporaryDir dir;
    sh::setProgramDirectory(dir.path().toStdString());  // no exclusion file
    sh::standin::StandinServer server;
    // When each search request reached the stand-in: where inside a run the time goes.
    std::mutex arrivalsMutex;
    std::vector<Clock::time_point> arrivals;
    server.setObserver([&](const sh::standin::StandinServer::Request& request) {
        if (request.kind != sh::standin::ServiceKind::Search)
            return;
        std::lock_guard lock(arrivalsMutex);
        arrivals.push_back(Clock::now());
    });
    if (!server.start()) {
        std::puts("the stand-in could not start");
        window.close();
        return;
    }
    const std::string host = server.hostPort();
    setenv("SITEHARVEST_SEARCH_HOST", host.c_str(), 1);
    setenv("SITEHARVEST_SUGGEST_HOST", host.c_str(), 1);
    settle(300);
    printMemory("before the first run:");

    // The addresses the run asks for, without "http://host".
    const std::string keyword = "北京公司";
    std::vector<std::string> targets;
    for (int page = 1; page <= kPages; ++page) {
        const std::string address =
            sh::harvest::searchAddress(sh::text::gbk(keyword), page).bytes();
        targets.push_back(address.substr(address.find('/', 7)));
    }

    std::vector<double> windowMs, rawMs, cliMs, firstRequestMs, betweenMs, afterLastMs;
    int rows = 0;
    window.编辑框3->setText(QString::number(kPages));
    for (int run = 0; run <= g_runs; ++run) {  // run 0 warms up and is not counted
        {
            std::lock_guard lock(arrivalsMutex);
            arrivals.clear();
        }
        auto start = Clock::now();
        window.按钮1->click();  // returns when the run has ended
        const double w = msSince(start);
        rows = window.resultList().rowCount();
        if (run > 0) {
            std::lock_guard lock(arrivalsMutex);
            auto ms = [](Clock::time_point a, Clock::time_point b) {
                return std::chrono::duration<double, std::milli>(b - a).count();
            };
            if (arrivals.size() == size_t(kPages)) {
                firstRequestMs.push_back(ms(start, arrivals.front()));
                for (int i = 1; i < kPages; ++i)
                    betweenMs.push_back(ms(arrivals[i - 1], arrivals[i]));
                afterLastMs.push_back(ms(arrivals.back(), start) + w);
            }
        }

        start = Clock::now();
        for (const std::string& target : targets)
            if (!fetch(server.port(), target))
                std::puts("a direct fetch failed");
        const double r = msSince(start);

        start = Clock::now();
        std::ostringstream out, err;
        sh::cli::runCommandLine(
            {"search", "-p", std::to_string(kPages), "-x", "/dev/null", keyword}, out, err, false);
        const double c = msSince(start);
        if (run == 0) {
            std::printf("first run (not counted): window %.1f ms\n", w);
            continue;
        }
        windowMs.push_back(w);
        rawMs.push_back(r);
        cliMs.push_back(c);
    }
    const double w = median(windowMs), r = median(rawMs), c = median(cliMs);
    std::printf("50-page harvest, median of %d runs (%d rows listed):\n", g_runs, rows);
    std::printf("  window run              %8.1f ms  (%.2f ms per page)\n", w, w / kPages);
    std::printf("  direct client, stand-in %8.1f ms  (%.2f ms per page)\n", r, r / kPages);
    std::printf("  command-line program    %8.1f ms  (%.2f ms per page)\n", c, c / kPages);
    std::printf("  window beyond stand-in  %8.2f ms per page  (target < 5)\n", (w - r) / kPages);
    std::printf("  window beyond core/CLI  %8.2f ms per page\n", (w - c) / kPages);
    if (!firstRequestMs.empty())
        std::printf(
            "  click to first request  %8.1f ms; between requests: median %.2f ms, "
            "longest %.2f ms; last request to end %.1f ms\n",
            median(firstRequestMs), median(betweenMs),
            *std::max_element(betweenMs.begin(), betweenMs.end()), median(afterLastMs));
    // The same run with painting switched off for the window: the share of the window's
    // cost that goes to redrawing the list and the button after every page.
    window.setUpdatesEnabled(false);
    std::vector<double> unpaintedMs;
    for (int run = 0; run < g_runs; ++run) {
        const auto start = Clock::now();
        window.按钮1->click();
        unpaintedMs.push_back(msSince(start));
    }
    window.setUpdatesEnabled(true);
    const double u = median(unpaintedMs);
    std::printf("  window run, no painting %8.1f ms  (%.2f ms per page beyond the stand-in)\n", u,
                (u - r) / kPages);
    printMemory("after the 50-page runs:");

    // Responsiveness: every page takes 200 ms at the stand-in; a 10 ms timer on the window
    // thread keeps ticking through the nested waits, and the longest gap between two ticks
    // is how long the window stopped answering.
    const int slowPages = 10;
    server.setDelay(std::chrono::milliseconds(200));
    window.编辑框3->setText(QString::number(slowPages));
    std::vector<double> gaps;
    auto last = Clock::now();
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        gaps.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    ticker.start(10);
    settle(50);
    gaps.clear();
    last = Clock::now();
    const auto start = Clock::now();
    window.按钮1->click();
    const double slowMs = msSince(start);
    ticker.stop();
    std::sort(gaps.begin(), gaps.end());
    std::printf("responsiveness, %d pages of 200 ms each (run %.0f ms, %zu ticks of 10 ms):\n",
                slowPages, slowMs, gaps.size());
    if (!gaps.empty())
        std::printf(
            "  longest gap between ticks %6.1f ms  (target < 30); 99th percentile %.1f ms, "
            "median %.1f ms\n",
            gaps.back(), gaps[gaps.size() * 99 / 100], gaps[gaps.size() / 2]);
    printMemory("at the end:");
    window.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::atoi(argv[1]) > 0)
        g_runs = std::atoi(argv[1]);
    return sh::app::runProgram(argc, argv, measure);
}
