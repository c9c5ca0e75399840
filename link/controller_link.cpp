#include "link/controller_link.h"

namespace tarvo::link {

ControllerLink::ControllerLink(platform::EventLoop& events, platform::Network& network, QObject* parent)
    : QObject(parent),
      events_(events),
      delayTimer_(events.createTimer()),
      lineTimer_(events.createTimer()),
      connectWatchdog_(events.createTimer()),
      socket_(network.createSocket())
{
    lineTimer_->onTick = [this] { interpretQueuedLines(); };
    connectWatchdog_->onTick = [this] {
        connectTimedOut_ = true;
        connectWatchdog_->setEnabled(false);
    };
    socket_->onReadyRead = [this] { readIncoming(); };
    socket_->onError = [this](platform::SocketError e, const QString& d) { handleSocketError(e, d); };
}

ControllerLink::~ControllerLink()
{
    socket_->onReadyRead = nullptr;
    socket_->onError = nullptr;
}

void ControllerLink::pump()
{
    ++waitDepth_;
    if (waitDepth_ > maxWaitDepth_)
        maxWaitDepth_ = waitDepth_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{waitDepth_};
    events_.doEvents();
    if (shuttingDown_)
        throw RunAborted();
}

void ControllerLink::stopTimers()
{
    delayTimer_->setEnabled(false);
    lineTimerOn_ = false;
    lineTimer_->setEnabled(false);
    connectWatchdog_->setEnabled(false);
}

void ControllerLink::beginShutdown()
{
    shuttingDown_ = true;
}

}  // namespace tarvo::link
