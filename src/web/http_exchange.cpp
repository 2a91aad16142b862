#include "web/http_exchange.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "text/primitives.h"
#include "web/cookie_jar.h"
#include "web/curl_owner.h"

namespace sh::web {

using namespace sh::text;

namespace {

constexpr const char* kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";
constexpr const char* kDefaultAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr const char* kTrue = "\xD5\xE6";  // "真"

bool contains(const Text& text, const char* word) {
    return findText(text, word, 1, true) >= 1;
}

bool isHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// Control bytes and spaces cannot travel in a request line; everything else goes as the
// caller wrote it.
std::string escapePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool hasHeaderNamed(const std::vector<std::string>& lines, std::string_view name) {
    for (const std::string& line : lines) {
        if (line.size() <= name.size() || (line[name.size()] != ':' && line[name.size()] != ';'))
            continue;
        if (findText(Text(line.substr(0, name.size())), Text(name), 1, true) == 1)
            return true;
    }
    return false;
}

// H as request header lines. A CR or LF anywhere ends a line, so no caller text can
// smuggle a line break into the request; empty lines are dropped (an empty line would
// end the header block). libcurl drops a header whose value is blank, so such a line
// goes in its "Name;" form, which libcurl sends as "Name:".
std::vector<std::string> headerLines(const Text& h) {
    std::vector<std::string> lines;
    std::string_view rest = h.view();
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\r\n");
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos &&
            line.find_first_not_of(" \t", colon + 1) == std::string_view::npos) {
            lines.emplace_back(line.substr(0, colon)).push_back(';');
        } else {
            lines.emplace_back(line);
        }
    }
    return lines;
}

// What libcurl allows in the headers of one response: 300 KiB in all (more ends the
// exchange as a failed receive); a single line over 100 KiB ends it as out of memory.
constexpr std::size_t kLibcurlMaxResponseHeaders = 300 * 1024;
// Room kept behind the body for the other slots of the record on its way back, so that
// the body's buffer can carry the whole record (RecordStream::write).
constexpr std::size_t kReplyHeadroom = 64 * 1024;
// The first buffer of a body whose length the server did not give.
constexpr std::size_t kUnsizedBodyStart = 1u << 20;

struct Transfer {
    CURL* easy = nullptr;
    std::string body;
    std::string headers;
    std::size_t maxBody = kMaxBodyBytes;
    std::size_t headroom = kReplyHeadroom;
    bool sized = false;
    std::size_t announced = 0;  // the length the server gave, when below the cap; else 0
    bool bodyCut = false;
    // Of the response now arriving: its status line came, its empty line did not yet.
    bool inHeaders = false;
    std::size_t headerBytes = 0;
    bool headersOverOurCap = false;
    const std::atomic<bool>* stop = nullptr;
};

// The body's buffer is reserved at the size the body will reach: the length the server
// gave, or else 1 MiB and then the cap. A string that grew as bytes came would double
// its buffer and hold the old one and the new one at once; pages that are reserved but
// never written cost no memory.
void makeRoom(Transfer& transfer, std::size_t needed) {
    if (!transfer.sized) {
        transfer.sized = true;
        curl_off_t length = -1;
        curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > 0 && static_cast<std::uint64_t>(length) < transfer.maxBody)
            transfer.announced = static_cast<std::size_t>(length);
    }
    if (needed + transfer.headroom <= transfer.body.capacity())
        return;
    std::size_t size = transfer.announced;
    if (needed > size)
        size = needed <= kUnsizedBodyStart ? kUnsizedBodyStart : transfer.maxBody;
    // A fresh string gets exactly what it asks for (reserve may double instead).
    std::string grown;
    grown.reserve(std::min(size, transfer.maxBody) + transfer.headroom);
    grown.append(transfer.body);
    transfer.body.swap(grown);
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::size_t room = transfer->maxBody - transfer->body.size();
    const std::size_t kept = bytes < room ? bytes : room;
    try {
        makeRoom(*transfer, transfer->body.size() + kept);
        transfer->body.append(data, kept);
    } catch (...) {
        return 0;
    }
    if (kept < bytes) {
        transfer->bodyCut = true;
        return 0;  // ends the transfer with what was kept
    }
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    // Every response of the exchange (redirects, 100 Continue) starts with its status
    // line; only the final one is kept.
    if (line.substr(0, 5) == "HTTP/") {
        transfer->headers.clear();
        transfer->inHeaders = true;
        transfer->headerBytes = 0;
    }
    transfer->headerBytes += bytes;
    if (line == "\r\n" || line == "\n")
        transfer->inHeaders = false;
    if (transfer->headers.size() + bytes > kMaxHeaderBytes) {
        transfer->headersOverOurCap = true;
        return 0;
    }
    try {
        transfer->headers.append(line);
    } catch (...) {
        return 0;
    }
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* transfer = static_cast<Transfer*>(user);
    return transfer->stop && transfer->stop->load(std::memory_order_relaxed) ? 1 : 0;
}

