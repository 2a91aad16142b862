#pragma once

// The request handed to a worker thread and the results it hands back, and the
// in-memory stream they travel through.

#include <array>
#include <string>

#include "text/text.h"

namespace sh::web {

using sh::text::Bytes;

// Seven slots, numbered 1 to 7 as in slot(n). Going out: address, method, proxy, headers,
// post data, cookies, follow-redirects ("真"/"假" in GBK). Coming back, the worker has
// replaced slot 1 with the body, slot 2 with the collected cookie text and slot 6 with
// the raw response headers.
struct RequestRecord {
    std::array<Bytes, 7> slots;

    Bytes& slot(int n) { return slots.at(static_cast<std::size_t>(n - 1)); }
    const Bytes& slot(int n) const { return slots.at(static_cast<std::size_t>(n - 1)); }
};

// A serialised record. The caller and its worker own one together (shared_ptr), so a
// worker that its caller abandoned still writes into valid memory that nobody reads.
// Not synchronised: the caller writes before the worker starts and reads only after the
// worker signalled its end.
class RecordStream {
public:
    // Replaces the content with the record; false (content unchanged) when out of memory.
    bool write(const RequestRecord& record) noexcept;
    // The same content, consuming the record: when slot 1 (the body, on the way back)
    // has spare capacity for the other slots, its buffer becomes the content, so a large
    // body is never held twice. False (content unchanged) when out of memory.
    bool write(RequestRecord&& record) noexcept;
    // The record read from the start. Exactly seven slots: missing ones are empty, extra
    // ones dropped, a slot cut short keeps what is there. Empty slots when out of memory.
    RequestRecord read() const noexcept;
    // As read(), but slot 1 takes the content's buffer instead of a copy of it; the
    // stream is empty afterwards.
    RequestRecord take() noexcept;

    // The raw content, for tests that feed malformed streams.
    std::string& raw() { return m_data; }

private:
    std::string m_data;
};

}  // namespace sh::web
