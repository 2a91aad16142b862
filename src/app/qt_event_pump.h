#pragma once

// The window thread's EventPump: waits run a nested event loop, so the window stays
// usable while a request is outstanding and the handlers of its events run nested inside
// the waiting one, each to its end.

#include <chrono>
#include <vector>

#include <QObject>

#include "text/event_pump.h"

class QEventLoop;

namespace sh::app {

class QtEventPump final : public QObject, public sh::EventPump {
    Q_OBJECT
public:
    using QObject::QObject;

    void processPendingEvents() override;
    // Returns when the signal is set, limit has passed, or the pump is closing;
    // at once when it is closing already.
    void waitFor(sh::WorkSignal& signal, std::chrono::milliseconds limit) override;
    bool isClosing() const override { return m_closing; }

public slots:
    // The window has been closed: every wait in progress ends now and later ones return
    // at once, so the waiting handlers unwind and the program can end.
    void requestClose();

private:
    bool m_closing = false;
    std::vector<QEventLoop*> m_waits;  // innermost last
};

}  // namespace sh::app
