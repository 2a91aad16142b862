#pragma once

// Owners for libcurl's C handles, and the one-time global set-up.

#include <curl/curl.h>

#include <memory>

namespace sh::web {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// curl_global_init must run once before any other thread uses libcurl. Call this on the
// thread that starts workers, before it starts them; later calls cost an atomic load.
// Returns false when libcurl could not be initialised (every exchange then fails).
bool ensureCurlReady() noexcept;

// Appends one line to the list; false (and the list unchanged) when out of memory.
bool appendLine(CurlSlist& list, const char* line) noexcept;

}  // namespace sh::web
