// One exchange against loopback servers: what the server receives, redirects, cookies,
// TLS, failures part-way.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "test_print.h"
#include "test_servers.h"
#include "web/cookie_jar.h"
#include "web/http_exchange.h"
#include "web/web_request.h"

namespace sh::web {
namespace {

using test::HttpServer;
using test::RawServer;

const std::string kAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
const std::string kAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)\r\n";

struct Reply {
    Bytes body;
    Text cookies;
    Text headers;
};

// Runs one exchange on this thread, with the record webRequest would build.
Reply exchange(const std::string& address, const ExchangeOptions& options,
               bool followRedirects = true, const std::string& headers = {}) {
    RequestRecord record;
    record.slot(1) = Bytes(address);
    record.slot(2) = Bytes(std::string_view("GET"));
    record.slot(4) = Bytes(headers);
    record.slot(7) = Bytes(std::string_view(followRedirects ? "\xD5\xE6" : "\xBC\xD9"));
    RecordStream stream;
    stream.write(record);
    requestWorker(stream, options);
    const RequestRecord back = stream.read();
    return {back.slot(1), Text(back.slot(2).view()), Text(back.slot(6).view())};
}

std::string str(const Bytes& bytes) {
    return bytes.bytes();
}

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override { CookieJar::instance().clear(); }
    void TearDown() override { CookieJar::instance().clear(); }
};

void answerOk(int socket, const std::string&) {
    RawServer::send(socket, RawServer::response("HTTP/1.1 200 OK", "", "ok"));
}

TEST_F(ExchangeTest, ServerReceivesTheHeaderTextAsWritten) {
    struct Case {
        const char* name;
        std::string path;
        Text headers;
        Text cookies;
        std::string expectedAfterHost;  // with {referer} standing for the Referer line
    };
    const Case cases[] = {
        {"defaults only", "/p?q=1", "", "",
         kAgentLine + kAccept + "{referer}Accept-Language: zh-cn\r\n"},
        {"caller agent line and a line running into the next", "/",
         "User-Agent: Tester/2\r\nX-One: 1\r\nX-Two: 2", "",
         "User-Agent: Tester/2\r\nX-One: 1\r\nX-Two: 2" + kAccept +
             "{referer}Accept-Language: zh-cn\r\n"},
        {"caller Accept-Language: no Accept at all", "/", "Accept-Language: en\r\n", "",
         kAgentLine + "Accept-Language: en\r\n{referer}"},
        {"empty caller value is still sent", "/", "X-Empty:\r\nRefererNo", "",
         kAgentLine + "X-Empty:\r\n" + kAccept + "Accept-Language: zh-cn\r\n"},
        {"caller cookies", "/", "", "a=1; b=2",
         kAgentLine + kAccept + "{referer}Accept-Language: zh-cn\r\nCookie: a=1; b=2\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawServer server(answerOk);
        const std::string address = server.url(c.path);
        EXPECT_EQ(webRequest(Text(address), {}, {}, c.headers, {}, c.cookies),
                  Bytes(std::string_view("ok")));
        std::string expected = "GET " + c.path +
                               " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                               "\r\n" + c.expectedAfterHost + "\r\n";
        if (auto at = expected.find("{referer}"); at != std::string::npos)
            expected.replace(at, 9, "Referer: " + address + "\r\n");
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0], expected);
    }
}

