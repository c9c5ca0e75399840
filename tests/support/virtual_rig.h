#pragma once
// A whole tool on the virtual-time platform: the tool behind the window
// with a recording view of its run, and a scriptable controller on the far
// end of the socket.

#include "recording_prompts.h"
#include "recording_view.h"
#include "virtual_platform.h"
#include "fake_tftp_server.h"
#include "window/updater.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <memory>

namespace tarvo::test {

// A minimal controller for link tests: answers each complete command line
// the tool sends through a handler that returns the reply text and delay.
class ScriptedPeer {
public:
    struct Reply {
        QByteArray text;
        int delayMs = 0;
    };
    ScriptedPeer(platform::VirtualPlatform& platform, platform::VirtualSocket& socket);

    // Called with each line the tool sends (without CR LF).
    std::function<QList<Reply>(const QByteArray& line)> onLine;
    QList<QByteArray> lines;  // every line received, in order

private:
    platform::VirtualPlatform& platform_;
    platform::VirtualSocket& socket_;
    QByteArray buffer_;
};

struct VirtualRig {
    VirtualRig();
    ~VirtualRig();

    platform::VirtualPlatform platform;
    RecordingPrompts prompts{platform};
    RecordingView controls;
    FakeTftpServer server{platform};
    std::unique_ptr<window::Updater> updater;

    link::ControllerLink& link() { return updater->link(); }
    workflow::Workflow& workflow() { return updater->workflow(); }
    // A click of Start/Continue with the address in the view's box.
    void click() { updater->startOrContinue(controls.address); }
    platform::VirtualSocket& socket() { return *platform.sockets.front(); }
    // Connects to an answering controller (a scripted peer) and drains the
    // connection's events; the clock is left where the connection came up.
    ScriptedPeer& connectScripted(const QString& address = QStringLiteral("10.0.0.5"));

    std::unique_ptr<ScriptedPeer> peer;
};

}  // namespace tarvo::test
