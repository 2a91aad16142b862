#pragma once

// The command line of siteharvest-cli, parsed into plain values. Parsing never touches
// the file system or the network: files named on the command line are checked later,
// when they are used.

#include <optional>
#include <string>
#include <vector>

namespace sh::cli {

enum class Command { Search, Suggest, Help, Version };
enum class Format { Urls, Titled, Tsv, Json };
enum class Encoding { Gbk, Utf8 };

inline constexpr int kMaxPages = 100000;
inline constexpr int kMaxDelayMs = 3600000;
inline constexpr int kMaxTimeoutSeconds = 86400;

struct Options {
    Command command = Command::Help;
    // For Command::Help: the command whose help was asked for, if any.
    std::optional<Command> helpTopic;

    // Keywords as given on the command line (the terminal's bytes, normally UTF-8).
    std::vector<std::string> keywords;
    std::optional<std::string> keywordFile;  // "-" reads standard input
    int pages = 50;
    std::optional<std::string> excludeFile;
    Format format = Format::Urls;
    // Left out: GBK for the urls and titled formats, UTF-8 for everything else.
    std::optional<Encoding> encoding;
    std::optional<std::string> outputFile;
    int delayMs = 0;
    int timeoutSeconds = 60;
    // "http://", "https://", "socks5://" or "socks5h://" and the proxy's address; left
    // out, connections are direct (proxy environment variables are ignored).
    std::optional<std::string> proxy;
    // In place of the default agent text; no control characters.
    std::optional<std::string> userAgent;
    // A summary line per keyword and notes on standard error, also when it is no terminal.
    bool verbose = false;
};

struct ParseResult {
    Options options;
    // Why the command line is unusable; empty when it is fine.
    std::string error;
};

// args: the arguments after the program name. GNU conventions: options may come before
// or after the keywords, "--name value" and "--name=value", "-p 5" and "-p5", and "--"
// ends the options.
ParseResult parseCommandLine(const std::vector<std::string>& args);

}  // namespace sh::cli
