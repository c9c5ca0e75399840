// The archives of a run: the check of the upload a backup received and
// its place in the history, and the check and staging of the archive a
// restore sends.
#include "workflow/run.h"

#include "link/controller_link.h"
#include "pcside/archive_check.h"
#include "pcside/backup_store.h"
#include "workflow/names.h"
#include "workflow/operator_texts.h"

namespace tarvo::workflow {

StepResult Run::verifyBackup()
{
    const QString controller = link_.peerAddress();
    const std::optional<pcside::ServerWatch::Stored> stored = laser_.upload(watch_.uploadsFrom(controller));
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
    else if (problem.isEmpty() && !laser_.packedDoubt.isEmpty())
        problem = laser_.packedDoubt;
    else if (problem.isEmpty())
        problem = membersDiffer(report.members, laser_.packed);
    if (!problem.isEmpty())
        return transferError(Outcome::BackupUnverified, OperatorTexts::backupUnusable(problem));
    const pcside::BackupStore::Kept kept
        = store_.keep(stored->path, address_, {report.bytes, report.files, report.sha256}, last_.identity);
    if (kept.changed)
        return transferError(Outcome::BackupUnverified, OperatorTexts::backupUnusable(OperatorTexts::uploadChanged()));
    if (!kept.keptInHistory)
        return transferError(Outcome::BackupUnverified,
                             OperatorTexts::backupUnusable(OperatorTexts::notKept(kept.historyFolder)));
    last_.backup = kept.backup;
    // The label says it briefly, under the card-swap instructions; the log
    // and the transcript name the file.
    const QString saved = OperatorTexts::backupSaved(kept.backup.path, report.bytes, report.files);
    savedBackup_ = OperatorTexts::backupVerified(report.files, report.bytes);
    if (!kept.remembered) {
        savedBackup_ += QStringLiteral("\r\n") + OperatorTexts::pendingNotRemembered();
        last_.recordProblems << OperatorTexts::pendingNotRemembered();
    }
    record_.note(saved, true);
    return {};
}

StepResult Run::checkArchiveToRestore()
{
    restoreSource_ = store_.chosenArchive();
    // The backup remembered for the restore must be a kept one: a file
    // anywhere else may be replaced by anyone (the next upload, another
    // user), and settings can be edited.
    if (!restoreSource_.isEmpty() && restoreSource_ == store_.pendingRestore().archive && !store_.isKept(restoreSource_))
        return error(Outcome::ArchiveUnusable, OperatorTexts::pendingNotKept(restoreSource_),
                     OperatorTexts::writingFailed());
    if (!restoreSource_.isEmpty())
        return checkRestoreSource();
    // None chosen: the laser's own is picked once its hardware is known.
    if (store_.hasBackups())
        return {};
    return error(Outcome::ArchiveUnusable,
                 options().commandName.isEmpty()
                     ? OperatorTexts::noVerifiedBackup(address_)
                     : OperatorTexts::noVerifiedBackupCommand(address_, commandFor(Phase::Backup)),
                 OperatorTexts::writingFailed());
}

StepResult Run::checkRestoreSource()
{
    const pcside::ArchiveReport report = pcside::checkArchiveFile(platform_.fileSystem(), restoreSource_);
    if (!report.found)
        return error(Outcome::ArchiveUnusable, OperatorTexts::archiveMissing(QString::fromLatin1(kArchiveName)),
                     OperatorTexts::writingFailed());
    if (!report.usable)
        return error(Outcome::ArchiveUnusable, OperatorTexts::restoreUnusable(restoreSource_, report.problem),
                     OperatorTexts::writingFailed());
    last_.backup = store_.describe(restoreSource_);
    // A kept backup is sent only as it was verified.
    if (!last_.backup.sha256.isEmpty() && last_.backup.sha256 != report.sha256)
        return error(Outcome::ArchiveUnusable,
                     OperatorTexts::restoreUnusable(restoreSource_, OperatorTexts::changedSinceVerified()),
                     OperatorTexts::writingFailed());
    restoreSha256_ = report.sha256;
    last_.backup.bytes = report.bytes;
    last_.backup.files = report.files;
    return {};
}

bool Run::stageArchiveToRestore()
{
    // The copy is what the laser fetches: it must be the archive checked.
    const QString staged = store_.stageForRestore(restoreSource_, link_.peerAddress());
    return !staged.isEmpty()
           && (staged == restoreSource_ || pcside::checkArchiveFile(platform_.fileSystem(), staged).sha256 == restoreSha256_);
}

}  // namespace tarvo::workflow
