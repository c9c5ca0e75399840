#pragma once
// The controller's sh: runs one line at a time, command after command,
// expanding "$?", variables and globs, redirecting output into card files
// or the virtual /dev/gpio0, and keeping the working folder and the last
// status between lines.

#include "simulator/commandparser.h"
#include "simulator/invocation.h"

#include <QMap>

#include <functional>
#include <memory>

namespace tarvo::simulator {

class CommandInterpreter {
public:
    // console receives everything the commands print (LF line ends).
    CommandInterpreter(Controller& controller, DelayedCalls& later,
                       std::function<void(const QByteArray&)> console);
    ~CommandInterpreter();

    // Runs a line; finished(exitRequested) once its last command is done.
    void execute(const QByteArray& line, std::function<void(bool exitRequested)> finished);
    bool busy() const { return busy_; }
    // The shell is gone (connection closed): whatever still completes, a
    // transfer for instance, no longer runs anything.
    void abandon();

    ShellState& state() { return state_; }
    const ShellState& state() const { return state_; }

    // The words of a parsed word after expansion (globs may give several).
    QList<QByteArray> expandWord(const Word& word) const;

private:
    struct Redirect;
    void runNext();
    void finish(bool exitRequested);
    QByteArray expandVariables(const QByteArray& text) const;
    std::shared_ptr<Redirect> openRedirect(const SimpleCommand& command, bool* ok);

    Controller& controller_;
    DelayedCalls& later_;
    std::function<void(const QByteArray&)> console_;
    ShellState state_;
    QMap<QByteArray, CommandFunction> commands_;
    ParsedLine line_;
    int next_ = 0;
    bool busy_ = false;
    std::function<void(bool)> finished_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tarvo::simulator
