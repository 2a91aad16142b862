#pragma once

// Turns one search result page into new rows of the result list.

#include "harvest/exclusion_list.h"
#include "harvest/pattern_matcher.h"
#include "harvest/result_list.h"
#include "harvest/seen_set.h"
#include "text/text.h"

namespace sh::harvest {

// The markup of one result on the page: group 2 is the title, group 4 the site host.
Text resultPattern();

// Matches resultPattern() over pageText (GBK) with every matcher option left out, and
// for each match in page order appends a row "rank, http://<host>/, title" unless the
// address is already in `seen` (it is recorded before the exclusion test) or excluded.
// The title loses every <em> and </em> (any case) and keeps its last 30 bytes at most,
// never starting with the second half of a two-byte character. The rank is the row's
// 0-based index. A page without matches adds nothing.
// The matcher keeps the page: hand it over with std::move when it is of no more use.
void extractResults(Text pageText, PatternMatcher& matcher, SeenSet& seen,
                    const ExclusionList& exclusions, ResultList& list);

// The title as it is listed: highlight tags removed, cut to its tail.
Text cleanTitle(const Text& title);

// The last 30 bytes of a GBK title, moved on by one byte when the cut would begin with
// the second byte of a two-byte character; a shorter title whole.
Text titleTail(const Text& title);

// Lists one result as every reader of a page does: nothing when the site is already in
// `seen` (it is recorded before the exclusion test) or excluded; otherwise a new row
// "rank, site, title", the rank being the row's 0-based index. True when a row was added.
bool appendResult(const Text& site, const Text& title, SeenSet& seen,
                  const ExclusionList& exclusions, ResultList& list);

}  // namespace sh::harvest
