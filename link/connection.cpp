// Opening and closing the TCP connection to the controller's shell.
#include "link/controller_link.h"

namespace tarvo::link {

bool ControllerLink::connectToController(const QString& host, int port, int timeoutMs)
{
    // Whatever is still open from before is closed first.
    while (socket_->state() != platform::SocketState::Closed) {
        socket_->close();
        events_.processPendingEvents();
        if (shuttingDown_)
            throw RunAborted();
    }
    socket_->setLocalPort(localPort_);
    lastSocketError_.clear();
    socket_->connectToHost(host, port);

    connectWatchdog_->setInterval(timeoutMs);
    connectTimedOut_ = false;
    connectWatchdog_->setEnabled(true);

    for (;;) {
        const platform::SocketState state = socket_->state();
        if (state == platform::SocketState::Connected)
            break;
        // A socket closed by the address-in-use handling tries again, now
        // from the next local port; a failed one is left alone.
        if (state == platform::SocketState::Closed)
            socket_->connectToHost(host, port);
        if (connectTimedOut_)
            break;
        pump();
    }
    connectWatchdog_->setEnabled(false);

    // A watchdog tick handled in the same pump as the connection still
    // counts as a failure.
    if (connectTimedOut_) {
        connected_ = false;
        socket_->close();
        emit connectionChanged(false);
        return false;
    }

    connected_ = true;
    connectionLost_ = false;
    localAddress_ = socket_->localAddress();
    peerAddress_ = socket_->peerAddress();
    // The receive path starts with an empty queue; a fragment of a line
    // from before is kept.
    queuedLines_.clear();
    linesBeforeRequest_ = 0;
    // A new connection may lead to another shell: what it echoes is learnt
    // again.
    answer_ = Answer::NoRequest;
    echoesRequests_ = false;
    unechoedRequests_ = 0;
    lineTimer_->setInterval(2);
    lineTimerOn_ = true;
    lineTimer_->setEnabled(false);
    emit connectionChanged(true);
    return true;
}

void ControllerLink::disconnectFromController()
{
    socket_->close();
    connected_ = false;
    emit connectionChanged(false);
}

void ControllerLink::handleSocketError(platform::SocketError error, const QString& description)
{
    if (error == platform::SocketError::AddressInUse) {
        socket_->close();
        ++localPort_;
        socket_->setLocalPort(localPort_);
        return;
    }
    // Other errors change nothing; the operator finds the socket's own
    // report in the log.
    lastSocketError_ = description;
    lastSocketErrorKind_ = error;
    emit socketErrorOccurred(description);
}

}  // namespace tarvo::link
