#include "cli/keyword_input.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "text/codepage.h"
#include "text/utf8.h"

namespace sh::cli {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != stdin)
            std::fclose(file);
    }
};

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

unsigned byteAt(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

// The 16-bit unit at byte offset i.
unsigned unit16(std::string_view bytes, std::size_t i, bool bigEndian) {
    return bigEndian ? byteAt(bytes, i) << 8 | byteAt(bytes, i + 1)
                     : byteAt(bytes, i + 1) << 8 | byteAt(bytes, i);
}

// How strongly the content reads as UTF-16 text without a byte-order mark: the number of
// units from U+0001 to U+00FF (ASCII and Latin-1 characters, whose second byte is the
// NUL), or -1 when it cannot be UTF-16 text at all: an odd size, a zero unit, a control
// character other than tab, CR and LF, a noncharacter or an unpaired surrogate.
int latinUnitsIfUtf16(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0)
        return -1;
    int latin = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned unit = unit16(bytes, i, bigEndian);
        if (unit < 0x20 && unit != '\t' && unit != '\r' && unit != '\n')
            return -1;
        if (unit == 0xFFFE || unit == 0xFFFF || (unit >= 0xDC00 && unit <= 0xDFFF))
            return -1;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 2 >= bytes.size())
                return -1;
            const unsigned next = unit16(bytes, i + 2, bigEndian);
            if (next < 0xDC00 || next > 0xDFFF)
                return -1;
            i += 2;
        }
        if (unit <= 0xFF)
            ++latin;
    }
    return latin;
}

// Whole UTF-32 code points: no zero, nothing above U+10FFFF, no surrogate.
bool wellFormedUtf32(std::string_view bytes, bool bigEndian) {
    if (bytes.empty() || bytes.size() % 4 != 0)
        return false;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t value =
            bigEndian ? std::uint32_t(byteAt(bytes, i)) << 24 | byteAt(bytes, i + 1) << 16 |
                            byteAt(bytes, i + 2) << 8 | byteAt(bytes, i + 3)
                      : std::uint32_t(byteAt(bytes, i + 3)) << 24 | byteAt(bytes, i + 2) << 16 |
                            byteAt(bytes, i + 1) << 8 | byteAt(bytes, i);
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
    }
    return true;
}

// UTF-16 content without its byte-order mark -> UTF-8, a zero unit kept as a NUL byte so
// that it ends its line as a NUL does in the other encodings.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string result;
    std::string segment;  // UTF-16LE, between zero units
    auto flush = [&] {
        if (!segment.empty())
            result += sh::text::wideToAnsi(sh::text::Bytes(segment), 65001).bytes();
        segment.clear();
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = unit16(bytes, i, bigEndian);
        if (unit == 0) {
            flush();
            result += '\0';
            continue;
        }
        segment += static_cast<char>(unit & 0xFF);
        segment += static_cast<char>(unit >> 8);
    }
    flush();
    return result;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    return sh::text::firstIllFormedUtf8(bytes) == bytes.size();
}

Text keywordFromArgument(std::string_view bytes, bool* lossy) {
    if (lossy)
        *lossy = false;
    if (!isValidUtf8(bytes))
        return Text(bytes);
    Text keyword = sh::text::gbk(bytes);
    // A character GBK lacks came back as '?': the round trip shows it.
    if (lossy)
        *lossy = sh::text::utf8(keyword) != Text(bytes).view();
    return keyword;
}

UnicodeForm unicodeFormOf(std::string_view content) {
    using namespace std::string_view_literals;
    if (content.starts_with("\xFF\xFE\0\0"sv))
        return UnicodeForm::Utf32Le;
    if (content.starts_with("\0\0\xFE\xFF"sv))
        return UnicodeForm::Utf32Be;
    if (content.starts_with("\xFF\xFE"))
        return UnicodeForm::Utf16Le;
    if (content.starts_with("\xFE\xFF"))
        return UnicodeForm::Utf16Be;
    if (content.starts_with("\xEF\xBB\xBF"))
        return UnicodeForm::Utf8OrGbk;

    if (content.find('\0') == std::string_view::npos)
        return UnicodeForm::Utf8OrGbk;
    // UTF-32 has NUL in both halves of most 16-bit units, so it is no UTF-16 text.
    if (wellFormedUtf32(content, false))
        return UnicodeForm::Utf32Le;
    if (wellFormedUtf32(content, true))
        return UnicodeForm::Utf32Be;
    // A NUL in every other byte: an ASCII character's unit is the character and a NUL,
    // the NUL second in little-endian order and first in big-endian order. A Chinese
    // character may hold a NUL on the other side (U+4E00 is 00 4E in little-endian), so
    // the order that reads more characters as ASCII wins.
    const int little = latinUnitsIfUtf16(content, false);
    const int big = latinUnitsIfUtf16(content, true);
    if (little <= 0 && big <= 0)
        return UnicodeForm::Utf8OrGbk;
    return little >= big ? UnicodeForm::Utf16Le : UnicodeForm::Utf16Be;
}

namespace {

// One keyword per line; `utf8` says whether the lines are UTF-8 or GBK already.
std::vector<Text> keywordsFromLines(std::string_view content, bool utf8) {
    std::vector<Text> keywords;
    while (!content.empty()) {
        const std::size_t lf = content.find('\n');
        std::string_view line = content.substr(0, lf);
        content.remove_prefix(lf == content.npos ? content.size() : lf + 1);
        line = line.substr(0, line.find('\0'));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (isBlank(line))
            continue;
        keywords.push_back(utf8 ? sh::text::gbk(line) : Text(line));
    }
    return keywords;
}

}  // namespace

std::vector<Text> keywordsFromFileContent(std::string_view content) {
    const UnicodeForm form = unicodeFormOf(content);
    switch (form) {
        case UnicodeForm::Utf32Le:
        case UnicodeForm::Utf32Be:
            return {};
        case UnicodeForm::Utf16Le:
        case UnicodeForm::Utf16Be:
            if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF"))
                content.remove_prefix(2);
            return keywordsFromLines(utf16ToUtf8(content, form == UnicodeForm::Utf16Be), true);
        case UnicodeForm::Utf8OrGbk:
            break;
    }
    if (content.starts_with("\xEF\xBB\xBF"))
        return keywordsFromLines(content.substr(3), true);
    return keywordsFromLines(content, isValidUtf8(content));
}

KeywordFile readKeywordFile(const std::string& path) {
    KeywordFile result;
    std::unique_ptr<std::FILE, FileCloser> in(path == "-" ? stdin : std::fopen(path.c_str(), "rb"));
    if (!in) {
        result.error = std::strerror(errno);
        return result;
    }
    std::string content;
    char buffer[64 * 1024];
    errno = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, in.get());
        content.append(buffer, got);
        if (content.size() > kMaxKeywordFileBytes) {
            result.error = "larger than " + std::to_string(kMaxKeywordFileBytes >> 20) + " MiB";
            return result;
        }
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(in.get())) {
        // A directory opens but cannot be read; errno says so.
        result.error = std::strerror(errno ? errno : EIO);
        return result;
    }
    if (const UnicodeForm form = unicodeFormOf(content);
        form == UnicodeForm::Utf32Le || form == UnicodeForm::Utf32Be) {
        result.error = "the file is UTF-32; save it as UTF-8, UTF-16 or GBK";
        return result;
    }
    result.keywords = keywordsFromFileContent(content);
    return result;
}

}  // namespace sh::cli