std::vector<std::string> cookieList(CURL* easy) {
    std::vector<std::string> lines;
    curl_slist* raw = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &raw) != CURLE_OK)
        return lines;
    CurlSlist list(raw);
    for (curl_slist* item = list.get(); item; item = item->next) lines.emplace_back(item->data);
    return lines;
}

// What became of a transfer that libcurl ended with `result`.
RequestDetails::Outcome outcomeOf(CURLcode result, const Transfer& transfer, bool responseStarted) {
    using Outcome = RequestDetails::Outcome;
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.bodyCut))
        return Outcome::Completed;
    // libcurl refuses to grow its request buffer past its cap before anything is sent.
    if (result == CURLE_OUT_OF_MEMORY && !responseStarted)
        return Outcome::RequestTooLarge;
    if (transfer.inHeaders &&
        (transfer.headersOverOurCap || result == CURLE_OUT_OF_MEMORY ||
         (result == CURLE_RECV_ERROR && transfer.headerBytes > kLibcurlMaxResponseHeaders)))
        return Outcome::HeadersTooLarge;
    return Outcome::TransferFailed;
}

// Failure before a request could be sent: no body, no headers, no cookies.
void failEnding(RequestRecord& record) {
    record.slot(1) = {};
    record.slot(2) = {};
    record.slot(6) = {};
}

// The exchange a record asks for, worked out before anything is sent.
struct Request {
    Text address;
    Text method;
    bool useProxy = false;
    Text proxy;
    Bytes postData;
    bool follow = true;
    bool secure = false;
    bool cookieHandling = true;
    Text host;
    bool hostUsable = false;
    int port = 80;
    std::string path;  // as it goes into the request line
    Text agent;
    std::vector<std::string> lines;  // header lines for libcurl
};

Request prepare(const RequestRecord& record) {
    Request r;
    r.address = toText(record.slot(1));
    r.method = toText(record.slot(2));
    r.useProxy = !record.slot(3).empty();
    r.proxy = toText(record.slot(3));
    const Text headers = toText(record.slot(4));
    r.postData = record.slot(5);
    const Text cookies = toText(record.slot(6));
    r.follow = toText(record.slot(7)) == Text(kTrue);

    r.secure = findText(toLower(r.address), "https://") >= 1;
    r.host = hostOf(r.address);
    r.hostUsable =
        !r.host.empty() && std::all_of(r.host.view().begin(), r.host.view().end(), isHostChar);
    r.path = escapePath(pathOf(r.address).view());
    r.agent = agentText(headers);
    // A caller's own cookie text switches the client's cookie handling off; a secure
    // exchange always keeps it on and always follows redirects.
    r.cookieHandling = trimText(cookies).empty();
    if (r.secure) {
        r.cookieHandling = true;
        r.follow = true;
    }
    r.port = r.secure ? 443 : portOf(r.address);
    if (r.port <= 0 || r.port > 65535)
        r.port = 80;  // the service's default port

    r.lines = headerLines(assembleHeaders(headers, r.address, r.method, r.postData, cookies));
    // libcurl adds lines of its own that H does not hold: switch them off.
    for (const char* name : {"Accept", "Content-Type", "Expect"})
        if (!hasHeaderNamed(r.lines, name))
            r.lines.push_back(std::string(name) + ":");
    return r;
}

