#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sh::standin {

// One result as the stand-in lists it on a search page.
struct StandinResult {
    // The host shown under the result, e.g. "www.shop14.example"; may be empty, may
    // differ from another result's host only in letter case. The program is expected
    // to list it as "http://" + site + "/".
    std::string site;
    // The title exactly as it stands in the markup (UTF-8): may hold <em> tags in any
    // letter case, "&amp;" and the escaped keyword.
    std::string titleHtml;
    // titleHtml with every <em> and </em> removed (any letter case) and nothing else
    // changed, entities included: the title the program keeps before it cuts it.
    std::string titleUtf8;
};

inline constexpr int kResultsPerPage = 10;

// The ten results of the page at offset `pn` for `keyword` (UTF-8). Deterministic:
// the sites depend only on pn (result k of page p = pn / 10 lists the site numbered
// 7p + k, so the last three of one page come again first on the next), apart from a
// few planned oddities: on pages with p % 3 == 0 the last result repeats the fifth
// one's site, on pages with p % 4 == 2 the sixth result has an empty site, on pages
// with p % 5 == 1 the seventh result lists the first one's host in upper case.
// Titles mix ASCII, Chinese, <em>/<EM> around the keyword and titles longer than
// 30 GBK bytes; most end in " [p.k]" so repeated sites get different titles.
// The keyword is HTML-escaped (& < > ") and CR/LF become spaces, so that whatever
// it holds, each result stays one line of markup.
std::vector<StandinResult> resultsFor(std::string_view keyword, int pn);

// The whole result page (UTF-8, LF line ends): page chrome on lines of its own and
// one line per result of resultsFor(keyword, pn) in the markup the result pattern
// matches:  <div ...><a ...><span class="num">N</span>&#160;TITLE</a><div class="abs">
// ABSTRACT<br /><span class="site">SITE</span> ...</div></div>
std::string searchPage(std::string_view keyword, int pn);

// The keyword as it is written into the page (see resultsFor).
std::string escapeHtml(std::string_view text);

// The made-up host numbered `number`: "www.shop<n>.example" or "m.site<n>.test".
std::string hostFor(int number);

}  // namespace sh::standin
