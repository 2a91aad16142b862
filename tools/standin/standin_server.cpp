#include "standin/standin_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/socket.h>

namespace sh::standin {

namespace {

// cpp-httplib adds these to the request headers itself; they were never sent.
bool isPseudoHeader(const std::string& name) {
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

const char* kindName(ServiceKind kind) {
    switch (kind) {
        case ServiceKind::Search:
            return "search";
        case ServiceKind::Suggest:
            return "suggest";
        case ServiceKind::Other:
            break;
    }
    return "other";
}

std::string StandinServer::Request::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (equalIgnoringCase(key, name))
            return value;
    }
    return {};
}

struct StandinServer::Impl {
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    bool m_started = false;
    std::atomic<bool> m_listenEnded{false};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;  // a request arrived, or stopping
    bool m_stopping = false;
    std::vector<Request> m_log;
    std::chrono::milliseconds m_delay{0};
    std::map<int, std::chrono::milliseconds> m_pageDelays;
    std::map<int, Failure> m_pageFailures;
    std::map<std::string, std::chrono::milliseconds> m_suggestDelays;
    std::map<std::string, Failure> m_suggestFailures;
    std::optional<std::vector<std::string>> m_suggestions;
    std::optional<std::string> m_suggestRaw;
    std::function<void(const Request&)> m_observer;
    Markup m_markup = Markup::Described;
    std::optional<int> m_blockAfter;
    int m_searchesSinceBlockSet = 0;

    void handle(const httplib::Request& req, httplib::Response& res);
    // Sleeps, unless the server stops first; returns false when it stops.
    bool pause(std::chrono::milliseconds delay);
};

bool StandinServer::Impl::pause(std::chrono::milliseconds delay) {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, delay, [this] { return m_stopping; });
}