TEST_F(ExchangeTest, PostSendsItsDataWithTypeAndLength) {
    RawServer server(answerOk);
    EXPECT_EQ(
        str(webRequest(Text(server.url("/form")), 1, {}, {}, Bytes(std::string_view("k=v&x=1")))),
        "ok");
    EXPECT_EQ(str(webRequest(Text(server.url("/empty")), 1)), "ok");
    EXPECT_EQ(
        str(webRequest(Text(server.url("/get")), 2, {}, {}, Bytes(std::string_view("ignored")))),
        "ok");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);

    EXPECT_EQ(requests[0].substr(0, 21), "POST /form HTTP/1.1\r\n");
    EXPECT_NE(
        requests[0].find("\r\nAccept-Language: zh-cn\r\nContent-Type: "
                         "application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\nk=v&x=1"),
        std::string::npos);

    // No data: no Content-Type, an empty body.
    EXPECT_EQ(requests[1].substr(0, 22), "POST /empty HTTP/1.1\r\n");
    EXPECT_EQ(requests[1].find("Content-Type"), std::string::npos);
    EXPECT_EQ(requests[1].substr(requests[1].size() - 4), "\r\n\r\n");

    // Any method but 1 is GET, which carries no body.
    EXPECT_EQ(requests[2].substr(0, 19), "GET /get HTTP/1.1\r\n");
    EXPECT_EQ(requests[2].find("ignored"), std::string::npos);
}

