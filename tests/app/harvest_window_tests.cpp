// The whole program through its window, against the loopback stand-in of the search and
// suggestion services: real clicks on the buttons, real typing in the boxes, and actions
// taken while a harvest is waiting for a page.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "app/main_window.h"
#include "app/qt_event_pump.h"
#include "app/qt_text.h"
#include "app/startup.h"
#include "harvest/result_extraction.h"
#include "harvest/services.h"
#include "standin/standin_server.h"
#include "support/expected_listing.h"
#include "text/codepage.h"
#include "text/event_pump.h"
#include "text/program_directory.h"

using namespace std::chrono_literals;
using sh::app::MainWindow;
using sh::standin::Failure;
using sh::standin::ServiceKind;
using sh::standin::StandinServer;
using sh::text::gbk;
using sh::text::Text;

namespace {

using Rows = std::vector<std::string>;

QString qs(const char* utf8) {
    return QString::fromUtf8(utf8);
}

using Listed = sh::testing::ExpectedRow;
using sh::testing::expectedListing;

Rows rowsOf(const std::vector<Listed>& listed) {
    return sh::testing::rowLines(listed);
}

// The bytes a save should write: GBK, CR LF after every line, address before title.
std::string fileBytes(const std::vector<Listed>& listed, bool withTitles) {
    std::string bytes;
    for (const Listed& l : listed) {
        bytes += l.site + "\r\n";
        if (withTitles)
            bytes.append(l.title.view()).append("\r\n");
    }
    return bytes;
}

// Every byte of the UTF-8 form as %XX, as the service addresses carry the keyword.
std::string percentEncodedUtf8(const std::string& utf8) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        out += '%';
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Accepts every modal box that comes up and remembers its text, so that a save's
// "保存成功" box never leaves a test hanging.
class ModalCloser {
public:
    ModalCloser() {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts.push_back(box->text());
            captions.push_back(box->windowTitle());
            box->accept();
        });
        m_poll.start(10);
    }
    QStringList texts;
    QStringList captions;

private:
    QTimer m_poll;
};

}  // namespace

class HarvestWindowTests : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startupMakesNoRequest();
    void suggestionLineAfterTyping_data();
    void suggestionLineAfterTyping();
    void aLongReplyChangesTheLineOnce();

    void searchListsEveryNewSiteOnce_data();
    void searchListsEveryNewSiteOnce();
    void pageCountIsTruncated_data();
    void pageCountIsTruncated();
    void failedPageAddsNoRowAndTheRunGoesOn_data();
    void failedPageAddsNoRowAndTheRunGoesOn();
    void saveWritesTheListByteForByte_data();
    void saveWritesTheListByteForByte();
    void clearEmptiesTheList();

    void typingDuringRunAsksForSuggestionsButKeepsTheKeyword();
    void clearDuringRunRestartsRanksAndKeepsSeenSites();
    void saveDuringRunWritesTheRowsSoFar();
    void currentMarkupPagesAreListed();
    void blockStopsTheRunAndSaysSo();
    void closingDuringRunStopsIt();

private:
    // Runs `action` on the window thread, queued, as soon as the stand-in logs the search
    // request for offset `pn`: it then runs inside the harvest's wait for that page.
    void whenPageRequested(int pn, std::function<void()> action);
    // Runs `action` on the window thread, queued, for every search request.
    void forEverySearchRequest(std::function<void()> action);

    void clickSearch() { QTest::mouseClick(m_window->按钮1, Qt::LeftButton); }
    void typeInto(QLineEdit* box, const QString& text, bool replace = true);
    Rows listedRows() const;
    std::vector<int> searchOffsets() const;
    std::vector<std::string> searchWords() const;
    std::vector<std::string> suggestWords() const;
    void writeExclusionFile(const std::string& bytes) {
        std::ofstream(m_dir / "排除网址.txt", std::ios::binary) << bytes;
    }

    std::unique_ptr<StandinServer> m_server;
    std::mutex m_mutex;  // guards the two below: the stand-in's threads read them
    std::map<int, std::function<void()>> m_pageActions;
    std::function<void()> m_everySearch;

    std::optional<QTemporaryDir> m_tempDir;
    std::filesystem::path m_dir;
    std::unique_ptr<sh::app::QtEventPump> m_pump;
    std::optional<sh::ScopedPump> m_installed;
    std::unique_ptr<MainWindow> m_window;
};

