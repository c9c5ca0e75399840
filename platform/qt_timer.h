#pragma once
// A form-style timer on QTimer.

#include "platform/event_loop.h"

#include <QTimer>

namespace tarvo::platform {

class QtTimer final : public Timer {
public:
    QtTimer();
    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

private:
    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
};

}  // namespace tarvo::platform
