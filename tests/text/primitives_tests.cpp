#include "text/primitives.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sh::text {

namespace {

std::string show(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        }
    }
    return out;
}

}  // namespace

// Readable failure messages: GBK and control bytes as <XX>. Internal linkage keeps it
// clear of any other test file's printer; argument-dependent lookup still finds it.
static void PrintTo(const Text& t, std::ostream* os) {
    *os << "'" << show(t.view()) << "'";
}

namespace {

using std::nullopt;

// GBK bytes used below. Adjacent literals keep a hex escape from swallowing the letters
// after it ("\xD6\xD0" "abc").
const char* const kZhong = "\xD6\xD0";      // 中
const char* const kWen = "\xCE\xC4";        // 文
const char* const kXing = "\xD0\xCE";       // 形: also the middle two bytes of 中文
const char* const kIdeoSpace = "\xA1\xA1";  // full-width space
const Text kZhongWen = concatText(kZhong, kWen);

// ---------------------------------------------------------------------------------
// Byte cutting

TEST(ByteCutting, LeftRightMid) {
    struct Case {
        const char* op;
        Text text;
        int start;  // midText only
        int n;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"left", "abc", 0, 2, "ab"},
        {"left", "abc", 0, 9, "abc"},
        {"left", "abc", 0, 0, ""},
        {"left", "abc", 0, -1, ""},
        {"left", "", 0, 3, ""},
        {"right", "abc", 0, 2, "bc"},
        {"right", "abc", 0, 9, "abc"},
        {"right", "abc", 0, 0, ""},
        {"right", "abc", 0, INT_MIN, ""},
        // Cutting may split a two-byte character: starts with the second byte of 中.
        {"right", kZhongWen, 0, 3, "\xD0\xCE\xC4"},
        {"left", kZhongWen, 0, 3, "\xD6\xD0\xCE"},
        {"mid", "abcdef", 2, 3, "bcd"},
        {"mid", "abcdef", 5, 9, "ef"},
        {"mid", "abcdef", 6, 1, "f"},
        {"mid", "abcdef", 7, 1, ""},
        {"mid", "abcdef", 0, 3, ""},
        {"mid", "abcdef", -4, 3, ""},
        {"mid", "abcdef", 2, 0, ""},
        {"mid", "abcdef", 2, -1, ""},
        {"mid", "abcdef", INT_MAX, INT_MAX, ""},
        {"mid", "abcdef", 3, INT_MAX, "cdef"},
    };
    for (const auto& c : cases) {
        Text got;
        if (std::string_view(c.op) == "left")
            got = leftText(c.text, c.n);
        if (std::string_view(c.op) == "right")
            got = rightText(c.text, c.n);
        if (std::string_view(c.op) == "mid")
            got = midText(c.text, c.start, c.n);
        EXPECT_EQ(got, c.expected) << c.op << "('" << show(c.text.view()) << "', " << c.start
                                   << ", " << c.n << ") gave '" << show(got.view()) << "'";
    }
}

TEST(ByteCutting, BytesLengthAndLeftBytes) {
    const Bytes b(std::string_view("a\0b\0", 4));
    EXPECT_EQ(bytesLength(b), 4);
    EXPECT_EQ(bytesLength(Bytes()), 0);
    EXPECT_EQ(leftBytes(b, 3), Bytes(std::string_view("a\0b", 3)));
    EXPECT_EQ(leftBytes(b, 99), b);
    EXPECT_EQ(leftBytes(b, 0), Bytes());
    EXPECT_EQ(leftBytes(b, -3), Bytes());
    EXPECT_EQ(textLength(kZhongWen), 4);
    EXPECT_EQ(textLength(Text()), 0);
}

TEST(ByteCutting, ReplaceAt) {
    struct Case {
        Text text;
        int start;
        int length;
        std::optional<Text> replacement;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"abcdefghij", 1, 7, nullopt, "hij"}, {"abc", 2, 5, Text("X"), "aX"},
        {"abc", 9, 1, Text("X"), "abcX"},     {"abc", 0, 1, Text("X"), "Xbc"},
        {"abc", INT_MIN, 1, nullopt, "bc"},   {"abc", 2, 0, Text("X"), "aXbc"},
        {"abc", 2, -5, Text("X"), "aXbc"},    {"abc", 2, INT_MAX, nullopt, "a"},
        {"abc", 2, 1, Text(""), "ac"},        {"", 1, 1, Text("X"), "X"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replaceAt(c.text, c.start, c.length, c.replacement), c.expected)
            << show(c.text.view()) << " start " << c.start << " length " << c.length;
    }
}