void HarvestWindowTests::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void HarvestWindowTests::init() {
    // The stand-in is up before the window exists, so it would see anything the window
    // sent while starting.
    m_server = std::make_unique<StandinServer>();
    m_server->setObserver([this](const StandinServer::Request& request) {
        if (request.kind != ServiceKind::Search)
            return;
        std::function<void()> action, every;
        {
            std::lock_guard lock(m_mutex);
            if (auto it = m_pageActions.find(request.pn); it != m_pageActions.end()) {
                action = std::move(it->second);
                m_pageActions.erase(it);
            }
            every = m_everySearch;
        }
        if (every)
            QMetaObject::invokeMethod(this, every, Qt::QueuedConnection);
        if (action)
            QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
    });
    QVERIFY(m_server->start());
    qputenv("SITEHARVEST_SEARCH_HOST", QByteArray::fromStdString(m_server->hostPort()));
    qputenv("SITEHARVEST_SUGGEST_HOST", QByteArray::fromStdString(m_server->hostPort()));

    m_tempDir.emplace();
    QVERIFY(m_tempDir->isValid());
    m_dir = m_tempDir->path().toStdString();
    sh::setProgramDirectory(m_dir);

    // As the program starts: the pump installed, closing wired to it, the window shown.
    m_pump = std::make_unique<sh::app::QtEventPump>();
    m_installed.emplace(*m_pump);
    m_window = std::make_unique<MainWindow>();
    connect(m_window.get(), &MainWindow::closing, m_pump.get(),
            &sh::app::QtEventPump::requestClose);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void HarvestWindowTests::cleanup() {
    m_server->stop();
    // Actions queued for this test must not run in the next one.
    QCoreApplication::removePostedEvents(this);
    {
        std::lock_guard lock(m_mutex);
        m_pageActions.clear();
        m_everySearch = nullptr;
    }
    m_window.reset();
    m_installed.reset();
    m_pump.reset();
    m_server.reset();
    sh::harvest::setRequestTimeout(std::nullopt);
    m_tempDir.reset();
}

void HarvestWindowTests::whenPageRequested(int pn, std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    m_pageActions[pn] = std::move(action);
}

void HarvestWindowTests::forEverySearchRequest(std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    m_everySearch = std::move(action);
}

void HarvestWindowTests::typeInto(QLineEdit* box, const QString& text, bool replace) {
    box->setFocus();
    if (replace) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
    }
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(box, c.toLatin1());
        } else {
            // Chinese comes from an input method, one committed character at a time.
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(box, &commit);
        }
    }
}

Rows HarvestWindowTests::listedRows() const {
    const QAbstractItemModel* model = m_window->超级列表框1->model();
    Rows rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        std::string row;
        for (int c = 0; c < 3; ++c)
            row += (c ? "|" : "") + model->index(r, c).data().toString().toStdString();
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> HarvestWindowTests::searchOffsets() const {
    std::vector<int> pns;
    for (const auto& request : m_server->requests())
        if (request.kind == ServiceKind::Search)
            pns.push_back(request.pn);
    return pns;
}

std::vector<std::string> HarvestWindowTests::searchWords() const {
    std::vector<std::string> words;
    for (const auto& request : m_server->requests())
        if (request.kind == ServiceKind::Search)
            words.push_back(request.word);
    return words;
}

std::vector<std::string> HarvestWindowTests::suggestWords() const {
    std::vector<std::string> words;
    for (const auto& request : m_server->requests())
        if (request.kind == ServiceKind::Suggest)
            words.push_back(request.wordDecoded);
    return words;
}

void HarvestWindowTests::startupMakesNoRequest() {
    // Long enough for anything a start-up handler would have sent to arrive.
    QTest::qWait(500);
    QCOMPARE(m_server->requestCount(), size_t(0));
    QVERIFY(m_window->编辑框2->text().startsWith(qs("SiteHarvest")));
}

void HarvestWindowTests::suggestionLineAfterTyping_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("items");  // empty: the stand-in's own suggestions
    QTest::addColumn<bool>("noItems");
    QTest::addColumn<QString>("line");
    QTest::newRow("chinese, by input method")
        << qs("上海") << QStringList() << false << qs("上海|上海官网|上海是什么|上海怎么样|");
    QTest::newRow("three items") << qs("ab") << QStringList{"a", "b", "c"} << false << qs("a|b|c|");
    QTest::newRow("an empty item stays")
        << qs("x") << QStringList{"a", "", "b"} << false << qs("a||b|");
    QTest::newRow("no items empties the line") << qs("x") << QStringList() << true << QString();
}

