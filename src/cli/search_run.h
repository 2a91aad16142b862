#pragma once

// The search command's harvest: each keyword is fetched page by page exactly as the
// window's search button does it (same addresses, offsets from 10, the same extraction,
// seen set and exclusion list), and the page that gave each row is noted.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "harvest/exclusion_list.h"
#include "harvest/harvest_run.h"
#include "harvest/result_list.h"
#include "text/text.h"

namespace sh::cli {

using sh::harvest::ExclusionList;
using sh::harvest::isFailedReply;
using sh::harvest::ResultList;
using sh::text::Bytes;
using sh::text::Text;

// One keyword's run: its own seen set, ranks from 0.
struct KeywordHarvest {
    Text keyword;                // GBK
    ResultList rows;             // rank, site, title (GBK), as the window lists them
    std::vector<int> pageOfRow;  // 1-based page of each row, parallel to rows
    int requests = 0;
    int failures = 0;     // requests that gave nothing: an error or the time-out text
    int blockedPage = 0;  // the page the service answered with its verification page; 0: none
    // Failed requests whose reply headers passed the size libcurl accepts.
    int oversizedHeaders = 0;
    // What went wrong or was cut short on a page, one line each ("page 3: ..."), for
    // --verbose.
    std::vector<std::string> notes;
};

// Keeps a pause between two consecutive requests, also across keywords; none before
// the first.
class RequestPacer {
public:
    explicit RequestPacer(std::chrono::milliseconds delay) : m_delay(delay) {}
    void beforeRequest();

private:
    std::chrono::milliseconds m_delay;
    bool m_first = true;
};

// What --verbose says about one page: why it failed, whether its body was cut at the
// cap, whether lines were given up. Nothing for a page that went well.
std::vector<std::string> pageNotes(const sh::harvest::PageOutcome& outcome);

// Called before each page is fetched: page (1-based), pages, rows listed so far.
using ProgressFunction = std::function<void(int page, int pages, int rows)>;

// Harvests pages 1..pages of a GBK keyword. Each request uses the request settings of
// sh::harvest (time limit, proxy, agent). A failed page adds no row and is counted in
// `failures`; a page that is the service's verification page ends the run there
// (`blockedPage`), since every further request would only deepen the block.
KeywordHarvest harvestPages(const Text& keyword, int pages, const ExclusionList& exclusions,
                            RequestPacer& pacer, const ProgressFunction& progress = {});

}  // namespace sh::cli
