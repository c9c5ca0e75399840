#pragma once
// The controller shell link: one TCP connection to the controller's shell,
// the stream of received lines, and the command exchange with its timed
// waits. All of it runs on the window's thread; the waits pump the
// platform's events. The link is transport only: what the lines mean to
// the operator is the workflow's business.

#include "platform/event_loop.h"
#include "platform/network.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>

namespace tarvo::test {
class LinkProbe;
}

namespace tarvo::link {

// Thrown out of a wait once the window has been closed, so that an
// interrupted run unwinds without touching the window or the controller.
class RunAborted : public std::runtime_error {
public:
    RunAborted() : std::runtime_error("the window was closed during a run") {}
};

class ControllerLink : public QObject {
    Q_OBJECT
public:
    // The exit status reported when no status line arrived in time. Shell
    // statuses are 0 to 255, so it never collides with one.
    static constexpr std::int16_t kNoStatus = -99;
    // Longest line kept in one piece: a peer that never sends a line end
    // has its text cut into lines of this length.
    static constexpr int kMaxLineLength = 64 * 1024;
    // Lines held for the line timer at most; more are interpreted at once.
    static constexpr std::size_t kMaxQueuedLines = 10000;

    ControllerLink(platform::EventLoop& events, platform::Network& network, QObject* parent = nullptr);
    ~ControllerLink() override;

    // --- connection ---
    // Closes whatever is open, connects and waits up to timeoutMs for the
    // connection. True when connected.
    bool connectToController(const QString& host, int port, int timeoutMs);
    void disconnectFromController();
    bool isConnected() const { return connected_; }
    // The socket's own words for its last error since the connection
    // attempt began; empty when there was none.
    QString lastSocketError() const { return lastSocketError_; }
    // Its kind; meaningful only while lastSocketError() is not empty.
    platform::SocketError lastSocketErrorKind() const { return lastSocketErrorKind_; }
    // True once the controller closed or reset the connection while a
    // command waited for its status; cleared by the next connection.
    bool wasConnectionLost() const { return connectionLost_; }
    // The PC's own address on the link, dotted: where the controller
    // reaches the PC's TFTP server.
    QString localAddress() const { return localAddress_; }
    // The controller's address on the link, dotted.
    QString peerAddress() const { return peerAddress_; }
    // The local port the next connection binds to (0: any); it moves up by
    // one whenever the system reports it in use.
    int localPort() const { return localPort_; }
    void setLocalPort(int port) { localPort_ = port; }

    // --- commands and waits ---
    // Sends one command line (the line end is added). A failed send takes
    // the link down.
    void sendLine(const QByteArray& line);
    // Sends a command, then asks for its exit status and waits up to
    // secondsToWait more for it; kNoStatus when none came.
    std::int16_t runCommand(const QByteArray& command, int secondsToWait, double progressStep);
    // The same for a command that may work for long: the wait starts again
    // at every sign of life (a line from the controller, noteSignOfLife()),
    // and ends at the latest ceilingSeconds after the command.
    std::int16_t runCommandWhileAlive(const QByteArray& command, int silentSeconds, int ceilingSeconds,
                                      double progressStep);
    // Something outside the link saw the controller at work (its transfer).
    void noteSignOfLife();
    // Ends the wait of the command in progress at its next check, without
    // a status (GiveUp::Abandoned): what it prints cannot be what it should.
    void abandonStep() { abandonRequested_ = true; }
    // Why the last command's wait ended without a status.
    enum class GiveUp { None, Silence, Ceiling, ConnectionLost, Abandoned };
    GiveUp lastGiveUp() const { return giveUp_; }
    // How long the controller had been silent when the wait ended.
    std::int64_t silentForMs() const { return silentForMs_; }
    // Waits delayMs while the window's events flow.
    void waitMs(int delayMs);
    // Whether a login prompt has been received since forgetLoginPrompt().
    bool loginPromptSeen() const { return loginPromptSeen_; }
    void forgetLoginPrompt() { loginPromptSeen_ = false; }
    // The exit status that answered the last status request (kNoStatus
    // until it came). Only the first status line after the request counts;
    // from a shell that echoes the requests, only the first after this
    // request's echo: what comes before is the command's own output, which
    // may hold anything (a file named with a status line in tar's listing).
    std::int16_t lastStatus() const { return lastStatus_; }

