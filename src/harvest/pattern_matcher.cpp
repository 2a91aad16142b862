#include "harvest/pattern_matcher.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "harvest/gbk_units.h"
#include "text/primitives.h"

namespace sh::harvest {

namespace {

// Effort allowed per start position (PCRE2's match limit). A result page of 100 KB needs
// some 40,000 steps per match; a page of 2 MB in a single line whose script is full of
// '>' and "&#160;", about 2,000,000. A line built to make the lazy groups backtrack hits
// the limit within a few milliseconds, and only the rest of that line is given up; a
// page of such lines costs one hit per line.
constexpr std::uint32_t kMatchLimit = 2'000'000;
// A search may start a match only up to the end of the line that lies this many units
// on. Should it run into the effort limit, the same stretch is searched again one line
// at a time, so that only the line where the effort ran out is given up.
constexpr std::size_t kSearchUnits = 4096;
// For the interpreter, used only if JIT compilation is unavailable (KiB).
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;
// Matches kept of one subject. A result page lists ten or so; a hostile one could list a
// million and more, whose table would outgrow the page itself.
constexpr std::size_t kMaxMatches = 100'000;
// The UTF-16 buffer stays allocated between pages up to this size (units).
constexpr std::size_t kKeptUnits = 4 * 1024 * 1024;

struct CodeFree {
    void operator()(pcre2_code_16* code) const { pcre2_code_free_16(code); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context_16* context) const {
        pcre2_compile_context_free_16(context);
    }
};
struct MatchContextFree {
    void operator()(pcre2_match_context_16* context) const { pcre2_match_context_free_16(context); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data_16* data) const { pcre2_match_data_free_16(data); }
};
struct JitStackFree {
    void operator()(pcre2_jit_stack_16* stack) const { pcre2_jit_stack_free_16(stack); }
};

using CodePtr = std::unique_ptr<pcre2_code_16, CodeFree>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context_16, CompileContextFree>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context_16, MatchContextFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data_16, MatchDataFree>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack_16, JitStackFree>;

// A byte range of the subject. A group that took no part is the empty range 0..0.
struct Range {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

// Where the line that holds a unit ends: the index of the next line feed, or the length.
// It keeps its last answer, so positions asked for in increasing order cost one scan of
// the subject in all.
class LineEnds {
public:
    LineEnds(const char16_t* units, std::size_t length) : m_units(units), m_length(length) {}

    std::size_t from(std::size_t index) {
        if (index >= m_length)
            return m_length;
        if (index < m_scannedFrom || index > m_end) {
            const char16_t* found =
                std::char_traits<char16_t>::find(m_units + index, m_length - index, u'\n');
            m_scannedFrom = index;
            m_end = found ? static_cast<std::size_t>(found - m_units) : m_length;
        }
        return m_end;
    }

private:
    const char16_t* m_units;
    std::size_t m_length;
    std::size_t m_scannedFrom = 1;  // no answer yet
    std::size_t m_end = 0;
};

}  // namespace

struct PatternMatcher::Expression {
    Text pattern;
    bool ignoreCase = true;
    bool multiline = true;
    bool global = true;
    CodePtr code;  // null: the pattern was rejected
    std::int32_t groupCount = 0;
};

struct PatternMatcher::Matches {
    std::int32_t groupCount = 0;
    std::int32_t linesGivenUp = 0;
    bool cut = false;  // kMaxMatches were found and the rest of the subject not searched
    // Blocks rather than one array: a page of many small matches never holds two
    // copies of these while they grow.
    std::deque<std::int32_t> firstIndex;  // UTF-16 index of each match
    std::deque<Range> ranges;             // groupCount + 1 per match: whole, then groups

