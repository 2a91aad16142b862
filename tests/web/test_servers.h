#pragma once

// In-process servers on 127.0.0.1 with an ephemeral port, for the web tests.

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sh::web::test {

// A cpp-httplib server (plain, or TLS with the test certificate) running on its own
// thread until destroyed. Register handlers through server() before start().
class HttpServer {
public:
    explicit HttpServer(bool tls = false);
    ~HttpServer();
    httplib::Server& server() { return *m_server; }
    void start();
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

// A bare TCP server that answers each connection through a handler, for what cpp-httplib
// hides (the raw request text and the order of its lines) or will not do (cutting a
// response short). Connections are served one at a time.
class RawServer {
public:
    // Gets the connected socket and the request as read (head, plus a body of
    // Content-Length bytes); the socket is closed after it returns.
    using Handler = std::function<void(int socket, const std::string& request)>;
    explicit RawServer(Handler handler);
    ~RawServer();
    int port() const { return m_port; }
    std::string url(const std::string& path) const;
    std::vector<std::string> requests();

    // Writes all bytes, ignoring a peer that went away.
    static void send(int socket, const std::string& bytes);
    // Closes with a TCP reset instead of an orderly end.
    static void reset(int socket);
    // A canned response with a Content-Length that matches its body.
    static std::string response(const std::string& statusLine, const std::string& headers,
                                const std::string& body);

private:
    void run();

    Handler m_handler;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

std::string certificateFile();
std::string keyFile();

}  // namespace sh::web::test
