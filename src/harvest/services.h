#pragma once

// Where the two outside services live, and how they are asked. Both default to Baidu's
// hosts; the environment variables SITEHARVEST_SEARCH_HOST and SITEHARVEST_SUGGEST_HOST
// ("host" or "host:port") point them elsewhere, for the stand-in server in tests and
// offline demos. Everything after the host in the addresses stays fixed.

#include <optional>

#include "text/text.h"
#include "web/request_details.h"

namespace sh::harvest {

using sh::text::Text;

Text searchHost();
Text suggestHost();

// Time limit in seconds for each request of the search and suggestion handlers; left
// out, the request routine's default (60 s) applies. Set by the command line's
// --timeout and by tests; window thread / main thread only.
std::optional<int> requestTimeout();
void setRequestTimeout(std::optional<int> seconds);

// The proxy for those requests ("http://host:port", "socks5h://host:port", ...); empty,
// the default, connects directly. Set by the command line's --proxy.
Text requestProxy();
void setRequestProxy(const Text& proxy);

// The agent text those requests send in place of the request routine's default; left
// out, the default. Set by the command line's --user-agent. The text must hold no CR,
// LF or other control character.
std::optional<Text> requestUserAgent();
void setRequestUserAgent(std::optional<Text> agent);

// Fetches a service address with the settings above; with none set, exactly a request
// with only the address given (and the time limit). Returns what webRequest returns;
// `details`, when given, receives what became of the request.
sh::text::Bytes requestService(const Text& address, sh::web::RequestDetails* details = nullptr);

}  // namespace sh::harvest
