// The main window: its controls as built, the window operations the core uses, the result
// list, the browser panel and link buttons, and the nested event pump.

#include <xcb/xcb.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>

#include "app/main_window.h"
#include "app/qt_event_pump.h"
#include "app/qt_text.h"
#include "app/startup.h"
#include "text/codepage.h"
#include "text/event_pump.h"

using namespace std::chrono_literals;
using sh::app::MainWindow;
using sh::harvest::Button;
using sh::harvest::EditBox;
using sh::text::gbk;

namespace {

QString name(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

class AppTests : public QObject {
    Q_OBJECT
public:
    // Receives what the link buttons hand to the desktop, instead of a browser.
    Q_INVOKABLE void openUrl(const QUrl& url) { m_opened.push_back(url); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void windowFrameAndPlace();
    void controls_data();
    void controls();
    void colours_data();
    void colours();
    void suggestionLineHasPlainOnePixelFrame();
    void startsWithoutRunningAnyHandler();

    void listColumns();
    void listSelectsWholeRowsAndHeadersSortNothing();
    void listShowsResultListChanges();
    void listHoldsTenThousandRows();

    void mainActionsShowTheirPageFirst_data();
    void mainActionsShowTheirPageFirst();
    void linkButtons_data();
    void linkButtons();
    void homePageButtonOpensBundledHelp();

    void editBoxContent_data();
    void editBoxContent();
    void appendTextGoesToTheEndAndCannotBeUndone();
    void disabledButtonIgnoresClicks();
    void messageBoxes_data();
    void messageBoxes();

    void pumpWait_data();
    void pumpWait();
    void pumpKeepsTimersAndClicksAliveDuringWait();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
    void destroyingTheNativeWindowEndsTheProgram_data();
    void destroyingTheNativeWindowEndsTheProgram();

private:
    template <class T>
    T* control(const char* formName) {
        T* widget = m_window->findChild<T*>(name(formName));
        if (!widget)
            qFatal("no control %s", formName);
        return widget;
    }

    std::unique_ptr<sh::app::QtEventPump> m_pump;
    std::optional<sh::ScopedPump> m_installed;
    std::unique_ptr<MainWindow> m_window;
    std::vector<QUrl> m_opened;
};

void AppTests::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
}

void AppTests::cleanupTestCase() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void AppTests::init() {
    m_pump = std::make_unique<sh::app::QtEventPump>();
    m_installed.emplace(*m_pump);
    m_window = std::make_unique<MainWindow>();
    QObject::connect(m_window.get(), &MainWindow::closing, m_pump.get(),
                     &sh::app::QtEventPump::requestClose);
    m_window->centreOnPrimaryScreen();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_opened.clear();
}

void AppTests::cleanup() {
    m_window.reset();
    m_installed.reset();
    m_pump.reset();
}

void AppTests::windowFrameAndPlace() {
    MainWindow& w = *m_window;
    QCOMPARE(w.windowTitle(), name("SiteHarvest — 输入关键词，一键收集搜索结果中的网站地址"));
    // Fixed size: the client area cannot grow or shrink.
    QCOMPARE(w.size(), QSize(sh::app::kClientWidth, sh::app::kClientHeight));
    QCOMPARE(w.minimumSize(), w.size());
    QCOMPARE(w.maximumSize(), w.size());
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!w.isModal());
    QVERIFY(w.windowIcon().availableSizes().contains(QSize(48, 48)));
    // The outer frame is centred, in whole pixels.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(w.frameGeometry().topLeft(), QPoint(screen.x() + (screen.width() - 849) / 2,
                                                 screen.y() + (screen.height() - 573) / 2));
}

