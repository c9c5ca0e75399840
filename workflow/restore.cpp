// The restore: the controller fetches the archive from the PC's TFTP
// server and unpacks it over its root directory.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

bool Workflow::restoreConfiguration()
{
    const QString archive = QString::fromLatin1(kArchiveName);
    appendLog(QStringLiteral("\r\n"));
    bool result = false;
    output_.reset();
    setProgress(0);

    if (watch_.state() == pcside::ServerWatch::State::Ready) {
        setStatus(OperatorTexts::writing());
        advanceProgress(kTransferProgress);
        if (statusStep(kRemount) != 0) {
            showStepError(OperatorTexts::remountError(lastCode()));
        } else if (!stageArchiveToRestore()) {
            showError(OperatorTexts::stagingFailed(store_.folder() + QLatin1Char('/') + link_.peerAddress()));
        } else if (watch_.state() != pcside::ServerWatch::State::Ready) {
            showError(watch_.failure());
        } else {
            plainStep("cd /media");
            const QByteArray get = QByteArray("tftp -g -r ") + kArchiveName + ' '
                                   + link_.localAddress().toLatin1();
            if (statusStep(get) != 0) {
                showStepError(OperatorTexts::downloadError(archive, lastCode()), StepKind::Transfer);
            } else if (statusStep("sync") != 0) {
                showStepError(OperatorTexts::syncError(archive, lastCode()));
            } else {
                if (!output_.hasComplaint())
                    setStatus(OperatorTexts::writing() + OperatorTexts::unpacking(last_.backup.bytes));
                plainStep("cd /");
                output_.setTarListing(true);
                const std::int16_t unpacked = statusStep(QByteArray("tar xvzf /media/") + kArchiveName);
                output_.setTarListing(false);
                if (unpacked != 0)
                    showStepError(OperatorTexts::extractError(archive, lastCode()));
                else if (statusStep("sync") != 0)
                    showStepError(OperatorTexts::syncAfterExtractError(lastCode()));
                else
                    result = true;
            }
        }
    }

    if (!output_.hasComplaint()) {
        if (result) {
            setProgress(100);
            setStatus(OperatorTexts::restoreDone());
        } else {
            setStatus(failedStatus(OperatorTexts::writingFailed()));
        }
    }
    return result;
}

}  // namespace tarvo::workflow
