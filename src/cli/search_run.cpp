#include "cli/search_run.h"

#include <thread>

#include "harvest/pattern_matcher.h"
#include "harvest/seen_set.h"
#include "web/http_exchange.h"

namespace sh::cli {

namespace {

using Outcome = sh::web::RequestDetails::Outcome;

std::string mebibytes(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

}  // namespace

std::vector<std::string> pageNotes(const sh::harvest::PageOutcome& outcome) {
    std::vector<std::string> notes;
    const sh::web::RequestDetails& request = outcome.request;
    if (outcome.failed) {
        const std::string why = request.error.empty() ? "" : " (" + request.error + ")";
        switch (request.outcome) {
            case Outcome::TimedOut:
                notes.push_back("no reply within the time limit");
                break;
            case Outcome::HeadersTooLarge:
                notes.push_back(
                    "the reply's headers passed the size libcurl accepts (300 KiB in all, 100 "
                    "KiB a line), so its body was not read" +
                    why);
                break;
            case Outcome::RequestTooLarge:
            case Outcome::NotSent:
                notes.push_back("the request could not be sent" + why);
                break;
            case Outcome::TransferFailed:
                notes.push_back("the transfer failed" + why);
                break;
            case Outcome::Completed:
                notes.push_back("the reply was empty (HTTP status " +
                                std::to_string(request.status) + ")");
                break;
        }
    }
    if (request.bodyCut)
        notes.push_back("the reply passed the " + mebibytes(sh::web::kMaxBodyBytes) +
                        " cap; only its first " + mebibytes(sh::web::kMaxBodyBytes) +
                        " were read");
    if (outcome.resultsCut)
        notes.push_back("the page lists more results than are read of one page; the rest of "
                        "it was not read");
    if (outcome.linesGivenUp > 0)
        notes.push_back(std::to_string(outcome.linesGivenUp) +
                        (outcome.linesGivenUp == 1 ? " line was" : " lines were") +
                        " too costly to search and given up from where the search stalled; "
                        "results later on " +
                        (outcome.linesGivenUp == 1 ? "it" : "them") + " are missing");
    return notes;
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
        const sh::harvest::PageOutcome outcome =
            sh::harvest::harvestPage(keyword, page, matcher, seen, exclusions, harvest.rows);
        ++harvest.requests;
        if (outcome.failed)
            ++harvest.failures;
        if (outcome.failed &&
            outcome.request.outcome == sh::web::RequestDetails::Outcome::HeadersTooLarge)
            ++harvest.oversizedHeaders;
        for (std::string& note : pageNotes(outcome))
            harvest.notes.push_back("page " + std::to_string(page) + ": " + std::move(note));
        harvest.pageOfRow.resize(static_cast<std::size_t>(harvest.rows.rowCount()), page);
        if (outcome.blocked) {
            harvest.blockedPage = page;
            break;
        }
    }
    return harvest;
}

}  // namespace sh::cli
