// Peak memory of one huge reply on its way through the core, as a harvest takes it:
// webRequest fetches it from a loopback server (the body stops at the 64 MiB cap),
// utf8ToGbk decodes it, the matcher runs the result pattern over it. Prints the
// process's peak resident memory after each step (getrusage, the figure that
// /usr/bin/time -f %M gives), so each step's share shows.
//
//   bench_reply_memory [--bytes N] [--fill markup|chinese|results|current] [--no-length]
//   bench_reply_memory --serve PORT [--bytes N] [--fill ...] [--no-length]
//
// --serve: no measuring; answers every connection on 127.0.0.1:PORT with that reply until
// stopped, so the whole command-line program can be measured against it:
//   SITEHARVEST_SEARCH_HOST=127.0.0.1:PORT /usr/bin/time -f %M siteharvest-cli search -p 1 x
//
// --bytes: the size the server sends (default 1 GiB); --fill: what the body holds
// (markup: ASCII tags that never make a result; chinese: three-byte UTF-8 characters;
// results: valid results, one per line, every one a match; current: results in the
// service's current markup on one line, every one a new site); --no-length: no
// Content-Length, the body simply ends when the connection closes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "harvest/pattern_matcher.h"
#include "harvest/result_extraction.h"
#include "text/codepage.h"
#include "web/request_details.h"
#include "web/web_request.h"

namespace {

struct Settings {
    int servePort = -1;
    unsigned long long bytes = 1ull << 30;
    std::string fill = "markup";
    bool withLength = true;
};

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// 64 KiB of the chosen filler, sent over and over.
std::string fillerBlock(const std::string& fill) {
    std::string block;
    int n = 0;
    while (block.size() < 64 * 1024) {
        if (fill == "chinese")
            block += "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
        else if (fill == "current")
            block += "<div class=\"c-result result\" data-log=\"{'mu':'http://s" +
                     std::to_string(n++) +
                     ".example/'}\"><h3 class=\"c-title\">\xE6\xA0\x87\xE9\xA2\x98</h3></div>";
        else if (fill == "results")
            block += "<a>" + std::to_string(n++) +
                     "&#160;t</a><div class=\"abs\">x<br /><span class=\"site\">s.example</span>\n";
        else
            block += "<div class=\"c-row\"><span>more&gt;</span></div>\n";
    }
    return block;
}

// Answers one connection: the head, then `bytes` of filler or until the client hangs up.
void serveOnce(int listener, const Settings& settings) {
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0)
        return;
    char buffer[8192];
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n";
    if (settings.withLength)
        head += "Content-Length: " + std::to_string(settings.bytes) + "\r\n";
    head += "\r\n";
    ::send(client, head.data(), head.size(), MSG_NOSIGNAL);
    const std::string block = fillerBlock(settings.fill);
    for (unsigned long long sent = 0; sent < settings.bytes;) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<unsigned long long>(block.size(), settings.bytes - sent));
        const ssize_t n = ::send(client, block.data(), chunk, MSG_NOSIGNAL);
        if (n <= 0)
            break;  // the client stopped at its cap
        sent += static_cast<unsigned long long>(n);
    }
    ::close(client);
}

const char* outcomeName(sh::web::RequestDetails::Outcome outcome) {
    using Outcome = sh::web::RequestDetails::Outcome;
    switch (outcome) {
        case Outcome::Completed:
            return "completed";
        case Outcome::TimedOut:
            return "timed out";
        case Outcome::NotSent:
            return "not sent";
        case Outcome::RequestTooLarge:
            return "request too large";
        case Outcome::HeadersTooLarge:
            return "headers too large";
        case Outcome::TransferFailed:
            return "transfer failed";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--bytes" && i + 1 < argc)
            settings.bytes = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--fill" && i + 1 < argc)
            settings.fill = argv[++i];
        else if (arg == "--no-length")
            settings.withLength = false;
        else if (arg == "--serve" && i + 1 < argc)
            settings.servePort = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr,
                         "usage: %s [--serve PORT] [--bytes N] [--fill markup|chinese|results|current] "
                         "[--no-length]\n",
                         argv[0]);
            return 2;
        }
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (settings.servePort >= 0) {
        const int yes = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        address.sin_port = htons(static_cast<uint16_t>(settings.servePort));
    }
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        return 1;
    }
    if (settings.servePort >= 0) {
        std::printf("serving %llu bytes of %s on 127.0.0.1:%d\n", settings.bytes,
                    settings.fill.c_str(), ntohs(address.sin_port));
        std::fflush(stdout);
        for (;;) serveOnce(listener, settings);
    }
    std::thread server(serveOnce, listener, settings);
    const sh::text::Text url(
        ("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/page").c_str());

    std::printf("reply: %llu bytes of %s, %s\n", settings.bytes, settings.fill.c_str(),
                settings.withLength ? "with Content-Length" : "without Content-Length");
    std::printf("%-34s %8.1f MiB\n", "peak before the request", peakMiB());

    sh::web::RequestDetails details;
    sh::text::Bytes reply =
        sh::web::webRequest(url, {}, {}, {}, {}, {}, 600, nullptr, {}, nullptr, {}, &details);
    server.join();
    ::close(listener);
    std::printf("%-34s %8.1f MiB  (body %zu bytes, %s%s)\n", "peak after webRequest", peakMiB(),
                reply.size(), outcomeName(details.outcome), details.bodyCut ? ", cut at the cap" : "");

    // The reply's buffer becomes the UTF-8 text; the decoded page replaces it.
    sh::text::Text page = sh::text::utf8ToGbk(sh::text::Text(std::move(reply.bytes())));
    reply = {};
    std::printf("%-34s %8.1f MiB  (page %zu bytes)\n", "peak after utf8ToGbk", peakMiB(),
                page.size());

    sh::harvest::PatternMatcher matcher;
    matcher.execute(sh::harvest::resultPattern(), std::move(page));
    std::printf("%-34s %8.1f MiB  (%d matches, %d lines given up)\n", "peak after the matcher",
                peakMiB(), matcher.matchCount(), matcher.linesGivenUp());
    return 0;
}