TEST(SmallValues, CharFromCodeBlanksBytesConcat) {
    EXPECT_EQ(charFromCode(65), Text("A"));
    EXPECT_EQ(charFromCode(0x141), Text("A"));  // low 8 bits only
    EXPECT_EQ(charFromCode(0xD6), Text("\xD6"));
    EXPECT_EQ(charFromCode(-1), Text("\xFF"));
    EXPECT_EQ(charFromCode(0), Text());
    EXPECT_EQ(charFromCode(0x100), Text());

    EXPECT_EQ(blankText(3), Text("   "));
    EXPECT_EQ(blankText(0), Text());
    EXPECT_EQ(blankText(-2), Text());
    EXPECT_EQ(blankBytes(2), Bytes(std::string_view("\0\0", 2)));
    EXPECT_EQ(blankBytes(0), Bytes());
    EXPECT_EQ(blankBytes(-1), Bytes());

    EXPECT_EQ(toBytes(Text("ab")), Bytes(std::string_view("ab")));
    EXPECT_EQ(toBytes(Text()).size(), 0u);
    EXPECT_EQ(concatText(Text("a"), Text(), "b", Text("c")), Text("abc"));
    EXPECT_EQ(concatBytes(Bytes(std::string_view("a\0", 2)), Bytes(), Bytes(std::string_view("b"))),
              Bytes(std::string_view("a\0b", 3)));
    EXPECT_EQ(itemCount({}), 0);
    EXPECT_EQ(itemCount({Text(), Text("x")}), 2);
}

// ---------------------------------------------------------------------------------
// findText

TEST(FindText, Table) {
    struct Case {
        Text text;
        Text sub;
        std::optional<int> start;
        bool ignoreCase;
        int expected;
    };
    const std::vector<Case> cases = {
        {"abcabc", "c", nullopt, false, 3},
        {"abcabc", "c", 4, false, 6},
        {"abcabc", "c", 7, false, -1},
        {"abcabc", "c", 0, false, 3},
        {"abcabc", "c", -5, false, 3},
        {"abcabc", "c", INT_MIN, false, 3},
        {"abcabc", "c", INT_MAX, false, -1},
        {"abc", "B", nullopt, false, -1},
        {"abc", "B", nullopt, true, 2},
        {"xabc", "ABC", nullopt, true, 2},
        {"abc", "abcd", nullopt, false, -1},
        // An empty sub is found at 1 whenever the searched part is not empty.
        {"abc", "", nullopt, false, 1},
        {"abc", "", 2, false, 1},
        {"abc", "", 3, false, 1},
        {"abc", "", 4, false, -1},
        {"", "", nullopt, false, -1},
        {"", "a", nullopt, false, -1},
        // A match that straddles two characters is not found.
        {kZhongWen, kXing, nullopt, false, -1},
        {kZhongWen, kWen, nullopt, false, 3},
        {concatText("a", kZhongWen), kWen, nullopt, false, 4},
        // Stepping begins at the start position: from 2 the bytes D0 CE begin a character.
        {kZhongWen, kXing, 2, false, 2},
        // A second byte that is an ASCII letter is not a character start...
        {"\x81"
         "A",
         "A", nullopt, false, -1},
        {"\x81"
         "Ab"
         "A",
         "A", nullopt, false, 4},
        // ...but folding applies to it inside a two-byte sub.
        {"\x81"
         "a",
         "\x81"
         "A",
         nullopt, true, 1},
        {"\x81"
         "a",
         "\x81"
         "A",
         nullopt, false, -1},
        // 80 and FF count as first bytes too.
        {"\x80"
         "a"
         "a",
         "a", nullopt, false, 3},
        {"\xFF"
         "a"
         "a",
         "a", nullopt, false, 3},
        // A lone first byte at the end is one incomplete character.
        {"ab\xD6", "\xD6", nullopt, false, 3},
        {"ab\xD6", "b\xD6", nullopt, false, 2},
        {"\xD6", "\xD6\xD0", nullopt, false, -1},
        // Folding is ASCII only: full-width letters A3 C1 and A3 E1 do not fold.
        {"\xA3\xE1", "\xA3\xC1", nullopt, true, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findText(c.text, c.sub, c.start, c.ignoreCase), c.expected)
            << "'" << show(c.text.view()) << "' for '" << show(c.sub.view()) << "' from "
            << (c.start ? std::to_string(*c.start) : "default") << " ignoreCase " << c.ignoreCase;
    }
}

// ---------------------------------------------------------------------------------
// toLower, trimText

