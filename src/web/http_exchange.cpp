#include "web/http_exchange.h"

#include <algorithm>
#include <string_view>

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

struct Transfer {
    std::string body;
    std::string headers;
    std::size_t maxBody = kMaxBodyBytes;
    const std::atomic<bool>* stop = nullptr;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::size_t room = transfer->maxBody - transfer->body.size();
    try {
        transfer->body.append(data, bytes < room ? bytes : room);
    } catch (...) {
        return 0;
    }
    return bytes <= room ? bytes : 0;  // 0 ends the transfer with what was kept
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    // Every response of the exchange (redirects, 100 Continue) starts with its status
    // line; only the final one is kept.
    if (line.substr(0, 5) == "HTTP/")
        transfer->headers.clear();
    if (transfer->headers.size() + bytes > kMaxHeaderBytes)
        return 0;
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

// Failure before a request could be sent: no body, no headers, no cookies.
void failEnding(RequestRecord& record) {
    record.slot(1) = {};
    record.slot(2) = {};
    record.slot(6) = {};
}

void exchange(RequestRecord& record, const ExchangeOptions& options) {
    const Text address = toText(record.slot(1));
    const Text method = toText(record.slot(2));
    const bool useProxy = !record.slot(3).empty();
    const Text proxy = toText(record.slot(3));
    const Text headers = toText(record.slot(4));
    const Bytes postData = record.slot(5);
    const Text cookies = toText(record.slot(6));
    bool follow = toText(record.slot(7)) == Text(kTrue);

    const bool secure = findText(toLower(address), "https://") >= 1;
    const Text host = hostOf(address);
    const Text path = pathOf(address);
    const Text agent = agentText(headers);
    // A caller's own cookie text switches the client's cookie handling off; a secure
    // exchange always keeps it on and always follows redirects.
    bool cookieHandling = trimText(cookies).empty();
    if (secure) {
        cookieHandling = true;
        follow = true;
    }
    int port = secure ? 443 : portOf(address);
    if (port <= 0 || port > 65535)
        port = 80;  // the service's default port

    if (!ensureCurlReady())
        return failEnding(record);
    CurlEasy easy(curl_easy_init());
    if (!easy)
        return failEnding(record);

    const bool isPost = method == Text("POST");
    const Text h = assembleHeaders(headers, address, method, postData, cookies);
    std::vector<std::string> lines = headerLines(h);
    // libcurl adds lines of its own that H does not hold: switch them off.
    for (const char* name : {"Accept", "Content-Type", "Expect"})
        if (!hasHeaderNamed(lines, name))
            lines.push_back(std::string(name) + ":");
    CurlSlist headerList;
    for (const std::string& line : lines)
        if (!appendLine(headerList, line.c_str()))
            return failEnding(record);
    CurlSlist connectTo;
    for (const std::string& entry : options.connectTo)
        if (!appendLine(connectTo, entry.c_str()))
            return failEnding(record);

    Transfer transfer;
    transfer.maxBody = options.maxBodyBytes;
    transfer.stop = options.stop;

    const bool hostUsable =
        !host.empty() && std::all_of(host.view().begin(), host.view().end(), isHostChar);
    std::vector<std::string> seeded;
    if (hostUsable) {
        const std::string url = std::string(secure ? "https://" : "http://") + host.bytes() + ":" +
                                std::to_string(port) + escapePath(path.view());
        CURL* e = easy.get();
        curl_easy_setopt(e, CURLOPT_URL, url.c_str());
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        // The proxy list "http=..." covers plain-HTTP requests only; a secure one, and
        // any request without a proxy, connects directly whatever the environment says.
        if (useProxy && !secure) {
            curl_easy_setopt(e, CURLOPT_PROXY, proxy.data());
            curl_easy_setopt(e, CURLOPT_NOPROXY, "");
        } else {
            curl_easy_setopt(e, CURLOPT_PROXY, "");
        }
        curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (!agent.empty())
            curl_easy_setopt(e, CURLOPT_USERAGENT, agent.data());
        if (isPost) {
            curl_easy_setopt(e, CURLOPT_POST, 1L);
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(postData.size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, postData.data());
        } else {
            curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        }
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList.get());
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
        // http -> https is followed; a secure exchange is never led back to plain HTTP.
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
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
        if (cookieHandling) {
            curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
            seeded = CookieJar::instance().snapshot();
            for (const std::string& line : seeded)
                curl_easy_setopt(e, CURLOPT_COOKIELIST, line.c_str());
        }
        // The outcome is not examined: a failed transfer shows as what it delivered.
        curl_easy_perform(e);
        if (cookieHandling)
            CookieJar::instance().merge(seeded, cookieList(e));
    }
    easy.reset();

    const Text rawHeaders(transfer.headers);
    SetCookies set = collectSetCookies(rawHeaders);
    for (const auto& [name, data] : set.cookies)
        CookieJar::instance().store(host.view(), name.view(), data.view());
    record.slot(1) = Bytes(std::move(transfer.body));
    record.slot(2) = toBytes(set.text);
    record.slot(6) = toBytes(rawHeaders);
}

}  // namespace

void requestWorker(RecordStream& stream, const ExchangeOptions& options) noexcept {
    RequestRecord record = stream.read();
    try {
        exchange(record, options);
    } catch (...) {
        failEnding(record);
    }
    stream.write(record);
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
