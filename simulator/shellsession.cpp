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
// The line editor's query for the cursor's position, behind a prompt.
constexpr char cursorQuery[] = "\x1b[6n";

// Columns the text takes on the terminal: escape sequences take none.
int visibleWidth(const QByteArray& text)
{
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
            i += 2;
            while (i < text.size() && (uchar(text[i]) < 0x40 || uchar(text[i]) > 0x7e))
                ++i;
            continue;
        }
        ++width;
    }
    return width;
}

// Whether the line editor shows the byte, in one column: it counts bytes,
// as busybox does without a UTF-8 locale.
bool isVisible(char c)
{
    return uchar(c) >= 0x20 && c != '\x7f';
}

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
    const bool tty = terminal();
    QByteArray echo;
    for (char c : fromTool) {
        // On the terminal CR and LF are each an Enter; the plain console
        // ends a line at CR LF once.
        const bool lineEnd = c == '\r' || (c == '\n' && (tty || !lastWasCR_));
        lastWasCR_ = c == '\r';
        if (lineEnd) {
            if (tty)
                echoLineEnd(echo);
            if (partialTooLong_)
                lines_.enqueue({QByteArray(), true, editing_});
            else
                lines_.enqueue({partial_, false, editing_});
            partial_.clear();
            partialTooLong_ = false;
            editing_ = false;
        }
        if (c == '\r' || c == '\n' || c == '\0' || partialTooLong_)
            continue;
        if (c == '\x7f' || c == '\b') {
            if (tty)
                echoErase(echo);
            partial_.chop(1);
            continue;
        }
        if (partial_.size() >= maxLineBytes) {
            partialTooLong_ = true;
            partial_ = QByteArray();  // gives the memory back
            continue;
        }
        if (tty)
            echoByte(c, echo);
        partial_ += c;
    }
    // The echo comes as the bytes do, before the shell acts on them.
    send(echo);
    pump();
}

bool ShellSession::terminal() const
{
    return !engine_.controller().options.plainConsole;
}

int ShellSession::columns() const
{
    return qMax(1, engine_.controller().options.consoleColumns);
}

ShellSession::Echo ShellSession::echoNow() const
{
    if (stage_ == Stage::Login)
        // A console without a login prompt shows nothing at all.
        return engine_.controller().faults.noLoginPrompt ? Echo::None : Echo::Terminal;
    if (editing_)
        return Echo::Editor;
    // Input that comes while the shell has a line to run is not echoed by
    // the terminal: the editor had it turned off then.
    return busy_ ? Echo::Terminal : Echo::None;
}

void ShellSession::echoByte(char c, QByteArray& out)
{
    switch (echoNow()) {
    case Echo::None:
        return;
    case Echo::Editor:
        // The editor shows no control characters.
        if (isVisible(c))
            editorType(QByteArray(1, c), out);
        return;
    case Echo::Terminal:
        if (uchar(c) < 0x20 && c != '\t') {
            out += '^';
            out += char(c + 0x40);
        } else {
            out += c;
        }
        return;
    }
}

void ShellSession::echoErase(QByteArray& out)
{
    if (partial_.isEmpty())
        return;
    const bool visible = isVisible(partial_.back()) || partial_.back() == '\t';
    switch (echoNow()) {
    case Echo::None:
        return;
    case Echo::Terminal:
        // A control character was shown as two, ^ and a letter.
        out += visible ? "\b \b" : "\b \b\b \b";
        return;
    case Echo::Editor:
        if (!isVisible(partial_.back()))
            return;
        if (column_ > 0) {
            --column_;
            out += "\b";
        } else {
            // Back to the end of the line above.
            column_ = columns() - 1;
            out += "\r\x1b[1A";
            if (column_ > 0)
                out += "\x1b[" + QByteArray::number(column_) + "C";
        }
        out += "\x1b[J";
        return;
    }
}

void ShellSession::echoLineEnd(QByteArray& out)
{
    switch (echoNow()) {
    case Echo::None:
        return;
    case Echo::Terminal:
        out += "\r\n";
        return;
    case Echo::Editor:
        editorEnter(partial_.isEmpty() && !partialTooLong_, out);
        return;
    }
}

void ShellSession::editorType(const QByteArray& text, QByteArray& out)
{
    const int width = columns();
    for (char c : text) {
        if (!isVisible(c))
            continue;
        out += c;
        // The last column filled: on to the next line at once.
        if (++column_ >= width) {
            out += "\r\r\n";
            column_ = 0;
        }
    }
}

void ShellSession::editorEnter(bool emptyLine, QByteArray& out)
{
    // A line that ended at the right margin is on its next line already.
    if (emptyLine || column_ != 0)
        out += "\r\n";
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
    const bool tty = terminal();
    while (!busy_ && !closed_ && !closing_ && !lines_.isEmpty()) {
        const InputLine line = lines_.dequeue();
        if (tty && stage_ == Stage::Shell && !line.echoed) {
            // Typed ahead: the editor shows it behind the prompt as it reads it.
            QByteArray echo;
            editorType(line.text, echo);
            editorEnter(line.text.isEmpty() && !line.tooLong, echo);
            send(echo);
        }
        if (line.tooLong)
            refuseLongLine();
        else if (stage_ == Stage::Login)
            handleLoginLine(line.text);
        else
            handleShellLine(line.text);
    }
    if (tty && stage_ == Stage::Shell && !busy_ && !closed_ && !closing_ && !editing_) {
        // At the prompt with no whole line waiting: the editor takes over,
        // showing what has come of the next line.
        editing_ = true;
        QByteArray echo;
        editorType(partial_, echo);
        send(echo);
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
    // On the terminal the line's echo came as it was typed, line end and all.
    const bool tty = terminal();
    if (line.trimmed().isEmpty()) {
        send(tty ? prompt.mid(2) : prompt);
        return;
    }
    if (!tty)
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
            self->send("\r\n\r\nBusyBox v1.35.0 (Debian 1:1.35.0-4+deb12u1+b1) built-in shell (ash)\r\n"
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
    if (!terminal())
        send(line + "\r\n");
    // An empty line runs nothing and leaves $? as it was.
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
    const bool tty = terminal();
    // The plain console colours every third prompt, as a console with a
    // coloured PS1; the controller's PS1 is plain.
    QByteArray prompt = !tty && ++prompts_ % 3 == 0
                            ? "\x1b[1;32mroot@" + c.options.hostname + "\x1b[0m:\x1b[1;34m" + cwd + "\x1b[0m# "
                            : "root@" + c.options.hostname + ":" + cwd + "# ";
    if (tty) {
        editing_ = false;
        column_ = visibleWidth(prompt) % columns();
        // The editor asks where the cursor is, unless input is waiting
        // already (its answer would land amid that input).
        if (lines_.isEmpty() && partial_.isEmpty() && !partialTooLong_)
            prompt += cursorQuery;
    }
    send(prompt);
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
