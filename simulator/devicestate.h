#pragma once
// What the controller is doing apart from its file system: the firmware
// process, the safety relay on /dev/gpio0 and the mount state of /zel.

#include "simulator/faultoptions.h"

#include <QByteArray>

#include <functional>

namespace tarvo::simulator {

class DeviceState {
public:
    explicit DeviceState(const FaultOptions& faults) : faults_(faults) {}

    // Power on: the firmware starts, the relay closes, /zel is mounted read-only.
    void boot();

    bool firmwareRunning() const { return firmwareRunning_; }
    bool relayOpen() const { return relayOpen_; }
    bool zelWritable() const { return zelWritable_; }

    // killall: true when the process was running.
    bool killFirmware();
    // A write of bytes to /dev/gpio0; false when the write fails.
    bool writeGpio(const QByteArray& bytes);
    void remountZelWritable();
    // True when a write at this resolved controller path hits a read-only
    // file system.
    bool isReadOnly(const QByteArray& path) const;

    // Called after every change, for the control window and status.
    std::function<void()> onChanged;

private:
    void changed();
    const FaultOptions& faults_;
    bool firmwareRunning_ = true;
    bool relayOpen_ = false;
    bool zelWritable_ = false;
    int gpioWrites_ = 0;
};

}  // namespace tarvo::simulator
