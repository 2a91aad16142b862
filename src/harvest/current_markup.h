#pragma once

// The second reader of a result page: the search service's current markup. It reads a
// page only where the result pattern found nothing at all, so pages in the older markup
// list exactly what they always did.
//
// In the current markup every result is an element whose class list holds both
// "c-result" and "result". Its real address is the "mu" member of its data-log attribute
// (JSON, or the older single-quoted form that is not valid JSON), and its title is the
// text of the first descendant with class "c-title-text", else "cu-title", else
// "c-title", else the first h3.
//
// The page is parsed by libxml2's HTML parser (recovering from any markup, no network,
// no error output). Nothing here throws or reports an error. What a hostile page costs is
// bounded: invalid UTF-8 reads as U+FFFD; nesting deeper than kMaxMarkupDepth, or more
// than kMaxMarkupErrors errors of malformed markup, ends the reading there with the
// results found so far; a result nested inside more than kMaxOpenResults others is ignored; only the tail
// of a long title is kept while it is read.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;

struct MarkupResult {
    Text site;   // "<scheme>://<host>[:<port>]/", as listed
    Text title;  // GBK, cut as a listed title is
};

inline constexpr int kMaxMarkupDepth = 512;
inline constexpr int kMaxMarkupErrors = 100000;
inline constexpr std::size_t kMaxOpenResults = 8;
// Results read from one page; a real one holds a dozen.
inline constexpr std::size_t kMaxMarkupResults = 100000;

// The results of a UTF-8 page with a usable address, in document order; a result without
// a title element has an empty title. Results whose address is missing, unreadable, not
// an absolute http or https address, or one of the service's placeholders, are left out.
// The reading stops at the kMaxMarkupResults-th result element; `cut`, when given, says
// whether that happened.
std::vector<MarkupResult> readCurrentMarkup(std::string_view utf8Page, bool* cut = nullptr);

// The pieces, for tests.

// A member of a data-log value whose entities are already decoded: the value of the
// first `name` key at the top level, in JSON ("mu":"..."), in single quotes ('mu':'...')
// or as a bare key (mu:'...'); escapes are decoded. Nothing when the member is missing
// or its string never ends.
std::optional<std::string> dataLogMember(std::string_view dataLog, std::string_view name);

// "<scheme>://<host>/" of an absolute http or https address (UTF-8), scheme and host in
// lower case, ":<port>" kept only when it is not the scheme's default. Empty when the
// address is not such an address, its host is empty or unusable, or the host is one of
// the service's placeholders (nourl.ubs.baidu.com, *.recommend_list.baidu.com,
// *.sigma.baidu.com).
std::string siteOfAddress(std::string_view address);

// A title element's text (UTF-8, entities decoded) as listed: runs of white space made
// one space, trimmed, converted to GBK ('?' for what GBK lacks) and cut to its tail as a
// listed title is.
Text markupTitle(std::string_view utf8Text);

}  // namespace sh::harvest