void HarvestWindowTests::suggestionLineAfterTyping() {
    QFETCH(QString, typed);
    QFETCH(QStringList, items);
    QFETCH(bool, noItems);
    QFETCH(QString, line);
    if (noItems || !items.isEmpty()) {
        std::vector<std::string> gbkItems;
        for (const QString& item : items) gbkItems.push_back(sh::app::toText(item).bytes());
        m_server->setSuggestions(gbkItems);
    }

    typeInto(m_window->编辑框1, typed, /*replace=*/true);

    QCOMPARE(m_window->编辑框2->text(), line);
    // One request per change: the deletion, then each character typed.
    std::vector<std::string> expected = {""};
    for (int i = 1; i <= typed.size(); ++i) expected.push_back(typed.left(i).toStdString());
    QCOMPARE(suggestWords(), expected);
    QVERIFY(searchOffsets().empty());
}

// Each change of the line copies and lays out all of it again: a reply shown item by item
// costs the square of its size (minutes for 16,000 items). It is shown in one step.
void HarvestWindowTests::aLongReplyChangesTheLineOnce() {
    std::vector<std::string> items;
    QString line;
    for (int i = 0; i < 2000; ++i) {
        const QString item = qs("北京公司") + QString::number(i);
        items.push_back(sh::app::toText(item).bytes());
        line += item + qs("|");
    }
    m_server->setSuggestions(items);
    QSignalSpy changes(m_window->编辑框2, &QLineEdit::textChanged);

    m_window->编辑框1->setText(qs("北京"));

    QCOMPARE(m_window->编辑框2->text(), line);
    // Emptied before the request, then the whole reply at once.
    QCOMPARE(changes.count(), 2);
    QCOMPARE(m_window->编辑框2->cursorPosition(), line.size());
}

void HarvestWindowTests::searchListsEveryNewSiteOnce_data() {
    QTest::addColumn<QString>("keyword");  // empty: the initial keyword, untouched
    QTest::addColumn<QByteArray>("exclusionFile");
    QTest::addColumn<QStringList>("exclusions");
    QTest::newRow("initial keyword") << QString() << QByteArray() << QStringList();
    // Blank lines exclude nothing; "SITE7" only hits the host that page 1 lists again in
    // upper case.
    QTest::newRow("exclusion file") << QString() << QByteArray("\r\nshop12.\r\n\r\nSITE7\r\n")
                                    << QStringList{"shop12.", "SITE7"};
    QTest::newRow("typed keyword with markup characters")
        << qs("深圳 a&b<\"") << QByteArray() << QStringList();
}

