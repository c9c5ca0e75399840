// The two kinds of shell step that backup and restore are made of, and
// their error reporting.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <algorithm>

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
    const std::int64_t now = platform_.nowMs();
    if (transferStartedMs_ < 0 || progress.bytes < transferBytes_) {
        transferStartedMs_ = now;
        transferBytes_ = progress.bytes;
        return;
    }
    if (now <= transferStartedMs_)
        return;
    const double rate = (progress.bytes - transferBytes_) * 1000.0 / double(now - transferStartedMs_);
    // A complaint of the controller's on the label stays there.
    if (output_.hasComplaint())
        return;
    const QString step = progress.upload ? OperatorTexts::reading() : OperatorTexts::writing();
    setStatus(step + OperatorTexts::transferProgress(progress.bytes, progress.size, rate));
}

void Workflow::plainStep(const QByteArray& command)
{
    link_.sendLine(command);
    link_.waitMs(500);
}

void Workflow::showError(const QString& text)
{
    showMessage(text, platform::MessageIcon::Critical);
}

}  // namespace tarvo::workflow
