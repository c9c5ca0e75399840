#include "pcside/backup_store.h"

#include "pcside/names.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tarvo::pcside {

namespace {
constexpr char kHistoryFolder[] = "history";
constexpr char kSidecarSuffix[] = ".json";
}  // namespace

BackupStore::BackupStore(platform::Platform& platform) : platform_(platform), settings_(platform) {}

QString BackupStore::folder() const
{
    return folderOverride_.isEmpty() ? settings_.archiveFolder() : folderOverride_;
}

QString BackupStore::controllerArchive(const QString& controller) const
{
    return folder() + QLatin1Char('/') + controller + QLatin1Char('/') + QLatin1String(kArchiveName);
}

QString BackupStore::historyFolder(const QString& controller) const
{
    return folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder) + QLatin1Char('/') + controller;
}

QStringList BackupStore::history(const QString& controller) const
{
    const QString folder = historyFolder(controller);
    QStringList archives;
    for (const QString& name : platform_.fileNames(folder))
        if (name.endsWith(QLatin1String("_") + QLatin1String(kArchiveName)))
            archives << folder + QLatin1Char('/') + name;
    return archives;  // the names start with the time: sorted oldest first
}

QList<BackupStore::Backup> BackupStore::backups() const
{
    QList<Backup> all;
    const QString root = folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder);
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

BackupStore::Kept BackupStore::keep(const QString& upload, const QString& controller, const Facts& facts)
{
    const QDateTime now = QDateTime::currentDateTime();
    Kept kept;
    kept.historyFolder = historyFolder(controller);
    // Name order is time order: milliseconds, then a counter for backups
    // within the same millisecond.
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path;
    for (int n = 0; path.isEmpty() || platform_.fileExists(path); ++n)
        path = kept.historyFolder + QLatin1Char('/') + stamp + QStringLiteral("-%1_").arg(n, 2, 10, QLatin1Char('0'))
               + QLatin1String(kArchiveName);
    const QJsonObject sidecar{{QStringLiteral("controller"), controller},
                              {QStringLiteral("time"), now.toString(Qt::ISODateWithMs)},
                              {QStringLiteral("bytes"), facts.bytes},
                              {QStringLiteral("files"), facts.files},
                              {QStringLiteral("sha256"), QString::fromLatin1(facts.sha256)}};
    kept.keptInHistory = platform_.copyFile(upload, path)
                         && platform_.writeFile(path + QLatin1String(kSidecarSuffix), QJsonDocument(sidecar).toJson());
    // The verified upload itself stays where the server filed it.
    if (!kept.keptInHistory)
        path = upload;
    if (remembersPending_)
        settings_.setPendingRestore({path, controller, now.toString(QStringLiteral("yyyy-MM-dd HH:mm"))});
    kept.backup = {path, controller, now.toString(Qt::ISODate), facts.bytes, facts.files};

    // The newest backups stay; the one just kept always does.
    QStringList all = history(controller);
    while (all.size() > kHistoryDepth) {
        const QString oldest = all.takeFirst();
        if (oldest == path)
            continue;
        platform_.removeFile(oldest);
        platform_.removeFile(oldest + QLatin1String(kSidecarSuffix));
    }
    return kept;
}

PendingRestore BackupStore::pendingRestore() const
{
    return remembersPending_ ? settings_.pendingRestore() : PendingRestore{};
}

QString BackupStore::shownTime(const QString& isoTime)
{
    return QDateTime::fromString(isoTime, Qt::ISODate).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

void BackupStore::choose(const Backup& backup)
{
    if (remembersPending_)
        settings_.setPendingRestore({backup.path, backup.controller, shownTime(backup.time)});
    else
        restoreOverride_ = backup.path;
}

void BackupStore::clearPendingRestore()
{
    if (remembersPending_)
        settings_.setPendingRestore({});
}

QString BackupStore::archiveToRestore(const QString& controller) const
{
    if (!restoreOverride_.isEmpty())
        return restoreOverride_;
    const PendingRestore pending = pendingRestore();
    if (pending.isValid())
        return pending.archive;
    const QStringList kept = history(controller);
    return kept.isEmpty() ? controllerArchive(controller) : kept.last();
}

QString BackupStore::stageForRestore(const QString& source, const QString& controller)
{
    // The server gives each controller the archive filed under its address.
    const QString staged = controllerArchive(controller);
    if (staged == source)
        return staged;
    return platform_.copyFile(source, staged) ? staged : QString();
}

}  // namespace tarvo::pcside
