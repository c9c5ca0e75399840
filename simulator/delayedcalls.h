#pragma once
// One-shot calls on the platform's timers. Everything the controller does
// "later" goes through here, so that virtual time drives it in tests and
// destroying the owner cancels whatever is still pending.

#include "platform/event_loop.h"

#include <functional>
#include <memory>
#include <vector>

namespace tarvo::simulator {

class DelayedCalls {
public:
    explicit DelayedCalls(platform::EventLoop& platform);
    ~DelayedCalls();
    DelayedCalls(const DelayedCalls&) = delete;
    DelayedCalls& operator=(const DelayedCalls&) = delete;

    void after(int ms, std::function<void()> fn);
    void cancelAll();
    int pending() const;

private:
    struct Slot {
        std::unique_ptr<platform::Timer> timer;
        std::function<void()> fn;
        bool inTick = false;
    };
    platform::EventLoop& platform_;
    std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace tarvo::simulator