TEST_F(ExchangeTest, ErrorStatusesReturnTheirBody) {
    HttpServer server;
    server.server().Get("/404", [](auto&, auto& res) {
        res.status = 404;
        res.set_content("missing", "text/plain");
    });
    server.server().Get("/500", [](auto&, auto& res) {
        res.status = 500;
        res.set_content("oops", "text/plain");
    });
    server.start();
    Text headers;
    EXPECT_EQ(str(webRequest(Text(server.url("/404")), {}, {}, {}, {}, {}, {}, &headers)),
              "missing");
    EXPECT_EQ(headers.view().substr(0, 22), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(str(webRequest(Text(server.url("/500")))), "oops");
}

TEST_F(ExchangeTest, RedirectsFollowedOrReturned) {
    HttpServer server;
    server.server().Get("/r", [](auto&, auto& res) {
        res.set_redirect("/final");
        res.set_content("moved", "text/plain");
    });
    server.server().Get("/final",
                        [](auto&, auto& res) { res.set_content("final body", "text/plain"); });
    server.server().Get("/loop", [](auto&, auto& res) { res.set_redirect("/loop"); });
    server.start();

    Text headers;
    EXPECT_EQ(str(webRequest(Text(server.url("/r")), {}, {}, {}, {}, {}, {}, &headers)),
              "final body");
    EXPECT_EQ(headers.view().substr(0, 15), "HTTP/1.1 200 OK");  // the final response's

    EXPECT_EQ(str(webRequest(Text(server.url("/r")), {}, {}, {}, {}, {}, {}, &headers, {}, nullptr,
                             false)),
              "moved");
    EXPECT_EQ(headers.view().substr(0, 12), "HTTP/1.1 302");

    // A loop ends at the redirect limit with nothing fetched.
    EXPECT_TRUE(webRequest(Text(server.url("/loop")), {}, {}, {}, {}, {}, 10).empty());
}

TEST_F(ExchangeTest, CookiesCollectedStoredAndSentAgain) {
    HttpServer server;
    server.server().Get("/set", [](auto&, auto& res) {
        res.set_header("Set-Cookie", "a=1; path=/");
        res.set_header("Set-Cookie", "b=2; path=/");
        res.set_content("set", "text/plain");
    });
    server.server().Get("/echo", [](const httplib::Request& req, auto& res) {
        res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    server.start();

    Text cookies = "untouched";
    EXPECT_EQ(
        str(webRequest(Text(server.url("/set")), {}, {}, {}, {}, {}, {}, nullptr, {}, &cookies)),
        "set");
    EXPECT_EQ(cookies, Text("a=1;b=2;"));

    // A later exchange with cookie handling on sends them.
    const std::string echoed = str(webRequest(Text(server.url("/echo"))));
    EXPECT_NE(echoed.find("a=1"), std::string::npos) << echoed;
    EXPECT_NE(echoed.find("b=2"), std::string::npos) << echoed;

    // The caller's own cookie text switches stored cookies off.
    EXPECT_EQ(str(webRequest(Text(server.url("/echo")), {}, {}, {}, {}, "c=3")), "c=3");
    // ... but cookies of blanks do not.
    EXPECT_NE(str(webRequest(Text(server.url("/echo")), {}, {}, {}, {}, " ")).find("a=1"),
              std::string::npos);

    // A response without Set-Cookie gives an empty cookie text.
    EXPECT_EQ(
        str(webRequest(Text(server.url("/echo")), {}, {}, {}, {}, {}, {}, nullptr, {}, &cookies))
            .empty(),
        false);
    EXPECT_EQ(cookies, Text());
}

// Cookies reach the store by two roads, and a later plain request must send what came
// by either: a redirect reply's cookie lives only in the handle's own list (the final
// reply's headers do not hold it), and a reply to a request that carried the caller's
// own cookie text is read only from its headers.
TEST_F(ExchangeTest, CookiesSetOnTheWayAreSentByTheNextPlainRequest) {
    HttpServer server;
    server.server().Get("/moved", [](auto&, auto& res) {
        res.set_header("Set-Cookie", "r=1; path=/");
        res.set_redirect("/landed");
    });
    server.server().Get("/landed",
                        [](auto&, auto& res) { res.set_content("landed", "text/plain"); });
    server.server().Get("/own", [](const httplib::Request& req, auto& res) {
        res.set_header("Set-Cookie", "g=3; path=/");
        res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    server.server().Get("/echo", [](const httplib::Request& req, auto& res) {
        res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    server.start();

    struct Case {
        const char* name;
        const char* path;
        Text cookies;
        const char* body;
        const char* sentNext;
    };
    const Case cases[] = {
        {"set by a redirect reply", "/moved", {}, "landed", "r=1"},
        {"set while the caller sent its own cookie text", "/own", "c=3", "c=3", "g=3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CookieJar::instance().clear();
        EXPECT_EQ(str(webRequest(Text(server.url(c.path)), {}, {}, {}, {}, c.cookies)), c.body);
        EXPECT_EQ(str(webRequest(Text(server.url("/echo")))), c.sentNext);
    }
}

TEST_F(ExchangeTest, ServerThatResetsMidBodyGivesWhatArrived) {
    RawServer server([](int socket, const std::string&) {
        RawServer::send(
            socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        RawServer::reset(socket);
    });
    Text headers;
    const Bytes body = webRequest(Text(server.url("/")), {}, {}, {}, {}, {}, 10, &headers);
    EXPECT_EQ(str(body), std::string(5000, 'x'));
    EXPECT_EQ(headers.view().substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(ExchangeTest, BodyIsCapped) {
    RawServer server([](int socket, const std::string&) {
        RawServer::send(socket,
                        RawServer::response("HTTP/1.1 200 OK", "", std::string(50000, 'y')));
    });
    ExchangeOptions options;
    options.maxBodyBytes = 1000;
    EXPECT_EQ(str(exchange(server.url("/"), options).body), std::string(1000, 'y'));
}

// The cap ends the transfer only when more would follow: a body of exactly the cap is
// whole.
TEST_F(ExchangeTest, BodyIsCutOnlyWhenItOutgrowsTheCap) {
    struct Case {
        std::size_t size;
        bool cut;
    };
    for (const Case& c : {Case{999, false}, Case{1000, false}, Case{1001, true}}) {
        SCOPED_TRACE(c.size);
        RawServer server([&c](int socket, const std::string&) {
            RawServer::send(socket,
                            RawServer::response("HTTP/1.1 200 OK", "", std::string(c.size, 'y')));
        });
        RecordStream stream;
        RequestRecord record;
        record.slot(1) = Bytes(server.url("/"));
        record.slot(2) = Bytes(std::string_view("GET"));
        stream.write(record);
        ExchangeOptions options;
        options.maxBodyBytes = 1000;
        RequestDetails details;
        requestWorker(stream, options, &details);
        EXPECT_EQ(stream.read().slot(1).size(), std::min<std::size_t>(c.size, 1000));
        EXPECT_EQ(details.outcome, RequestDetails::Outcome::Completed);
        EXPECT_EQ(details.bodyCut, c.cut);
        EXPECT_EQ(details.status, 200);
    }
}

// What the caller learns when nothing (or not all) came back. libcurl's own caps stay:
// a reply whose headers pass 300 KiB, or hold a line over 100 KiB, loses its body.
TEST_F(ExchangeTest, DetailsSayWhatBecameOfTheRequest) {
    using Outcome = RequestDetails::Outcome;
    std::string manyCookies;  // 10,000 Set-Cookie lines, some 540 KB
    for (int i = 0; i < 10000; ++i)
        manyCookies += "Set-Cookie: visitor_" + std::to_string(i) + "=abcdefgh; path=/\r\n";
    const std::string longLine = "X-Long: " + std::string(101 * 1024, 'a') + "\r\n";
    struct Case {
        const char* name;
        std::string headers;
        Outcome outcome;
        long status;
        const char* body;
    };
    const Case cases[] = {
        {"an ordinary reply", "X-One: 1\r\n", Outcome::Completed, 200, "page"},
        {"headers past 300 KiB", manyCookies, Outcome::HeadersTooLarge, 200, ""},
        {"a header line past 100 KiB", longLine, Outcome::HeadersTooLarge, 200, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawServer server([&c](int socket, const std::string&) {
            RawServer::send(socket, RawServer::response("HTTP/1.1 200 OK", c.headers, "page"));
        });
        RequestDetails details;
        details.error = "stale";
        EXPECT_EQ(str(webRequest(Text(server.url("/")), {}, {}, {}, {}, {}, 10, nullptr, {},
                                 nullptr, {}, &details)),
                  c.body);
        EXPECT_EQ(details.outcome, c.outcome);
        EXPECT_EQ(details.status, c.status);
        EXPECT_FALSE(details.bodyCut);
        EXPECT_EQ(details.error.empty(), c.outcome == Outcome::Completed) << details.error;
    }

    auto closed = std::make_unique<RawServer>(answerOk);
    const Text nowhere(closed->url("/"));
    closed.reset();
    RequestDetails details;
    EXPECT_TRUE(
        webRequest(nowhere, {}, {}, {}, {}, {}, 10, nullptr, {}, nullptr, {}, &details).empty());
    EXPECT_EQ(details.outcome, Outcome::TransferFailed);
    EXPECT_EQ(details.status, 0);
    EXPECT_FALSE(details.error.empty());

    EXPECT_TRUE(
        webRequest("  ", {}, {}, {}, {}, {}, {}, nullptr, {}, nullptr, {}, &details).empty());
    EXPECT_EQ(details.outcome, Outcome::NotSent);
}

// requestFits agrees with libcurl to the byte: a head of exactly the cap is sent, one
// byte more is refused before anything reaches the server, and says so.
TEST_F(ExchangeTest, RequestHeadsUpToTheCapAreSentAndLongerOnesRefused) {
    RawServer server(answerOk);
    const std::string base = server.url("/p?");
    // The query counts twice (request line and Referer line), the pad line once.
    auto headBytes = [&](const std::string& query, const std::string& pad) {
        return requestHeadBytes(Text(base + query), {}, Text("X-Pad: " + pad + "\r\n"));
    };
    const std::string query((kMaxRequestHeadBytes - headBytes("", "p")) / 2, 'q');
    std::string pad = "p";
    while (headBytes(query, pad) < kMaxRequestHeadBytes) pad += "p";
    ASSERT_EQ(headBytes(query, pad), kMaxRequestHeadBytes);

    struct Case {
        const char* name;
        std::string pad;
        bool fits;
    };
    const Case cases[] = {
        {"at the cap", pad, true},
        {"one byte past it", pad + "p", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Text address(base + query);
        const Text headers("X-Pad: " + c.pad + "\r\n");
        EXPECT_EQ(requestFits(address, {}, headers), c.fits);
        RequestDetails details;
        const Bytes body =
            webRequest(address, {}, {}, headers, {}, {}, 10, nullptr, {}, nullptr, {}, &details);
        EXPECT_EQ(str(body), c.fits ? "ok" : "");
        EXPECT_EQ(details.outcome, c.fits ? RequestDetails::Outcome::Completed
                                          : RequestDetails::Outcome::RequestTooLarge);
    }
    const auto requests = server.requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const std::string& request) { return !request.empty(); }),
              1);  // the refused one never arrived
}

TEST_F(ExchangeTest, NothingReachableGivesEmptyResults) {
    auto server = std::make_unique<RawServer>(answerOk);
    const std::string closed = "http://127.0.0.1:" + std::to_string(server->port());
    server.reset();  // nothing listens there any more
    const Reply reply = exchange(closed + "/", {});
    EXPECT_TRUE(reply.body.empty());
    EXPECT_EQ(reply.headers, Text());
    EXPECT_EQ(reply.cookies, Text());
}

TEST_F(ExchangeTest, ProxyCarriesPlainRequestsAndEnvironmentIsIgnored) {
    RawServer proxy(answerOk);
    const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());
    EXPECT_EQ(str(webRequest("http://site.invalid/page?x=1", {}, Text(proxyAddress))), "ok");
    ASSERT_EQ(proxy.requests().size(), 1u);
    const std::string request = proxy.requests()[0];
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET http://site.invalid/page?x=1 HTTP/1.1");

    // Without a proxy the connection is direct, whatever the environment says.
    RawServer direct(answerOk);
    ::setenv("http_proxy", ("http://" + proxyAddress).c_str(), 1);
    const Bytes body = webRequest(Text(direct.url("/")));
    ::unsetenv("http_proxy");
    EXPECT_EQ(str(body), "ok");
    EXPECT_EQ(proxy.requests().size(), 1u);
}

// TLS: "localhost:443" is mapped to the loopback TLS server, so the rule that a secure
// request goes to port 443 stays as it is in production.
class TlsExchangeTest : public ExchangeTest {
protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        m_tls.server().Get("/secure",
                           [](auto&, auto& res) { res.set_content("over tls", "text/plain"); });
        m_tls.server().Get("/r", [](auto&, auto& res) { res.set_redirect("/secure"); });
        m_plain.server().Get(
            "/up", [](auto&, auto& res) { res.set_redirect("https://localhost/secure"); });
        m_plain.server().Get("/final",
                             [](auto&, auto& res) { res.set_content("plain", "text/plain"); });
        m_plain.start();
        m_tls.server().Get("/down",
                           [this](auto&, auto& res) { res.set_redirect(m_plain.url("/final")); });
        m_tls.start();
        m_options.connectTo = {"localhost:443:127.0.0.1:" + std::to_string(m_tls.port())};
    }
    HttpServer m_plain;
    HttpServer m_tls{true};
    ExchangeOptions m_options;
};

TEST_F(TlsExchangeTest, SelfSignedCertificateIsRefused) {
    const Reply reply = exchange("https://localhost/secure", m_options);
    EXPECT_TRUE(reply.body.empty());
    EXPECT_EQ(reply.headers, Text());
}

TEST_F(TlsExchangeTest, SecureMeansTlsOnPort443) {
    m_options.caFile = test::certificateFile();
    struct Case {
        const char* address;
        bool follow;
    };
    const Case cases[] = {
        {"https://localhost/secure", true},
        {"https://localhost:9/secure", true},               // the named port is not used
        {"http://localhost/secure?back=https://x/", true},  // "https://" anywhere
        {"https://localhost/r", false},                     // secure always follows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(str(exchange(c.address, m_options, c.follow).body), "over tls");
    }
}

TEST_F(TlsExchangeTest, RedirectFromPlainToSecureIsFollowedButNotBack) {
    m_options.caFile = test::certificateFile();
    EXPECT_EQ(str(exchange(m_plain.url("/up"), m_options).body), "over tls");
    EXPECT_EQ(str(exchange(m_plain.url("/final"), m_options).body), "plain");
    EXPECT_TRUE(exchange("https://localhost/down", m_options).body.empty());
}

}  // namespace
}  // namespace sh::web
