#pragma once
// One connection to the controller's console: the login exchange, then a
// shell of its own (so "cd" holds). Lines that arrive while a command runs
// wait their turn, as a shell reads its input only between commands. The
// console prints a prompt after each command.
//
// The console is busybox's ash on a pseudo-terminal: while the shell waits
// at its prompt, its line editor echoes what is typed, breaking the echo at
// the right margin ("\r\r\n"); it asks for the cursor's position (ESC[6n)
// after a prompt unless input is already waiting; CR and LF are each an
// Enter. While a command runs (and while login reads its name) the
// terminal itself echoes input at once, amid the command's output, and the
// shell echoes it once more behind its prompt when it reads it. The plain
// console (EngineOptions::plainConsole) only echoes each line whole as the
// shell reads it, takes CR LF as one line end, and colours every third
// prompt with escape sequences, as a console with a coloured PS1 does.

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
        bool echoed = false;  // by the line editor, as it was typed
    };
    bool terminal() const;
    int columns() const;
    // Who shows a byte that comes in now: nobody, the terminal (input
    // typed ahead while a command runs, or to login), or the line editor.
    enum class Echo { None, Terminal, Editor };
    Echo echoNow() const;
    void echoByte(char c, QByteArray& out);
    void echoErase(QByteArray& out);
    void echoLineEnd(QByteArray& out);
    // The line editor shows text it reads behind the prompt.
    void editorType(const QByteArray& text, QByteArray& out);
    void editorEnter(bool emptyLine, QByteArray& out);
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
    // The line editor shows the line being typed: a prompt is up and no
    // line waits. column_ is the cursor's column on the terminal.
    bool editing_ = false;
    int column_ = 0;
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