// Bytes of one of our header lines as libcurl sends it: "Name: value" as it stands,
// "Name;" as "Name:"; lines with nothing after the colon, and lines with neither colon
// nor semicolon, are not sent.
std::size_t sentLineBytes(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
        if (line.find_first_not_of(" \t", colon + 1) == std::string_view::npos)
            return 0;
        return line.size() + 2;
    }
    if (line.size() > 1 && line.back() == ';' && line.find(';') == line.size() - 1)
        return line.size() + 2;
    return 0;
}

std::size_t headBytes(const Request& r) {
    std::size_t bytes =
        r.method.size() + 1 + r.path.size() + std::string_view(" HTTP/1.1\r\n").size();
    if (!hasHeaderNamed(r.lines, "Host")) {
        bytes += std::string_view("Host: \r\n").size() + r.host.size();
        if (r.port != (r.secure ? 443 : 80))
            bytes += 1 + std::to_string(r.port).size();
    }
    if (!r.agent.empty())
        bytes += std::string_view("User-Agent: \r\n").size() + r.agent.size();
    for (const std::string& line : r.lines) bytes += sentLineBytes(line);
    return bytes + 2;  // the empty line that ends the head
}

void exchange(RequestRecord& record, const ExchangeOptions& options, RequestDetails& details) {
    const Request r = prepare(record);
    details.outcome = RequestDetails::Outcome::NotSent;
    if (!r.hostUsable)
        return failEnding(record);
    if (!ensureCurlReady())
        return failEnding(record);
    CurlEasy easy(curl_easy_init());
    if (!easy)
        return failEnding(record);

    CurlSlist headerList;
    for (const std::string& line : r.lines)
        if (!appendLine(headerList, line.c_str()))
            return failEnding(record);
    CurlSlist connectTo;
    for (const std::string& entry : options.connectTo)
        if (!appendLine(connectTo, entry.c_str()))
            return failEnding(record);

    Transfer transfer;
    transfer.easy = easy.get();
    transfer.maxBody = options.maxBodyBytes;
    transfer.stop = options.stop;
    for (int n : {3, 4, 5, 7}) transfer.headroom += 8 + record.slot(n).size();

    char error[CURL_ERROR_SIZE] = "";
    const std::string url = std::string(r.secure ? "https://" : "http://") + r.host.bytes() + ":" +
                            std::to_string(r.port) + r.path;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // The proxy list "http=..." covers plain-HTTP requests only; a secure one, and any
    // request without a proxy, connects directly whatever the environment says.
    if (r.useProxy && !r.secure) {
        curl_easy_setopt(e, CURLOPT_PROXY, r.proxy.data());
        curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    } else {
        curl_easy_setopt(e, CURLOPT_PROXY, "");
    }
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!r.agent.empty())
        curl_easy_setopt(e, CURLOPT_USERAGENT, r.agent.data());
    if (r.method == Text("POST")) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(r.postData.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, r.postData.data());
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, r.follow ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
    // http -> https is followed; a secure exchange is never led back to plain HTTP.
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, r.secure ? "https" : "http,https");
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty())
        curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
    if (connectTo)
        curl_easy_setopt(e, CURLOPT_CONNECT_TO, connectTo.get());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    std::vector<std::string> seeded;
    if (r.cookieHandling) {
        curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
        seeded = CookieJar::instance().snapshot();
        for (const std::string& line : seeded)
            curl_easy_setopt(e, CURLOPT_COOKIELIST, line.c_str());
    }
    // A failed transfer does not fail the exchange: it shows as what it delivered, and
    // its cause goes into the details.
    const CURLcode result = curl_easy_perform(e);
    if (r.cookieHandling)
        CookieJar::instance().merge(seeded, cookieList(e));
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &details.status);
    const bool responseStarted = !transfer.headers.empty() || details.status != 0;
    details.outcome = outcomeOf(result, transfer, responseStarted);
    details.bodyCut = transfer.bodyCut;
    if (details.outcome != RequestDetails::Outcome::Completed)
        details.error = error[0] ? error : curl_easy_strerror(result);
    easy.reset();

    const Text rawHeaders(transfer.headers);
    SetCookies set = collectSetCookies(rawHeaders);
    for (const auto& [name, data] : set.cookies)
        CookieJar::instance().store(r.host.view(), name.view(), data.view());
    record.slot(1) = Bytes(std::move(transfer.body));
    record.slot(2) = toBytes(set.text);
    record.slot(6) = toBytes(rawHeaders);
}

}  // namespace

