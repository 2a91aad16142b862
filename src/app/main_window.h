#pragma once

// The program's one window: every feature is a control on it, placed at fixed pixel
// positions. It implements the core's Window interface; the handlers of the main actions
// live in the core and are called from the thin slots below.

#include <memory>

#include <QWidget>

// moc cannot read identifiers outside ASCII; it needs none of what follows.
#ifndef Q_MOC_RUN
#include "harvest/result_list.h"
#include "harvest/window.h"
#endif

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QWebEngineView;

class QUrl;

namespace sh::app {

using sh::text::Text;

class ResultModel;

// The outer frame of the window as designed, and the client area inside it: the frame of
// a fixed window with a one-line caption (3 px borders, a 19 px caption bar). On Linux the
// window manager draws its own frame around the client area, so the client size is what
// the layout relies on.
inline constexpr int kOuterWidth = 849;
inline constexpr int kOuterHeight = 573;
inline constexpr int kClientWidth = 843;
inline constexpr int kClientHeight = 548;

class MainWindow final : public QWidget, public sh::harvest::Window {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Moves the window so that its outer frame is centred on the primary screen.
    void centreOnPrimaryScreen();

    // Window
    Text editText(sh::harvest::EditBox box) const override;
    void setEditText(sh::harvest::EditBox box, const Text& text) override;
    void appendText(sh::harvest::EditBox box, const Text& text) override;
    void setButtonDisabled(sh::harvest::Button button, bool disabled) override;
    void setButtonText(sh::harvest::Button button, const Text& text) override;
    void setBrowserAddress(const Text& address) override;
    void messageBox(const Text& text, const Text& caption) override;
    void warningBox(const Text& text, const Text& caption) override;
    sh::harvest::ResultList& resultList() override { return m_results; }

    QLineEdit* editBox(sh::harvest::EditBox box) const;
    QPushButton* button(sh::harvest::Button button) const;

    // Controls, by their form names. 编辑框4 to 编辑框7 are hidden holders of the pages
    // that the four main actions show first.
    QGroupBox* 分组框1;
    QLabel* 标签1;
    QLineEdit* 编辑框1;
    QLabel* 标签2;
    QLineEdit* 编辑框3;
    QPushButton* 按钮1;
    QPushButton* 按钮2;
    QPushButton* 按钮3;
    QPushButton* 按钮4;
    QPushButton* 按钮9;
    QTableView* 超级列表框1;
    QGroupBox* 分组框2;
    QWebEngineView* 超文本浏览框1;
    QLineEdit* 编辑框2;
    QLineEdit* 编辑框4;
    QLineEdit* 编辑框5;
    QLineEdit* 编辑框6;
    QLineEdit* 编辑框7;
    QGroupBox* 分组框3;
    QPushButton* 按钮5;
    QPushButton* 按钮6;
    QPushButton* 按钮7;
    QPushButton* 按钮8;
    QLabel* 标签3;

signals:
    // Emitted when the window closes, before it hides, or when another client has
    // destroyed its native window: waits in progress must end.
    void closing();

public slots:
    void onSearchClicked();
    void onKeywordChanged();
    void onSaveUrlsClicked();
    void onSaveUrlsAndTitlesClicked();
    void onClearClicked();
    // 按钮9: the bundled help, opened in the user's browser.
    void onHomePageClicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class DestroyWatch;

    void buildControls();
    void wireEvents();
    // Runs a handler unless the window has been closed; once it is closed, events still
    // queued must not start new work.
    template <class Handler>
    void runHandler(Handler handler);

    // Another X client (a task manager, "xdotool windowclose") can destroy the window's
    // native window outright, without a close event; the program ends then, as if the
    // window had been closed, instead of running on with no window.
    void nativeWindowDestroyed();

    sh::harvest::ResultList m_results;
    ResultModel* m_model = nullptr;
    std::unique_ptr<DestroyWatch> m_destroyWatch;
};

// Hands the address, unchecked, to the desktop's "open" action (the default browser).
// Nothing is reported when that fails.
void openInBrowser(const Text& address);
void openInBrowser(const QUrl& address);

// Writes the bundled help page to the user's cache directory and returns its file name;
// empty when it cannot be written.
QString writeHelpPage();

}  // namespace sh::app
