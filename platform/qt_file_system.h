#pragma once
// The file system on Qt's files and folders.

#include "platform/file_system.h"

namespace tarvo::platform {

class QtFileSystem : public FileSystem {
public:
    QString appPath() const override;
    QString dataFolder() const override;
    bool fileExists(const QString& path) override;
    bool pathExists(const QString& path) override;
    QStringList fileNames(const QString& folder) override;
    QStringList folderNames(const QString& folder) override;
    std::optional<QByteArray> readFile(const QString& path) override;
    bool writeFile(const QString& path, const QByteArray& data) override;
    bool removeFile(const QString& path) override;
    bool copyFile(const QString& from, const QString& to) override;
    std::unique_ptr<QIODevice> openForReading(const QString& path) override;
    void readAside(QIODevice& file, const std::function<void(QIODevice& file)>& work) override;

    // Overrides appPath() and dataFolder() (tests that stage folders).
    QString appPathOverride;
    QString dataFolderOverride;
};

}  // namespace tarvo::platform
