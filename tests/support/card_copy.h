#pragma once
// Fresh copies of the sample cards, so tests never touch the shipped ones.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <map>

inline QString sampleCard(const QString& name)
{
    return QDir(QStringLiteral(TARVO_TEST_SOURCE_DIR)).filePath(QStringLiteral("simulator/cards/") + name);
}

inline bool copyTree(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(path));
        if (QFileInfo(path).isDir()) {
            if (!QDir().mkpath(target))
                return false;
        } else if (!QFile::copy(path, target)) {
            return false;
        }
        QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
    return true;
}

// Relative path -> bytes of every file below root (directories as "<dir>").
inline std::map<QString, QByteArray> snapshot(const QString& root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(root).relativeFilePath(path);
        QFileInfo fi(path);
        if (fi.isSymLink()) {
            files[rel] = "<link " + fi.symLinkTarget().toUtf8() + ">";
        } else if (fi.isDir()) {
            files[rel] = "<dir>";
        } else {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            files[rel] = f.readAll();
        }
    }
    return files;
}
