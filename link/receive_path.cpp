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
    Received_Lines.push_back(std::move(line));
}

void ControllerLink::Winsock1_DataArrival()
{
    const std::optional<QByteArray> data = socket_->getData();
    if (!data) {
        Disconnect_Network();
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
            const qsizetype room = kMaxLineLength - Partial_Line.size();
            const qsizetype take = std::min(room, to - from);
            Partial_Line.append(bytes + from, take);
            from += take;
            if (Partial_Line.size() >= kMaxLineLength)
                queueLine(std::exchange(Partial_Line, QByteArray()), logText);
        }
    };
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const auto code = static_cast<unsigned char>(bytes[i]);
        const bool dropped = code >= 14 && code <= 31;  // escape and other control characters
        if (!dropped && code != kLF && code != kCR)
            continue;
        appendRun(runStart, i);
        runStart = i + 1;
        if (code == kLF)
            queueLine(std::exchange(Partial_Line, QByteArray()), logText);
    }
    appendRun(runStart, size);
    if (!logText.isEmpty())
        controls_.appendLog(logText);
    if (Line_Timer_On && !Received_Lines.empty() && !timer2_->isEnabled())
        timer2_->setEnabled(true);
}

void ControllerLink::Timer2_Timer()
{
    // Every queued line is interpreted in arrival order, so the interpreter
    // keeps up with any burst; with nothing left the timer rests until the
    // next line arrives.
    while (!Received_Lines.empty()) {
        Current_Message = std::move(Received_Lines.front());
        Received_Lines.pop_front();
        Parse_Message();
    }
    timer2_->setEnabled(false);
}

void ControllerLink::Parse_Message()
{
    const QByteArray& line = Current_Message;
    if (startsWith(line, "RFV: ") || startsWith(line, "RPN: ") || startsWith(line, "R_343_FV: ")
        || startsWith(line, "R_343_PN: ") || startsWith(line, "R_MOD_FV: "))
        return;
    if (endsWith(line, "login: ")) {
        Login_Prompt_Seen = true;
        return;
    }
    if (startsWith(line, "tar:") && !Error_Reported) {
        controls_.setStatus(QString::fromLatin1(line));
        Error_Reported = true;
        return;
    }
    if (endsWith(line, "Handle") && !Error_Reported) {
        controls_.setStatus(QString::fromLatin1(line + Line_Terminator + "Call for service."));
        Error_Reported = true;
        return;
    }
    if (startsWith(line, "tftp:") && !Error_Reported) {
        controls_.setStatus(QString::fromLatin1(line));
        Error_Reported = true;
        return;
    }
    if (startsWith(line, "CMDVAL: ")) {
        std::int16_t value = 0;
        if (parseStatusValue(line.mid(8), value))
            Command_Return_Value = value;
    }
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
