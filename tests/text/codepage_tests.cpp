#include "text/codepage.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "text/event_pump.h"

namespace sh::text {
namespace {

// Strict UTF-8 check: no overlongs, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int length = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, cp = b & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (int k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (c & 0x3F);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

Bytes wide(std::string_view bytes) {
    return Bytes(bytes);
}

// ---- GBK <-> UTF-8 ----

struct GbkUtf8Case {
    const char* name;
    std::string_view gbk;
    std::string_view utf8;
};

TEST(GbkUtf8, ValidTextConvertsBothWaysExactly) {
    const GbkUtf8Case cases[] = {
        {"北京公司", "\xB1\xB1\xBE\xA9\xB9\xAB\xCB\xBE",
         "\xE5\x8C\x97\xE4\xBA\xAC\xE5\x85\xAC\xE5\x8F\xB8"},
        {"ascii markup", "<a href=\"/s?wd=1\">x</a>\r\n", "<a href=\"/s?wd=1\">x</a>\r\n"},
        {"mixed", "a\xB1\xB1z", "a\xE5\x8C\x97z"},
        // Windows table: 0x80 is the euro sign, and the user-defined area maps to the
        // Private Use Area and back.
        {"euro", "\x80", "\xE2\x82\xAC"},
        {"user-defined area", "\xAA\xA1", "\xEE\x80\x80"},
        {"traditional in GBK", "\x87\xF8", "\xE5\x9C\x8B"},  // 國
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gbkToUtf8(Text(c.gbk)).view(), c.utf8) << c.name;
        EXPECT_EQ(utf8ToGbk(Text(c.utf8)).view(), c.gbk) << c.name;
    }
    EXPECT_TRUE(gbkToUtf8(Text()).empty());
    EXPECT_TRUE(utf8ToGbk(Text()).empty());
}

TEST(GbkUtf8, InvalidUtf8BecomesQuestionMarksAndKeepsWhatFollows) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\xE5", "?"},                 // lone lead byte at the end
        {"a\xE5\x8C", "a?"},           // truncated sequence at the end
        {"\xE5\x8C<b>", "?<b>"},       // truncated sequence before ASCII
        {"\xC0\xAFx", "??x"},          // overlong '/'
        {"\xED\xA0\x80", "???"},       // encoded surrogate
        {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
        {"\x80\xBF", "??"},            // stray continuation bytes
        {"\xF0\x9F\x98\x80", "?"},     // valid, but GBK lacks it: one '?'
        {"\xE0\xB8\x81", "?"},         // Thai: GBK lacks it
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(utf8ToGbk(Text(in)).view(), out) << testing::PrintToString(std::string(in));
    }
}

// GBK text that goes through a page conversion by mistake (a time-out text, say) comes
// out as question marks with its ASCII intact, not cut short or empty.
TEST(GbkUtf8, GbkGivenAsUtf8KeepsItsAscii) {
    const Text gbkText("<b>\xB3\xAC\xCA\xB1 </b>");  // <b>超时 </b>
    // B3, AC: stray continuation bytes; CA B1: valid UTF-8 for U+02B1, which GBK lacks.
    EXPECT_EQ(utf8ToGbk(gbkText).view(), "<b>??? </b>");
}

TEST(GbkUtf8, InvalidGbkBecomesReplacementCharacter) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a\x81", "a\xEF\xBF\xBD"},    // lone lead byte at the end
        {"\x81 x", "\xEF\xBF\xBD x"},  // a trail byte that is not one stays itself
        {"\x81\x7F", "\xEF\xBF\xBD\x7F"},
        {"\xFF", "\xEF\xA3\xB5"},  // Windows table: 0xFF -> U+F8F5
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(gbkToUtf8(Text(in)).view(), out) << testing::PrintToString(std::string(in));
    }
}

// Longer than any first guess at the result size: the conversion must carry on where it
// ran out of room, not restart or drop what was pending.
TEST(GbkUtf8, LongTextsConvertCompletely) {
    std::string euros(20000, '\x80');  // 1 byte in GBK, 3 in UTF-8
    std::string euroUtf8;
    for (int i = 0; i < 20000; ++i) euroUtf8 += "\xE2\x82\xAC";
    EXPECT_EQ(gbkToUtf8(Text(euros)).view(), euroUtf8);

    std::string gbk, utf8;
    for (int i = 0; i < 20000; ++i) {
        gbk += "ab\xB1\xB1\xBE\xA9";
        utf8 += "ab\xE5\x8C\x97\xE4\xBA\xAC";
    }
    EXPECT_EQ(gbkToUtf8(Text(gbk)).view(), utf8);
    EXPECT_EQ(utf8ToGbk(Text(utf8)).view(), gbk);
}

