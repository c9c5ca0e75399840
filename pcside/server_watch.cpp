#include "pcside/server_watch.h"

#include "pcside/pc_texts.h"

#include "tftp/status_lines.h"

#include <algorithm>
#include <iterator>

namespace tarvo::pcside {

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
    namespace status = tftp::status;
    const QString line = status::withoutTimeStamp(raw);
    if (line.isEmpty())
        return;
    lastLine_ = line;
    if (status::fieldsOf(line, status::kReady, 1) && state_ == State::Starting) {
        state_ = State::Ready;
    } else if (const auto failed = status::fieldsOf(line, status::kFailed, 2)) {
        const QString reason = failed->at(1).section(QLatin1Char(' '), 0, 0);
        const QString detail = failed->at(1).section(QLatin1Char(' '), 1);
        if (reason == QLatin1String(status::kPortInUse))
            fail(PcTexts::serverPortInUse(detail));
        else if (reason == QLatin1String(status::kPermission))
            fail(PcTexts::serverNoPermission(detail, programPath_));
        else if (reason == QLatin1String(status::kFolderNotWritable))
            fail(PcTexts::serverFolderNotWritable(detail));
        else
            fail(PcTexts::serverDidNotStart(detail));
    } else if (const auto stored = status::fieldsOf(line, status::kStored, 5)) {
        bool ok = false;
        const qint64 bytes = stored->at(1).toLongLong(&ok);
        if (ok)
            stored_.push_back({bytes, stored->at(2).toLatin1(), stored->at(3), stored->at(4)});
    } else if (const auto progress = status::fieldsOf(line, status::kProgress, 6)) {
        bool ok = false;
        Progress p;
        p.upload = progress->at(1) == QLatin1String(status::kPut);
        p.bytes = progress->at(2).toLongLong(&ok);
        p.size = progress->at(3) == QLatin1String(status::kUnknownSize) ? -1 : progress->at(3).toLongLong();
        p.peer = progress->at(4);
        p.path = progress->at(5);
        if (ok && onProgress)
            onProgress(p);
    }
}

void ServerWatch::exited(int exitCode)
{
    if (state_ == State::Stopped || state_ == State::Failed)
        return;
    const QString words = lastLine_.isEmpty() ? QStringLiteral("exit code %1").arg(exitCode) : lastLine_;
    fail(state_ == State::Starting ? PcTexts::serverDidNotStart(words) : PcTexts::serverStopped(words));
}

std::optional<ServerWatch::Stored> ServerWatch::storedFrom(const QString& peer) const
{
    for (auto it = stored_.rbegin(); it != stored_.rend(); ++it)
        if (it->peer == peer)
            return *it;
    return std::nullopt;
}

std::vector<ServerWatch::Stored> ServerWatch::uploadsFrom(const QString& peer) const
{
    std::vector<Stored> from;
    std::copy_if(stored_.begin(), stored_.end(), std::back_inserter(from),
                 [&peer](const Stored& s) { return s.peer == peer; });
    return from;
}

}  // namespace tarvo::pcside
