#pragma once

// What the search command writes.
//
//  urls    each row's site, CR LF after each          } the window's two saved files,
//  titled  each row's site, CR LF, its title, CR LF   } GBK by default
//  tsv     a header line, then rank, site, title, keyword, page; tab-separated, LF
//  json    an array of {"rank","site","title","keyword","page"} objects, one a line
//
// With several keywords, urls and titled give each keyword's rows one after another in
// keyword order; tsv and json say on every row which keyword it came from. tsv and json
// are always UTF-8.

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/search_run.h"

namespace sh::cli {

// The encoding a format is written in when --encoding is left out, or as given.
Encoding effectiveEncoding(Format format, std::optional<Encoding> requested);

std::string formatHarvests(const std::vector<KeywordHarvest>& harvests, Format format,
                           Encoding encoding);

// A JSON string literal (quotes included) of UTF-8 text; control characters escaped.
std::string jsonString(std::string_view utf8);

}  // namespace sh::cli
