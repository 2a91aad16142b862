#include "web/request_record.h"

#include <cstdint>
#include <new>

namespace sh::web {

// Encoding: per slot, its length as 8 little-endian bytes, then its bytes.

bool RecordStream::write(const RequestRecord& record) noexcept {
    try {
        std::string data;
        std::size_t total = 0;
        for (const Bytes& slot : record.slots) total += 8 + slot.size();
        data.reserve(total);
        for (const Bytes& slot : record.slots) {
            std::uint64_t length = slot.size();
            for (int i = 0; i < 8; ++i)
                data.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
            data.append(slot.view());
        }
        m_data.swap(data);
        return true;
    } catch (...) {
        return false;
    }
}

RequestRecord RecordStream::read() const noexcept {
    RequestRecord record;
    try {
        std::size_t at = 0;
        for (Bytes& slot : record.slots) {
            if (m_data.size() - at < 8)
                break;
            std::uint64_t length = 0;
            for (int i = 0; i < 8; ++i)
                length |= std::uint64_t{static_cast<unsigned char>(m_data[at + i])} << (8 * i);
            at += 8;
            const std::size_t available = m_data.size() - at;
            const std::size_t take =
                length < available ? static_cast<std::size_t>(length) : available;
            slot = Bytes(std::string_view(m_data).substr(at, take));
            at += take;
        }
    } catch (...) {
        return RequestRecord{};
    }
    return record;
}

}  // namespace sh::web
