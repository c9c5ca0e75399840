#include "platform/file_streams.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvo::platform {

namespace {
constexpr qint64 kCopyChunk = 1 << 20;
}  // namespace

std::unique_ptr<QIODevice> openOrdinaryFile(const QString& path)
{
    auto file = std::make_unique<QFile>();
#ifdef Q_OS_UNIX
    // O_NONBLOCK: opening a FIFO must not wait for a writer. What was opened
    // is then judged by its own status, not by the name, which may have
    // changed since.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0
        || !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
#else
    if (!QFileInfo(path).isFile())
        return nullptr;
    file->setFileName(path);
    if (!file->open(QIODevice::ReadOnly) || file->isSequential())
        return nullptr;
#endif
    return file;
}

bool copyOrdinaryFile(const QString& from, const QString& to)
{
    const std::unique_ptr<QIODevice> in = openOrdinaryFile(from);
    if (!in || !QDir().mkpath(QFileInfo(to).absolutePath()))
        return false;
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in->read(chunk.data(), kCopyChunk);
        if (n < 0)
            return false;  // QSaveFile discards what it has
        if (n == 0)
            break;
        if (out.write(chunk.constData(), n) != n)
            return false;
    }
    return out.commit();
}

}  // namespace tarvo::platform
