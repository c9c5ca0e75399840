// Where archives live on the PC: the folder the server files each
// controller's upload in, and the history of verified backups beside it.
#include "workflow/workflow.h"

#include "workflow/names.h"
#include "workflow/operator_texts.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tarvo::workflow {

namespace {
constexpr char kHistoryFolder[] = "history";
constexpr char kSidecarSuffix[] = ".json";
}  // namespace

QString Workflow::archiveFolder() const
{
    return archiveFolderOverride_.isEmpty() ? settings_.archiveFolder() : archiveFolderOverride_;
}

QString Workflow::controllerArchive(const QString& controller) const
{
    return archiveFolder() + QLatin1Char('/') + controller + QLatin1Char('/') + QLatin1String(kArchiveName);
}

QStringList Workflow::history(const QString& controller) const
{
    const QString folder = archiveFolder() + QLatin1Char('/') + QLatin1String(kHistoryFolder) + QLatin1Char('/') + controller;
    QStringList archives;
    for (const QString& name : platform_.fileNames(folder))
        if (name.endsWith(QLatin1String("_") + QLatin1String(kArchiveName)))
            archives << folder + QLatin1Char('/') + name;
    return archives;  // the names start with the time: sorted oldest first
}

QString Workflow::archiveToRestore() const
{
    if (!restoreOverride_.isEmpty())
        return restoreOverride_;
    const PendingRestore pending = settings_.pendingRestore();
    if (pending.isValid())
        return pending.archive;
    return controllerArchive(address_);
}

bool Workflow::verifyBackup(const LaserBackup& laser)
{
    const QString controller = link_.peerAddress();
    const std::optional<ServerWatch::Stored> stored = laser.upload(watch_.uploadsFrom(controller));
    QString problem;
    ArchiveReport report;
    if (!stored) {
        problem = OperatorTexts::noUploadReceived();
    } else {
        report = checkArchiveFile(platform_, stored->path);
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
    keepInHistory(stored->path, report);
    return true;
}

void Workflow::keepInHistory(const QString& upload, const ArchiveReport& report)
{
    const QString controller = link_.peerAddress();
    const QDateTime now = QDateTime::currentDateTime();
    const QString folder = archiveFolder() + QLatin1Char('/') + QLatin1String(kHistoryFolder) + QLatin1Char('/') + controller;
    // Name order is time order: milliseconds, then a counter for backups
    // within the same millisecond.
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path;
    for (int n = 0; path.isEmpty() || platform_.fileExists(path); ++n)
        path = folder + QLatin1Char('/') + stamp + QStringLiteral("-%1_").arg(n, 2, 10, QLatin1Char('0'))
               + QLatin1String(kArchiveName);
    const QJsonObject sidecar{{QStringLiteral("controller"), controller},
                              {QStringLiteral("time"), now.toString(Qt::ISODateWithMs)},
                              {QStringLiteral("bytes"), report.bytes},
                              {QStringLiteral("files"), report.files},
                              {QStringLiteral("sha256"), QString::fromLatin1(report.sha256)}};
    if (!platform_.copyFile(upload, path)
        || !platform_.writeFile(path + QLatin1String(kSidecarSuffix), QJsonDocument(sidecar).toJson())) {
        // The verified upload itself stays where the server filed it.
        appendLog(QStringLiteral("\r\n") + OperatorTexts::historyFailed(folder));
        path = watch_.storedFrom(controller)->path;
    }
    if (remembersPendingRestore_)
        settings_.setPendingRestore({path, controller, now.toString(QStringLiteral("yyyy-MM-dd HH:mm"))});
    lastBackup_ = {path, controller, now.toString(Qt::ISODate), report.bytes, report.files};
    savedBackup_ = OperatorTexts::backupSaved(path, report.bytes, report.files);
    appendLog(QStringLiteral("\r\n[") + savedBackup_ + QStringLiteral("]"));

    // The newest backups stay; the one waiting to be restored always does.
    QStringList kept = history(controller);
    while (kept.size() > kHistoryDepth) {
        const QString oldest = kept.takeFirst();
        if (oldest == path)
            continue;
        platform_.removeFile(oldest);
        platform_.removeFile(oldest + QLatin1String(kSidecarSuffix));
    }
}

QList<Workflow::Backup> Workflow::backups() const
{
    QList<Backup> all;
    const QString root = archiveFolder() + QLatin1Char('/') + QLatin1String(kHistoryFolder);
    for (const QString& controller : platform_.folderNames(root)) {
        for (const QString& path : history(controller)) {
            const QJsonObject s = QJsonDocument::fromJson(platform_.readFile(path + QLatin1String(kSidecarSuffix))
                                                              .value_or(QByteArray()))
                                      .object();
            all.append({path, controller, s.value(QStringLiteral("time")).toString(),
                        qint64(s.value(QStringLiteral("bytes")).toDouble()), s.value(QStringLiteral("files")).toInt()});
        }
    }
    // Newest first; within one time stamp the name (its counter) decides.
    std::sort(all.begin(), all.end(), [](const Backup& a, const Backup& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    return all;
}

void Workflow::chooseBackupToRestore(const Backup& backup)
{
    if (running_)
        return;
    const QString shown = QDateTime::fromString(backup.time, Qt::ISODate).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    settings_.setPendingRestore({backup.path, backup.controller, shown});
    setPhase(Phase::Restore);
    setStatus(OperatorTexts::restorePending(backup.controller, shown));
}

bool Workflow::checkArchiveToRestore()
{
    restoreSource_ = archiveToRestore();
    const ArchiveReport report = checkArchiveFile(platform_, restoreSource_);
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
    // The server gives each controller the archive filed under its address.
    const QString staged = controllerArchive(link_.peerAddress());
    if (staged == restoreSource_)
        return true;
    // The copy is what the laser fetches: it must be the archive checked.
    return platform_.copyFile(restoreSource_, staged)
           && checkArchiveFile(platform_, staged).sha256 == restoreSha256_;
}

}  // namespace tarvo::workflow
