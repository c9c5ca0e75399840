#include "backupkeeper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <filesystem>
#include <system_error>

namespace tarvo::tftp {

namespace {
constexpr char BackupFolder[] = "backups";
// Sorts by name in time order, and is valid on every file system.
constexpr char StampFormat[] = "yyyyMMdd-HHmmss-zzz";
}

BackupKeeper::BackupKeeper(int keep)
    : keep_(keep)
{
}

QString BackupKeeper::folderFor(const QString& target)
{
    return QFileInfo(target).absolutePath() + QLatin1Char('/') + QLatin1String(BackupFolder);
}

bool BackupKeeper::keepCopyOf(const QString& target, QString* error) const
{
    const QFileInfo info(target);
    if (!info.exists() || keep_ <= 0)
        return true;
    const QString folder = folderFor(target);
    if (QFileInfo(folder).isSymLink() || info.isSymLink()) {
        *error = QStringLiteral("symbolic link refused: %1").arg(info.isSymLink() ? target : folder);
        return false;
    }
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QString baseName = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stamp = QDateTime::currentDateTime().toString(QLatin1String(StampFormat));
    // The sequence number keeps copies made within one millisecond apart and
    // in order, even after older ones of that millisecond were pruned.
    const QString stem = baseName + QLatin1Char('-') + stamp + QLatin1Char('-');
    QStringList sameStamp = copiesIn(folder, baseName, suffix);
    sameStamp.removeIf([&stem](const QString& n) { return !n.startsWith(stem); });
    const int sequence = sameStamp.isEmpty() ? 0 : sameStamp.last().mid(stem.size(), 3).toInt() + 1;
    const QString copy = folder + QLatin1Char('/') + stem + QStringLiteral("%1").arg(sequence, 3, 10, QLatin1Char('0')) + suffix;
    // A hard link costs nothing and the old file is about to lose its name anyway.
    const std::string from = QFile::encodeName(target).toStdString();
    const std::string to = QFile::encodeName(copy).toStdString();
    std::error_code ec;
    std::filesystem::create_hard_link(from, to, ec);
    if (ec) {
        ec.clear();
        std::filesystem::copy_file(from, to, ec);
        if (ec) {
            *error = QStringLiteral("cannot keep a copy of %1: %2").arg(target, QString::fromStdString(ec.message()));
            return false;
        }
    }
    prune(folder, baseName, suffix);
    return true;
}

QStringList BackupKeeper::copiesIn(const QString& folder, const QString& baseName, const QString& suffix)
{
    // The stamp of StampFormat and a sequence of three or more digits.
    const QRegularExpression own(QLatin1Char('^') + QRegularExpression::escape(baseName)
                                 + QStringLiteral("-\\d{8}-\\d{6}-\\d{3}-\\d{3,}")
                                 + QRegularExpression::escape(suffix) + QLatin1Char('$'));
    QStringList copies = QDir(folder).entryList({baseName + QStringLiteral("-*") + suffix}, QDir::Files, QDir::Name);
    copies.removeIf([&own](const QString& n) { return !own.match(n).hasMatch(); });
    return copies;
}

void BackupKeeper::prune(const QString& folder, const QString& baseName, const QString& suffix) const
{
    QDir dir(folder);
    QStringList copies = copiesIn(folder, baseName, suffix);
    while (copies.size() > keep_)
        dir.remove(copies.takeFirst());
}

}  // namespace tarvo::tftp
