#include "fake_shell.h"

namespace tarvo::test {

namespace {
const QByteArray kPrompt = "root@laser:/# ";
const QByteArray kLogin = "laser login: ";
}

FakeShell::FakeShell(platform::VirtualPlatform& platform, platform::VirtualSocket& socket)
    : platform_(platform), socket_(socket)
{
    socket_.onConnectRequested = [this](platform::VirtualSocket& s) {
        s.completeConnectAt(platform_.nowMs() + 1);
        loggedIn = false;
        confirmed_ = false;
        buffer_.clear();
        if (promptOnConnect)
            s.deliverAt(platform_.nowMs() + 2, "\x1b[0mTarvo laser controller\r\n\r\n" + kLogin);
    };
    socket_.onPeerReceive = [this](const QByteArray& data) {
        buffer_ += data;
        for (;;) {
            const auto end = buffer_.indexOf("\r\n");
            if (end < 0)
                return;
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 2);
            lines.append(line);
            lineTimes.append(platform_.nowMs());
            onLine(line);
        }
    };
}

QList<QByteArray> FakeShell::afterLogin() const
{
    return rootIndex_ < 0 ? QList<QByteArray>() : lines.mid(rootIndex_ + 1);
}

QList<QByteArray> FakeShell::linesFrom(std::int64_t fromMs, std::int64_t untilMs) const
{
    QList<QByteArray> chosen;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lineTimes[i] >= fromMs && lineTimes[i] < untilMs)
            chosen.append(lines[i]);
    return chosen;
}

void FakeShell::say(const QByteArray& text)
{
    socket_.deliverAt(platform_.nowMs() + answerDelayMs, text);
}

void FakeShell::onLine(const QByteArray& line)
{
    if (!loggedIn) {
        if (line == "root") {
            loggedIn = true;
            rootIndex_ = int(lines.size()) - 1;
            say("root\r\n\x1b[1;32m" + kPrompt + "\x1b[0m");
        } else if (line.isEmpty()) {
            if (answerEmptyLines)
                say("\r\n" + kLogin);
        } else {
            say(line + "\r\nLogin incorrect\r\n" + kLogin);
        }
        return;
    }
    if (onCommand)
        onCommand(line);
    if (line == "echo CMDVAL: $?" && scripted.contains(lastCommand_))
        return;
    if (line == "echo CMDVAL: $?") {
        // The request is echoed like every line, but never answered: the
        // terminal echoes it at once while the command still works.
        if (silentAfter.contains(lastCommand_)) {
            say(line + "\r\n");
            unreadRequest_ = true;
            return;
        }
        int value = lastStatus_;
        if (!confirmed_ && lastCommand_.isEmpty()) {
            value = confirmationStatus;
            confirmed_ = true;
        }
        say(line + "\r\nCMDVAL: " + QByteArray::number(value) + "\r\n" + kPrompt);
        return;
    }
    // A shell that gets over a silent command reads the request typed ahead
    // before the next command: behind its prompt, answered late.
    if (unreadRequest_) {
        unreadRequest_ = false;
        say(kPrompt + "echo CMDVAL: $?\r\nCMDVAL: " + QByteArray::number(lastStatus_) + "\r\n" + kPrompt);
    }
    lastCommand_ = line;
    if (statusSequence.contains(line) && !statusSequence[line].isEmpty())
        lastStatus_ = statusSequence[line].takeFirst();
    else
        lastStatus_ = status.value(line, 0);
    if (lastStatus_ == 0 && line.startsWith("tftp -p ") && onUpload)
        onUpload();
    if (scripted.contains(line))
        return;
    QByteArray listing;
    if (line.startsWith("tar cvzf "))
        for (const QByteArray& member : packed)
            listing += member + "\r\n";
    say(line + "\r\n" + listing + output.value(line) + (silentAfter.contains(line) ? QByteArray() : kPrompt));
}

}  // namespace tarvo::test
