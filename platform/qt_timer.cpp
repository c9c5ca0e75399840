#include "platform/qt_timer.h"

namespace tarvo::platform {

QtTimer::QtTimer()
{
    // The 2 ms line timer and the waits need millisecond accuracy.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTick)
            onTick();
    });
}

void QtTimer::setInterval(int ms)
{
    interval_ = ms;
    timer_.setInterval(ms);
    if (enabled_ && ms > 0)
        timer_.start();  // a new interval restarts an enabled timer
    else if (ms <= 0)
        timer_.stop();   // an interval of 0 never ticks
}

void QtTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

}  // namespace tarvo::platform
