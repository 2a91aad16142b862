#pragma once

// GBK text in the UTF-16 form the pattern matcher works on: one unit per character, as
// the Windows conversion of code page 936 gives, and the way back from a unit index to
// the byte offset it came from, so a match found in units is cut out of the original
// bytes.
//
// 00..7F is one unit; 80 (euro sign) and FF are single-byte characters of code page 936;
// a lead byte 81..FE and the byte after it are one unit when the pair is a character.
// A lead byte without a valid second byte is one U+FFFD of its own and the byte after it
// is read afresh, so a broken character never swallows the markup that follows it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sh::harvest::detail {

class GbkUnits {
public:
    // Converts gbk, reusing the buffers of an earlier call. The text must outlive the
    // use of byteOffset. Sizes of 4 GiB and more are not supported: callers refuse them.
    void assign(std::string_view gbk);

    const char16_t* data() const { return m_units.get(); }
    std::size_t size() const { return m_size; }

    // Byte offset of unit `index` (0..size(); size() gives the byte length).
    std::size_t byteOffset(std::size_t index) const;

    // Frees the buffers when they have grown past `keepUnits`.
    void trim(std::size_t keepUnits);

private:
    static constexpr std::size_t kStride = 64;

    std::string_view m_gbk;
    std::unique_ptr<char16_t[]> m_units;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
    // Byte offset of every kStride-th unit.
    std::vector<std::uint32_t> m_checkpoints;
};

// Units only, for patterns and replacement texts.
std::u16string toUnitString(std::string_view gbk);

}  // namespace sh::harvest::detail