void requestWorker(RecordStream& stream, const ExchangeOptions& options,
                   RequestDetails* details) noexcept {
    RequestRecord record = stream.take();
    RequestDetails found;
    try {
        exchange(record, options, found);
    } catch (...) {
        failEnding(record);
        found = {};
    }
    stream.write(std::move(record));
    if (details) {
        try {
            *details = std::move(found);
        } catch (...) {
        }
    }
}

std::size_t requestHeadBytes(const RequestRecord& record) {
    return headBytes(prepare(record));
}

Text hostOf(const Text& address) {
    Text host = replaceText(address, "https://", {}, {}, {}, true);
    host = replaceText(host, "http://", {}, {}, {}, true);
    if (const int slash = findText(host, "/"); slash >= 1)
        host = leftText(host, slash - 1);
    if (const int colon = findText(host, ":"); colon >= 1)
        host = leftText(host, colon - 1);
    return toLower(host);
}

Text pathOf(const Text& address) {
    const int at = findText(address, hostOf(address), 1, true);
    const int slash = findText(address, "/", at >= 1 ? at : 1, true);
    if (slash < 1)
        return "/";
    return midText(address, slash, textLength(address) - slash + 1);
}

int portOf(const Text& address) {
    Text authority;
    if (compareText(leftText(address, 7), "http://", false) == 0) {
        const int slash = findText(address, "/", 8);
        authority =
            slash >= 1 ? midText(address, 8, slash - 8) : midText(address, 8, textLength(address));
    } else {
        const int slash = findText(address, "/");
        authority = slash >= 1 ? leftText(address, slash - 1) : address;
    }
    const int colon = findText(authority, ":");
    const Text portText =
        colon >= 1 ? midText(authority, colon + 1, textLength(authority)) : Text("80");
    return toInteger(toNumber(portText));
}

Text agentText(const Text& headers) {
    if (!contains(headers, "User-Agent:"))
        return kDefaultAgent;
    return trimText(textBetween(headers, "User-Agent:", "\r\n", 1, false));
}

Text assembleHeaders(const Text& headers, const Text& address, const Text& method,
                     const Bytes& postData, const Text& cookies) {
    std::string h = headers.bytes();
    auto has = [&h](const char* word) { return contains(Text(h), word); };
    if (!has("Accept"))
        h += kDefaultAccept;
    if (has("RefererNo")) {
        h = replaceText(Text(h), "RefererNo", {}, 1, 1, true).bytes();
    } else if (!has("Referer")) {
        h.append("Referer: ").append(address.view()).append("\r\n");
    }
    if (!has("Accept-Language"))
        h += "Accept-Language: zh-cn\r\n";
    if (method == Text("POST") && !postData.empty()) {
        if (!has("Content-Type"))
            h += "Content-Type: application/x-www-form-urlencoded\r\n";
        if (!has("Content-Length"))
            h.append("Content-Length: ").append(std::to_string(postData.size())).append("\r\n");
    }
    if (!cookies.empty())
        h.append("Cookie: ").append(cookies.view()).append("\r\n\r\n");
    return Text(std::move(h));
}

SetCookies collectSetCookies(const Text& rawHeaders) {
    SetCookies result;
    if (!contains(rawHeaders, "Set-Cookie: "))
        return result;
    std::string text;
    std::string_view rest = rawHeaders.view();
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest = lf == std::string_view::npos ? std::string_view{} : rest.substr(lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const Text whole(line);
        if (!contains(whole, "Set-Cookie: "))
            continue;
        const Text cookie = midText(whole, 13, textLength(whole));
        text.append(textBefore(cookie, ";").view()).push_back(';');
        const int eq = findText(cookie, "=");
        if (eq >= 1)
            result.cookies.emplace_back(leftText(cookie, eq - 1),
                                        midText(cookie, eq + 1, textLength(cookie)));
        else
            result.cookies.emplace_back(Text(), cookie);
    }
    result.text = Text(std::move(text));
    return result;
}

}  // namespace sh::web
