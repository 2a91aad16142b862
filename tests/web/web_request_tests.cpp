// The request routine: the address rules, the time limit, waiting through the event
// pump, abandoned workers and the body conversions.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "test_print.h"
#include "test_servers.h"
#include "text/codepage.h"
#include "text/event_pump.h"
#include "web/web_request.h"

namespace sh::web {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using test::RawServer;

std::string str(const Bytes& bytes) {
    return bytes.bytes();
}

// Holds a server's answer back until opened (or 10 s passed).
class Gate {
public:
    void open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }
    void wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, 10s, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// A server that answers "late" only after its gate opens, and "ok" at once elsewhere.
class StallingServer {
public:
    StallingServer()
        : m_server([this](int socket, const std::string& request) {
              // An abandoned worker may hang up before its request line is complete.
              if (request.rfind("GET ", 0) != 0)
                  return;
              if (request.rfind("GET /stall", 0) == 0)
                  m_gate.wait();
              if (request.rfind("GET /slow", 0) == 0)
                  std::this_thread::sleep_for(300ms);
              RawServer::send(socket,
                              RawServer::response("HTTP/1.1 200 OK", "Set-Cookie: s=1; path=/\r\n",
                                                  request.substr(4, request.find(' ', 4) - 4)));
          }) {}
    ~StallingServer() { m_gate.open(); }
    Text url(const char* path) const { return Text(m_server.url(path)); }
    void release() { m_gate.open(); }
    std::size_t requestCount() { return m_server.requests().size(); }

private:
    Gate m_gate;
    RawServer m_server;
};

bool waitForNoWorkers() {
    const auto until = Clock::now() + 10s;
    while (runningWorkers() != 0 && Clock::now() < until) std::this_thread::sleep_for(10ms);
    return runningWorkers() == 0;
}

TEST(WebRequestTest, TimeoutTextIsTheGbkMessage) {
    EXPECT_EQ(
        timeoutText().view(),
        text::gbk("超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂"
                  "的值设置长一些。")
            .view());
}

TEST(WebRequestTest, BlankAddressStartsNoWorker) {
    ASSERT_TRUE(waitForNoWorkers());
    Text headers = "kept";
    for (const char* address : {"", "   ", "\xA1\xA1 "}) {  // full-width space counts as blank
        EXPECT_TRUE(webRequest(address, {}, {}, {}, {}, {}, {}, &headers).empty());
        EXPECT_EQ(runningWorkers(), 0);
    }
    EXPECT_EQ(headers, Text("kept"));
}

TEST(WebRequestTest, AddressWithoutSchemeGetsHttp) {
    StallingServer server;
    const std::string withScheme = server.url("/plain").bytes();
    EXPECT_EQ(str(webRequest(Text(withScheme.substr(7)))), "/plain");  // "127.0.0.1:port/plain"
    // A leading space is kept: "http:// http://..." names no usable host.
    EXPECT_TRUE(webRequest(Text(" " + withScheme)).empty());
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST(WebRequestTest, TimeLimitGivesTheTimeoutTextAndLeavesOutParametersAlone) {
    struct Case {
        const char* name;
        int seconds;
        const char* path;
    };
    const Case cases[] = {
        {"one second, server stalls", 1, "/stall"},
        {"zero gives up at once", 0, "/fast"},
        {"negative gives up at the first wake-up", -3, "/fast"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StallingServer server;
        Text headers = "old headers";
        Text cookies = "old cookies";
        const auto start = Clock::now();
        const Bytes body =
            webRequest(server.url(c.path), {}, {}, {}, {}, {}, c.seconds, &headers, 1, &cookies);
        const auto took = Clock::now() - start;
        EXPECT_EQ(body, timeoutText());  // and not converted
        EXPECT_GE(took, std::chrono::seconds(c.seconds));
        EXPECT_LT(took, 10s);
        EXPECT_EQ(headers, Text("old headers"));
        EXPECT_EQ(cookies, Text("old cookies"));
    }
}

TEST(WebRequestTest, SlowServerWithinTheLimitDeliversEverything) {
    StallingServer server;
    Text headers, cookies;
    EXPECT_EQ(str(webRequest(server.url("/slow"), {}, {}, {}, {}, {}, 2, &headers, {}, &cookies)),
              "/slow");
    EXPECT_EQ(headers.view().substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(cookies, Text("s=1;"));
}

TEST(WebRequestTest, AbandonedWorkerStopsAndItsLateAnswerGoesNowhere) {
    ASSERT_TRUE(waitForNoWorkers());
    StallingServer server;
    Text headers = "old";
    EXPECT_EQ(webRequest(server.url("/stall"), {}, {}, {}, {}, {}, 1, &headers), timeoutText());
    // The server answers only now, after the caller gave up.
    server.release();
    EXPECT_TRUE(waitForNoWorkers());
    EXPECT_EQ(headers, Text("old"));
}

TEST(WebRequestTest, AbandonedWorkerAbortsATransferThatNeverEnds) {
    ASSERT_TRUE(waitForNoWorkers());
    StallingServer server;  // stalls up to 10 s
    EXPECT_EQ(webRequest(server.url("/stall"), {}, {}, {}, {}, {}, 1), timeoutText());
    const auto start = Clock::now();
    EXPECT_TRUE(waitForNoWorkers());
    EXPECT_LT(Clock::now() - start, 5s);  // long before the server would have answered
}

TEST(WebRequestTest, ConversionsStopAtTheFirstNul) {
    RawServer utf8([](int socket, const std::string&) {
        RawServer::send(socket,
                        RawServer::response("HTTP/1.1 200 OK", "",
                                            std::string("\xE4\xB8\xAD\xE6\x96\x87\0tail", 11)));
    });
    const Text address(utf8.url("/"));
    EXPECT_EQ(str(webRequest(address, {}, {}, {}, {}, {}, {}, nullptr, 1)), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(str(webRequest(address, {}, {}, {}, {}, {}, {}, nullptr, 0)),
              std::string("\xE4\xB8\xAD\xE6\x96\x87\0tail", 11));
    EXPECT_EQ(str(webRequest(address, {}, {}, {}, {}, {}, {}, nullptr, 7)),
              std::string("\xE4\xB8\xAD\xE6\x96\x87\0tail", 11));

    RawServer big5([](int socket, const std::string&) {
        RawServer::send(socket, RawServer::response("HTTP/1.1 200 OK", "",
                                                    std::string("\xC5\xE9\xA8\x7C\0x", 6)));
    });
    EXPECT_EQ(str(webRequest(Text(big5.url("/")), {}, {}, {}, {}, {}, {}, nullptr, 2)),
              "\xCC\xE5\xD3\xFD");
}

// A pump that reports input every 20 ms and can run a handler inside the wait.
class BusyPump final : public EventPump {
public:
    void processPendingEvents() override {
        ++dispatches;
        if (handler)
            std::exchange(handler, nullptr)();
    }
    void waitFor(WorkSignal& signal, std::chrono::milliseconds limit) override {
        ++waits;
        signal.waitFor(std::min<std::chrono::milliseconds>(limit, 20ms));
    }
    bool isClosing() const override { return closing; }

    int waits = 0;
    int dispatches = 0;
    bool closing = false;
    std::function<void()> handler;
};

// Records the limit each wait is given, and waits only for the worker, however long the
// limit: the limit can be checked without waiting it out.
class RecordingPump final : public EventPump {
public:
    void processPendingEvents() override {}
    void waitFor(WorkSignal& signal, std::chrono::milliseconds limit) override {
        limits.push_back(limit);
        signal.waitFor(10s);
    }
    std::vector<std::chrono::milliseconds> limits;
};

TEST(WebRequestPumpTest, TheTimeLimitReachesTheWaitInMilliseconds) {
    struct Case {
        const char* name;
        std::optional<int> seconds;
        std::chrono::milliseconds limit;
    };
    const Case cases[] = {
        {"left out: 60 seconds", {}, 60000ms},
        {"given in seconds", 7, 7000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StallingServer server;
        RecordingPump pump;
        ScopedPump scope(pump);
        EXPECT_EQ(str(webRequest(server.url("/fast"), {}, {}, {}, {}, {}, c.seconds)), "/fast");
        ASSERT_FALSE(pump.limits.empty());
        EXPECT_EQ(pump.limits.front(), c.limit);
    }
}

TEST(WebRequestPumpTest, DispatchesAfterEveryWakeUp) {
    StallingServer server;
    BusyPump pump;
    ScopedPump scope(pump);
    EXPECT_EQ(str(webRequest(server.url("/slow"), {}, {}, {}, {}, {}, 5)), "/slow");
    EXPECT_GT(pump.waits, 1);
    EXPECT_EQ(pump.dispatches, pump.waits);
}

TEST(WebRequestPumpTest, InputDoesNotStretchTheLimit) {
    StallingServer server;
    BusyPump pump;
    ScopedPump scope(pump);
    const auto start = Clock::now();
    EXPECT_EQ(webRequest(server.url("/stall"), {}, {}, {}, {}, {}, 1), timeoutText());
    EXPECT_GE(Clock::now() - start, 1s);
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST(WebRequestPumpTest, ClosingGivesUpAtOnce) {
    StallingServer server;
    BusyPump pump;
    pump.closing = true;
    ScopedPump scope(pump);
    const auto start = Clock::now();
    EXPECT_EQ(webRequest(server.url("/stall"), {}, {}, {}, {}, {}, 30), timeoutText());
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST(WebRequestPumpTest, NestedCallRunsInsideTheWait) {
    StallingServer server;
    BusyPump pump;
    ScopedPump scope(pump);
    Bytes inner;
    pump.handler = [&] { inner = webRequest(server.url("/inner")); };
    EXPECT_EQ(str(webRequest(server.url("/slow"), {}, {}, {}, {}, {}, 5)), "/slow");
    EXPECT_EQ(str(inner), "/inner");
}

TEST(WebRequestPumpTest, OuterCallHeldPastItsLimitTimesOutThoughItsWorkerEnded) {
    StallingServer server;
    BusyPump pump;
    ScopedPump scope(pump);
    Bytes inner;
    // The nested call waits 2 s for a stalled server; the outer limit is 1 s.
    pump.handler = [&] { inner = webRequest(server.url("/stall"), {}, {}, {}, {}, {}, 2); };
    // The outer worker ends while the nested call still waits.
    EXPECT_EQ(webRequest(server.url("/slow"), {}, {}, {}, {}, {}, 1), timeoutText());
    EXPECT_EQ(inner, timeoutText());
}

}  // namespace
}  // namespace sh::web