TEST(ToLower, OneByteCharactersOnly) {
    const std::vector<std::pair<Text, Text>> cases = {
        {"AbC-Z@[", "abc-z@["},
        {"", ""},
        // Second byte 41..5A stays.
        {"\x81"
         "A"
         "B",
         "\x81"
         "A"
         "b"},
        // Full-width letters stay.
        {"\xA3\xC1"
         "Q",
         "\xA3\xC1"
         "q"},
        // Stepping over the lone first byte at the end.
        {"Q\xC1", "q\xC1"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(toLower(in), out) << show(in.view());
    }
}

TEST(TrimText, SpacesAndFullWidthSpacesOnly) {
    const Text ws(kIdeoSpace);
    const std::vector<std::pair<Text, Text>> cases = {
        {"  ab c  ", "ab c"},
        {concatText(ws, "ab", ws), "ab"},
        {concatText(" ", ws, " x ", ws, ws), "x"},
        {"\tab\r\n", "\tab\r\n"},
        {" \tab\r\n ", "\tab\r\n"},
        {concatText("  ", ws, " "), ""},
        {"", ""},
        {"ab", "ab"},
        // The second byte of a character may be 20: B0 20 is no blank.
        {"\xB0 ", "\xB0 "},
        {"a\xB0  ", "a\xB0 "},
        // A1 is the second byte of B0 A1 here, so "A1 A1" at the end is no blank...
        {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},
        // ...and a lone A1 at the end is an incomplete character, not a blank.
        {"x\xA1", "x\xA1"},
        {"\xA1\xA1\xA1", "\xA1"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(trimText(in), out) << show(in.view());
    }
}

// ---------------------------------------------------------------------------------
// replaceText

TEST(ReplaceText, Table) {
    struct Case {
        Text text;
        Text sub;
        Text replacement;
        std::optional<int> start;
        std::optional<int> count;
        bool caseSensitive;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"aXbxc", "x", "-", nullopt, nullopt, false, "a-b-c"},
        {"aXbxc", "x", "-", nullopt, nullopt, true, "aXb-c"},
        {"aaa", "aa", "b", nullopt, nullopt, false, "ba"},
        {"abcabc", "b", "", 3, nullopt, false, "abcac"},
        {"ababab", "ab", "x", nullopt, 2, false, "xxab"},
        {"ababab", "ab", "x", nullopt, -1, false, "xxx"},
        {"ababab", "ab", "x", nullopt, 0, false, "ababab"},
        // Never rescans its own output.
        {"aaa", "a", "aa", nullopt, nullopt, false, "aaaaaa"},
        {"abc", "", "x", nullopt, nullopt, false, "abc"},
        {"abc", "b", "x", 4, nullopt, false, "abc"},
        {"abc", "b", "x", INT_MIN, nullopt, false, "axc"},
        {"", "b", "x", nullopt, nullopt, false, ""},
        // Only at character starts.
        {kZhongWen, kXing, "x", nullopt, nullopt, false, kZhongWen},
        {concatText(kZhong, "a", kZhong), kZhong, "-", nullopt, nullopt, false, "-a-"},
        {"\x81"
         "a"
         "a",
         "A", "-", nullopt, nullopt, false,
         "\x81"
         "a-"},
        // A lone first byte at the end is copied and never read past.
        {"ab\xD6", "b", "-", nullopt, nullopt, false, "a-\xD6"},
        {"ab\xD6", "\xD6", "-", nullopt, nullopt, false, "ab-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replaceText(c.text, c.sub, c.replacement, c.start, c.count, c.caseSensitive),
                  c.expected)
            << "'" << show(c.text.view()) << "' '" << show(c.sub.view()) << "' -> '"
            << show(c.replacement.view()) << "'";
    }
}

// ---------------------------------------------------------------------------------
// splitText

TEST(SplitText, Table) {
    struct Case {
        Text text;
        Text delimiter;
        std::optional<int> maxItems;
        TextList expected;
    };
    const std::vector<Case> cases = {
        {"a,b,,c", ",", nullopt, {"a", "b", "", "c"}},
        {"a,b,", ",", nullopt, {"a", "b"}},
        {",a", ",", nullopt, {"", "a"}},
        {",", ",", nullopt, {""}},
        {",,", ",", nullopt, {"", ""}},
        {"abc", ",", nullopt, {"abc"}},
        {"", ",", nullopt, {}},
        {"a,b,c", ",", 2, {"a", "b"}},
        {"a,b,c", ",", 3, {"a", "b", "c"}},
        {"a,b,c", ",", 9, {"a", "b", "c"}},
        {"a,b,c", ",", 0, {}},
        {"a,b,c", ",", -1, {}},
        {"a,b,c", "", nullopt, {"a,b,c"}},
        {"x\r\n\r\ny\r\n", "\r\n", nullopt, {"x", "", "y"}},
        // Case matters.
        {"aXbxc", "x", nullopt, {"aXb", "c"}},
        // Delimiter only at character starts: the comma inside 81 2C is no delimiter.
        {"a\x81,b,c", ",", nullopt, {"a\x81,b", "c"}},
        {concatText(kZhongWen, kZhong, "x"), kXing, nullopt, {concatText(kZhongWen, kZhong, "x")}},
        {"a,\xD6", ",", nullopt, {"a", "\xD6"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitText(c.text, c.delimiter, c.maxItems), c.expected)
            << "'" << show(c.text.view()) << "' at '" << show(c.delimiter.view()) << "'";
    }
}

// ---------------------------------------------------------------------------------
// compareText

TEST(CompareText, Table) {
    struct Case {
        Text a;
        Text b;
        bool caseSensitive;
        int sign;
    };
    const std::vector<Case> cases = {
        {"http://", "HTTP://", false, 0},
        {"http://", "HTTP://", true, 1},
        {"abc", "abc", true, 0},
        {"", "", true, 0},
        {"", "a", true, -1},
        {"ab", "a", true, 1},
        {"a", "b", false, -1},
        {"B", "a", false, 1},
        // A two-byte character is greater than any one-byte character.
        {kZhong, "\x7F", true, 1},
        {kZhong, kWen, true, 1},
        {kWen, kZhong, true, -1},
        // Second bytes are not folded.
        {"\x81"
         "A",
         "\x81"
         "a",
         false, -1},
        // Full-width letters do not fold.
        {"\xA3\xC1", "\xA3\xE1", false, -1},
        // An incomplete character sorts below the complete ones with its first byte.
        {"\xD6", kZhong, true, -1},
    };
    for (const auto& c : cases) {
        const int got = compareText(c.a, c.b, c.caseSensitive);
        EXPECT_EQ((got > 0) - (got < 0), c.sign)
            << "'" << show(c.a.view()) << "' vs '" << show(c.b.view()) << "'";
    }
}

// ---------------------------------------------------------------------------------
// Numbers

TEST(ToNumber, Table) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<Text, double>> cases = {
        {"50", 50},
        {" 12.5abc", 12.5},
        {"", 0},
        {"abc", 0},
        {"\xA3\xB5\xA3\xB0", 50},                    // full-width 50
        {"\xA3\xAD\xA3\xB1\xA3\xAE\xA3\xB5", -1.5},  // full-width -1.5
        {"\xA1\xA1 7", 7},                           // full-width space skipped
        {"1e3", 1000},
        {"1d3", 1000},
        {"1D-2", 0.01},
        {"2E+2x", 200},
        {"-3", -3},
        {"+4", 4},
        {"\t\n\v\f\r 8", 8},
        {".5", 0.5},
        {"5.", 5},
        {"5.e1", 50},
        {"1.2.3", 1.2},
        {"0x10", 0},
        {".", 0},
        {"-", 0},
        {"+.e5", 0},
        {"1e", 1},
        {"1e+", 1},
        {"1ex", 1},
        {"- 5", 0},
        {"--5", 0},
        {"\xD6\xD0"
         "5",
         0},
        {"7\xD6", 7},
        {"1e400", inf},
        {"-1e400", -inf},
        {"1e-400", 0},
        {"0.000001e-99999999999999999999", 0},
        {"1e99999999999999999999", inf},
        {"0e99999999999999999999", 0},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
    };
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(toNumber(in), expected) << show(in.view());
    }
}