void HarvestWindowTests::searchListsEveryNewSiteOnce() {
    QFETCH(QString, keyword);
    QFETCH(QByteArray, exclusionFile);
    QFETCH(QStringList, exclusions);
    if (!exclusionFile.isEmpty())
        writeExclusionFile(exclusionFile.toStdString());
    if (!keyword.isEmpty())
        typeInto(m_window->编辑框1, keyword);
    const std::string keywordUtf8 = m_window->编辑框1->text().toStdString();
    typeInto(m_window->编辑框3, "3");
    m_server->clearRequests();
    // A row from before the run goes.
    m_window->resultList().setCellText(m_window->resultList().appendRow(), 1, Text("old"));

    // The button's state while each page is awaited, and a click on it meanwhile.
    std::vector<std::pair<bool, QString>> during;
    forEverySearchRequest([&] {
        during.emplace_back(m_window->按钮1->isEnabled(), m_window->按钮1->text());
        clickSearch();
    });
    clickSearch();

    std::vector<std::string> fragments;
    for (const QString& e : exclusions) fragments.push_back(e.toStdString());
    const auto listed = expectedListing(keywordUtf8, 3, fragments);
    QCOMPARE(listedRows(), rowsOf(listed));
    QVERIFY(!listed.empty());
    if (!fragments.empty())
        QCOMPARE(listed.size() + 2, expectedListing(keywordUtf8, 3).size());
    // As shown: no highlight tags, at most 30 GBK bytes; page 1 had titles to cut.
    const QAbstractItemModel* model = m_window->超级列表框1->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        const QString title = model->index(r, 2).data().toString();
        QVERIFY2(sh::app::toText(title).size() <= 30, qPrintable(title));
        QVERIFY2(!title.contains(qs("em>"), Qt::CaseInsensitive), qPrintable(title));
    }
    bool someCut = false;
    for (const auto& result : sh::standin::resultsFor(keywordUtf8, 10))
        someCut = someCut || gbk(result.titleUtf8).size() > 30;
    QVERIFY(someCut);

    // Three requests in page order, the keyword fully percent-encoded, and no second run
    // from the clicks on the disabled button.
    QCOMPARE(searchOffsets(), (std::vector<int>{10, 20, 30}));
    for (const std::string& word : searchWords()) QCOMPARE(word, percentEncodedUtf8(keywordUtf8));
    for (const auto& request : m_server->requests())
        QVERIFY2(request.fixedPartsOk, request.problem.c_str());
    const std::vector<std::pair<bool, QString>> expectedDuring = {
        {false, "1/3"}, {false, "2/3"}, {false, "3/3"}};
    QCOMPARE(during, expectedDuring);
    QVERIFY(m_window->按钮1->isEnabled());
    QCOMPARE(m_window->按钮1->text(), qs("搜索"));
    QCOMPARE(m_window->超文本浏览框1->url(), QUrl("qrc:/help/search.html"));
}

void HarvestWindowTests::pageCountIsTruncated_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("pages");
    QTest::newRow("0") << qs("0") << 0;
    QTest::newRow("abc") << qs("abc") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("-2") << qs("-2") << 0;
    QTest::newRow("3.9") << qs("3.9") << 3;
}

void HarvestWindowTests::pageCountIsTruncated() {
    QFETCH(QString, box);
    QFETCH(int, pages);
    typeInto(m_window->编辑框3, box);
    m_window->resultList().appendRow();

    clickSearch();

    std::vector<int> offsets;
    for (int i = 1; i <= pages; ++i) offsets.push_back(i * 10);
    QCOMPARE(searchOffsets(), offsets);
    QCOMPARE(listedRows(), rowsOf(expectedListing("北京公司", pages)));
    QVERIFY(m_window->按钮1->isEnabled());
    QCOMPARE(m_window->按钮1->text(), qs("搜索"));
    QCOMPARE(m_window->超文本浏览框1->url(), QUrl("qrc:/help/search.html"));
}

void HarvestWindowTests::failedPageAddsNoRowAndTheRunGoesOn_data() {
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("time-out") << int(Failure::None) << 2500;
    QTest::newRow("connection dropped") << int(Failure::Drop) << 0;
}

void HarvestWindowTests::failedPageAddsNoRowAndTheRunGoesOn() {
    QFETCH(int, failure);
    QFETCH(int, delayMs);
    sh::harvest::setRequestTimeout(1);
    m_server->setPageFailure(20, Failure(failure));
    m_server->setPageDelay(20, std::chrono::milliseconds(delayMs));
    typeInto(m_window->编辑框3, "3");

    clickSearch();

    QCOMPARE(listedRows(), rowsOf(expectedListing("北京公司", 3, {}, {2})));
    QCOMPARE(searchOffsets(), (std::vector<int>{10, 20, 30}));
    QVERIFY(m_window->按钮1->isEnabled());
}

