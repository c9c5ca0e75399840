#pragma once
// The event loop on Qt's: waits block on it instead of spinning, so a long
// wait costs almost no processor time while socket and timer events and
// the operator's input are still handled.

#include "platform/event_loop.h"

#include <QTimer>

namespace tarvo::platform {

class QtEventLoop : public EventLoop {
public:
    QtEventLoop();

    void doEvents() override;
    void processPendingEvents() override;
    std::unique_ptr<Timer> createTimer() override;
    std::int64_t nowMs() const override;

private:
    // Wakes every wait now and then, even on a silent event queue.
    QTimer heartbeat_;
};

}  // namespace tarvo::platform
