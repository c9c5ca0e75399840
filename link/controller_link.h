#pragma once
// The controller shell link: one TCP connection to the controller's shell,
// the stream of received lines and their interpretation, and the command
// exchange with its timed waits. All of it runs on the window's thread;
// the waits pump the platform's events.

#include "platform/controls.h"
#include "platform/platform.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>

namespace tarvo::link {

// Thrown out of a wait once the window has been closed, so that an
// interrupted run unwinds without touching the window or the controller.
class RunAborted : public std::runtime_error {
public:
    RunAborted() : std::runtime_error("the window was closed during a run") {}
};

// The names the controller link uses on the wire and in the settings store.
inline constexpr char kSettingsApplication[] = "Tarvo Configuration Updater";
inline constexpr char kSettingsSection[] = "Comm";
inline constexpr char kSettingsKey[] = "IP_Addr";
inline constexpr char kStatusRequest[] = "echo CMDVAL: $?";
inline constexpr std::int16_t kNoStatus = -99;

class ControllerLink {
public:
    ControllerLink(platform::Platform& platform, platform::Controls& controls);
    ~ControllerLink();

    // --- connection ---
    void Connect_Network(int PortNumber, int Timeout_ms);
    void Disconnect_Network();
    void Winsock1_Error(int Number, const QString& Description);
    void Timer5_Timer();

    // --- receive path ---
    void Winsock1_DataArrival();
    void Timer2_Timer();
    void Parse_Message();

    // --- command exchange and waits ---
    void Send_Device_Command(const QByteArray& NewCommand);
    std::int16_t Send_Command_With_Response(const QByteArray& Command_String, int Seconds_To_Wait,
                                            double Progress_Interval);
    void Delay_ms(int Delay_Value);
    void Timer1_Timer();

    // A modal message box; after it returns, a closed window ends the run.
    void Show_Message(const QString& text, int style);

    // --- start-up and shut-down ---
    // Disables Timer1, Timer2 and Timer5, in this order.
    void Disable_Timers();
    // Marks the window as closing: the wait in progress ends at its next
    // check and every later wait or send of the interrupted run is refused.
    void Begin_Shutdown();
    bool isShuttingDown() const { return Shutting_Down; }

    // --- window-level state of the link ---
    bool Network_Connected = false;
    bool Connect_Timed_Out = false;
    int Local_Port = 0;
    QString Local_IP_Address;
    QByteArray Partial_Line;
    std::deque<QByteArray> Received_Lines;
    QByteArray Current_Message;
    bool Login_Prompt_Seen = false;
    bool Error_Reported = false;
    std::int16_t Command_Return_Value = 0;
    bool Delay_Active = false;
    QByteArray Line_Terminator = QByteArrayLiteral("\r\n");

    platform::Timer& Timer1() { return *timer1_; }
    platform::Timer& Timer2() { return *timer2_; }
    platform::Timer& Timer5() { return *timer5_; }
    platform::TcpSocket& Winsock1() { return *socket_; }
    // True while the line timer is meant to run (from a connection until
    // shut-down); the platform timer itself only runs while lines wait.
    bool isLineTimerOn() const { return Line_Timer_On; }
    // Deepest nesting of waits seen; 1 in a sound run.
    int maxWaitDepth() const { return maxWaitDepth_; }

    // Longest line kept in one piece: a peer that never sends a line end
    // has its text cut into lines of this length.
    static constexpr int kMaxLineLength = 64 * 1024;

private:
    // One pass of an event-pumping wait; throws RunAborted once closing.
    void pump();
    void queueLine(QByteArray line, QString& logText);

    platform::Platform& platform_;
    platform::Controls& controls_;
    std::unique_ptr<platform::Timer> timer1_;
    std::unique_ptr<platform::Timer> timer2_;
    std::unique_ptr<platform::Timer> timer5_;
    std::unique_ptr<platform::TcpSocket> socket_;
    bool Line_Timer_On = false;
    bool Shutting_Down = false;
    int waitDepth_ = 0;
    int maxWaitDepth_ = 0;
};

// Parses the rest of a "CMDVAL: " line: optional blanks, an optional sign
// and decimal digits, within the signed 16-bit range. Anything else gives
// no value.
bool parseStatusValue(const QByteArray& text, std::int16_t& value);

}  // namespace tarvo::link
