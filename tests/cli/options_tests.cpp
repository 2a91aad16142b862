// Parsing the command line: what each accepted form means, and a clear message for
// every unusable one.

#include <gtest/gtest.h>

#include "cli/options.h"

namespace {

using namespace sh::cli;

TEST(ParseCommandLine, SearchDefaults) {
    const ParseResult r = parseCommandLine({"search", "北京公司"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.command, Command::Search);
    EXPECT_EQ(r.options.keywords, std::vector<std::string>{"北京公司"});
    EXPECT_EQ(r.options.pages, 50);
    EXPECT_EQ(r.options.format, Format::Urls);
    EXPECT_FALSE(r.options.encoding);
    EXPECT_FALSE(r.options.excludeFile);
    EXPECT_FALSE(r.options.outputFile);
    EXPECT_EQ(r.options.delayMs, 0);
    EXPECT_EQ(r.options.timeoutSeconds, 60);
}

TEST(ParseCommandLine, EveryOptionInItsLongShortAndJoinedForms) {
    const std::vector<std::vector<std::string>> spellings = {
        {"search", "--pages", "3", "--exclude", "ex.txt", "--keywords", "kw.txt", "--format", "tsv",
         "--output", "out.tsv", "--encoding", "utf-8", "--delay", "250", "--timeout", "9", "a",
         "b"},
        {"search", "--pages=3", "--exclude=ex.txt", "--keywords=kw.txt", "--format=tsv",
         "--output=out.tsv", "--encoding=utf-8", "--delay=250", "--timeout=9", "a", "b"},
        {"search", "a", "-p", "3", "-x", "ex.txt", "b", "-k", "kw.txt", "-f", "tsv", "-o",
         "out.tsv", "-e", "utf-8", "-d", "250", "-t", "9"},
        {"search", "-p3", "-xex.txt", "-kkw.txt", "-ftsv", "-oout.tsv", "-eutf-8", "-d250", "-t9",
         "a", "b"},
    };
    for (const auto& args : spellings) {
        const ParseResult r = parseCommandLine(args);
        ASSERT_EQ(r.error, "") << args[1];
        EXPECT_EQ(r.options.keywords, (std::vector<std::string>{"a", "b"})) << args[1];
        EXPECT_EQ(r.options.pages, 3);
        EXPECT_EQ(r.options.excludeFile, "ex.txt");
        EXPECT_EQ(r.options.keywordFile, "kw.txt");
        EXPECT_EQ(r.options.format, Format::Tsv);
        EXPECT_EQ(r.options.outputFile, "out.tsv");
        EXPECT_EQ(r.options.encoding, Encoding::Utf8);
        EXPECT_EQ(r.options.delayMs, 250);
        EXPECT_EQ(r.options.timeoutSeconds, 9);
    }
}

TEST(ParseCommandLine, RequestOptionsOfBothCommands) {
    for (const char* command : {"search", "suggest"}) {
        const ParseResult r =
            parseCommandLine({command, "--proxy", "SOCKS5H://127.0.0.1:1080", "--user-agent",
                              "Mozilla/5.0 (Linux; Android 13) 移动", "-v", "x"});
        ASSERT_EQ(r.error, "") << command;
        EXPECT_EQ(r.options.proxy, "SOCKS5H://127.0.0.1:1080");
        EXPECT_EQ(r.options.userAgent, "Mozilla/5.0 (Linux; Android 13) 移动");
        EXPECT_TRUE(r.options.verbose);
    }
    const ParseResult joined =
        parseCommandLine({"search", "--proxy=http://p.example:3128", "--verbose", "x"});
    EXPECT_EQ(joined.options.proxy, "http://p.example:3128");
    EXPECT_FALSE(joined.options.userAgent);
    EXPECT_FALSE(parseCommandLine({"search", "x"}).options.verbose);
}

TEST(ParseCommandLine, DoubleDashEndsTheOptions) {
    const ParseResult r = parseCommandLine({"search", "-p", "2", "--", "-p", "--x", "-"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.pages, 2);
    EXPECT_EQ(r.options.keywords, (std::vector<std::string>{"-p", "--x", "-"}));
}

TEST(ParseCommandLine, KeywordFileAloneIsEnough) {
    const ParseResult r = parseCommandLine({"search", "--keywords", "-"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.options.keywords.empty());
    EXPECT_EQ(r.options.keywordFile, "-");
}

TEST(ParseCommandLine, HelpAndVersion) {
    struct Case {
        std::vector<std::string> args;
        Command command;
        std::optional<Command> topic;
    };
    const Case cases[] = {
        {{"--help"}, Command::Help, std::nullopt},
        {{"-h"}, Command::Help, std::nullopt},
        {{"help", "suggest"}, Command::Help, Command::Suggest},
        {{"--version"}, Command::Version, std::nullopt},
        {{"-V"}, Command::Version, std::nullopt},
        // A command's --help needs nothing else, not even a keyword.
        {{"search", "--help"}, Command::Help, Command::Search},
        {{"search", "-p", "5", "-h", "-h"}, Command::Help, Command::Search},
        {{"suggest", "--help"}, Command::Help, Command::Suggest},
    };
    for (const Case& c : cases) {
        const ParseResult r = parseCommandLine(c.args);
        EXPECT_EQ(r.error, "") << c.args.back();
        EXPECT_EQ(r.options.command, c.command) << c.args.back();
        EXPECT_EQ(r.options.helpTopic, c.topic) << c.args.back();
    }
}

TEST(ParseCommandLine, SuggestTakesExactlyOneKeyword) {
    const ParseResult r = parseCommandLine({"suggest", "-e", "gbk", "北京"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.command, Command::Suggest);
    EXPECT_EQ(r.options.encoding, Encoding::Gbk);
    EXPECT_EQ(r.options.keywords, std::vector<std::string>{"北京"});
}

TEST(ParseCommandLine, BadUsageSaysWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{}, "no command given"},
        {{"harvest", "x"}, "no such command 'harvest'"},
        {{"--pages", "3", "search", "x"}, "unknown option '--pages'"},
        {{"search"}, "no keyword given"},
        {{"search", ""}, "an empty keyword was given"},
        {{"search", "--colour", "x"}, "unknown option '--colour'"},
        {{"search", "--colour=red", "x"}, "unknown option '--colour'"},
        {{"search", "-z", "x"}, "unknown option '-z'"},
        {{"search", "x", "--pages"}, "option --pages needs a value"},
        {{"search", "x", "--help=yes"}, "option --help takes no value"},
        {{"search", "x", "--pages", "0"}, "--pages: '0' is not a whole number from 1 to 100000"},
        {{"search", "x", "--pages", "-3"}, "--pages: '-3' is not a whole number"},
        {{"search", "x", "--pages", "3.9"}, "--pages: '3.9' is not a whole number"},
        {{"search", "x", "--pages", "12abc"}, "--pages: '12abc' is not a whole number"},
        {{"search", "x", "--pages", "99999999999"}, "is not a whole number"},
        {{"search", "x", "--pages="}, "--pages: '' is not a whole number"},
        {{"search", "x", "--timeout", "0"}, "--timeout: '0' is not a whole number from 1"},
        {{"search", "x", "--delay", "-1"}, "--delay: '-1' is not a whole number from 0"},
        {{"search", "x", "--format", "csv"}, "--format: 'csv' is not one of urls, titled"},
        {{"search", "x", "--encoding", "latin1"}, "--encoding: 'latin1' is not one of gbk"},
        {{"search", "x", "--format", "json", "-e", "gbk"}, "always UTF-8"},
        {{"search", "x", "--output="}, "--output: the file name is empty"},
        {{"search", "x", "--exclude", ""}, "--exclude: the file name is empty"},
        {{"suggest"}, "no keyword given"},
        {{"suggest", "a", "b"}, "suggest takes one keyword"},
        {{"suggest", "a", "--pages", "3"}, "unknown option '--pages'"},
        {{"help", "frobnicate"}, "no such command 'frobnicate'"},
        {{"search", "x", "--proxy", "127.0.0.1:1080"}, "is not an http://, https://, socks5://"},
        {{"search", "x", "--proxy", "socks4://h:1"}, "is not an http://"},
        {{"search", "x", "--proxy", "http://"}, "--proxy: 'http://' names no proxy host"},
        {{"search", "x", "--proxy", "socks5h://:1080"}, "names no proxy host"},
        {{"search", "x", "--proxy", "http://a b:1"}, "holds a space or a control character"},
        {{"search", "x", "--user-agent="}, "--user-agent: the agent text is empty"},
        {{"suggest", "x", "--user-agent", "a\r\nX-Injected: 1"}, "holds a control character"},
        {{"search", "x", "--verbose=yes"}, "option --verbose takes no value"},
    };
    for (const Case& c : cases) {
        const ParseResult r = parseCommandLine(c.args);
        EXPECT_NE(r.error.find(c.error), std::string::npos)
            << "args ending in '" << (c.args.empty() ? "" : c.args.back()) << "' gave '" << r.error
            << "'";
    }
}

}  // namespace
