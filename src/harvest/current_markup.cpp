#include "harvest/current_markup.h"

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "harvest/result_extraction.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace sh::harvest {

namespace {

// ---- Text ------------------------------------------------------------------------------

bool isAsciiSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}

// The offset of the first byte that libxml2 cannot take as it stands: one that does not
// begin a well-formed UTF-8 sequence, or a NUL; size when there is none.
std::size_t firstUnreadableByte(std::string_view text) {
    const std::size_t illFormed = sh::text::firstIllFormedUtf8(text);
    return std::min(illFormed, text.substr(0, illFormed).find('\0'));
}

// The text with every byte that is not part of a well-formed sequence replaced by
// U+FFFD. libxml2 would otherwise take the rest of the page for Latin-1 at the first
// such byte, and every later title would come out garbled; at a NUL it would stop.
std::string repairedUtf8(std::string_view text, std::size_t firstInvalid) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    out.append(text.substr(0, firstInvalid));
    for (std::size_t at = firstInvalid; at < text.size();) {
        const std::size_t length = text[at] == '\0' ? 0 : sh::text::utf8SequenceLength(text, at);
        if (length == 0) {
            out.append(kReplacement);
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

// A title's text while it is read: white space already folded, and only a tail kept, so
// a title of any length costs a few kilobytes. The tail is far longer than the 30 GBK
// bytes a listed title keeps, so the cut never shows.
class TitleText {
public:
    void append(std::string_view utf8) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
        for (std::size_t at = 0; at < utf8.size(); ++at) {
            const unsigned char c = bytes[at];
            if (isAsciiSpace(c)) {
                m_space = true;
                continue;
            }
            if (c == 0xC2 && at + 1 < utf8.size() && bytes[at + 1] == 0xA0) {  // U+00A0
                m_space = true;
                ++at;
                continue;
            }
            if (m_space && !m_text.empty())
                m_text.push_back(' ');
            m_space = false;
            m_text.push_back(static_cast<char>(c));
        }
        if (m_text.size() > kKeep * 2) {
            std::size_t cut = m_text.size() - kKeep;
            while (cut < m_text.size() && (static_cast<unsigned char>(m_text[cut]) & 0xC0) == 0x80)
                ++cut;
            m_text.erase(0, cut);
            if (!m_text.empty() && m_text.front() == ' ')
                m_text.erase(0, 1);
        }
    }
    const std::string& text() const { return m_text; }

private:
    static constexpr std::size_t kKeep = 4096;
    std::string m_text;
    bool m_space = false;
};

bool hasClass(std::string_view classes, std::string_view name) {
    std::size_t at = 0;
    while (at < classes.size()) {
        while (at < classes.size() && isAsciiSpace(static_cast<unsigned char>(classes[at]))) ++at;
        std::size_t end = at;
        while (end < classes.size() && !isAsciiSpace(static_cast<unsigned char>(classes[end])))
            ++end;
        if (end > at && classes.substr(at, end - at) == name)
            return true;
        at = end;
    }
    return false;
}

// ---- data-log ------------------------------------------------------------------------

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::optional<std::uint32_t> hex4(std::string_view text, std::size_t at) {
    if (at + 4 > text.size())
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t k = at; k < at + 4; ++k) {
        const char c = text[k];
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return std::nullopt;
    }
    return value;
}

// A quoted string starting at text[at] (the quote): its decoded value, with `at` moved
// past the closing quote. Nothing when it never closes. JSON escapes are decoded; any
// other escaped character stands for itself, as in a script.
std::optional<std::string> readQuoted(std::string_view text, std::size_t& at) {
    const char quote = text[at];
    std::string value;
    for (std::size_t k = at + 1; k < text.size(); ++k) {
        const char c = text[k];
        if (c == quote) {
            at = k + 1;
            return value;
        }
        if (c != '\\') {
            value.push_back(c);
            continue;
        }
        if (++k >= text.size())
            return std::nullopt;
        switch (const char e = text[k]) {
            case 'b': value.push_back('\b'); break;
            case 'f': value.push_back('\f'); break;
            case 'n': value.push_back('\n'); break;
            case 'r': value.push_back('\r'); break;
            case 't': value.push_back('\t'); break;
            case 'u': {
                std::optional<std::uint32_t> unit = hex4(text, k + 1);
                if (!unit) {
                    value.push_back('u');
                    break;
                }
                k += 4;
                std::uint32_t cp = *unit;
                if (cp >= 0xD800 && cp <= 0xDBFF && k + 2 < text.size() && text[k + 1] == '\\' &&
                    text[k + 2] == 'u') {
                    if (auto low = hex4(text, k + 3); low && *low >= 0xDC00 && *low <= 0xDFFF) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                        k += 6;
                    }
                }
                if (cp >= 0xD800 && cp <= 0xDFFF)
                    cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
                appendUtf8(value, cp);
                break;
            }
            default: value.push_back(e); break;
        }
    }
    return std::nullopt;
}

bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '$' || c == '-' || c == '.';
}

void skipSpaces(std::string_view text, std::size_t& at) {
    while (at < text.size() && isAsciiSpace(static_cast<unsigned char>(text[at]))) ++at;
}

// ---- addresses -------------------------------------------------------------------------

bool isPlaceholderHost(std::string_view host) {
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    return host == "nourl.ubs.baidu.com" || host.ends_with(".recommend_list.baidu.com") ||
           host.ends_with(".sigma.baidu.com");
}

// Letters, digits, '-', '.', '_' and the bytes of non-ASCII characters (an
// internationalised name as written); nothing that could not stand in a host name.
bool isUsableHost(std::string_view host) {
    if (host.empty())
        return false;
    for (char c : host) {
        const bool ok = static_cast<unsigned char>(c) >= 0x80 || (c >= 'a' && c <= 'z') ||
                        (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '.' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

// ---- the SAX reader --------------------------------------------------------------------

enum TitleKind : std::size_t { kTitleText, kCuTitle, kCTitle, kH3, kTitleKinds };

struct Capture {
    int depth = 0;
    bool started = false;
    bool open = false;
    TitleText text;
};

struct OpenResult {
    int depth = 0;
    std::size_t slot = 0;
    std::optional<std::string> address;
    std::array<Capture, kTitleKinds> titles;
};

struct Reader {
    htmlParserCtxtPtr context = nullptr;
    int depth = 0;
    int errors = 0;
    bool cut = false;  // stopped at kMaxMarkupResults
    std::vector<OpenResult> open;
    std::vector<std::optional<MarkupResult>> slots;

    void stop() { xmlStopParser(context); }

    void finish(OpenResult& result) {
        if (!result.address)
            return;
        const std::string site = siteOfAddress(*result.address);
        if (site.empty())
            return;
        MarkupResult row;
        row.site = sh::text::utf8ToGbk(Text(site));
        for (const Capture& capture : result.titles) {
            if (capture.started) {
                row.title = markupTitle(capture.text.text());
                break;
            }
        }
        slots[result.slot] = std::move(row);
    }

    void finishDeeperThan(int level) {
        while (!open.empty() && open.back().depth > level) {
            finish(open.back());
            open.pop_back();
        }
    }
};

Reader& readerOf(void* user) {
    return *static_cast<Reader*>(user);
}

std::string_view viewOf(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

void onStartElement(void* user, const xmlChar* name, const xmlChar** attributes) {
    Reader& reader = readerOf(user);
    if (++reader.depth > kMaxMarkupDepth) {
        reader.stop();
        return;
    }
    std::string_view classes;
    const xmlChar* dataLog = nullptr;
    bool haveClass = false;
    for (const xmlChar** a = attributes; a && a[0]; a += 2) {
        const std::string_view attribute = viewOf(a[0]);
        if (attribute == "class" && !haveClass) {
            classes = viewOf(a[1]);
            haveClass = true;
        } else if (attribute == "data-log" && !dataLog) {
            dataLog = a[1];
        }
    }

    if (!reader.open.empty()) {
        std::array<bool, kTitleKinds> is{};
        is[kTitleText] = hasClass(classes, "c-title-text");
        is[kCuTitle] = hasClass(classes, "cu-title");
        is[kCTitle] = hasClass(classes, "c-title");
        is[kH3] = viewOf(name) == "h3";
        for (OpenResult& result : reader.open) {
            for (std::size_t k = 0; k < kTitleKinds; ++k) {
                Capture& capture = result.titles[k];
                if (is[k] && !capture.started) {
                    capture.started = capture.open = true;
                    capture.depth = reader.depth;
                }
            }
        }
    }

    if (hasClass(classes, "c-result") && hasClass(classes, "result") &&
        reader.open.size() < kMaxOpenResults) {
        if (reader.slots.size() >= kMaxMarkupResults) {
            reader.cut = true;
            reader.stop();
            return;
        }
        OpenResult& result = reader.open.emplace_back();
        result.depth = reader.depth;
        result.slot = reader.slots.size();
        if (dataLog)
            result.address = dataLogMember(viewOf(dataLog), "mu");
        reader.slots.emplace_back();
    }
}

void onEndElement(void* user, const xmlChar*) {
    Reader& reader = readerOf(user);
    for (OpenResult& result : reader.open) {
        for (Capture& capture : result.titles) {
            if (capture.open && capture.depth >= reader.depth)
                capture.open = false;
        }
    }
    reader.finishDeeperThan(reader.depth - 1);
    if (reader.depth > 0)
        --reader.depth;
}

void onCharacters(void* user, const xmlChar* text, int length) {
    Reader& reader = readerOf(user);
    if (length <= 0)
        return;
    const std::string_view piece(reinterpret_cast<const char*>(text),
                                 static_cast<std::size_t>(length));
    for (OpenResult& result : reader.open) {
        for (Capture& capture : result.titles) {
            if (capture.open)
                capture.text.append(piece);
        }
    }
}

void onError(void* user, xmlErrorPtr error) {
    // A script that holds "</" in its text is common and cheap to read past; every other
    // error stands for malformed markup, which can make the parser search its whole stack
    // of open elements. Too many of those end the reading.
    if (error && error->message && std::strstr(error->message, "embeds close tag"))
        return;
    Reader& reader = readerOf(user);
    if (++reader.errors > kMaxMarkupErrors)
        reader.stop();
}

// A page without the text "c-result" holds no result element: no need to parse it.
bool mayHoldCurrentMarkup(std::string_view utf8Page) {
    return utf8Page.find("c-result") != std::string_view::npos;
}

// Messages that libxml2 sends without a parser context would go to stderr.
void ignoreMessage(void*, const char*, ...) {}

// Puts this thread's libxml2 message function back when the reading is done.
class QuietLibxml {
public:
    QuietLibxml() : m_function(xmlGenericError), m_context(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    }
    ~QuietLibxml() { xmlSetGenericErrorFunc(m_context, m_function); }
    QuietLibxml(const QuietLibxml&) = delete;
    QuietLibxml& operator=(const QuietLibxml&) = delete;

private:
    xmlGenericErrorFunc m_function;
    void* m_context;
};

struct ContextFree {
    void operator()(htmlParserCtxtPtr context) const { htmlFreeParserCtxt(context); }
};

}  // namespace

std::optional<std::string> dataLogMember(std::string_view dataLog, std::string_view name) {
    int depth = 0;
    std::size_t at = 0;
    while (at < dataLog.size()) {
        const char c = dataLog[at];
        std::optional<std::string> key;
        if (c == '{' || c == '[') {
            ++depth;
            ++at;
            continue;
        }
        if (c == '}' || c == ']') {
            depth = depth > 0 ? depth - 1 : 0;
            ++at;
            continue;
        }
        if (c == '"' || c == '\'') {
            key = readQuoted(dataLog, at);
            if (!key)
                return std::nullopt;  // everything after an open quote is inside it
        } else if (isWordChar(c)) {
            const std::size_t start = at;
            while (at < dataLog.size() && isWordChar(dataLog[at])) ++at;
            key = std::string(dataLog.substr(start, at - start));
        } else {
            ++at;
            continue;
        }
        std::size_t next = at;
        skipSpaces(dataLog, next);
        if (depth > 1 || next >= dataLog.size() || dataLog[next] != ':' || *key != name)
            continue;
        ++next;
        skipSpaces(dataLog, next);
        if (next < dataLog.size() && (dataLog[next] == '"' || dataLog[next] == '\''))
            return readQuoted(dataLog, next);
        const std::size_t start = next;
        while (next < dataLog.size() && dataLog[next] != ',' && dataLog[next] != '}' &&
               dataLog[next] != ']' && !isAsciiSpace(static_cast<unsigned char>(dataLog[next])))
            ++next;
        return std::string(dataLog.substr(start, next - start));
    }
    return std::nullopt;
}

std::string siteOfAddress(std::string_view address) {
    while (!address.empty() && isAsciiSpace(static_cast<unsigned char>(address.front())))
        address.remove_prefix(1);
    while (!address.empty() && isAsciiSpace(static_cast<unsigned char>(address.back())))
        address.remove_suffix(1);

    const std::size_t colon = address.find("://");
    if (colon == std::string_view::npos)
        return {};
    const std::string scheme = lowerAscii(address.substr(0, colon));
    if (scheme != "http" && scheme != "https")
        return {};
    std::string_view authority = address.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#\\"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);

    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1)
            return {};
        host = authority.substr(0, close + 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && rest.front() != ':')
            return {};
        port = rest.empty() ? rest : rest.substr(1);
        for (char c : host.substr(1, host.size() - 2)) {
            const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                            (c >= 'A' && c <= 'F') || c == ':' || c == '.';
            if (!ok)
                return {};
        }
    } else {
        if (const std::size_t c = authority.find(':'); c != std::string_view::npos) {
            host = authority.substr(0, c);
            port = authority.substr(c + 1);
        }
        if (!isUsableHost(host))
            return {};
    }

    long portNumber = 0;
    for (char c : port) {
        if (c < '0' || c > '9' || portNumber > 65535)
            return {};
        portNumber = portNumber * 10 + (c - '0');
    }
    if (!port.empty() && (portNumber < 1 || portNumber > 65535))
        return {};

    const std::string lowerHost = lowerAscii(host);
    if (isPlaceholderHost(lowerHost))
        return {};
    std::string site = scheme + "://" + lowerHost;
    const long defaultPort = scheme == "http" ? 80 : 443;
    if (!port.empty() && portNumber != defaultPort)
        site += ":" + std::to_string(portNumber);
    site += "/";
    return site;
}

Text markupTitle(std::string_view utf8Text) {
    TitleText folded;
    folded.append(utf8Text);
    return titleTail(sh::text::utf8ToGbk(Text(folded.text())));
}

std::vector<MarkupResult> readCurrentMarkup(std::string_view utf8Page, bool* cut) {
    if (cut)
        *cut = false;
    if (!mayHoldCurrentMarkup(utf8Page))
        return {};
    // The body is capped far below this; a larger page is read up to the limit.
    if (utf8Page.size() > static_cast<std::size_t>(INT_MAX))
        utf8Page = utf8Page.substr(0, INT_MAX);

    std::string repaired;
    if (const std::size_t bad = firstUnreadableByte(utf8Page); bad < utf8Page.size()) {
        repaired = repairedUtf8(utf8Page, bad);
        utf8Page = repaired;
    }

    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    QuietLibxml quiet;

    std::unique_ptr<htmlParserCtxt, ContextFree> context(
        htmlCreateMemoryParserCtxt(utf8Page.data(), static_cast<int>(utf8Page.size())));
    if (!context || !context->sax)
        return {};

    Reader reader;
    reader.context = context.get();
    htmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.startElement = onStartElement;
    handler.endElement = onEndElement;
    handler.characters = onCharacters;
    // Blank text between two inline elements is part of a title ("<em>a</em> <em>b</em>").
    handler.ignorableWhitespace = onCharacters;
    handler.serror = onError;
    handler.initialized = XML_SAX2_MAGIC;  // so that errors reach serror
    *context->sax = handler;
    context->userData = &reader;
    htmlCtxtUseOptions(context.get(), HTML_PARSE_RECOVER | HTML_PARSE_NONET |
                                          HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                          HTML_PARSE_IGNORE_ENC);
    // The reply is UTF-8 whatever its head says; the meta tag must not switch it.
    xmlSwitchEncoding(context.get(), XML_CHAR_ENCODING_UTF8);
    htmlParseDocument(context.get());
    reader.finishDeeperThan(0);
    context.reset();
    if (cut)
        *cut = reader.cut;

    std::vector<MarkupResult> results;
    for (auto& slot : reader.slots) {
        if (slot)
            results.push_back(std::move(*slot));
    }
    return results;
}

}  // namespace sh::harvest
