#include "test_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace sh::web::test {

std::string certificateFile() {
    return SH_WEB_TEST_TLS_DIR "/cert.pem";
}
std::string keyFile() {
    return SH_WEB_TEST_TLS_DIR "/key.pem";
}

HttpServer::HttpServer(bool tls) {
    if (tls)
        m_server =
            std::make_unique<httplib::SSLServer>(certificateFile().c_str(), keyFile().c_str());
    else
        m_server = std::make_unique<httplib::Server>();
}

HttpServer::~HttpServer() {
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void HttpServer::start() {
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string HttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

RawServer::RawServer(Handler handler) : m_handler(std::move(handler)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listener, 16);
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

RawServer::~RawServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

std::string RawServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> RawServer::requests() {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void RawServer::send(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

void RawServer::reset(int socket) {
    linger option{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

std::string RawServer::response(const std::string& statusLine, const std::string& headers,
                                const std::string& body) {
    return statusLine + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void RawServer::run() {
    while (!m_stop) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::string request;
        char buffer[4096];
        std::size_t wanted = std::string::npos;
        while (wanted == std::string::npos || request.size() < wanted) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 2000) <= 0)
                break;
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(n));
            const std::size_t headEnd = request.find("\r\n\r\n");
            if (wanted == std::string::npos && headEnd != std::string::npos) {
                std::size_t bodyLength = 0;
                const std::size_t at = request.find("\r\nContent-Length: ");
                if (at != std::string::npos && at < headEnd)
                    bodyLength = std::stoul(request.substr(at + 18));
                wanted = headEnd + 4 + bodyLength;
            }
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        m_handler(client, request);
        ::close(client);
    }
}

}  // namespace sh::web::test
