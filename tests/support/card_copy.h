#pragma once
// Fresh copies of the sample cards, so tests never touch the shipped ones.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cstdint>
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

// A card of sample card A with about megabytes MB of incompressible job
// previews added under media/prv_bmp/big/ (deterministic pseudo-random
// bytes, at most 8 MB a file, written in 64 KiB chunks so that memory
// stays small), for tests that need a big backup.
inline bool makeBigCard(const QString& to, int megabytes)
{
    if (!copyTree(sampleCard(QStringLiteral("A")), to))
        return false;
    const QString folder = QDir(to).filePath(QStringLiteral("media/prv_bmp/big"));
    if (!QDir().mkpath(folder))
        return false;
    constexpr int mbPerFile = 8;
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (int file = 0, left = megabytes; left > 0; ++file, left -= mbPerFile) {
        QFile f(QDir(folder).filePath(QStringLiteral("preview_%1.bmp").arg(file, 3, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        for (int c = 0; c < std::min(left, mbPerFile) * 16; ++c) {
            auto* words = reinterpret_cast<std::uint64_t*>(chunk.data());
            for (int w = 0; w < chunk.size() / 8; ++w) {
                state ^= state << 13, state ^= state >> 7, state ^= state << 17;  // xorshift64
                words[w] = state;
            }
            if (f.write(chunk) != chunk.size())
                return false;
        }
    }
    return true;
}
