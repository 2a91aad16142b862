#include "cli/command_line.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <utility>

#include "cli/keyword_input.h"
#include "cli/options.h"
#include "cli/output_format.h"
#include "cli/search_run.h"
#include "export/list_file.h"
#include "harvest/exclusion_list.h"
#include "harvest/harvest_run.h"
#include "harvest/services.h"
#include "harvest/suggestions.h"
#include "text/codepage.h"
#include "text/primitives.h"
#include "web/http_exchange.h"
#include "web/web_request.h"

namespace sh::cli {

namespace {

namespace fs = std::filesystem;
using sh::text::utf8;

constexpr const char* kRequestOptionsHelp =
    "      --proxy URL      send the requests through a proxy: http://, https://,\n"
    "                       socks5:// or socks5h:// (host names resolved by the proxy)\n"
    "                       and host:port; without it connections are direct, whatever\n"
    "                       the proxy environment variables say\n"
    "      --user-agent TEXT  the agent text to send in place of the default\n"
    "  -v, --verbose        a summary line per keyword and notes on standard error\n";

void printMainHelp(std::ostream& out) {
    out << "Usage: " << kProgramName << " COMMAND [OPTION]... KEYWORD...\n"
        << "Collect the sites that Baidu's mobile search lists for keywords, without the "
           "window.\n\n"
        << "Commands:\n"
        << "  search KEYWORD...   harvest the result pages of each keyword\n"
        << "  suggest KEYWORD     print the keyword suggestions, one per line\n\n"
        << "  -h, --help          show this help\n"
        << "  -V, --version       show the version\n\n"
        << "Run '" << kProgramName << " COMMAND --help' for the options of a command.\n";
}

void printSearchHelp(std::ostream& out) {
    out << "Usage: " << kProgramName << " search [OPTION]... KEYWORD...\n"
        << "Harvest the sites that Baidu's mobile search lists for each KEYWORD, page by\n"
        << "page, as the window's search does: repeats and addresses holding a line of the\n"
        << "exclusion file are dropped, titles lose their <em> tags and keep their last 30\n"
        << "bytes.\n\n"
        << "  -p, --pages N        result pages per keyword, 1 to " << kMaxPages
        << " (default 50)\n"
        << "  -x, --exclude FILE   exclusion file: GBK, one address fragment per line, CR LF\n"
        << "                       (default: " << sh::harvest::exclusionFilePath().string() << ",\n"
        << "                       when it is a regular file); a FIFO or pipe is read to\n"
        << "                       its end, at most " << (sh::harvest::kMaxExclusionFileBytes >> 20)
        << " MiB are used\n"
        << "  -k, --keywords FILE  more keywords, one per line, UTF-8, GBK or UTF-16 ('-':\n"
        << "                       stdin)\n"
        << "  -f, --format FORMAT  urls    one site per line (default)\n"
        << "                       titled  a site line, then its title line\n"
        << "                       tsv     rank, site, title, keyword, page; a header line\n"
        << "                       json    an array of objects with those members\n"
        << "  -o, --output FILE    write to FILE instead of standard output: a file (or the\n"
        << "                       file a link names) is replaced only once complete; a\n"
        << "                       device, FIFO or socket is written into\n"
        << "  -e, --encoding ENC   gbk (default) or utf-8, for urls and titled; tsv and json\n"
        << "                       are always UTF-8\n"
        << "  -d, --delay MS       pause between two requests, in milliseconds (default 0)\n"
        << "  -t, --timeout S      time limit of each request, in seconds (default 60)\n"
        << kRequestOptionsHelp
        << "  -h, --help           show this help\n\n"
        << "Each keyword is a run of its own: repeats are dropped within it and its ranks\n"
        << "start at 0. With several keywords, urls and titled give each keyword's rows in\n"
        << "turn, in keyword order. In GBK they are byte for byte the window's saved files\n"
        << "(\"已采集网址N.txt\", \"已采集标题+网址N.txt\"), every line ending in CR LF.\n\n"
        << "Progress, and a summary line per keyword (pages fetched and failed, rows, a\n"
        << "block), go to standard error when it is a terminal; --verbose gives the\n"
        << "summaries and notes there in any case.\n"
        << "When the search service answers with its verification page (it has blocked\n"
        << "this client), the run stops at once: later keywords are not tried, and the\n"
        << "rows harvested before the block are written as usual (nothing, when there\n"
        << "are none). Wait a while or change network before searching again.\n\n"
        << "Exit status: 0 done; 1 nothing could be fetched at all (every request failed or\n"
        << "timed out), or the output could not be written; 2 bad usage or a named file\n"
        << "that cannot be read; 3 the search service blocked the run (see above).\n"
        << "SITEHARVEST_SEARCH_HOST (host or host:port) points the search elsewhere.\n";
}

void printSuggestHelp(std::ostream& out) {
    out << "Usage: " << kProgramName << " suggest [OPTION]... KEYWORD\n"
        << "Print the suggestion service's completions of KEYWORD, one per line, as the\n"
        << "service writes them (escapes are not decoded).\n\n"
        << "  -e, --encoding ENC   utf-8 (default) or gbk\n"
        << "  -t, --timeout S      time limit of the request, in seconds (default 60)\n"
        << kRequestOptionsHelp
        << "  -h, --help           show this help\n\n"
        << "Exit status: 0 done (also when there is no suggestion); 1 the request failed or\n"
        << "timed out; 2 bad usage.\n"
        << "SITEHARVEST_SUGGEST_HOST (host or host:port) points the request elsewhere.\n";
}

class Reporter {
public:
    explicit Reporter(std::ostream& err) : m_err(err) {}
    void error(const std::string& message) { m_err << kProgramName << ": " << message << '\n'; }
    void warning(const std::string& message) {
        m_err << kProgramName << ": warning: " << message << '\n';
    }
    int usageError(const std::string& message) {
        error(message);
        m_err << "Try '" << kProgramName << " --help' for more information.\n";
        return kExitUsage;
    }

private:
    std::ostream& m_err;
};

// Sets the time limit, proxy and agent of the service requests for one command and
// puts the previous ones back when it is done.
class RequestSettingsScope {
public:
    explicit RequestSettingsScope(const Options& options)
        : m_timeout(sh::harvest::requestTimeout()),
          m_proxy(sh::harvest::requestProxy()),
          m_agent(sh::harvest::requestUserAgent()) {
        sh::harvest::setRequestTimeout(options.timeoutSeconds);
        sh::harvest::setRequestProxy(Text(options.proxy.value_or(std::string())));
        if (options.userAgent)
            sh::harvest::setRequestUserAgent(Text(*options.userAgent));
        else
            sh::harvest::setRequestUserAgent(std::nullopt);
    }
    ~RequestSettingsScope() {
        sh::harvest::setRequestTimeout(m_timeout);
        sh::harvest::setRequestProxy(m_proxy);
        sh::harvest::setRequestUserAgent(m_agent);
    }
    RequestSettingsScope(const RequestSettingsScope&) = delete;
    RequestSettingsScope& operator=(const RequestSettingsScope&) = delete;

private:
    std::optional<int> m_timeout;
    Text m_proxy;
    std::optional<Text> m_agent;
};

std::string counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// One line on what a keyword's run did.
std::string summaryLine(const std::string& label, const KeywordHarvest& done) {
    std::string line = label + ": " + counted(done.requests, "page", "pages") + " fetched, " +
                       std::to_string(done.failures) + " failed, " +
                       counted(done.rows.rowCount(), "row", "rows");
    if (done.blockedPage > 0)
        line += "; stopped by a block at page " + std::to_string(done.blockedPage);
    return line;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// The exclusion list for the run. A file named with -x must be readable, and is read
// whatever its kind (a FIFO or a pipe to its end); the default file beside the program
// may be missing, and is used only when it is a regular file. False, with the error
// reported, when the named file cannot be read.
bool loadExclusions(const Options& options, Reporter& report, ExclusionList& exclusions) {
    using sh::harvest::ExclusionFile;
    using sh::harvest::FileKinds;
    const bool named = options.excludeFile.has_value();
    const fs::path file = named ? fs::path(*options.excludeFile) : sh::harvest::exclusionFilePath();
    ExclusionFile read =
        sh::harvest::readExclusionFile(file, named ? FileKinds::Any : FileKinds::RegularOnly);
    switch (read.state) {
        case ExclusionFile::State::Read:
            break;
        case ExclusionFile::State::Missing:
        case ExclusionFile::State::Unreadable:
            // Asked for by name, so a file that cannot be read is an error, unlike the
            // default file, which simply may not be there.
            if (named) {
                report.error("cannot read exclusion file " + quoted(file.string()) + ": " +
                             std::strerror(read.error));
                return false;
            }
            break;
        case ExclusionFile::State::NotRegular:
            report.warning("exclusion file " + quoted(file.string()) +
                           " is not a regular file; it is ignored");
            break;
        case ExclusionFile::State::Cut: {
            const std::string bound = std::to_string(sh::harvest::kMaxExclusionFileBytes);
            const std::string size = read.size ? "holds " + std::to_string(*read.size) + " bytes"
                                               : "holds more than " + bound + " bytes";
            report.warning("exclusion file " + quoted(file.string()) + " " + size +
                           "; only the whole lines within its first " + bound + " bytes (" +
                           std::to_string(sh::harvest::kMaxExclusionFileBytes >> 20) +
                           " MiB) are used");
            break;
        }
    }
    exclusions = std::move(read.lines);
    return true;
}

// libcurl sends no request whose head passes its cap, and a keyword goes into the head
// twice (address and Referer), percent-encoded: some 170 KB of ASCII are too many. Such
// a keyword is refused before anything is fetched. Empty when the request can be sent;
// the reason otherwise.
std::string overlongRequestProblem(const Text& keyword, const Text& address) {
    if (sh::web::requestFits(address))
        return {};
    const std::string shown =
        utf8(sh::text::leftText(keyword, 24)) + (keyword.size() > 24 ? "..." : "");
    return "keyword " + quoted(shown) + " is too long: its request would take " +
           std::to_string(sh::web::requestHeadBytes(address)) + " bytes, more than the " +
           std::to_string(sh::web::kMaxRequestHeadBytes) + " that can be sent";
}

// Writes the whole text; false when the stream failed.
bool writeAll(std::ostream& out, const std::string& text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    return static_cast<bool>(out);
}

int runSearch(const Options& options, std::ostream& out, std::ostream& err, bool showProgress) {
    Reporter report(err);

    std::vector<Text> keywords;
    for (const std::string& argument : options.keywords) {
        bool lossy = false;
        keywords.push_back(keywordFromArgument(argument, &lossy));
        if (lossy)
            report.warning("keyword " + quoted(argument) +
                           " holds characters that GBK lacks; they are searched as '?'");
    }
    if (options.keywordFile) {
        KeywordFile file = readKeywordFile(*options.keywordFile);
        if (!file.error.empty()) {
            report.error("cannot read keyword file " + quoted(*options.keywordFile) + ": " +
                         file.error);
            return kExitUsage;
        }
        if (file.keywords.empty() && keywords.empty()) {
            report.error("keyword file " + quoted(*options.keywordFile) + " holds no keyword");
            return kExitUsage;
        }
        keywords.insert(keywords.end(), file.keywords.begin(), file.keywords.end());
    }
    for (const Text& keyword : keywords) {
        // The last page's address is the longest.
        const Text address = sh::harvest::searchAddress(keyword, std::max(options.pages, 1));
        if (std::string why = overlongRequestProblem(keyword, address); !why.empty()) {
            report.error(why);
            return kExitUsage;
        }
    }

    ExclusionList exclusions;
    if (!loadExclusions(options, report, exclusions))
        return kExitUsage;

    // Checked before the harvest, so a typo does not cost a whole run.
    if (options.outputFile) {
        if (std::string why = sh::exporting::writeProblem(*options.outputFile); !why.empty()) {
            report.error("cannot write " + quoted(*options.outputFile) + ": " + why);
            return kExitUsage;
        }
    }

    RequestSettingsScope settings(options);
    RequestPacer pacer{std::chrono::milliseconds(options.delayMs)};
    std::vector<KeywordHarvest> harvests;
    harvests.reserve(keywords.size());
    int requests = 0;
    int failures = 0;
    int oversizedHeaders = 0;
    const KeywordHarvest* blocked = nullptr;
    for (std::size_t k = 0; k < keywords.size(); ++k) {
        std::string label = utf8(keywords[k]);
        if (keywords.size() > 1)
            label =
                "[" + std::to_string(k + 1) + "/" + std::to_string(keywords.size()) + "] " + label;
        ProgressFunction progress;
        if (showProgress) {
            // "\r" and erase-line keep the progress on one line of the terminal.
            progress = [&](int page, int pages, int rows) {
                err << "\r\x1b[K" << label << ": page " << page << '/' << pages << ", " << rows
                    << (rows == 1 ? " row" : " rows") << std::flush;
            };
        }
        harvests.push_back(harvestPages(keywords[k], options.pages, exclusions, pacer, progress));
        const KeywordHarvest& done = harvests.back();
        if (showProgress)
            err << "\r\x1b[K";
        if (options.verbose) {
            for (const std::string& note : done.notes) err << label << ": " << note << '\n';
        }
        if (showProgress || options.verbose)
            err << summaryLine(label, done) << '\n' << std::flush;
        requests += done.requests;
        failures += done.failures;
        oversizedHeaders += done.oversizedHeaders;
        if (done.blockedPage > 0) {
            // The block is on this client, not on the keyword: the next one would meet it
            // too, and every further request only deepens it.
            blocked = &done;
            break;
        }
    }

    int rows = 0;
    for (const KeywordHarvest& done : harvests) rows += done.rows.rowCount();
    if (blocked) {
        std::string message = "the search service answered page " +
                              std::to_string(blocked->blockedPage) + " of " +
                              quoted(utf8(blocked->keyword)) +
                              " with its verification page (a block); the run stopped there";
        if (harvests.size() < keywords.size())
            message += " and " + counted(static_cast<int>(keywords.size() - harvests.size()),
                                         "later keyword was", "later keywords were") +
                       " not tried";
        report.error(message + ". Wait a while or change network before searching again.");
        if (rows == 0)
            return kExitBlocked;  // nothing was harvested: an earlier output file stays
    }
    // The server did answer those: they failed on libcurl's limit, not on the network.
    const std::string headersNote =
        oversizedHeaders == 0
            ? std::string()
            : " (" + std::to_string(oversizedHeaders) + " of them: " +
                  (oversizedHeaders == 1 ? "its reply's headers" : "their replies' headers") +
                  " passed the 300 KiB that libcurl accepts, so the page was not read)";
    if (!blocked && requests > 0 && failures == requests) {
        // Writing an empty result would look like a search that found nothing, and
        // would replace a good earlier file; write nothing instead.
        report.error("nothing could be fetched: all " + std::to_string(requests) +
                     (requests == 1 ? " request" : " requests") + " to " +
                     sh::harvest::searchHost().bytes() + " failed or timed out" + headersNote);
        return kExitFailure;
    }
    if (failures > 0) {
        report.warning(std::to_string(failures) + " of " + std::to_string(requests) +
                       " requests failed or timed out" + headersNote +
                       "; their pages gave no rows");
    }

    const std::string text = formatHarvests(harvests, options.format,
                                            effectiveEncoding(options.format, options.encoding));
    if (options.outputFile) {
        const std::string why = sh::exporting::writeFileAtomically(*options.outputFile, text);
        if (!why.empty()) {
            report.error("cannot write " + quoted(*options.outputFile) + ": " + why);
            return kExitFailure;
        }
    } else if (!writeAll(out, text)) {
        report.error("cannot write to standard output");
        return kExitFailure;
    }
    return blocked ? kExitBlocked : kExitSuccess;
}

int runSuggest(const Options& options, std::ostream& out, std::ostream& err) {
    Reporter report(err);
    bool lossy = false;
    const Text keyword = keywordFromArgument(options.keywords.front(), &lossy);
    if (lossy)
        report.warning("the keyword holds characters that GBK lacks; they are sent as '?'");
    const Text address = sh::harvest::suggestionAddress(keyword);
    if (std::string why = overlongRequestProblem(keyword, address); !why.empty()) {
        report.error(why);
        return kExitUsage;
    }

    RequestSettingsScope settings(options);
    const Bytes reply = sh::harvest::requestService(address);
    if (isFailedReply(reply)) {
        report.error("nothing could be fetched: the request to " +
                     sh::harvest::suggestHost().bytes() + " failed or timed out");
        return kExitFailure;
    }

    const bool gbkOut = options.encoding == Encoding::Gbk;
    std::string text;
    for (const Text& item : sh::harvest::suggestionItems(sh::text::toText(reply))) {
        std::string line = gbkOut ? item.bytes() : utf8(item);
        // One suggestion per line, whatever the reply holds.
        for (char& c : line) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        text += line + '\n';
    }
    if (!writeAll(out, text)) {
        report.error("cannot write to standard output");
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace

int runCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   bool showProgress) {
    const ParseResult parsed = parseCommandLine(args);
    if (!parsed.error.empty())
        return Reporter(err).usageError(parsed.error);

    const Options& options = parsed.options;
    switch (options.command) {
        case Command::Help:
            if (options.helpTopic == Command::Search)
                printSearchHelp(out);
            else if (options.helpTopic == Command::Suggest)
                printSuggestHelp(out);
            else
                printMainHelp(out);
            return writeAll(out, {}) ? kExitSuccess : kExitFailure;
        case Command::Version:
            out << kProgramName << ' ' << SH_VERSION << '\n';
            return writeAll(out, {}) ? kExitSuccess : kExitFailure;
        case Command::Search:
            return runSearch(options, out, err, showProgress);
        case Command::Suggest:
            return runSuggest(options, out, err);
    }
    return kExitUsage;
}

}  // namespace sh::cli
