#include "harvest/gbk_units.h"

#include <unicode/ucnv.h>

#include <array>
#include <initializer_list>
#include <memory>

namespace sh::harvest::detail {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// unitOf[byte1 << 8 | byte2] for pairs, unitOf[byte] for single bytes; 0 = not a
// character (no GBK character decodes to U+0000 except the byte 00 itself).
using UnitTable = std::array<char16_t, 65536>;

char16_t decodeOne(UConverter* converter, const char* bytes, int length) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(converter);
    UChar out[4];
    const int32_t n = ucnv_toUChars(converter, out, 4, bytes, length, &status);
    if (U_FAILURE(status) || n != 1 || out[0] == 0)
        return 0;
    return static_cast<char16_t>(out[0]);
}

// Built once from ICU's Windows table rather than written out by hand.
std::unique_ptr<UnitTable> buildTable() {
    auto table = std::make_unique<UnitTable>();
    table->fill(0);
    for (int b = 0; b < 0x80; ++b) (*table)[b] = static_cast<char16_t>(b);

    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr converter(ucnv_open("windows-936-2000", &status));
    if (U_FAILURE(status) || !converter)
        return table;  // non-ASCII becomes U+FFFD
    // Stop instead of substituting, so an unassigned pair is told from a real U+FFFD.
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    if (U_FAILURE(status))
        return table;

    for (int single : {0x80, 0xFF}) {
        const char byte = static_cast<char>(single);
        (*table)[single] = decodeOne(converter.get(), &byte, 1);
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            (*table)[lead << 8 | trail] = decodeOne(converter.get(), pair, 2);
        }
    }
    return table;
}

const UnitTable& unitTable() {
    static const std::unique_ptr<UnitTable> table = buildTable();
    return *table;
}

// Bytes taken by the character at `bytes[i]`; in step with decodeAt.
inline std::size_t lengthAt(const UnitTable& table, const unsigned char* bytes, std::size_t size,
                            std::size_t i) {
    const unsigned char b = bytes[i];
    if (b < 0x81 || b == 0xFF)
        return 1;
    return i + 1 < size && table[b << 8 | bytes[i + 1]] != 0 ? 2 : 1;
}

// The unit for the character at `bytes[i]`; sets `length` to the bytes it takes.
inline char16_t decodeAt(const UnitTable& table, const unsigned char* bytes, std::size_t size,
                         std::size_t i, std::size_t& length) {
    const unsigned char b = bytes[i];
    length = 1;
    if (b < 0x80)
        return b;
    if (b == 0x80 || b == 0xFF)
        return table[b] ? table[b] : kReplacement;
    if (i + 1 < size) {
        if (const char16_t unit = table[b << 8 | bytes[i + 1]]) {
            length = 2;
            return unit;
        }
    }
    return kReplacement;
}

}  // namespace

void GbkUnits::assign(std::string_view gbk) {
    const UnitTable& table = unitTable();
    m_gbk = gbk;
    if (m_capacity < gbk.size() || !m_units) {
        m_units = std::make_unique_for_overwrite<char16_t[]>(gbk.size() + 1);
        m_capacity = gbk.size();
    }
    m_checkpoints.clear();
    m_checkpoints.reserve(gbk.size() / kStride + 1);

    const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
    const std::size_t size = gbk.size();
    char16_t* out = m_units.get();
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < size) {
        if (n % kStride == 0)
            m_checkpoints.push_back(static_cast<std::uint32_t>(i));
        for (std::size_t left = kStride - n % kStride; left > 0 && i < size; --left) {
            const unsigned char b = bytes[i];
            if (b < 0x80) {  // the bulk of a page
                out[n++] = b;
                ++i;
            } else {
                std::size_t length = 1;
                out[n++] = decodeAt(table, bytes, size, i, length);
                i += length;
            }
        }
    }
    m_size = n;
}

std::size_t GbkUnits::byteOffset(std::size_t index) const {
    if (index >= m_size)
        return m_gbk.size();
    const UnitTable& table = unitTable();
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_gbk.data());
    std::size_t offset = m_checkpoints[index / kStride];
    for (std::size_t k = index % kStride; k > 0; --k)
        offset += lengthAt(table, bytes, m_gbk.size(), offset);
    return offset;
}

void GbkUnits::trim(std::size_t keepUnits) {
    if (m_capacity <= keepUnits)
        return;
    m_units.reset();
    m_capacity = 0;
    m_size = 0;
    std::vector<std::uint32_t>().swap(m_checkpoints);
    m_gbk = {};
}

std::u16string toUnitString(std::string_view gbk) {
    const UnitTable& table = unitTable();
    const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
    std::u16string units;
    units.reserve(gbk.size());
    for (std::size_t i = 0, length = 1; i < gbk.size(); i += length)
        units.push_back(decodeAt(table, bytes, gbk.size(), i, length));
    return units;
}

}  // namespace sh::harvest::detail
