#pragma once
// The virtual-time event loop: its clock jumps from event to event.
// doEvents() runs everything due at the earliest pending time and moves
// the clock there, so a 22.5 s give-up runs in milliseconds with exact
// virtual durations.

#include "platform/event_loop.h"

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>

namespace tarvo::platform {

class VirtualEventLoop;

// Thrown by doEvents() when nothing is scheduled at all, i.e. the caller
// would wait forever. A test that hits it has a real hang in the code.
class NothingScheduled : public std::runtime_error {
public:
    NothingScheduled() : std::runtime_error("doEvents() with no pending event: the wait would never end") {}
};

class VirtualTimer final : public Timer {
public:
    explicit VirtualTimer(VirtualEventLoop& loop) : loop_(loop) {}
    ~VirtualTimer() override;
    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    // Number of ticks delivered so far.
    int ticks() const { return ticks_; }

private:
    void arm();
    void disarm();
    VirtualEventLoop& loop_;
    int interval_ = 0;
    bool enabled_ = false;
    std::uint64_t pending_ = 0;
    int ticks_ = 0;
};

class VirtualEventLoop : public EventLoop {
public:
    void doEvents() override;
    void processPendingEvents() override;
    std::unique_ptr<Timer> createTimer() override;
    std::int64_t nowMs() const override { return now_; }

    using EventId = std::uint64_t;
    EventId scheduleAt(std::int64_t atMs, std::function<void()> fn);
    EventId scheduleIn(std::int64_t delayMs, std::function<void()> fn) { return scheduleAt(now_ + delayMs, std::move(fn)); }
    void cancel(EventId id);
    bool hasPending() const { return !events_.empty(); }
    bool isPending(EventId id) const { return eventTimes_.count(id) != 0; }
    // Runs every event due up to atMs, then sets the clock to atMs.
    void runUntil(std::int64_t atMs);
    // Runs events until none is left or the clock would pass limitMs.
    void runUntilIdle(std::int64_t limitMs);
    int pumps() const { return pumps_; }

    // Called at the start of every doEvents(), before events run: lets a
    // test act "during a wait" (close the window, for example).
    std::function<void()> onPump;

private:
    void runDue();

    std::int64_t now_ = 0;
    std::uint64_t seq_ = 0;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> events_;
    std::map<std::uint64_t, std::int64_t> eventTimes_;
    int pumps_ = 0;
};

}  // namespace tarvo::platform
