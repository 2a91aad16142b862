// Any bytes as a result page, raw (as GBK) and through the UTF-8 -> GBK decoding, with a
// small exclusion list taken from the input's head.

#include <cstddef>
#include <cstdint>
#include <string>

#include "harvest/result_extraction.h"
#include "text/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace sh::harvest;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t split = bytes.find('\x01');
    ExclusionList exclusions;
    std::string page = bytes;
    if (split != std::string::npos && split < 64) {
        exclusions = {Text(bytes.substr(0, split)), Text("http:///")};
        page = bytes.substr(split + 1);
    }
    PatternMatcher matcher;
    SeenSet seen;
    ResultList list;
    extractResults(Text(page), matcher, seen, exclusions, list);
    extractResults(sh::text::utf8ToGbk(Text(page)), matcher, seen, exclusions, list);
    for (int r = 0; r < list.rowCount(); ++r) {
        if (list.cellText(r, 2).size() > 30)
            __builtin_trap();
        if (list.cellText(r, 1).bytes().rfind("http://", 0) != 0)
            __builtin_trap();
    }
    return 0;
}
