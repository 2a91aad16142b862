#pragma once

// The search button: harvest a keyword over N result pages into the result list.

#include <cstddef>
#include <cstdint>

#include "harvest/exclusion_list.h"
#include "harvest/pattern_matcher.h"
#include "harvest/result_list.h"
#include "harvest/seen_set.h"
#include "harvest/window.h"
#include "text/text.h"
#include "web/request_details.h"

namespace sh::harvest {

// The address of result page `page` (1-based) for a GBK keyword: the mobile search with
// the keyword percent-encoded in UTF-8 and the offset pn = page × 10 (page 1 asks for 10).
Text searchAddress(const Text& keyword, std::int32_t page);

// True when a reply of the request routine means that nothing could be fetched: it is
// empty, or it is the routine's time-out text.
bool isFailedReply(const sh::text::Bytes& reply);

// What one page of a run gave.
struct PageOutcome {
    bool failed = false;   // the request failed or timed out
    bool blocked = false;  // the service answered with its verification page
    int rows = 0;          // rows the page added to the list
    int linesGivenUp = 0;  // lines the result pattern gave up as too costly to search
    bool resultsCut = false;  // a reader stopped at the most results it reads of a page
    sh::web::RequestDetails request;  // what became of the request (harvestPage only)
};

// Pages larger than this are not kept in UTF-8 while the result pattern reads them.
inline constexpr std::size_t kKeptUtf8PageBytes = 16u << 20;

// Reads one result page as fetched (UTF-8) into `list`: the result pattern reads it
// first, over the page decoded to GBK; only when that finds no match at all is the page
// read in the service's current markup, and only when that finds no result either is it
// tested for the verification page. `failed` stays false.
//
// Memory: the pattern matcher holds the GBK page and its UTF-16 form (2 bytes a
// character) while it works. A page over kKeptUtf8PageBytes - real ones are 1 to 2 MB,
// the cap is 64 MiB - is let go before that and, when the current-markup reader needs it,
// made again from its GBK form, where characters GBK lacks have become '?'.
PageOutcome readResultPage(Text utf8Page, PatternMatcher& matcher, SeenSet& seen,
                           const ExclusionList& exclusions, ResultList& list);

// One page of a run: fetches result page `page` (requestService) and reads it with
// readResultPage. Once the program is closing, the reply is not read.
PageOutcome harvestPage(const Text& keyword, std::int32_t page, PatternMatcher& matcher,
                        SeenSet& seen, const ExclusionList& exclusions, ResultList& list);

// The information box's text when the service blocks a run at `page` of `pages`.
Text blockedRunMessage(std::int32_t page, std::int32_t pages);

// Click on 按钮1: shows the search's promotional page, empties the list, reads the page
// count (编辑框3, truncated toward zero) and the keyword (编辑框1), and harvests.
void onSearchClicked(Window& window);

// Disables 按钮1 for the whole run (its caption shows the page being fetched, "3/50"),
// loads the exclusion file once, fetches pages 1..pages in order and lets the extraction
// append their rows. A page that fails or times out adds no row; the run goes on. A page
// that is the service's verification page ends the run at once: no further request, the
// rows stay, 按钮1 is restored and an information box says what happened. Otherwise stops
// early only when the program is closing. Nothing when pages < 1 but the set-up.
void harvestKeyword(Window& window, const Text& keyword, std::int32_t pages);

}  // namespace sh::harvest
