#include "virtual_event_loop.h"

#include <algorithm>

namespace tarvo::platform {

VirtualTimer::~VirtualTimer()
{
    disarm();
}

void VirtualTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_) {
        // A new interval restarts an enabled timer.
        disarm();
        arm();
    }
}

void VirtualTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled)
        arm();
    else
        disarm();
}

void VirtualTimer::arm()
{
    if (interval_ <= 0)
        return;  // an interval of 0 never ticks
    pending_ = loop_.scheduleIn(interval_, [this] {
        pending_ = 0;
        ++ticks_;
        arm();  // periodic: the next tick is one interval after this one
        if (onTick)
            onTick();
    });
}

void VirtualTimer::disarm()
{
    if (pending_) {
        loop_.cancel(pending_);
        pending_ = 0;
    }
}

VirtualEventLoop::EventId VirtualEventLoop::scheduleAt(std::int64_t atMs, std::function<void()> fn)
{
    const auto id = ++seq_;
    const auto at = std::max(atMs, now_);
    events_.emplace(std::make_pair(at, id), std::move(fn));
    eventTimes_.emplace(id, at);
    return id;
}

void VirtualEventLoop::cancel(EventId id)
{
    auto it = eventTimes_.find(id);
    if (it == eventTimes_.end())
        return;
    events_.erase({it->second, id});
    eventTimes_.erase(it);
}

void VirtualEventLoop::doEvents()
{
    ++pumps_;
    if (onPump)
        onPump();
    if (events_.empty())
        throw NothingScheduled();
    // Jump to the earliest pending time and run what is due then.
    now_ = std::max(now_, events_.begin()->first.first);
    runDue();
}

void VirtualEventLoop::processPendingEvents()
{
    ++pumps_;
    if (onPump)
        onPump();
    runDue();
}

void VirtualEventLoop::runDue()
{
    // Everything due now that was scheduled before this pump began, in
    // scheduling order; whatever those events schedule for "now" waits for
    // the next pump.
    const auto limit = seq_;
    for (;;) {
        auto it = events_.begin();
        if (it == events_.end() || it->first.first > now_ || it->first.second > limit)
            break;
        auto fn = std::move(it->second);
        eventTimes_.erase(it->first.second);
        events_.erase(it);
        fn();
    }
}

void VirtualEventLoop::runUntil(std::int64_t atMs)
{
    while (!events_.empty() && events_.begin()->first.first <= atMs)
        doEvents();
    now_ = std::max(now_, atMs);
}

void VirtualEventLoop::runUntilIdle(std::int64_t limitMs)
{
    while (!events_.empty() && events_.begin()->first.first <= limitMs)
        doEvents();
}

std::unique_ptr<Timer> VirtualEventLoop::createTimer()
{
    return std::make_unique<VirtualTimer>(*this);
}

}  // namespace tarvo::platform
