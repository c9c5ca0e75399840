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
#include <unistd.h>
#endif

namespace tftp {

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

AtomicFile::AtomicFile(const QString& targetPath)
    : m_target(targetPath)
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
    return m_file ? m_file->fileName() : QString();
}

bool AtomicFile::open(QString* error)
{
    const QFileInfo info(m_target);
    // A named file of our own rather than QTemporaryFile, which may create an
    // unnamed one on Linux: the same behaviour everywhere, and a leftover of
    // a killed process is recognisable by its prefix.
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        const QString name = temporaryPrefix() + info.fileName() + QLatin1Char('-')
                             + QString::number(QRandomGenerator::global()->generate64(), 36);
        auto file = std::make_unique<QFile>(info.absolutePath() + QLatin1Char('/') + name);
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            // The archive gets the old file's rights, or the usual ones.
            const QFile::Permissions usual = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                                             | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
            file->setPermissions(info.exists() ? info.permissions() : usual);
            m_file = std::move(file);
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
    if (!m_file || m_done) {
        *error = QStringLiteral("file not open");
        return false;
    }
    if (m_file->write(data, size) != size) {
        *error = m_file->errorString();
        return false;
    }
    return true;
}

bool AtomicFile::commit(QString* error)
{
    if (!m_file || m_done) {
        *error = QStringLiteral("file not open");
        return false;
    }
    if (!m_file->flush() || !syncToDisk(*m_file)) {
        *error = QStringLiteral("cannot flush: %1").arg(m_file->errorString());
        discard();
        return false;
    }
    const QString temp = m_file->fileName();
    m_file->close();
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(temp).toStdString(),
                            QFile::encodeName(m_target).toStdString(), ec);
    if (ec) {
        *error = QStringLiteral("cannot replace %1: %2").arg(m_target, QString::fromStdString(ec.message()));
        discard();
        return false;
    }
    syncFolder(QFileInfo(m_target).absolutePath());
    m_done = true;
    m_file.reset();
    return true;
}

void AtomicFile::discard()
{
    if (m_file && !m_done) {
        const QString temp = m_file->fileName();
        m_file->close();
        QFile::remove(temp);
    }
    m_file.reset();
    m_done = true;
}

} // namespace tftp
