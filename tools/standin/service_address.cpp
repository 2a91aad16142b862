#include "standin/service_address.h"

#include <algorithm>

namespace sh::standin {

namespace {

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool fullyEncoded(std::string_view word) {
    if (word.size() % 3 != 0)
        return false;
    for (std::size_t i = 0; i < word.size(); i += 3) {
        if (word[i] != '%' || hexValue(word[i + 1]) < 0 || hexValue(word[i + 2]) < 0)
            return false;
    }
    return true;
}

// The value of `key` ("word=", "wd=") in a query, up to the next '&'; empty if absent.
std::string queryValue(std::string_view query, std::string_view key) {
    std::size_t at = 0;
    while ((at = query.find(key, at)) != std::string_view::npos) {
        if (at == 0 || query[at - 1] == '&') {
            const auto value = query.substr(at + key.size());
            return std::string(value.substr(0, value.find('&')));
        }
        at += key.size();
    }
    return {};
}

// Says where `actual` stops agreeing with `expected`, for a readable 400 body.
std::string differs(std::string_view what, std::string_view actual, std::string_view expected) {
    const auto limit = std::min(actual.size(), expected.size());
    std::size_t at = 0;
    while (at < limit && actual[at] == expected[at]) ++at;
    return std::string(what) + " differs from the fixed text at byte " + std::to_string(at);
}

void setWord(TargetCheck& check, std::string word) {
    check.wordDecoded = percentDecode(word);
    check.wordFullyEncoded = fullyEncoded(word);
    check.word = std::move(word);
}

void checkSearch(std::string_view path, std::string_view query, TargetCheck& check) {
    setWord(check, queryValue(query, "word="));
    if (path != kSearchPath) {
        check.problem = differs("path", path, kSearchPath);
        return;
    }
    if (!query.starts_with(kSearchQueryHead)) {
        check.problem = differs("query before word=", query, kSearchQueryHead);
        return;
    }
    if (!endsWith(query, kSearchQueryTail)) {
        check.problem = "query does not end with the fixed tail after pn";
        return;
    }
    auto middle = query.substr(kSearchQueryHead.size());
    if (middle.size() < kSearchQueryTail.size() + kSearchOffsetKey.size()) {
        check.problem = "query too short for word, pn and the fixed tail";
        return;
    }
    middle.remove_suffix(kSearchQueryTail.size());
    const auto key = middle.rfind(kSearchOffsetKey);
    if (key == std::string_view::npos) {
        check.problem = "no &pn= between word and the fixed tail";
        return;
    }
    const auto digits = middle.substr(key + kSearchOffsetKey.size());
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        check.problem = "pn is not a decimal number";
        return;
    }
    check.pn = std::stoi(std::string(digits));
    setWord(check, std::string(middle.substr(0, key)));
    check.fixedPartsOk = true;
}

void checkSuggest(std::string_view path, std::string_view query, TargetCheck& check) {
    setWord(check, queryValue(query, "wd="));
    if (path != kSuggestPath) {
        check.problem = differs("path", path, kSuggestPath);
        return;
    }
    if (!query.starts_with(kSuggestQueryHead)) {
        check.problem = "query does not begin with wd=";
        return;
    }
    if (query.size() < kSuggestQueryHead.size() + kSuggestQueryTail.size() ||
        !endsWith(query, kSuggestQueryTail)) {
        check.problem = "query does not end with the fixed tail after wd";
        return;
    }
    setWord(check, std::string(query.substr(
                       kSuggestQueryHead.size(),
                       query.size() - kSuggestQueryHead.size() - kSuggestQueryTail.size())));
    check.fixedPartsOk = true;
}

}  // namespace

std::string searchTarget(std::string_view encodedWord, int pn) {
    std::string target(kSearchPath);
    target += '?';
    target += kSearchQueryHead;
    target += encodedWord;
    target += kSearchOffsetKey;
    target += std::to_string(pn);
    target += kSearchQueryTail;
    return target;
}

std::string suggestTarget(std::string_view encodedWord) {
    std::string target(kSuggestPath);
    target += '?';
    target += kSuggestQueryHead;
    target += encodedWord;
    target += kSuggestQueryTail;
    return target;
}

TargetCheck checkTarget(std::string_view target) {
    TargetCheck check;
    const auto mark = target.find('?');
    const auto path = target.substr(0, mark);
    const auto query =
        mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
    if (endsWith(path, "/su")) {
        check.kind = ServiceKind::Suggest;
        checkSuggest(path, query, check);
    } else if (endsWith(path, "/s")) {
        check.kind = ServiceKind::Search;
        checkSearch(path, query, check);
    } else {
        check.problem = "neither the search nor the suggestion path";
    }
    return check;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace sh::standin
