#include "harvest/pattern_matcher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "text/codepage.h"
#include "text/primitives.h"

namespace sh::harvest {
namespace {

using sh::text::gbk;
using testing::dataFile;
using testing::readFile;

// UTF-8 with escapes (\n \r \t \\ \xHH) -> GBK; \xHH is taken as a raw GBK byte and any
// other backslash stays, for the pattern.
Text unescape(const std::string& field) {
    std::string out, run;
    auto flush = [&] {
        out += gbk(run).bytes();
        run.clear();
    };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 >= field.size()) {
            run += field[i];
            continue;
        }
        const char c = field[++i];
        if (c == 'n')
            run += '\n';
        else if (c == 'r')
            run += '\r';
        else if (c == 't')
            run += '\t';
        else if (c == 'x' && i + 2 < field.size()) {
            flush();
            out += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c == '\\') {
            run += c;
        } else {
            run += '\\';  // a pattern escape such as \w stays as written
            run += c;
        }
    }
    flush();
    return Text(std::move(out));
}

struct Case {
    int line = 0;
    std::string pattern, subject, options, query, expected;
};

std::vector<Case> loadCases() {
    std::vector<Case> cases;
    std::istringstream in(readFile(dataFile("matcher_cases.tsv")));
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        if (fields.size() != 5) {
            ADD_FAILURE() << "matcher_cases.tsv:" << number << " needs 5 fields";
            continue;
        }
        cases.push_back({number, fields[0], fields[1], fields[2], fields[3], fields[4]});
    }
    return cases;
}

// Runs one case and returns what the query yields, as text (GBK).
Text answer(const Case& c) {
    std::optional<bool> caseSensitive, multiline, global;
    if (c.options.find("case") != std::string::npos)
        caseSensitive = true;
    if (c.options.find("nomulti") != std::string::npos)
        multiline = false;
    if (c.options.find("noglobal") != std::string::npos)
        global = false;

    PatternMatcher matcher;
    const bool ok =
        matcher.execute(unescape(c.pattern), unescape(c.subject), caseSensitive, multiline, global);

    std::istringstream query(c.query);
    std::string what;
    query >> what;
    int a = 0, b = 0;
    std::int32_t position = 0;
    if (what == "execute")
        return ok ? "1" : "0";
    if (what == "count")
        return sh::text::toText(matcher.matchCount());
    if (what == "subcount")
        return sh::text::toText(matcher.subMatchCount());
    if (what == "match")
        return query >> a, matcher.matchText(a);
    if (what == "matchpos") {
        query >> a;
        matcher.matchText(a, &position);
        return sh::text::toText(position);
    }
    if (what == "group")
        return query >> a >> b, matcher.subMatchText(a, b);
    if (what == "grouppos") {
        query >> a >> b;
        matcher.subMatchText(a, b, &position);
        return sh::text::toText(position);
    }
    if (what == "replace")
        return matcher.replace(unescape(c.query.substr(8)));
    ADD_FAILURE() << "unknown query " << what;
    return {};
}

TEST(PatternMatcherTest, CasesFromTable) {
    const std::vector<Case> cases = loadCases();
    ASSERT_GT(cases.size(), 40u);
    for (const Case& c : cases) {
        SCOPED_TRACE("matcher_cases.tsv:" + std::to_string(c.line) + " " + c.pattern + " / " +
                     c.query);
        EXPECT_EQ(sh::text::utf8(answer(c)), sh::text::utf8(unescape(c.expected)));
    }
}

TEST(PatternMatcherTest, EverythingIsEmptyBeforeTheFirstExecute) {
    const PatternMatcher matcher;
    std::int32_t position = 7;
    EXPECT_EQ(matcher.matchCount(), 0);
    EXPECT_EQ(matcher.subMatchCount(), 0);
    EXPECT_EQ(matcher.pattern(), Text());
    EXPECT_EQ(matcher.replace("x"), Text());
    EXPECT_EQ(matcher.matchText(1, &position), Text());
    EXPECT_EQ(position, -2);  // empty subject: the empty text is not found
}

TEST(PatternMatcherTest, RejectedPatternDropsThePreviousMatchesButKeepsItsText) {
    PatternMatcher matcher;
    ASSERT_TRUE(matcher.execute("a", "aa"));
    ASSERT_EQ(matcher.matchCount(), 2);
    EXPECT_FALSE(matcher.execute("a(", "aa"));
    EXPECT_EQ(matcher.matchCount(), 0);
    EXPECT_EQ(matcher.matchText(1), Text());
    EXPECT_EQ(matcher.pattern(), Text("a("));
}

