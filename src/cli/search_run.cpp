#include "cli/search_run.h"

#include <thread>

#include "harvest/harvest_run.h"
#include "harvest/pattern_matcher.h"
#include "harvest/result_extraction.h"
#include "harvest/seen_set.h"
#include "harvest/services.h"
#include "text/codepage.h"
#include "text/primitives.h"
#include "web/web_request.h"

namespace sh::cli {

bool isFailedReply(const Bytes& reply) {
    return reply.empty() || reply == sh::web::timeoutText();
}

void RequestPacer::beforeRequest() {
    if (!m_first && m_delay.count() > 0)
        std::this_thread::sleep_for(m_delay);
    m_first = false;
}

KeywordHarvest harvestPages(const Text& keyword, int pages, const ExclusionList& exclusions,
                            RequestPacer& pacer, const ProgressFunction& progress) {
    KeywordHarvest harvest;
    harvest.keyword = keyword;
    sh::harvest::PatternMatcher matcher;
    sh::harvest::SeenSet seen;

    for (int page = 1; page <= pages; ++page) {
        if (progress)
            progress(page, pages, harvest.rows.rowCount());
        pacer.beforeRequest();
        const Bytes reply = sh::web::webRequest(sh::harvest::searchAddress(keyword, page), {}, {},
                                                {}, {}, {}, sh::harvest::requestTimeout());
        ++harvest.requests;
        if (isFailedReply(reply))
            ++harvest.failures;

        // Failed replies go through the extraction too, as in the window: they hold no
        // match, so they add no row.
        const Text pageText = sh::text::utf8ToGbk(sh::text::toText(reply));
        sh::harvest::extractResults(pageText, matcher, seen, exclusions, harvest.rows);
        harvest.pageOfRow.resize(static_cast<std::size_t>(harvest.rows.rowCount()), page);
    }
    return harvest;
}

}  // namespace sh::cli
