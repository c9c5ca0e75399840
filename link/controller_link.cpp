#include "link/controller_link.h"

namespace tarvo::link {

namespace {
// The delay timer's resting interval until a wait sets its own.
constexpr int kDelayTimerRestMs = 100;
}  // namespace

ControllerLink::ControllerLink(platform::Platform& platform, QObject* parent)
    : QObject(parent),
      platform_(platform),
      delayTimer_(platform.createTimer()),
      lineTimer_(platform.createTimer()),
      connectWatchdog_(platform.createTimer()),
      socket_(platform.createSocket())
{
    delayTimer_->setInterval(kDelayTimerRestMs);
    delayTimer_->onTick = [this] {
        delayActive_ = false;
        delayTimer_->setEnabled(false);
    };
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
    platform_.doEvents();
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
    delayActive_ = false;
}

}  // namespace tarvo::link
