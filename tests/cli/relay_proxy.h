#pragma once

// A proxy on 127.0.0.1 for the --proxy tests: an HTTP proxy (absolute-form requests) or
// a SOCKS5 proxy (CONNECT, no authentication), relaying each connection to where it asks.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sh::clitest {

class RelayProxy {
public:
    enum class Kind { Http, Socks5 };

    explicit RelayProxy(Kind kind);
    ~RelayProxy();  // ends every relay and joins its threads
    RelayProxy(const RelayProxy&) = delete;
    RelayProxy& operator=(const RelayProxy&) = delete;

    int port() const { return m_port; }
    // What each connection asked for, in order: the absolute address of an HTTP proxy
    // request ("http://127.0.0.1:4242/s?..."), or "host:port" of a SOCKS5 CONNECT.
    std::vector<std::string> targets();

private:
    void acceptLoop();
    void serve(int client);
    void track(int fd);
    void untrack(int fd);

    Kind m_kind;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_targets;
    std::vector<int> m_open;
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
};

}  // namespace sh::clitest
