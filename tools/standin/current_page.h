#pragma once

// Result pages in the search service's current markup, and its verification page.
//
// In the current markup each result is an element with the classes "c-result" and
// "result"; its address is the "mu" member of its data-log attribute and its title the
// text of a title element inside it. Pages are one single long line, mostly script.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sh::standin {

// One result as the stand-in lists it in the current markup.
struct CurrentResult {
    // The address in data-log's "mu" member (UTF-8), as written there; for some results
    // one of the service's placeholders, or nothing at all (`hasAddress` false).
    std::string address;
    bool hasAddress = true;
    // What the program is expected to list: "<scheme>://<host>[:<port>]/", scheme and host
    // in lower case, a default port left out; empty when the result gives no row.
    std::string site;
    // The title element's content as written (entities, <em>, line breaks); empty with
    // `hasTitle` false when the result has no title element.
    std::string titleHtml;
    bool hasTitle = true;
    // Its text: tags removed, entities decoded, white space folded to single spaces and
    // trimmed (UTF-8). The program then converts it to GBK and keeps its tail.
    std::string titleText;
};

// The ten results of the page at offset `pn` for `keyword` (UTF-8). Deterministic, and
// built so that the sites of one page come again on the next (result k of page p uses
// the host numbered 7p + k). Planned oddities: https sites, ports (kept, or dropped as
// the scheme's default), host and scheme in upper case, the older single-quoted data-log
// on even pages and JSON written with &quot; on odd ones, escaped slashes, a repeated
// site, placeholders of the service, a result without an address, titles found through
// each kind of title element, entity-encoded titles, and titles longer than 30 GBK bytes.
std::vector<CurrentResult> currentResultsFor(std::string_view keyword, int pn);

// The whole page: one line, a long script before and after the results, and elements
// that look like results but are not (a class "c-result-content", a result written
// inside the script). `scriptBytes` is the rough size of the script in front.
std::string currentSearchPage(std::string_view keyword, int pn,
                              std::size_t scriptBytes = 64 * 1024);

// The path the service redirects a blocked client to, and the page it answers there:
// the markers of the real one (its title "百度安全验证", an address under
// wappass.baidu.com/static/captcha/, the text "网络不给力，请稍后重试", its scripts).
inline constexpr std::string_view kVerificationPath = "/static/captcha/tuxing.html";
std::string verificationLocation(std::string_view blockedTarget);
std::string verificationPage();

}  // namespace sh::standin