void StandinServer::Impl::handle(const httplib::Request& req, httplib::Response& res) {
    const TargetCheck check = checkTarget(req.target);

    Request entry;
    entry.kind = check.kind;
    entry.method = req.method;
    entry.target = req.target;
    entry.word = check.word;
    entry.wordDecoded = check.wordDecoded;
    entry.wordFullyEncoded = check.wordFullyEncoded;
    entry.pn = check.pn;
    entry.fixedPartsOk = check.fixedPartsOk;
    entry.problem = check.problem;
    for (const auto& [name, value] : req.headers) {
        if (!isPseudoHeader(name))
            entry.headers.emplace_back(name, value);
    }

    std::chrono::milliseconds delay{0};
    Failure failure = Failure::None;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
    std::string location;
    std::function<void(const Request&)> observer;
    {
        std::lock_guard lock(m_mutex);
        delay = m_delay;
        if (req.method != "GET" && req.method != "HEAD") {
            entry.status = 405;
            body = "the stand-in answers GET only\n";
        } else if (check.kind == ServiceKind::Other && req.path == kVerificationPath) {
            entry.problem.clear();
            entry.status = 200;
            body = verificationPage();
            contentType = "text/html; charset=utf-8";
        } else if (check.kind == ServiceKind::Search && check.fixedPartsOk && m_blockAfter &&
                   ++m_searchesSinceBlockSet > *m_blockAfter) {
            entry.status = 302;
            location = verificationLocation(req.target);
            body = "<html><body>Found</body></html>";
            contentType = "text/html";
        } else if (check.kind == ServiceKind::Other) {
            entry.status = 404;
            body = "not a service address of the stand-in\n";
        } else if (!check.fixedPartsOk) {
            entry.status = 400;
            body = "fixed parts of the address are missing or changed: " + check.problem + "\n";
        } else if (check.kind == ServiceKind::Search) {
            if (auto it = m_pageDelays.find(check.pn); it != m_pageDelays.end())
                delay += it->second;
            if (auto it = m_pageFailures.find(check.pn); it != m_pageFailures.end())
                failure = it->second;
            entry.status = 200;
            body = m_markup == Markup::Current ? currentSearchPage(check.wordDecoded, check.pn)
                                               : searchPage(check.wordDecoded, check.pn);
            contentType = "text/html; charset=utf-8";
        } else {
            if (auto it = m_suggestDelays.find(check.wordDecoded); it != m_suggestDelays.end())
                delay += it->second;
            if (auto it = m_suggestFailures.find(check.wordDecoded); it != m_suggestFailures.end())
                failure = it->second;
            entry.status = 200;
            if (m_suggestRaw)
                body = *m_suggestRaw;
            else
                body = suggestReply(
                    gbkFromTable(check.wordDecoded),
                    m_suggestions ? *m_suggestions : suggestionsFor(check.wordDecoded));
            contentType = "text/javascript; charset=gbk";
        }
        if (failure == Failure::Status500)
            entry.status = 500;
        else if (failure == Failure::Drop)
            entry.status = 0;
        m_log.push_back(entry);
        observer = m_observer;
    }
    m_changed.notify_all();
    if (observer)
        observer(entry);

    const bool stillRunning = delay.count() <= 0 || pause(delay);
    if (!stillRunning || failure == Failure::Drop) {
        // Headers go out with a Content-Length, then the provider gives up and
        // cpp-httplib closes the connection: the client sees a cut-off reply.
        res.status = 200;
        res.set_content_provider(
            std::max<std::size_t>(body.size(), 1), contentType,
            [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
        return;
    }
    if (failure == Failure::Status500) {
        res.status = 500;
        res.set_content("the stand-in was told to fail this request\n",
                        "text/plain; charset=utf-8");
        return;
    }
    res.status = entry.status;
    if (!location.empty())
        res.set_header("Location", location);
    res.set_content(body, contentType);
}

StandinServer::StandinServer() : m_impl(std::make_unique<Impl>()) {
    // Everything goes through one handler: the routing of cpp-httplib matches the
    // decoded path with std::regex, which would turn away odd paths unlogged.
    m_impl->m_server.set_pre_routing_handler([impl = m_impl.get()](const auto& req, auto& res) {
        impl->handle(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    // cpp-httplib's default also sets SO_REUSEPORT, which would let a second stand-in
    // share the port unnoticed; keep only SO_REUSEADDR, for a quick restart.
    m_impl->m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    // Delayed requests and abandoned clients each hold a thread; keep some spare.
    m_impl->m_server.new_task_queue = [] { return new httplib::ThreadPool(16); };
}

StandinServer::~StandinServer() {
    stop();
}

bool StandinServer::start(int port) {
    if (m_impl->m_started)
        return false;
    m_impl->m_started = true;
    const std::string host = "127.0.0.1";
    if (port == 0) {
        port = m_impl->m_server.bind_to_any_port(host);
        if (port <= 0)
            return false;
    } else if (!m_impl->m_server.bind_to_port(host, port)) {
        return false;
    }
    m_impl->m_port = port;
    // Bound already, so a client that connects before the thread runs just waits in
    // the listen backlog.
    m_impl->m_thread = std::thread([impl = m_impl.get()] {
        impl->m_server.listen_after_bind();
        impl->m_listenEnded = true;
    });
    // cpp-httplib's stop() does nothing until the accept loop has begun, so a stop()
    // right after start() would leave the loop running for ever: wait for it.
    while (!m_impl->m_server.is_running() && !m_impl->m_listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_impl->m_server.is_running();
}

int StandinServer::port() const {
    return m_impl->m_port;
}

std::string StandinServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(m_impl->m_port);
}

void StandinServer::stop() {
    {
        std::lock_guard lock(m_impl->m_mutex);
        m_impl->m_stopping = true;
    }
    m_impl->m_changed.notify_all();
    m_impl->m_server.stop();
    if (m_impl->m_thread.joinable())
        m_impl->m_thread.join();
}

void StandinServer::setDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_delay = delay;
}

void StandinServer::setMarkup(Markup markup) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_markup = markup;
}

void StandinServer::setBlockAfter(std::optional<int> n) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_blockAfter = n;
    m_impl->m_searchesSinceBlockSet = 0;
}

void StandinServer::setPageDelay(int pn, std::chrono::milliseconds delay) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_pageDelays[pn] = delay;
}

void StandinServer::setPageFailure(int pn, Failure failure) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_pageFailures[pn] = failure;
}

void StandinServer::setSuggestDelay(const std::string& keywordUtf8,
                                    std::chrono::milliseconds delay) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_suggestDelays[keywordUtf8] = delay;
}

void StandinServer::setSuggestFailure(const std::string& keywordUtf8, Failure failure) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_suggestFailures[keywordUtf8] = failure;
}

void StandinServer::setSuggestions(std::vector<std::string> itemsGbk) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_suggestions = std::move(itemsGbk);
    m_impl->m_suggestRaw.reset();
}

void StandinServer::setSuggestReplyRaw(std::string bytes) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_suggestRaw = std::move(bytes);
}

void StandinServer::resetSuggestions() {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_suggestions.reset();
    m_impl->m_suggestRaw.reset();
}

void StandinServer::setObserver(std::function<void(const Request&)> observer) {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_observer = std::move(observer);
}

std::vector<StandinServer::Request> StandinServer::requests() const {
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_log;
}

std::size_t StandinServer::requestCount() const {
    std::lock_guard lock(m_impl->m_mutex);
    return m_impl->m_log.size();
}

void StandinServer::clearRequests() {
    std::lock_guard lock(m_impl->m_mutex);
    m_impl->m_log.clear();
}

bool StandinServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->m_mutex);
    return m_impl->m_changed.wait_for(lock, timeout, [&] { return m_impl->m_log.size() >= count; });
}

}  // namespace sh::standin
