// Continue writes a backup only onto the laser it was made of, unless the
// operator chooses otherwise: the laser is known by its hardware address,
// read once the connection is up and before a line is sent.
#include "workflow/run.h"

#include "pcside/backup_store.h"
#include "workflow/laser_texts.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

StepResult Run::checkLaser()
{
    const platform::ControllerIdentity& identity = last_.identity;
    if (restoreSource_.isEmpty()) {
        restoreSource_ = store_.archiveToRestore(address_, identity);
        // Backed up elsewhere perhaps, but which laser this is cannot be
        // told: the operator names the backup.
        if (restoreSource_.isEmpty() && identity.kind == platform::ControllerIdentity::Kind::Unknown)
            return error(Outcome::OtherLaser, LaserTexts::backupOfUnknownLaser(address_));
        if (restoreSource_.isEmpty())
            return error(Outcome::ArchiveUnusable,
                         options().commandName.isEmpty()
                             ? OperatorTexts::noVerifiedBackup(LaserTexts::laser(address_, identity))
                             : OperatorTexts::noVerifiedBackupCommand(LaserTexts::laser(address_, identity),
                                                                      commandFor(Phase::Backup)),
                         OperatorTexts::writingFailed());
        if (StepResult failure = checkRestoreSource())
            return failure;
    }
    // What the archive's check found of it.
    const Workflow::Backup& backup = last_.backup;
    const pcside::LaserMatch match = pcside::compareLasers(backup.identity, identity);
    if (match != pcside::LaserMatch::Same)
        return confirmOtherLaser(match, backup);
    record_.line(LaserTexts::sameLaser(identity, backup.controller, address_), true);
    return {};
}

StepResult Run::confirmOtherLaser(pcside::LaserMatch match, const Workflow::Backup& backup)
{
    const QString backupLaser = LaserTexts::laser(backup.controller.isEmpty() ? QStringLiteral("?") : backup.controller,
                                                  backup.identity);
    const QString time = pcside::BackupStore::shownTime(backup.time);
    const QString connected = LaserTexts::laser(address_, last_.identity);
    const bool other = match == pcside::LaserMatch::Other;
    // Not written: the box (the terminal's) says why, the status says so.
    Failure notWritten{.outcome = Outcome::OtherLaser, .status = LaserTexts::notWritten(), .note = LaserTexts::notWritten()};
    switch (options().otherLaserPolicy) {
    case OtherLaserPolicy::Ask:
        if (!askQuestion(other ? LaserTexts::otherLaserQuestion(backupLaser, time, connected)
                               : LaserTexts::cannotTellQuestion(backupLaser, time, connected),
                         LaserTexts::writeAnyway(), LaserTexts::doNotWrite()))
            return notWritten;
        break;
    case OtherLaserPolicy::Refuse:
        notWritten.message = other ? LaserTexts::otherLaserRefused(backupLaser, time, connected)
                                   : LaserTexts::cannotTellRefused(backupLaser, time, connected);
        return notWritten;
    case OtherLaserPolicy::Allow:
        // Only a backup the operator named: the newest at an address may
        // well be another laser's.
        if (store_.chosenArchive().isEmpty()) {
            notWritten.message = LaserTexts::otherLaserNeedsArchive(backupLaser, time, connected);
            return notWritten;
        }
        break;
    }
    // Whose backup went onto which laser, in the log, the transcript and
    // the summary.
    const QString written = LaserTexts::writingOntoOtherLaser(backupLaser, connected);
    record_.line(written, true);
    last_.recordProblems << written;
    return {};
}

}  // namespace tarvo::workflow
