#pragma once

#include <string>
#include <string_view>

namespace sh::standin {

// Everything of the mobile search address that never changes. Only the keyword
// (after "word=") and the offset (after "&pn=") vary between requests.
inline constexpr std::string_view kSearchPath =
    "/ssid=0/from=0/bd_page_type=1/uid=0/baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/"
    "pu=sz%40224_220%2Cta%40middle____/baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/s";
inline constexpr std::string_view kSearchQueryHead =
    "ref=www_colorful&lid=10920360957018508356&word=";
inline constexpr std::string_view kSearchOffsetKey = "&pn=";
inline constexpr std::string_view kSearchQueryTail =
    "&rn=10&tn=middle&prest=111041&st=111081&usm=0&sa=np";

// The suggestion address: "/su?wd=", the keyword, then a tail that never changes.
inline constexpr std::string_view kSuggestPath = "/su";
inline constexpr std::string_view kSuggestQueryHead = "wd=";
inline constexpr std::string_view kSuggestQueryTail =
    "&sugmode=2&json=1&p=3&sid=8835_1461_8234_8674_8489_8057_8504_8593_8580_8783_"
    "7799_7963_8447_8736_8435_8457&req=2&bs=&cb=jQuery110202664442080056231_1410524308400"
    "&_=1410524308402";
inline constexpr std::string_view kSuggestCallback = "jQuery110202664442080056231_1410524308400";

// The full request target (path and query, as sent on the request line) of a search
// page or a suggestion; `word` is inserted as given, so pass it already percent-encoded.
std::string searchTarget(std::string_view encodedWord, int pn);
std::string suggestTarget(std::string_view encodedWord);

enum class ServiceKind { Search, Suggest, Other };

// What a request target says, checked byte for byte against the fixed parts.
struct TargetCheck {
    ServiceKind kind = ServiceKind::Other;
    // True only when every fixed part is present unchanged and the offset is decimal
    // digits; `problem` then is empty, otherwise it names the first difference.
    bool fixedPartsOk = false;
    std::string problem;
    // The keyword exactly as it stands in the target (still percent-encoded); for a
    // target whose fixed parts differ, the best guess: the value of "word=" or "wd=".
    std::string word;
    // `word` with every %XX decoded (nothing else; '+' stays '+').
    std::string wordDecoded;
    // True when `word` is nothing but %XX triplets (or empty): every byte encoded.
    bool wordFullyEncoded = false;
    // The search offset; -1 for a suggestion, or when it cannot be read.
    int pn = -1;
};

// Classifies a raw request target: a path ending in "/su" is a suggestion, one
// ending in "/s" a search page, anything else Other. Never fails.
TargetCheck checkTarget(std::string_view target);

// Decodes %XX triplets; a '%' not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text);

}  // namespace sh::standin
