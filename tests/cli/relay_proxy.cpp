#include "relay_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace sh::clitest {

namespace {

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readExactly(int fd, unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int connectTo(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(),
                    &address.sin_addr) != 1)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Copies bytes both ways until one side ends.
void relay(int a, int b) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buffer[16384];
    for (;;) {
        if (::poll(fds, 2, 10000) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0 || !sendAll(fds[1 - i].fd, buffer, static_cast<std::size_t>(n)))
                return;
        }
    }
}

}  // namespace

RelayProxy::RelayProxy(Kind kind) : m_kind(kind) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

RelayProxy::~RelayProxy() {
    m_stop = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    {
        std::lock_guard lock(m_mutex);
        for (int fd : m_open) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& thread : m_threads) thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

std::vector<std::string> RelayProxy::targets() {
    std::lock_guard lock(m_mutex);
    return m_targets;
}

void RelayProxy::track(int fd) {
    std::lock_guard lock(m_mutex);
    m_open.push_back(fd);
}

void RelayProxy::untrack(int fd) {
    std::lock_guard lock(m_mutex);
    m_open.erase(std::remove(m_open.begin(), m_open.end(), fd), m_open.end());
    ::close(fd);
}

void RelayProxy::acceptLoop() {
    while (!m_stop) {
        pollfd listener{m_listener, POLLIN, 0};
        if (::poll(&listener, 1, 50) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        track(client);
        std::lock_guard lock(m_mutex);
        m_threads.emplace_back([this, client] { serve(client); });
    }
}

void RelayProxy::serve(int client) {
    int upstream = -1;
    std::string head;
    if (m_kind == Kind::Http) {
        // "GET http://host:port/path HTTP/1.1": the path goes upstream, the rest as it came.
        char c;
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 &&
               ::recv(client, &c, 1, 0) == 1)
            head.push_back(c);
        const std::size_t space = head.find(' ');
        const std::size_t end = head.find(' ', space + 1);
        const std::string url = space == std::string::npos || end == std::string::npos
                                    ? std::string()
                                    : head.substr(space + 1, end - space - 1);
        if (url.rfind("http://", 0) == 0) {
            const std::size_t slash = url.find('/', 7);
            const std::string authority = url.substr(7, slash - 7);
            const std::size_t colon = authority.find(':');
            {
                std::lock_guard lock(m_mutex);
                m_targets.push_back(url);
            }
            upstream = connectTo(authority.substr(0, colon),
                                 colon == std::string::npos ? 80 : std::stoi(authority.substr(colon + 1)));
            head = head.substr(0, space + 1) +
                   (slash == std::string::npos ? "/" : url.substr(slash)) + head.substr(end);
        }
    } else {
        unsigned char greeting[2];
        unsigned char methods[255];
        unsigned char request[4];
        if (readExactly(client, greeting, 2) && greeting[0] == 5 &&
            readExactly(client, methods, greeting[1]) && sendAll(client, "\x05\x00", 2) &&
            readExactly(client, request, 4) && request[0] == 5 && request[1] == 1) {
            std::string host;
            unsigned char bytes[256];
            if (request[3] == 1 && readExactly(client, bytes, 4)) {
                char text[INET_ADDRSTRLEN];
                host = ::inet_ntop(AF_INET, bytes, text, sizeof text);
            } else if (request[3] == 3 && readExactly(client, bytes, 1)) {
                const std::size_t length = bytes[0];
                if (readExactly(client, bytes, length))
                    host.assign(reinterpret_cast<char*>(bytes), length);
            }
            unsigned char portBytes[2];
            if (!host.empty() && readExactly(client, portBytes, 2)) {
                const int port = portBytes[0] << 8 | portBytes[1];
                {
                    std::lock_guard lock(m_mutex);
                    m_targets.push_back(host + ":" + std::to_string(port));
                }
                upstream = connectTo(host, port);
                if (upstream >= 0)
                    sendAll(client, "\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
            }
        }
    }
    if (upstream >= 0) {
        track(upstream);
        if (sendAll(upstream, head.data(), head.size()))
            relay(client, upstream);
        untrack(upstream);
    }
    untrack(client);
}

}  // namespace sh::clitest
