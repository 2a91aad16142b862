#include "standin/suggest_reply.h"

#include <algorithm>
#include <iterator>

#include "standin/service_address.h"

namespace sh::standin {

namespace {

struct TableEntry {
    std::string_view utf8;
    std::string_view gbk;
};

// Checked against `iconv -f utf-8 -t gbk`.
constexpr TableEntry kTable[] = {
    {"北", "\xb1\xb1"}, {"京", "\xbe\xa9"}, {"上", "\xc9\xcf"}, {"海", "\xba\xa3"},
    {"深", "\xc9\xee"}, {"圳", "\xdb\xda"}, {"广", "\xb9\xe3"}, {"州", "\xd6\xdd"},
    {"公", "\xb9\xab"}, {"司", "\xcb\xbe"}, {"网", "\xcd\xf8"}, {"站", "\xd5\xbe"},
    {"建", "\xbd\xa8"}, {"设", "\xc9\xe8"}, {"优", "\xd3\xc5"}, {"化", "\xbb\xaf"},
    {"推", "\xcd\xc6"}, {"官", "\xb9\xd9"}, {"是", "\xca\xc7"}, {"什", "\xca\xb2"},
    {"么", "\xc3\xb4"}, {"怎", "\xd4\xf5"}, {"样", "\xd1\xf9"}, {"价", "\xbc\xdb"},
    {"格", "\xb8\xf1"}, {"下", "\xcf\xc2"}, {"载", "\xd4\xd8"}, {"手", "\xca\xd6"},
    {"机", "\xbb\xfa"}, {"培", "\xc5\xe0"}, {"训", "\xd1\xb5"}, {"装", "\xd7\xb0"},
    {"修", "\xd0\xde"}, {"计", "\xbc\xc6"}, {"服", "\xb7\xfe"}, {"务", "\xce\xf1"},
    {"中", "\xd6\xd0"}, {"心", "\xd0\xc4"}, {"大", "\xb4\xf3"}, {"全", "\xc8\xab"},
    {"搜", "\xcb\xd1"}, {"索", "\xcb\xf7"}, {"引", "\xd2\xfd"}, {"擎", "\xc7\xe6"},
    {"关", "\xb9\xd8"}, {"键", "\xbc\xfc"}, {"词", "\xb4\xca"},
};

// Length of the UTF-8 sequence that starts with `lead`; 1 for a stray byte.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8)
        return 4;
    if (lead >= 0xE0)
        return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

std::string jsonString(std::string_view gbk) {
    std::string out = "\"";
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        if (byte >= 0x81 && i + 1 < gbk.size()) {
            out += gbk.substr(i, 2);
            ++i;
        } else {
            if (gbk[i] == '"' || gbk[i] == '\\')
                out += '\\';
            out += gbk[i];
        }
    }
    return out + "\"";
}

}  // namespace

std::string gbkFromTable(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out += utf8[i++];
            continue;
        }
        const auto length = std::min(sequenceLength(byte), utf8.size() - i);
        const auto character = utf8.substr(i, length);
        const auto entry = std::find_if(std::begin(kTable), std::end(kTable),
                                        [&](const TableEntry& e) { return e.utf8 == character; });
        out += entry == std::end(kTable) ? std::string_view("?") : entry->gbk;
        i += length;
    }
    return out;
}

std::vector<std::string> suggestionsFor(std::string_view keywordUtf8) {
    if (keywordUtf8.empty())
        return {};
    const std::string keyword = gbkFromTable(keywordUtf8);
    return {keyword, keyword + gbkFromTable("官网"), keyword + gbkFromTable("是什么"),
            keyword + gbkFromTable("怎么样")};
}

std::string suggestReply(std::string_view keywordGbk, const std::vector<std::string>& itemsGbk) {
    std::string reply(kSuggestCallback);
    reply += "({\"q\":" + jsonString(keywordGbk) + ",\"p\":false,\"s\":[";
    for (std::size_t i = 0; i < itemsGbk.size(); ++i) {
        if (i > 0)
            reply += ',';
        reply += jsonString(itemsGbk[i]);
    }
    reply += "]});";
    return reply;
}

}  // namespace sh::standin
