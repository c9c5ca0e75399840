#include "simulator/devicestate.h"

namespace tarvo::simulator {

void DeviceState::boot()
{
    firmwareRunning_ = true;
    relayOpen_ = false;
    zelWritable_ = false;
    changed();
}

bool DeviceState::killFirmware()
{
    if (!firmwareRunning_)
        return false;
    firmwareRunning_ = false;
    changed();
    return true;
}

bool DeviceState::writeGpio(const QByteArray& bytes)
{
    if (++gpioWrites_ <= faults_.relayFailures)
        return false;
    // Four zero bytes open the relay; anything else leaves it closed.
    relayOpen_ = bytes == QByteArray(4, '\0');
    changed();
    return true;
}

void DeviceState::remountZelWritable()
{
    zelWritable_ = true;
    changed();
}

bool DeviceState::isReadOnly(const QByteArray& path) const
{
    return !zelWritable_ && (path == "/zel" || path.startsWith("/zel/"));
}

void DeviceState::changed()
{
    if (onChanged)
        onChanged();
}

}  // namespace tarvo::simulator
