#pragma once

// One HTTP exchange on a worker thread: the body of every worker that webRequest starts.
// libcurl does the transfer; the behaviour each request asks of the client (agent, header
// lines, redirects, cookie handling, proxy) is fixed here.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "text/text.h"
#include "web/request_details.h"
#include "web/request_record.h"

namespace sh::web {

using sh::text::Text;

// The largest body kept; the transfer stops there and the body is what was read so far.
inline constexpr std::size_t kMaxBodyBytes = 64u << 20;
// Headers of one response beyond this size end the exchange as a failed read. (libcurl
// stops at 300 KiB before that.)
inline constexpr std::size_t kMaxHeaderBytes = 1u << 20;
inline constexpr long kMaxRedirects = 30;
// libcurl builds the head of a request (request line, header lines, the empty line) in
// a buffer that holds at most this many bytes; a longer one is never sent.
inline constexpr std::size_t kMaxRequestHeadBytes = (1u << 20) - 1;

struct ExchangeOptions {
    // Set by the caller that gave up; the transfer then aborts at its next progress call
    // (libcurl makes one at least about once a second).
    const std::atomic<bool>* stop = nullptr;
    // For tests only: CURLOPT_CONNECT_TO entries ("host:443:127.0.0.1:port") and a CA
    // bundle to trust instead of the system's, so a loopback TLS server can stand in
    // for port 443 without weakening the rules that production requests follow.
    std::vector<std::string> connectTo;
    std::string caFile;
    std::size_t maxBodyBytes = kMaxBodyBytes;
};

// Reads the record from the start of the stream, performs the exchange and writes the
// record back over the stream: slot 1 the body (empty when nothing could be fetched),
// slot 2 the cookie text ("a=1;b=2;"), slot 6 the raw headers of the final response
// (empty when none arrived). details, when given, receives what became of the exchange
// (never TimedOut). Never throws; safe to run on any number of threads at once.
void requestWorker(RecordStream& stream, const ExchangeOptions& options = {},
                   RequestDetails* details = nullptr) noexcept;

// Bytes of the request head that the exchange for this record (as webRequest builds it)
// sends straight to a server: request line, Host, User-Agent, the header lines and the
// empty line after them. What libcurl adds from the cookie store, and a POST's body, are
// not counted, so a head can still turn out too large by those.
std::size_t requestHeadBytes(const RequestRecord& record);

// Host name in lower case, without scheme, port or path.
Text hostOf(const Text& address);
// Path with query as sent in the request line; "/" when the address has none.
Text pathOf(const Text& address);
// Port of a plain-HTTP address: 80 unless it names one; 0 when the port is no number.
int portOf(const Text& address);

// The User-Agent value sent for these caller headers (the caller's own, trimmed, or the
// default); empty when the caller's "User-Agent:" has no CR LF after it.
Text agentText(const Text& headers);

// The header text H sent with the request: the caller's headers followed by the default
// lines they lack, appended with nothing in between.
Text assembleHeaders(const Text& headers, const Text& address, const Text& method,
                     const Bytes& postData, const Text& cookies);

// The cookie text "name=value;" per "Set-Cookie: " line of raw headers, and the
// (name, data) pairs those lines store.
struct SetCookies {
    Text text;
    std::vector<std::pair<Text, Text>> cookies;
};
SetCookies collectSetCookies(const Text& rawHeaders);

}  // namespace sh::web
