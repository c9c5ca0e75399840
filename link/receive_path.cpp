// Everything the controller sends: cut into lines, logged at once, queued,
// and interpreted by the line timer.
#include "link/controller_link.h"

#include <algorithm>

namespace tarvo::link {

namespace {
constexpr char kLF = 10;
constexpr char kCR = 13;

bool startsWith(const QByteArray& line, const char* text)
{
    return line.startsWith(text);
}

bool endsWith(const QByteArray& line, const char* text)
{
    return line.endsWith(text);
}
}  // namespace

void ControllerLink::queueLine(QByteArray line, QString& logText)
{
    // The log shows each line after a line break, so it begins with an
    // empty line. Bytes map one to one onto characters.
    logText += QStringLiteral("\r\n");
    logText += QString::fromLatin1(line);
    // Any line is a sign that the controller is at work.
    lastSignOfLifeMs_ = events_.nowMs();
    queuedLines_.push_back(std::move(line));
}

void ControllerLink::readIncoming()
{
    const std::optional<QByteArray> data = socket_->readAll();
    if (!data) {
        disconnectFromController();
        return;
    }
    // The whole block is logged with one append, however many lines it
    // holds, so a burst never copies the log once per line.
    QString logText;
    const char* bytes = data->constData();
    const qsizetype size = data->size();
    // Runs of ordinary characters are appended in one piece; the line is
    // cut where a peer never ends it.
    const auto appendRun = [&](qsizetype from, qsizetype to) {
        while (from < to) {
            const qsizetype room = kMaxLineLength - partialLine_.size();
            const qsizetype take = std::min(room, to - from);
            partialLine_.append(bytes + from, take);
            from += take;
            if (partialLine_.size() >= kMaxLineLength)
                queueLine(std::exchange(partialLine_, QByteArray()), logText);
        }
    };
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto code = static_cast<unsigned char>(bytes[i]);
        // Terminal escape sequences (colours, cursor queries, titles) and
        // other control characters never reach a line.
        const bool dropped = swallowEscape(code) || (code >= 14 && code <= 31);
        if (!dropped && code != kLF && code != kCR)
            continue;
        appendRun(runStart, i);
        runStart = i + 1;
        if (code == kLF)
            queueLine(std::exchange(partialLine_, QByteArray()), logText);
    }
    appendRun(runStart, size);
    if (!logText.isEmpty())
        emit textReceived(logText);
    // A backlog is worked through at once, in order, rather than held:
    // a flood of short lines would otherwise pile up between ticks.
    if (queuedLines_.size() > kMaxQueuedLines)
        interpretQueuedLines();
    if (lineTimerOn_ && !queuedLines_.empty() && !lineTimer_->isEnabled())
        lineTimer_->setEnabled(true);
}

bool ControllerLink::swallowEscape(unsigned char c)
{
    constexpr unsigned char kEsc = 27;
    constexpr unsigned char kBel = 7;
    // A line end always ends a sequence and is kept, so that a broken
    // sequence can never swallow lines.
    if (c == kLF || c == kCR) {
        escape_ = Escape::None;
        return false;
    }
    switch (escape_) {
    case Escape::None:
        if (c != kEsc)
            return false;
        escape_ = Escape::Start;
        return true;
    case Escape::Start:
        escape_ = c == '[' ? Escape::Csi : c == ']' ? Escape::Osc : Escape::None;
        return true;
    case Escape::Csi:
        // Parameters and intermediates run up to a final byte.
        if (c < 0x20 || c > 0x3f)
            escape_ = Escape::None;
        return true;
    case Escape::Osc:
        if (c == kBel)
            escape_ = Escape::None;
        else if (c == kEsc)
            escape_ = Escape::OscEnd;
        return true;
    case Escape::OscEnd:
        escape_ = Escape::None;
        return true;
    }
    return false;
}

void ControllerLink::interpretQueuedLines()
{
    // Every queued line is interpreted in arrival order, so the interpreter
    // keeps up with any burst; with nothing left the timer rests until the
    // next line arrives.
    while (!queuedLines_.empty()) {
        const QByteArray line = std::move(queuedLines_.front());
        queuedLines_.pop_front();
        const bool beforeRequest = linesBeforeRequest_ > 0;
        if (beforeRequest)
            --linesBeforeRequest_;
        interpretLine(line, beforeRequest);
    }
    lineTimer_->setEnabled(false);
}

bool isVersionReport(const QByteArray& line)
{
    return startsWith(line, "RFV: ") || startsWith(line, "RPN: ") || startsWith(line, "R_343_FV: ")
           || startsWith(line, "R_343_PN: ") || startsWith(line, "R_MOD_FV: ");
}

void ControllerLink::interpretLine(const QByteArray& line, bool beforeRequest)
{
    if (isVersionReport(line))
        return;
    if (endsWith(line, "login: ")) {
        loginPromptSeen_ = true;
        return;
    }
    emit lineReceived(line);
    matchAnswer(line, beforeRequest);
}

bool parseStatusValue(const QByteArray& text, std::int16_t& value)
{
    const QByteArray t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+'))
        negative = t[i++] == '-';
    if (i == t.size())
        return false;
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        v = v * 10 + (t[i] - '0');
        if (v > 32768)
            return false;
    }
    if (negative)
        v = -v;
    if (v < -32768 || v > 32767)
        return false;
    value = static_cast<std::int16_t>(v);
    return true;
}

}  // namespace tarvo::link
