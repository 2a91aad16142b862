#include "web/curl_owner.h"

namespace sh::web {

bool ensureCurlReady() noexcept {
    // Never paired with curl_global_cleanup: an abandoned worker may still be inside
    // libcurl while the process exits.
    static const bool ready = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    return ready;
}

bool appendLine(CurlSlist& list, const char* line) noexcept {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (!grown)
        return false;
    // curl_slist_append returns the head, which is the old head when one existed.
    (void)list.release();
    list.reset(grown);
    return true;
}

}  // namespace sh::web