TEST(ToInteger, TruncatesAndSaturates) {
    const std::vector<std::pair<double, int>> cases = {
        {2.9, 2},
        {-2.9, -2},
        {0.0, 0},
        {-0.5, 0},
        {2147483647.9, INT_MAX},
        {-2147483648.9, INT_MIN},
        {1e300, INT_MAX},
        {-1e300, INT_MIN},
        {std::numeric_limits<double>::infinity(), INT_MAX},
        {-std::numeric_limits<double>::infinity(), INT_MIN},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(toInteger(in), expected) << in;
    }
}

TEST(ToText, IntegersBooleansBytesHex) {
    EXPECT_EQ(toText(std::int32_t{0}), Text("0"));
    EXPECT_EQ(toText(std::int32_t{-42}), Text("-42"));
    EXPECT_EQ(toText(std::int32_t{INT_MIN}), Text("-2147483648"));
    EXPECT_EQ(toText(true), Text("\xD5\xE6"));
    EXPECT_EQ(toText(false), Text("\xBC\xD9"));
    EXPECT_EQ(toText(Bytes(std::string_view("ab\0c", 4))), Text("ab"));
    EXPECT_EQ(toText(Bytes()), Text());
    EXPECT_EQ(toText(Text("x")), Text("x"));

    const std::vector<std::pair<std::int32_t, Text>> hex = {
        {0, "0"},
        {5, "5"},
        {10, "A"},
        {255, "FF"},
        {-1, "FFFFFFFF"},
        {INT_MIN, "80000000"},
        {0x1234abcd, "1234ABCD"},
    };
    for (const auto& [in, expected] : hex) {
        EXPECT_EQ(hexText(in), expected) << in;
    }
}

