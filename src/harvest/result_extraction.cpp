#include "harvest/result_extraction.h"

#include <cstdint>

#include "text/primitives.h"

namespace sh::harvest {

namespace {

constexpr std::size_t kTitleBytes = 30;

}  // namespace

// Where characters begin is found by walking from the start.
Text titleTail(const Text& title) {
    if (title.size() <= kTitleBytes)
        return title;
    const std::size_t cut = title.size() - kTitleBytes;
    const auto* bytes = reinterpret_cast<const unsigned char*>(title.data());
    std::size_t at = 0;
    while (at < cut) at += bytes[at] >= 0x80 ? 2 : 1;
    return sh::text::rightText(title, static_cast<int>(title.size() - at));
}

Text resultPattern() {
    return Text(
        ">(.*?)&#160;(.*?)</a><div class=\"abs\">(.*?)<br /><span "
        "class=\"site\">(.*?)</span>");
}

Text cleanTitle(const Text& title) {
    return titleTail(sh::text::replaceSeveral(title, {}, {}, {}, "<em>", Text(), "</em>", Text()));
}

void extractResults(Text pageText, PatternMatcher& matcher, SeenSet& seen,
                    const ExclusionList& exclusions, ResultList& list) {
    matcher.execute(resultPattern(), std::move(pageText));
    const std::int32_t count = matcher.matchCount();
    for (std::int32_t j = 1; j <= count; ++j) {
        const Text title = cleanTitle(matcher.subMatchText(j, 2));
        const Text site = sh::text::concatText("http://", matcher.subMatchText(j, 4), "/");
        appendResult(site, title, seen, exclusions, list);
    }
}

bool appendResult(const Text& site, const Text& title, SeenSet& seen,
                  const ExclusionList& exclusions, ResultList& list) {
    if (!seen.add(site) || isExcluded(site, exclusions))
        return false;
    const int row = list.appendRow();
    list.setCellText(row, 0, sh::text::toText(static_cast<std::int32_t>(row)));
    list.setCellText(row, 1, site);
    list.setCellText(row, 2, title);
    return true;
}

}  // namespace sh::harvest
