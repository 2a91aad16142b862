#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sh::standin {

// UTF-8 to GBK for the stand-in's own few strings, from a small fixed table (about
// fifty common characters: 北京 上海 深圳 广州 公司 网站 建设 优化 推广 官网 是什么
// 怎么样 价格 下载 手机 培训 装修 设计 服务 中心 大全 搜索 引擎 关键词). ASCII stays as
// it is; every other character becomes '?', as an unmappable character would.
std::string gbkFromTable(std::string_view utf8);

// The default suggestions for a keyword (UTF-8), in GBK: none for an empty keyword,
// otherwise the keyword itself, then the keyword followed by 官网, 是什么 and 怎么样
// (the keyword converted with gbkFromTable).
std::vector<std::string> suggestionsFor(std::string_view keywordUtf8);

// A whole suggestion reply in GBK, the way the service writes it without spaces:
//   jQuery110202664442080056231_1410524308400({"q":"KW","p":false,"s":["a","b"]});
// '"' and '\' inside the keyword and the items are escaped with a backslash, never
// the second byte of a double-byte character. No items give "s":[] and thus no
// start-of-list marker.
std::string suggestReply(std::string_view keywordGbk, const std::vector<std::string>& itemsGbk);

}  // namespace sh::standin
