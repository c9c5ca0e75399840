#pragma once
// The clock, the timers and the event pump: everything that waits.
//
// QtEventLoop runs the real program's; the tests' double moves a virtual
// clock from event to event, so that a 22.5 s give-up runs in milliseconds
// with exact virtual durations.

#include <cstdint>
#include <functional>
#include <memory>

namespace tarvo::platform {

// A repeating timer: the first tick comes one interval
// after it is enabled, then every interval while it stays enabled. Disabling
// and re-enabling restarts the interval.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    std::function<void()> onTick;
};

class EventLoop {
public:
    virtual ~EventLoop() = default;

    // Processes pending events; when none are pending, blocks until the next
    // one has been processed (the Qt implementation) or jumps the virtual
    // clock to it (the test double). Never returns without having given
    // socket and timer events their turn.
    virtual void doEvents() = 0;
    // Processes the events already pending and returns at once.
    virtual void processPendingEvents() = 0;

    virtual std::unique_ptr<Timer> createTimer() = 0;

    // Monotonic milliseconds; virtual in tests.
    virtual std::int64_t nowMs() const = 0;
};

// A wait: starts timer for ms, then pumps events with pump until done()
// holds after a pump (true), or the timer has ticked (false). However it
// ends, even by an exception from pump, the timer is left disabled and
// without a tick handler.
bool pumpUntil(Timer& timer, int ms, const std::function<void()>& pump, const std::function<bool()>& done = {});

}  // namespace tarvo::platform
