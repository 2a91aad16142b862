#include "harvest/harvest_run.h"

#include "harvest/result_extraction.h"
#include "harvest/services.h"
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

Bytes harvestPage(const Text& keyword, std::int32_t page, PatternMatcher& matcher,
                  SeenSet& seen, const ExclusionList& exclusions, ResultList& list) {
    const Bytes reply =
        sh::web::webRequest(searchAddress(keyword, page), {}, {}, {}, {}, {}, requestTimeout());
    // A failed or timed-out reply holds no match and so adds no row.
    if (!currentPump().isClosing()) {
        extractResults(utf8ToGbk(toText(reply)), matcher, seen, exclusions, list);
    }
    return reply;
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
    for (std::int32_t i = 1; i <= pages; ++i) {
        // Once the window is closing, nothing more is fetched and no control is touched.
        if (pump.isClosing())
            return;
        window.setButtonText(Button::按钮1, concatText(toText(i), "/", toText(pages)));
        harvestPage(keyword, i, matcher, seen, exclusions, window.resultList());
    }
    if (pump.isClosing())
        return;

    window.setButtonText(Button::按钮1, gbk("搜索"));
    window.setButtonDisabled(Button::按钮1, false);
}

}  // namespace sh::harvest
