#include "virtual_files.h"

#include "platform/file_streams.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvo::platform {

bool VirtualFileSystem::fileExists(const QString& path)
{
    if (files.contains(path) || fileData.contains(path))
        return true;
    return useRealFiles && QFileInfo(path).isFile();
}

std::optional<QByteArray> VirtualFileSystem::readFile(const QString& path)
{
    if (fileData.contains(path))
        return fileData.value(path).size() > kMaxSmallFileBytes ? std::nullopt
                                                                  : std::optional<QByteArray>(fileData.value(path));
    if (useRealFiles) {
        QFile f(path);
        if (QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly) && f.size() <= kMaxSmallFileBytes)
            return f.readAll();
    }
    return std::nullopt;
}

bool VirtualFileSystem::isReadOnly(const QString& path) const
{
    for (const QString& folder : readOnlyFolders)
        if (path.startsWith(folder + QLatin1Char('/')))
            return true;
    return false;
}

bool VirtualFileSystem::writeFile(const QString& path, const QByteArray& data)
{
    if (isReadOnly(path))
        return false;
    if (useRealFiles) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
    }
    fileData.insert(path, data);
    return true;
}

bool VirtualFileSystem::removeFile(const QString& path)
{
    const bool had = fileData.remove(path) > 0 || files.remove(path);
    return (useRealFiles && QFile::remove(path)) || had;
}

bool VirtualFileSystem::pathExists(const QString& path)
{
    if (files.contains(path) || fileData.contains(path) || directories.contains(path) || specialFiles.contains(path))
        return true;
    return useRealFiles && QFileInfo::exists(path);
}

std::unique_ptr<QIODevice> VirtualFileSystem::openForReading(const QString& path)
{
    if (fileData.contains(path)) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(fileData.value(path));
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    return useRealFiles ? openOrdinaryFile(path) : nullptr;
}

bool VirtualFileSystem::copyFile(const QString& from, const QString& to)
{
    if (isReadOnly(to))
        return false;
    if (useRealFiles && !fileData.contains(from))
        return copyOrdinaryFile(from, to);
    if (!fileData.contains(from))
        return false;
    fileData.insert(to, fileData.value(from));
    return true;
}

QStringList VirtualFileSystem::fileNames(const QString& folder)
{
    QStringList names;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (auto it = fileData.keyBegin(); it != fileData.keyEnd(); ++it)
        if (it->startsWith(prefix) && !it->mid(prefix.size()).contains(QLatin1Char('/')))
            names << it->mid(prefix.size());
    if (useRealFiles)
        names += QDir(folder).entryList(QDir::Files, QDir::Name);
    names.removeDuplicates();
    names.sort();
    return names;
}

QStringList VirtualFileSystem::folderNames(const QString& folder)
{
    QStringList names;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (auto it = fileData.keyBegin(); it != fileData.keyEnd(); ++it)
        if (it->startsWith(prefix) && it->mid(prefix.size()).contains(QLatin1Char('/')))
            names << it->mid(prefix.size()).section(QLatin1Char('/'), 0, 0);
    if (useRealFiles)
        names += QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    names.removeDuplicates();
    names.sort();
    return names;
}

}  // namespace tarvo::platform
