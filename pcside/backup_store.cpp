#include "pcside/backup_store.h"

#include "pcside/laser_identity.h"
#include "pcside/names.h"
#include "tftp/client_folder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tarvo::pcside {

namespace {
constexpr char kHistoryFolder[] = "history";
constexpr char kSidecarSuffix[] = ".json";
// History names: "n" and a zero-padded sequence number, so that they sort
// after the time-named ones of earlier versions and among themselves in
// the order they were made.
constexpr char kSequenceMark[] = "n";
constexpr int kSequenceDigits = 9;
}  // namespace

qint64 BackupStore::nextSequence(const QString& key) const
{
    const QStringList kept = historyIn(key);
    for (auto it = kept.crbegin(); it != kept.crend(); ++it) {
        const QString name = it->section(QLatin1Char('/'), -1);
        if (!name.startsWith(QLatin1String(kSequenceMark)))
            continue;
        bool ok = false;
        const qint64 n = name.mid(1, kSequenceDigits).toLongLong(&ok);
        if (ok)
            return n + 1;
    }
    return 1;
}

QByteArray BackupStore::sha256Of(const QString& path) const
{
    const std::unique_ptr<QIODevice> file = files_.openForReading(path);
    if (!file)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    bool read = false;
    files_.readAside(*file, [&](QIODevice& device) { read = hash.addData(&device); });
    return read ? hash.result().toHex() : QByteArray();
}

BackupStore::BackupStore(platform::FileSystem& files, platform::SettingsStore& settings)
    : files_(files), settings_(settings, files)
{
}

QString BackupStore::folder() const
{
    return folderOverride_.isEmpty() ? settings_.archiveFolder() : folderOverride_;
}

QString BackupStore::controllerArchive(const QString& controller) const
{
    return folder() + QLatin1Char('/') + tftp::clientFolderName(controller) + QLatin1Char('/') + QLatin1String(kArchiveName);
}

QString BackupStore::historyFolder(const QString& key) const
{
    return folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder) + QLatin1Char('/') + key;
}

QStringList BackupStore::history(const QString& controller, const platform::ControllerIdentity& identity) const
{
    return historyIn(historyKey(controller, identity));
}

QStringList BackupStore::historyIn(const QString& key) const
{
    const QString folder = historyFolder(key);
    QStringList archives;
    for (const QString& name : files_.fileNames(folder))
        if (name.endsWith(QLatin1String("_") + QLatin1String(kArchiveName)))
            archives << folder + QLatin1Char('/') + name;
    return archives;  // the names start with the time: sorted oldest first
}

QList<BackupStore::Backup> BackupStore::backups() const
{
    QList<Backup> all;
    const QString root = folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder);
    const PendingRestore pending = pendingRestore();
    for (const QString& key : files_.folderNames(root))
        for (const QString& path : historyIn(key))
            all.append(describe(path, pending));
    // Newest first; within one time stamp the name (its counter) decides.
    std::sort(all.begin(), all.end(), [](const Backup& a, const Backup& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    return all;
}

bool BackupStore::hasBackups() const
{
    const QString root = folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder);
    for (const QString& key : files_.folderNames(root))
        if (!historyIn(key).isEmpty())
            return true;
    return false;
}

BackupStore::Backup BackupStore::describe(const QString& path) const
{
    return describe(path, pendingRestore());
}

BackupStore::Backup BackupStore::describe(const QString& path, const PendingRestore& pending) const
{
    const QJsonObject s
        = QJsonDocument::fromJson(files_.readFile(path + QLatin1String(kSidecarSuffix)).value_or(QByteArray())).object();
    const QString key = path.section(QLatin1Char('/'), -2, -2);
    Backup backup{path, s.value(QStringLiteral("controller")).toString(), s.value(QStringLiteral("time")).toString(),
                  qint64(s.value(QStringLiteral("bytes")).toDouble()), s.value(QStringLiteral("files")).toInt(),
                  identityFromText(s.value(QStringLiteral("identity")).toString()),
                  s.value(QStringLiteral("sha256")).toString().toLatin1()};
    // Earlier versions filed each laser under its address, without its
    // hardware in the sidecar.
    const bool inHistory = path.startsWith(folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder) + QLatin1Char('/'));
    if (backup.controller.isEmpty() && inHistory && identityFromHistoryKey(key).kind == platform::ControllerIdentity::Kind::Unknown)
        backup.controller = key;
    if (backup.identity.kind == platform::ControllerIdentity::Kind::Unknown && inHistory)
        backup.identity = identityFromHistoryKey(key);
    // A backup that could not be copied into the history waits where the
    // server filed it: the settings store knows what it is.
    if (pending.isValid() && pending.archive == path) {
        if (backup.controller.isEmpty())
            backup.controller = pending.controller;
        if (backup.identity.kind == platform::ControllerIdentity::Kind::Unknown)
            backup.identity = pending.identity;
    }
    return backup;
}

