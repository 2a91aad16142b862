// Sequential webRequest GETs of a 120 KB page from a loopback server, each with its own
// worker thread and connection, against a bare-socket client fetching the same page: the
// difference is what webRequest adds per request.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "web/web_request.h"

namespace {

constexpr std::size_t kPageBytes = 120 * 1024;

class PageServer {
public:
    PageServer() : m_page(kPageBytes, 'p') {
        m_server.Get("/page", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_page, "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PageServer() {
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    std::string m_page;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
};

PageServer& server() {
    static PageServer instance;
    return instance;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_WebRequestGet(benchmark::State& state) {
    const sh::text::Text address(
        ("http://127.0.0.1:" + std::to_string(server().port()) + "/page").c_str());
    for (auto _ : state) {
        const sh::text::Bytes body = sh::web::webRequest(address);
        if (body.size() != kPageBytes)
            state.SkipWithError("short body");
        benchmark::DoNotOptimize(body.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPageBytes));
    state.counters["peak_MiB"] = peakMemoryMiB();
}
BENCHMARK(BM_WebRequestGet)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same request over a plain blocking socket on this thread: the server's share.
void BM_BareSocketGet(benchmark::State& state) {
    const std::string request =
        "GET /page HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(server().port()));
    std::string response;
    char buffer[16384];
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            state.SkipWithError("connect");
            ::close(fd);
            break;
        }
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        response.clear();
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            response.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
        if (response.size() < kPageBytes)
            state.SkipWithError("short body");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareSocketGet)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