    std::int32_t count() const { return static_cast<std::int32_t>(firstIndex.size()); }
    const Range& range(std::int32_t match, std::int32_t group) const {
        return ranges[static_cast<std::size_t>(match) * (groupCount + 1) + group];
    }
};

namespace {

Text slice(const Text& subject, Range range) {
    if (range.end <= range.begin || range.end > subject.size())
        return {};
    return Text(subject.view().substr(range.begin, range.end - range.begin));
}

std::int32_t positionOf(const Text& subject, const Text& text, std::int32_t firstIndex,
                        bool ignoreCase) {
    return sh::text::findText(subject, text, firstIndex + 1, ignoreCase) - 1;
}

}  // namespace

bool PatternMatcher::execute(const Text& patternText, Text subject,
                             std::optional<bool> caseSensitive, std::optional<bool> multiline,
                             std::optional<bool> global) {
    // The previous page is not needed any more: let it go before this one is worked on.
    m_matches.reset();
    sh::text::release(m_subject);

    auto expression = std::make_shared<Expression>();
    expression->pattern = patternText;
    expression->ignoreCase = !caseSensitive.value_or(false);
    expression->multiline = multiline.value_or(true);
    expression->global = global.value_or(true);

    // As in ECMAScript: a back-reference to a group that took no part matches the empty
    // text instead of failing the match.
    uint32_t options =
        PCRE2_NEVER_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_USE_OFFSET_LIMIT;
    if (expression->ignoreCase)
        options |= PCRE2_CASELESS;
    // With Multiline, '^' matches just after every line break, a final one included;
    // without it, '$' matches only at the very end, as in the matched dialect.
    options |= expression->multiline ? PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX
                                     : PCRE2_DOLLAR_ENDONLY;

    std::shared_ptr<Matches> matches;
    CompileContextPtr compileContext(pcre2_compile_context_create_16(nullptr));
    if (compileContext) {
        pcre2_set_newline_16(compileContext.get(), PCRE2_NEWLINE_LF);
        const std::u16string units = detail::toUnitString(patternText.view());
        int error = 0;
        PCRE2_SIZE errorOffset = 0;
        expression->code.reset(pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(units.data()),
                                                units.size(), options, &error, &errorOffset,
                                                compileContext.get()));
    }

    if (expression->code &&
        subject.size() < static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        pcre2_code_16* code = expression->code.get();
        uint32_t captures = 0;
        pcre2_pattern_info_16(code, PCRE2_INFO_CAPTURECOUNT, &captures);
        expression->groupCount = static_cast<std::int32_t>(std::min<uint32_t>(captures, 65535));
        // Failure leaves the interpreter, which honours the same limits.
        pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE);

        MatchContextPtr matchContext(pcre2_match_context_create_16(nullptr));
        MatchDataPtr matchData(pcre2_match_data_create_from_pattern_16(code, nullptr));
        JitStackPtr jitStack(pcre2_jit_stack_create_16(kJitStackStart, kJitStackMax, nullptr));
        if (matchContext && matchData) {
            pcre2_set_match_limit_16(matchContext.get(), kMatchLimit);
            pcre2_set_heap_limit_16(matchContext.get(), kHeapLimitKiB);
            if (jitStack)
                pcre2_jit_stack_assign_16(matchContext.get(), nullptr, jitStack.get());

            // Reused between calls: a page's units are only needed while it is matched.
            thread_local detail::GbkUnits wide;
            wide.assign(subject.view());
            const auto* units = reinterpret_cast<PCRE2_SPTR16>(wide.data());
            const std::size_t length = wide.size();
            const std::int32_t groups = expression->groupCount;
            const uint32_t pairs = pcre2_get_ovector_count_16(matchData.get());

            matches = std::make_shared<Matches>();
            matches->groupCount = groups;
            LineEnds lineEnds(wide.data(), length);
            std::size_t offset = 0;
            // Searches that start before this unit cover one line each.
            std::size_t lineByLineUntil = 0;
            while (offset <= length) {
                const bool lineByLine = offset < lineByLineUntil;
                const std::size_t searchEnd =
                    lineEnds.from(lineByLine ? offset : std::min(offset + kSearchUnits, length));
                pcre2_set_offset_limit_16(matchContext.get(), searchEnd);
                const int rc = pcre2_match_16(code, units, length, offset, 0, matchData.get(),
                                              matchContext.get());
                if (rc == PCRE2_ERROR_NOMATCH) {
                    offset = searchEnd + 1;
                    continue;
                }
                if (rc <= 0) {
                    // The effort limit, or another failure of this search. No match of
                    // the result pattern crosses a line feed, so giving up costs at most
                    // the rest of the line where it happened: find that line, then go on
                    // after it.
                    if (!lineByLine && lineEnds.from(offset) != searchEnd) {
                        lineByLineUntil = searchEnd;
                        continue;
                    }
                    ++matches->linesGivenUp;
                    offset = searchEnd + 1;
                    continue;
                }
                const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(matchData.get());
                const PCRE2_SIZE start = ovector[0];
                const PCRE2_SIZE end = ovector[1];
                if (start > length || end > length)
                    break;
                if (matches->firstIndex.size() >= kMaxMatches) {
                    matches->cut = true;
                    break;
                }

                matches->firstIndex.push_back(static_cast<std::int32_t>(start));
                for (std::int32_t g = 0; g <= groups; ++g) {
                    Range range;
                    const auto pair = static_cast<uint32_t>(g);
                    if (g < rc && pair < pairs) {
                        const PCRE2_SIZE b = ovector[2 * pair];
                        const PCRE2_SIZE e = ovector[2 * pair + 1];
                        if (b != PCRE2_UNSET && e != PCRE2_UNSET && b <= e && e <= length)
                            range = {static_cast<std::uint32_t>(wide.byteOffset(b)),
                                     static_cast<std::uint32_t>(wide.byteOffset(e))};
                    }
                    matches->ranges.push_back(range);
                }
                if (!expression->global)
                    break;
                // After an empty match the next search starts one unit later.
                std::size_t next = end > start ? end : std::max(start, end) + 1;
                if (next <= offset)
                    next = offset + 1;
                offset = next;
            }
            wide.trim(kKeptUnits);
        }
    }