void AppTests::controls_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("tabStop");

    struct Row {
        const char* control;
        const char* kind;
        const char* container;
        QRect place;
        const char* text;
        bool visible;
        bool tabStop;
    };
    const Row rows[] = {
        {"分组框1", "QGroupBox", "MainWindow", {9, 0, 831, 56}, "", true, false},
        {"标签1", "QLabel", "分组框1", {10, 19, 77, 24}, "搜索关键词：", true, false},
        {"编辑框1", "QLineEdit", "分组框1", {82, 19, 213, 20}, "北京公司", true, true},
        {"标签2", "QLabel", "分组框1", {298, 11, 48, 37}, "搜索页数", true, false},
        {"编辑框3", "QLineEdit", "分组框1", {346, 19, 45, 20}, "50", true, true},
        {"按钮1", "QPushButton", "分组框1", {394, 19, 64, 20}, "搜索", true, true},
        {"按钮2", "QPushButton", "分组框1", {463, 19, 64, 20}, "网址保存", true, true},
        {"按钮3", "QPushButton", "分组框1", {535, 16, 96, 24}, "网址加标题保存", true, true},
        {"按钮4", "QPushButton", "分组框1", {639, 16, 56, 24}, "采集清空", true, true},
        {"按钮9", "QPushButton", "分组框1", {703, 16, 112, 24}, "官方网站", true, true},
        {"超级列表框1", "QTableView", "MainWindow", {8, 64, 624, 400}, "", true, true},
        {"分组框2", "QGroupBox", "MainWindow", {632, 56, 264, 408}, "", true, false},
        {"超文本浏览框1", "QWebEngineView", "分组框2", {0, 8, 328, 3500}, "", true, true},
        {"编辑框2",
         "QLineEdit",
         "MainWindow",
         {8, 472, 832, 24},
         "SiteHarvest — 输入关键词，一键收集搜索结果中的网站地址。使用帮助：点右上角“官方网站”。",
         true,
         true},
        {"分组框3", "QGroupBox", "MainWindow", {0, 496, 840, 40}, "", true, false},
        {"按钮5", "QPushButton", "分组框3", {8, 8, 96, 24}, "网站收录查询", true, true},
        {"按钮6", "QPushButton", "分组框3", {112, 8, 96, 24}, "外链建设技巧", true, true},
        {"按钮7", "QPushButton", "分组框3", {216, 8, 128, 24}, "关键词排名优化", true, true},
        {"按钮8", "QPushButton", "分组框3", {352, 8, 120, 24}, "SiteHarvest", true, true},
        {"标签3",
         "QLabel",
         "分组框3",
         {488, 8, 376, 24},
         "感谢使用 SiteHarvest！问题与建议：点“官方网站”查看帮助。",
         true,
         false},
        {"编辑框4",
         "QLineEdit",
         "MainWindow",
         {8, 504, 208, 0},
         "qrc:/help/search.html",
         false,
         true},
        {"编辑框5",
         "QLineEdit",
         "MainWindow",
         {240, 504, 176, 0},
         "qrc:/help/save.html",
         false,
         true},
        {"编辑框6",
         "QLineEdit",
         "MainWindow",
         {432, 504, 176, 0},
         "qrc:/help/exclude.html",
         false,
         true},
        {"编辑框7",
         "QLineEdit",
         "MainWindow",
         {624, 504, 192, 0},
         "qrc:/help/clear.html",
         false,
         true},
    };
    for (const Row& r : rows)
        QTest::newRow(r.control) << name(r.control) << name(r.kind) << name(r.container) << r.place
                                 << name(r.text) << r.visible << r.tabStop;
}

void AppTests::controls() {
    QFETCH(QString, control);
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QRect, place);
    QFETCH(QString, text);
    QFETCH(bool, visible);
    QFETCH(bool, tabStop);

    QWidget* w = m_window->findChild<QWidget*>(control);
    QVERIFY(w);
    QVERIFY2(w->inherits(kind.toLatin1()), w->metaObject()->className());
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), place);
    QCOMPARE(w->isVisible(), visible);
    QVERIFY(w->isEnabled());
    QCOMPARE(bool(w->focusPolicy() & Qt::TabFocus), tabStop);
    QCOMPARE(w->font(), QApplication::font());

    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QCOMPARE(edit->text(), text);
        QVERIFY(!edit->isReadOnly());
        QCOMPARE(edit->echoMode(), QLineEdit::Normal);
        QCOMPARE(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QVERIFY(edit->maxLength() > 1'000'000);
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        QCOMPARE(label->text(), text);
        QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
        QVERIFY(!label->wordWrap());
        QCOMPARE(label->frameShape(), QFrame::NoFrame);
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
        QVERIFY(box->title().isEmpty());
    }
}

