#include "app/main_window.h"

#include <xcb/xcb.h>

#include <limits>

#include <QAbstractNativeEventFilter>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTableView>
#include <QUrl>
#include <QWebEngineView>

#include "app/qt_text.h"
#include "app/result_model.h"
#ifndef Q_MOC_RUN
#include "export/list_file.h"
#include "harvest/harvest_run.h"
#include "harvest/suggestions.h"
#endif
#include "text/event_pump.h"

namespace sh::app {

using sh::harvest::Button;
using sh::harvest::EditBox;

namespace {

const QString kCaption = QStringLiteral("SiteHarvest — 输入关键词，一键收集搜索结果中的网站地址");
const QString kSuggestionLineText = QStringLiteral(
    "SiteHarvest — 输入关键词，一键收集搜索结果中的网站地址。使用帮助：点右上角“官方网站”。");
const QString kNoticeText =
    QStringLiteral("感谢使用 SiteHarvest！问题与建议：点“官方网站”查看帮助。");

// The bottom bar's link buttons: Baidu searches on webmaster topics and on the product.
struct Link {
    const char* caption;
    const char* address;
};
constexpr Link kLinks[] = {
    {"网站收录查询", "https://www.baidu.com/s?wd=网站收录查询"},
    {"外链建设技巧", "https://www.baidu.com/s?wd=外链建设技巧"},
    {"关键词排名优化", "https://www.baidu.com/s?wd=关键词排名优化"},
    {"SiteHarvest", "https://www.baidu.com/s?wd=SiteHarvest"},
};

constexpr QColor kBlack(0, 0, 0);
constexpr QColor kWhite(255, 255, 255);

QString formName(const char* utf8) {
    return QString::fromUtf8(utf8);
}

template <class W>
W* place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(formName(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QGroupBox* makeGroupBox(QWidget* parent, const char* name, int l, int t, int w, int h) {
    auto* box = place(new QGroupBox(parent), name, l, t, w, h);
    box->setAutoFillBackground(true);  // a plain frame on the dialog background
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, int l, int t, int w, int h,
                  const QString& text, const QColor& colour) {
    auto* label = place(new QLabel(text, parent), name, l, t, w, h);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(false);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QLineEdit* makeEditBox(QWidget* parent, const char* name, int l, int t, int w, int h,
                       const QString& text, const QColor& colour = kBlack) {
    auto* edit = place(new QLineEdit(parent), name, l, t, w, h);
    // QLineEdit stops at 32767 characters by default; the boxes have no limit of their own.
    edit->setMaxLength(std::numeric_limits<int>::max());
    edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Text, colour);
        palette.setColor(group, QPalette::Base, kWhite);
    }
    edit->setPalette(palette);
    edit->setText(text);
    return edit;
}

QPushButton* makeButton(QWidget* parent, const char* name, int l, int t, int w, int h,
                        const QString& caption) {
    auto* button = place(new QPushButton(caption, parent), name, l, t, w, h);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

// Watches the X server's events, as Qt's xcb platform hands them over, for the
// destruction of the window's own native window. Qt itself does not react to that.
class MainWindow::DestroyWatch final : public QAbstractNativeEventFilter {
public:
    explicit DestroyWatch(MainWindow& window) : m_window(window) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~DestroyWatch() override {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
    }
    DestroyWatch(const DestroyWatch&) = delete;
    DestroyWatch& operator=(const DestroyWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY)
            return false;
        const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
        // internalWinId(), unlike winId(), never creates a native window.
        const WId own = m_window.internalWinId();
        if (own != 0 && destroyed->window == own)
            m_window.nativeWindowDestroyed();
        return false;
    }

private:
    MainWindow& m_window;
};

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QStringLiteral(":/siteharvest.png")));
    // Fixed frame: caption, system menu, minimise and close; no maximise, no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    // Nothing is connected until every control holds its initial text, so building the
    // window runs no handler and starts no request.
    buildControls();
    wireEvents();
    m_destroyWatch = std::make_unique<DestroyWatch>(*this);
}

MainWindow::~MainWindow() {
    // The model observes m_results, which dies before QWidget deletes the children.
    超级列表框1->setModel(nullptr);
    delete m_model;
}

