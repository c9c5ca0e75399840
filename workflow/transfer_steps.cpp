// The two kinds of shell step that backup and restore are made of, and
// their failures.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "workflow/failure_texts.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <algorithm>
#include <cmath>

namespace tarvo::workflow {

StepResult Run::beginTransfer(bool backup)
{
    appendLog(QStringLiteral("\r\n"));
    if (backup)
        appendLog(QLatin1Char('[') + OperatorTexts::backupHolds() + QLatin1Char(']'));
    output_.reset();
    setProgress(0);
    if (watch_.state() == pcside::ServerWatch::State::Ready)
        return {};
    return Failure{.outcome = Outcome::ControllerFailed, .status = transferFailed(), .complaintStays = true};
}

std::int16_t Run::statusStep(const QByteArray& command)
{
    // A big configuration on a slow controller takes minutes; the step ends
    // on silence, not on work. sync prints nothing while it flushes.
    const int silent = command == "sync" ? kSyncSilentSeconds : kTransferStatusSeconds;
    const std::int16_t status = link_.runCommandWhileAlive(command, silent, kTransferCeilingSeconds, kTransferProgress);
    if (status == link::ControllerLink::kNoStatus) {
        if (link_.lastGiveUp() == link::ControllerLink::GiveUp::Silence)
            record_.note(OperatorTexts::controllerSilent(link_.silentForMs() / 1000.0));
        else if (link_.lastGiveUp() == link::ControllerLink::GiveUp::Ceiling)
            record_.note(OperatorTexts::stepCeiling(kTransferCeilingSeconds / 60));
    }
    return status;
}

void Run::showTransferProgress(const pcside::ServerWatch::Progress& progress)
{
    // Only this run's controller; a report is a sign of life of its step.
    if (progress.peer != link_.peerAddress())
        return;
    link_.noteSignOfLife();
    // The rate is measured from the first report of this transfer on.
    const std::int64_t now = platform_.eventLoop().nowMs();
    if (transferStartedMs_ < 0 || progress.bytes < transferBytes_) {
        transferStartedMs_ = now;
        transferBytes_ = progress.bytes;
    }
    // A complaint of the controller's on the label stays there.
    if (output_.hasComplaint())
        return;
    const QString step = progress.upload ? OperatorTexts::reading() : OperatorTexts::writing();
    if (!progress.upload && progress.size > 0 && progress.bytes >= progress.size) {
        setStatus(step + OperatorTexts::unpacking(progress.size));
        return;
    }
    // A rate measured over less than a second says little; a stalled
    // transfer has no time left that anyone knows.
    const std::int64_t elapsed = now - transferStartedMs_;
    const double rate = elapsed >= 1000 ? (progress.bytes - transferBytes_) * 1000.0 / double(elapsed) : -1;
    const int left = rate > 0 && progress.size > 0 ? int(std::ceil((progress.size - progress.bytes) / rate)) : -1;
    setStatus(step + OperatorTexts::transferProgress(progress.bytes, progress.size, rate, left));
}

void Run::plainStep(const QByteArray& command)
{
    link_.sendLine(command);
    link_.waitMs(500);
}

int Run::lastCode() const
{
    return link_.lastStatus();
}

Failure Run::error(Outcome outcome, const QString& text, const QString& status) const
{
    return {.outcome = outcome, .message = text, .reason = text, .status = status};
}

Failure Run::transferError(Outcome outcome, const QString& text) const
{
    Failure failure = error(outcome, text, transferFailed());
    failure.complaintStays = true;
    return failure;
}

QString Run::transferFailed() const
{
    return phase() == Phase::Backup ? OperatorTexts::readingFailed() : OperatorTexts::writingFailed();
}

Failure Run::stepFailure(const QString& text, StepKind kind) const
{
    QString cause;
    if (link_.wasConnectionLost())
        cause = FailureTexts::linkLost();
    else if (lastCode() == link::ControllerLink::kNoStatus)
        cause = FailureTexts::noAnswerToStep();
    else if (kind == StepKind::Transfer)
        cause = FailureTexts::transferFailed(lastCode());
    else if (options().commandName.isEmpty())
        cause = FailureTexts::commandFailed(lastCode());
    else
        cause = FailureTexts::printedInTranscript(lastCode());
    const QString again = commandFor(phase());
    QString next;
    if (phase() == Phase::Backup)
        next = again.isEmpty() ? FailureTexts::retryBackup() : FailureTexts::retryBackupCommand(again);
    else
        next = again.isEmpty() ? FailureTexts::retryRestore() : FailureTexts::retryRestoreCommand(again);
    Failure failure = transferError(Outcome::ControllerFailed, text + QLatin1Char('\n') + cause + QLatin1Char(' ') + next);
    failure.reason = cause + QLatin1Char(' ') + next;
    return failure;
}

QString Run::commandFor(Phase phase) const
{
    if (options().commandName.isEmpty())
        return {};
    return QStringLiteral("%1 %2 %3").arg(options().commandName,
                                         phase == Phase::Backup ? QStringLiteral("--backup") : QStringLiteral("--restore"),
                                         address_);
}

}  // namespace tarvo::workflow