void AppTests::colours_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QPalette::ColorRole>("role");
    QTest::addColumn<QColor>("colour");

    const QColor black(0, 0, 0), white(255, 255, 255);
    QTest::newRow("keyword text") << name("编辑框1") << QPalette::Text << black;
    QTest::newRow("keyword ground") << name("编辑框1") << QPalette::Base << white;
    QTest::newRow("page count text") << name("编辑框3") << QPalette::Text << black;
    QTest::newRow("suggestion text") << name("编辑框2") << QPalette::Text << QColor(0, 0, 255);
    QTest::newRow("suggestion ground") << name("编辑框2") << QPalette::Base << white;
    QTest::newRow("keyword caption") << name("标签1") << QPalette::WindowText << black;
    QTest::newRow("page caption") << name("标签2") << QPalette::WindowText << black;
    QTest::newRow("notice") << name("标签3") << QPalette::WindowText << QColor(255, 0, 0);
    QTest::newRow("list text") << name("超级列表框1") << QPalette::Text << black;
    QTest::newRow("list ground") << name("超级列表框1") << QPalette::Base << white;
}

void AppTests::colours() {
    QFETCH(QString, control);
    QFETCH(QPalette::ColorRole, role);
    QFETCH(QColor, colour);
    QWidget* w = m_window->findChild<QWidget*>(control);
    QVERIFY(w);
    QCOMPARE(w->palette().color(QPalette::Active, role), colour);
    QCOMPARE(w->palette().color(QPalette::Inactive, role), colour);
}

void AppTests::suggestionLineHasPlainOnePixelFrame() {
    auto* line = control<QLineEdit>("编辑框2");
    line->clear();
    const QImage image = line->grab().toImage();
    const int mid = image.height() / 2;
    // A one-pixel black line, then the white inside: no sunken (shaded) edge.
    QCOMPARE(image.pixelColor(0, mid), QColor(Qt::black));
    QCOMPARE(image.pixelColor(image.width() - 1, mid), QColor(Qt::black));
    QCOMPARE(image.pixelColor(1, mid), QColor(Qt::white));
    QCOMPARE(image.pixelColor(mid, 0), QColor(Qt::black));
    QCOMPARE(image.pixelColor(mid, 1), QColor(Qt::white));
}

void AppTests::startsWithoutRunningAnyHandler() {
    QTest::qWait(50);
    // Every main action would have pointed the panel somewhere; the keyword handler would
    // have emptied the suggestion line.
    QVERIFY(control<QWebEngineView>("超文本浏览框1")->url().isEmpty());
    QVERIFY(control<QLineEdit>("编辑框2")->text().startsWith(name("SiteHarvest")));
    QCOMPARE(m_window->resultList().rowCount(), 0);
    QVERIFY(m_opened.empty());
}

void AppTests::listColumns() {
    auto* list = control<QTableView>("超级列表框1");
    QAbstractItemModel* model = list->model();
    QCOMPARE(model->columnCount(), 3);
    QCOMPARE(model->rowCount(), 0);
    const char* headers[] = {"排名", "网址", "网站标题"};
    const int widths[] = {50, 300, 270};
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), name(headers[c]));
        QCOMPARE(list->columnWidth(c), widths[c]);
        QCOMPARE(list->horizontalHeader()->visualIndex(c), c);
    }
    QVERIFY(list->horizontalHeader()->isVisible());
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!list->isSortingEnabled());
    QVERIFY(list->horizontalHeader()->sectionsClickable());
}

