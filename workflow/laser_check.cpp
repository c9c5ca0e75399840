// Continue writes a backup only onto the laser it was made of, unless the
// operator chooses otherwise: the laser is known by its hardware address,
// read once the connection is up and before a line is sent.
#include "workflow/workflow.h"

#include "workflow/laser_texts.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

bool Workflow::laserMatchesBackup()
{
    last_.outcome = Outcome::ArchiveUnusable;
    if (restoreSource_.isEmpty()) {
        restoreSource_ = store_.archiveToRestore(address_, last_.identity);
        if (restoreSource_.isEmpty() && last_.identity.kind == platform::ControllerIdentity::Kind::Unknown) {
            // Backed up elsewhere perhaps, but which laser this is cannot
            // be told: the operator names the backup.
            last_.outcome = Outcome::OtherLaser;
            showError(LaserTexts::backupOfUnknownLaser(address_));
            return false;
        }
        if (restoreSource_.isEmpty()) {
            showError(options_.commandName.isEmpty()
                          ? OperatorTexts::noVerifiedBackup(LaserTexts::laser(address_, last_.identity))
                          : OperatorTexts::noVerifiedBackupCommand(LaserTexts::laser(address_, last_.identity),
                                                                   commandFor(Phase::Backup)));
            return false;
        }
        if (!checkRestoreSource())
            return false;
    }
    // What the archive's check found of it.
    const Backup& backup = last_.backup;
    const pcside::LaserMatch match = pcside::compareLasers(backup.identity, last_.identity);
    if (match == pcside::LaserMatch::Same) {
        const QString same = LaserTexts::sameLaser(last_.identity, backup.controller, address_);
        appendLog(QStringLiteral("\r\n") + same);
        transcript_.add(pcside::Transcript::Source::Tool, same);
        return true;
    }
    if (confirmOtherLaser(match, backup))
        return true;
    last_.outcome = Outcome::OtherLaser;
    setStatus(LaserTexts::notWritten());
    appendLog(QStringLiteral("\r\n[") + LaserTexts::notWritten() + QStringLiteral("]"));
    return false;
}

bool Workflow::confirmOtherLaser(pcside::LaserMatch match, const Backup& backup)
{
    const QString backupLaser = LaserTexts::laser(backup.controller.isEmpty() ? QStringLiteral("?") : backup.controller,
                                                  backup.identity);
    const QString time = pcside::BackupStore::shownTime(backup.time);
    const QString connected = LaserTexts::laser(address_, last_.identity);
    const bool other = match == pcside::LaserMatch::Other;
    bool write = false;
    switch (options_.otherLaserPolicy) {
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
        last_.recordProblems << written;
    }
    return write;
}

}  // namespace tarvo::workflow
