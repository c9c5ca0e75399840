#include "atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace tarvo::tftp {

namespace {
constexpr char TemporaryPrefix[] = ".tftp-part-";
constexpr int MaxNameAttempts = 8;

bool syncToDisk(QFile& file)
{
#ifdef Q_OS_WIN
    // QFile may not expose a C runtime descriptor on Windows; flushing any
    // handle with write access flushes the file's cached data.
    const std::wstring path = QDir::toNativeSeparators(file.fileName()).toStdWString();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = FlushFileBuffers(h) != 0;
    CloseHandle(h);
    return ok;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// Makes the rename itself durable.
void syncFolder(const QString& folder)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}
} // namespace

bool AtomicFile::removeIfAbandoned(const QString& temporaryPath)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(temporaryPath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool abandoned = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    // Removed while we hold the lock, so no live writer can take it over.
    const bool removed = abandoned && QFile::remove(temporaryPath);
    ::close(fd);
    return removed;
#else
    // An open file cannot be removed on Windows: a live writer keeps it.
    return QFile::remove(temporaryPath);
#endif
}

AtomicFile::AtomicFile(const QString& targetPath)
    : target_(targetPath)
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

QString AtomicFile::temporaryPrefix()
{
    return QString::fromLatin1(TemporaryPrefix);
}

QString AtomicFile::temporaryPath() const
{
    return file_ ? file_->fileName() : QString();
}

bool AtomicFile::open(QString* error)
{
    const QFileInfo info(target_);
    // A named file of our own rather than QTemporaryFile, which may create an
    // unnamed one on Linux: the same behaviour everywhere, and a leftover of
    // a killed process is recognisable by its prefix.
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        const QString name = temporaryPrefix() + info.fileName() + QLatin1Char('-')
                             + QString::number(QRandomGenerator::global()->generate64(), 36);
        auto file = std::make_unique<QFile>(info.absolutePath() + QLatin1Char('/') + name);
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
#ifndef Q_OS_WIN
            ::flock(file->handle(), LOCK_EX | LOCK_NB);  // ours alone: it was just created
#endif
            // The archive gets the old file's rights, or the usual ones.
            const QFile::Permissions usual = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                                             | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
            file->setPermissions(info.exists() ? info.permissions() : usual);
            file_ = std::move(file);
            return true;
        }
        if (!QFileInfo::exists(file->fileName())) {  // not a name clash: a real failure
            *error = file->errorString();
            return false;
        }
    }
    *error = QStringLiteral("no free temporary name");
    return false;
}

bool AtomicFile::write(const char* data, qint64 size, QString* error)
{
    if (!file_ || done_) {
        *error = QStringLiteral("file not open");
        return false;
    }
    if (file_->write(data, size) != size) {
        *error = file_->errorString();
        return false;
    }
    return true;
}

bool AtomicFile::commit(QString* error)
{
    if (!file_ || done_) {
        *error = QStringLiteral("file not open");
        return false;
    }
    if (!file_->flush() || !syncToDisk(*file_)) {
        *error = QStringLiteral("cannot flush: %1").arg(file_->errorString());
        discard();
        return false;
    }
    const QString temp = file_->fileName();
#ifdef Q_OS_WIN
    file_->close();  // Windows renames no open file
#endif
    // Elsewhere renamed while still open and locked: a sweep never sees it unlocked.
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(temp).toStdString(),
                            QFile::encodeName(target_).toStdString(), ec);
    file_->close();
    if (ec) {
        *error = QStringLiteral("cannot replace %1: %2").arg(target_, QString::fromStdString(ec.message()));
        discard();
        return false;
    }
    syncFolder(QFileInfo(target_).absolutePath());
    done_ = true;
    file_.reset();
    return true;
}

void AtomicFile::discard()
{
    if (file_ && !done_) {
        const QString temp = file_->fileName();
        file_->close();
        QFile::remove(temp);
    }
    file_.reset();
    done_ = true;
}

}  // namespace tarvo::tftp
