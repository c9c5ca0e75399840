#pragma once
// The simulated laser controller: its power, SD card, firmware, relay and
// one shell per connection. All of its timing runs on the platform's
// timers, so tests can drive it in virtual time in-process; the adapters
// (TcpShellServer, attachToVirtualSocket) connect it to a tool.

#include "simulator/card.h"
#include "simulator/delayedcalls.h"
#include "simulator/devicestate.h"
#include "simulator/engineoptions.h"
#include "simulator/faultoptions.h"
#include "simulator/invocation.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QTemporaryDir;

namespace tarvo::platform {
class EventLoop;
}

namespace tarvo::simulator {

class ShellSession;
class TftpTransport;

class ControllerEngine : public QObject {
    Q_OBJECT
public:
    ControllerEngine(platform::EventLoop& platform, TftpTransport& tftp, const QString& cardFolder,
                     const EngineOptions& options = {}, const FaultOptions& faults = {},
                     QObject* parent = nullptr);
    ~ControllerEngine() override;

    // A new connection from the tool; nullptr when the controller is off
    // (the connection is to be refused). The session is the caller's to
    // keep; the engine only watches it. resetConnection, when given, ends
    // the connection abruptly (a TCP reset) for the faults that do so;
    // without it they close it as closeConnection does.
    std::shared_ptr<ShellSession> accept(std::function<void(const QByteArray&)> sendToTool,
                                         std::function<void()> closeConnection,
                                         std::function<void()> resetConnection = {});

    bool isPoweredOn() const { return poweredOn_; }
    // Powered on and booted: the console takes connections.
    bool isAccepting() const { return poweredOn_ && !booting_; }
    // Closes every connection and refuses new ones.
    void powerOff();
    // Boots: the firmware runs, the relay closes, /zel is read-only again;
    // the console answers once the boot time has passed.
    void powerOn();
    // Card swaps need the power off; false with a reason otherwise.
    bool insertCard(const QString& folder, QString* error = nullptr);
    bool insertBlankCard(QString* error = nullptr);

    Card& card() { return card_; }
    const Card& card() const { return card_; }
    DeviceState& device() { return device_; }
    const DeviceState& device() const { return device_; }
    Controller& controller() { return controller_; }
    // Faults and options may be changed between steps of a test; commands
    // read them when they run.
    FaultOptions& faults() { return faults_; }
    EngineOptions& options() { return options_; }
    platform::EventLoop& platform() { return platform_; }

    int connectionCount() const;
    bool isLoggedIn() const;
    // One line: power, connections, login, firmware, relay, /zel, faults, card.
    QString statusLine() const;

    // Faults that count commands count them over the controller's run.
    struct FaultCounters {
        int commands = 0;
        int cmdvals = 0;
    };
    FaultCounters& counters() { return counters_; }

    void notifyChanged();

signals:
    void stateChanged();
    void powerChanged(bool on);
    // The console starts or stops taking connections.
    void acceptingChanged(bool accepting);

private:
    void prepareCard();
    std::vector<std::shared_ptr<ShellSession>> liveSessions() const;

    platform::EventLoop& platform_;
    EngineOptions options_;
    FaultOptions faults_;
    Card card_;
    DeviceState device_;
    Controller controller_;
    FaultCounters counters_;
    bool poweredOn_ = true;
    bool booting_ = false;
    DelayedCalls later_;
    std::vector<std::weak_ptr<ShellSession>> sessions_;
    std::vector<std::unique_ptr<QTemporaryDir>> blankCards_;
};

}  // namespace tarvo::simulator