    // --- start-up and shut-down ---
    void stopTimers();
    // Marks the window as closing: the wait in progress ends at its next
    // check and every later wait or send of the interrupted run is refused.
    void beginShutdown();
    bool isShuttingDown() const { return shuttingDown_; }

signals:
    // Text for the log: every received line, each after a CR LF, one
    // signal per received block.
    void textReceived(const QString& text);
    // Every received line, in order, as it is interpreted (login prompts
    // and the controller's version reports excepted).
    void lineReceived(const QByteArray& line);
    void connectionChanged(bool connected);
    // Every command line sent (without its line end).
    void lineSent(const QByteArray& line);
    // The bar advances by this many points while a command runs.
    void progressed(double points);
    // The socket's own report of an error, for the log.
    void socketErrorOccurred(const QString& description);

private:
    // Tests read the queues, the timers and the wait depth.
    friend class tarvo::test::LinkProbe;

    // One pass of an event-pumping wait; throws RunAborted once closing.
    void pump();
    void readIncoming();
    void interpretQueuedLines();
    // Sends "echo CMDVAL: $?"; from now on a status may answer it.
    void requestStatus();
    // Takes the line when it is the answer to the status request, or the
    // shell's echo of a request; beforeRequest: it arrived before the
    // request was sent.
    void matchAnswer(const QByteArray& line, bool beforeRequest);
    // Waits like waitMs, but ends early once the controller has gone and
    // everything it sent has been interpreted. False when it has gone.
    bool waitForAnswer(int delayMs);
    std::int16_t exchange(const QByteArray& command, int secondsToWait, int ceilingSeconds, double progressStep);
    bool peerHasGone() const;
    void interpretLine(const QByteArray& line, bool beforeRequest);
    void queueLine(QByteArray line, QString& logText);
    void handleSocketError(platform::SocketError error, const QString& description);

    platform::EventLoop& events_;
    std::unique_ptr<platform::Timer> delayTimer_;
    std::unique_ptr<platform::Timer> lineTimer_;
    std::unique_ptr<platform::Timer> connectWatchdog_;
    std::unique_ptr<platform::TcpSocket> socket_;

    bool connected_ = false;
    bool connectTimedOut_ = false;
    bool connectionLost_ = false;
    int localPort_ = 0;
    QString localAddress_;
    QString peerAddress_;
    QString lastSocketError_;
    platform::SocketError lastSocketErrorKind_ = platform::SocketError::Other;
    QByteArray partialLine_;
    // Where a terminal escape sequence stands that a receive block cut
    // in two.
    enum class Escape { None, Start, Csi, Osc, OscEnd };
    Escape escape_ = Escape::None;
    // Consumes c when it belongs to an escape sequence.
    bool swallowEscape(unsigned char c);
    std::deque<QByteArray> queuedLines_;
    bool loginPromptSeen_ = false;
    std::int16_t lastStatus_ = 0;
    // Where the answer to the last status request stands on this connection.
    enum class Answer {
        NoRequest,  // nothing asked yet: a status line is only noted
        Awaited,    // asked; its echo (from an echoing shell) and status to come
        Echoed,     // the shell echoed it: the next status line answers it
        Answered,   // later status lines answer nothing
    };
    Answer answer_ = Answer::NoRequest;
    // The shell has echoed a status request on this connection, so it
    // echoes every one, in the order sent.
    bool echoesRequests_ = false;
    // Requests sent on this connection whose echo has not come yet.
    int unechoedRequests_ = 0;
    // Of the queued lines, how many at the front arrived before the last
    // request was sent.
    std::size_t linesBeforeRequest_ = 0;
    bool lineTimerOn_ = false;
    bool shuttingDown_ = false;
    int waitDepth_ = 0;
    std::int64_t lastSignOfLifeMs_ = 0;
    std::int64_t silentForMs_ = 0;
    GiveUp giveUp_ = GiveUp::None;
    bool abandonRequested_ = false;
    int maxWaitDepth_ = 0;
};

// Parses the rest of a "CMDVAL: " line: optional blanks, an optional sign
// and decimal digits, within the signed 16-bit range. Anything else gives
// no value.
bool parseStatusValue(const QByteArray& text, std::int16_t& value);

// A version report of the controller's firmware ("RFV: ", "RPN: ", ...):
// it means nothing to a run and is never handed on as a line.
bool isVersionReport(const QByteArray& line);

}  // namespace tarvo::link
