// The two kinds of shell step that backup and restore are made of, and
// their error reporting.
#include "workflow/workflow.h"

#include "workflow/failure_texts.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <algorithm>
#include <cmath>

namespace tarvo::workflow {

std::int16_t Workflow::statusStep(const QByteArray& command)
{
    // A big configuration on a slow controller takes minutes; the step ends
    // on silence, not on work. sync prints nothing while it flushes.
    const int silent = command == "sync" ? kSyncSilentSeconds : kTransferStatusSeconds;
    const std::int16_t status = link_.runCommandWhileAlive(command, silent, kTransferCeilingSeconds, kTransferProgress);
    if (status == link::ControllerLink::kNoStatus) {
        if (link_.lastGiveUp() == link::ControllerLink::GiveUp::Silence)
            appendLog(QStringLiteral("\r\n[") + OperatorTexts::controllerSilent(link_.silentForMs() / 1000.0)
                      + QStringLiteral("]"));
        else if (link_.lastGiveUp() == link::ControllerLink::GiveUp::Ceiling)
            appendLog(QStringLiteral("\r\n[") + OperatorTexts::stepCeiling(kTransferCeilingSeconds / 60)
                      + QStringLiteral("]"));
    }
    return status;
}

void Workflow::showTransferProgress(const pcside::ServerWatch::Progress& progress)
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

void Workflow::plainStep(const QByteArray& command)
{
    link_.sendLine(command);
    link_.waitMs(500);
}

void Workflow::showError(const QString& text)
{
    failureReason_ = text;
    showMessage(text, MessageIcon::Critical);
}

void Workflow::showStepError(const QString& text, StepKind kind)
{
    QString cause;
    if (link_.wasConnectionLost())
        cause = FailureTexts::linkLost();
    else if (lastCode() == link::ControllerLink::kNoStatus)
        cause = FailureTexts::noAnswerToStep();
    else if (kind == StepKind::Transfer)
        cause = FailureTexts::transferFailed(lastCode());
    else if (commandName_.isEmpty())
        cause = FailureTexts::commandFailed(lastCode());
    else
        cause = FailureTexts::printedInTranscript(lastCode());
    const QString again = commandFor(phase_);
    QString next;
    if (phase_ == Phase::Backup)
        next = again.isEmpty() ? FailureTexts::retryBackup() : FailureTexts::retryBackupCommand(again);
    else
        next = again.isEmpty() ? FailureTexts::retryRestore() : FailureTexts::retryRestoreCommand(again);
    showError(text + QLatin1Char('\n') + cause + QLatin1Char(' ') + next);
    failureReason_ = cause + QLatin1Char(' ') + next;
}

QString Workflow::commandFor(Phase phase) const
{
    if (commandName_.isEmpty())
        return {};
    return QStringLiteral("%1 %2 %3").arg(commandName_, phase == Phase::Backup ? QStringLiteral("--backup")
                                                                             : QStringLiteral("--restore"),
                                         address_);
}

QString Workflow::failedStatus(const QString& text) const
{
    return failureReason_.isEmpty() ? text : text + QStringLiteral("\r\n") + failureReason_;
}

}  // namespace tarvo::workflow