BackupStore::Kept BackupStore::keep(const QString& upload, const QString& controller, const Facts& facts,
                                    const platform::ControllerIdentity& identity)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString key = historyKey(controller, identity);
    Kept kept;
    kept.historyFolder = historyFolder(key);
    // Name order is the order the backups were made in, whatever the
    // clock says: a sequence number, one more than the newest's, then the
    // time for the reader.
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path;
    for (qint64 n = nextSequence(key); path.isEmpty() || files_.fileExists(path); ++n)
        path = kept.historyFolder + QLatin1Char('/') + QStringLiteral("%1%2-").arg(QLatin1String(kSequenceMark)).arg(n, kSequenceDigits, 10, QLatin1Char('0'))
               + stamp + QLatin1Char('_') + QLatin1String(kArchiveName);
    const QJsonObject sidecar{{QStringLiteral("controller"), controller},
                              {QStringLiteral("time"), now.toString(Qt::ISODateWithMs)},
                              {QStringLiteral("bytes"), facts.bytes},
                              {QStringLiteral("files"), facts.files},
                              {QStringLiteral("sha256"), QString::fromLatin1(facts.sha256)},
                              {QStringLiteral("identity"), identityToText(identity)}};
    const bool copied = files_.copyFile(upload, path);
    // The upload was checked through a file opened before; a second upload
    // landing since would have been copied unchecked.
    if (copied && !facts.sha256.isEmpty() && sha256Of(path) != facts.sha256) {
        files_.removeFile(path);
        kept.changed = true;
        return kept;
    }
    kept.keptInHistory = copied && files_.writeFile(path + QLatin1String(kSidecarSuffix), QJsonDocument(sidecar).toJson());
    // The server's upload file is no backup: the next upload from the same
    // address replaces it. What cannot be kept is not remembered at all.
    if (!kept.keptInHistory) {
        files_.removeFile(path);
        files_.removeFile(path + QLatin1String(kSidecarSuffix));
        return kept;
    }
    if (remembersPending_)
        kept.remembered
            = settings_.setPendingRestore({path, controller, now.toString(QStringLiteral("yyyy-MM-dd HH:mm")), identity});
    kept.backup = {path, controller, now.toString(Qt::ISODate), facts.bytes, facts.files, identity, facts.sha256};

    // The newest backups stay; the one just kept, and the one a restore
    // waits for, always do.
    const QString pending = settings_.pendingRestore().archive;
    const QStringList all = historyIn(key);
    qsizetype excess = all.size() - kHistoryDepth;
    for (const QString& oldest : all) {
        if (excess <= 0)
            break;
        if (oldest == path || oldest == pending)
            continue;
        files_.removeFile(oldest);
        files_.removeFile(oldest + QLatin1String(kSidecarSuffix));
        --excess;
    }
    return kept;
}

PendingRestore BackupStore::pendingRestore() const
{
    return remembersPending_ ? settings_.pendingRestore() : PendingRestore{};
}

QString BackupStore::shownTime(const QString& isoTime)
{
    const QDateTime time = QDateTime::fromString(isoTime, Qt::ISODate);
    // A time already shown, or one an earlier version wrote otherwise, stays as it is.
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : isoTime;
}

void BackupStore::choose(const Backup& backup)
{
    if (remembersPending_)
        settings_.setPendingRestore({backup.path, backup.controller, shownTime(backup.time), backup.identity});
    else
        restoreOverride_ = backup.path;
}

void BackupStore::clearPendingRestore()
{
    if (remembersPending_)
        settings_.setPendingRestore({});
}

bool BackupStore::isKept(const QString& path) const
{
    const QString root = QDir::cleanPath(folder() + QLatin1Char('/') + QLatin1String(kHistoryFolder)) + QLatin1Char('/');
    const QString clean = QDir::cleanPath(path);
    // history/<laser>/<backup>: exactly two levels below, nothing else.
    return clean.startsWith(root) && clean.mid(root.size()).count(QLatin1Char('/')) == 1
           && clean.endsWith(QLatin1Char('_') + QLatin1String(kArchiveName)) && files_.fileExists(clean);
}

QString BackupStore::chosenArchive() const
{
    return restoreOverride_.isEmpty() ? pendingRestore().archive : restoreOverride_;
}

QString BackupStore::archiveToRestore(const QString& controller, const platform::ControllerIdentity& identity) const
{
    if (const QString chosen = chosenArchive(); !chosen.isEmpty())
        return chosen;
    // Only a verified backup: never whatever else uploaded to the folder.
    const QStringList kept = history(controller, identity);
    if (!kept.isEmpty())
        return kept.last();
    for (const Backup& backup : backups())
        if (backup.controller == controller)
            return backup.path;
    return {};
}

QString BackupStore::stageForRestore(const QString& source, const QString& controller)
{
    // The server gives each controller the archive filed under its address.
    const QString staged = controllerArchive(controller);
    if (staged == source)
        return staged;
    return files_.copyFile(source, staged) ? staged : QString();
}

}  // namespace tarvo::pcside
