#pragma once

// The program's only way to fetch a web address: one HTTP exchange on a worker thread
// under a time limit, while the calling thread keeps its events flowing through
// currentPump().

#include <cstddef>
#include <optional>

#include "text/text.h"
#include "web/request_details.h"

namespace sh::web {

using sh::text::Bytes;
using sh::text::Text;

// GBK:
// "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。"
const Bytes& timeoutText();

// Returns the response body; the time-out text when the limit (超时返回 seconds, 60 when
// left out) passes first, or when the program is closing; empty Bytes for a blank
// address or when nothing could be fetched. HTTP error statuses are no failure: their
// body comes back like any other.
//
// An address without a lower-case "http://" or "https://" in front gets "http://".
// method 1 sends POST (with postData), anything else GET. A non-empty proxy is used for
// plain-HTTP requests only. Any "https://" in the address makes the request secure: TLS
// on port 443, redirects always followed.
//
// The out-parameters are written only when the worker ended within the limit: the raw
// headers of the final response, and the cookie text "a=1;b=2;" it set.
// conversion 1: body UTF-8 -> GBK; 2: Big5 -> simplified GBK (both stop at the first NUL
// of the body); else the body's bytes unconverted. The time-out text is never converted.
//
// Events of the calling thread are dispatched while it waits, so other handlers, even
// another webRequest, may run inside this call. A worker whose caller gave up is told to
// stop and ends within about a second; its late result goes nowhere.
//
// details, our own addition and always written when given, says what became of the
// request: why nothing came back (time-out, a request or response headers over
// libcurl's caps, a failed transfer) and whether the body was cut at kMaxBodyBytes.
// The body itself is handed back without a copy; with a conversion, the converted text
// is the only copy kept.
Bytes webRequest(const Text& address, std::optional<int> method = {}, const Text& proxy = {},
                 const Text& headers = {}, const Bytes& postData = {}, const Text& cookies = {},
                 std::optional<int> 超时返回 = {}, Text* responseHeaders = nullptr,
                 std::optional<int> conversion = {}, Text* responseCookies = nullptr,
                 std::optional<bool> followRedirects = {},
                 RequestDetails* details = nullptr) noexcept;

// Bytes of the head of the request that webRequest would send for these arguments
// straight to the server (request line, Host, User-Agent, header lines, the empty line);
// 0 for a blank address. Cookies added from the store, and a POST's body, are not
// counted.
std::size_t requestHeadBytes(const Text& address, std::optional<int> method = {},
                             const Text& headers = {}, const Bytes& postData = {},
                             const Text& cookies = {}) noexcept;

// Whether such a request stays within libcurl's cap on a request head
// (kMaxRequestHeadBytes), so it can be sent at all; a keyword long enough to break it
// (some 170 KB of ASCII, which percent-encoding triples, in the address and its Referer
// line) can be refused before any fetch. False for a blank address.
bool requestFits(const Text& address, std::optional<int> method = {}, const Text& headers = {},
                 const Bytes& postData = {}, const Text& cookies = {}) noexcept;

// Worker threads still running, abandoned ones included (tests and diagnostics).
int runningWorkers() noexcept;

}  // namespace sh::web
