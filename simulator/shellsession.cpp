#include "simulator/shellsession.h"

#include "simulator/controllerengine.h"

namespace tarvo::simulator {

namespace {

constexpr int loginMs = 150;
// After the connection is up on the far side, as a getty's first output.
constexpr int greetingMs = 20;
constexpr int loginRefusedMs = 600;
constexpr int promptMs = 1;
// The longest line the console reads, as the tool's own limit; what comes
// beyond it up to the line end is dropped.
constexpr qsizetype maxLineBytes = 64 * 1024;

}  // namespace

ShellSession::ShellSession(ControllerEngine& engine, std::function<void(const QByteArray&)> sendToTool,
                           std::function<void()> closeConnection, std::function<void()> resetConnection)
    : engine_(engine),
      sendToTool_(std::move(sendToTool)),
      closeConnection_(std::move(closeConnection)),
      resetConnection_(std::move(resetConnection)),
      later_(engine.platform()),
      interpreter_(engine.controller(), later_, [this](const QByteArray& text) { sendConsole(text); })
{
}

ShellSession::~ShellSession() = default;

void ShellSession::receive(const QByteArray& fromTool)
{
    if (closed_ || closing_)
        return;
    const auto self = shared_from_this();
    for (char c : fromTool) {
        if (c == '\r' || (c == '\n' && !lastWasCR_)) {
            if (partialTooLong_)
                lines_.enqueue({QByteArray(), true});
            else
                lines_.enqueue({partial_, false});
            partial_.clear();
            partialTooLong_ = false;
        }
        lastWasCR_ = c == '\r';
        if (c == '\r' || c == '\n' || c == '\0' || partialTooLong_)
            continue;
        if (c == '\x7f' || c == '\b') {
            partial_.chop(1);
            continue;
        }
        if (partial_.size() >= maxLineBytes) {
            partialTooLong_ = true;
            partial_ = QByteArray();  // gives the memory back
            continue;
        }
        partial_ += c;
    }
    pump();
}

void ShellSession::greet()
{
    const std::weak_ptr<ShellSession> weak = weak_from_this();
    later_.after(greetingMs, [weak] {
        auto self = weak.lock();
        // Not when the tool's first empty line already got a prompt.
        if (!self || self->closed_ || self->stage_ != Stage::Login || self->spoken_
            || self->engine_.controller().faults.noLoginPrompt)
            return;
        const QByteArray host = self->engine_.controller().options.hostname;
        self->send("\x1b[0m\r\nTarvo laser controller (" + host + ")\r\n\r\n" + host + " login: ");
    });
}

void ShellSession::peerClosed()
{
    if (closed_)
        return;
    closed_ = true;
    later_.cancelAll();
    interpreter_.abandon();
    held_.clear();
    engine_.notifyChanged();
}

void ShellSession::disconnect()
{
    end(false);
}

void ShellSession::reset()
{
    end(true);
}

void ShellSession::end(bool reset)
{
    if (closed_)
        return;
    const auto self = shared_from_this();
    closed_ = true;
    later_.cancelAll();
    interpreter_.abandon();
    held_.clear();
    if (reset && resetConnection_)
        resetConnection_();
    else if (closeConnection_)
        closeConnection_();
    engine_.notifyChanged();
}

void ShellSession::pump()
{
    while (!busy_ && !closed_ && !closing_ && !lines_.isEmpty()) {
        const InputLine line = lines_.dequeue();
        if (line.tooLong)
            refuseLongLine();
        else if (stage_ == Stage::Login)
            handleLoginLine(line.text);
        else
            handleShellLine(line.text);
    }
}

void ShellSession::refuseLongLine()
{
    if (stage_ == Stage::Login) {
        if (!engine_.controller().faults.noLoginPrompt)
            send("\r\nLogin incorrect\r\n" + engine_.controller().options.hostname + " login: ");
        return;
    }
    sendConsole("sh: line too long\n");
    interpreter_.state().lastStatus = 2;
    sendPrompt();
}

void ShellSession::handleLoginLine(const QByteArray& line)
{
    const FaultOptions& faults = engine_.controller().faults;
    const QByteArray prompt = "\r\n" + engine_.controller().options.hostname + " login: ";
    if (faults.noLoginPrompt)
        return;
    if (line.trimmed().isEmpty()) {
        send(prompt);
        return;
    }
    send(line + "\r\n");
    busy_ = true;
    const std::weak_ptr<ShellSession> weak = weak_from_this();
    if (line == "root") {
        later_.after(loginMs, [weak] {
            auto self = weak.lock();
            if (!self || self->closed_)
                return;
            self->stage_ = Stage::Shell;
            self->loggedIn_ = true;
            self->send("\r\n\r\nBusyBox v1.35.0 built-in shell (ash)\r\n"
                       "Enter 'help' for a list of built-in commands.\r\n\r\n");
            if (self->engine_.controller().faults.refuseShell) {
                // The profile's last command failed: the shell starts with $? = 1.
                self->sendConsole("-sh: /etc/profile: line 21: /etc/laser/env.sh: Permission denied\n");
                self->interpreter_.state().lastStatus = 1;
            }
            self->sendPrompt();
            self->busy_ = false;
            self->engine_.notifyChanged();
            self->pump();
        });
        return;
    }
    later_.after(loginRefusedMs, [weak, prompt] {
        auto self = weak.lock();
        if (!self || self->closed_)
            return;
        self->send("\r\nLogin incorrect" + prompt);
        self->busy_ = false;
        self->pump();
    });
}

void ShellSession::handleShellLine(const QByteArray& line)
{
    send(line + "\r\n");
    if (line.trimmed().isEmpty()) {
        sendPrompt();
        return;
    }
    busy_ = true;
    ControllerEngine::FaultCounters& counters = engine_.counters();
    const FaultOptions& faults = engine_.controller().faults;
    const int number = ++counters.commands;
    if (faults.handleAtCommand == number)
        sendConsole("laser.elf: Invalid Handle\n");
    if (line.simplified() == "echo CMDVAL: $?" && ++counters.cmdvals == faults.badCmdvalAt) {
        sendConsole("CMDVAL: sh: bad number\n");
        const std::weak_ptr<ShellSession> weak = weak_from_this();
        later_.after(promptMs, [weak, number] {
            if (auto self = weak.lock())
                self->commandFinished(number, false);
        });
        return;
    }
    const std::weak_ptr<ShellSession> weak = weak_from_this();
    if (faults.alwaysOk) {
        // Nothing runs, and every status asked for is 0.
        if (line.simplified() == "echo CMDVAL: $?")
            sendConsole("CMDVAL: 0\n");
        interpreter_.state().lastStatus = 0;
        later_.after(promptMs, [weak, number] {
            if (auto self = weak.lock())
                self->commandFinished(number, false);
        });
        return;
    }
    interpreter_.execute(line, [weak, number](bool exitRequested) {
        if (auto self = weak.lock())
            self->commandFinished(number, exitRequested);
    });
}

void ShellSession::commandFinished(int number, bool exitRequested)
{
    // Never act inside the command's own call chain: the prompt follows on
    // the next turn of the controller's clock.
    const std::weak_ptr<ShellSession> weak = weak_from_this();
    later_.after(promptMs, [weak, number, exitRequested] {
        if (auto self = weak.lock())
            self->afterCommand(number, exitRequested);
    });
}

void ShellSession::afterCommand(int number, bool exitRequested)
{
    if (closed_)
        return;
    const FaultOptions& faults = engine_.controller().faults;
    if (exitRequested) {
        sendConsole("logout\n");
        closeAfterOutput();
        return;
    }
    if (faults.dropAfterCommands == number) {
        closeAfterOutput();
        return;
    }
    if (faults.resetAfterCommands == number) {
        reset();
        return;
    }
    sendPrompt();
    busy_ = false;
    pump();
}

void ShellSession::sendPrompt()
{
    const Controller& c = engine_.controller();
    const QByteArray cwd = interpreter_.state().cwd;
    // Every third prompt comes coloured, as a console with a coloured PS1.
    if (++prompts_ % 3 == 0)
        send("\x1b[1;32mroot@" + c.options.hostname + "\x1b[0m:\x1b[1;34m" + cwd + "\x1b[0m# ");
    else
        send("root@" + c.options.hostname + ":" + cwd + "# ");
}

void ShellSession::sendConsole(const QByteArray& text)
{
    QByteArray tty = text;
    tty.replace("\n", "\r\n");
    send(tty);
}

void ShellSession::send(const QByteArray& bytes)
{
    if (closed_ || bytes.isEmpty())
        return;
    spoken_ = true;
    const int delay = engine_.controller().faults.answerDelayMs;
    if (delay <= 0 && held_.isEmpty()) {
        if (sendToTool_)
            sendToTool_(bytes);
        return;
    }
    const quint64 sequence = nextSequence_++;
    held_.enqueue({sequence, bytes, false});
    const std::weak_ptr<ShellSession> weak = weak_from_this();
    later_.after(delay, [weak, sequence] {
        if (auto self = weak.lock())
            self->deliverUpTo(sequence);
    });
}

void ShellSession::closeAfterOutput()
{
    closing_ = true;
    if (held_.isEmpty()) {
        disconnect();
        return;
    }
    const quint64 sequence = nextSequence_++;
    held_.enqueue({sequence, {}, true});
    const std::weak_ptr<ShellSession> weak = weak_from_this();
    later_.after(engine_.controller().faults.answerDelayMs, [weak, sequence] {
        if (auto self = weak.lock())
            self->deliverUpTo(sequence);
    });
}

void ShellSession::deliverUpTo(quint64 sequence)
{
    const auto self = shared_from_this();
    while (!held_.isEmpty() && held_.head().sequence <= sequence && !closed_) {
        const Held h = held_.dequeue();
        if (h.close) {
            disconnect();
            return;
        }
        if (sendToTool_)
            sendToTool_(h.bytes);
    }
}

}  // namespace tarvo::simulator
