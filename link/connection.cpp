// Opening and closing the TCP connection to the controller's shell.
#include "link/controller_link.h"

namespace tarvo::link {

void ControllerLink::Connect_Network(int PortNumber, int Timeout_ms)
{
    controls_.setStatus(QStringLiteral("Connecting..."));

    // Whatever is still open from before is closed first.
    while (socket_->state() != platform::sckClosed) {
        socket_->close();
        platform_.processPendingEvents();
        if (Shutting_Down)
            throw RunAborted();
    }
    socket_->setLocalPort(Local_Port);

    const QString address = controls_.targetAddress();
    if (address.isEmpty()) {
        Show_Message(QStringLiteral("Please enter IP address of the laser."), platform::vbOKOnly);
        return;
    }
    socket_->setRemoteHost(address);
    socket_->setRemotePort(PortNumber);
    socket_->connectToHost();

    timer5_->setInterval(Timeout_ms);
    Connect_Timed_Out = false;
    timer5_->setEnabled(true);

    for (;;) {
        const int state = socket_->state();
        if (state == platform::sckConnected)
            break;
        // A socket closed by the address-in-use handling tries again, now
        // from the next local port; one in its error state is left alone.
        if (state == platform::sckClosed)
            socket_->connectToHost();
        if (Connect_Timed_Out)
            break;
        pump();
    }
    timer5_->setEnabled(false);

    // A tick handled in the same pump as the connection still counts as a
    // failure.
    if (Connect_Timed_Out) {
        Network_Connected = false;
        socket_->close();
        controls_.setLinkState(QStringLiteral("Disconnected"));
        if (PortNumber == 1138) {
            Show_Message(QStringLiteral("Error Connecting"), platform::vbOKOnly);
            controls_.setStatus(QStringLiteral("Connection failed"));
        }
        return;
    }

    Network_Connected = true;
    platform_.saveSetting(QString::fromLatin1(kSettingsApplication), QString::fromLatin1(kSettingsSection),
                          QString::fromLatin1(kSettingsKey), controls_.targetAddress());
    Local_IP_Address = socket_->localIP();
    // Start the receive path with an empty queue; a fragment of a line
    // from before is kept.
    Received_Lines.clear();
    timer2_->setInterval(2);
    Line_Timer_On = true;
    timer2_->setEnabled(false);
    controls_.setLinkState(QStringLiteral("Connected"));
}

void ControllerLink::Disconnect_Network()
{
    socket_->close();
    Network_Connected = false;
    controls_.setLinkState(QStringLiteral("Disconnected"));
}

void ControllerLink::Winsock1_Error(int Number, const QString& Description)
{
    if (Number == platform::sckAddressInUse) {
        socket_->close();
        ++Local_Port;
        socket_->setLocalPort(Local_Port);
        return;
    }
    // Other errors change nothing; the operator sees the socket's own
    // report in the log.
    controls_.appendLog(QStringLiteral("\r\n[socket error %1: %2]").arg(Number).arg(Description));
}

void ControllerLink::Timer5_Timer()
{
    Connect_Timed_Out = true;
    timer5_->setEnabled(false);
}

}  // namespace tarvo::link
