#include "platform/qt_file_system.h"

#include "platform/file_streams.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>

namespace tarvo::platform {

QString QtFileSystem::appPath() const
{
    if (!appPathOverride.isEmpty())
        return appPathOverride;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString QtFileSystem::dataFolder() const
{
    if (!dataFolderOverride.isEmpty())
        return dataFolderOverride;
    // On Windows the user's local application data (an installed program's
    // own folder is not writable); elsewhere the same as AppDataLocation.
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

bool QtFileSystem::fileExists(const QString& path)
{
    return QFileInfo(path).isFile();
}

bool QtFileSystem::pathExists(const QString& path)
{
    return QFileInfo::exists(path);
}

QStringList QtFileSystem::fileNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QStringList QtFileSystem::folderNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

std::optional<QByteArray> QtFileSystem::readFile(const QString& path)
{
    // Anyone may place a FIFO, a device or a huge file beside an archive.
    const std::unique_ptr<QIODevice> f = openOrdinaryFile(path);
    if (!f)
        return std::nullopt;
    QByteArray data = f->read(kMaxSmallFileBytes + 1);
    if (data.size() > kMaxSmallFileBytes)
        return std::nullopt;
    return data;
}

bool QtFileSystem::writeFile(const QString& path, const QByteArray& data)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
}

bool QtFileSystem::removeFile(const QString& path)
{
    return QFile::remove(path);
}

bool QtFileSystem::copyFile(const QString& from, const QString& to)
{
    return copyOrdinaryFile(from, to);
}

std::unique_ptr<QIODevice> QtFileSystem::openForReading(const QString& path)
{
    return openOrdinaryFile(path);
}

void QtFileSystem::readAside(QIODevice& file, const std::function<void(QIODevice& file)>& work)
{
    // The worker's finished signal reaches this thread as a queued event, so
    // it cannot be missed even when the work ends before exec() starts.
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&file, &work] { work(file); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
}

}  // namespace tarvo::platform
