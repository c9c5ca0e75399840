#include "simulator/delayedcalls.h"

namespace tarvo::simulator {

DelayedCalls::DelayedCalls(platform::EventLoop& platform) : platform_(platform) {}

DelayedCalls::~DelayedCalls()
{
    for (auto& slot : slots_) {
        slot->timer->setEnabled(false);
        // A timer whose tick is on the stack right now must outlive it: the
        // platform still touches it when the tick returns.
        if (slot->inTick)
            (void)slot.release();
    }
}

void DelayedCalls::after(int ms, std::function<void()> fn)
{
    // Idle timers are reused; one whose tick is running is left alone.
    Slot* slot = nullptr;
    for (auto& s : slots_) {
        if (!s->inTick && !s->timer->isEnabled()) {
            slot = s.get();
            break;
        }
    }
    if (!slot) {
        auto fresh = std::make_unique<Slot>();
        fresh->timer = platform_.createTimer();
        slot = fresh.get();
        slots_.push_back(std::move(fresh));
        slot->timer->onTick = [slot] {
            slot->timer->setEnabled(false);
            auto call = std::move(slot->fn);
            slot->fn = nullptr;
            slot->inTick = true;
            if (call)
                call();
            slot->inTick = false;
        };
    }
    slot->fn = std::move(fn);
    // A zero interval never ticks on some platforms.
    slot->timer->setInterval(ms < 1 ? 1 : ms);
    slot->timer->setEnabled(true);
}

void DelayedCalls::cancelAll()
{
    for (auto& s : slots_) {
        s->timer->setEnabled(false);
        if (!s->inTick)
            s->fn = nullptr;
    }
}

int DelayedCalls::pending() const
{
    int n = 0;
    for (const auto& s : slots_)
        n += s->timer->isEnabled() ? 1 : 0;
    return n;
}

}  // namespace tarvo::simulator
