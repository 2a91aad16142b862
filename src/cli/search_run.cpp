#include "cli/search_run.h"

#include <thread>

#include "harvest/pattern_matcher.h"
#include "harvest/seen_set.h"

namespace sh::cli {

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
        const sh::harvest::PageOutcome outcome =
            sh::harvest::harvestPage(keyword, page, matcher, seen, exclusions, harvest.rows);
        ++harvest.requests;
        if (outcome.failed)
            ++harvest.failures;
        harvest.pageOfRow.resize(static_cast<std::size_t>(harvest.rows.rowCount()), page);
        if (outcome.blocked) {
            harvest.blockedPage = page;
            break;
        }
    }
    return harvest;
}

}  // namespace sh::cli
