#include "cli/options.h"

#include <array>
#include <span>
#include <string_view>

namespace sh::cli {

namespace {

struct OptionDef {
    std::string_view longName;
    char shortName;
    bool takesValue;
};

constexpr std::array kSearchOptions{
    OptionDef{"pages", 'p', true},    OptionDef{"exclude", 'x', true},
    OptionDef{"keywords", 'k', true}, OptionDef{"format", 'f', true},
    OptionDef{"output", 'o', true},   OptionDef{"encoding", 'e', true},
    OptionDef{"delay", 'd', true},    OptionDef{"timeout", 't', true},
    OptionDef{"proxy", 0, true},      OptionDef{"user-agent", 0, true},
    OptionDef{"verbose", 'v', false}, OptionDef{"help", 'h', false},
};

constexpr std::array kSuggestOptions{
    OptionDef{"encoding", 'e', true}, OptionDef{"timeout", 't', true},
    OptionDef{"proxy", 0, true},      OptionDef{"user-agent", 0, true},
    OptionDef{"verbose", 'v', false}, OptionDef{"help", 'h', false},
};

std::string quoted(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 2);
    result.push_back('\'');
    result.append(text);
    result.push_back('\'');
    return result;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerPrefix[i])
            return false;
    }
    return true;
}

bool hasControlOrSpace(std::string_view text, bool spaceAllowed) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || (u == ' ' && !spaceAllowed))
            return true;
    }
    return false;
}

// Why a proxy address is unusable; empty when it is fine.
std::string proxyProblem(std::string_view value) {
    static constexpr std::array<std::string_view, 4> kSchemes = {"http://", "https://",
                                                                 "socks5://", "socks5h://"};
    for (std::string_view scheme : kSchemes) {
        if (!startsWithIgnoringCase(value, scheme))
            continue;
        if (value.size() == scheme.size() || value[scheme.size()] == '/' ||
            value[scheme.size()] == ':')
            return "--proxy: " + quoted(value) + " names no proxy host";
        if (hasControlOrSpace(value, false))
            return "--proxy: " + quoted(value) + " holds a space or a control character";
        return {};
    }
    return "--proxy: " + quoted(value) +
           " is not an http://, https://, socks5:// or socks5h:// address "
           "(for example socks5h://127.0.0.1:1080)";
}

