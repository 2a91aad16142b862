#include "cli/keyword_input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "text/codepage.h"

namespace sh::cli {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file != stdin)
            std::fclose(file);
    }
};

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int trail;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the first trail byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            if (lead == 0xE0)
                low = 0xA0;  // overlong
            if (lead == 0xED)
                high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            if (lead == 0xF0)
                low = 0x90;  // overlong
            if (lead == 0xF4)
                high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (end - p <= trail)
            return false;
        if (p[1] < low || p[1] > high)
            return false;
        for (int k = 2; k <= trail; ++k) {
            if (p[k] < 0x80 || p[k] > 0xBF)
                return false;
        }
        p += trail + 1;
    }
    return true;
}

Text keywordFromArgument(std::string_view bytes, bool* lossy) {
    if (lossy)
        *lossy = false;
    if (!isValidUtf8(bytes))
        return Text(bytes);
    Text keyword = sh::text::gbk(bytes);
    // A character GBK lacks came back as '?': the round trip shows it.
    if (lossy)
        *lossy = sh::text::utf8(keyword) != Text(bytes).view();
    return keyword;
}

std::vector<Text> keywordsFromFileContent(std::string_view content) {
    bool utf8 = false;
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3);
        utf8 = true;
    } else {
        utf8 = isValidUtf8(content);
    }

    std::vector<Text> keywords;
    while (!content.empty()) {
        const std::size_t lf = content.find('\n');
        std::string_view line = content.substr(0, lf);
        content.remove_prefix(lf == content.npos ? content.size() : lf + 1);
        line = line.substr(0, line.find('\0'));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (isBlank(line))
            continue;
        keywords.push_back(utf8 ? sh::text::gbk(line) : Text(line));
    }
    return keywords;
}

KeywordFile readKeywordFile(const std::string& path) {
    KeywordFile result;
    std::unique_ptr<std::FILE, FileCloser> in(path == "-" ? stdin : std::fopen(path.c_str(), "rb"));
    if (!in) {
        result.error = std::strerror(errno);
        return result;
    }
    std::string content;
    char buffer[64 * 1024];
    errno = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, in.get());
        content.append(buffer, got);
        if (content.size() > kMaxKeywordFileBytes) {
            result.error = "larger than " + std::to_string(kMaxKeywordFileBytes >> 20) + " MiB";
            return result;
        }
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(in.get())) {
        // A directory opens but cannot be read; errno says so.
        result.error = std::strerror(errno ? errno : EIO);
        return result;
    }
    if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF")) {
        result.error = "the file is UTF-16; save it as UTF-8 or GBK";
        return result;
    }
    result.keywords = keywordsFromFileContent(content);
    return result;
}

}  // namespace sh::cli
