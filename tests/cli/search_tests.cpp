// The search and suggest commands run in-process against the loopback stand-in of the
// two services.

#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "cli/command_line.h"
#include "cli/output_format.h"
#include "cli_test_support.h"
#include "relay_proxy.h"
#include "export/list_file.h"
#include "harvest/harvest_run.h"
#include "harvest/result_extraction.h"
#include "standin/standin_server.h"
#include "support/expected_listing.h"
#include "support/fake_window.h"
#include "support/fifo_writer.h"
#include "text/codepage.h"
#include "text/program_directory.h"
#include "web/http_exchange.h"

namespace {

using namespace std::chrono_literals;
using sh::clitest::readBytes;
using sh::clitest::writeBytes;
using sh::harvest::EditBox;
using sh::standin::Failure;
using sh::standin::ServiceKind;
using sh::standin::StandinServer;
using sh::text::gbk;
using sh::text::Text;

using sh::testing::ExpectedRow;

std::vector<ExpectedRow> expectedRows(const std::string& keyword, int pages,
                                      const std::vector<std::string>& exclusions = {},
                                      const std::set<int>& failedPages = {}) {
    return sh::testing::expectedListing(keyword, pages, exclusions, failedPages);
}

std::string sitesText(const std::vector<ExpectedRow>& rows) {
    std::string text;
    for (const auto& row : rows) text += row.site + "\r\n";
    return text;
}

std::string expectedTsv(const std::vector<std::pair<std::string, std::vector<ExpectedRow>>>& runs) {
    std::string tsv = "rank\tsite\ttitle\tkeyword\tpage\n";
    for (const auto& [keyword, rows] : runs) {
        for (std::size_t r = 0; r < rows.size(); ++r) {
            tsv += std::to_string(r) + "\t" + rows[r].site + "\t" + sh::text::utf8(rows[r].title) + "\t" +
                   keyword + "\t" + std::to_string(rows[r].page) + "\n";
        }
    }
    return tsv;
}

class SearchCommandTest : public ::testing::Test {
protected:
    struct Result {
        int status;
        std::string out, err;
    };

    void SetUp() override {
        ASSERT_TRUE(server.start());
        setenv("SITEHARVEST_SEARCH_HOST", server.hostPort().c_str(), 1);
        setenv("SITEHARVEST_SUGGEST_HOST", server.hostPort().c_str(), 1);
        dir = sh::clitest::scratchDirectory();
        sh::setProgramDirectory(dir);
    }
    void TearDown() override {
        unsetenv("SITEHARVEST_SEARCH_HOST");
        unsetenv("SITEHARVEST_SUGGEST_HOST");
        std::filesystem::remove_all(dir);
    }

    Result run(const std::vector<std::string>& args, bool progress = false) {
        std::ostringstream out, err;
        const int status = sh::cli::runCommandLine(args, out, err, progress);
        return {status, out.str(), err.str()};
    }

    std::vector<std::string> searchedWords() const {
        std::vector<std::string> words;
        for (const auto& request : server.requests()) {
            if (request.kind == ServiceKind::Search)
                words.push_back(request.wordDecoded + "@" + std::to_string(request.pn));
        }
        return words;
    }