TEST(ToText, NumbersFromExamples) {
    const std::vector<std::pair<double, Text>> cases = {
        {10.0, "10"},
        {2.50, "2.5"},
        {0.5, "0.5"},
        {1.0 / 3, "0.3333333333333"},
        {1e13, "1e+013"},
        {1e12, "1000000000000"},
        {1234567890123.0, "1234567890123"},
        {0.0001, "0.0001"},
        {0.00001, "1e-005"},
        {-2.5e-7, "-2.5e-007"},
        {1e100, "1e+100"},
        {1.5e308, "1.5e+308"},
        {0.0, "0"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(toText(in), expected) << in;
    }
}

// "%.13g" from the C library with its exponent widened to three digits.
std::string printfForm(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.13g", v);
    std::string s = buf;
    if (const auto e = s.find('e'); e != std::string::npos) {
        const std::size_t digits = s.size() - (e + 2);
        if (digits < 3)
            s.insert(e + 2, 3 - digits, '0');
    }
    return s;
}

TEST(ToText, NumbersMatchPrintfG13) {
    // Values around every switch of form and every rounding edge, then many random ones.
    std::vector<double> values = {
        9999999999999.0,
        9999999999999.5,
        99999999999994.0,
        0.00009999999999999,
        0.000099999999999996,
        5e-324,
        2.2250738585072014e-308,
        1.7976931348623157e308,
        0.1,
        0.2 + 0.1,
        123.456,
        -0.0,
        1e-4,
        1e-5,
        1e15,
        12345678901234567.0,
        0.5e-4,
        2.675,
        1.0000000000005,
        1.00000000000005,
    };
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 3000; ++i) {
        double v;
        const std::uint64_t raw = rng();
        std::memcpy(&v, &raw, sizeof v);
        if (std::isnan(v))
            continue;
        values.push_back(v);
        values.push_back(static_cast<double>(static_cast<std::int64_t>(rng() >> (rng() % 64))) /
                         static_cast<double>(1 + rng() % 100000));
    }
    for (double v : values) {
        ASSERT_EQ(toText(v).bytes(), printfForm(v)) << "value " << v;
    }
}

// Qt sets LC_ALL from the environment; a decimal comma there must not leak into numbers.
TEST(ToText, NumbersIgnoreTheProcessLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* const commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_ALL, name)) {
            chosen = name;
            break;
        }
    }
    if (!chosen)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const Text printed = toText(2.5);
    const double read = toNumber("2.5");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(printed, Text("2.5")) << chosen;
    EXPECT_EQ(read, 2.5) << chosen;
}

// ---------------------------------------------------------------------------------
// textBetween, textBefore, replaceSeveral

TEST(TextBetween, Table) {
    struct Case {
        Text text;
        Text startMarker;
        Text endMarker;
        std::optional<int> start;
        std::optional<bool> caseSensitive;
        Text expected;
    };
    const Text quoteName("#\xD2\xFD\xBA\xC5");  // #引号
    const std::vector<Case> cases = {
        {"a<b>c</b>d", "<b>", "</b>", nullopt, nullopt, "c"},
        {"a<B>c</b>d", "<b>", "</b>", nullopt, nullopt, "c"},
        {"a<B>c</b>d", "<b>", "</b>", nullopt, true, ""},
        {"a<B>c</b>d", "<b>", "</b>", nullopt, false, "c"},
        {"abc", "x", "c", nullopt, nullopt, ""},
        {"k=\"v\";", concatText("k=", quoteName), quoteName, nullopt, nullopt, "v"},
        {"ab", "a", "b", nullopt, nullopt, ""},
        // End marker only before the start marker.
        {"</b>x<b>y", "<b>", "</b>", nullopt, nullopt, ""},
        // Start marker at the very end.
        {"xy<b>", "<b>", "</b>", nullopt, nullopt, ""},
        {"xy<b>", "<b>", "", nullopt, nullopt, ""},
        {"a<b>c</b>d", "<b>", "", nullopt, nullopt, ""},
        // Empty start marker: end marker searched from the beginning.
        {"abc;d", "", ";", nullopt, nullopt, "abc"},
        {"abc;d", "", ";", 3, nullopt, "abc"},
        // A given start skips earlier start markers; the end marker follows the one found.
        {"[1][2]", "[", "]", 2, nullopt, "2"},
        {"[1][2]", "[", "]", 9, nullopt, ""},
        {"User-Agent: x\r\nA: b\r\n", "user-agent:", "\r\n", nullopt, nullopt, " x"},
        // Markers are found at character starts only.
        {concatText(kZhongWen, "<b>z</b>"), kXing, "</b>", nullopt, nullopt, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textBetween(c.text, c.startMarker, c.endMarker, c.start, c.caseSensitive),
                  c.expected)
            << "'" << show(c.text.view()) << "' between '" << show(c.startMarker.view())
            << "' and '" << show(c.endMarker.view()) << "'";
    }
}

