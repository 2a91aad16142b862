#include "harvest/services.h"

#include <cstdlib>

#include "text/primitives.h"
#include "web/web_request.h"

namespace sh::harvest {

namespace {

std::optional<int> g_timeout;
Text g_proxy;
std::optional<Text> g_agent;

Text hostFromEnvironment(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return Text(value && *value ? value : fallback);
}

}  // namespace

Text searchHost() {
    return hostFromEnvironment("SITEHARVEST_SEARCH_HOST", "m.baidu.com");
}

Text suggestHost() {
    return hostFromEnvironment("SITEHARVEST_SUGGEST_HOST", "suggestion.baidu.com");
}

std::optional<int> requestTimeout() {
    return g_timeout;
}
void setRequestTimeout(std::optional<int> seconds) {
    g_timeout = seconds;
}

Text requestProxy() {
    return g_proxy;
}
void setRequestProxy(const Text& proxy) {
    g_proxy = proxy;
}

std::optional<Text> requestUserAgent() {
    return g_agent;
}
void setRequestUserAgent(std::optional<Text> agent) {
    g_agent = std::move(agent);
}

sh::text::Bytes requestService(const Text& address, sh::web::RequestDetails* details) {
    // The request routine takes the agent from a caller's "User-Agent:" line.
    const Text headers =
        g_agent ? sh::text::concatText("User-Agent: ", *g_agent, "\r\n") : Text();
    return sh::web::webRequest(address, {}, g_proxy, headers, {}, {}, g_timeout, nullptr, {},
                               nullptr, {}, details);
}

}  // namespace sh::harvest
