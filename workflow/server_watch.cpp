#include "workflow/server_watch.h"

#include "workflow/operator_texts.h"

#include <QRegularExpression>

namespace tarvo::workflow {

void ServerWatch::begin(const QString& programPath)
{
    state_ = State::Starting;
    programPath_ = programPath;
    failure_.clear();
    lastLine_.clear();
    stored_.clear();
}

void ServerWatch::fail(const QString& text)
{
    if (state_ == State::Failed)
        return;
    state_ = State::Failed;
    failure_ = text;
}

void ServerWatch::readLine(const QString& raw)
{
    // Report lines carry a time stamp in front; the start-up line does not.
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
    QString line = raw;
    line.remove(stamp);
    if (line.isEmpty())
        return;
    lastLine_ = line;
    const QStringList words = line.split(QLatin1Char(' '));
    const QString& word = words.front();
    if (word == QLatin1String("READY") && state_ == State::Starting) {
        state_ = State::Ready;
    } else if (word == QLatin1String("FAILED") && words.size() >= 2) {
        const QString detail = line.section(QLatin1Char(' '), 2);
        if (words[1] == QLatin1String("port-in-use"))
            fail(OperatorTexts::serverPortInUse(detail));
        else if (words[1] == QLatin1String("permission"))
            fail(OperatorTexts::serverNoPermission(detail, programPath_));
        else if (words[1] == QLatin1String("folder-not-writable"))
            fail(OperatorTexts::serverFolderNotWritable(detail));
        else
            fail(OperatorTexts::serverDidNotStart(detail));
    } else if (word == QLatin1String("STORED") && words.size() >= 5) {
        bool ok = false;
        const qint64 bytes = words[1].toLongLong(&ok);
        if (ok)
            stored_.push_back({bytes, words[2].toLatin1(), words[3], line.section(QLatin1Char(' '), 4)});
    }
}

void ServerWatch::exited(int exitCode)
{
    if (state_ == State::Stopped || state_ == State::Failed)
        return;
    const QString words = lastLine_.isEmpty() ? QStringLiteral("exit code %1").arg(exitCode) : lastLine_;
    fail(state_ == State::Starting ? OperatorTexts::serverDidNotStart(words) : OperatorTexts::serverStopped(words));
}

std::optional<ServerWatch::Stored> ServerWatch::storedFrom(const QString& peer) const
{
    for (auto it = stored_.rbegin(); it != stored_.rend(); ++it)
        if (it->peer == peer)
            return *it;
    return std::nullopt;
}

}  // namespace tarvo::workflow
