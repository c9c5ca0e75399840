#pragma once
// What one command of a shell line runs with: its arguments, the shell's
// state, the controller, and where its output goes. Commands answer through
// done(status), at once or later on the platform's timers.

#include "simulator/card.h"
#include "simulator/delayedcalls.h"
#include "simulator/devicestate.h"
#include "simulator/engineoptions.h"
#include "simulator/faultoptions.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <memory>

namespace tarvo::platform {
class EventLoop;
}

namespace tarvo::simulator {

class TftpTransport;

// The controller a shell runs on.
struct Controller {
    platform::EventLoop& platform;
    Card& card;
    DeviceState& device;
    const FaultOptions& faults;
    const EngineOptions& options;
    TftpTransport& tftp;
};

// State that lives as long as one shell.
struct ShellState {
    QByteArray cwd = "/";
    int lastStatus = 0;
};

struct Invocation {
    QList<QByteArray> argv;
    ShellState& shell;
    Controller& controller;
    DelayedCalls& later;
    std::function<void(const QByteArray&)> out;  // standard output, maybe redirected
    std::function<void(const QByteArray&)> err;  // the console
    std::function<void(int status)> done;        // exactly once

    // Prints a line on the console.
    void errLine(const QByteArray& text) const { err(text + '\n'); }
    // Finishes after ms of the controller's time.
    void finishAfter(int ms, int status) const
    {
        auto d = done;
        later.after(ms, [d, status] { d(status); });
    }
};

using CommandFunction = std::function<void(Invocation&)>;

}  // namespace tarvo::simulator