    m_expression = std::move(expression);
    m_matches = std::move(matches);
    m_subject = std::move(subject);
    return m_matches != nullptr;
}

Text PatternMatcher::pattern() const {
    return m_expression ? m_expression->pattern : Text();
}

std::int32_t PatternMatcher::matchCount() const {
    return m_matches ? m_matches->count() : 0;
}

bool PatternMatcher::matchesCut() const {
    return m_matches && m_matches->cut;
}

std::int32_t PatternMatcher::linesGivenUp() const {
    return m_matches ? m_matches->linesGivenUp : 0;
}

std::int32_t PatternMatcher::subMatchCount() const {
    return m_matches && m_matches->count() > 0 ? m_matches->groupCount : 0;
}

Text PatternMatcher::matchText(std::int32_t index, std::int32_t* position) const {
    Text text;
    std::int32_t firstIndex = 0;
    if (m_matches && index >= 1 && index <= m_matches->count()) {
        text = slice(m_subject, m_matches->range(index - 1, 0));
        firstIndex = m_matches->firstIndex[static_cast<std::size_t>(index - 1)];
    }
    if (position) {
        *position =
            positionOf(m_subject, text, firstIndex, m_expression && m_expression->ignoreCase);
    }
    return text;
}

Text PatternMatcher::subMatchText(std::int32_t matchIndex, std::int32_t groupIndex,
                                  std::int32_t* position) const {
    Text text;
    std::int32_t firstIndex = 0;
    if (m_matches && matchIndex >= 1 && matchIndex <= m_matches->count()) {
        firstIndex = m_matches->firstIndex[static_cast<std::size_t>(matchIndex - 1)];
        if (groupIndex >= 1 && groupIndex <= m_matches->groupCount)
            text = slice(m_subject, m_matches->range(matchIndex - 1, groupIndex));
    }
    if (position) {
        *position =
            positionOf(m_subject, text, firstIndex, m_expression && m_expression->ignoreCase);
    }
    return text;
}

Text PatternMatcher::replace(const Text& replacement) const {
    if (!m_expression || !m_expression->code || !m_matches)
        return {};
    const std::string_view subject = m_subject.view();
    const std::string_view with = replacement.view();
    const std::int32_t groups = m_matches->groupCount;
    std::string out;
    out.reserve(subject.size());
    std::size_t copied = 0;

    auto appendRange = [&](Range range) {
        if (range.end > range.begin && range.end <= subject.size())
            out.append(subject.substr(range.begin, range.end - range.begin));
    };
    auto digit = [&](std::size_t at) -> int {
        return at < with.size() && with[at] >= '0' && with[at] <= '9' ? with[at] - '0' : -1;
    };

    for (std::int32_t m = 0; m < m_matches->count(); ++m) {
        const Range whole = m_matches->range(m, 0);
        if (whole.begin < copied || whole.begin > subject.size())
            continue;
        out.append(subject.substr(copied, whole.begin - copied));
        // '$' (24) is never the second byte of a GBK character, so bytes can be scanned.
        for (std::size_t i = 0; i < with.size();) {
            const char c = with[i];
            if (c != '$' || i + 1 >= with.size()) {
                out.push_back(c);
                ++i;
                continue;
            }
            const char next = with[i + 1];
            if (next == '$') {
                out.push_back('$');
                i += 2;
            } else if (next == '&') {
                appendRange(whole);
                i += 2;
            } else if (next == '`') {
                appendRange({0, whole.begin});
                i += 2;
            } else if (next == '\'') {
                appendRange({whole.end, static_cast<std::uint32_t>(subject.size())});
                i += 2;
            } else if (const int d1 = digit(i + 1); d1 >= 0) {
                // Two digits when they name an existing group, else one, else literal.
                const int d2 = digit(i + 2);
                if (d2 >= 0 && d1 * 10 + d2 >= 1 && d1 * 10 + d2 <= groups) {
                    appendRange(m_matches->range(m, d1 * 10 + d2));
                    i += 3;
                } else if (d1 >= 1 && d1 <= groups) {
                    appendRange(m_matches->range(m, d1));
                    i += 2;
                } else {
                    out.push_back('$');
                    ++i;
                }
            } else {
                out.push_back('$');
                ++i;
            }
        }
        copied = whole.end;
    }
    if (copied < subject.size())
        out.append(subject.substr(copied));
    return Text(std::move(out));
}

}  // namespace sh::harvest