TEST(TextBefore, Table) {
    struct Case {
        Text text;
        Text marker;
        std::optional<int> start;
        bool ignoreCase;
        Text expected;
    };
    const std::vector<Case> cases = {
        {"a=1; b=2", ";", nullopt, false, "a=1"},
        {"abc", ";", nullopt, false, ""},
        {"a;b;c", ";", 3, false, "a;b"},
        {";x", ";", nullopt, false, ""},
        {"a;b", ";", 0, false, "a"},
        {"a;b", ";", -7, false, "a"},
        {"aXb", "x", nullopt, false, ""},
        {"aXb", "x", nullopt, true, "a"},
        {"abc", "", nullopt, false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textBefore(c.text, c.marker, c.start, c.ignoreCase), c.expected)
            << "'" << show(c.text.view()) << "' before '" << show(c.marker.view()) << "'";
    }
}

TEST(ReplaceSeveral, Table) {
    EXPECT_EQ(replaceSeveral("<em>Big</em> <EM>Data</EM>", nullopt, nullopt, nullopt, "<em>", "",
                             "</em>", ""),
              Text("Big Data"));
    // Pairs run in order on the previous result.
    EXPECT_EQ(replaceSeveral("abc", nullopt, nullopt, nullopt, "a", "b", "b", "c"), Text("ccc"));
    // Only the first pair given.
    EXPECT_EQ(replaceSeveral("a-a", nullopt, nullopt, nullopt, "a"), Text("-"));
    // An empty find text changes nothing, even with a replacement.
    EXPECT_EQ(replaceSeveral("abc", nullopt, nullopt, nullopt, "", "x", "b", "B"), Text("aBc"));
    // Count applies to each pair.
    EXPECT_EQ(replaceSeveral("aabb", 1, nullopt, nullopt, "a", "", "b", ""), Text("ab"));
    // Start below 1 means the beginning; a start skips earlier matches for every pair.
    EXPECT_EQ(replaceSeveral("abab", nullopt, 0, nullopt, "a", "x"), Text("xbxb"));
    EXPECT_EQ(replaceSeveral("abab", nullopt, 2, nullopt, "a", "x", "b", "y"), Text("ayxy"));
    // Case sensitivity when given.
    EXPECT_EQ(replaceSeveral("aA", nullopt, nullopt, true, "a", "x"), Text("xA"));
    EXPECT_EQ(replaceSeveral("aA", nullopt, nullopt, false, "a", "x"), Text("xx"));
    // All five pairs are applied.
    EXPECT_EQ(replaceSeveral("12345", nullopt, nullopt, nullopt, "1", "a", "2", "b", "3", "c", "4",
                             "d", "5", "e"),
              Text("abcde"));
}

// ---------------------------------------------------------------------------------
// Random bytes through every scanning operation, checked against the stepping rules
// written out plainly, and against invariants that hold for any input.

struct Random {
    std::mt19937 rng{20240611u};
    unsigned below(unsigned n) { return static_cast<unsigned>(rng() % n); }

