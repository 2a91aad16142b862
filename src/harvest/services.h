#pragma once

// Where the two outside services live. Both default to Baidu's hosts; the environment
// variables SITEHARVEST_SEARCH_HOST and SITEHARVEST_SUGGEST_HOST ("host" or
// "host:port") point them elsewhere, for the stand-in server in tests and offline demos.
// Everything after the host in the addresses stays fixed.

#include <optional>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;

Text searchHost();
Text suggestHost();

// Time limit in seconds for each request of the search and suggestion handlers; left
// out, the request routine's default (60 s) applies. Set by the command line's
// --timeout and by tests; window thread / main thread only.
std::optional<int> requestTimeout();
void setRequestTimeout(std::optional<int> seconds);

}  // namespace sh::harvest