void HarvestWindowTests::saveWritesTheListByteForByte_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("stem");
    QTest::addColumn<bool>("withTitles");
    QTest::newRow("addresses") << qs("按钮2") << qs("已采集网址") << false;
    QTest::newRow("addresses and titles") << qs("按钮3") << qs("已采集标题+网址") << true;
}

void HarvestWindowTests::saveWritesTheListByteForByte() {
    QFETCH(QString, button);
    QFETCH(QString, stem);
    QFETCH(bool, withTitles);
    typeInto(m_window->编辑框3, "3");
    clickSearch();
    const auto listed = expectedListing("北京公司", 3);
    QCOMPARE(listedRows(), rowsOf(listed));

    ModalCloser closer;
    auto* save = m_window->findChild<QPushButton*>(button);
    QTest::mouseClick(save, Qt::LeftButton);
    // Twice: the second save replaces the first file.
    QTest::mouseClick(save, Qt::LeftButton);

    QCOMPARE(closer.texts, (QStringList{qs("保存成功"), qs("保存成功")}));
    const QString name = stem + QString::number(listed.size() + 1) + ".txt";
    const auto file = m_dir / name.toStdString();
    QCOMPARE(readFile(file), fileBytes(listed, withTitles));
    // Nothing else is left behind in the directory: no temporary file.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
        ++files;
        QCOMPARE(entry.path(), file);
    }
    QCOMPARE(files, 1);
}

void HarvestWindowTests::clearEmptiesTheList() {
    typeInto(m_window->编辑框3, "2");
    clickSearch();
    QVERIFY(!listedRows().empty());

    QTest::mouseClick(m_window->按钮4, Qt::LeftButton);

    QCOMPARE(m_window->超级列表框1->model()->rowCount(), 0);
    QCOMPARE(m_window->超文本浏览框1->url(), QUrl("qrc:/help/clear.html"));
    // A save of the empty list writes nothing and shows nothing.
    ModalCloser closer;
    QTest::mouseClick(m_window->按钮2, Qt::LeftButton);
    QVERIFY(closer.texts.isEmpty());
    QVERIFY(std::filesystem::is_empty(m_dir));
}

void HarvestWindowTests::typingDuringRunAsksForSuggestionsButKeepsTheKeyword() {
    typeInto(m_window->编辑框3, "3");
    m_server->clearRequests();
    m_server->setPageDelay(20, 300ms);
    whenPageRequested(20, [this] { typeInto(m_window->编辑框1, qs("上海")); });

    clickSearch();

    QCOMPARE(listedRows(), rowsOf(expectedListing("北京公司", 3)));
    QCOMPARE(m_window->编辑框1->text(), qs("上海"));
    QCOMPARE(m_window->编辑框2->text(), qs("上海|上海官网|上海是什么|上海怎么样|"));
    // The suggestion requests went out inside the wait for page 2.
    std::vector<std::string> log;
    for (const auto& request : m_server->requests())
        log.push_back(request.kind == ServiceKind::Search ? std::to_string(request.pn)
                                                          : "suggest " + request.wordDecoded);
    const std::vector<std::string> expected = {"10",         "20",           "suggest ",
                                               "suggest 上", "suggest 上海", "30"};
    QCOMPARE(log, expected);
    for (const std::string& word : searchWords()) QCOMPARE(word, percentEncodedUtf8("北京公司"));
}

void HarvestWindowTests::clearDuringRunRestartsRanksAndKeepsSeenSites() {
    typeInto(m_window->编辑框3, "3");
    m_server->setPageDelay(20, 200ms);
    whenPageRequested(20, [this] { QTest::mouseClick(m_window->按钮4, Qt::LeftButton); });

    clickSearch();

    // Page 1's rows went with the clear; its sites stay seen, and ranks restart at 0.
    const auto all = expectedListing("北京公司", 3);
    const auto page1 = expectedListing("北京公司", 1);
    QVERIFY(!page1.empty());
    const std::vector<Listed> rest(all.begin() + static_cast<std::ptrdiff_t>(page1.size()),
                                   all.end());
    QVERIFY(!rest.empty());
    QCOMPARE(listedRows(), rowsOf(rest));
    QVERIFY(m_window->按钮1->isEnabled());
}

