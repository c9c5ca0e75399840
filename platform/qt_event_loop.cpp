#include "platform/qt_event_loop.h"

#include "platform/qt_timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

namespace tarvo::platform {

namespace {
// A wait always wakes at least this often, even if nothing else happens,
// so that no loop can block forever on a silent event queue.
constexpr int kHeartbeatMs = 250;

QElapsedTimer& monotonic()
{
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t;
}
}  // namespace

QtEventLoop::QtEventLoop()
{
    monotonic();
    heartbeat_.setInterval(kHeartbeatMs);
    heartbeat_.start();
}

void QtEventLoop::doEvents()
{
    // Handles what is pending; with nothing pending, sleeps until the next
    // event (a timer, the socket, the operator) instead of spinning.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtEventLoop::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::unique_ptr<Timer> QtEventLoop::createTimer()
{
    return std::make_unique<QtTimer>();
}

std::int64_t QtEventLoop::nowMs() const
{
    return monotonic().elapsed();
}

}  // namespace tarvo::platform
