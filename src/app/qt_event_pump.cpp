#include "app/qt_event_pump.h"

#include <algorithm>
#include <limits>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace sh::app {

void QtEventPump::processPendingEvents() {
    // Once the window is closed no handler may start any more.
    if (m_closing)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitFor(sh::WorkSignal& signal, std::chrono::milliseconds limit) {
    if (m_closing || signal.isDone() || limit.count() <= 0)
        return;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(
        std::min<std::chrono::milliseconds::rep>(limit.count(), std::numeric_limits<int>::max())));

    // The hook runs on the worker's thread; a queued call is the thread-safe way to reach
    // the loop. It runs at once (still queued) if the work ended meanwhile.
    signal.setWakeHook(
        [&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });

    m_waits.push_back(&loop);
    loop.exec(QEventLoop::AllEvents);
    m_waits.erase(std::find(m_waits.begin(), m_waits.end(), &loop));

    // Clearing waits for a hook that is running right now; a quit it already posted dies
    // with the loop.
    signal.setWakeHook({});
}

void QtEventPump::requestClose() {
    m_closing = true;
    for (QEventLoop* loop : m_waits) loop->quit();
}

}  // namespace sh::app
