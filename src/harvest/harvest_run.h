#pragma once

// The search button: harvest a keyword over N result pages into the result list.

#include <cstdint>

#include "harvest/exclusion_list.h"
#include "harvest/pattern_matcher.h"
#include "harvest/result_list.h"
#include "harvest/seen_set.h"
#include "harvest/window.h"
#include "text/text.h"

namespace sh::harvest {

// The address of result page `page` (1-based) for a GBK keyword: the mobile search with
// the keyword percent-encoded in UTF-8 and the offset pn = page × 10 (page 1 asks for 10).
Text searchAddress(const Text& keyword, std::int32_t page);

// One page of a run: fetches result page `page` (with requestTimeout()), decodes it from
// UTF-8 and appends its new rows to `list`. Returns the raw reply: empty when the request
// failed, the request routine's time-out text when it timed out. Once the program is
// closing, the reply is not extracted.
sh::text::Bytes harvestPage(const Text& keyword, std::int32_t page, PatternMatcher& matcher,
                            SeenSet& seen, const ExclusionList& exclusions, ResultList& list);

// Click on 按钮1: shows the search's promotional page, empties the list, reads the page
// count (编辑框3, truncated toward zero) and the keyword (编辑框1), and harvests.
void onSearchClicked(Window& window);

// Disables 按钮1 for the whole run (its caption shows the page being fetched, "3/50"),
// loads the exclusion file once, fetches pages 1..pages in order and lets the extraction
// append their rows. A page that fails or times out adds no row; the run goes on. Stops
// early only when the program is closing. Nothing when pages < 1 but the set-up.
void harvestKeyword(Window& window, const Text& keyword, std::int32_t pages);

}  // namespace sh::harvest
