// How long the real window takes to show a suggestion reply of many items on its line
// 编辑框2, against the loopback stand-in: the whole keyword handler (request, reply, the
// line filled) and, of that, the time spent inside the window's appendText calls, that
// is showing the items. Prints figures; asserts nothing.
//
//   QT_QPA_PLATFORM=offscreen build/bin/bench_suggestion_line [largest item count]
//
// The counts double from 1,000 up to the largest (default 16,000).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include "app/main_window.h"
#include "app/startup.h"
#include "harvest/suggestions.h"
#include "standin/standin_server.h"
#include "text/codepage.h"

namespace {

using Clock = std::chrono::steady_clock;
int g_largest = 16'000;
constexpr int kRuns = 3;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The real window, with the time spent in appendText summed up.
class TimingWindow final : public sh::harvest::Window {
public:
    explicit TimingWindow(sh::app::MainWindow& window) : m_window(window) {}
    double appendMs = 0;
    int appends = 0;

    sh::text::Text editText(sh::harvest::EditBox box) const override {
        return m_window.editText(box);
    }
    void setEditText(sh::harvest::EditBox box, const sh::text::Text& text) override {
        m_window.setEditText(box, text);
    }
    void appendText(sh::harvest::EditBox box, const sh::text::Text& text) override {
        const auto start = Clock::now();
        m_window.appendText(box, text);
        appendMs += msSince(start);
        ++appends;
    }
    void setButtonDisabled(sh::harvest::Button button, bool disabled) override {
        m_window.setButtonDisabled(button, disabled);
    }
    void setButtonText(sh::harvest::Button button, const sh::text::Text& text) override {
        m_window.setButtonText(button, text);
    }
    void setBrowserAddress(const sh::text::Text& address) override {
        m_window.setBrowserAddress(address);
    }
    void messageBox(const sh::text::Text& text, const sh::text::Text& caption) override {
        m_window.messageBox(text, caption);
    }
    void warningBox(const sh::text::Text& text, const sh::text::Text& caption) override {
        m_window.warningBox(text, caption);
    }
    sh::harvest::ResultList& resultList() override { return m_window.resultList(); }

private:
    sh::app::MainWindow& m_window;
};

void measure(sh::app::MainWindow& window) {
    sh::standin::StandinServer server;
    if (!server.start()) {
        std::puts("the stand-in could not start");
        window.close();
        return;
    }
    setenv("SITEHARVEST_SUGGEST_HOST", server.hostPort().c_str(), 1);
    {
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
    }

    std::printf("%8s %10s %8s %12s %12s\n", "items", "line chars", "appends", "handler ms",
                "showing ms");
    for (int count = 1000; count <= g_largest; count *= 2) {
        std::vector<std::string> items;
        for (int i = 0; i < count; ++i)
            items.push_back(sh::text::gbk("北京公司" + std::to_string(i)).bytes());
        server.setSuggestions(items);

        std::vector<double> handler, showing;
        int appends = 0;
        // Up to kRuns runs, the median counted; a slow (quadratic) line gets one.
        const auto budget = Clock::now() + std::chrono::seconds(10);
        for (int run = 0; run < kRuns && Clock::now() < budget; ++run) {
            TimingWindow timed(window);
            const auto start = Clock::now();
            sh::harvest::onKeywordChanged(timed);
            handler.push_back(msSince(start));
            showing.push_back(timed.appendMs);
            appends = timed.appends;
        }
        std::printf("%8d %10lld %8d %12.1f %12.1f\n", count,
                    static_cast<long long>(window.编辑框2->text().size()), appends, median(handler),
                    median(showing));
        std::fflush(stdout);
    }
    window.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1)
        g_largest = std::max(1000, std::atoi(argv[1]));
    return sh::app::runProgram(1, argv, measure);
}
