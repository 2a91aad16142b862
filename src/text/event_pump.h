#pragma once

// How a thread that waits for a worker keeps its own events flowing.
//
// The window thread installs a pump that dispatches the window's events (a nested
// event loop); every other thread, and the command line, gets the headless pump, which
// dispatches nothing and simply sleeps. Code that waits (webRequest) or that must let
// the window breathe (urlEncode) asks currentPump() rather than taking a parameter.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace sh {

// Set once by a worker when it ends; waited for by the thread that started it.
// Shared (through shared_ptr) by both, so an abandoned worker still signals into
// valid memory.
class WorkSignal {
public:
    // Worker side: marks the work done and wakes whoever waits.
    void notify();
    bool isDone() const;
    // Blocks until done or until limit has passed; returns isDone().
    bool waitFor(std::chrono::milliseconds limit);
    // Called (on the worker's thread) by notify(), or at once if already done.
    // Clear it with an empty function before what it captures goes away.
    void setWakeHook(std::function<void()> hook);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_done = false;
    std::function<void()> m_hook;
};

class EventPump {
public:
    virtual ~EventPump() = default;
    // Dispatches the events already waiting; never blocks.
    virtual void processPendingEvents() = 0;
    // Sleeps, dispatching events as they come where there are any, until the signal
    // is set, limit has passed since the call, or input arrived.
    virtual void waitFor(WorkSignal& signal, std::chrono::milliseconds limit) = 0;
    // True once the program is shutting down: waits give up at once and long
    // operations stop at their next step.
    virtual bool isClosing() const { return false; }
};

class HeadlessPump final : public EventPump {
public:
    void processPendingEvents() override {}
    void waitFor(WorkSignal& signal, std::chrono::milliseconds limit) override {
        signal.waitFor(limit);
    }
};

// The pump of the calling thread: the one installed by ScopedPump, else a headless one.
EventPump& currentPump();

// Installs a pump for the calling thread for the lifetime of this object.
class ScopedPump {
public:
    explicit ScopedPump(EventPump& pump);
    ~ScopedPump();
    ScopedPump(const ScopedPump&) = delete;
    ScopedPump& operator=(const ScopedPump&) = delete;

private:
    EventPump* m_previous;
};

}  // namespace sh