// ---- urlEncode ----

struct UrlCase {
    std::string_view gbk;
    std::optional<bool> keepPlainChars;
    std::string_view expected;
};

TEST(UrlEncode, EncodesUtf8BytesAsUpperCaseHex) {
    const UrlCase cases[] = {
        {"", {}, ""},
        {"\t", {}, "%09"},
        {"a b", {}, "%61%20%62"},
        {"a b", false, "%61%20%62"},
        {"a b", true, "a%20b"},
        {"\xB1\xB1\xBE\xA9\xB9\xAB\xCB\xBE", {}, "%E5%8C%97%E4%BA%AC%E5%85%AC%E5%8F%B8"},
        {"\xB1\xB1", true, "%E5%8C%97"},
        {",-./09AZaz", true, ",-./09AZaz"},
        // neighbours of the kept ranges
        {"+:@[`{", true, "%2B%3A%40%5B%60%7B"},
        {"_~*+", true, "%5F%7E%2A%2B"},
        {"_~*+", {}, "%5F%7E%2A%2B"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(urlEncode(Text(c.gbk), c.keepPlainChars).view(), c.expected)
            << testing::PrintToString(std::string(c.gbk));
    }
}

class CountingPump final : public EventPump {
public:
    std::function<void()> onEvents;
    int calls = 0;
    void processPendingEvents() override {
        ++calls;
        if (onEvents)
            onEvents();
    }
    void waitFor(WorkSignal& signal, std::chrono::milliseconds limit) override {
        signal.waitFor(limit);
    }
};

TEST(UrlEncode, ProcessesEventsOncePerUtf8Byte) {
    CountingPump pump;
    ScopedPump scope(pump);
    urlEncode(Text("a\xB1\xB1"), true);  // 'a' + 3 UTF-8 bytes
    EXPECT_EQ(pump.calls, 4);
    pump.calls = 0;
    urlEncode(Text());
    EXPECT_EQ(pump.calls, 0);
}

// A handler that runs between two bytes may change the keyword the caller passed.
TEST(UrlEncode, HandlerChangingTheInputMidwayDoesNotDisturbTheResult) {
    Text keyword("ab");
    CountingPump pump;
    pump.onEvents = [&] { keyword = Text("a much longer keyword than before"); };
    ScopedPump scope(pump);
    EXPECT_EQ(urlEncode(keyword).view(), "%61%62");
}

// ---- ansiToWide / wideToAnsi ----

TEST(Wide, AnsiToWideGivesUtf16LeWithOneZeroUnit) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view text;
        std::optional<std::int32_t> codePage;
        std::string_view wide;
    } cases[] = {
        {"ab", 936, "a\0b\0\0\0"sv},
        {"ab", {}, "a\0b\0\0\0"sv},
        {"\xB1\xB1", 0, "\x17\x53\0\0"sv},  // 北 read as GBK (code page 0)
        {"\xB1\xB1", 936, "\x17\x53\0\0"sv},
        {"\xE5\x8C\x97", {}, "\x17\x53\0\0"sv},                 // 北 read as UTF-8 by default
        {"\xA4\xA4", 950, "\x2D\x4E\0\0"sv},                    // 中 in Big5
        {"\xF0\x9F\x98\x80", 65001, "\x3D\xD8\x00\xDE\0\0"sv},  // surrogate pair
        {"\xE9", 1252, "\xE9\0\0\0"sv},                         // another Windows code page
        {"", 936, ""sv},
        {"ab", 12345, ""sv},  // unknown code page
        {"ab", 1200, ""sv},   // UTF-16 cannot be read from a Text
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ansiToWide(Text(c.text), c.codePage).view(), c.wide)
            << testing::PrintToString(std::string(c.text)) << " in " << c.codePage.value_or(-1);
    }
}

