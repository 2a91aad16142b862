#include "web/web_request.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "text/codepage.h"
#include "text/event_pump.h"
#include "text/primitives.h"
#include "web/curl_owner.h"
#include "web/http_exchange.h"
#include "web/request_record.h"

namespace sh::web {

using namespace sh::text;

namespace {

std::atomic<int> g_runningWorkers{0};

// What a call and its worker own together. The worker keeps it alive through its own
// shared_ptr, so a worker that outlives its caller still writes into valid memory.
struct Handover {
    RecordStream stream;
    WorkSignal done;
    std::atomic<bool> abandoned{false};
    // Written by the worker before it signals its end.
    RequestDetails details;
};

Bytes timedOut(const std::shared_ptr<Handover>& handover, RequestDetails* details) {
    if (handover)
        handover->abandoned.store(true);
    if (details)
        details->outcome = RequestDetails::Outcome::TimedOut;
    return timeoutText();
}

// Only the exact lower-case schemes count; anything else gets "http://" in front.
Text withScheme(const Text& address) {
    if (leftText(address, 7).view() != "http://" && leftText(address, 8).view() != "https://")
        return Text("http://" + address.bytes());
    return address;
}

RequestRecord buildRecord(const Text& address, std::optional<int> method, const Text& proxy,
                          const Text& headers, const Bytes& postData, const Text& cookies,
                          std::optional<bool> followRedirects) {
    RequestRecord record;
    record.slot(1) = toBytes(withScheme(address));
    record.slot(2) = Bytes(std::string_view(method.value_or(0) == 1 ? "POST" : "GET"));
    record.slot(3) = toBytes(proxy);
    record.slot(4) = toBytes(headers);
    record.slot(5) = postData;
    record.slot(6) = toBytes(cookies);
    record.slot(7) = toBytes(toText(followRedirects.value_or(true)));
    return record;
}

}  // namespace

const Bytes& timeoutText() {
    static const Bytes text(std::string_view(
        "\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xAC\xD6\xB8\xB6\xA8\xCD\xF8\xD5\xBE\xB2\xBB"
        "\xC4\xDC\xB7\xC3\xCE\xCA\xA3\xAC\xBB\xF2\xD5\xDF\xC4\xE3\xB5\xC4\xCD\xF8\xC2\xE7"
        "\xB3\xF6\xCF\xD6\xCE\xCA\xCC\xE2\xA3\xAC\xC4\xE3\xBF\xC9\xD2\xD4\xB0\xD1\xB2\xCE"
        "\xCA\xFD\xD6\xD0\xB5\xC4\xA3\xA2\xB3\xAC\xCA\xB1\xB7\xB5\xBB\xD8\xA3\xA2\xB5\xC4"
        "\xD6\xB5\xC9\xE8\xD6\xC3\xB3\xA4\xD2\xBB\xD0\xA9\xA1\xA3"));
    return text;
}

int runningWorkers() noexcept {
    return g_runningWorkers.load();
}

std::size_t requestHeadBytes(const Text& address, std::optional<int> method, const Text& headers,
                             const Bytes& postData, const Text& cookies) noexcept {
    try {
        if (trimText(address).empty())
            return 0;
        return requestHeadBytes(buildRecord(address, method, {}, headers, postData, cookies, {}));
    } catch (...) {
        return 0;
    }
}

bool requestFits(const Text& address, std::optional<int> method, const Text& headers,
                 const Bytes& postData, const Text& cookies) noexcept {
    const std::size_t bytes = requestHeadBytes(address, method, headers, postData, cookies);
    return bytes > 0 && bytes <= kMaxRequestHeadBytes;
}

Bytes webRequest(const Text& address, std::optional<int> method, const Text& proxy,
                 const Text& headers, const Bytes& postData, const Text& cookies,
                 std::optional<int> 超时返回, Text* responseHeaders, std::optional<int> conversion,
                 Text* responseCookies, std::optional<bool> followRedirects,
                 RequestDetails* details) noexcept {
    std::shared_ptr<Handover> handover;
    try {
        if (details)
            *details = {};
        // The blank test uses a trimmed copy, the request the address as given.
        if (trimText(address).empty())
            return {};
        RequestRecord record =
            buildRecord(address, method, proxy, headers, postData, cookies, followRedirects);

        handover = std::make_shared<Handover>();
        if (!handover->stream.write(std::move(record)))
            return {};
        record = {};

        // Before the first worker exists: libcurl's global set-up is not thread-safe.
        ensureCurlReady();
        g_runningWorkers.fetch_add(1);
        try {
            std::thread([handover] {
                ExchangeOptions options;
                options.stop = &handover->abandoned;
                requestWorker(handover->stream, options, &handover->details);
                handover->done.notify();
                g_runningWorkers.fetch_sub(1);
            }).detach();
        } catch (...) {
            // No worker: the wait below simply runs until the limit.
            g_runningWorkers.fetch_sub(1);
        }
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        const std::int64_t limit =
            超时返回 ? toInteger(static_cast<double>(*超时返回) * 1000.0) : 60000;

        EventPump& pump = currentPump();
        for (;;) {
            if (pump.isClosing())
                return timedOut(handover, details);
            // Every pass waits for the full limit, not what is left of it.
            pump.waitFor(handover->done,
                         std::chrono::milliseconds(std::max<std::int64_t>(limit, 0)));
            const bool ended = handover->done.isDone();
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            // The elapsed time decides, whatever the worker did meanwhile.
            const bool late = elapsed >= limit;
            pump.processPendingEvents();
            if (late || pump.isClosing())
                return timedOut(handover, details);
            if (ended)
                break;
        }

        // The worker has ended: the stream and the details are ours alone now.
        record = handover->stream.take();
        if (details)
            *details = std::move(handover->details);
        handover.reset();
        if (responseHeaders)
            *responseHeaders = toText(record.slot(6));
        if (responseCookies)
            *responseCookies = toText(record.slot(2));
        const int how = conversion.value_or(0);
        if (how != 1 && how != 2)
            return std::move(record.slot(1));
        // The body's buffer, cut at its first NUL: the converted text is the only copy.
        const Text body(std::move(record.slot(1).bytes()));
        record = {};
        return Bytes((how == 1 ? utf8ToGbk(body) : big5ToSimplifiedGbk(body)).bytes());
    } catch (...) {
        if (handover)
            handover->abandoned.store(true);
        return {};
    }
}

}  // namespace sh::web
