#pragma once

// The process-wide cookie store that every exchange with cookie handling on reads and
// writes.
//
// libcurl keeps cookies per easy handle and does not support sharing them between
// concurrent threads, so the store is ours: a worker seeds its handle with a snapshot
// (CURLOPT_COOKIELIST) and merges the handle's list (CURLINFO_COOKIELIST) back after the
// exchange. Entries are libcurl's Netscape cookie-file lines. Nothing is written to disk:
// cookies live as long as the process.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace sh::web {

class CookieJar {
public:
    // The store shared by every worker. Never destroyed, so a worker still running at
    // exit cannot touch a destroyed mutex.
    static CookieJar& instance();

    // Netscape lines of every cookie not yet expired.
    std::vector<std::string> snapshot();

    // Brings the store up to date with what one handle holds after its exchange, given
    // the snapshot it was seeded with: new or changed cookies are stored, cookies the
    // exchange removed are removed unless another exchange changed them meanwhile.
    void merge(const std::vector<std::string>& seeded, const std::vector<std::string>& after);

    // Stores one cookie as a response set it for host: data is its value followed by
    // its attributes ("1; path=/; expires=..."). Malformed or oversized cookies, and a
    // domain attribute that does not cover host, are ignored; an expiry in the past
    // removes the cookie.
    void store(std::string_view host, std::string_view name, std::string_view data);

    std::size_t size();
    void clear();

    // Bounds that keep a hostile server from growing the store without limit.
    static constexpr std::size_t kMaxCookies = 3000;
    static constexpr std::size_t kMaxCookieBytes = 4096;

private:
    CookieJar() = default;

    // domain (lower case, no leading dot, no HttpOnly marker), path, name
    using Key = std::tuple<std::string, std::string, std::string>;
    struct Entry {
        std::string line;
        std::int64_t expires = 0;  // 0: until the process ends
        std::uint64_t sequence = 0;
    };

    void upsertLocked(Key key, std::string line, std::int64_t expires);

    std::mutex m_mutex;
    std::map<Key, Entry> m_entries;
    std::uint64_t m_sequence = 0;
};

}  // namespace sh::web