void HarvestWindowTests::saveDuringRunWritesTheRowsSoFar() {
    typeInto(m_window->编辑框3, "3");
    m_server->setPageDelay(20, 200ms);
    ModalCloser closer;
    whenPageRequested(20, [this] { QTest::mouseClick(m_window->按钮3, Qt::LeftButton); });

    clickSearch();

    // The save wrote page 1's rows; the run went on to list all three pages.
    const auto page1 = expectedListing("北京公司", 1);
    QCOMPARE(closer.texts, QStringList{qs("保存成功")});
    const auto file = m_dir / ("已采集标题+网址" + std::to_string(page1.size() + 1) + ".txt");
    QCOMPARE(readFile(file), fileBytes(page1, true));
    QCOMPARE(listedRows(), rowsOf(expectedListing("北京公司", 3)));
    QVERIFY(m_window->按钮1->isEnabled());
}

void HarvestWindowTests::currentMarkupPagesAreListed() {
    m_server->setMarkup(sh::standin::Markup::Current);
    typeInto(m_window->编辑框3, "3");

    clickSearch();

    const auto listed = sh::testing::expectedCurrentListing("北京公司", 3);
    QVERIFY(listed.size() > 15);
    QCOMPARE(listedRows(), rowsOf(listed));
    QVERIFY(m_window->按钮1->isEnabled());
}

void HarvestWindowTests::blockStopsTheRunAndSaysSo() {
    m_server->setBlockAfter(1);
    typeInto(m_window->编辑框3, "4");
    ModalCloser closer;

    clickSearch();

    // Page 1's rows stay; page 2 was the verification page and nothing was asked after it.
    const auto page1 = expectedListing("北京公司", 1);
    QCOMPARE(listedRows(), rowsOf(page1));
    QCOMPARE(searchOffsets(), (std::vector<int>{10, 20}));
    QVERIFY(m_window->按钮1->isEnabled());
    QCOMPARE(m_window->按钮1->text(), qs("搜索"));
    QCOMPARE(closer.captions, QStringList{qs("信息")});
    QVERIFY2(closer.texts.value(0).contains(qs("安全验证")), qPrintable(closer.texts.value(0)));
    QVERIFY2(closer.texts.value(0).contains(qs("第2页")), qPrintable(closer.texts.value(0)));

    // What was listed saves as usual.
    QTest::mouseClick(m_window->按钮2, Qt::LeftButton);
    QCOMPARE(closer.texts.value(1), qs("保存成功"));
    const auto file = m_dir / ("已采集网址" + std::to_string(page1.size() + 1) + ".txt");
    QCOMPARE(readFile(file), fileBytes(page1, false));
}

void HarvestWindowTests::closingDuringRunStopsIt() {
    typeInto(m_window->编辑框3, "50");
    m_server->setDelay(50ms);
    whenPageRequested(30, [this] { m_window->close(); });
    bool clickReturned = false;
    QTimer::singleShot(0, this, [&] {
        clickSearch();
        clickReturned = true;
    });

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QApplication::exec(), 0);
    // Generous: a run that went on would take 50 × 50 ms and more.
    QVERIFY2(clock.elapsed() < 10'000, QByteArray::number(clock.elapsed()));
    QVERIFY(clickReturned);
    QVERIFY(!m_window->isVisible());
    const size_t sent = searchOffsets().size();
    QVERIFY2(sent <= 4, QByteArray::number(qulonglong(sent)));
    // Nothing more goes out afterwards.
    QTest::qWait(300);
    QCOMPARE(searchOffsets().size(), sent);
}

int main(int argc, char** argv) {
    sh::app::prepareWebEngine();
    QApplication app(argc, argv);
    HarvestWindowTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "harvest_window_tests.moc"
