#include "text/event_pump.h"

namespace sh {

namespace {
thread_local EventPump* t_pump = nullptr;
}

void WorkSignal::notify() {
    std::function<void()> hook;
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_cv.notify_all();
        // The hook runs under the lock so that clearing it (setWakeHook({})) waits for a
        // running call to finish before the caller tears down what it captured.
        if (m_hook) m_hook();
    }
}

bool WorkSignal::isDone() const {
    std::lock_guard lock(m_mutex);
    return m_done;
}

bool WorkSignal::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, limit, [this] { return m_done; });
    return m_done;
}

void WorkSignal::setWakeHook(std::function<void()> hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
    if (m_done && m_hook) m_hook();
}

EventPump& currentPump() {
    static thread_local HeadlessPump headless;
    return t_pump ? *t_pump : headless;
}

ScopedPump::ScopedPump(EventPump& pump) : m_previous(t_pump) { t_pump = &pump; }
ScopedPump::~ScopedPump() { t_pump = m_previous; }

}  // namespace sh
