// Address splitting, agent text, header assembly and cookie-text collection: the pure
// steps of an exchange, table by table.

#include <gtest/gtest.h>

#include "test_print.h"
#include "web/http_exchange.h"
#include "web/request_record.h"

namespace sh::web {
namespace {

const std::string kAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
const std::string kAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

TEST(AddressTest, SplitsHostPathAndPort) {
    struct Case {
        const char* address;
        const char* host;
        const char* path;
        int port;
    };
    const Case cases[] = {
        {"http://Example.COM/a/B?q=1#f", "example.com", "/a/B?q=1#f", 80},
        {"http://example.com:8080", "example.com", "/", 8080},
        {"http://example.com:81/x", "example.com", "/x", 81},
        // Only lower case is a scheme; the host "http" is then found in the scheme itself.
        {"HTTP://example.com:82/x", "http", "//example.com:82/x", 82},
        {"example.com:83/x", "example.com", "/x", 83},               // no scheme at all
        {"http://a.com?x=1", "a.com?x=1", "/", 80},                  // query runs into the host
        {"http://x:abc/", "x", "/", 0},                              // no number: port 0
        {"http://x:\xA3\xB8\xA3\xB1/", "x", "/", 81},                // full-width digits
        {"https://s.example.com:8443/p", "s.example.com", "/p", 0},  // secure uses 443 anyway
        {"http://x.com/go?to=https://y.com/", "x.com", "/go?to=https://y.com/", 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(hostOf(c.address), Text(c.host));
        EXPECT_EQ(pathOf(c.address), Text(c.path));
        EXPECT_EQ(portOf(c.address), c.port);
    }
}

TEST(AgentTest, CallerLineSetsTheAgent) {
    const std::pair<const char*, std::string> cases[] = {
        {"", kAgent},
        {"X-Other: 1\r\n", kAgent},
        {"User-Agent:  Tester/2 \r\nX: y\r\n", "Tester/2"},
        {"user-agent:lower\r\n", "lower"},
        {"User-Agent: no line end", ""},  // no CR LF after it: empty agent
    };
    for (const auto& [headers, agent] : cases) {
        SCOPED_TRACE(headers);
        EXPECT_EQ(agentText(headers), Text(agent));
    }
}

TEST(HeaderAssemblyTest, AppendsTheLinesTheCallerLacks) {
    const Text address = "http://h.com/p";
    const std::string referer = "Referer: http://h.com/p\r\n";
    const std::string language = "Accept-Language: zh-cn\r\n";
    const std::string form = "Content-Type: application/x-www-form-urlencoded\r\n";
    struct Case {
        const char* name;
        std::string headers;
        const char* method;
        std::string post;
        std::string cookies;
        std::string expected;
    };
    const Case cases[] = {
        {"defaults", "", "GET", "", "", kAccept + referer + language},
        {"language line suppresses Accept", "Accept-Language: en\r\n", "GET", "", "",
         "Accept-Language: en\r\n" + referer},
        {"any 'accept' suppresses Accept", "X-Note: ACCEPTED\r\n", "GET", "", "",
         "X-Note: ACCEPTED\r\n" + referer + language},
        {"any 'referer' suppresses Referer", "X-referer-x: 1\r\n", "GET", "", "",
         "X-referer-x: 1\r\n" + kAccept + language},
        {"RefererNo is removed", "RefererNo", "GET", "", "", kAccept + language},
        {"no CR LF runs into the next line", "X: 1", "GET", "", "",
         "X: 1" + kAccept + referer + language},
        {"cookie line ends the header block", "", "GET", "", "a=1",
         kAccept + referer + language + "Cookie: a=1\r\n\r\n"},
        {"blank cookies still give a line", "", "GET", "", "  ",
         kAccept + referer + language + "Cookie:   \r\n\r\n"},
        {"POST with data", "", "POST", "k=v&x=1", "",
         kAccept + referer + language + form + "Content-Length: 7\r\n"},
        {"POST without data", "", "POST", "", "", kAccept + referer + language},
        {"GET never describes a body", "", "GET", "k=v", "", kAccept + referer + language},
        {"caller's Content-Type kept", "Content-Type: text/plain\r\n", "POST", "abc", "",
         "Content-Type: text/plain\r\n" + kAccept + referer + language + "Content-Length: 3\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            assembleHeaders(Text(c.headers), address, c.method, Bytes(c.post), Text(c.cookies)),
            Text(c.expected));
    }
}

TEST(SetCookieTest, CollectsNameValuePairs) {
    struct Case {
        const char* name;
        const char* headers;
        const char* text;
        std::vector<std::pair<Text, Text>> cookies;
    };
    const Case cases[] = {
        {"two cookies",
         "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; path=/\r\n\r\n",
         "a=1;b=2;",
         {{"a", "1; path=/"}, {"b", "2; path=/"}}},
        {"no semicolon adds only ';'",
         "HTTP/1.1 200 OK\r\nSet-Cookie: c=3\r\n\r\n",
         ";",
         {{"c", "3"}}},
        {"letter case ignored, LF alone ends a line",
         "HTTP/1.1 200 OK\nset-cookie: d=4; x\n",
         "d=4;",
         {{"d", "4; x"}}},
        {"no '=' gives an empty name",
         "HTTP/1.1 200 OK\r\nSet-Cookie: flag; p\r\n",
         "flag;",
         {{"", "flag; p"}}},
        {"none", "HTTP/1.1 200 OK\r\nX: y\r\n\r\n", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SetCookies set = collectSetCookies(c.headers);
        EXPECT_EQ(set.text, Text(c.text));
        EXPECT_EQ(set.cookies, c.cookies);
    }
}

TEST(RecordStreamTest, CarriesSevenSlotsBackUnchanged) {
    RequestRecord record;
    for (int n = 1; n <= 7; ++n)
        record.slot(n) = Bytes(std::string(static_cast<std::size_t>(n), '\0') + "x");
    RecordStream stream;
    ASSERT_TRUE(stream.write(record));
    EXPECT_EQ(stream.read().slots, record.slots);
}

TEST(RecordStreamTest, MalformedContentGivesSevenSlots) {
    RecordStream stream;
    // one slot whose length claims more than there is, then nothing
    stream.raw() = std::string("\x10\0\0\0\0\0\0\0abc", 11);
    const RequestRecord record = stream.read();
    EXPECT_EQ(record.slot(1), Bytes(std::string_view("abc")));
    for (int n = 2; n <= 7; ++n) EXPECT_TRUE(record.slot(n).empty());

    stream.raw() = std::string(1000, '\xFF');  // absurd lengths
    EXPECT_EQ(stream.read().slot(1).size(), 992u);
}

// A body travels back without a copy: with room behind it, slot 1's buffer becomes the
// stream's content, and take() hands that same buffer back. The content is the same as
// write() of a copy gives, with or without room.
TEST(RecordStreamTest, AMovedRecordKeepsItsBodysBuffer) {
    RequestRecord record;
    record.slot(1) = Bytes(std::string(1000, 'b'));
    for (int n = 2; n <= 7; ++n)
        record.slot(n) = Bytes(std::string(static_cast<std::size_t>(n), 's'));
    RecordStream copied;
    ASSERT_TRUE(copied.write(record));

    RequestRecord roomy = record;
    roomy.slot(1).bytes().reserve(2000);
    const char* buffer = roomy.slot(1).data();
    RecordStream stream;
    ASSERT_TRUE(stream.write(std::move(roomy)));
    EXPECT_EQ(stream.raw(), copied.raw());
    EXPECT_EQ(stream.raw().data(), buffer);
    const RequestRecord back = stream.take();
    EXPECT_EQ(back.slots, record.slots);
    EXPECT_EQ(back.slot(1).data(), buffer);
    EXPECT_TRUE(stream.raw().empty());

    RequestRecord tight = record;
    tight.slot(1).bytes().shrink_to_fit();
    ASSERT_TRUE(stream.write(std::move(tight)));
    EXPECT_EQ(stream.raw(), copied.raw());
}

TEST(RecordStreamTest, TakeReadsWhatReadReads) {
    RequestRecord record;
    for (int n = 1; n <= 7; ++n)
        record.slot(n) = Bytes(std::string(static_cast<std::size_t>(n), 'x'));
    RecordStream wellFormed;
    ASSERT_TRUE(wellFormed.write(record));
    const std::string contents[] = {
        wellFormed.raw(),
        std::string("\x10\0\0\0\0\0\0\0abc", 11),  // cut short
        std::string(1000, '\xFF'),                 // absurd lengths
        "abc",                                     // not even one length
        "",
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(testing::PrintToString(content.substr(0, 16)));
        RecordStream stream;
        stream.raw() = content;
        const RequestRecord read = stream.read();
        EXPECT_EQ(stream.take().slots, read.slots);
        EXPECT_TRUE(stream.raw().empty());
    }
}

}  // namespace
}  // namespace sh::web
