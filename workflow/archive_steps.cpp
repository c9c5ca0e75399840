// The archives of a run: the check of the upload a backup received and
// its place in the history, and the check and staging of the archive a
// restore sends.
#include "workflow/workflow.h"

#include "pcside/archive_check.h"
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
        report = pcside::checkArchiveFile(platform_, stored->path);
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
    else if (problem.isEmpty())
        problem = membersDiffer(report.members, laser.packed);
    if (!problem.isEmpty()) {
        outcome_ = Outcome::BackupUnverified;
        showError(OperatorTexts::backupUnusable(problem));
        return false;
    }
    const pcside::BackupStore::Kept kept
        = store_.keep(stored->path, address_, {report.bytes, report.files, report.sha256});
    if (!kept.keptInHistory) {
        appendLog(QStringLiteral("\r\n") + OperatorTexts::historyFailed(kept.historyFolder));
        recordProblems_ << OperatorTexts::historyFailed(kept.historyFolder);
    }
    lastBackup_ = kept.backup;
    savedBackup_ = OperatorTexts::backupSaved(kept.backup.path, report.bytes, report.files);
    if (!kept.remembered) {
        savedBackup_ += QStringLiteral("\r\n") + OperatorTexts::pendingNotRemembered();
        recordProblems_ << OperatorTexts::pendingNotRemembered();
    }
    appendLog(QStringLiteral("\r\n[") + savedBackup_ + QStringLiteral("]"));
    return true;
}

void Workflow::chooseBackupToRestore(const Backup& backup)
{
    if (running_)
        return;
    store_.choose(backup);
    setPhase(Phase::Restore);
    setStatus(OperatorTexts::restorePending(backup.controller, pcside::BackupStore::shownTime(backup.time)));
}

bool Workflow::checkArchiveToRestore()
{
    // Filed, and so found, under the address as the operator gave it.
    restoreSource_ = store_.archiveToRestore(address_);
    if (restoreSource_.isEmpty()) {
        showError(OperatorTexts::noVerifiedBackup(address_));
        return false;
    }
    const pcside::ArchiveReport report = pcside::checkArchiveFile(platform_, restoreSource_);
    if (!report.found) {
        showError(OperatorTexts::archiveMissing(QString::fromLatin1(kArchiveName)));
        return false;
    }
    if (!report.usable) {
        showError(OperatorTexts::restoreUnusable(restoreSource_, report.problem));
        return false;
    }
    restoreSha256_ = report.sha256;
    lastBackup_ = {restoreSource_, address_, QString(), report.bytes, report.files};
    return true;
}

bool Workflow::stageArchiveToRestore()
{
    // The copy is what the laser fetches: it must be the archive checked.
    const QString staged = store_.stageForRestore(restoreSource_, link_.peerAddress());
    return !staged.isEmpty()
           && (staged == restoreSource_ || pcside::checkArchiveFile(platform_, staged).sha256 == restoreSha256_);
}

}  // namespace tarvo::workflow