TEST(PatternMatcherTest, CopiesShareResultsButExecuteSeparately) {
    PatternMatcher original;
    ASSERT_TRUE(original.execute("(b)", "abab"));
    PatternMatcher copy = original;
    EXPECT_EQ(copy.matchCount(), 2);
    EXPECT_EQ(copy.subMatchText(2, 1), Text("b"));

    ASSERT_TRUE(copy.execute("x", "xyz"));
    EXPECT_EQ(copy.matchCount(), 1);
    EXPECT_EQ(original.matchCount(), 2);  // untouched by the copy's execute
    EXPECT_EQ(original.pattern(), Text("(b)"));
    EXPECT_EQ(original.replace("[$1]"), Text("a[b]a[b]"));
}

TEST(PatternMatcherTest, OptionsTakeTheirDefaultsWhenLeftOut) {
    PatternMatcher matcher;
    // Left out: case ignored, as with caseSensitive given false.
    EXPECT_TRUE(matcher.execute("A", "a", std::nullopt));
    EXPECT_EQ(matcher.matchCount(), 1);
    EXPECT_TRUE(matcher.execute("A", "a", false));
    EXPECT_EQ(matcher.matchCount(), 1);
    // Left out multiline means true; given false turns it off.
    EXPECT_TRUE(matcher.execute("^b", "a\nb", std::nullopt, std::nullopt));
    EXPECT_EQ(matcher.matchCount(), 1);
    EXPECT_TRUE(matcher.execute("^b", "a\nb", std::nullopt, false));
    EXPECT_EQ(matcher.matchCount(), 0);
}

// Match texts are cut from the subject's bytes through the unit index: check that the
// way back stays exact far into a subject mixing one- and two-byte characters.
TEST(PatternMatcherTest, MatchTextsComeBackAsTheSubjectsBytesThroughoutALongSubject) {
    std::string subject, expected;
    for (int i = 0; i < 300; ++i) {
        const char letter = static_cast<char>('a' + i % 26);
        subject += i % 3 ? gbk("中").bytes() + letter : std::string(1, letter);
        if (i % 3)
            expected += gbk("中").bytes() + letter;
    }
    PatternMatcher matcher;
    ASSERT_TRUE(matcher.execute(gbk("中(.)"), Text(subject)));
    ASSERT_EQ(matcher.matchCount(), 200);
    std::string joined;
    for (std::int32_t m = 1; m <= matcher.matchCount(); ++m) joined += matcher.matchText(m).bytes();
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(matcher.subMatchText(200, 1),
              Text(std::string(1, static_cast<char>('a' + 299 % 26))));
}

