#include "text/codepage.h"

#include <unicode/translit.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "text/event_pump.h"

namespace sh::text {

namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Writes the substitute ('?' in GBK and Big5) for every character the target lacks.
// ICU's own substitute callback skips the characters Unicode marks default-ignorable
// (zero-width space, soft hyphen, byte order mark, variation selectors, ...) instead, so
// they would vanish without a trace.
void substituteUnmappable(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t,
                          UChar32, UConverterCallbackReason reason, UErrorCode* status) {
    if (reason > UCNV_IRREGULAR)
        return;  // reset, close or clone: nothing to write
    *status = U_ZERO_ERROR;
    ucnv_cbFromUWriteSub(args, 0, status);
}

ConverterPtr openConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open(name, &status));
    if (U_FAILURE(status))
        return nullptr;
    ucnv_setFromUCallBack(converter.get(), substituteUnmappable, nullptr, nullptr, nullptr,
                          &status);
    if (U_FAILURE(status))
        return nullptr;
    return converter;
}

enum class Page { Gbk, Big5, Utf8, Count };

// A UConverter carries conversion state and must never be used by two threads at once,
// and the window thread and request workers convert at the same time. So every thread
// keeps its own converters, opened on first use. Nothing here calls out while a
// conversion is under way, so a cached converter is never used re-entrantly either.
UConverter* threadConverter(Page page) {
    static constexpr const char* kNames[] = {"windows-936-2000", "windows-950-2000", "UTF-8"};
    thread_local ConverterPtr converters[static_cast<int>(Page::Count)];
    ConverterPtr& slot = converters[static_cast<int>(page)];
    if (!slot)
        slot = openConverter(kNames[static_cast<int>(page)]);
    if (slot)
        ucnv_reset(slot.get());
    return slot.get();
}

// The converter for a Windows code-page number. 0 (the system ANSI code page) is 936.
// Other numbers are looked up as ICU's "windows-<n>"; those that ICU lacks, and the
// UTF-16/UTF-32 ones (their units hold zero bytes, which a Text cannot carry), give
// no converter, and the conversion gives an empty result.
class CodePageConverter {
public:
    explicit CodePageConverter(std::int32_t codePage) {
        switch (codePage) {
            case 0:
            case 936:
                m_converter = threadConverter(Page::Gbk);
                break;
            case 950:
                m_converter = threadConverter(Page::Big5);
                break;
            case 65001:
                m_converter = threadConverter(Page::Utf8);
                break;
            default: {
                // Rare; opened per call so that no thread collects converters.
                const std::string name = "windows-" + std::to_string(codePage);
                m_owned = openConverter(name.c_str());
                if (m_owned && ucnv_getMinCharSize(m_owned.get()) != 1)
                    m_owned.reset();
                m_converter = m_owned.get();
            }
        }
    }
    UConverter* get() const { return m_converter; }

private:
    ConverterPtr m_owned;
    UConverter* m_converter = nullptr;
};

// Bytes in one code page -> bytes in another, through a UTF-16 pivot. Invalid input
// and characters the target lacks become the converters' substitutes (U+FFFD, then
// '?' in GBK and Big5, EF BF BD in UTF-8). capacity is a first guess at the size of
// the result; the buffer grows when it is too small, so any guess is safe.
std::string convertBytes(UConverter* to, UConverter* from, std::string_view input,
                         std::size_t capacity) {
    if (!to || !from || input.empty())
        return {};
    constexpr std::size_t kPivotUnits = 4096;
    UChar pivot[kPivotUnits];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;

    std::string out(std::max<std::size_t>(capacity, 16), '\0');
    const char* source = input.data();
    const char* const sourceLimit = input.data() + input.size();
    std::size_t written = 0;
    bool reset = true;
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        char* target = out.data() + written;
        ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, sourceLimit, pivot,
                       &pivotSource, &pivotTarget, pivot + kPivotUnits, reset, true, &status);
        written = static_cast<std::size_t>(target - out.data());
        reset = false;  // go on where this call stopped
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            // Half as much again: the room is touched as it is made, and a large page
            // should not cost twice its size for a guess.
            out.resize(out.size() + out.size() / 2 + 64);
            continue;
        }
        if (U_FAILURE(status))
            return {};
        out.resize(written);
        return out;
    }
}

// ICU's one-shot calls count in int32_t; a text this large is refused (empty result)
// rather than having its length wrap around.
constexpr std::size_t kMaxOneShotLength = INT32_MAX / 4;

