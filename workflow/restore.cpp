// The restore: the controller fetches the archive from the PC's TFTP
// server and unpacks it over its root directory.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "pcside/backup_store.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

StepResult Run::stage()
{
    if (!stageArchiveToRestore())
        return transferError(Outcome::ControllerFailed,
                     OperatorTexts::stagingFailed(store_.folder() + QLatin1Char('/') + link_.peerAddress()));
    if (watch_.state() != pcside::ServerWatch::State::Ready)
        return transferError(Outcome::ControllerFailed, watch_.failure());
    return {};
}

StepResult Run::fetch()
{
    const QByteArray get = QByteArray("tftp -g -r ") + kArchiveName + ' ' + link_.localAddress().toLatin1();
    if (statusStep(get) != 0)
        return stepFailure(OperatorTexts::downloadError(QString::fromLatin1(kArchiveName), lastCode()),
                           StepKind::Transfer);
    return {};
}

StepResult Run::unpack()
{
    if (!output_.hasComplaint())
        setStatus(OperatorTexts::writing() + OperatorTexts::unpacking(last_.backup.bytes));
    plainStep("cd /");
    output_.setTarListing(true);
    const std::int16_t unpacked = statusStep(QByteArray("tar xvzf /media/") + kArchiveName);
    output_.setTarListing(false);
    if (unpacked != 0)
        return stepFailure(OperatorTexts::extractError(QString::fromLatin1(kArchiveName), lastCode()));
    return {};
}

StepResult Run::finishRestore()
{
    // A controller's error line on the label stays there.
    if (!output_.hasComplaint()) {
        setProgress(100);
        setStatus(OperatorTexts::restoreDone());
    }
    store_.clearPendingRestore();
    workflow_.setPhase(Phase::Backup);
    return {};
}

}  // namespace tarvo::workflow
