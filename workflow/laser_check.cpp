// Continue writes a backup only onto the laser it was made of, unless the
// operator chooses otherwise: the laser is known by its hardware address,
// read once the connection is up and before a line is sent.
#include "workflow/workflow.h"

#include "workflow/laser_texts.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

bool Workflow::laserMatchesBackup()
{
    outcome_ = Outcome::ArchiveUnusable;
    if (restoreSource_.isEmpty()) {
        restoreSource_ = store_.archiveToRestore(address_, identity_);
        if (restoreSource_.isEmpty() && identity_.kind == platform::ControllerIdentity::Kind::Unknown) {
            // Backed up elsewhere perhaps, but which laser this is cannot
            // be told: the operator names the backup.
            outcome_ = Outcome::OtherLaser;
            showError(LaserTexts::backupOfUnknownLaser(address_));
            return false;
        }
        if (restoreSource_.isEmpty()) {
            showError(commandName_.isEmpty()
                          ? OperatorTexts::noVerifiedBackup(LaserTexts::laser(address_, identity_))
                          : OperatorTexts::noVerifiedBackupCommand(LaserTexts::laser(address_, identity_),
                                                                   commandFor(Phase::Backup)));
            return false;
        }
        if (!checkRestoreSource())
            return false;
    }
    // What the archive's check found of it.
    const Backup& backup = lastBackup_;
    const pcside::LaserMatch match = pcside::compareLasers(backup.identity, identity_);
    if (match == pcside::LaserMatch::Same) {
        const QString same = LaserTexts::sameLaser(identity_, backup.controller, address_);
        appendLog(QStringLiteral("\r\n") + same);
        transcript_.add(pcside::Transcript::Source::Tool, same);
        return true;
    }
    if (confirmOtherLaser(match, backup))
        return true;
    outcome_ = Outcome::OtherLaser;
    setStatus(LaserTexts::notWritten());
    appendLog(QStringLiteral("\r\n[") + LaserTexts::notWritten() + QStringLiteral("]"));
    return false;
}

bool Workflow::confirmOtherLaser(pcside::LaserMatch match, const Backup& backup)
{
    const QString backupLaser = LaserTexts::laser(backup.controller.isEmpty() ? QStringLiteral("?") : backup.controller,
                                                  backup.identity);
    const QString time = pcside::BackupStore::shownTime(backup.time);
    const QString connected = LaserTexts::laser(address_, identity_);
    const bool other = match == pcside::LaserMatch::Other;
    bool write = false;
    switch (otherLaserPolicy_) {
    case OtherLaserPolicy::Ask:
        write = askQuestion(other ? LaserTexts::otherLaserQuestion(backupLaser, time, connected)
                                  : LaserTexts::cannotTellQuestion(backupLaser, time, connected),
                            LaserTexts::writeAnyway(), LaserTexts::doNotWrite());
        break;
    case OtherLaserPolicy::Refuse:
        showError(other ? LaserTexts::otherLaserRefused(backupLaser, time, connected)
                        : LaserTexts::cannotTellRefused(backupLaser, time, connected));
        break;
    case OtherLaserPolicy::Allow:
        // Only a backup the operator named: the newest at an address may
        // well be another laser's.
        write = !store_.chosenArchive().isEmpty();
        if (!write)
            showError(LaserTexts::otherLaserNeedsArchive(backupLaser, time, connected));
        break;
    }
    if (write) {
        // Whose backup went onto which laser, in the log, the transcript
        // and the summary.
        const QString written = LaserTexts::writingOntoOtherLaser(backupLaser, connected);
        appendLog(QStringLiteral("\r\n") + written);
        transcript_.add(pcside::Transcript::Source::Tool, written);
        recordProblems_ << written;
    }
    return write;
}

}  // namespace tarvo::workflow
