#include "web/request_record.h"

#include <cstdint>
#include <new>
#include <utility>

namespace sh::web {

// Encoding: per slot, its length as 8 little-endian bytes, then its bytes.

namespace {

constexpr std::size_t kLengthBytes = 8;

void putLength(char* at, std::uint64_t length) {
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        at[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
}

void appendSlot(std::string& data, const Bytes& slot) {
    char length[kLengthBytes];
    putLength(length, slot.size());
    data.append(length, kLengthBytes);
    data.append(slot.view());
}

struct Piece {
    std::size_t at = 0;
    std::size_t size = 0;
};

// Where each slot's bytes lie in the content, by the rules read() states.
std::array<Piece, 7> locate(const std::string& data) {
    std::array<Piece, 7> pieces{};
    std::size_t at = 0;
    for (Piece& piece : pieces) {
        if (data.size() - at < kLengthBytes)
            break;
        std::uint64_t length = 0;
        for (std::size_t i = 0; i < kLengthBytes; ++i)
            length |= std::uint64_t{static_cast<unsigned char>(data[at + i])} << (8 * i);
        at += kLengthBytes;
        const std::size_t available = data.size() - at;
        piece = {at, length < available ? static_cast<std::size_t>(length) : available};
        at += piece.size;
    }
    return pieces;
}

std::size_t encodedSize(const RequestRecord& record) {
    std::size_t total = 0;
    for (const Bytes& slot : record.slots) total += kLengthBytes + slot.size();
    return total;
}

}  // namespace

bool RecordStream::write(const RequestRecord& record) noexcept {
    try {
        std::string data;
        data.reserve(encodedSize(record));
        for (const Bytes& slot : record.slots) appendSlot(data, slot);
        m_data.swap(data);
        return true;
    } catch (...) {
        return false;
    }
}

bool RecordStream::write(RequestRecord&& record) noexcept {
    const std::size_t total = encodedSize(record);
    if (record.slot(1).bytes().capacity() < total)
        return write(std::as_const(record));
    try {
        std::string data = std::move(record.slot(1).bytes());
        // Both fit in the capacity: the bytes move up in place, nothing is allocated.
        const std::size_t bodySize = data.size();
        data.insert(0, kLengthBytes, '\0');
        putLength(data.data(), bodySize);
        for (int n = 2; n <= 7; ++n) appendSlot(data, record.slot(n));
        m_data.swap(data);
        return true;
    } catch (...) {
        return false;
    }
}

RequestRecord RecordStream::read() const noexcept {
    RequestRecord record;
    try {
        const std::array<Piece, 7> pieces = locate(m_data);
        for (std::size_t i = 0; i < pieces.size(); ++i)
            record.slots[i] = Bytes(std::string_view(m_data).substr(pieces[i].at, pieces[i].size));
    } catch (...) {
        return RequestRecord{};
    }
    return record;
}

RequestRecord RecordStream::take() noexcept {
    RequestRecord record;
    try {
        const std::array<Piece, 7> pieces = locate(m_data);
        for (std::size_t i = 1; i < pieces.size(); ++i)
            record.slots[i] = Bytes(std::string_view(m_data).substr(pieces[i].at, pieces[i].size));
        // Slot 1 keeps the buffer: its bytes move to the front, the rest is cut off.
        std::string data = std::move(m_data);
        m_data = std::string();
        data.erase(0, pieces[0].at);
        data.resize(pieces[0].size);
        record.slots[0] = Bytes(std::move(data));
    } catch (...) {
        m_data = std::string();
        return RequestRecord{};
    }
    return record;
}

}  // namespace sh::web
