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
    emit lineSent(line);
    if (!socket_->write(line + kLineEnd)) {
        connectionLost_ = true;
        disconnectFromController();
    }
}

std::int16_t ControllerLink::runCommand(const QByteArray& command, int secondsToWait, double progressStep)
{
    sendLine(command);
    if (!waitForAnswer(kSettleMs))
        return lastStatus_ = kNoStatus;
    emit progressed(progressStep);
    lastStatus_ = kNoStatus;
    sendLine(kStatusRequest);
    if (!waitForAnswer(kSettleMs))
        return lastStatus_;
    emit progressed(progressStep);

    const int polls = static_cast<std::int16_t>(2 * secondsToWait);
    for (int poll = 0; poll <= polls; ++poll) {
        if (lastStatus_ != kNoStatus)
            break;
        if (!waitForAnswer(kPollMs))
            break;
        emit progressed(1);
    }
    return lastStatus_;
}

bool ControllerLink::peerHasGone() const
{
    // Nothing more can arrive, and what did arrive has been interpreted.
    return connected_ && socket_->state() != platform::SocketState::Connected && queuedLines_.empty();
}

bool ControllerLink::waitForAnswer(int delayMs)
{
    if (shuttingDown_)
        throw RunAborted();
    if (!connected_)
        return false;
    if (peerHasGone()) {
        connectionLost_ = true;
        disconnectFromController();
        return false;
    }
    delayTimer_->setInterval(delayMs);
    delayActive_ = true;
    delayTimer_->setEnabled(true);
    while (delayActive_) {
        pump();
        if (peerHasGone()) {
            delayTimer_->setEnabled(false);
            delayActive_ = false;
            connectionLost_ = true;
            disconnectFromController();
            return false;
        }
    }
    if (shuttingDown_)
        throw RunAborted();
    return true;
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
