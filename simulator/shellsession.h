#pragma once
// One connection to the controller's console: the login exchange, then a
// shell of its own (so "cd" holds). Lines that arrive while a command runs
// wait their turn, as a shell reads its input only between commands. The
// console echoes every line it reads, and prints a prompt after each
// command, sometimes coloured with escape sequences as a real one does.

#include "simulator/commandinterpreter.h"
#include "simulator/delayedcalls.h"

#include <QByteArray>
#include <QQueue>

#include <functional>
#include <memory>

namespace tarvo::simulator {

class ControllerEngine;

class ShellSession : public std::enable_shared_from_this<ShellSession> {
public:
    ShellSession(ControllerEngine& engine, std::function<void(const QByteArray&)> sendToTool,
                 std::function<void()> closeConnection, std::function<void()> resetConnection = {});
    ~ShellSession();

    // Bytes from the tool.
    void receive(const QByteArray& fromTool);
    // The tool closed the connection.
    void peerClosed();
    // The controller ends the connection (power off).
    void disconnect();
    // The controller resets the connection: nothing more is sent.
    void reset();

    bool isOpen() const { return !closed_; }
    // Greets a new connection as a console's getty does: a banner and the
    // login prompt, shortly after the connection is up.
    void greet();
    bool isLoggedIn() const { return loggedIn_ && !closed_; }
    QByteArray cwd() const { return interpreter_.state().cwd; }

private:
    // Closes the connection, or resets it when asked and the transport can.
    void end(bool reset);
    enum class Stage { Login, Shell };
    // A line as read; one cut off at the console's line limit keeps none of
    // its text.
    struct InputLine {
        QByteArray text;
        bool tooLong = false;
    };
    void pump();
    void refuseLongLine();
    void handleLoginLine(const QByteArray& line);
    void handleShellLine(const QByteArray& line);
    void commandFinished(int number, bool exitRequested);
    void afterCommand(int number, bool exitRequested);
    void sendPrompt();
    void send(const QByteArray& bytes);
    void sendConsole(const QByteArray& text);  // LF becomes CR LF, as the tty does
    void closeAfterOutput();
    void deliverUpTo(quint64 sequence);

    ControllerEngine& engine_;
    std::function<void(const QByteArray&)> sendToTool_;
    std::function<void()> closeConnection_;
    std::function<void()> resetConnection_;
    DelayedCalls later_;
    CommandInterpreter interpreter_;
    Stage stage_ = Stage::Login;
    QByteArray partial_;
    bool partialTooLong_ = false;  // the rest of this line is being dropped
    bool lastWasCR_ = false;
    QQueue<InputLine> lines_;
    bool busy_ = false;
    bool closing_ = false;
    bool closed_ = false;
    bool spoken_ = false;  // anything sent yet
    bool loggedIn_ = false;
    int prompts_ = 0;

    // Answers held back by the answer-delay fault, in order; an entry
    // marked close ends the connection after what came before it.
    struct Held {
        quint64 sequence;
        QByteArray bytes;
        bool close;
    };
    QQueue<Held> held_;
    quint64 nextSequence_ = 0;
};

}  // namespace tarvo::simulator
