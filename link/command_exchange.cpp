// Sending shell commands, collecting their exit status, and the timed wait
// that keeps the window's events flowing.
#include "link/controller_link.h"

namespace tarvo::link {

namespace {
constexpr char kStatusRequest[] = "echo CMDVAL: $?";
constexpr char kLineEnd[] = "\r\n";
// After a command and after the status request, the controller gets this
// long before the tool looks for an answer; then it looks every half second.
constexpr int kSettleMs = 1000;
constexpr int kPollMs = 500;
}  // namespace

void ControllerLink::sendLine(const QByteArray& line)
{
    if (!connected_ || shuttingDown_)
        return;
    if (!socket_->write(line + kLineEnd))
        disconnectFromController();
}

std::int16_t ControllerLink::runCommand(const QByteArray& command, int secondsToWait, double progressStep)
{
    sendLine(command);
    waitMs(kSettleMs);
    emit progressed(progressStep);
    lastStatus_ = kNoStatus;
    sendLine(kStatusRequest);
    waitMs(kSettleMs);
    emit progressed(progressStep);

    const int polls = static_cast<std::int16_t>(2 * secondsToWait);
    for (int poll = 0; poll <= polls; ++poll) {
        if (lastStatus_ != kNoStatus)
            break;
        waitMs(kPollMs);
        emit progressed(1);
    }
    return lastStatus_;
}

void ControllerLink::waitMs(int delayMs)
{
    if (shuttingDown_)
        throw RunAborted();
    delayTimer_->setInterval(delayMs);
    delayActive_ = true;
    delayTimer_->setEnabled(true);
    while (delayActive_)
        pump();
    // The window closed during the last pump's events.
    if (shuttingDown_)
        throw RunAborted();
}

}  // namespace tarvo::link