// A whole decimal number in [low, high]; nothing else (no sign, no spaces, no suffix).
std::optional<int> parseWholeNumber(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string numberError(std::string_view name, std::string_view value, int low, int high) {
    return "--" + std::string(name) + ": " + quoted(value) + " is not a whole number from " +
           std::to_string(low) + " to " + std::to_string(high);
}

// Stores one option's value; returns why it is unusable, or nothing.
std::string applyOption(Options& options, std::string_view name, std::string_view value) {
    if (name == "help") {
        if (options.command != Command::Help)
            options.helpTopic = options.command;
        options.command = Command::Help;
    } else if (name == "pages") {
        auto n = parseWholeNumber(value, 1, kMaxPages);
        if (!n)
            return numberError(name, value, 1, kMaxPages);
        options.pages = *n;
    } else if (name == "delay") {
        auto n = parseWholeNumber(value, 0, kMaxDelayMs);
        if (!n)
            return numberError(name, value, 0, kMaxDelayMs);
        options.delayMs = *n;
    } else if (name == "timeout") {
        auto n = parseWholeNumber(value, 1, kMaxTimeoutSeconds);
        if (!n)
            return numberError(name, value, 1, kMaxTimeoutSeconds);
        options.timeoutSeconds = *n;
    } else if (name == "format") {
        if (value == "urls")
            options.format = Format::Urls;
        else if (value == "titled")
            options.format = Format::Titled;
        else if (value == "tsv")
            options.format = Format::Tsv;
        else if (value == "json")
            options.format = Format::Json;
        else
            return "--format: " + quoted(value) + " is not one of urls, titled, tsv, json";
    } else if (name == "encoding") {
        if (value == "gbk" || value == "GBK")
            options.encoding = Encoding::Gbk;
        else if (value == "utf-8" || value == "UTF-8" || value == "utf8")
            options.encoding = Encoding::Utf8;
        else
            return "--encoding: " + quoted(value) + " is not one of gbk, utf-8";
    } else if (name == "verbose") {
        options.verbose = true;
    } else if (name == "proxy") {
        if (std::string why = proxyProblem(value); !why.empty())
            return why;
        options.proxy = std::string(value);
    } else if (name == "user-agent") {
        if (value.empty())
            return "--user-agent: the agent text is empty";
        if (hasControlOrSpace(value, true))
            return "--user-agent: the agent text holds a control character";
        options.userAgent = std::string(value);
    } else if (value.empty()) {
        return "--" + std::string(name) + ": the file name is empty";
    } else if (name == "exclude") {
        options.excludeFile = std::string(value);
    } else if (name == "keywords") {
        options.keywordFile = std::string(value);
    } else if (name == "output") {
        options.outputFile = std::string(value);
    }
    return {};
}

// Checks what only makes sense once every option is known.
std::string checkCombination(const Options& options) {
    if (options.command == Command::Search) {
        if (options.keywords.empty() && !options.keywordFile)
            return "no keyword given (name one or more, or use --keywords FILE)";
        if (options.encoding == Encoding::Gbk &&
            (options.format == Format::Tsv || options.format == Format::Json))
            return "--encoding gbk: the tsv and json formats are always UTF-8";
    } else if (options.command == Command::Suggest) {
        if (options.keywords.empty())
            return "no keyword given";
        if (options.keywords.size() > 1)
            return "suggest takes one keyword; put quotes around a keyword with spaces";
    }
    for (const std::string& keyword : options.keywords) {
        if (keyword.empty())
            return "an empty keyword was given";
    }
    return {};
}

ParseResult parseCommand(Command command, std::span<const std::string> args,
                         std::span<const OptionDef> defs) {
    ParseResult result;
    Options& options = result.options;
    options.command = command;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.keywords.emplace_back(arg);  // "-" alone is a keyword too
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        const OptionDef* def = nullptr;
        std::optional<std::string_view> inlineValue;
        if (arg.starts_with("--")) {
            std::string_view name = arg.substr(2);
            if (auto eq = name.find('='); eq != name.npos) {
                inlineValue = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            for (const OptionDef& s : defs) {
                if (s.longName == name)
                    def = &s;
            }
            if (!def)
                return fail("unknown option " + quoted(arg.substr(0, 2 + name.size())));
            if (!def->takesValue && inlineValue)
                return fail("option --" + std::string(name) + " takes no value");
        } else {
            for (const OptionDef& s : defs) {
                if (s.shortName == arg[1])
                    def = &s;
            }
            if (!def)
                return fail("unknown option " + quoted(arg.substr(0, 2)));
            if (arg.size() > 2) {
                if (!def->takesValue)
                    return fail("option -" + std::string(1, arg[1]) + " takes no value");
                inlineValue = arg.substr(2);
            }
        }

        std::string_view value;
        if (def->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail("option --" + std::string(def->longName) + " needs a value");
            }
        }
        if (std::string error = applyOption(options, def->longName, value); !error.empty())
            return fail(std::move(error));
    }

    if (options.command == Command::Help)
        return result;  // --help wins over the rest
    return fail(checkCombination(options));
}

}  // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    if (args.empty()) {
        result.error = "no command given";
        return result;
    }
    const std::string_view first = args.front();
    const std::span<const std::string> rest(args.data() + 1, args.size() - 1);
    if (first == "--help" || first == "-h" || first == "help") {
        result.options.command = Command::Help;
        if (first == "help" && !rest.empty()) {
            if (rest.front() == "search")
                result.options.helpTopic = Command::Search;
            else if (rest.front() == "suggest")
                result.options.helpTopic = Command::Suggest;
            else
                result.error = "no such command " + quoted(rest.front());
        }
        return result;
    }
    if (first == "--version" || first == "-V") {
        result.options.command = Command::Version;
        return result;
    }
    if (first == "search")
        return parseCommand(Command::Search, rest, kSearchOptions);
    if (first == "suggest")
        return parseCommand(Command::Suggest, rest, kSuggestOptions);
    if (first.starts_with("-")) {
        result.error = "unknown option " + quoted(first) + " (options follow the command)";
    } else {
        result.error =
            "no such command " + quoted(first) + " (the commands are search and suggest)";
    }
    return result;
}

}  // namespace sh::cli
