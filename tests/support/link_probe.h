#pragma once
// A read-only view into the controller link for tests and benchmarks: its
// line queue, its timers and how deeply its waits nested.

#include "link/controller_link.h"

namespace tarvo::test {

class LinkProbe {
public:
    explicit LinkProbe(const link::ControllerLink& link) : link_(link) {}

    std::size_t queuedLineCount() const { return link_.queuedLines_.size(); }
    qsizetype partialLineLength() const { return link_.partialLine_.size(); }
    // True while the line timer is meant to run (from a connection until
    // shut-down); the platform timer itself only runs while lines wait.
    bool isLineTimerOn() const { return link_.lineTimerOn_; }
    // Deepest nesting of waits seen; 1 in a sound run.
    int maxWaitDepth() const { return link_.maxWaitDepth_; }
    const platform::TcpSocket& socket() const { return *link_.socket_; }
    const platform::Timer& delayTimer() const { return *link_.delayTimer_; }
    const platform::Timer& lineTimer() const { return *link_.lineTimer_; }
    const platform::Timer& connectWatchdog() const { return *link_.connectWatchdog_; }

private:
    const link::ControllerLink& link_;
};

}  // namespace tarvo::test
