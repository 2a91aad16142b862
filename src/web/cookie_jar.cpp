#include "web/cookie_jar.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <limits>
#include <optional>

namespace sh::web {

namespace {

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Control characters would break the tab-separated line or the request's Cookie line.
bool isClean(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

std::optional<std::int64_t> parseInt(std::string_view s) {
    std::int64_t value = 0;
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc::result_out_of_range)
        return (!s.empty() && s.front() == '-') ? std::numeric_limits<std::int64_t>::min()
                                                : std::numeric_limits<std::int64_t>::max();
    if (ec != std::errc{} || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

struct Parsed {
    std::string domain, path, name;
    std::int64_t expires = 0;
};

// A line of libcurl's Netscape format: domain, tailmatch, path, secure, expires, name,
// value, separated by tabs; the domain may carry the "#HttpOnly_" marker.
std::optional<Parsed> parseLine(std::string_view line) {
    std::string_view fields[7];
    for (int i = 0; i < 7; ++i) {
        const std::size_t tab = line.find('\t');
        if (i < 6 && tab == std::string_view::npos)
            return std::nullopt;
        fields[i] = i < 6 ? line.substr(0, tab) : line;
        if (i < 6)
            line.remove_prefix(tab + 1);
    }
    std::string_view domain = fields[0];
    constexpr std::string_view kHttpOnly = "#HttpOnly_";
    if (domain.substr(0, kHttpOnly.size()) == kHttpOnly)
        domain.remove_prefix(kHttpOnly.size());
    if (!domain.empty() && domain.front() == '.')
        domain.remove_prefix(1);
    Parsed parsed{lowerAscii(domain), std::string(fields[2]), std::string(fields[5]), 0};
    parsed.expires = parseInt(fields[4]).value_or(0);
    return parsed;
}

bool isExpired(std::int64_t expires, std::int64_t now) {
    return expires != 0 && expires < now;
}

std::int64_t nowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace

CookieJar& CookieJar::instance() {
    static CookieJar* jar = new CookieJar;
    return *jar;
}

std::vector<std::string> CookieJar::snapshot() {
    const std::int64_t now = nowSeconds();
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    lines.reserve(m_entries.size());
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (isExpired(it->second.expires, now)) {
            it = m_entries.erase(it);
        } else {
            lines.push_back(it->second.line);
            ++it;
        }
    }
    return lines;
}

void CookieJar::merge(const std::vector<std::string>& seeded,
                      const std::vector<std::string>& after) {
    std::map<Key, std::pair<const std::string*, std::int64_t>> before, now;
    for (const std::string& line : seeded)
        if (auto p = parseLine(line))
            before[{p->domain, p->path, p->name}] = {&line, p->expires};
    for (const std::string& line : after)
        if (auto p = parseLine(line))
            now[{p->domain, p->path, p->name}] = {&line, p->expires};

    std::lock_guard lock(m_mutex);
    for (const auto& [key, value] : now) {
        auto old = before.find(key);
        if (old == before.end() || *old->second.first != *value.first)
            upsertLocked(key, *value.first, value.second);
    }
    for (const auto& [key, value] : before) {
        if (now.count(key))
            continue;
        auto held = m_entries.find(key);
        if (held != m_entries.end() && held->second.line == *value.first)
            m_entries.erase(held);
    }
}

void CookieJar::store(std::string_view host, std::string_view name, std::string_view data) {
    const std::string hostLower = lowerAscii(host);
    name = trimBlanks(name);
    const std::size_t semicolon = data.find(';');
    const std::string_view value = trimBlanks(data.substr(0, semicolon));
    if (hostLower.empty() || !isClean(hostLower) || name.empty() || !isClean(name) ||
        name.find_first_of(" ;=") != std::string_view::npos || !isClean(value) ||
        name.size() + value.size() > kMaxCookieBytes)
        return;

    std::string domain = hostLower;
    bool tailmatch = false;
    std::string path = "/";
    bool secure = false;
    bool httpOnly = false;
    std::optional<std::int64_t> expires;
    std::optional<std::int64_t> maxAge;
    std::string_view rest =
        semicolon == std::string_view::npos ? std::string_view{} : data.substr(semicolon + 1);
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        std::string_view attribute = trimBlanks(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const std::size_t eq = attribute.find('=');
        const std::string key = lowerAscii(trimBlanks(attribute.substr(0, eq)));
        const std::string_view val = eq == std::string_view::npos
                                         ? std::string_view{}
                                         : trimBlanks(attribute.substr(eq + 1));
        if (key == "secure") {
            secure = true;
        } else if (key == "httponly") {
            httpOnly = true;
        } else if (key == "path") {
            if (!val.empty() && val.front() == '/' && isClean(val) && val.size() <= kMaxCookieBytes)
                path = std::string(val);
        } else if (key == "domain") {
            std::string wanted = lowerAscii(val);
            if (!wanted.empty() && wanted.front() == '.')
                wanted.erase(0, 1);
            if (wanted.empty())
                continue;
            const bool covers =
                wanted == hostLower ||
                (hostLower.size() > wanted.size() &&
                 hostLower.compare(hostLower.size() - wanted.size(), wanted.size(), wanted) == 0 &&
                 hostLower[hostLower.size() - wanted.size() - 1] == '.');
            if (!covers)
                return;
            domain = wanted;
            tailmatch = true;
        } else if (key == "max-age") {
            maxAge = parseInt(val);
        } else if (key == "expires") {
            if (val.size() < 100) {
                const std::string date(val);
                const time_t when = curl_getdate(date.c_str(), nullptr);
                if (when != -1)
                    expires = static_cast<std::int64_t>(when);
            }
        }
    }

    const std::int64_t now = nowSeconds();
    std::int64_t expiry = 0;
    if (maxAge) {
        expiry = *maxAge <= 0 ? 1
                 : *maxAge > std::numeric_limits<std::int64_t>::max() - now
                     ? std::numeric_limits<std::int64_t>::max()
                     : now + *maxAge;
    } else if (expires) {
        expiry = *expires <= 0 ? 1 : *expires;
    }

    Key key{domain, path, std::string(name)};
    std::lock_guard lock(m_mutex);
    if (isExpired(expiry, now)) {
        m_entries.erase(key);
        return;
    }
    std::string line;
    line.append(httpOnly ? "#HttpOnly_" : "").append(tailmatch ? "." : "").append(domain);
    line.append("\t").append(tailmatch ? "TRUE" : "FALSE").append("\t").append(path);
    line.append("\t").append(secure ? "TRUE" : "FALSE").append("\t");
    line.append(std::to_string(expiry)).append("\t").append(name).append("\t").append(value);
    upsertLocked(std::move(key), std::move(line), expiry);
}

std::size_t CookieJar::size() {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void CookieJar::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

void CookieJar::upsertLocked(Key key, std::string line, std::int64_t expires) {
    m_entries[std::move(key)] = Entry{std::move(line), expires, ++m_sequence};
    if (m_entries.size() <= kMaxCookies)
        return;
    auto oldest = std::min_element(m_entries.begin(), m_entries.end(), [](auto& a, auto& b) {
        return a.second.sequence < b.second.sequence;
    });
    m_entries.erase(oldest);
}

}  // namespace sh::web
