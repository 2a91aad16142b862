#pragma once

// The search service's answer to a client it has blocked: a redirect to its verification
// page, which then comes with status 200. Only the page itself tells a block from a page
// without results.

#include <string_view>

namespace sh::harvest {

// True when a reply (UTF-8, as received) is the verification page: it holds the title
// "<title>百度安全验证</title>", or an address on wappass.baidu.com under /static/captcha/
// (also with its slashes escaped, as a script writes it). ASCII letters match in any case.
bool isVerificationPage(std::string_view utf8Body);

}  // namespace sh::harvest