std::u16string decode(UConverter* converter, std::string_view input) {
    if (!converter || input.empty() || input.size() > kMaxOneShotLength)
        return {};
    // Every supported code page yields at most one unit per byte; the retry covers
    // any that does not.
    std::u16string units(input.size(), u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            ucnv_toUChars(converter, units.data(), static_cast<int32_t>(units.size()), input.data(),
                          static_cast<int32_t>(input.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && length > 0) {
            units.assign(static_cast<std::size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status) || length < 0)
            return {};
        units.resize(static_cast<std::size_t>(length));
        return units;
    }
    return {};
}

std::string encode(UConverter* converter, std::u16string_view units) {
    if (!converter || units.empty() || units.size() > kMaxOneShotLength)
        return {};
    std::string out(UCNV_GET_MAX_BYTES_FOR_STRING(units.size(), ucnv_getMaxCharSize(converter)),
                    '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()), units.data(),
                            static_cast<int32_t>(units.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && length > 0) {
            out.assign(static_cast<std::size_t>(length), '\0');
            continue;
        }
        if (U_FAILURE(status) || length < 0)
            return {};
        out.resize(static_cast<std::size_t>(length));
        return out;
    }
    return {};
}

// Creating the transliterator compiles its rules (tens of milliseconds), so it is
// created once; and as one instance must not be used by two threads at once, every
// thread works with its own clone of it.
icu::Transliterator* threadTransliterator() {
    static std::mutex masterMutex;
    static const std::unique_ptr<icu::Transliterator> master = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> created(icu::Transliterator::createInstance(
            icu::UnicodeString(u"Traditional-Simplified"), UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            created.reset();
        return created;
    }();
    thread_local const std::unique_ptr<icu::Transliterator> local = [] {
        std::lock_guard lock(masterMutex);
        return std::unique_ptr<icu::Transliterator>(master ? master->clone() : nullptr);
    }();
    return local.get();
}

bool isPlainUrlByte(unsigned char b) {
    return (b >= 0x2C && b <= 0x39) || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

}  // namespace

Text urlEncode(const Text& text, std::optional<bool> keepPlainChars) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    const bool keepPlain = keepPlainChars.value_or(false);
    // Converted first: the events processed below may run handlers that change
    // whatever `text` refers to.
    const Text utf8 = gbkToUtf8(text);
    std::string out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8.view()) {
        const auto b = static_cast<unsigned char>(c);
        if (keepPlain && isPlainUrlByte(b)) {
            out += c;
        } else {
            out += '%';
            out += kHexDigits[b >> 4];
            out += kHexDigits[b & 0x0F];
        }
        sh::currentPump().processPendingEvents();
    }
    return Text(std::move(out));
}

Text gbkToUtf8(const Text& gbk) {
    // A double-byte character takes at most 3 bytes in UTF-8, a single byte 1.
    // Room for ASCII as it is; Chinese (2 bytes in GBK, 3 in UTF-8) grows it once.
    return Text(convertBytes(threadConverter(Page::Utf8), threadConverter(Page::Gbk), gbk.view(),
                             gbk.size() + 16));
}

Text utf8ToGbk(const Text& utf8) {
    // Never longer than the input: 2 GBK bytes at most for 2 or more UTF-8 bytes,
    // and one '?' at most per invalid byte.
    return Text(convertBytes(threadConverter(Page::Gbk), threadConverter(Page::Utf8), utf8.view(),
                             utf8.size() + 16));
}

Bytes ansiToWide(const Text& text, std::optional<std::int32_t> codePage) {
    const CodePageConverter converter(codePage.value_or(65001));
    const std::u16string units = decode(converter.get(), text.view());
    if (units.empty())
        return {};
    std::string out;
    out.reserve(units.size() * 2 + 2);
    for (const char16_t unit : units) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    out.append(2, '\0');
    return Bytes(std::move(out));
}

Text wideToAnsi(const Bytes& wide, std::optional<std::int32_t> codePage) {
    const std::string_view bytes = wide.view();
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == 0)
            break;
        units += unit;
    }
    const CodePageConverter converter(codePage.value_or(0));
    return Text(encode(converter.get(), units));
}

Text big5ToGbk(const Text& big5) {
    return Text(convertBytes(threadConverter(Page::Gbk), threadConverter(Page::Big5), big5.view(),
                             big5.size() + 16));
}

Text big5ToSimplifiedGbk(const Text& big5) {
    return toSimplifiedChinese(big5ToGbk(big5));
}

Text toSimplifiedChinese(const Text& gbk) {
    const std::u16string units = decode(threadConverter(Page::Gbk), gbk.view());
    if (units.empty())
        return {};
    icu::Transliterator* transliterator = threadTransliterator();
    if (!transliterator)
        return gbk;  // no mapping available: the text as it is

    icu::UnicodeString mapped(units.data(), static_cast<int32_t>(units.size()));
    transliterator->transliterate(mapped);
    if (mapped.isBogus())
        return gbk;
    // Nothing to map: hand back the input itself, so that bytes which do not
    // round-trip through UTF-16 (invalid sequences) stay exactly as they were.
    if (mapped.length() == static_cast<int32_t>(units.size()) &&
        mapped.compare(0, mapped.length(), units.data(), 0, static_cast<int32_t>(units.size())) ==
            0) {
        return gbk;
    }
    return Text(encode(threadConverter(Page::Gbk),
                       std::u16string_view(std::as_const(mapped).getBuffer(), mapped.length())));
}

}  // namespace sh::text
