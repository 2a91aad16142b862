#pragma once

// What a harvest run should list, worked out from what the stand-in serves, so tests of
// the core, the window and the command line all check against one independent account.

#include <set>
#include <string>
#include <vector>

#include "harvest/result_extraction.h"
#include "standin/current_page.h"
#include "standin/search_page.h"
#include "text/codepage.h"

namespace sh::testing {

struct ExpectedRow {
    std::string site;       // as listed: "http://" + host + "/"
    sh::text::Text title;   // GBK, as the list holds it
    int page;               // 1-based result page it came from
};

// A run over pages 1..pages of `keyword` (UTF-8): the first appearance of a site wins; a
// site holding a non-empty exclusion fragment (exact bytes) is dropped but still counts
// as seen; the pages in `missingPages` (failed or timed out) list nothing.
inline std::vector<ExpectedRow> expectedListing(const std::string& keyword, int pages,
                                                const std::vector<std::string>& exclusions = {},
                                                const std::set<int>& missingPages = {}) {
    std::set<std::string> seen;
    std::vector<ExpectedRow> rows;
    for (int page = 1; page <= pages; ++page) {
        if (missingPages.count(page))
            continue;
        for (const auto& result : sh::standin::resultsFor(keyword, page * 10)) {
            const std::string site = "http://" + result.site + "/";
            if (!seen.insert(site).second)
                continue;
            bool excluded = false;
            for (const auto& fragment : exclusions)
                excluded = excluded || (!fragment.empty() && site.find(fragment) != site.npos);
            if (!excluded)
                rows.push_back({site, sh::harvest::cleanTitle(sh::text::gbk(result.titleUtf8)),
                                page});
        }
    }
    return rows;
}

// The same for pages in the service's current markup: a result whose address gives no
// site (a placeholder, none, a relative one) lists nothing and is not seen either.
inline std::vector<ExpectedRow> expectedCurrentListing(
    const std::string& keyword, int pages, const std::vector<std::string>& exclusions = {}) {
    std::set<std::string> seen;
    std::vector<ExpectedRow> rows;
    for (int page = 1; page <= pages; ++page) {
        for (const auto& result : sh::standin::currentResultsFor(keyword, page * 10)) {
            if (result.site.empty() || !seen.insert(result.site).second)
                continue;
            bool excluded = false;
            for (const auto& fragment : exclusions)
                excluded = excluded || (!fragment.empty() && result.site.find(fragment) != std::string::npos);
            if (!excluded)
                rows.push_back({result.site,
                                sh::harvest::titleTail(sh::text::gbk(result.titleText)), page});
        }
    }
    return rows;
}

// "rank|site|title" lines in UTF-8, ranks counted from 0.
inline std::vector<std::string> rowLines(const std::vector<ExpectedRow>& rows) {
    std::vector<std::string> lines;
    for (const auto& row : rows)
        lines.push_back(std::to_string(lines.size()) + "|" + row.site + "|" +
                        sh::text::utf8(row.title));
    return lines;
}

}  // namespace sh::testing
