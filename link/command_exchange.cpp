// Sending shell commands, collecting their exit status, and the timed wait
// that keeps the window's events flowing.
#include "link/controller_link.h"

namespace tarvo::link {

void ControllerLink::Send_Device_Command(const QByteArray& NewCommand)
{
    if (!Network_Connected || Shutting_Down)
        return;
    if (!socket_->sendData(NewCommand + Line_Terminator)) {
        Disconnect_Network();
        Network_Connected = false;
    }
}

std::int16_t ControllerLink::Send_Command_With_Response(const QByteArray& Command_String,
                                                        int Seconds_To_Wait, double Progress_Interval)
{
    Send_Device_Command(Command_String);
    Delay_ms(1000);
    controls_.Update_Progress_Bar(Progress_Interval);
    Command_Return_Value = kNoStatus;
    Send_Device_Command(kStatusRequest);
    Delay_ms(1000);
    controls_.Update_Progress_Bar(Progress_Interval);

    const int limit = static_cast<std::int16_t>(2 * Seconds_To_Wait);
    for (int poll = 0; poll <= limit; ++poll) {
        if (Command_Return_Value != kNoStatus)
            break;
        Delay_ms(500);
        controls_.Update_Progress_Bar(1);
    }
    return Command_Return_Value;
}

void ControllerLink::Delay_ms(int Delay_Value)
{
    if (Shutting_Down)
        throw RunAborted();
    timer1_->setInterval(Delay_Value);
    Delay_Active = true;
    timer1_->setEnabled(true);
    while (Delay_Active)
        pump();
    // The window closed during the last pump's events.
    if (Shutting_Down)
        throw RunAborted();
}

void ControllerLink::Timer1_Timer()
{
    Delay_Active = false;
    timer1_->setEnabled(false);
}

}  // namespace tarvo::link
