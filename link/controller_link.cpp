#include "link/controller_link.h"

namespace tarvo::link {

ControllerLink::ControllerLink(platform::Platform& platform, platform::Controls& controls)
    : platform_(platform),
      controls_(controls),
      timer1_(platform.createTimer()),
      timer2_(platform.createTimer()),
      timer5_(platform.createTimer()),
      socket_(platform.createSocket())
{
    // As designed: Timer1 100 ms and disabled, Timer2 disabled, Timer5 interval 0.
    timer1_->setInterval(100);
    timer1_->onTick = [this] { Timer1_Timer(); };
    timer2_->onTick = [this] { Timer2_Timer(); };
    timer5_->onTick = [this] { Timer5_Timer(); };
    socket_->onDataArrival = [this] { Winsock1_DataArrival(); };
    socket_->onError = [this](int n, const QString& d) { Winsock1_Error(n, d); };
}

ControllerLink::~ControllerLink()
{
    socket_->onDataArrival = nullptr;
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
    if (Shutting_Down)
        throw RunAborted();
}

void ControllerLink::Show_Message(const QString& text, int style)
{
    if (Shutting_Down)
        throw RunAborted();
    platform_.messageBox(text, style);
    if (Shutting_Down)
        throw RunAborted();
}

void ControllerLink::Disable_Timers()
{
    timer1_->setEnabled(false);
    Line_Timer_On = false;
    timer2_->setEnabled(false);
    timer5_->setEnabled(false);
}

void ControllerLink::Begin_Shutdown()
{
    Shutting_Down = true;
}

}  // namespace tarvo::link