    // Mostly bytes that matter to the rules: first bytes, A1 and A3, letters in both
    // cases, delimiters, blanks; a few of any value. No NUL: Text cannot hold it.
    char byte() {
        static const unsigned char interesting[] = {
            'a', 'A', 'b',  'B',  'x',  ',',  ' ',  '\t', '\r', '\n', '#',  '"',  '1',  '.',
            'e', '-', 0x80, 0x81, 0xA1, 0xA3, 0xB0, 0xB5, 0xC4, 0xCE, 0xD0, 0xD6, 0xFF,
        };
        if (below(8) == 0)
            return static_cast<char>(1 + below(255));
        return static_cast<char>(interesting[below(sizeof interesting)]);
    }
    Text text(unsigned maxLength) {
        std::string s(below(maxLength + 1), '\0');
        for (char& c : s) c = byte();
        if (!s.empty() && below(4) == 0)
            s.back() = static_cast<char>(0x80 + below(128));
        return Text(std::move(s));
    }
    // Often a piece of the text itself, so that matches (aligned or not) are common.
    Text subOf(const Text& t) {
        if (t.empty() || below(3) == 0)
            return text(3);
        const std::size_t at = below(static_cast<unsigned>(t.size()));
        const std::size_t n = 1 + below(3);
        return Text(t.view().substr(at, n));
    }
    std::optional<int> start(const Text& t) {
        if (below(3) == 0)
            return std::nullopt;
        return static_cast<int>(below(static_cast<unsigned>(t.size()) + 3)) - 1;
    }
};

// The stepping rules, one character at a time.
bool bytesMatch(std::string_view s, std::size_t at, std::string_view sub, bool ignoreCase) {
    for (std::size_t k = 0; k < sub.size(); ++k) {
        unsigned char a = static_cast<unsigned char>(s[at + k]);
        unsigned char b = static_cast<unsigned char>(sub[k]);
        if (ignoreCase) {
            if (a >= 'A' && a <= 'Z')
                a = static_cast<unsigned char>(a + 32);
            if (b >= 'A' && b <= 'Z')
                b = static_cast<unsigned char>(b + 32);
        }
        if (a != b)
            return false;
    }
    return true;
}

std::size_t stepOver(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[i]) >= 0x80 ? i + 2 : i + 1;
}

int plainFind(std::string_view s, std::string_view sub, std::optional<int> start, bool ignoreCase) {
    std::size_t i = (!start || *start <= 1) ? 0 : static_cast<std::size_t>(*start - 1);
    if (i >= s.size())
        return -1;
    if (sub.empty())
        return 1;
    while (i < s.size() && s.size() - i >= sub.size()) {
        if (bytesMatch(s, i, sub, ignoreCase))
            return static_cast<int>(i + 1);
        i = stepOver(s, i);
    }
    return -1;
}

std::string plainReplace(std::string_view s, std::string_view sub, std::string_view rep,
                         std::optional<int> start, std::optional<int> count, bool caseSensitive) {
    std::size_t i = (!start || *start <= 1) ? 0 : static_cast<std::size_t>(*start - 1);
    if (s.empty() || sub.empty() || i >= s.size() || (count && *count == 0)) {
        return std::string(s);
    }
    std::string out(s.substr(0, i));
    int done = 0;
    while (i < s.size() && s.size() - i >= sub.size()) {
        if (bytesMatch(s, i, sub, !caseSensitive)) {
            out += rep;
            i += sub.size();
            if (count && *count > 0 && ++done == *count)
                break;
        } else {
            const std::size_t next = std::min(stepOver(s, i), s.size());
            out.append(s.substr(i, next - i));
            i = next;
        }
    }
    if (i < s.size())
        out.append(s.substr(i));
    return out;
}

