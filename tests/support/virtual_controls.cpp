#include "virtual_controls.h"

#include <stdexcept>

namespace tarvo::platform {

void VirtualControls::check() const
{
    if (failOperations)
        throw std::runtime_error("window operation failed");
}

void VirtualControls::setStatus(const QString& text)
{
    check();
    status_ = text;
    statusHistory.push_back({now(), text});
}

void VirtualControls::appendLog(const QString& text)
{
    check();
    log += text;
}

void VirtualControls::setProgress(double value)
{
    check();
    progress_ = value;
    progressHistory.push_back({now(), value});
}

void VirtualControls::setButtonEnabled(bool enabled)
{
    buttonEnabled = enabled;
    buttonHistory.push_back({now(), enabled ? QStringLiteral("enabled") : QStringLiteral("disabled")});
}

}  // namespace tarvo::platform
