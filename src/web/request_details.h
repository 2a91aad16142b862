#pragma once

// What became of one request besides its body, for callers that report it (the command
// line's --verbose) and for tests. webRequest's own results do not change with it: a
// failure still shows as an empty body or the time-out text.

#include <string>

namespace sh::web {

struct RequestDetails {
    enum class Outcome {
        Completed,        // a response arrived and was read; an HTTP error status too
        TimedOut,         // the time limit passed first, or the program is closing
        NotSent,          // a blank address, a host that cannot be named, no resources
        RequestTooLarge,  // libcurl refused to build the request: its head (request line
                          // and header lines) would pass kMaxRequestHeadBytes
        HeadersTooLarge,  // the response's headers passed libcurl's limits (300 KiB in
                          // all, 100 KiB a line): the exchange ended without its body
        TransferFailed,   // no connection, a reset, a TLS failure, too many redirects...
    };
    Outcome outcome = Outcome::NotSent;
    // The final response's HTTP status; 0 when none arrived.
    long status = 0;
    // The body reached the cap (kMaxBodyBytes unless a test set another) and the rest of
    // it was not read: the body is its first part only.
    bool bodyCut = false;
    // libcurl's account of a failed transfer, in English; empty when nothing failed.
    std::string error;
};

}  // namespace sh::web
