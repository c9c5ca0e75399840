#pragma once
// The virtual-time platform with the two waits the controller's tests use.

#include "virtual_platform.h"

#include <functional>

class TestClock : public tarvo::platform::VirtualPlatform {
public:
    // Runs events until done() holds, or none is left, or limitMs passes.
    bool runUntil(const std::function<bool()>& done, std::int64_t limitMs = 600000)
    {
        const std::int64_t end = nowMs() + limitMs;
        while (!done() && hasPending() && nowMs() <= end)
            doEvents();
        return done();
    }
    void runFor(std::int64_t ms) { tarvo::platform::VirtualPlatform::runUntil(nowMs() + ms); }
};