void AppTests::listSelectsWholeRowsAndHeadersSortNothing() {
    auto& results = m_window->resultList();
    for (const char* site : {"site-b", "site-a", "site-c"}) {
        const int row = results.appendRow();
        results.setCellText(row, 0, sh::text::Text(std::to_string(row)));
        results.setCellText(row, 1, site);
        results.setCellText(row, 2, gbk("标题"));
    }
    auto* list = control<QTableView>("超级列表框1");
    auto clickCell = [list](int row, int column) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, column)).center());
    };
    auto selectedRows = [list] {
        std::vector<int> rows;
        for (const QModelIndex& i : list->selectionModel()->selectedRows()) rows.push_back(i.row());
        return rows;
    };

    clickCell(1, 2);
    QCOMPARE(selectedRows(), std::vector<int>{1});
    QCOMPARE(list->selectionModel()->selectedIndexes().size(), 3);  // the whole row
    clickCell(2, 0);
    QCOMPARE(selectedRows(), std::vector<int>{2});

    // A header click presses the header and changes nothing: no order, no selection.
    QHeaderView* header = list->horizontalHeader();
    QSignalSpy clicked(header, &QHeaderView::sectionClicked);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 20, header->height() / 2));
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(selectedRows(), std::vector<int>{2});
    for (int row = 0; row < 3; ++row) QCOMPARE(list->verticalHeader()->visualIndex(row), row);
    QCOMPARE(list->model()->index(0, 1).data().toString(), name("site-b"));

    // Double-clicking opens no editor.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualRect(list->model()->index(0, 1)).center());
    QVERIFY(!list->viewport()->findChild<QLineEdit*>());
    QVERIFY(!(list->model()->index(0, 1).flags() & Qt::ItemIsEditable));
}

void AppTests::listShowsResultListChanges() {
    auto& results = m_window->resultList();
    QAbstractItemModel* model = control<QTableView>("超级列表框1")->model();
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);

    // A row shows as soon as it is appended, empty.
    QCOMPARE(results.appendRow(), 0);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->index(0, 2).data().toString(), QString());

    // A cell shows its text as soon as it is set; GBK cells show as Chinese.
    results.setCellText(0, 2, gbk("北京网站建设公司"));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model->index(0, 2));
    QCOMPARE(model->index(0, 2).data().toString(), name("北京网站建设公司"));

    // A cell that ends in half a double-byte character still shows, as converted.
    results.setCellText(0, 2, sh::text::Text("abc\xB1"));
    QVERIFY(model->index(0, 2).data().toString().startsWith(name("abc")));

    results.appendRow();
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);

    results.deleteAllRows();
    QCOMPARE(reset.size(), 1);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(results.appendRow(), 0);
    QCOMPARE(model->rowCount(), 1);
}

