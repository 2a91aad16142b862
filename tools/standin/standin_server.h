#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/current_page.h"
#include "standin/search_page.h"
#include "standin/service_address.h"
#include "standin/suggest_reply.h"

namespace sh::standin {

// Which markup the result pages are written in: the one the result pattern reads, or the
// service's current one (current_page.h).
enum class Markup { Described, Current };

// How a request is made to fail.
enum class Failure {
    None,
    Status500,  // an HTTP 500 reply with a short body
    Drop,       // the status line and headers go out, announcing a body; then the
                // connection is closed without a single body byte
};

// A local stand-in for the mobile search and the suggestion service, on 127.0.0.1.
// Answers any GET whose target carries every fixed part of the service address:
// a search target gets searchPage(keyword, pn) or currentSearchPage(keyword, pn) (UTF-8),
// a suggestion target gets a GBK reply (suggestReply). Once told to block, it answers
// search requests as the service answers a blocked client: a 302 to its verification
// path, where it serves verificationPage() with 200. A search or suggestion target whose
// fixed parts differ gets 400, any other path 404, any other method 405; every request
// is logged.
//
// Requests are served on the server's own threads; every member function may be
// called from any thread at any time. Delays wake up at once when the server stops,
// so stop() does not wait for a long delay to pass.
class StandinServer {
public:
    struct Request {
        ServiceKind kind = ServiceKind::Other;
        std::string method;
        std::string target;       // path and query exactly as on the request line
        std::string word;         // raw value of word= / wd= (still percent-encoded)
        std::string wordDecoded;  // `word` with %XX decoded: the keyword in UTF-8
        bool wordFullyEncoded = false;
        int pn = -1;  // search offset; -1 for a suggestion or unreadable
        bool fixedPartsOk = false;
        std::string problem;  // why fixedPartsOk is false; empty otherwise
        // Request headers, in the order cpp-httplib keeps them (sorted by name).
        std::vector<std::pair<std::string, std::string>> headers;
        // The status the stand-in chose: 200, 302, 400, 404, 405 or 500; 0 for Failure::Drop.
        int status = 0;

        // The first header of that name (letter case ignored); empty when absent.
        std::string header(std::string_view name) const;
    };

    StandinServer();
    ~StandinServer();  // stops the server
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // Binds 127.0.0.1:port (0: an ephemeral port) and serves on a thread of its own.
    // Returns false when the port cannot be bound or the server was started before.
    bool start(int port = 0);
    // 0 before start().
    int port() const;
    // "127.0.0.1:PORT", the form SITEHARVEST_SEARCH_HOST / _SUGGEST_HOST take.
    std::string hostPort() const;
    // Closes the listening socket, wakes pending delays and joins the thread.
    // Idempotent; a stopped server cannot be started again.
    void stop();

    // Every request waits this long before it is answered (default 0).
    void setDelay(std::chrono::milliseconds delay);
    // The markup of the result pages (default Markup::Described).
    void setMarkup(Markup markup);
    // From the (n+1)-th search request on, counted from this call, every search request
    // is redirected to the verification page; nothing undoes a block but
    // setBlockAfter(std::nullopt).
    void setBlockAfter(std::optional<int> n);

    // A search request for this offset waits this long (added to setDelay's).
    void setPageDelay(int pn, std::chrono::milliseconds delay);
    // A search request for this offset fails; Failure::None undoes it.
    void setPageFailure(int pn, Failure failure);
    // The same for a suggestion request, keyed by the decoded keyword (UTF-8).
    void setSuggestDelay(const std::string& keywordUtf8, std::chrono::milliseconds delay);
    void setSuggestFailure(const std::string& keywordUtf8, Failure failure);

    // Replace the default suggestions (suggestionsFor) of every keyword with these
    // items, given in GBK; an empty list gives "s":[].
    void setSuggestions(std::vector<std::string> itemsGbk);
    // Send exactly these bytes as every suggestion reply.
    void setSuggestReplyRaw(std::string bytes);
    // Back to the default suggestions.
    void resetSuggestions();

    // Called on a server thread for every request as soon as it is logged, before any
    // delay; keep it short and thread-safe. Set it before start().
    void setObserver(std::function<void(const Request&)> observer);

    // A copy of the log, in arrival order.
    std::vector<Request> requests() const;
    std::size_t requestCount() const;
    void clearRequests();
    // Waits until at least `count` requests have arrived or `timeout` passes;
    // returns whether they arrived.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

const char* kindName(ServiceKind kind);  // "search", "suggest", "other"

}  // namespace sh::standin
