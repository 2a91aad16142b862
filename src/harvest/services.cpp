#include "harvest/services.h"

#include <cstdlib>

namespace sh::harvest {

namespace {

std::optional<int> g_timeout;

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

}  // namespace sh::harvest
