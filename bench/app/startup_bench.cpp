// Start-up time, peak memory and list cost of the real program, measured from inside it:
// the same start-up path as main(), with a hook that runs once the window is shown.

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QWebEngineView>

#include "app/main_window.h"
#include "bench/app/process_memory.h"
#include "app/startup.h"
#include "harvest/window.h"

namespace {

// Milliseconds since this process was started, from the kernel's start time (10 ms grain).
double msSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i) rest >> field;
    unsigned long long startTicks = 0;
    rest >> startTicks;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1e3 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1e3 / double(sysconf(_SC_CLK_TCK));
}

void printMemory(const char* when) {
    const auto memory = sh::bench::processMemory();
    std::printf("peak memory %-28s window process %6.1f MiB, WebEngine helpers %6.1f MiB\n", when,
                memory.peakMiB, memory.helpersPeakMiB);
}

void measure(sh::app::MainWindow& window) {
    window.repaint();  // the first frame is on the screen
    std::printf("start-up: process start -> window shown  %7.1f ms\n", msSinceProcessStart());
    printMemory("at window shown:");

    // The first main action loads a page in the panel.
    QElapsedTimer clock;
    clock.start();
    QEventLoop loaded;
    QObject::connect(window.超文本浏览框1, &QWebEngineView::loadFinished, &loaded,
                     &QEventLoop::quit);
    QTimer::singleShot(20'000, &loaded, &QEventLoop::quit);
    sh::harvest::showPromotionPage(window, sh::harvest::EditBox::编辑框4);
    loaded.exec();
    std::printf("first panel page loaded                   %7.1f ms\n", double(clock.elapsed()));
    printMemory("after first panel page:");

    auto& results = window.resultList();
    clock.restart();
    for (int i = 0; i < 10'000; ++i) {
        const int row = results.appendRow();
        results.setCellText(row, 0, sh::text::Text(std::to_string(row)));
        results.setCellText(row, 1, sh::text::Text("site-" + std::to_string(row)));
        results.setCellText(row, 2, "\xB1\xB1\xBE\xA9\xB9\xAB\xCB\xBE");  // GBK 北京公司
    }
    QApplication::processEvents();
    std::printf("10,000 rows appended and shown            %7.1f ms\n", double(clock.elapsed()));

    // Page through the whole list, painting each page as the user would see it.
    QScrollBar* bar = window.超级列表框1->verticalScrollBar();
    const int step = bar->pageStep();
    int pages = 0;
    clock.restart();
    for (int value = 0; value <= bar->maximum(); value += step, ++pages) {
        bar->setValue(value);
        window.超级列表框1->viewport()->repaint();
    }
    std::printf("scrolling: %d pages painted, %.2f ms per page\n", pages,
                double(clock.elapsed()) / pages);
    printMemory("with 10,000 rows:");
    window.close();
}

}  // namespace

int main(int argc, char** argv) {
    return sh::app::runProgram(argc, argv, measure);
}