    StandinServer server;
    std::filesystem::path dir;
};

TEST_F(SearchCommandTest, ListFormatsAreByteForByteTheWindowsSavedFiles) {
    // One fragment in the exclusion file beside the program: both front ends read it.
    writeBytes(dir / "排除网址.txt", "shop17\r\n");

    sh::testing::FakeWindow window;
    window.edits[EditBox::编辑框1] = gbk("北京公司");
    window.edits[EditBox::编辑框3] = Text("4");
    sh::harvest::onSearchClicked(window);
    sh::exporting::onSaveUrlsClicked(window);
    sh::exporting::onSaveUrlsAndTitlesClicked(window);
    const int rows = window.list.rowCount();
    ASSERT_GT(rows, 20);
    const std::string urlsFile = readBytes(sh::exporting::urlsFilePath(rows));
    const std::string titledFile = readBytes(sh::exporting::urlsAndTitlesFilePath(rows));
    const auto windowRequests = server.requests();
    server.clearRequests();

    const Result urls = run({"search", "--pages", "4", "北京公司"});
    EXPECT_EQ(urls.status, 0) << urls.err;
    EXPECT_EQ(urls.err, "");
    EXPECT_EQ(urls.out, urlsFile);
    const Result titled = run({"search", "-p", "4", "-f", "titled", "北京公司"});
    EXPECT_EQ(titled.out, titledFile);
    const Result titledUtf8 = run({"search", "-p", "4", "-f", "titled", "-e", "utf-8", "北京公司"});
    EXPECT_EQ(titledUtf8.out, sh::text::utf8(Text(titledFile)));

    // The same requests, target for target.
    const auto cliRequests = server.requests();
    ASSERT_EQ(cliRequests.size(), 3 * windowRequests.size());
    for (std::size_t i = 0; i < cliRequests.size(); ++i) {
        EXPECT_EQ(cliRequests[i].target, windowRequests[i % windowRequests.size()].target);
    }
}

TEST_F(SearchCommandTest, TsvAndJsonNameTheKeywordAndPageOfEveryRow) {
    const auto rows = expectedRows("网站建设", 3);
    const Result tsv = run({"search", "-p", "3", "-f", "tsv", "网站建设"});
    EXPECT_EQ(tsv.status, 0);
    EXPECT_EQ(tsv.out, expectedTsv({{"网站建设", rows}}));

    const Result json = run({"search", "-p", "3", "--format=json", "网站建设"});
    std::string expected = "[\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        expected += "{\"rank\": " + std::to_string(r) +
                    ", \"site\": " + sh::cli::jsonString(rows[r].site) +
                    ", \"title\": " + sh::cli::jsonString(sh::text::utf8(rows[r].title)) +
                    ", \"keyword\": \"网站建设\", \"page\": " + std::to_string(rows[r].page) +
                    (r + 1 < rows.size() ? "},\n" : "}\n");
    }
    EXPECT_EQ(json.out, expected + "]\n");
}

TEST_F(SearchCommandTest, EachKeywordIsARunOfItsOwnInKeywordOrder) {
    // The stand-in lists the same sites for every keyword, so the second run lists
    // again what the first one did: repeats are dropped within a run only.
    const Result tsv = run({"search", "-p", "2", "-f", "tsv", "北京公司", "seo"});
    EXPECT_EQ(tsv.out, expectedTsv({{"北京公司", expectedRows("北京公司", 2)},
                                    {"seo", expectedRows("seo", 2)}}));
    EXPECT_EQ(searchedWords(),
              (std::vector<std::string>{"北京公司@10", "北京公司@20", "seo@10", "seo@20"}));

    std::string urls;
    for (const char* keyword : {"北京公司", "seo"}) {
        for (const auto& row : expectedRows(keyword, 2)) urls += row.site + "\r\n";
    }
    EXPECT_EQ(run({"search", "-p", "2", "北京公司", "seo"}).out, urls);
}

TEST_F(SearchCommandTest, KeywordFilesInGbkAndUtf8AreReadAlike) {
    const std::string lines = "北京公司\r\n\r\n网站建设\r\n";
    const struct {
        const char* name;
        std::string content;
    } files[] = {
        {"utf-8", lines},
        {"utf-8 with BOM", "\xEF\xBB\xBF" + lines},
        {"gbk", gbk(lines).bytes()},
        // UTF-16LE without a byte-order mark, as some editors save it.
        {"utf-16le", sh::text::ansiToWide(Text(lines))
                         .bytes()
                         .substr(0, sh::text::ansiToWide(Text(lines)).size() - 2)},
    };
    for (const auto& file : files) {
        server.clearRequests();
        writeBytes(dir / "keywords.txt", file.content);
        const Result r =
            run({"search", "-p", "1", "seo", "--keywords", (dir / "keywords.txt").string()});
        EXPECT_EQ(r.status, 0) << file.name << ": " << r.err;
        // Command-line keywords first, then the file's.
        EXPECT_EQ(searchedWords(),
                  (std::vector<std::string>{"seo@10", "北京公司@10", "网站建设@10"}))
            << file.name;
    }
}

TEST_F(SearchCommandTest, ExclusionFileBesideTheProgramOrNamedOnTheCommandLine) {
    writeBytes(dir / "排除网址.txt", "shop1\r\n");
    writeBytes(dir / "other.txt", gbk("site2\r\nshop9").bytes());
    auto sites = sitesText;
    EXPECT_EQ(run({"search", "-p", "2", "x"}).out, sites(expectedRows("x", 2, {"shop1"})));
    // A named file replaces the default one.
    EXPECT_EQ(run({"search", "-p", "2", "-x", (dir / "other.txt").string(), "x"}).out,
              sites(expectedRows("x", 2, {"site2", "shop9"})));
    // No default file: nothing is excluded, and nothing is said about it.
    std::filesystem::remove(dir / "排除网址.txt");
    const Result none = run({"search", "-p", "2", "x"});
    EXPECT_EQ(none.out, sites(expectedRows("x", 2)));
    EXPECT_EQ(none.err, "");
}

TEST_F(SearchCommandTest, ANamedFileThatCannotBeUsedStopsBeforeAnyRequest) {
    std::filesystem::create_directories(dir / "sub");
    writeBytes(dir / "out.txt", "earlier result\r\n");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"-x", (dir / "missing.txt").string()},
         "cannot read exclusion file '" + (dir / "missing.txt").string() +
             "': No such file or directory"},
        {{"-x", (dir / "sub").string()}, "cannot read exclusion file"},
        {{"-k", (dir / "missing.txt").string()}, "cannot read keyword file"},
        {{"-o", (dir / "sub").string()},
         "cannot write '" + (dir / "sub").string() + "': Is a directory"},
        {{"-o", (dir / "no" / "such" / "out.txt").string()}, "No such file or directory"},
        // A file where a directory should be, and a name one byte over the limit.
        {{"-o", (dir / "out.txt" / "x.txt").string()},
         "cannot write '" + (dir / "out.txt" / "x.txt").string() + "': Not a directory"},
        {{"-o", (dir / std::string(256, 'n')).string()}, "': File name too long"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"search", "x"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

// A pipe or a FIFO named with -x is read once, to its end; a FIFO beside the program is
// passed over with a warning rather than waited on. A rescuer opens the FIFO for writing
// after a while, so a run that opens it once too often, or waits on it, fails instead of
// hanging.
TEST_F(SearchCommandTest, ExclusionFilesThatAreNoRegularFile) {
    using namespace std::chrono_literals;
    using sh::testing::FifoWriter;
    const std::filesystem::path fifo = dir / "fifo";
    const std::string warning = "siteharvest-cli: warning: exclusion file '" +
                                sh::harvest::exclusionFilePath().string() +
                                "' is not a regular file; it is ignored\n";
    struct Setup {
        std::vector<std::string> args;
        std::unique_ptr<FifoWriter> writer, rescuer;
        int pipeEnd = -1;
    };
    const struct {
        const char* name;
        std::function<Setup()> setup;
        std::vector<std::string> excluded;
        std::string err;
    } cases[] = {
        {"pipe named with -x",
         [&] {
             int ends[2];
             EXPECT_EQ(::pipe(ends), 0);
             EXPECT_EQ(::write(ends[1], "shop1\r\nsite2", 13), 13);
             ::close(ends[1]);
             return Setup{{"-x", "/dev/fd/" + std::to_string(ends[0])}, nullptr, nullptr, ends[0]};
         },
         {"shop1", "site2"},
         ""},
        {"FIFO named with -x",
         [&] {
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             return Setup{{"-x", fifo.string()},
                          std::make_unique<FifoWriter>(fifo, "shop1\r\n"),
                          std::make_unique<FifoWriter>(fifo, "", 3s)};
         },
         {"shop1"},
         ""},
        {"FIFO beside the program",
         [&] {
             const auto file = sh::harvest::exclusionFilePath();
             EXPECT_EQ(::mkfifo(file.c_str(), 0600), 0);
             return Setup{{}, nullptr, std::make_unique<FifoWriter>(file, "shop1\r\n", 3s)};
         },
         {},
         warning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(fifo);
        std::filesystem::remove(sh::harvest::exclusionFilePath());
        Setup setup = c.setup();
        std::vector<std::string> args = {"search", "-p", "2", "x"};
        args.insert(args.end(), setup.args.begin(), setup.args.end());
        const Result r = run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, sitesText(expectedRows("x", 2, c.excluded)));
        EXPECT_EQ(r.err, c.err);
        if (setup.rescuer) {
            EXPECT_FALSE(setup.rescuer->rescued()) << "the run waited on the FIFO";
        }
        if (setup.pipeEnd >= 0)
            ::close(setup.pipeEnd);
    }
}

// The bound stays, but the user hears of it: which file, how large, and the bound.
TEST_F(SearchCommandTest, AnExclusionFileOverTheBoundIsCutWithAWarning) {
    const auto file = dir / "huge.txt";
    const std::size_t size = sh::harvest::kMaxExclusionFileBytes + 1000;
    {
        std::ofstream out(file, std::ios::binary);
        out << "shop1\r\n";
        const std::string chunk(1 << 20, 'y');
        for (std::size_t written = 7; written < size; written += chunk.size())
            out.write(chunk.data(),
                      static_cast<std::streamsize>(std::min(chunk.size(), size - written)));
    }
    ASSERT_EQ(std::filesystem::file_size(file), size);
    const Result r = run({"search", "-p", "2", "-x", file.string(), "x"});
    std::filesystem::remove(file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, sitesText(expectedRows("x", 2, {"shop1"})));
    EXPECT_EQ(r.err, "siteharvest-cli: warning: exclusion file '" + file.string() + "' holds " +
                         std::to_string(size) +
                         " bytes; only the whole lines within its first 134217728 bytes (128 "
                         "MiB) are used\n");
}

TEST_F(SearchCommandTest, FailedPagesAreSkippedWithAWarning) {
    server.setPageFailure(20, Failure::Drop);
    const Result r = run({"search", "-p", "3", "-f", "tsv", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expectedTsv({{"x", expectedRows("x", 3, {}, {2})}}));
    EXPECT_EQ(r.err,
              "siteharvest-cli: warning: 1 of 3 requests failed or timed out; their pages gave "
              "no rows\n");
}

TEST_F(SearchCommandTest, NothingFetchedAtAllIsAFailureAndLeavesTheOutputFileAlone) {
    const std::string output = (dir / "out.txt").string();
    writeBytes(output, "earlier result\r\n");
    const std::string noRequestFetched = "siteharvest-cli: nothing could be fetched: all ";

    // Every page dropped.
    server.setPageFailure(10, Failure::Drop);
    server.setPageFailure(20, Failure::Drop);
    Result r = run({"search", "-p", "2", "-o", output, "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              noRequestFetched + "2 requests to " + server.hostPort() + " failed or timed out\n");

    // Every page too slow for the time limit.
    server.setPageFailure(10, Failure::None);
    server.setPageDelay(10, 2500ms);
    r = run({"search", "-p", "1", "--timeout", "1", "-o", output, "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(noRequestFetched + "1 request to"), std::string::npos);

    // Nothing listening at all.
    server.stop();
    r = run({"search", "-p", "2", "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(noRequestFetched), std::string::npos);

    EXPECT_EQ(readBytes(output), "earlier result\r\n");
}

TEST_F(SearchCommandTest, OutputFileIsReplacedWithTheWholeResult) {
    const std::string output = (dir / "out.txt").string();
    writeBytes(output, "earlier result, longer than what replaces it ...........\r\n");
    const Result toFile = run({"search", "-p", "2", "-o", output, "x"});
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(readBytes(output), run({"search", "-p", "2", "x"}).out);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
}

// -o follows a link to the file it names, writes into a descriptor of the process, and
// takes a name of the full 255 bytes.
TEST_F(SearchCommandTest, OutputGoesWhereThePathLeads) {
    const std::string expected = run({"search", "-p", "2", "x"}).out;
    ASSERT_FALSE(expected.empty());

    writeBytes(dir / "target.txt", "earlier\r\n");
    std::filesystem::create_symlink("target.txt", dir / "link.txt");
    Result r = run({"search", "-p", "2", "-o", (dir / "link.txt").string(), "x"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
    EXPECT_EQ(readBytes(dir / "target.txt"), expected);

    const auto longName = dir / (std::string(251, 'n') + ".txt");
    r = run({"search", "-p", "2", "-o", longName.string(), "x"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(longName), expected);

    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
    r = run({"search", "-p", "2", "-o", "/dev/fd/" + std::to_string(ends[1]), "x"});
    EXPECT_EQ(r.status, 0) << r.err;
    ::close(ends[1]);
    std::string piped(expected.size() + 1, '\0');
    piped.resize(std::max<ssize_t>(0, ::read(ends[0], piped.data(), piped.size())));
    EXPECT_EQ(piped, expected);
    ::close(ends[0]);
}

TEST_F(SearchCommandTest, ProgressGoesToStandardErrorOnlyWhenAsked) {
    const Result quiet = run({"search", "-p", "2", "北京公司"}, false);
    EXPECT_EQ(quiet.err, "");

    const Result shown = run({"search", "-p", "2", "北京公司"}, true);
    EXPECT_EQ(shown.out, quiet.out);
    const int rows = static_cast<int>(expectedRows("北京公司", 2).size());
    EXPECT_NE(shown.err.find("北京公司: page 1/2, 0 rows"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("北京公司: page 2/2, "), std::string::npos);
    EXPECT_NE(shown.err.find("北京公司: 2 pages fetched, 0 failed, " + std::to_string(rows) +
                             " rows\n"),
              std::string::npos)
        << shown.err;
}

TEST_F(SearchCommandTest, CurrentMarkupIsListedAndVerboseSummarisesEachKeyword) {
    server.setMarkup(sh::standin::Markup::Current);
    const auto beijing = sh::testing::expectedCurrentListing("北京公司", 3);
    const auto shanghai = sh::testing::expectedCurrentListing("上海", 3);
    const Result r = run({"search", "-p", "3", "-f", "tsv", "--verbose", "北京公司", "上海"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expectedTsv({{"北京公司", beijing}, {"上海", shanghai}}));
    EXPECT_EQ(r.err, "[1/2] 北京公司: 3 pages fetched, 0 failed, " +
                         std::to_string(beijing.size()) + " rows\n[2/2] 上海: 3 pages fetched, 0 "
                         "failed, " +
                         std::to_string(shanghai.size()) + " rows\n");
}

TEST_F(SearchCommandTest, ABlockStopsEveryKeywordWritesWhatWasHarvestedAndExitsWithThree) {
    const std::string output = (dir / "out.txt").string();
    server.setBlockAfter(2);
    Result r = run({"search", "-p", "4", "-o", output, "x", "y"});
    EXPECT_EQ(r.status, sh::cli::kExitBlocked);
    std::string expected;
    for (const ExpectedRow& row : expectedRows("x", 2)) expected += row.site + "\r\n";
    EXPECT_EQ(readBytes(output), expected);
    // The blocked request was the last one: no further page, no later keyword.
    EXPECT_EQ(searchedWords(), (std::vector<std::string>{"x@10", "x@20", "x@30"}));
    EXPECT_NE(r.err.find("page 3 of 'x' with its verification page"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 later keyword was not tried"), std::string::npos) << r.err;

    // Blocked before a single row: an earlier output file stays as it was.
    writeBytes(output, "earlier result\r\n");
    server.setBlockAfter(0);
    r = run({"search", "-p", "4", "-o", output, "x"});
    EXPECT_EQ(r.status, sh::cli::kExitBlocked);
    EXPECT_EQ(readBytes(output), "earlier result\r\n");
    EXPECT_NE(r.err.find("page 1 of 'x'"), std::string::npos) << r.err;
}

TEST_F(SearchCommandTest, VerboseNamesWhatEachPageLostAndWhy) {
    // A server that answers page 1 with headers past libcurl's limit, page 2 with a body
    // past the cap, page 3 with a line too costly to search before a good result.
    const std::string result =
        "<a>1&#160;t</a><div class=\"abs\">x<br /><span class=\"site\">s%d.example</span>\n";
    auto resultFor = [&](int n) {
        std::string line = result;
        line.replace(line.find("%d"), 2, std::to_string(n));
        return line;
    };
    std::string huge = resultFor(2);
    while (huge.size() <= sh::web::kMaxBodyBytes + 4096)
        huge += "<div class=\"c-row\"><span>more&gt;</span></div>\n";
    std::string hostile;
    for (int i = 0; i < 1000; ++i)
        hostile += "<i>a&#160;b</a><div class=\"abs\">c<br /><span class=\"site\">d</spa>";
    const std::string costly = hostile + "\n" + resultFor(3);

    httplib::Server pages;
    pages.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response& res) {
        const std::string pn = req.get_param_value("pn");
        if (pn == "10") {
            for (int i = 0; i < 10000; ++i)
                res.set_header("Set-Cookie", "c" + std::to_string(i) + "=" + std::string(30, 'v'));
            res.set_content("never read", "text/html");
        } else {
            res.set_content(pn == "20" ? huge : costly, "text/html; charset=utf-8");
        }
        return httplib::Server::HandlerResponse::Handled;
    });
    const int port = pages.bind_to_any_port("127.0.0.1");
    // Bound already: a request that comes before the loop runs waits in the backlog.
    std::thread serving([&] { pages.listen_after_bind(); });
    setenv("SITEHARVEST_SEARCH_HOST", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);

    const Result r = run({"search", "-p", "3", "-e", "utf-8", "--verbose", "x"});
    const Result quiet = run({"search", "-p", "1", "x"});
    pages.stop();
    serving.join();

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "http://s2.example/\r\nhttp://s3.example/\r\n");
    const std::vector<std::string> expected = {
        "x: page 1: the reply's headers passed the size libcurl accepts (300 KiB in all, 100 KiB "
        "a line), so its body was not read (",
        "x: page 2: the reply passed the 64 MiB cap; only its first 64 MiB were read\n",
        "x: page 3: 1 line was too costly to search and given up from where the search "
        "stalled; results later on it are missing\n",
        "x: 3 pages fetched, 1 failed, 2 rows\n",
        "siteharvest-cli: warning: 1 of 3 requests failed or timed out (1 of them: its reply's "
        "headers passed the 300 KiB that libcurl accepts, so the page was not read); their pages "
        "gave no rows\n",
    };
    std::size_t at = 0;
    for (const std::string& line : expected) {
        const std::size_t found = r.err.find(line, at);
        EXPECT_NE(found, std::string::npos) << line << "\nin:\n" << r.err;
        at = found == std::string::npos ? at : found + line.size();
    }
    // Without --verbose only the reason of a failure is told, not the notes.
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.err.find("page 1:"), std::string::npos) << quiet.err;
    EXPECT_NE(quiet.err.find("failed or timed out (1 of them: its reply's headers passed"),
              std::string::npos)
        << quiet.err;
}

TEST_F(SearchCommandTest, AgentTextAndProxyReachEveryRequest) {
    const std::string defaultAgent =
        "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; .NET CLR "
        "3.0.04506.648; .NET CLR 3.5.21022)";
    const std::string phone = "Mozilla/5.0 (Linux; Android 13; Pixel 7) Mobile Safari/537.36";
    ASSERT_EQ(run({"search", "-p", "1", "x"}).status, 0);
    EXPECT_EQ(server.requests().back().header("User-Agent"), defaultAgent);
    ASSERT_EQ(run({"search", "-p", "1", "--user-agent", phone, "x"}).status, 0);
    EXPECT_EQ(server.requests().back().header("User-Agent"), phone);
    ASSERT_EQ(run({"suggest", "--user-agent=" + phone, "x"}).status, 0);
    EXPECT_EQ(server.requests().back().header("User-Agent"), phone);
    ASSERT_EQ(run({"suggest", "x"}).status, 0);
    EXPECT_EQ(server.requests().back().header("User-Agent"), defaultAgent);

    const std::string direct = run({"search", "-p", "2", "-f", "tsv", "x"}).out;
    struct Case {
        sh::clitest::RelayProxy::Kind kind;
        std::string scheme;
    };
    for (const Case& c : {Case{sh::clitest::RelayProxy::Kind::Http, "http://"},
                          Case{sh::clitest::RelayProxy::Kind::Socks5, "socks5://"},
                          Case{sh::clitest::RelayProxy::Kind::Socks5, "socks5h://"}}) {
        SCOPED_TRACE(c.scheme);
        sh::clitest::RelayProxy proxy(c.kind);
        const std::string address = c.scheme + "127.0.0.1:" + std::to_string(proxy.port());
        const Result r = run({"search", "-p", "2", "-f", "tsv", "--proxy", address, "x"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, direct);
        const auto targets = proxy.targets();
        ASSERT_EQ(targets.size(), 2u);
        for (const std::string& target : targets) {
            if (c.kind == sh::clitest::RelayProxy::Kind::Http)
                EXPECT_EQ(target.rfind("http://" + server.hostPort() + "/ssid=0/", 0), 0u)
                    << target;
            else
                EXPECT_EQ(target, server.hostPort());
        }
        const Result s = run({"suggest", "--proxy", address, "北京"});
        EXPECT_EQ(s.out, "北京\n北京官网\n北京是什么\n北京怎么样\n");
        EXPECT_EQ(proxy.targets().size(), 3u);
    }
}

TEST_F(SearchCommandTest, SuggestPrintsOneItemPerLine) {
    Result r = run({"suggest", "北京"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "北京\n北京官网\n北京是什么\n北京怎么样\n");
    EXPECT_EQ(run({"suggest", "-e", "gbk", "北京"}).out,
              gbk("北京\n北京官网\n北京是什么\n北京怎么样\n").bytes());
    ASSERT_FALSE(server.requests().empty());
    EXPECT_EQ(server.requests().back().wordDecoded, "北京");
    EXPECT_TRUE(server.requests().back().fixedPartsOk);

    // Items stay as the service wrote them, escapes included; a line break cannot split
    // one item over two lines.
    server.setSuggestReplyRaw("cb({\"q\":\"x\",\"s\":[\"a\\u5317\",\"\",\"b\r\nc\"]});");
    EXPECT_EQ(run({"suggest", "x"}).out, "a\\u5317\n\nb  c\n");

    server.resetSuggestions();
    server.setSuggestions({});
    r = run({"suggest", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");

    server.setSuggestFailure("y", Failure::Drop);
    r = run({"suggest", "y"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing could be fetched"), std::string::npos);
}

// libcurl sends no request whose head passes 1 MiB, and the keyword goes into it twice,
// percent-encoded. A keyword that long is refused before anything is fetched, with a
// reason, instead of every request failing as if the service could not be reached.
TEST_F(SearchCommandTest, AKeywordTooLongToSendIsRefusedBeforeAnyRequest) {
    const std::string longKeyword(180'000, 'k');  // longer than one argument can be
    writeBytes(dir / "keywords.txt", "short\n" + longKeyword + "\n");
    const std::vector<std::string> commands[] = {
        {"search", "-p", "2", "-k", (dir / "keywords.txt").string()},
        {"suggest", longKeyword},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args.front());
        const Result r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("too long"), std::string::npos) << r.err.substr(0, 300);
        EXPECT_LT(r.err.size(), 400u);  // the keyword is not repeated in full
        EXPECT_EQ(server.requestCount(), 0u);
    }
}

}  // namespace