TEST(Wide, WideToAnsiReadsUpToTheFirstZeroUnit) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view wide;
        std::optional<std::int32_t> codePage;
        std::string_view text;
    } cases[] = {
        {"\x17\x53\0\0"sv, {}, "\xB1\xB1"},  // default: GBK
        {"\x17\x53\0\0"sv, 65001, "\xE5\x8C\x97"},
        {"\x2D\x4E"sv, 950, "\xA4\xA4"},  // no zero unit at all
        {"a\0\0\0b\0"sv, 936, "a"},       // stops at the zero unit
        {"a\0b"sv, 936, "a"},             // odd last byte ignored
        {"\0\0a\0"sv, 936, ""},
        {"\x01\x0E"sv, 936, "?"},  // Thai: GBK lacks it
        {"\x00\xD8"
         "a\0"sv,
         936, "?a"},  // unpaired surrogate
        {"\x00\xD8"sv, 65001, "\xEF\xBF\xBD"},
        {"\x3D\xD8\x00\xDE"sv, 65001, "\xF0\x9F\x98\x80"},
        {"\xE9\0"sv, 1252, "\xE9"},
        {"a\0"sv, 12345, ""},
        {""sv, 936, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wideToAnsi(wide(c.wide), c.codePage).view(), c.text)
            << testing::PrintToString(std::string(c.wide)) << " to " << c.codePage.value_or(-1);
    }
}

// Characters that Unicode marks default-ignorable (zero-width space, soft hyphen, byte
// order mark, variation selectors, tags, ...) and that no code page here holds become '?'
// like every other character the target lacks; ICU's own substitution would drop them.
TEST(Wide, DefaultIgnorableCharactersBecomeQuestionMarks) {
    // The one the report named: a zero-width space before 'a'.
    EXPECT_EQ(utf8ToGbk(Text("\xE2\x80\x8B" "a")).view(), "?a");

    int checked = 0;
    std::vector<UChar32> dropped;
    for (UChar32 c = 0; c <= 0x10FFFF; ++c) {
        if (!u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            continue;
        ++checked;
        char utf8[4];
        std::int32_t utf8Length = 0;
        U8_APPEND_UNSAFE(utf8, utf8Length, c);
        UChar units[2];
        std::int32_t unitCount = 0;
        U16_APPEND_UNSAFE(units, unitCount, c);
        std::string wideText;
        for (std::int32_t i = 0; i < unitCount; ++i) {
            wideText += static_cast<char>(units[i] & 0xFF);
            wideText += static_cast<char>(units[i] >> 8);
        }
        const std::string utf8Text(utf8, static_cast<std::size_t>(utf8Length));
        if (utf8ToGbk(Text(utf8Text + "a")).view() != "?a" ||
            wideToAnsi(wide(wideText)).view() != "?" ||
            wideToAnsi(wide(wideText), 950).view() != "?")
            dropped.push_back(c);
    }
    EXPECT_TRUE(dropped.empty()) << dropped.size() << " of " << checked << ", the first U+"
                                 << std::hex << dropped.front();
    EXPECT_GT(checked, 4000);
}

// ---- Big5 and traditional -> simplified ----

TEST(Big5, ConvertsToGbkKeepingTraditionalCharacters) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\xA5\x5F\xA8\xCA\xA4\xBD\xA5\x71", "\xB1\xB1\xBE\xA9\xB9\xAB\xCB\xBE"},  // 北京公司
        {"x\xB0\xEA", "x\x87\xF8"},  // 國 stays traditional
        {"\xA3\xE1", "\x80"},        // euro sign
        // U+2027 is a Big5 character that GBK lacks: replaced, the rest kept.
        {"\xA4\xA4\xA1\x45\xA4\xA4", "\xD6\xD0?\xD6\xD0"},
        {"\xA4 ab", "? ab"},  // invalid Big5
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(big5ToGbk(Text(in)).view(), out) << testing::PrintToString(std::string(in));
    }
    EXPECT_EQ(big5ToSimplifiedGbk(Text("\xBB\x4F\xC6\x57")).view(),
              "\xCC\xA8\xCD\xE5");  // 臺灣 -> 台湾
}

TEST(ToSimplifiedChinese, MapsTraditionalCharacters) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"\x87\xF8", "\xB9\xFA"},                          // 國 -> 国
        {"\xC8\x66", "\xCD\xF2"},                          // 萬 -> 万
        {"a\xEE\x5E\xF3\x8C<b>", "a\xCD\xB7\xB7\xA2<b>"},  // 頭髮 -> 头发
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(toSimplifiedChinese(Text(in)).view(), out)
            << testing::PrintToString(std::string(in));
    }
}

