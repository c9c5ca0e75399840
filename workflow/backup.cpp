// The backup: the controller packs its configuration into the archive and
// puts it to the PC's TFTP server.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"
#include "workflow/shell_recording.h"
#include "workflow/tar_listing.h"

namespace tarvo::workflow {

StepResult Run::chooseTrees()
{
    // One test decides about all three directories. Only a clear "not
    // there" leaves them out: without an answer they are taken, so that a
    // tar that cannot find them fails loudly instead of a backup that
    // silently lacks the operator's profiles.
    treeDirectories_.clear();
    const auto profiles = statusStep(QByteArray("test -d ") + kProfilesDir + ";");
    if (profiles == 0 || profiles == link::ControllerLink::kNoStatus)
        treeDirectories_ = kArchiveDirectories;
    return {};
}

StepResult Run::pack()
{
    const QString archive = QString::fromLatin1(kArchiveName);
    const QByteArray tar = QByteArray("tar cvzf /media/") + kArchiveName + " zel/*.conf media/*.conf "
                           + treeDirectories_;
    laser_ = {};
    std::int16_t packed = 0;
    bool listingTooLong = false;
    {
        // A listing longer than any card's ends the step: the tool keeps no
        // more of it.
        const ShellRecording printed(link_, [this] { link_.abandonStep(); });
        output_.setTarListing(true);
        packed = statusStep(tar);
        output_.setTarListing(false);
        TarListing listing = tarListing(printed.lines(), tar);
        laser_.packed = std::move(listing.members);
        laser_.packedDoubt = std::move(listing.doubt);
        listingTooLong = printed.isFull();
    }
    if (listingTooLong)
        return transferError(Outcome::ControllerFailed,
                     OperatorTexts::archiveError(archive, lastCode()) + QLatin1Char('\n')
                         + OperatorTexts::listingTooLong(int(ShellRecording::kMaxLines),
                                                         int(ShellRecording::kMaxBytes >> 20)));
    if (packed != 0)
        return stepFailure(OperatorTexts::archiveError(archive, lastCode()));
    return {};
}

StepResult Run::upload()
{
    const QByteArray put = QByteArray("tftp -p -l ") + kArchiveName + ' ' + link_.localAddress().toLatin1();
    laser_.uploadsBeforePut = watch_.uploadsFrom(link_.peerAddress()).size();
    // A server that died since is noticed here, before the upload.
    if (watch_.state() != pcside::ServerWatch::State::Ready)
        return transferError(Outcome::ControllerFailed, watch_.failure());
    if (statusStep(put) != 0)
        return stepFailure(OperatorTexts::uploadError(QString::fromLatin1(kArchiveName), lastCode()),
                           StepKind::Transfer);
    return {};
}

StepResult Run::finishBackup()
{
    // The archive on the PC proved good: the instructions replace a
    // controller's error line on the label, which stays in the log.
    setProgress(100);
    const QString nl = QStringLiteral("\r\n");
    setStatus(OperatorTexts::swapStep1() + nl + OperatorTexts::swapStep2() + nl
              + (options().commandName.isEmpty() ? OperatorTexts::swapStep3()
                                                 : OperatorTexts::swapStep3Command(commandFor(Phase::Restore)))
              + nl + savedBackup_);
    workflow_.setPhase(Phase::Restore);
    return {};
}

}  // namespace tarvo::workflow
