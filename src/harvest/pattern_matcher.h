#pragma once

// A regular expression run over one GBK subject, then questioned about its matches.
//
// Matching is PCRE2 over the UTF-16 form of the subject, one unit per GBK character:
// '.' stops only at a line feed, '*?' is lazy, the leftmost match wins, and a global run
// resumes where the previous match ended (one unit later after an empty match). With
// Multiline, '^' matches just after every line feed, a final one included; a reference
// to a group that took no part matches the empty text.
// Nothing throws and nothing reports an error: a rejected pattern, an index out of range
// or a call before the first execute gives empty text, 0 or false.
//
// Hostile subjects: the match effort per start position is limited. A match attempt
// that exhausts it gives up the rest of its line, and matching goes on after the next
// line feed; linesGivenUp() says how often that happened. At most 100,000 matches of one
// subject are kept (matchesCut() tells): a result page lists a dozen.
//
// Copies share the compiled pattern and the matches (both immutable); execute on one
// copy replaces only that copy's state. Not for concurrent use of one object.

#include <cstdint>
#include <memory>
#include <optional>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;

class PatternMatcher {
public:
    // Compiles patternText afresh and matches it over subject. Left out: case ignored,
    // '^'/'$' at line breaks, all matches. True when matching ran (also with no match);
    // false when the pattern is rejected, which also drops the previous matches.
    // The matcher keeps the subject; hand it over with std::move when the caller has no
    // more use for it, so a large page is not held twice. The previous subject is let go
    // first. While matching, the subject's UTF-16 form (2 bytes a character) is held too.
    bool execute(const Text& patternText, Text subject, std::optional<bool> caseSensitive = {},
                 std::optional<bool> multiline = {}, std::optional<bool> global = {});

    // The pattern of the last execute (also a rejected one); empty before the first.
    Text pattern() const;

    // The subject with the matches replaced ($1..$99, $&, $`, $', $$ resolved); empty
    // before the first execute or after a rejected pattern.
    Text replace(const Text& replacement) const;

    // Hands over the subject of the last execute (also with a rejected pattern), so that a
    // caller that needs the page again need not keep a copy of its own. The matches read
    // as empty text afterwards; their count stays.
    Text takeSubject() { return std::move(m_subject); }

    // Number of matches of the last execute; 0 when there are none.
    std::int32_t matchCount() const;

    // Lines of the last execute's subject whose rest was not searched because a match
    // attempt in them ran out of effort; 0 when none, before the first execute and after
    // a rejected pattern. Matches starting later on such a line are missing.
    std::int32_t linesGivenUp() const;

    // True when the last execute stopped at the most matches it keeps, so that the rest of
    // the subject was not searched.
    bool matchesCut() const;

    // Text of match index (1-based); empty out of range. position, when given, receives
    // the 0-based byte offset found by searching the subject for that text from byte
    // FirstIndex + 1 (FirstIndex = the match's UTF-16 index): an earlier copy of the text
    // in that stretch is reported instead of the match, -2 when not found.
    Text matchText(std::int32_t index, std::int32_t* position = nullptr) const;

    // Text of capture group groupIndex (1-based, by opening parenthesis) of match
    // matchIndex; empty for a group that took no part or an index out of range.
    // position as for matchText, searched from the whole match's FirstIndex.
    Text subMatchText(std::int32_t matchIndex, std::int32_t groupIndex,
                      std::int32_t* position = nullptr) const;

    // Number of capture groups of the first match; 0 when there is no match.
    std::int32_t subMatchCount() const;

private:
    struct Expression;
    struct Matches;

    std::shared_ptr<const Expression> m_expression;
    std::shared_ptr<const Matches> m_matches;
    Text m_subject;
};

}  // namespace sh::harvest
