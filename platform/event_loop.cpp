#include "platform/event_loop.h"

namespace tarvo::platform {

bool pumpUntil(Timer& timer, int ms, const std::function<void()>& pump, const std::function<bool()>& done)
{
    bool elapsed = false;
    timer.onTick = [&timer, &elapsed] {
        elapsed = true;
        timer.setEnabled(false);
    };
    // However the wait ends (a pump may throw), the timer forgets it.
    struct Release {
        Timer& timer;
        ~Release()
        {
            timer.setEnabled(false);
            timer.onTick = nullptr;
        }
    } release{timer};
    timer.setInterval(ms);
    timer.setEnabled(true);
    while (!elapsed) {
        pump();
        if (done && done())
            return true;
    }
    return false;
}

}  // namespace tarvo::platform
