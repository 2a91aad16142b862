#include "harvest/suggestions.h"

#include <cstdint>
#include <string>
#include <utility>

#include "harvest/services.h"
#include "text/codepage.h"
#include "text/event_pump.h"
#include "text/primitives.h"
#include "web/web_request.h"

namespace sh::harvest {

using namespace sh::text;

namespace {

// Window thread only: handlers run there, nested inside each other's waits.
std::uint64_t g_lastStarted = 0;
std::uint64_t g_lastShown = 0;

}  // namespace

Text suggestionAddress(const Text& keyword) {
    return concatText("http://", suggestHost(), "/su?wd=", urlEncode(keyword),
                      "&sugmode=2&json=1&p=3&sid=8835_1461_8234_8674_8489_8057_8504_8593_8580_"
                      "8783_7799_7963_8447_8736_8435_8457&req=2&bs=&cb=jQuery110202664442080056231_"
                      "1410524308400&_=1410524308402");
}

TextList suggestionItems(const Text& reply) {
    const Text list = textBetween(reply, "\"s\":[\"", "\"]});");
    return splitText(list, "\",\"");
}

void onKeywordChanged(Window& window) {
    const std::uint64_t generation = ++g_lastStarted;
    const Text keyword = window.editText(EditBox::编辑框1);
    window.setEditText(EditBox::编辑框2, Text());

    const Bytes reply =
        sh::web::webRequest(suggestionAddress(keyword), {}, {}, {}, {}, {}, requestTimeout());
    if (currentPump().isClosing())
        return;
    // A newer keyword's reply is already on the line: this one is stale.
    if (generation < g_lastShown)
        return;
    g_lastShown = generation;

    // The whole reply in one append: the line is copied and laid out again at every
    // append, so one append per item would cost the square of the reply's size.
    std::string line;
    for (const Text& item : suggestionItems(toText(reply))) {
        line.append(item.view()).append("|");
    }
    if (!line.empty())
        window.appendText(EditBox::编辑框2, Text(std::move(line)));
}

}  // namespace sh::harvest