void AppTests::listHoldsTenThousandRows() {
    auto& results = m_window->resultList();
    for (int i = 0; i < 10'000; ++i) {
        const int row = results.appendRow();
        results.setCellText(row, 0, sh::text::Text(std::to_string(row)));
        results.setCellText(row, 1, sh::text::Text("site-" + std::to_string(row)));
        results.setCellText(row, 2, gbk("网站标题"));
    }
    auto* list = control<QTableView>("超级列表框1");
    QCOMPARE(list->model()->rowCount(), 10'000);
    // Uniform rows: the view finds any row by arithmetic.
    QCOMPARE(list->rowHeight(9'999), list->rowHeight(0));
    list->scrollToBottom();
    QApplication::processEvents();
    const QModelIndex last = list->indexAt(QPoint(5, list->viewport()->height() - 2));
    QCOMPARE(last.row(), 9'999);
    QCOMPARE(last.siblingAtColumn(1).data().toString(), name("site-9999"));
}

void AppTests::mainActionsShowTheirPageFirst_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QUrl>("page");
    QTest::newRow("search") << name("按钮1") << QUrl("qrc:/help/search.html");
    QTest::newRow("save addresses") << name("按钮2") << QUrl("qrc:/help/save.html");
    QTest::newRow("save with titles") << name("按钮3") << QUrl("qrc:/help/exclude.html");
    QTest::newRow("clear") << name("按钮4") << QUrl("qrc:/help/clear.html");
}

void AppTests::mainActionsShowTheirPageFirst() {
    QFETCH(QString, button);
    QFETCH(QUrl, page);
    auto* view = control<QWebEngineView>("超文本浏览框1");
    // The list is empty, so the saves have nothing else to do: the page changes anyway.
    QTest::mouseClick(m_window->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(view->url(), page);
    QVERIFY(m_opened.empty());
}

void AppTests::linkButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QUrl>("address");
    QTest::newRow("5") << name("按钮5") << QUrl(name("https://www.baidu.com/s?wd=网站收录查询"));
    QTest::newRow("6") << name("按钮6") << QUrl(name("https://www.baidu.com/s?wd=外链建设技巧"));
    QTest::newRow("7") << name("按钮7") << QUrl(name("https://www.baidu.com/s?wd=关键词排名优化"));
    QTest::newRow("8") << name("按钮8") << QUrl(name("https://www.baidu.com/s?wd=SiteHarvest"));
}

void AppTests::linkButtons() {
    QFETCH(QString, button);
    QFETCH(QUrl, address);
    QTest::mouseClick(m_window->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(m_opened.size(), size_t(1));
    QCOMPARE(m_opened.front(), address);
    // Links leave the panel alone.
    QVERIFY(control<QWebEngineView>("超文本浏览框1")->url().isEmpty());
}

void AppTests::homePageButtonOpensBundledHelp() {
    QTest::mouseClick(control<QPushButton>("按钮9"), Qt::LeftButton);
    QCOMPARE(m_opened.size(), size_t(1));
    QVERIFY(m_opened.front().isLocalFile());
    QFile page(m_opened.front().toLocalFile());
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QVERIFY(html.contains(name("SiteHarvest 使用帮助")));
    QVERIFY(html.contains(name("排除网址.txt")));
}

void AppTests::editBoxContent_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii") << name("50");
    QTest::newRow("chinese") << name("北京 公司|招聘|");
    QTest::newRow("beyond QLineEdit's default limit") << QString(40'000, QChar('k'));
}

void AppTests::editBoxContent() {
    QFETCH(QString, text);
    const sh::text::Text asGbk = sh::app::toText(text);
    m_window->setEditText(EditBox::编辑框3, asGbk);
    QCOMPARE(control<QLineEdit>("编辑框3")->text(), text);
    QCOMPARE(m_window->editText(EditBox::编辑框3), asGbk);
}

void AppTests::appendTextGoesToTheEndAndCannotBeUndone() {
    auto* line = control<QLineEdit>("编辑框2");
    m_window->setEditText(EditBox::编辑框2, {});
    line->setFocus();
    QTest::keyClicks(line, "ab");
    line->setCursorPosition(0);
    m_window->appendText(EditBox::编辑框2, gbk("北京|"));
    const QString tail = QString(200, QChar('x')) + QChar('|');  // wider than the box
    m_window->appendText(EditBox::编辑框2, sh::app::toText(tail));
    const QString expected = name("ab北京|") + tail;
    QCOMPARE(line->text(), expected);
    QCOMPARE(line->cursorPosition(), expected.size());
    line->undo();
    QCOMPARE(line->text(), expected);
}

void AppTests::disabledButtonIgnoresClicks() {
    auto* view = control<QWebEngineView>("超文本浏览框1");
    auto* save = control<QPushButton>("按钮2");
    m_window->setButtonDisabled(Button::按钮2, true);
    QVERIFY(!save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(view->url().isEmpty());
    m_window->setButtonDisabled(Button::按钮2, false);
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(view->url(), QUrl("qrc:/help/save.html"));

    m_window->setButtonText(Button::按钮1, "3/50");
    QCOMPARE(control<QPushButton>("按钮1")->text(), name("3/50"));
}

void AppTests::messageBoxes_data() {
    QTest::addColumn<bool>("warning");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::newRow("information") << false << QMessageBox::NoIcon;
    QTest::newRow("warning") << true << QMessageBox::Warning;
}

void AppTests::messageBoxes() {
    QFETCH(bool, warning);
    QFETCH(QMessageBox::Icon, icon);
    QString text, caption;
    std::optional<QMessageBox::Icon> shownIcon;
    int buttons = 0;
    bool ownerless = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        text = box->text();
        caption = box->windowTitle();
        shownIcon = box->icon();
        buttons = int(box->buttons().size());
        ownerless = box->parentWidget() == nullptr;
        box->accept();
    });
    poll.start(10);
    if (warning)
        m_window->warningBox(gbk("保存失败"), gbk("警告："));
    else
        m_window->messageBox(gbk("保存成功"), gbk("信息："));
    QCOMPARE(text, warning ? name("保存失败") : name("保存成功"));
    QCOMPARE(caption, warning ? name("警告：") : name("信息："));
    QCOMPARE(shownIcon, icon);
    QCOMPARE(buttons, 1);
    QVERIFY(ownerless);
}

void AppTests::pumpWait_data() {
    QTest::addColumn<int>("notifyAfterMs");  // -1: the worker never ends
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<bool>("done");
    QTest::addColumn<int>("atLeastMs");
    QTest::newRow("worker ends first") << 100 << 30'000 << true << 50;
    QTest::newRow("worker already done") << 0 << 30'000 << true << 0;
    QTest::newRow("limit passes first") << -1 << 300 << false << 250;
}

void AppTests::pumpWait() {
    QFETCH(int, notifyAfterMs);
    QFETCH(int, limitMs);
    QFETCH(bool, done);
    QFETCH(int, atLeastMs);
    sh::WorkSignal signal;
    std::thread worker;
    if (notifyAfterMs == 0)
        signal.notify();
    else if (notifyAfterMs > 0)
        worker = std::thread([&signal, notifyAfterMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(notifyAfterMs));
            signal.notify();
        });
    QElapsedTimer clock;
    clock.start();
    sh::currentPump().waitFor(signal, std::chrono::milliseconds(limitMs));
    const qint64 elapsed = clock.elapsed();
    if (worker.joinable())
        worker.join();
    QCOMPARE(signal.isDone(), done);
    QVERIFY2(elapsed >= atLeastMs, QByteArray::number(elapsed));
    QVERIFY2(elapsed < 10'000, QByteArray::number(elapsed));  // never the whole 30 s
}

void AppTests::pumpKeepsTimersAndClicksAliveDuringWait() {
    auto* view = control<QWebEngineView>("超文本浏览框1");
    sh::WorkSignal slow;
    std::thread worker([&slow] {
        std::this_thread::sleep_for(1200ms);
        slow.notify();
    });
    std::vector<std::string> events;
    bool waiting = true;
    int ticks = 0;

    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    // A click during the wait runs its handler at once, nested.
    QTimer::singleShot(200, [&] {
        QTest::mouseClick(control<QPushButton>("按钮4"), Qt::LeftButton);
        events.push_back(waiting && view->url() == QUrl("qrc:/help/clear.html") ? "clear ran"
                                                                                : "clear late");
    });
    // A nested handler that waits itself runs to its end before the outer wait goes on.
    QTimer::singleShot(300, [&] {
        sh::WorkSignal never;
        sh::currentPump().waitFor(never, 200ms);
        events.push_back("inner wait ended");
    });
    sh::currentPump().waitFor(slow, 30s);
    waiting = false;
    events.push_back("outer wait ended");
    worker.join();

    QVERIFY(slow.isDone());
    QVERIFY2(ticks >= 10, QByteArray::number(ticks));
    const std::vector<std::string> expected = {"clear ran", "inner wait ended", "outer wait ended"};
    QCOMPARE(events, expected);
}

void AppTests::closingEndsTheProgram_data() {
    QTest::addColumn<bool>("duringWait");
    QTest::newRow("idle") << false;
    QTest::newRow("while a handler waits") << true;
}

void AppTests::closingEndsTheProgram() {
    QFETCH(bool, duringWait);
    std::vector<std::string> events;
    if (duringWait)
        QTimer::singleShot(0, [&] {
            sh::WorkSignal never;
            sh::currentPump().waitFor(never, 60s);
            events.push_back(sh::currentPump().isClosing() ? "wait ended by close" : "wait ended");
            // Later waits of the unwinding handler give up at once.
            QElapsedTimer clock;
            clock.start();
            sh::currentPump().waitFor(never, 60s);
            events.push_back(clock.elapsed() < 1000 ? "second wait at once" : "second wait slow");
        });
    QTimer::singleShot(300, m_window.get(), &QWidget::close);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY2(clock.elapsed() < 5'000, QByteArray::number(clock.elapsed()));
    if (duringWait) {
        const std::vector<std::string> expected = {"wait ended by close", "second wait at once"};
        QCOMPARE(events, expected);
    }
    // The window outlives the loop, and nothing new starts once it has closed.
    QVERIFY(!m_window->isVisible());
    control<QPushButton>("按钮1")->click();
    QVERIFY(control<QWebEngineView>("超文本浏览框1")->url().isEmpty());
}

void AppTests::destroyingTheNativeWindowEndsTheProgram_data() {
    QTest::addColumn<bool>("duringWait");
    QTest::newRow("idle") << false;
    QTest::newRow("while a handler waits") << true;
}

// Another X client destroys the window outright ("xdotool windowclose"): no close event
// comes, only the X server's DestroyNotify, here handed over as the xcb platform would.
void AppTests::destroyingTheNativeWindowEndsTheProgram() {
    QFETCH(bool, duringWait);
    std::vector<std::string> events;
    if (duringWait)
        QTimer::singleShot(0, [&] {
            sh::WorkSignal never;
            sh::currentPump().waitFor(never, 60s);
            events.push_back(sh::currentPump().isClosing() ? "wait ended" : "wait timed out");
        });
    const WId id = m_window->internalWinId();
    QVERIFY(id != 0);
    QTimer::singleShot(300, [&] {
        // Another window's end changes nothing.
        xcb_destroy_notify_event_t other{};
        other.response_type = XCB_DESTROY_NOTIFY;
        other.event = other.window = static_cast<xcb_window_t>(id + 1);
        qintptr result = 0;
        QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &other,
                                                                &result);
        QTimer::singleShot(100, [&] {
            xcb_destroy_notify_event_t destroyed{};
            destroyed.response_type = XCB_DESTROY_NOTIFY;
            destroyed.event = destroyed.window = static_cast<xcb_window_t>(id);
            qintptr ignored = 0;
            QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t",
                                                                    &destroyed, &ignored);
        });
    });
    // Should the program not end, this ends the test instead of hanging it.
    QTimer fallback;
    fallback.setSingleShot(true);
    connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    fallback.start(10'000);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY2(clock.elapsed() > 350 && clock.elapsed() < 5'000, QByteArray::number(clock.elapsed()));
    if (duringWait) {
        const std::vector<std::string> expected = {"wait ended"};
        QCOMPARE(events, expected);
    }
    // Nothing new starts afterwards.
    control<QPushButton>("按钮1")->click();
    QVERIFY(control<QWebEngineView>("超文本浏览框1")->url().isEmpty());
}

int main(int argc, char** argv) {
    sh::app::prepareWebEngine();
    QApplication app(argc, argv);
    AppTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "app_tests.moc"