void MainWindow::buildControls() {
    // Top bar.
    分组框1 = makeGroupBox(this, "分组框1", 9, 0, 831, 56);
    标签1 = makeLabel(分组框1, "标签1", 10, 19, 77, 24, QStringLiteral("搜索关键词："), kBlack);
    编辑框1 = makeEditBox(分组框1, "编辑框1", 82, 19, 213, 20, QStringLiteral("北京公司"));
    标签2 = makeLabel(分组框1, "标签2", 298, 11, 48, 37, QStringLiteral("搜索页数"), kBlack);
    编辑框3 = makeEditBox(分组框1, "编辑框3", 346, 19, 45, 20, QStringLiteral("50"));
    按钮1 = makeButton(分组框1, "按钮1", 394, 19, 64, 20, QStringLiteral("搜索"));
    按钮2 = makeButton(分组框1, "按钮2", 463, 19, 64, 20, QStringLiteral("网址保存"));
    按钮3 = makeButton(分组框1, "按钮3", 535, 16, 96, 24, QStringLiteral("网址加标题保存"));
    按钮4 = makeButton(分组框1, "按钮4", 639, 16, 56, 24, QStringLiteral("采集清空"));
    按钮9 = makeButton(分组框1, "按钮9", 703, 16, 112, 24, QStringLiteral("官方网站"));

    // Result list: a report view over the core's list.
    超级列表框1 = place(new QTableView(this), "超级列表框1", 8, 64, 624, 400);
    m_model = new ResultModel(m_results, this);
    超级列表框1->setModel(m_model);
    超级列表框1->setShowGrid(true);
    超级列表框1->setSelectionBehavior(QAbstractItemView::SelectRows);
    超级列表框1->setSelectionMode(QAbstractItemView::SingleSelection);
    超级列表框1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    超级列表框1->setSortingEnabled(false);
    超级列表框1->setWordWrap(false);
    超级列表框1->setTabKeyNavigation(false);  // Tab leaves the list, as in a list view
    超级列表框1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    {
        QPalette palette = 超级列表框1->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Text, kBlack);
            palette.setColor(group, QPalette::Base, kWhite);
        }
        // The selection is not shown while the list lacks the focus.
        palette.setColor(QPalette::Inactive, QPalette::Highlight, kWhite);
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText, kBlack);
        超级列表框1->setPalette(palette);
    }
    QHeaderView* header = 超级列表框1->horizontalHeader();
    header->setSectionsClickable(true);  // a click presses the header and does nothing
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(0, 50);
    header->resizeSection(1, 300);
    header->resizeSection(2, 270);
    // Uniform rows: the view then finds any row by arithmetic, so a list of ten thousand
    // rows scrolls as smoothly as a short one.
    QHeaderView* rows = 超级列表框1->verticalHeader();
    rows->hide();
    const int rowHeight = fontMetrics().height() + 4;
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    // Browser panel: the view is larger than its frame, which reaches past the window's
    // right edge; both are clipped, so the panel shows the page's top-left part and the
    // view's scroll bars are never seen.
    分组框2 = makeGroupBox(this, "分组框2", 632, 56, 264, 408);
    超文本浏览框1 = place(new QWebEngineView(分组框2), "超文本浏览框1", 0, 8, 328, 3500);
    超文本浏览框1->setFocusPolicy(Qt::StrongFocus);

    // Suggestion line.
    编辑框2 = makeEditBox(this, "编辑框2", 8, 472, 832, 24, kSuggestionLineText, QColor(0, 0, 255));
    编辑框2->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid black; }"));

    // Hidden holders of the pages that the main actions show first.
    编辑框4 = makeEditBox(this, "编辑框4", 8, 504, 208, 0, QStringLiteral("qrc:/help/search.html"));
    编辑框5 = makeEditBox(this, "编辑框5", 240, 504, 176, 0, QStringLiteral("qrc:/help/save.html"));
    编辑框6 =
        makeEditBox(this, "编辑框6", 432, 504, 176, 0, QStringLiteral("qrc:/help/exclude.html"));
    编辑框7 =
        makeEditBox(this, "编辑框7", 624, 504, 192, 0, QStringLiteral("qrc:/help/clear.html"));
    for (QLineEdit* holder : {编辑框4, 编辑框5, 编辑框6, 编辑框7}) holder->hide();

    // Bottom bar, above the holders.
    分组框3 = makeGroupBox(this, "分组框3", 0, 496, 840, 40);
    按钮5 = makeButton(分组框3, "按钮5", 8, 8, 96, 24, QString::fromUtf8(kLinks[0].caption));
    按钮6 = makeButton(分组框3, "按钮6", 112, 8, 96, 24, QString::fromUtf8(kLinks[1].caption));
    按钮7 = makeButton(分组框3, "按钮7", 216, 8, 128, 24, QString::fromUtf8(kLinks[2].caption));
    按钮8 = makeButton(分组框3, "按钮8", 352, 8, 120, 24, QString::fromUtf8(kLinks[3].caption));
    标签3 = makeLabel(分组框3, "标签3", 488, 8, 376, 24, kNoticeText, QColor(255, 0, 0));
}

