#include "insideroot.h"

#include <QDir>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvo::tftp {

QString symlinkBelow(const QString& root, const QString& path)
{
    const QString relative = QDir(root).relativeFilePath(path);
    QString current = QDir::cleanPath(root);
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        if (QFileInfo(current).isSymLink())
            return current;
    }
    return QString();
}

std::unique_ptr<QFile> openForReading(const QString& path, QString* error)
{
    auto file = std::make_unique<QFile>(path);
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ELOOP ? QStringLiteral("symbolic link refused")
                                : QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    // Unbuffered: the sender reads it in chunks of its own.
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file->errorString();
        return nullptr;
    }
#else
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *error = file->errorString();
        return nullptr;
    }
#endif
    return file;
}

}  // namespace tarvo::tftp
