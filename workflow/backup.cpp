// The backup: the controller packs its configuration into the archive and
// puts it to the PC's TFTP server.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"
#include "workflow/shell_recording.h"
#include "workflow/tar_listing.h"

namespace tarvo::workflow {

bool Workflow::backUpConfiguration()
{
    const QString archive = QString::fromLatin1(kArchiveName);
    appendLog(QStringLiteral("\r\n"));
    appendLog(QLatin1Char('[') + OperatorTexts::backupHolds() + QLatin1Char(']'));
    bool result = false;
    output_.reset();
    setProgress(0);
    QByteArray treeDirectories;

    if (watch_.state() == pcside::ServerWatch::State::Ready) {
        setStatus(OperatorTexts::reading());
        advanceProgress(kTransferProgress);
        if (statusStep(kRemount) != 0) {
            showStepError(OperatorTexts::remountError(lastCode()));
        } else {
            plainStep("cd /");
            // One test decides about all three directories. Only a clear
            // "not there" leaves them out: without an answer they are taken,
            // so that a tar that cannot find them fails loudly instead of a
            // backup that silently lacks the operator's profiles.
            const auto profiles = statusStep(QByteArray("test -d ") + kProfilesDir + ";");
            if (profiles == 0 || profiles == link::ControllerLink::kNoStatus)
                treeDirectories = kArchiveDirectories;
            const QByteArray tar = QByteArray("tar cvzf /media/") + kArchiveName + " zel/*.conf media/*.conf "
                                   + treeDirectories;
            LaserBackup laser;
            std::int16_t packed = 0;
            bool listingTooLong = false;
            {
                // A listing longer than any card's ends the step: the tool
                // keeps no more of it.
                const ShellRecording printed(link_, [this] { link_.abandonStep(); });
                output_.setTarListing(true);
                packed = statusStep(tar);
                output_.setTarListing(false);
                TarListing listing = tarListing(printed.lines(), tar);
                laser.packed = std::move(listing.members);
                laser.packedDoubt = std::move(listing.doubt);
                listingTooLong = printed.isFull();
            }
            if (listingTooLong) {
                showError(OperatorTexts::archiveError(archive, lastCode()) + QLatin1Char('\n')
                          + OperatorTexts::listingTooLong(int(ShellRecording::kMaxLines),
                                                          int(ShellRecording::kMaxBytes >> 20)));
            } else if (packed != 0) {
                showStepError(OperatorTexts::archiveError(archive, lastCode()));
            } else if (statusStep("sync") != 0) {
                showStepError(OperatorTexts::syncError(archive, lastCode()));
            } else {
                plainStep("cd /media");
                const QByteArray put = QByteArray("tftp -p -l ") + kArchiveName + ' '
                                       + link_.localAddress().toLatin1();
                laser.uploadsBeforePut = watch_.uploadsFrom(link_.peerAddress()).size();
                // A server that died since is noticed here, before the upload.
                if (watch_.state() != pcside::ServerWatch::State::Ready)
                    showError(watch_.failure());
                else if (statusStep(put) != 0)
                    showStepError(OperatorTexts::uploadError(archive, lastCode()), StepKind::Transfer);
                else
                    result = verifyBackup(laser);
            }
        }
    }

    // A controller's error line on the label stays there, unless the
    // archive on the PC proved good: then the instructions replace it and
    // the complaint stays in the log.
    if (result || !output_.hasComplaint()) {
        if (result) {
            setProgress(100);
            const QString nl = QStringLiteral("\r\n");
            setStatus(OperatorTexts::swapStep1() + nl + OperatorTexts::swapStep2() + nl
                      + (options_.commandName.isEmpty() ? OperatorTexts::swapStep3()
                                                : OperatorTexts::swapStep3Command(commandFor(Phase::Restore)))
                      + nl + savedBackup_);
        } else {
            setStatus(failedStatus(OperatorTexts::readingFailed()));
        }
    }
    return result;
}

}  // namespace tarvo::workflow
