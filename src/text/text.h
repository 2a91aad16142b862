#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sh::text {

// Text in code page 936 (GBK): a byte sequence that never holds a NUL byte.
// Constructing one from bytes that contain a NUL keeps only what precedes it,
// so the invariant cannot be broken by accident. Lengths and positions count bytes.
class Text {
public:
    Text() = default;
    // From a literal: ASCII, or GBK written as escapes ("\xD5\xE6").
    Text(const char* bytes) : Text(std::string_view(bytes ? bytes : "")) {}
    explicit Text(std::string_view bytes) : m_bytes(bytes.substr(0, bytes.find('\0'))) {}
    explicit Text(std::string&& bytes) : m_bytes(std::move(bytes)) {
        if (auto nul = m_bytes.find('\0'); nul != std::string::npos) m_bytes.resize(nul);
    }
    explicit Text(const std::string& bytes) : Text(std::string_view(bytes)) {}

    const std::string& bytes() const& { return m_bytes; }
    // From a text that is going away: its buffer, without a copy.
    std::string bytes() && { return std::move(m_bytes); }
    std::string_view view() const { return m_bytes; }
    const char* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }

    friend bool operator==(const Text&, const Text&) = default;

private:
    std::string m_bytes;
};

// A byte buffer with a length; may hold NUL bytes anywhere.
class Bytes {
public:
    Bytes() = default;
    explicit Bytes(std::string_view bytes) : m_bytes(bytes) {}
    explicit Bytes(std::string&& bytes) : m_bytes(std::move(bytes)) {}
    Bytes(const void* data, std::size_t size)
        : m_bytes(static_cast<const char*>(data), size) {}

    const std::string& bytes() const { return m_bytes; }
    std::string& bytes() { return m_bytes; }
    std::string_view view() const { return m_bytes; }
    const char* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }

    friend bool operator==(const Bytes&, const Bytes&) = default;

private:
    std::string m_bytes;
};

// Empties a text or a byte buffer and gives its memory back at once. (Assigning an empty
// value would keep the old buffer allocated: a moved-in short string leaves the capacity.)
template <class T>
void release(T& value) {
    [[maybe_unused]] const T gone = std::move(value);
}

// An ordered list of texts; the operations index it from 1 (see itemCount).
using TextList = std::vector<Text>;

}  // namespace sh::text

template <>
struct std::hash<sh::text::Text> {
    std::size_t operator()(const sh::text::Text& t) const noexcept {
        return std::hash<std::string_view>{}(t.view());
    }
};
