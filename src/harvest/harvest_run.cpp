#include "harvest/harvest_run.h"

#include "harvest/current_markup.h"
#include "harvest/result_extraction.h"
#include "harvest/services.h"
#include "harvest/verification_page.h"
#include "text/codepage.h"
#include "text/event_pump.h"
#include "text/primitives.h"
#include "web/web_request.h"

namespace sh::harvest {

using namespace sh::text;

Text searchAddress(const Text& keyword, std::int32_t page) {
    // The path carries a fixed session token twice; the service expects it as it stands.
    return concatText(
        "http://", searchHost(),
        "/ssid=0/from=0/bd_page_type=1/uid=0/baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/"
        "pu=sz%40224_220%2Cta%40middle____/baiduid=3B9D6E21A47C05F8E2D1B6A93C48F570/"
        "s?ref=www_colorful&lid=10920360957018508356&word=",
        urlEncode(keyword), "&pn=", toText(static_cast<double>(page) * 10),
        "&rn=10&tn=middle&prest=111041&st=111081&usm=0&sa=np");
}

bool isFailedReply(const Bytes& reply) {
    return reply.empty() || reply == sh::web::timeoutText();
}

PageOutcome readResultPage(Text utf8Page, PatternMatcher& matcher, SeenSet& seen,
                           const ExclusionList& exclusions, ResultList& list) {
    PageOutcome outcome;
    const int before = list.rowCount();
    Text gbkPage = utf8ToGbk(utf8Page);
    if (utf8Page.size() > kKeptUtf8PageBytes)
        release(utf8Page);
    extractResults(std::move(gbkPage), matcher, seen, exclusions, list);
    outcome.linesGivenUp = matcher.linesGivenUp();
    outcome.resultsCut = matcher.matchesCut();
    if (matcher.matchCount() == 0) {
        if (utf8Page.empty()) {
            Text gbkAgain = matcher.takeSubject();
            utf8Page = gbkToUtf8(gbkAgain);
        }
        const std::vector<MarkupResult> results =
            readCurrentMarkup(utf8Page.view(), &outcome.resultsCut);
        for (const MarkupResult& result : results)
            appendResult(result.site, result.title, seen, exclusions, list);
        // A page that lists results is never taken for a block, whatever its scripts hold.
        outcome.blocked = results.empty() && isVerificationPage(utf8Page.view());
    }
    outcome.rows = list.rowCount() - before;
    return outcome;
}

PageOutcome harvestPage(const Text& keyword, std::int32_t page, PatternMatcher& matcher,
                        SeenSet& seen, const ExclusionList& exclusions, ResultList& list) {
    sh::web::RequestDetails request;
    Bytes reply = requestService(searchAddress(keyword, page), &request);
    const bool failed = isFailedReply(reply);
    if (currentPump().isClosing())
        return {.failed = failed, .request = std::move(request)};
    // A failed or timed-out reply holds no match and so adds no row. The reply's buffer
    // becomes the page: a large body is never held twice.
    PageOutcome outcome =
        readResultPage(Text(std::move(reply.bytes())), matcher, seen, exclusions, list);
    outcome.failed = failed;
    outcome.request = std::move(request);
    return outcome;
}

Text blockedRunMessage(std::int32_t page, std::int32_t pages) {
    return concatText(gbk("搜索服务要求进行安全验证，采集在第"), toText(page), gbk("页停止（共"),
                      toText(pages),
                      gbk("页）。\n已采集的网址仍在列表中，可以照常保存。\n"
                          "请过一段时间再搜索，或者更换网络后再试。"));
}

void onSearchClicked(Window& window) {
    showPromotionPage(window, EditBox::编辑框4);
    window.resultList().deleteAllRows();
    const std::int32_t pages = toInteger(toNumber(window.editText(EditBox::编辑框3)));
    const Text keyword = window.editText(EditBox::编辑框1);
    harvestKeyword(window, keyword, pages);
}

void harvestKeyword(Window& window, const Text& keyword, std::int32_t pages) {
    window.setButtonDisabled(Button::按钮1, true);

    PatternMatcher matcher;
    SeenSet seen;
    const ExclusionList exclusions = loadExclusionList();

    EventPump& pump = currentPump();
    std::int32_t blockedAt = 0;
    for (std::int32_t i = 1; i <= pages; ++i) {
        // Once the window is closing, nothing more is fetched and no control is touched.
        if (pump.isClosing())
            return;
        window.setButtonText(Button::按钮1, concatText(toText(i), "/", toText(pages)));
        // Every further request would only deepen a block.
        if (harvestPage(keyword, i, matcher, seen, exclusions, window.resultList()).blocked) {
            blockedAt = i;
            break;
        }
    }
    if (pump.isClosing())
        return;

    window.setButtonText(Button::按钮1, gbk("搜索"));
    window.setButtonDisabled(Button::按钮1, false);
    if (blockedAt > 0)
        window.messageBox(blockedRunMessage(blockedAt, pages), gbk("信息"));
}

}  // namespace sh::harvest