// A line full of '>' and "&#160;" that never completes the result pattern makes the lazy
// groups backtrack until the effort limit stops them. That costs the rest of that line
// only: results before it and on every later line are still found.
TEST(PatternMatcherTest, ALineThatExhaustsTheEffortLimitCostsOnlyItsRest) {
    const std::string result =
        "<a>1&#160;t</a><div class=\"abs\">x<br /><span class=\"site\">s.example</span>";
    std::string hostile;  // 65 KB, as a hostile page sent it
    for (int i = 0; i < 1000; ++i)
        hostile += "<i>a&#160;b</a><div class=\"abs\">c<br /><span class=\"site\">d</spa>";
    std::string shortLines;
    for (int i = 0; i < 100; ++i) shortLines += "x\n";
    const Text pattern(
        ">(.*?)&#160;(.*?)</a><div class=\"abs\">(.*?)<br /><span class=\"site\">(.*?)</span>");

    struct Case {
        const char* name;
        std::string subject;
        std::optional<bool> global;
        std::int32_t matches;
        std::int32_t linesGivenUp;
    };
    const Case cases[] = {
        {"result, hostile line, result", result + "\n" + hostile + "\n" + result, {}, 2, 1},
        {"result and hostile rest on one line", result + hostile + "\n" + result, {}, 2, 1},
        {"hostile last line", result + "\n" + hostile, {}, 1, 1},
        {"short lines before the hostile one", shortLines + hostile + "\n" + result, {}, 1, 1},
        {"several hostile lines",
         hostile + "\n" + result + "\n" + hostile + "\n" + hostile + "\n" + result + "\n",
         {},
         2,
         3},
        {"first match only", hostile + "\n" + result + "\n" + result, false, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PatternMatcher matcher;
        EXPECT_TRUE(matcher.execute(pattern, Text(c.subject), {}, {}, c.global));
        EXPECT_EQ(matcher.matchCount(), c.matches);
        EXPECT_EQ(matcher.linesGivenUp(), c.linesGivenUp);
        EXPECT_EQ(matcher.subMatchText(matcher.matchCount(), 4), Text("s.example"));
        // The count belongs to one execute.
        EXPECT_TRUE(matcher.execute(pattern, Text(result)));
        EXPECT_EQ(matcher.linesGivenUp(), 0);
    }
}

// A subject is searched in stretches of lines; matches that begin at a line feed or reach
// across one must come out exactly as from one search over the whole subject.
TEST(PatternMatcherTest, LongSubjectsGiveEveryMatchAcrossLineFeeds) {
    std::string subject;
    const int lines = 20000;
    for (int i = 0; i < lines; ++i) subject += "k" + std::to_string(i) + "\n";
    struct Case {
        const char* pattern;
        std::int32_t matches;
    };
    const Case cases[] = {
        {"7\nk", lines / 10},  // every line ending in 7: reaches across the line feed
        {"\n", lines},             // at every line feed
        {"^", lines + 1},           // after every line feed, the final one included
        {"^k1", 1 + 10 + 100 + 1000 + 10000},
        {"$", lines + 1},  // before every line feed, and at the very end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        PatternMatcher matcher;
        ASSERT_TRUE(matcher.execute(Text(c.pattern), Text(subject)));
        EXPECT_EQ(matcher.matchCount(), c.matches);
        EXPECT_EQ(matcher.linesGivenUp(), 0);
    }
}

TEST(PatternMatcherTest, KeepsAtMostOneHundredThousandMatchesOfASubject) {
    PatternMatcher matcher;
    ASSERT_TRUE(matcher.execute(Text("a"), Text(std::string(100000, 'a'))));
    EXPECT_EQ(matcher.matchCount(), 100000);
    EXPECT_FALSE(matcher.matchesCut());
    ASSERT_TRUE(matcher.execute(Text("(a)"), Text(std::string(250000, 'a'))));
    EXPECT_EQ(matcher.matchCount(), 100000);
    EXPECT_TRUE(matcher.matchesCut());
    EXPECT_EQ(matcher.subMatchText(100000, 1), Text("a"));
    // Handing the subject over leaves the count and empties the texts.
    EXPECT_EQ(matcher.takeSubject().size(), 250000u);
    EXPECT_EQ(matcher.matchCount(), 100000);
    EXPECT_EQ(matcher.matchText(1), Text());
}

// Arbitrary bytes as subject and pattern: no crash, no read out of bounds, and every
// reported match is a piece of the subject.
TEST(PatternMatcherTest, ArbitraryBytesStayInBounds) {
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    const char* pieces[] = {"<",        ">", "a", "&#160;", "\n", "\r", "\x81", "\x80", "\xFF",
                            "\xD6\xD0", "(", ")", ".*?",    "$",  "\\", "[",    "|"};
    for (int round = 0; round < 300; ++round) {
        std::string subject, pattern;
        for (int i = next() % 40; i > 0; --i) subject += pieces[next() % std::size(pieces)];
        for (int i = next() % 6; i > 0; --i) pattern += pieces[next() % std::size(pieces)];
        PatternMatcher matcher;
        matcher.execute(Text(pattern), Text(subject));
        for (std::int32_t m = 0; m <= matcher.matchCount() + 1; ++m) {
            std::int32_t position = 0;
            const Text text = matcher.matchText(m, &position);
            EXPECT_LE(text.size(), subject.size());
            EXPECT_GE(position, -2);
            EXPECT_LE(position, static_cast<std::int32_t>(subject.size()));
            if (!text.empty()) {
                EXPECT_NE(subject.find(text.bytes()), std::string::npos);
            }
            for (std::int32_t g = 0; g <= matcher.subMatchCount() + 1; ++g)
                matcher.subMatchText(m, g, &position);
        }
        matcher.replace("$1$&$`$'$$$99");
    }
}

}  // namespace
}  // namespace sh::harvest
