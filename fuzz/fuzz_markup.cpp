// Any bytes as a result page for the reader of the service's current markup, and as a
// data-log value and an address for its two small parsers. Whatever comes in, a listed
// site is "<scheme>://<host>/" and a title at most 30 bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "harvest/current_markup.h"
#include "harvest/verification_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sh::harvest;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const MarkupResult& result : readCurrentMarkup(bytes)) {
        const std::string& site = result.site.bytes();
        if (result.title.size() > 30 || site.empty() || site.back() != '/' ||
            !(site.starts_with("http://") || site.starts_with("https://")))
            __builtin_trap();
    }
    static_cast<void>(isVerificationPage(bytes));
    if (const auto value = dataLogMember(bytes.substr(0, 4096), "mu")) {
        const std::string site = siteOfAddress(*value);
        if (!site.empty() && site.back() != '/')
            __builtin_trap();
    }
    const std::string site = siteOfAddress(bytes.substr(0, 512));
    if (!site.empty() && site.back() != '/')
        __builtin_trap();
    return 0;
}
