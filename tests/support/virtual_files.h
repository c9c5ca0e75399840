#pragma once
// The virtual file system and settings store: files and settings live in
// memory (or, on request, files on the real file system too).

#include "platform/file_system.h"
#include "platform/settings_store.h"

#include <QMap>
#include <QSet>

namespace tarvo::platform {

// The virtual program folder, as the platform the tests run on writes it
// (no trailing separator).
inline QString virtualProgramFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Tarvo");
#else
    return QStringLiteral("/opt/tarvo");
#endif
}

// A program in that folder, as the tool names it there: "OpenTFTPServerMT"
// is /opt/tarvo/OpenTFTPServerMT, or C:\Tarvo\OpenTFTPServerMT.exe on
// Windows. An empty name gives the folder with its trailing separator.
inline QString virtualProgramPath(const QString& name)
{
#ifdef Q_OS_WIN
    return virtualProgramFolder() + QLatin1Char('\\') + (name.isEmpty() ? name : name + QLatin1String(".exe"));
#else
    return virtualProgramFolder() + QLatin1Char('/') + name;
#endif
}

class VirtualFileSystem : public FileSystem {
public:
    QString appPath() const override { return appPathValue; }
    QString dataFolder() const override { return dataFolderValue; }
    bool fileExists(const QString& path) override;
    bool pathExists(const QString& path) override;
    QStringList fileNames(const QString& folder) override;
    QStringList folderNames(const QString& folder) override;
    std::optional<QByteArray> readFile(const QString& path) override;
    bool writeFile(const QString& path, const QByteArray& data) override;
    bool removeFile(const QString& path) override;
    bool copyFile(const QString& from, const QString& to) override;
    std::unique_ptr<QIODevice> openForReading(const QString& path) override;
    // At once: no clock passes, the work is the processor's, not a wait.
    void readAside(QIODevice& file, const std::function<void(QIODevice& file)>& work) override { work(file); }

    QSet<QString> files;              // ordinary files that exist, contents unknown
    QMap<QString, QByteArray> fileData;  // ordinary files with contents
    QSet<QString> directories;        // directories (fileExists says no)
    QSet<QString> specialFiles;       // FIFOs, devices, sockets: exist, cannot be opened
    // Folders whose files can be neither written nor copied to (a full
    // disk, a read-only folder).
    QSet<QString> readOnlyFolders;
    bool isReadOnly(const QString& path) const;
    // Also consult the real file system (for tests that move real files).
    bool useRealFiles = false;
    QString appPathValue = virtualProgramFolder();
    QString dataFolderValue = QStringLiteral("/home/tech/.local/share/tarvo");
};

class VirtualSettingsStore : public SettingsStore {
public:
    QString getSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override
    {
        return settings.value(application + '/' + section + '/' + key, defaultValue);
    }
    bool saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override
    {
        if (settingsReadOnly)
            return false;
        settings.insert(application + '/' + section + '/' + key, value);
        return true;
    }

    QMap<QString, QString> settings;  // keyed "application/section/key"
    bool settingsReadOnly = false;     // nothing can be saved
};

}  // namespace tarvo::platform