void MainWindow::wireEvents() {
    connect(按钮1, &QPushButton::clicked, this, &MainWindow::onSearchClicked);
    connect(按钮2, &QPushButton::clicked, this, &MainWindow::onSaveUrlsClicked);
    connect(按钮3, &QPushButton::clicked, this, &MainWindow::onSaveUrlsAndTitlesClicked);
    connect(按钮4, &QPushButton::clicked, this, &MainWindow::onClearClicked);
    // Every change of the content, typed or set by a handler.
    connect(编辑框1, &QLineEdit::textChanged, this, &MainWindow::onKeywordChanged);

    QPushButton* links[] = {按钮5, 按钮6, 按钮7, 按钮8};
    for (int i = 0; i < 4; ++i) {
        const char* address = kLinks[i].address;
        connect(links[i], &QPushButton::clicked, this, [this, address] {
            runHandler([address] { openInBrowser(QUrl(formName(address))); });
        });
    }
    connect(按钮9, &QPushButton::clicked, this, &MainWindow::onHomePageClicked);
}

template <class Handler>
void MainWindow::runHandler(Handler handler) {
    if (sh::currentPump().isClosing())
        return;
    handler();
}

void MainWindow::onSearchClicked() {
    runHandler([this] { sh::harvest::onSearchClicked(*this); });
}

void MainWindow::onKeywordChanged() {
    runHandler([this] { sh::harvest::onKeywordChanged(*this); });
}

void MainWindow::onSaveUrlsClicked() {
    runHandler([this] { sh::exporting::onSaveUrlsClicked(*this); });
}

void MainWindow::onSaveUrlsAndTitlesClicked() {
    runHandler([this] { sh::exporting::onSaveUrlsAndTitlesClicked(*this); });
}

void MainWindow::onClearClicked() {
    runHandler([this] { sh::exporting::onClearClicked(*this); });
}

void MainWindow::onHomePageClicked() {
    runHandler([] {
        const QString page = writeHelpPage();
        if (!page.isEmpty())
            openInBrowser(QUrl::fromLocalFile(page));
    });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

void MainWindow::nativeWindowDestroyed() {
    // The waits in progress end and no handler starts any more, as after a close. The
    // widget cannot be closed (hiding it would talk to a window that is gone), so every
    // event loop is ended directly, nested ones included.
    emit closing();
    QCoreApplication::exit(0);
}

void MainWindow::centreOnPrimaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // Whole pixels, as the outer frame is placed; move() places the frame's corner.
    move(area.x() + (area.width() - kOuterWidth) / 2,
         area.y() + (area.height() - kOuterHeight) / 2);
}

// The enumerators follow the form names in order: 编辑框1 is 0, 按钮1 is 0.
QLineEdit* MainWindow::editBox(EditBox box) const {
    QLineEdit* const boxes[] = {编辑框1, 编辑框2, 编辑框3, 编辑框4, 编辑框5, 编辑框6, 编辑框7};
    return boxes[static_cast<int>(box)];
}

QPushButton* MainWindow::button(Button which) const {
    QPushButton* const buttons[] = {按钮1, 按钮2, 按钮3, 按钮4, 按钮5, 按钮6, 按钮7, 按钮8, 按钮9};
    return buttons[static_cast<int>(which)];
}

Text MainWindow::editText(EditBox box) const {
    return toText(editBox(box)->text());
}

void MainWindow::setEditText(EditBox box, const Text& text) {
    editBox(box)->setText(toQString(text));
}

void MainWindow::appendText(EditBox box, const Text& text) {
    QLineEdit* edit = editBox(box);
    // setText leaves the caret after the last character, scrolled into view, and clears
    // the undo history, so the user's undo cannot take the insertion back.
    edit->setText(edit->text() + toQString(text));
    edit->end(false);
}

void MainWindow::setButtonDisabled(Button which, bool disabled) {
    button(which)->setEnabled(!disabled);
}

void MainWindow::setButtonText(Button which, const Text& text) {
    button(which)->setText(toQString(text));
}

void MainWindow::setBrowserAddress(const Text& address) {
    超文本浏览框1->setUrl(QUrl(toQString(address)));
}

void MainWindow::messageBox(const Text& text, const Text& caption) {
    // After the window has closed, a box would only keep the program alive.
    if (sh::currentPump().isClosing())
        return;
    QMessageBox box(QMessageBox::NoIcon, toQString(caption), toQString(text), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void MainWindow::warningBox(const Text& text, const Text& caption) {
    if (sh::currentPump().isClosing())
        return;
    QMessageBox box(QMessageBox::Warning, toQString(caption), toQString(text), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void openInBrowser(const Text& address) {
    openInBrowser(QUrl(toQString(address)));
}

void openInBrowser(const QUrl& address) {
    QDesktopServices::openUrl(address);
}

QString writeHelpPage() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir))
        dir = QDir::tempPath();
    QFile source(QStringLiteral(":/help/index.html"));
    if (!source.open(QIODevice::ReadOnly))
        return {};
    const QString name = QDir(dir).filePath(QStringLiteral("SiteHarvest-help.html"));
    QSaveFile page(name);
    if (!page.open(QIODevice::WriteOnly) || page.write(source.readAll()) < 0 || !page.commit())
        return {};
    return name;
}

}  // namespace sh::app
