// The archives of a run: the check of the upload a backup received and
// its place in the history, and the check and staging of the archive a
// restore sends.
#include "workflow/workflow.h"

#include "pcside/archive_check.h"
#include "workflow/laser_texts.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

bool Workflow::verifyBackup(const LaserBackup& laser)
{
    const QString controller = link_.peerAddress();
    const std::optional<pcside::ServerWatch::Stored> stored = laser.upload(watch_.uploadsFrom(controller));
    QString problem;
    pcside::ArchiveReport report;
    if (!stored) {
        problem = OperatorTexts::noUploadReceived();
    } else {
        if (!output_.hasComplaint())
            setStatus(OperatorTexts::reading() + OperatorTexts::checkingBackup(stored->bytes));
        report = pcside::checkArchiveFile(platform_.fileSystem(), stored->path);
        if (!report.found)
            problem = OperatorTexts::uploadChanged();
        else if (report.sha256.isEmpty())  // refused unread: too large, or no ordinary file
            problem = report.problem;
        else if (report.bytes != stored->bytes || report.sha256 != stored->sha256)
            problem = OperatorTexts::uploadChanged();
        else if (!report.usable)
            problem = report.problem;
    }
    // The server's lines kept coming while the file was read: a second
    // upload from the controller's address, seen before or during the
    // check, leaves no telling which is the laser's.
    if (const QString extra = extraUploads(watch_.uploadsFrom(controller), controller); !extra.isEmpty())
        problem = extra;
    else if (problem.isEmpty() && !laser.packedDoubt.isEmpty())
        problem = laser.packedDoubt;
    else if (problem.isEmpty())
        problem = membersDiffer(report.members, laser.packed);
    if (!problem.isEmpty()) {
        outcome_ = Outcome::BackupUnverified;
        showError(OperatorTexts::backupUnusable(problem));
        return false;
    }
    const pcside::BackupStore::Kept kept
        = store_.keep(stored->path, address_, {report.bytes, report.files, report.sha256}, identity_);
    if (kept.changed) {
        outcome_ = Outcome::BackupUnverified;
        showError(OperatorTexts::backupUnusable(OperatorTexts::uploadChanged()));
        return false;
    }
    if (!kept.keptInHistory) {
        outcome_ = Outcome::BackupUnverified;
        showError(OperatorTexts::backupUnusable(OperatorTexts::notKept(kept.historyFolder)));
        return false;
    }
    lastBackup_ = kept.backup;
    // The label says it briefly, under the card-swap instructions; the log
    // and the transcript name the file.
    const QString saved = OperatorTexts::backupSaved(kept.backup.path, report.bytes, report.files);
    savedBackup_ = OperatorTexts::backupVerified(report.files, report.bytes);
    if (!kept.remembered) {
        savedBackup_ += QStringLiteral("\r\n") + OperatorTexts::pendingNotRemembered();
        recordProblems_ << OperatorTexts::pendingNotRemembered();
    }
    appendLog(QStringLiteral("\r\n[") + saved + QStringLiteral("]"));
    transcript_.add(pcside::Transcript::Source::Tool, saved);
    return true;
}

void Workflow::chooseBackupToRestore(const Backup& backup)
{
    if (running_)
        return;
    store_.choose(backup);
    setPhase(Phase::Restore);
    setStatus(LaserTexts::restorePending(backup.controller, backup.identity, pcside::BackupStore::shownTime(backup.time)));
}

bool Workflow::checkArchiveToRestore()
{
    restoreSource_ = store_.chosenArchive();
    // The backup remembered for the restore must be a kept one: a file
    // anywhere else may be replaced by anyone (the next upload, another
    // user), and settings can be edited.
    if (!restoreSource_.isEmpty() && restoreSource_ == store_.pendingRestore().archive && !store_.isKept(restoreSource_)) {
        showError(OperatorTexts::pendingNotKept(restoreSource_));
        return false;
    }
    if (!restoreSource_.isEmpty())
        return checkRestoreSource();
    // None chosen: the laser's own is picked once its hardware is known.
    if (store_.hasBackups())
        return true;
    showError(commandName_.isEmpty()
                  ? OperatorTexts::noVerifiedBackup(address_)
                  : OperatorTexts::noVerifiedBackupCommand(address_, commandFor(Phase::Backup)));
    return false;
}

bool Workflow::checkRestoreSource()
{
    const pcside::ArchiveReport report = pcside::checkArchiveFile(platform_.fileSystem(), restoreSource_);
    if (!report.found) {
        showError(OperatorTexts::archiveMissing(QString::fromLatin1(kArchiveName)));
        return false;
    }
    if (!report.usable) {
        showError(OperatorTexts::restoreUnusable(restoreSource_, report.problem));
        return false;
    }
    lastBackup_ = store_.describe(restoreSource_);
    // A kept backup is sent only as it was verified.
    if (!lastBackup_.sha256.isEmpty() && lastBackup_.sha256 != report.sha256) {
        showError(OperatorTexts::restoreUnusable(restoreSource_, OperatorTexts::changedSinceVerified()));
        return false;
    }
    restoreSha256_ = report.sha256;
    lastBackup_.bytes = report.bytes;
    lastBackup_.files = report.files;
    return true;
}

bool Workflow::stageArchiveToRestore()
{
    // The copy is what the laser fetches: it must be the archive checked.
    const QString staged = store_.stageForRestore(restoreSource_, link_.peerAddress());
    return !staged.isEmpty()
           && (staged == restoreSource_ || pcside::checkArchiveFile(platform_.fileSystem(), staged).sha256 == restoreSha256_);
}

}  // namespace tarvo::workflow
