#pragma once
// Files and folders: the program's folder, the tool's data folder, and the
// archives, sidecars and records in them.

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarvo::platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The folder that holds the program, without a trailing separator
    // except at the root.
    virtual QString appPath() const = 0;
    // The per-user folder for the tool's own data (archives, transcripts),
    // without a trailing separator.
    virtual QString dataFolder() const = 0;

    // True when an ordinary file (not a directory) exists at path.
    virtual bool fileExists(const QString& path) = 0;
    // True when anything at all exists at path: a file, a folder, a FIFO,
    // a device.
    virtual bool pathExists(const QString& path) = 0;
    // The names of the ordinary files, or of the folders, in a folder, sorted.
    virtual QStringList fileNames(const QString& folder) = 0;
    virtual QStringList folderNames(const QString& folder) = 0;

    // A whole small file (a sidecar, a record): only an ordinary file of at
    // most kMaxSmallFileBytes, opened without blocking; nullopt for
    // anything else, or when it cannot be read.
    static constexpr qint64 kMaxSmallFileBytes = 1 << 20;
    virtual std::optional<QByteArray> readFile(const QString& path) = 0;
    // Replaces a file as a whole (never half-written), making its folders.
    virtual bool writeFile(const QString& path, const QByteArray& data) = 0;
    virtual bool removeFile(const QString& path) = 0;
    // Copies an ordinary file in chunks, whatever its size, replacing `to`
    // as a whole (never half-written) and making its folders. False, and
    // `to` as it was, when anything fails.
    virtual bool copyFile(const QString& from, const QString& to) = 0;

    // An ordinary file opened for reading at its start; nullptr when path is
    // missing, unreadable or anything but an ordinary file (a folder, a
    // FIFO, a device such as /dev/zero, a socket). Opening never blocks.
    virtual std::unique_ptr<QIODevice> openForReading(const QString& path) = 0;
    // Reads a file opened by openForReading to its end with work, on
    // another thread, and returns when work has finished; meanwhile the
    // event loop runs on, so the window stays responsive however large the
    // file. work must not call the platform.
    virtual void readAside(QIODevice& file, const std::function<void(QIODevice& file)>& work) = 0;
};

}  // namespace tarvo::platform
