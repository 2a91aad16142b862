#pragma once

// Keyword suggestions: while the keyword is edited, the suggestion service's completions
// are shown on the line 编辑框2, each followed by "|".

#include "harvest/window.h"
#include "text/text.h"

namespace sh::harvest {

using sh::text::TextList;

// The suggestion service's address for a GBK keyword, its UTF-8 form percent-encoded.
Text suggestionAddress(const Text& keyword);

// The items of a suggestion reply (used as GBK bytes, unconverted): the text between
// "\"s\":[\"" and "\"]});" (case ignored), cut at every "\",\"". Escapes stay as written.
TextList suggestionItems(const Text& reply);

// Every change of 编辑框1: empties 编辑框2, asks the service (one request per change, none
// skipped) and appends the items, each followed by "|", in one append per reply. A reply
// that arrives after the reply of a newer request has been shown is dropped, so the line
// always belongs to the newest keyword.
void onKeywordChanged(Window& window);

}  // namespace sh::harvest