TEST(ToSimplifiedChinese, TextWithoutTraditionalCharactersComesBackByteForByte) {
    const std::string_view cases[] = {
        "",
        "\xB1\xB1\xBE\xA9\xB9\xAB\xCB\xBE abc\r\n",  // 北京公司
        "\x80\xAA\xA1\xFF",                          // euro, user-defined area, 0xFF
        "\x81 x\x81\x7F tail\x81",                   // invalid sequences
    };
    for (const auto in : cases) {
        EXPECT_EQ(toSimplifiedChinese(Text(in)).view(), in)
            << testing::PrintToString(std::string(in));
    }
}

// ---- threads and hostile input ----

// Converters and the transliterator hold state; the window thread and request workers
// convert at the same time, so sharing one instance would garble results.
TEST(CodePageThreads, ConcurrentConversionsGiveTheSameResults) {
    std::string gbk, utf8;
    for (int i = 0; i < 500; ++i) {
        gbk += "ab\xB1\xB1\x87\xF8";
        utf8 += "ab\xE5\x8C\x97\xE5\x9C\x8B";
    }
    std::string simplified;
    for (int i = 0; i < 500; ++i) simplified += "ab\xB1\xB1\xB9\xFA";
    // Outgrows the first guess at the result size, so the conversion keeps state in
    // the converters between calls into ICU.
    const std::string euros(3000, '\x80');
    std::string euroUtf8;
    for (int i = 0; i < 3000; ++i) euroUtf8 += "\xE2\x82\xAC";

    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                if (gbkToUtf8(Text(gbk)).view() != utf8)
                    ++failures[t];
                if (utf8ToGbk(Text(utf8)).view() != gbk)
                    ++failures[t];
                if (toSimplifiedChinese(Text(gbk)).view() != simplified)
                    ++failures[t];
                if (gbkToUtf8(Text(euros)).view() != euroUtf8)
                    ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// Deterministic random byte strings through every conversion (meant to be run under
// ASan/UBSan too). Besides not crashing, the fast paths must agree with the two-step
// conversion through wide text, and the results must be well-formed.
TEST(CodePageFuzz, RandomBytesStayWellFormed) {
    std::mt19937 random(20240611);  // raw engine output is the same everywhere
    const std::string_view interesting =
        "\x80\x81\xA1\xA4\xB1\xBE\xC0\xC2\xE5\xED\xF0\xF4"
        "\xF8\xFE\xFF\x40\x7F\x20<a";
    for (int round = 0; round < 5000; ++round) {
        std::string bytes(random() % 48, '\0');
        for (auto& b : bytes) {
            const auto r = random();
            b = static_cast<char>((r & 1) ? interesting[(r >> 1) % interesting.size()]
                                          : static_cast<char>((r >> 8) % 255 + 1));
        }
        const Text in(bytes);
        SCOPED_TRACE(testing::PrintToString(in.bytes()));

        const Text utf8 = gbkToUtf8(in);
        EXPECT_TRUE(isValidUtf8(utf8.view()));
        EXPECT_EQ(utf8, wideToAnsi(ansiToWide(in, 936), 65001));

        const Text gbk = utf8ToGbk(in);
        EXPECT_LE(gbk.size(), in.size());
        EXPECT_EQ(gbk, wideToAnsi(ansiToWide(in), 936));
        EXPECT_EQ(utf8ToGbk(gbkToUtf8(gbk)), gbk);

        for (const std::int32_t codePage : {0, 936, 950, 65001}) {
            const Bytes w = ansiToWide(in, codePage);
            EXPECT_EQ(w.size() % 2, 0u);
            if (!in.empty()) {
                ASSERT_GE(w.size(), 2u);
                EXPECT_EQ(w.view().substr(w.size() - 2), std::string_view("\0\0", 2));
            }
            // Wide text from raw bytes, odd lengths and lone surrogates included.
            EXPECT_TRUE(isValidUtf8(wideToAnsi(Bytes(in.view()), 65001).view()));
            wideToAnsi(Bytes(in.view()), codePage);
        }

        const Text simplified = toSimplifiedChinese(in);
        EXPECT_LE(simplified.size(), in.size());
        big5ToSimplifiedGbk(in);
        EXPECT_LE(big5ToGbk(in).size(), in.size());

        const Text encoded = urlEncode(in);
        EXPECT_EQ(encoded.size(), utf8.size() * 3);
    }
}

}  // namespace
}  // namespace sh::text