TEST(RandomBytes, ScanningOperationsKeepTheirRules) {
    Random r;
    for (int round = 0; round < 4000; ++round) {
        const Text t = r.text(round < 3000 ? 24 : 200);
        const std::string_view s = t.view();
        const Text sub = r.subOf(t);
        const Text rep = r.text(3);
        const std::optional<int> start = r.start(t);
        const bool flag = r.below(2) == 0;
        SCOPED_TRACE("text '" + show(s) + "' sub '" + show(sub.view()) + "' start " +
                     (start ? std::to_string(*start) : "default") + " flag " +
                     std::to_string(flag));

        // findText: the plain stepping rule, and a real occurrence within bounds.
        const int found = findText(t, sub, start, flag);
        ASSERT_EQ(found, plainFind(s, sub.view(), start, flag));
        if (found != -1 && !sub.empty()) {
            ASSERT_GE(found, std::max(start.value_or(1), 1));
            ASSERT_LE(static_cast<std::size_t>(found - 1) + sub.size(), s.size());
            ASSERT_TRUE(bytesMatch(s, static_cast<std::size_t>(found - 1), sub.view(), flag));
        }

        // replaceText: the plain rule; replacing a text by itself changes nothing.
        std::optional<int> count;
        if (r.below(2) == 0)
            count = static_cast<int>(r.below(4)) - 1;
        ASSERT_EQ(replaceText(t, sub, rep, start, count, flag).bytes(),
                  plainReplace(s, sub.view(), rep.view(), start, count, flag));
        ASSERT_EQ(replaceText(t, sub, sub, start, count, true), t);

        // splitText: the items joined by the delimiter give back the text, less at most
        // the final delimiter; no item holds the delimiter at a character start.
        const Text delimiter = sub.empty() ? Text(",") : sub;
        const TextList items = splitText(t, delimiter);
        std::string joined;
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (k)
                joined += delimiter.bytes();
            joined += items[k].bytes();
            ASSERT_EQ(findText(items[k], delimiter), -1);
        }
        ASSERT_TRUE(joined == s || joined + delimiter.bytes() == s) << show(joined);
        const int maxItems = static_cast<int>(r.below(4));
        const TextList limited = splitText(t, delimiter, maxItems);
        ASSERT_LE(limited.size(), static_cast<std::size_t>(maxItems));
        ASSERT_TRUE(std::equal(limited.begin(), limited.end(), items.begin()));

        // toLower: same length, only one-byte A..Z changed, second bytes kept.
        const Text lower = toLower(t);
        ASSERT_EQ(lower.size(), s.size());
        for (std::size_t i = 0; i < s.size(); i = stepOver(s, i)) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            const bool upper = c >= 'A' && c <= 'Z';
            ASSERT_EQ(lower.view()[i], upper ? static_cast<char>(c + 32) : s[i]);
            if (c >= 0x80 && i + 1 < s.size()) {
                ASSERT_EQ(lower.view()[i + 1], s[i + 1]);
            }
        }

        // trimText: a piece of the text, that no longer begins with a blank.
        const Text trimmed = trimText(t);
        ASSERT_NE(s.find(trimmed.view()), std::string_view::npos);
        ASSERT_NE(trimmed.view().substr(0, 1), " ");
        ASSERT_NE(trimmed.view().substr(0, 2), "\xA1\xA1");

        // The composites: pieces of the text, never more.
        const Text between = textBetween(t, sub, rep, start, flag);
        ASSERT_NE(s.find(between.view()), std::string_view::npos);
        const Text before = textBefore(t, sub, start, flag);
        ASSERT_EQ(s.substr(0, before.size()), before.view());
        const Text several = replaceSeveral(t, count, start, flag, sub, rep, rep, sub);
        ASSERT_LE(several.size(), s.size() * (rep.size() + sub.size() + 1) + 1);

        // Byte cutting and the rest: within bounds, no crash.
        const int a = static_cast<int>(r.below(static_cast<unsigned>(s.size()) + 4)) - 2;
        const int n = static_cast<int>(r.below(static_cast<unsigned>(s.size()) + 4)) - 2;
        const Text mid = midText(t, a, n);
        ASSERT_LE(mid.size(), static_cast<std::size_t>(std::max(n, 0)));
        if (!mid.empty()) {
            ASSERT_EQ(s.substr(static_cast<std::size_t>(a - 1), mid.size()), mid.view());
        }
        ASSERT_EQ(replaceAt(t, a, n, rep).size(),
                  s.size() -
                      std::min<std::size_t>(
                          std::max(n, 0),
                          s.size() - std::min<std::size_t>(std::max(a - 1, 0), s.size())) +
                      rep.size());
        ASSERT_FALSE(std::isnan(toNumber(t)));
        const int cmp = compareText(t, sub, flag);
        const int back = compareText(sub, t, flag);
        ASSERT_EQ((cmp > 0) - (cmp < 0), -((back > 0) - (back < 0)));
        ASSERT_EQ(compareText(t, t, flag), 0);
    }
}

// Long texts are searched window by window; a match that straddles a window edge, or
// that starts right at one, must still be found where it is.
TEST(FindText, MatchesAcrossSearchWindowEdgesInLongTexts) {
    constexpr int kWindow = 64 * 1024;
    for (int offset : {kWindow - 3, kWindow - 2, kWindow - 1, kWindow, kWindow + 1,
                       2 * kWindow - 1, 3 * kWindow + 7}) {
        SCOPED_TRACE(offset);
        std::string bytes(static_cast<std::size_t>(3 * kWindow + 64), 'a');
        bytes.replace(static_cast<std::size_t>(offset), 3, "xyz");
        const Text text(bytes);
        EXPECT_EQ(findText(text, "xyz"), offset + 1);
        EXPECT_EQ(findText(text, "xyz", offset + 2), -1);
        EXPECT_EQ(itemCount(splitText(text, "xyz")), 2);
    }
}

}  // namespace
}  // namespace sh::text
